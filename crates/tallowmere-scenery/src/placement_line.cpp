#include "tallowmere/scenery/placement_line.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace tallowmere::scenery {

namespace {

// Writes `value` (finite, not zero) with six decimals into `out` when |value| < 2^43,
// and returns the end; null for larger values. A float is m * 2^e with m below 2^24;
// m * 10^6 then fits in 44 bits, and shifted by e (at most 19 places left) in 64. A
// shift to the right is rounded on the bits shifted out, half to even, which is the
// correct rounding of the exact binary value, as std::to_chars gives it.
char* fixed6_small(char* out, float value) {
  const auto bits = std::bit_cast<uint32_t>(value);
  const uint32_t exponent = bits >> 23 & 0xFF;
  uint64_t m = bits & 0x7FFFFF;
  int e = -149;  // subnormal
  if (exponent != 0) {
    m |= 0x800000;
    e = static_cast<int>(exponent) - 150;
  }
  if (e > 19) return nullptr;
  const uint64_t scaled = m * 1000000;
  uint64_t q = 0;
  if (e >= 0) {
    q = scaled << e;
  } else if (e > -64) {
    const int s = -e;
    q = scaled >> s;
    const uint64_t rest = scaled & ((uint64_t{1} << s) - 1);
    const uint64_t half = uint64_t{1} << (s - 1);
    if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  }  // else below 2^-64 * 2^44: rounds to 0
  if ((bits >> 31) != 0) *out++ = '-';
  out = std::to_chars(out, out + 24, q / 1000000).ptr;
  *out++ = '.';
  uint32_t fraction = static_cast<uint32_t>(q % 1000000);
  for (int d = 5; d >= 0; --d) {
    out[d] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return out + 6;
}

}  // namespace

namespace {

// Writes `value` as append_number does into `out`, which has room for 64 characters
// (the largest finite f32 needs 39 integer digits); returns the end.
char* write_number(char* out, float value) {
  auto put = [out](std::string_view text) { return std::copy(text.begin(), text.end(), out); };
  if (std::isnan(value)) return put("NaN");
  if (std::isinf(value)) return put(value < 0 ? "-inf" : "inf");
  if (value == 0.0f) return put("0.000000");  // negative zero prints as positive zero
  if (char* end = fixed6_small(out, value)) return end;
  // std::to_chars with a precision rounds the exact binary value, ties to even.
  return std::to_chars(out, out + 64, value, std::chars_format::fixed, 6).ptr;
}

template <size_t N>
char* put_key(char* out, const char (&key)[N]) {
  return std::copy(key, key + N - 1, out);
}

}  // namespace

void append_number(std::string& out, float value) {
  char buffer[64];
  out.append(buffer, write_number(buffer, value));
}

std::string placement_line(const bake::Placement& p) {
  // The line is put together in a buffer that holds the longest one (nine numbers of at
  // most 47 characters, three u32, the keys), then copied out once.
  char buffer[1024];
  char* at = put_key(buffer, "{\"obj_id\":\"0x");
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int shift = 28; shift >= 0; shift -= 4) *at++ = kHex[p.obj_id >> shift & 0xF];
  *at++ = '"';
  at = write_number(put_key(at, ",\"x\":"), p.x);
  at = write_number(put_key(at, ",\"y\":"), p.y);
  at = write_number(put_key(at, ",\"z\":"), p.z);
  at = write_number(put_key(at, ",\"qw\":"), p.qw);
  at = write_number(put_key(at, ",\"qx\":"), p.qx);
  at = write_number(put_key(at, ",\"qy\":"), p.qy);
  at = write_number(put_key(at, ",\"qz\":"), p.qz);
  at = write_number(put_key(at, ",\"scale\":"), p.scale);
  at = put_key(at, ",\"source_cell_x\":");
  at = std::to_chars(at, at + 16, p.source_cell_x).ptr;
  at = put_key(at, ",\"source_cell_y\":");
  at = std::to_chars(at, at + 16, p.source_cell_y).ptr;
  at = put_key(at, ",\"source_obj_idx\":");
  at = std::to_chars(at, at + 16, p.source_obj_idx).ptr;
  *at++ = '}';
  return std::string(buffer, at);
}

}  // namespace tallowmere::scenery

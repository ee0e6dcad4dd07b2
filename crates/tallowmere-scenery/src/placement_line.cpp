#include "tallowmere/scenery/placement_line.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "tallowmere/common/text.hpp"

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

void append_number(std::string& out, float value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  if (value == 0.0f) {  // negative zero prints as positive zero
    out += "0.000000";
    return;
  }
  // The largest finite f32 needs 39 integer digits, so 64 characters always suffice.
  char buffer[64];
  char* end = fixed6_small(buffer, value);
  if (end == nullptr) {
    // std::to_chars with a precision rounds the exact binary value, ties to even.
    end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6).ptr;
  }
  out.append(buffer, end);
}

namespace {
void append_unsigned(std::string& out, uint32_t value) {
  char buffer[16];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}
}  // namespace

std::string placement_line(const bake::Placement& p) {
  std::string line;
  line.reserve(256);
  line += "{\"obj_id\":\"0x";
  line += common::hex_upper(p.obj_id, 8);
  line += '"';
  const std::pair<const char*, float> numbers[] = {
      {",\"x\":", p.x},   {",\"y\":", p.y},   {",\"z\":", p.z},   {",\"qw\":", p.qw},
      {",\"qx\":", p.qx}, {",\"qy\":", p.qy}, {",\"qz\":", p.qz}, {",\"scale\":", p.scale},
  };
  for (const auto& [key, value] : numbers) {
    line += key;
    append_number(line, value);
  }
  line += ",\"source_cell_x\":";
  append_unsigned(line, p.source_cell_x);
  line += ",\"source_cell_y\":";
  append_unsigned(line, p.source_cell_y);
  line += ",\"source_obj_idx\":";
  append_unsigned(line, p.source_obj_idx);
  line += '}';
  return line;
}

}  // namespace tallowmere::scenery

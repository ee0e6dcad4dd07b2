#include "tallowmere/scenery/placement_line.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "tallowmere/common/text.hpp"

namespace tallowmere::scenery {

void append_number(std::string& out, float value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  if (value == 0.0f) value = 0.0f;  // negative zero prints as positive zero
  // The exact binary value rounded, ties to even: what std::to_chars writes for the
  // float with a precision, as the float widens to double exactly.
  common::append_fixed(out, static_cast<double>(value), 6);
}

float written_value(float value) {
  if (std::isnan(value)) return std::nanf("");
  if (std::isinf(value)) return value;
  if (value == 0.0f) return 0.0f;  // negative zero is written as 0.000000
  const auto units = common::fixed_units(static_cast<double>(value), 6);
  if (!units) {  // a billion or more: through the text
    std::string text;
    append_number(text, value);
    return std::strtof(text.c_str(), nullptr);
  }
  // The text is units / 10^6 with units below 10^15, exact in double. Dividing rounds
  // once, by at most 2^-53 of the quotient, and the quotient lies at least 10^-15 of its
  // size away from every point halfway between two floats unless it is one (then the
  // division is exact): rounding the double to float lands where strtof does.
  const auto magnitude = static_cast<float>(static_cast<double>(*units) / 1e6);
  return std::signbit(value) ? -magnitude : magnitude;
}

namespace {

// Writes `value` as append_number does into `out`, which has room for
// common::kFixedMaxChars characters; returns the end.
char* write_number(char* out, float value) {
  auto put = [out](std::string_view text) { return std::copy(text.begin(), text.end(), out); };
  if (std::isnan(value)) return put("NaN");
  if (std::isinf(value)) return put(value < 0 ? "-inf" : "inf");
  if (value == 0.0f) return put("0.000000");  // negative zero prints as positive zero
  return common::write_fixed(out, value, 6);
}

template <size_t N>
char* put_key(char* out, const char (&key)[N]) {
  return std::copy(key, key + N - 1, out);
}

}  // namespace

std::string placement_line(const bake::Placement& p) {
  // The line is put together in a buffer with room for the longest one, then copied
  // out once.
  char buffer[kPlacementLineMaxChars];
  return std::string(buffer, write_placement_line(buffer, p));
}

char* write_placement_line(char* out, const bake::Placement& p) {
  char* at = put_key(out, "{\"obj_id\":\"0x");
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
  return at;
}

}  // namespace tallowmere::scenery

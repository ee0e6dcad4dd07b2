#include "tallowmere/scenery/placement_line.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

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

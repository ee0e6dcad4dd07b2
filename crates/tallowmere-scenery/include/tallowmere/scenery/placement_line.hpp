// Placement lines: one compact JSON object per placed object.
//
// Keys in fixed order: obj_id ("0x" + 8 upper-case hex digits), x, y, z, qw, qx, qy,
// qz, scale (numbers with exactly six decimals), source_cell_x, source_cell_y,
// source_obj_idx (unsigned decimals). No spaces, no line terminator.
#pragma once

#include <cstddef>
#include <string>

#include "tallowmere/bake/bake.hpp"
#include "tallowmere/common/text.hpp"

namespace tallowmere::scenery {

// `value` in fixed notation with six decimals, correctly rounded from its exact binary
// value (ties to even); negative zero is written as 0.000000; NaN as "NaN", infinities
// as "inf" and "-inf".
void append_number(std::string& out, float value);

// The float a reader gets back from append_number's text of `value` (strtof of it):
// NaN and the infinities stay, anything else is rounded to six decimals, without
// writing or reading any text.
[[nodiscard]] float written_value(float value);

[[nodiscard]] std::string placement_line(const bake::Placement& placement);

// The most characters of a placement line: eight numbers of at most
// common::kFixedMaxChars, three u32, the keys.
inline constexpr size_t kPlacementLineMaxChars = 9 * common::kFixedMaxChars;

// placement_line's characters written into `out`, which has room for
// kPlacementLineMaxChars; returns their end.
char* write_placement_line(char* out, const bake::Placement& placement);

}  // namespace tallowmere::scenery

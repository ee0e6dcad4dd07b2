// Placement lines: one compact JSON object per placed object, and the file names of a
// landblock's placement file.
//
// Keys in fixed order: obj_id ("0x" + 8 upper-case hex digits), x, y, z, qw, qx, qy,
// qz, scale (numbers with exactly six decimals), source_cell_x, source_cell_y,
// source_obj_idx (unsigned decimals). No spaces, no line terminator.
#pragma once

#include <cstdint>
#include <string>

#include "tallowmere/bake/bake.hpp"

namespace tallowmere::ringproof {

// `value` in fixed notation with six decimals, correctly rounded from its exact binary
// value (ties to even); negative zero is written as 0.000000; NaN as "NaN", infinities
// as "inf" and "-inf".
void append_number(std::string& out, float value);

std::string placement_line(const bake::Placement& placement);

// "0x" + the landblock id as four upper-case hex digits + ".scenery.jsonl".
std::string placement_file_name(uint16_t landblock_id);

}  // namespace tallowmere::ringproof

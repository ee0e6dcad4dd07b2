// Landblock selections as written on the command line.
//
// A selection is a comma-separated list of items:
//   ring         the 169 landblocks of the determinism ring (0xA3AE to 0xAFBA)
//   all          every landblock whose cell landblock record is in the cell archive
//   0xA9B4       one landblock (1 to 4 hex digits, "0x" optional)
//   0xA3AE-0xAFBA  a rectangle: x from 0xA3 to 0xAF, y from 0xAE to 0xBA, x outermost
// The result keeps the first occurrence of each id, in the order the items give them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tallowmere/common/expected.hpp"
#include "tallowmere/dat/lib.hpp"

namespace tallowmere::tool {

// The landblock ids of `text`, or a one-line reason why it is not a selection.
Expected<std::vector<uint16_t>, std::string> parse_selection(const std::string& text,
                                                             const dat::DatDatabase& cell);

}  // namespace tallowmere::tool

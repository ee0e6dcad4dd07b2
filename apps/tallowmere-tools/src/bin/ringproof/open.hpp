// Archive opening and region load: the inputs every later stage of the tool borrows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report.hpp"
#include "tallowmere/common/expected.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/lib.hpp"

namespace tallowmere::ringproof {

// File id of the region record in the portal archive.
inline constexpr uint32_t kRegionFileId = 0x13000000;

// Both open archives and the parsed region, owned by main for the whole run. The region's
// raw payload is kept alongside it.
struct LoadedWorld {
  dat::DatDatabase portal;
  dat::DatDatabase cell;
  std::vector<uint8_t> region_payload;
  dat::file_type::Region region;
};

// Opens the portal archive, then the cell archive, fetches file 0x13000000 from the
// portal archive and parses it as the Region. Fails with the first error, wrapped in the
// context "open portal", "open cell", "fetch Region 0x13000000" or "parse Region".
Expected<LoadedWorld, ErrorReport> open_world(const std::string& portal_path,
                                              const std::string& cell_path);

}  // namespace tallowmere::ringproof

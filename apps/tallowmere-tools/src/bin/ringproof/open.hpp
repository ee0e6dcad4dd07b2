// Archive opening and region load, with failures as the tool reports them.
#pragma once

#include <string>

#include "report.hpp"
#include "tallowmere/common/expected.hpp"
#include "tallowmere/scenery/world.hpp"

namespace tallowmere::ringproof {

// Both archives and the region, owned by main for the whole run.
using LoadedWorld = scenery::World;

// scenery::open_world, its failure wrapped in the failed step's context ("open portal",
// "open cell", "fetch Region 0x13000000" or "parse Region").
Expected<LoadedWorld, ErrorReport> open_world(const std::string& portal_path,
                                              const std::string& cell_path);
// The same from the archive files, opened beforehand.
Expected<LoadedWorld, ErrorReport> open_world(scenery::ArchiveFiles files);

}  // namespace tallowmere::ringproof

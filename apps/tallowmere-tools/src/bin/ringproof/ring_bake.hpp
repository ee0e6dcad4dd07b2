// The ring bake: bakes an ordered list of landblocks and turns every placement into a
// placement line; and the writing of one landblock's placement file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "report.hpp"
#include "tallowmere/bake/bake.hpp"
#include "tallowmere/common/expected.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/dat/lib.hpp"

namespace tallowmere::ringproof {

class MeshCache;

struct RingEntry {
  uint16_t landblock_id = 0;
  std::vector<std::string> lines;  // placement lines, without line terminators
};
using RingResult = std::vector<RingEntry>;

// Bakes every landblock of `ids`, in order, with fresh scene and mesh caches that live
// for this call only. A landblock whose cell landblock record is missing or malformed
// has no lines; a missing or malformed landblock info only removes the buildings.
// Never fails.
RingResult bake_ring_to_lines(const dat::file_type::Region& region, const dat::DatDatabase& portal,
                              const dat::DatDatabase& cell, std::span<const uint16_t> ids);

// The footprints of the buildings that have a mesh, in building order: each mesh
// vertex turned by twice the angle atan2f(qz, qw) of the building's orientation and
// moved by its origin (no scale, z ignored).
std::vector<bake::Footprint> building_footprints(const dat::landblock::LandblockInfo& info,
                                                 MeshCache& meshes);

// `directory` joined with `name` ("a" + "b" is "a/b"; an empty directory gives "b").
std::string join_path(const std::string& directory, const std::string& name);

// Writes `lines`, each followed by a line feed, as the whole content of the landblock's
// placement file in `directory` (which must exist). Fails with "write <path>" caused by
// the operating system's error.
Expected<void, ErrorReport> write_lines(const std::string& directory, uint16_t landblock_id,
                                        std::span<const std::string> lines);

}  // namespace tallowmere::ringproof

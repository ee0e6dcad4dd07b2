// Encoders of the world records: the exact payload bytes that the archive library's
// parsers read back, for tests, fuzz corpora and synthetic archives.
//
// Every encoder writes the value as it is held and sets nothing implicitly: stored
// counts (`num_portals`, `num_stabs`, a restriction table's `count`) and masks
// (`pack_mask`, `part_mask`) are written as stored, so a value can describe a damaged
// record; counts that the parsed value does not hold (`num_objects`, `num_buildings`
// and every u32 list count) are the sizes of the lists. Optional parts are written
// when present in the value. PStrings are written as raw bytes with a 2-byte length
// prefix and padded to a multiple of 4 counted from the start of the payload.
#pragma once

#include <cstdint>
#include <vector>

#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/landblock.hpp"

namespace tallowmere::writer {

// id, has_objects, the terrain words and height bytes as held (81 each in a valid
// record), then one zero pad byte.
std::vector<uint8_t> encode_cell_landblock(const dat::landblock::CellLandblock& lb);

// The restriction table's pairs are written in ascending key order.
std::vector<uint8_t> encode_landblock_info(const dat::landblock::LandblockInfo& info);

std::vector<uint8_t> encode_region(const dat::file_type::Region& region);

// The part mask bits of the optional parts present in `region` (sky 0x10, sound 0x01,
// scene 0x02, misc 0x200), for callers that build a consistent record.
uint32_t region_part_mask(const dat::file_type::Region& region);

std::vector<uint8_t> encode_scene(const dat::file_type::Scene& scene);

// The 76 bytes of one scene entry.
std::vector<uint8_t> encode_object_desc(const dat::file_type::ObjectDesc& desc);

}  // namespace tallowmere::writer

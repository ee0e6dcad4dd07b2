// Readers of the cell archive's landblock records. Every record here is declarative:
// each reader is the list of its fields, and a failing field adds the frame
// "While parsing field '<field>' in <record>" located at its line and rewinds the cursor
// to the record's first byte (see common/record.hpp). Lists whose length comes from an
// earlier field are read entry by entry, and reserve no more entries than the remaining
// bytes could hold, so a damaged count ends in the end-of-data error, not in a huge
// allocation.
#include "tallowmere/dat/landblock.hpp"

#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/utils.hpp"

namespace tallowmere::dat::landblock {

using common::Quaternion;
using common::read_u16;
using common::read_u32;
using common::Record;
using common::Vector3;

namespace {

// Smallest stored sizes, used to cap reservations by the bytes that remain.
constexpr uint64_t kStabSize = 32;
constexpr uint64_t kMinBuildInfoSize = 40;  // model_id, frame, num_leaves, num_portals
constexpr uint64_t kMinPortalSize = 8;      // the four u16 fields
constexpr uint64_t kRestrictionPairSize = 8;

// The 81 terrain words as one block: a short payload fails before any word is decoded.
ParseResult<std::vector<uint16_t>> read_terrain(Cursor& cursor) {
  auto bytes = cursor.take(kVertexCount * 2);
  if (!bytes) return make_unexpected(std::move(bytes).error());
  std::vector<uint16_t> words(kVertexCount);
  for (size_t i = 0; i < kVertexCount; ++i) {
    words[i] = static_cast<uint16_t>((*bytes)[2 * i] | ((*bytes)[2 * i + 1] << 8));
  }
  return words;
}

ParseResult<std::vector<uint8_t>> read_heights(Cursor& cursor) {
  return read_byte_list(cursor, kVertexCount);
}

// Reads `count` entries with `read_entry` into `out`; stops at the first failing entry.
template <class T, class ReadEntry>
ParseResult<void> read_entries(Cursor& cursor, uint64_t count, uint64_t min_entry_size,
                               std::vector<T>& out, ReadEntry&& read_entry) {
  out.reserve(reservable(cursor, count, min_entry_size));
  for (uint64_t i = 0; i < count; ++i) {
    auto entry = read_entry(cursor);
    if (!entry) return make_unexpected(std::move(entry).error());
    out.push_back(std::move(*entry));
  }
  return {};
}

}  // namespace

ParseResult<CellLandblock> CellLandblock::unpack(std::span<const uint8_t> data) {
  Cursor cursor(data);
  CellLandblock lb;
  Record rec(cursor, "CellLandblock");
  rec.field("id", TALLOWMERE_HERE, lb.id, read_u32);
  rec.field("has_objects", TALLOWMERE_HERE, lb.has_objects, read_u32);
  rec.field("terrain", TALLOWMERE_HERE, lb.terrain, read_terrain);
  rec.field("height", TALLOWMERE_HERE, lb.height, read_heights);
  // One pad byte, skipped without reading: a payload of 251 bytes is complete.
  rec.step("pad", TALLOWMERE_HERE, [](Cursor& c) { return c.skip(1); });
  return rec.finish(std::move(lb));
}

ParseResult<Frame> Frame::read(Cursor& cursor) {
  Frame frame;
  Record rec(cursor, "Frame");
  rec.field("origin", TALLOWMERE_HERE, frame.origin, Vector3::read);
  rec.field("orientation", TALLOWMERE_HERE, frame.orientation, Quaternion::read);
  return rec.finish(frame);
}

ParseResult<Stab> Stab::read(Cursor& cursor) {
  Stab stab;
  Record rec(cursor, "Stab");
  rec.field("id", TALLOWMERE_HERE, stab.id, read_u32);
  rec.field("frame", TALLOWMERE_HERE, stab.frame, Frame::read);
  return rec.finish(stab);
}

ParseResult<PortalInternal> PortalInternal::read(Cursor& cursor) {
  PortalInternal portal;
  Record rec(cursor, "PortalInternal");
  rec.field("flags", TALLOWMERE_HERE, portal.flags, read_u16);
  rec.field("other_cell_id", TALLOWMERE_HERE, portal.other_cell_id, read_u16);
  rec.field("other_portal_id", TALLOWMERE_HERE, portal.other_portal_id, read_u16);
  rec.field("num_stabs", TALLOWMERE_HERE, portal.num_stabs, read_u16);
  rec.field("stab_list", TALLOWMERE_HERE, portal.stab_list,
            [&](Cursor& c) { return read_u16_list(c, portal.num_stabs); });
  // The list is padded to a multiple of 4 bytes by its count alone, whatever the
  // position; the pad need not exist at the end of the payload.
  rec.step("pad", TALLOWMERE_HERE,
           [&](Cursor& c) { return c.skip((2 * uint64_t{portal.num_stabs}) % 4); });
  return rec.finish(std::move(portal));
}

ParseResult<BuildInfo> BuildInfo::read(Cursor& cursor) {
  BuildInfo info;
  Record rec(cursor, "BuildInfo");
  rec.field("model_id", TALLOWMERE_HERE, info.model_id, read_u32);
  rec.field("frame", TALLOWMERE_HERE, info.frame, Frame::read);
  rec.field("num_leaves", TALLOWMERE_HERE, info.num_leaves, read_u32);
  rec.field("num_portals", TALLOWMERE_HERE, info.num_portals, read_u32);
  rec.step("portals", TALLOWMERE_HERE, [&](Cursor& c) {
    return read_entries(c, info.num_portals, kMinPortalSize, info.portals, PortalInternal::read);
  });
  return rec.finish(std::move(info));
}

ParseResult<RestrictionTable> RestrictionTable::read(Cursor& cursor) {
  RestrictionTable table;
  Record rec(cursor, "RestrictionTable");
  rec.field("count", TALLOWMERE_HERE, table.count, read_u16);
  rec.field("_bucket_size", TALLOWMERE_HERE, table.bucket_size, read_u16);
  rec.step("tables", TALLOWMERE_HERE, [&](Cursor& c) -> ParseResult<void> {
    table.tables.reserve(reservable(c, table.count, kRestrictionPairSize));
    for (uint32_t i = 0; i < table.count; ++i) {
      auto key = read_u32(c);
      if (!key) return make_unexpected(std::move(key).error());
      auto value = read_u32(c);
      if (!value) return make_unexpected(std::move(value).error());
      table.tables.insert_or_assign(*key, *value);  // a repeated key keeps the later value
    }
    return {};
  });
  return rec.finish(std::move(table));
}

ParseResult<LandblockInfo> LandblockInfo::unpack(std::span<const uint8_t> data) {
  Cursor cursor(data);
  LandblockInfo info;
  uint32_t num_objects = 0;
  uint16_t num_buildings = 0;
  Record rec(cursor, "LandblockInfo");
  rec.field("id", TALLOWMERE_HERE, info.id, read_u32);
  rec.field("num_cells", TALLOWMERE_HERE, info.num_cells, read_u32);
  rec.field("num_objects", TALLOWMERE_HERE, num_objects, read_u32);
  rec.step("objects", TALLOWMERE_HERE, [&](Cursor& c) {
    return read_entries(c, num_objects, kStabSize, info.objects, Stab::read);
  });
  rec.field("num_buildings", TALLOWMERE_HERE, num_buildings, read_u16);
  rec.field("pack_mask", TALLOWMERE_HERE, info.pack_mask, read_u16);
  rec.step("buildings", TALLOWMERE_HERE, [&](Cursor& c) {
    return read_entries(c, num_buildings, kMinBuildInfoSize, info.buildings, BuildInfo::read);
  });
  if (rec.ok() && (info.pack_mask & 0x1) != 0) {
    rec.field("restriction_tables", TALLOWMERE_HERE, info.restriction_tables,
              RestrictionTable::read);
  }
  return rec.finish(std::move(info));
}

}  // namespace tallowmere::dat::landblock

#include "tallowmere/dat/landblock.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

namespace tallowmere::dat::landblock {
namespace {
using common::Cursor;

using common::LocatedFrame;
using common::ParseError;
using writer::ByteWriter;

constexpr const char* kLandblockSource = "crates/tallowmere-dat/src/landblock.cpp";

// The frame messages of an error, innermost first.
std::vector<std::string> messages(const ParseError& error) {
  std::vector<std::string> out;
  for (const auto& frame : error.frames()) out.push_back(std::get<LocatedFrame>(frame).message);
  return out;
}

std::string field(const char* name, const char* record) {
  return std::string("While parsing field '") + name + "' in " + record;
}

std::vector<uint8_t> cell_bytes() {
  CellLandblock cell;
  cell.id = 0x1234FFFF;
  cell.has_objects = 2;
  for (size_t i = 0; i < kVertexCount; ++i) {
    cell.terrain.push_back(static_cast<uint16_t>(0xF87C + i));
    cell.height.push_back(static_cast<uint8_t>(200 - i));
  }
  return writer::encode_cell_landblock(cell);
}

TEST(CellLandblock, FieldsAreLittleEndianInGridOrder) {
  auto bytes = cell_bytes();
  ASSERT_EQ(bytes.size(), 252u);
  EXPECT_EQ(bytes[8], 0x7C);  // terrain[0] = 0xF87C, low byte first
  EXPECT_EQ(bytes[9], 0xF8);
  bytes.resize(260, 0xAB);  // trailing bytes are ignored
  auto cell = CellLandblock::unpack(bytes);
  ASSERT_TRUE(cell) << cell.error().text();
  EXPECT_EQ(cell->id, 0x1234FFFFu);
  EXPECT_EQ(cell->has_objects, 2u);
  ASSERT_EQ(cell->terrain.size(), 81u);
  ASSERT_EQ(cell->height.size(), 81u);
  EXPECT_EQ(cell->terrain[80], 0xF87C + 80);
  EXPECT_EQ(cell->height[80], 120);
}

TEST(CellLandblock, EveryShortPayloadFailsInTheFieldItEndsIn) {
  const auto full = cell_bytes();
  auto exact = CellLandblock::unpack(std::span(full).first(251));  // pad byte may be missing
  EXPECT_TRUE(exact);
  for (size_t n = 0; n < 251; ++n) {
    auto cell = CellLandblock::unpack(std::span(full).first(n));
    ASSERT_FALSE(cell) << n;
    const char* name = n < 4 ? "id" : n < 8 ? "has_objects" : n < 170 ? "terrain" : "height";
    const char* root = n < 170 ? "failed to fill whole buffer" : "not enough bytes in reader";
    ASSERT_EQ(messages(cell.error()), std::vector<std::string>{field(name, "CellLandblock")}) << n;
    EXPECT_EQ(cell.error().io()->message, root) << n;
    EXPECT_EQ(std::string(std::get<LocatedFrame>(cell.error().frames()[0]).location.file),
              kLandblockSource);
  }
}

// id, num_cells, num_objects, then num_buildings and pack_mask.
ByteWriter info_head(uint32_t num_objects, uint16_t num_buildings, uint16_t pack_mask) {
  ByteWriter w;
  w.u32(0x1234FFFE).u32(7).u32(num_objects);
  if (num_objects == 0) w.u16(num_buildings).u16(pack_mask);
  return w;
}

TEST(LandblockInfo, EmptyRecordAndRestrictionTableGate) {
  auto empty = info_head(0, 0, 0).take();
  ASSERT_EQ(empty.size(), 16u);
  auto info = LandblockInfo::unpack(empty);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->num_cells, 7u);
  EXPECT_TRUE(info->objects.empty() && info->buildings.empty());
  EXPECT_FALSE(info->restriction_tables);

  // Only bit 0x1 asks for the table: 0xFFFE ignores the bytes after the header.
  auto no_table = info_head(0, 0, 0xFFFE).u16(1).u16(0).u32(5).u32(1).take();
  info = LandblockInfo::unpack(no_table);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->pack_mask, 0xFFFE);
  EXPECT_FALSE(info->restriction_tables);

  auto missing = LandblockInfo::unpack(info_head(0, 0, 0x1).take());
  ASSERT_FALSE(missing);
  EXPECT_EQ(messages(missing.error()),
            (std::vector<std::string>{field("count", "RestrictionTable"),
                                      field("restriction_tables", "LandblockInfo")}));

  // A repeated key keeps the later value.
  auto repeated = info_head(0, 0, 0x1).u16(2).u16(8).u32(5).u32(1).u32(5).u32(9).take();
  info = LandblockInfo::unpack(repeated);
  ASSERT_TRUE(info);
  ASSERT_TRUE(info->restriction_tables);
  EXPECT_EQ(info->restriction_tables->count, 2);
  EXPECT_EQ(info->restriction_tables->tables, (std::unordered_map<uint32_t, uint32_t>{{5, 9}}));
}

TEST(LandblockInfo, PortalPadFollowsTheStabCount) {
  for (size_t num_stabs = 0; num_stabs < 4; ++num_stabs) {
    ByteWriter w;
    w.u16(1).u16(2).u16(3).u16(static_cast<uint16_t>(num_stabs));
    for (size_t i = 0; i < num_stabs; ++i) w.u16(static_cast<uint16_t>(0x100 + i));
    const size_t size = 8 + 2 * num_stabs + (num_stabs % 2) * 2;  // 3 -> 16, 2 -> 12
    w.zeros(size - w.size());
    w.u16(0xEEEE);  // the next record's first bytes
    Cursor cursor(w.view());
    auto portal = PortalInternal::read(cursor);
    ASSERT_TRUE(portal) << portal.error().text();
    EXPECT_EQ(cursor.position(), size) << num_stabs;
    EXPECT_EQ(portal->stab_list.size(), num_stabs);
    if (num_stabs > 0) {
      EXPECT_EQ(portal->stab_list.back(), 0x100 + num_stabs - 1);
    }
  }

  // An odd-count portal whose pad would lie past the end of the payload still parses.
  ByteWriter w = info_head(0, 1, 0);
  w.u32(0x01000001).zeros(28).u32(0).u32(1);  // model_id, frame, num_leaves, num_portals
  w.u16(0).u16(0).u16(0).u16(1).u16(0x4242);  // portal with one stab, no pad
  auto info = LandblockInfo::unpack(w.view());
  ASSERT_TRUE(info) << info.error().text();
  EXPECT_EQ(info->buildings.at(0).portals.at(0).stab_list, std::vector<uint16_t>{0x4242});
}

TEST(LandblockInfo, CutShortStabCarriesEveryLevelsFrame) {
  // One object whose frame stops after origin.x and origin.y.
  auto bytes = info_head(1, 0, 0).u32(0x0200ABCD).f32(1).f32(2).take();
  auto info = LandblockInfo::unpack(bytes);
  ASSERT_FALSE(info);
  EXPECT_EQ(messages(info.error()),
            (std::vector<std::string>{field("z", "Vector3"), field("origin", "Frame"),
                                      field("frame", "Stab"), field("objects", "LandblockInfo")}));
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(std::string(std::get<LocatedFrame>(info.error().frames()[i]).location.file),
              kLandblockSource);
  }
  EXPECT_EQ(info.error().io()->message, "failed to fill whole buffer");
}

TEST(LandblockInfo, DamagedCountsFailAtTheEndOfData) {
  // Counts near the type's limit must not be reserved up front.
  auto objects = LandblockInfo::unpack(info_head(0xFFFFFFFF, 0, 0).zeros(40).take());
  ASSERT_FALSE(objects);
  EXPECT_EQ(messages(objects.error()).back(), field("objects", "LandblockInfo"));

  ByteWriter w = info_head(0, 1, 0);
  w.u32(0x01000001).zeros(28).u32(0).u32(0xFFFFFFFF).zeros(16);
  auto portals = LandblockInfo::unpack(w.view());
  ASSERT_FALSE(portals);
  EXPECT_EQ(
      messages(portals.error()),
      (std::vector<std::string>{field("flags", "PortalInternal"), field("portals", "BuildInfo"),
                                field("buildings", "LandblockInfo")}));
  EXPECT_EQ(portals.error().io()->message, "failed to fill whole buffer");
}

TEST(LandblockInfo, EncoderRoundTrip) {
  LandblockInfo info;
  info.id = 0xA9B4FFFE;
  info.num_cells = 3;
  info.objects.push_back({0x02000010, {{1, 2, 3}, {0.5f, 0, 0, 0.5f}}});
  BuildInfo building{0x01000020, {{4, 5, 6}, {1, 0, 0, 0}}, 9, 2, {}};
  building.portals.push_back({1, 2, 3, 3, {7, 8, 9}});
  building.portals.push_back({4, 5, 6, 0, {}});
  info.buildings.push_back(building);
  info.pack_mask = 0x1;
  info.restriction_tables = RestrictionTable{2, 8, {{1, 10}, {2, 20}}};
  auto bytes = writer::encode_landblock_info(info);
  EXPECT_EQ(bytes.size(), 16u + 32 + (40 + 16 + 8) + 4 + 16);
  auto parsed = LandblockInfo::unpack(bytes);
  ASSERT_TRUE(parsed) << parsed.error().text();
  EXPECT_EQ(writer::encode_landblock_info(*parsed), bytes);
  EXPECT_EQ(parsed->buildings.at(0).frame.origin.z, 6.0f);
  EXPECT_EQ(parsed->buildings.at(0).portals.at(0).stab_list, (std::vector<uint16_t>{7, 8, 9}));
}

}  // namespace
}  // namespace tallowmere::dat::landblock

#include "tallowmere/dat/file_type/region.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

namespace tallowmere::dat::file_type {
namespace {
using common::Cursor;
using common::ParseResult;

using writer::ByteWriter;

// Skipped alignment bytes are laid as 0xEE: a parser that read them would see garbage.
ByteWriter& pad(ByteWriter& w, size_t n) {
  for (size_t i = 0; i < n; ++i) w.u8(0xEE);
  return w;
}

// f64, three u32, an empty name (2 + 2 pad bytes) and three empty lists: 36 bytes.
void empty_calendar(ByteWriter& w) {
  w.f64(1.5).u32(1).u32(2).u32(3).pstring16("");
  pad(w, 2).u32(0).u32(0).u32(0);
}

// No terrain types, two desc words, three empty pair lists, no wide entries.
void empty_terrain(ByteWriter& w) {
  w.u32(0).u32(0xD1).u32(0xD2).u32(0).u32(0).u32(0).u32(0);
}

// Everything up to part_mask, with the name padded by `name_pad` bytes.
ByteWriter region_head(std::string_view name, size_t name_pad) {
  ByteWriter w;
  w.u32(0x13000000).u32(0xAA).u32(0xBB).pstring16(name);
  pad(w, name_pad);
  for (uint32_t i = 1; i <= 8; ++i) w.u32(i);
  for (int i = 0; i < 256; ++i) w.f32(static_cast<float>(i) * 0.5f);
  empty_calendar(w);
  return w;
}

ParseResult<Region> parse(std::span<const uint8_t> bytes) {
  Cursor cursor(bytes);
  return Region::unpack(cursor);
}

TEST(RegionLayout, NameIsAlignedFromThePayloadStartAndMaskZeroHasOnlyRequiredParts) {
  for (auto [name, name_pad] : {std::pair{"ab", size_t{0}}, {"abcde", 1}, {"abc", 3}}) {
    ByteWriter w = region_head(name, name_pad);
    w.u32(0);  // part_mask
    empty_terrain(w);
    w.u32(0xDEADBEEF);  // trailing bytes are ignored
    auto region = parse(w.view());
    ASSERT_TRUE(region) << region.error().text();
    EXPECT_EQ(region->name, name);
    EXPECT_EQ(region->header_words[1], 0xBBu);
    EXPECT_EQ(region->params[0], 1u);
    EXPECT_EQ(region->height_table[255], 127.5f);
    EXPECT_EQ(region->game_time.time_value, 1.5);
    EXPECT_EQ(region->terrain.desc_words[1], 0xD2u);
    EXPECT_FALSE(region->sky || region->sound || region->scene || region->misc);
  }
  // Ending inside the height table.
  auto cut = region_head("ab", 0).take();
  cut.resize(16 + 32 + 1000);
  auto region = parse(cut);
  ASSERT_FALSE(region);
  EXPECT_EQ(region.error().text(), "failed to fill whole buffer");
}

TEST(RegionLayout, OptionalPartsFollowFileOrderNotBitOrder) {
  ByteWriter w = region_head("ab", 0);
  w.u32(0x213);
  w.u64(0x1111111111111111).u64(0x2222222222222222).u32(0);  // sky: no day groups
  w.u32(1).u32(7).u32(0);                                    // sound: one entry, no items
  w.u32(1).u32(9).u32(1).u32(0x12000001);                    // scene: one type, one scene
  empty_terrain(w);
  for (uint32_t i = 1; i <= 6; ++i) w.u32(0x100 + i);  // misc
  auto region = parse(w.view());
  ASSERT_TRUE(region) << region.error().text();
  ASSERT_TRUE(region->sky && region->sound && region->scene && region->misc);
  EXPECT_EQ(region->sky->values[1], 0x2222222222222222u);
  EXPECT_EQ(region->sound->ambient_descs.at(0).value, 7u);
  EXPECT_EQ(region->scene->scene_types.at(0).scenes, std::vector<uint32_t>{0x12000001});
  EXPECT_EQ(region->terrain.desc_words[0], 0xD1u);
  EXPECT_EQ(region->misc->values[5], 0x106u);
}

TEST(TerrainDesc, TypeNamesAlignFromThePayloadStart) {
  // Types start at multiples of 4: names of 5, 4 and 6 bytes skip 1, 2 and 0 bytes.
  ByteWriter w;
  w.u32(3);
  for (auto [name, name_pad] : {std::pair{"abcde", size_t{1}}, {"abcd", 2}, {"abcdef", 0}}) {
    w.pstring16(name);
    pad(w, name_pad).u32(0x77).u32(1).u32(static_cast<uint32_t>(name_pad));
  }
  w.u32(0).u32(0).u32(1).u32(10).u32(11).u32(0).u32(0).u32(1);  // one pair in list 0
  for (uint32_t i = 0; i < 11; ++i) w.u32(i);                   // one wide entry
  Cursor cursor(w.view());
  auto desc = TerrainDesc::unpack(cursor);
  ASSERT_TRUE(desc) << desc.error().text();
  EXPECT_EQ(cursor.position(), w.size());
  ASSERT_EQ(desc->terrain_types.size(), 3u);
  EXPECT_EQ(desc->terrain_types[1].name, "abcd");
  EXPECT_EQ(desc->terrain_types[2].value, 0x77u);
  EXPECT_EQ(desc->terrain_types[1].scene_type_indices, std::vector<uint32_t>{2});
  EXPECT_EQ(desc->pair_lists[0], (std::vector<std::pair<uint32_t, uint32_t>>{{10, 11}}));
  EXPECT_EQ(desc->wide_entries.at(0)[10], 10u);

  // A type starting at offset 6: a 5-byte name ends at 13 and is padded to 16, not 14.
  ByteWriter odd;
  odd.u16(0).u32(1).pstring16("abcde");
  pad(odd, 3).u32(0x55).u32(0);
  Cursor odd_cursor(odd.view(), 2);
  auto odd_desc = TerrainDesc::unpack(odd_cursor);
  ASSERT_FALSE(odd_desc);  // the rest of the description is missing
  odd.u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
  odd_cursor = Cursor(odd.view(), 2);
  odd_desc = TerrainDesc::unpack(odd_cursor);
  ASSERT_TRUE(odd_desc) << odd_desc.error().text();
  EXPECT_EQ(odd_desc->terrain_types.at(0).value, 0x55u);
}

TEST(SkyAndSound, DayGroupAlignmentAndSoundSize) {
  // Sky: values (16), one group: value, a 3-byte name (PString of 5) and 3 skipped bytes,
  // then both lists empty.
  ByteWriter sky;
  sky.u64(1).u64(2).u32(1).u32(0x42).pstring16("day");
  pad(sky, 3).u32(0).u32(0);
  ASSERT_EQ(sky.size(), 20u + 4 + 8 + 8);
  Cursor cursor(sky.view());
  auto desc = SkyDesc::unpack(cursor);
  ASSERT_TRUE(desc) << desc.error().text();
  EXPECT_EQ(cursor.position(), sky.size());
  EXPECT_EQ(desc->day_groups.at(0).name, "day");
  EXPECT_TRUE(desc->day_groups[0].items.empty() && desc->day_groups[0].sky_times.empty());

  // Sound: one entry with two 5-word items is 4 + 8 + 40 bytes; one byte less fails.
  ByteWriter sound;
  sound.u32(1).u32(3).u32(2);
  for (uint32_t i = 0; i < 10; ++i) sound.u32(i);
  ASSERT_EQ(sound.size(), 52u);
  cursor = Cursor(sound.view());
  auto sound_desc = SoundDesc::unpack(cursor);
  ASSERT_TRUE(sound_desc);
  EXPECT_EQ(cursor.position(), 52u);
  EXPECT_EQ(sound_desc->ambient_descs.at(0).items.at(1).values[4], 9u);
  cursor = Cursor(std::span(sound.view()).first(51));
  EXPECT_FALSE(SoundDesc::unpack(cursor));
}

TEST(GameTime, FlagsNamesSeasonsAndATruncatedSeason) {
  ByteWriter w;
  w.f64(0.25).u32(1).u32(2).u32(3).pstring16("cal");
  pad(w, 3).u32(2);
  w.u32(10).u32(2).pstring16("dawn");  // flag word 2 is true
  pad(w, 2).u32(11).u32(0).pstring16("dusk");
  pad(w, 2).u32(1).pstring16("x");
  pad(w, 1).u32(3);
  for (std::string_view s : {"spring", "summer", "autumn"}) w.u32(5).pstring16(s);
  Cursor cursor(w.view());
  auto time = GameTime::unpack(cursor);
  ASSERT_TRUE(time) << time.error().text();
  EXPECT_EQ(cursor.position(), w.size());
  ASSERT_EQ(time->times_of_day.size(), 2u);
  EXPECT_TRUE(time->times_of_day[0].flag);
  EXPECT_FALSE(time->times_of_day[1].flag);
  EXPECT_EQ(time->times_of_day[1].name, "dusk");
  EXPECT_EQ(time->names, std::vector<std::string>{"x"});
  EXPECT_EQ(time->seasons.at(2).name, "autumn");

  // Cut inside the third season, alone and inside a whole region.
  auto cut = std::span(w.view()).first(w.size() - 3);
  cursor = Cursor(cut);
  time = GameTime::unpack(cursor);
  ASSERT_FALSE(time);
  EXPECT_EQ(time.error().text(), "failed to fill whole buffer");
  auto region_bytes = region_head("ab", 0).take();
  region_bytes.resize(region_bytes.size() - 36);  // drop the empty calendar
  region_bytes.insert(region_bytes.end(), cut.begin(), cut.end());
  auto region = parse(region_bytes);
  ASSERT_FALSE(region);
  EXPECT_EQ(region.error().text(), "failed to fill whole buffer");
}

TEST(RegionLayout, DamagedCountFailsAtTheEndOfData) {
  auto bytes = region_head("ab", 0).take();
  bytes.resize(bytes.size() - 12);                    // calendar lists replaced:
  for (int i = 0; i < 4; ++i) bytes.push_back(0xFF);  // ~4 billion times of day
  bytes.resize(bytes.size() + 64, 0);
  auto region = parse(bytes);
  ASSERT_FALSE(region);
  EXPECT_EQ(region.error().text(), "failed to fill whole buffer");
  EXPECT_FALSE(region.error().is_backtrace());
}

TEST(RegionLayout, EncoderRoundTripWithEveryPart) {
  Region r;
  r.id = 0x13000000;
  r.name = "Dereth";
  r.height_table[3] = -2.5f;
  r.game_time.name = "cal";
  r.game_time.times_of_day.push_back({1, true, "noon"});
  r.game_time.names = {"a", "bb"};
  r.game_time.seasons.push_back({4, "winter"});
  SkyDesc sky;
  sky.values = {0x3FF0000000000000, 7};
  DayGroup group{1, "g", {DayGroupItem{{1, 2, 3, 4, 5, 6, 7, 8, 9}}}, {}};
  group.sky_times.push_back({{11}, {SkyTimeItem{{6, 5, 4, 3, 2, 1}}}});
  sky.day_groups.push_back(group);
  r.sky = sky;
  r.sound = SoundDesc{{AmbientSTBDesc{2, {AmbientItem{{1, 2, 3, 4, 5}}}}}};
  r.scene = SceneDesc{{SceneType{1, {0x12000001, 0x12000002}}}};
  r.terrain.terrain_types.push_back({"grass", 3, {0, 1}});
  r.terrain.pair_lists[2].push_back({8, 9});
  r.misc = RegionMisc{{1, 2, 3, 4, 5, 6}};
  r.part_mask = writer::region_part_mask(r);
  EXPECT_EQ(r.part_mask, 0x213u);

  auto bytes = writer::encode_region(r);
  Cursor cursor(bytes);
  auto parsed = Region::unpack(cursor);
  ASSERT_TRUE(parsed) << parsed.error().text();
  EXPECT_EQ(cursor.position(), bytes.size());
  EXPECT_EQ(writer::encode_region(*parsed), bytes);
  EXPECT_EQ(parsed->terrain.terrain_types.at(0).name, "grass");
  EXPECT_EQ(parsed->sky->day_groups.at(0).sky_times.at(0).items.at(0).values[0], 6u);
}

}  // namespace
}  // namespace tallowmere::dat::file_type

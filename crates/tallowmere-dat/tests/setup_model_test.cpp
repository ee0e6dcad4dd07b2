#include "tallowmere/dat/file_type/setup_model.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/dat_writer/model_records.hpp"

namespace tallowmere::dat::file_type {
namespace {

using common::Cursor;
using common::FailedCheck;
using common::LocatedFrame;
using common::ParseResult;
using writer::ByteWriter;

struct Parsed {
  ParseResult<SetupModel> model;
  uint64_t end;
};

Parsed parse(std::span<const uint8_t> bytes) {
  Cursor cursor(bytes);
  auto model = SetupModel::unpack(cursor);
  return {std::move(model), cursor.position()};
}

std::vector<std::string> frame_messages(const common::ParseError& error) {
  std::vector<std::string> out;
  for (const auto& frame : error.frames()) out.push_back(std::get<LocatedFrame>(frame).message);
  return out;
}

// Everything after the placement list of an empty model: no cylinders, no spheres,
// four sizes, two spheres, no lights, and the five trailing ids.
ByteWriter& empty_tail(ByteWriter& w, std::initializer_list<uint32_t> ids = {0, 0, 0, 0, 0}) {
  w.u32(0).u32(0).f32(1).f32(2).f32(3).f32(4).zeros(32).u32(0);
  for (uint32_t id : ids) w.u32(id);
  return w;
}

TEST(SetupModelLayout, NoPartsWithBothFlagsReadsNoPerPartData) {
  ByteWriter w;
  w.u32(0x02000010).u32(SetupModel::HAS_PARENT | SetupModel::HAS_DEFAULT_SCALE).u32(0);
  w.u32(0).u32(0);            // holding locations, connection points
  w.i32(1).u32(0x65);         // one placement, key 0x65: no frames before its hook count
  w.u32(1).u32(0).u32(0x77);  // one hook of type 0: no payload
  empty_tail(w, {0, 0x03000001, 0, 0, 0x34000002});
  auto [model, end] = parse(w.view());
  ASSERT_TRUE(model) << model.error().text();
  EXPECT_EQ(end, w.size());
  EXPECT_TRUE(model->parts.empty());
  EXPECT_TRUE(model->parent_index.empty());
  EXPECT_TRUE(model->default_scale.empty());
  const PlacementType& placement = model->placement_frames.at(0x65);
  EXPECT_TRUE(placement.frames.empty());
  ASSERT_EQ(placement.hooks.size(), 1u);
  EXPECT_EQ(model->hooks_of(placement)[0].param, 0x77u);
  EXPECT_EQ(model->height, 1.0f);
  EXPECT_EQ(model->step_down_height, 4.0f);
  // A stored 0 is absent, anything else present.
  EXPECT_FALSE(model->default_animation);
  EXPECT_EQ(model->default_script, 0x03000001u);
  EXPECT_FALSE(model->default_motion_table);
  EXPECT_FALSE(model->default_sound_table);
  EXPECT_EQ(model->default_script_table, 0x34000002u);
}

TEST(SetupModelLayout, PerPartListsFollowTheFlags) {
  ByteWriter w;
  w.u32(0x02000011).u32(SetupModel::HAS_DEFAULT_SCALE | 0x100).u32(2);
  w.u32(0x01000001).u32(0x01000002);
  w.f32(1).f32(1).f32(1).f32(2).f32(2).f32(2);  // scales; no parent indices without the flag
  w.u32(0).u32(0).i32(0);
  empty_tail(w);
  auto [model, end] = parse(w.view());
  ASSERT_TRUE(model) << model.error().text();
  EXPECT_EQ(end, w.size());
  EXPECT_EQ(model->parts, (std::vector<uint32_t>{0x01000001, 0x01000002}));
  EXPECT_TRUE(model->parent_index.empty());
  ASSERT_EQ(model->default_scale.size(), 2u);
  EXPECT_EQ(model->default_scale[1].z, 2.0f);
  EXPECT_TRUE(model->placement_frames.empty());
}

TEST(SetupModelErrors, NegativePlacementCountNamesIdAndCount) {
  ByteWriter w;
  w.u32(0x02000001).u32(0).u32(0).u32(0).u32(0).i32(-1);
  empty_tail(w);
  auto [model, end] = parse(w.view());
  ASSERT_FALSE(model);
  EXPECT_EQ(model.error().text(),
            "SetupModel 0x02000001 declared negative placement count -1 at 0x18");
}

TEST(AnimationHooks, TypeFivePayloadDependsOnItsSignedValue) {
  // Two hooks after zero frames: type 5 with -1 (8 + 8 bytes), then with 7 (8 + 4).
  ByteWriter w;
  w.u32(2);
  w.u32(5).u32(0xA).u8(0x11).i16(-1).u8(0x22).u8(0x33).zeros(3);
  w.u32(5).u32(0xB).u8(0x44).i16(7).u8(0x55);
  ASSERT_EQ(w.size(), 4u + 16 + 12);
  Cursor cursor(w.view());
  file_type::PlacementLists lists;
  auto placement = PlacementType::read(cursor, 0, lists);
  ASSERT_TRUE(placement) << placement.error().text();
  EXPECT_EQ(cursor.position(), w.size());
  ASSERT_EQ(placement->hooks.size(), 2u);
  // Both payloads, padding included, one after the other in the pool.
  EXPECT_EQ(lists.hook_data,
            (std::vector<uint8_t>{0x11, 0xFF, 0xFF, 0x22, 0x33, 0, 0, 0, 0x44, 7, 0, 0x55}));
  EXPECT_EQ(lists.hooks[1].data.first, 8u);
  EXPECT_EQ(lists.hooks[1].data.size(), 4u);
}

TEST(AnimationHooks, EveryTypeReadsItsPayloadLength) {
  // Payload bytes by type as the format lays them out (type 5 with a positive value).
  const size_t payload[27] = {0, 4, 4, 28, 0, 4, 4,  16, 12, 16, 12, 16, 8, 40,
                              4, 4, 4, 0,  4, 8, 12, 16, 12, 8,  12, 4,  40};
  for (uint32_t type = 0; type <= 26; ++type) {
    writer::PlacementSpec placement;
    placement.hooks = {writer::make_hook(type, type * 3), writer::make_hook(0, 0xFEED)};
    ByteWriter w;
    writer::encode_placement(w, placement);
    ASSERT_EQ(w.size(), 4 + 8 + payload[type] + 8) << type;
    Cursor cursor(w.view());
    file_type::PlacementLists lists;
    auto read = PlacementType::read(cursor, 0, lists);
    ASSERT_TRUE(read) << type << ": " << read.error().text();
    EXPECT_EQ(cursor.position(), w.size()) << type;
    ASSERT_EQ(read->hooks.size(), 2u);
    const auto data = lists.hooks[0].data.in(lists.hook_data);
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), placement.hooks[0].data) << type;
    EXPECT_EQ(lists.hooks[1].param, 0xFEEDu) << type;
  }
}

TEST(AnimationHooks, TypeAbove26FailsJustAfterParam) {
  ByteWriter w;
  w.u32(0x02000002).u32(0).u32(1).u32(0x01000001).u32(0).u32(0).i32(1);
  w.u32(0);                                // placement key
  w.zeros(28);                             // one part frame
  w.u32(2).u32(1).u32(0).u32(0xAABBCCDD);  // hook type 1, payload 4
  w.u32(27).u32(0);                        // hook type 27
  w.zeros(64);
  auto [model, end] = parse(w.view());
  ASSERT_FALSE(model);
  // id, flags, count, part, two counts, placement count, key: 32; frame 28; hook count 4;
  // first hook 12; second hook's type and param 8.
  EXPECT_EQ(model.error().text(), "Unsupported AnimationHook type: 0x0000001B at 0x54");
}

TEST(SetupModelMaps, RepeatedKeyKeepsTheLaterEntry) {
  writer::SetupModelSpec desc = writer::setup_model_from_parts(0x02000003, {0x01000001});
  LocationType first, second, other;
  first.part_id = 1;
  second.part_id = 2;
  other.part_id = 3;
  desc.holding_locations = {{7, first}, {8, other}, {7, second}};
  auto [model, end] = parse(writer::encode_setup_model(desc));
  ASSERT_TRUE(model) << model.error().text();
  ASSERT_EQ(model->holding_locations.size(), 2u);
  EXPECT_EQ(model->holding_locations.at(7).part_id, 2u);
}

TEST(SetupModelErrors, DeclarativeRecordsFrameTheirFieldsOnly) {
  // A holding location cut inside its frame's origin: Vector3, Frame, LocationType.
  ByteWriter location;
  location.u32(0x02000004).u32(0).u32(0).u32(1).u32(9).u32(0x10).f32(1).u8(0);
  auto [in_location, e1] = parse(location.view());
  ASSERT_FALSE(in_location);
  EXPECT_EQ(frame_messages(in_location.error()),
            (std::vector<std::string>{"While parsing field 'y' in Vector3",
                                      "While parsing field 'origin' in Frame",
                                      "While parsing field 'frame' in LocationType"}));
  EXPECT_EQ(std::string(std::get<LocatedFrame>(in_location.error().frames()[2]).location.file),
            "crates/tallowmere-dat/src/file_type/setup_model.cpp");

  // A part frame read directly by the placement: no frame beyond the Frame's own.
  ByteWriter part_frame;
  part_frame.u32(0x02000005).u32(0).u32(1).u32(0x01000001).u32(0).u32(0).i32(1).u32(0);
  part_frame.zeros(12 + 8);
  auto [in_part, e2] = parse(part_frame.view());
  ASSERT_FALSE(in_part);
  EXPECT_EQ(frame_messages(in_part.error()),
            (std::vector<std::string>{"While parsing field 'y' in Quaternion",
                                      "While parsing field 'orientation' in Frame"}));

  // A light cut in its cone angle.
  writer::SetupModelSpec desc;
  desc.lights = {{1, LightInfo{}}};
  auto bytes = writer::encode_setup_model(desc);
  // Without the five ids and half of cone_angle.
  auto [in_light, e3] = parse(std::span(bytes).first(bytes.size() - 20 - 2));
  ASSERT_FALSE(in_light);
  EXPECT_EQ(frame_messages(in_light.error()),
            (std::vector<std::string>{"While parsing field 'cone_angle' in LightInfo"}));
}

TEST(SetupModelRoundTrip, WriterModelReadsBackAndEveryPrefixFails) {
  writer::SetupModelSpec desc =
      writer::setup_model_from_parts(0x02000006, {0x01000010, 0x01000011});
  desc.flags = SetupModel::HAS_PARENT | SetupModel::HAS_DEFAULT_SCALE;
  desc.parent_index = {0xFFFFFFFF, 0};
  desc.default_scale = {{1, 1, 1}, {2, 2, 2}};
  desc.connection_points = {{3, LocationType{1, {}}}};
  desc.placement_frames[0].second.hooks = {writer::make_hook(5, 1, -3), writer::make_hook(13, 2)};
  desc.placement_frames.emplace_back(0x44, desc.placement_frames[0].second);
  desc.cyl_spheres = {CylSphere{{1, 2, 3}, 4, 5}};
  desc.spheres = {common::Sphere{{0, 0, 1}, 2}};
  desc.radius = 1.5f;
  desc.selection_sphere.radius = 9;
  desc.lights = {{2, LightInfo{{}, 0xFFFF8000, 1, 2, 3}}};
  desc.default_animation = 0x03000009;
  const auto bytes = writer::encode_setup_model(desc);
  auto [model, end] = parse(bytes);
  ASSERT_TRUE(model) << model.error().text();
  EXPECT_EQ(end, bytes.size());
  EXPECT_EQ(model->parent_index, desc.parent_index);
  EXPECT_EQ(model->connection_points.at(3).part_id, 1u);
  ASSERT_EQ(model->placement_frames.size(), 2u);
  const auto& placement = model->placement_frames.at(0x44);
  EXPECT_EQ(placement.frames.size(), 2u);
  EXPECT_EQ(model->hooks_of(placement)[0].data.size(), 8u);
  EXPECT_EQ(model->data_of(model->hooks_of(placement)[1]).size(), 40u);
  EXPECT_EQ(model->cyl_spheres[0].height, 5.0f);
  EXPECT_EQ(model->spheres[0].radius, 2.0f);
  EXPECT_EQ(model->radius, 1.5f);
  EXPECT_EQ(model->selection_sphere.radius, 9.0f);
  EXPECT_EQ(model->lights.at(2).color, 0xFFFF8000u);
  EXPECT_EQ(model->lights.at(2).cone_angle, 3.0f);
  EXPECT_EQ(model->default_animation, 0x03000009u);

  for (size_t n = 0; n < bytes.size(); ++n) {
    auto [cut, cut_end] = parse(std::span(bytes).first(n));
    EXPECT_FALSE(cut) << "prefix " << n;
  }
}

}  // namespace
}  // namespace tallowmere::dat::file_type

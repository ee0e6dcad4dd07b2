#include "tallowmere/dat/file_type/scene.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

namespace tallowmere::dat::file_type {
namespace {
using common::Cursor;
using common::ParseResult;

using common::LocatedFrame;
using writer::ByteWriter;

ParseResult<Scene> parse(std::span<const uint8_t> bytes) {
  Cursor cursor(bytes);
  return Scene::unpack(cursor);
}

TEST(ObjectDesc, FieldsInStoredOrder) {
  // Every field holds a distinct value so that a swapped pair shows.
  ByteWriter w;
  w.u32(0x02000123);
  for (int i = 1; i <= 7; ++i) w.f32(static_cast<float>(i));  // origin x y z, w x y z
  for (int i = 10; i <= 17; ++i) w.f32(static_cast<float>(i));
  w.u32(0xA1).u32(0xA2).u32(1);
  ASSERT_EQ(w.size(), 76u);
  Cursor cursor(w.view());
  auto d = ObjectDesc::unpack(cursor);
  ASSERT_TRUE(d) << d.error().text();
  EXPECT_EQ(cursor.position(), 76u);
  EXPECT_EQ(d->obj_id, 0x02000123u);
  EXPECT_EQ(d->base_frame.origin.y, 2.0f);
  EXPECT_EQ(d->base_frame.orientation.w, 4.0f);
  EXPECT_EQ(d->base_frame.orientation.z, 7.0f);
  const float floats[] = {d->probability, d->random_offset_x, d->random_offset_y, d->min_scale,
                          d->max_scale,   d->max_rotation,    d->min_slope,       d->max_slope};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(floats[i], static_cast<float>(10 + i)) << i;
  EXPECT_EQ(d->aux_1, 0xA1u);
  EXPECT_EQ(d->aux_2, 0xA2u);
  EXPECT_EQ(d->external_obj, 1u);
  EXPECT_EQ(writer::encode_object_desc(*d), w.view());
}

TEST(Scene, ByteCountsAndErrors) {
  auto empty = ByteWriter().u32(0x12000005).u32(0).take();
  auto scene = parse(empty);
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->id, 0x12000005u);
  EXPECT_TRUE(scene->objects.empty());

  Scene three;
  three.id = 0x12000006;
  for (uint32_t i = 0; i < 3; ++i) {
    ObjectDesc d;
    d.obj_id = 0x01000000 + i;
    d.max_scale = 2.0f;
    three.objects.push_back(d);
  }
  auto bytes = writer::encode_scene(three);
  ASSERT_EQ(bytes.size(), 8u + 76 * 3);
  scene = parse(bytes);
  ASSERT_TRUE(scene);
  ASSERT_EQ(scene->objects.size(), 3u);
  EXPECT_EQ(scene->objects[2].obj_id, 0x01000002u);

  // Every shorter payload fails; only a cut inside base_frame carries frames.
  for (size_t n = 0; n < bytes.size(); ++n) {
    scene = parse(std::span(bytes).first(n));
    ASSERT_FALSE(scene) << n;
    EXPECT_EQ(scene.error().io()->message, "failed to fill whole buffer") << n;
    const size_t in_entry = n < 8 ? 0 : (n - 8) % 76;
    const bool in_frame = n >= 8 && in_entry >= 4 && in_entry < 32;
    ASSERT_EQ(scene.error().frames().size(), in_frame ? 2u : 0u) << n;
    if (in_frame) {
      EXPECT_EQ(std::get<LocatedFrame>(scene.error().frames()[1]).message,
                in_entry < 16 ? "While parsing field 'origin' in Frame"
                              : "While parsing field 'orientation' in Frame");
    }
  }

  // A count of about 4 billion with one entry present fails at the second entry.
  bytes[4] = bytes[5] = bytes[6] = bytes[7] = 0xFF;
  scene = parse(std::span(bytes).first(8 + 76));
  ASSERT_FALSE(scene);
  EXPECT_EQ(scene.error().text(), "failed to fill whole buffer");
}

}  // namespace
}  // namespace tallowmere::dat::file_type

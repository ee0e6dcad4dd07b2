#include "tallowmere/common/math.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace tallowmere::common {
namespace {

std::vector<std::string> frame_messages(const ParseError& error) {
  std::vector<std::string> out;
  for (const auto& frame : error.frames()) out.push_back(std::get<LocatedFrame>(frame).message);
  return out;
}

void put_f32(std::vector<uint8_t>& out, uint32_t bits) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

TEST(MathRecords, ShortReadsNameTheFailingFieldAndRewind) {
  const uint8_t none[1] = {};
  Cursor empty(none, 1);
  auto v = Vector3::read(empty);
  ASSERT_FALSE(v);
  EXPECT_EQ(frame_messages(v.error()),
            std::vector<std::string>{"While parsing field 'x' in Vector3"});
  EXPECT_EQ(std::string(std::get<LocatedFrame>(v.error().frames()[0]).location.file),
            "crates/tallowmere-common/src/math.cpp");
  EXPECT_EQ(root_text(v.error().root()), "failed to fill whole buffer");

  const uint8_t twelve[12] = {};
  Cursor plane_cursor(twelve);
  auto plane = Plane::read(plane_cursor);
  ASSERT_FALSE(plane);
  EXPECT_EQ(frame_messages(plane.error()),
            std::vector<std::string>{"While parsing field 'd' in Plane"});
  EXPECT_EQ(plane_cursor.position(), 0u);

  // Every cut of a Sphere that starts at offset 3 fails in the field it cuts.
  const uint8_t bytes[3 + 16] = {};
  const char* axes[] = {"x", "y", "z"};
  for (size_t cut = 0; cut < 16; ++cut) {
    Cursor cursor(std::span<const uint8_t>(bytes).first(3 + cut), 3);
    auto sphere = Sphere::read(cursor);
    ASSERT_FALSE(sphere) << cut;
    std::vector<std::string> expected;
    if (cut < 12) {
      expected = {std::string("While parsing field '") + axes[cut / 4] + "' in Vector3",
                  "While parsing field 'center' in Sphere"};
    } else {
      expected = {"While parsing field 'radius' in Sphere"};
    }
    EXPECT_EQ(frame_messages(sphere.error()), expected) << cut;
    EXPECT_EQ(cursor.position(), 3u) << cut;
  }
}

TEST(MathRecords, ComponentsAreKeptBitForBit) {
  const uint32_t specials[] = {0x7FC00001, 0xFF800000, 0x80000000,
                               0x7F800000};  // NaN, -inf, -0, inf
  std::vector<uint8_t> bytes;
  for (uint32_t bits : specials) put_f32(bytes, bits);
  Cursor cursor(bytes);
  auto q = Quaternion::read(cursor);
  ASSERT_TRUE(q);
  EXPECT_EQ(std::bit_cast<uint32_t>(q->w), specials[0]);
  EXPECT_EQ(std::bit_cast<uint32_t>(q->x), specials[1]);
  EXPECT_EQ(std::bit_cast<uint32_t>(q->y), specials[2]);
  EXPECT_EQ(std::bit_cast<uint32_t>(q->z), specials[3]);
  EXPECT_EQ(cursor.position(), 16u);

  // The identity rotation is stored scalar first: 1.0, 0.0, 0.0, 0.0.
  const uint8_t identity[16] = {0x00, 0x00, 0x80, 0x3F};
  Cursor id_cursor(identity);
  auto id = Quaternion::read(id_cursor);
  ASSERT_TRUE(id);
  EXPECT_EQ(id->w, 1.0f);
  EXPECT_EQ(id->x, 0.0f);
  EXPECT_EQ(id->y, 0.0f);
  EXPECT_EQ(id->z, 0.0f);
}

}  // namespace
}  // namespace tallowmere::common

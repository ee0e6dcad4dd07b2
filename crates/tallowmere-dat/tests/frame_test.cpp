#include <gtest/gtest.h>

#include <string>

#include "tallowmere/dat/graphics.hpp"

namespace tallowmere::dat::graphics {
namespace {
using common::Cursor;

using common::LocatedFrame;

TEST(GraphicsFrame, QuaternionCutShortAddsBothFramesAndRewinds) {
  // 4 bytes before the Frame, then 20 of its 28: the quaternion stops before 'y'.
  const uint8_t bytes[4 + 20] = {};
  Cursor cursor(bytes, 4);
  auto frame = Frame::read(cursor);
  ASSERT_FALSE(frame);
  const auto& frames = frame.error().frames();
  ASSERT_EQ(frames.size(), 2u);
  const auto& inner = std::get<LocatedFrame>(frames[0]);
  const auto& outer = std::get<LocatedFrame>(frames[1]);
  EXPECT_EQ(inner.message, "While parsing field 'y' in Quaternion");
  EXPECT_EQ(std::string(inner.location.file), "crates/tallowmere-common/src/math.cpp");
  EXPECT_EQ(outer.message, "While parsing field 'orientation' in Frame");
  EXPECT_EQ(std::string(outer.location.file), "crates/tallowmere-dat/src/graphics.cpp");
  EXPECT_EQ(cursor.position(), 4u);

  // With all 28 bytes the origin comes first, then the quaternion w x y z.
  const uint8_t full[28] = {0, 0, 0x80, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40};
  Cursor full_cursor(full);
  auto ok = Frame::read(full_cursor);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->origin.x, 1.0f);
  EXPECT_EQ(ok->orientation.w, 2.0f);
  EXPECT_EQ(full_cursor.position(), 28u);
}

}  // namespace
}  // namespace tallowmere::dat::graphics

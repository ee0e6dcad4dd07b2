// Memory in whole pages for one growing array: room taken ahead starts on a large-page
// boundary and lets the block grow and shrink in place, its bytes kept.
#include <gtest/gtest.h>

#include <cstdint>

#include "tallowmere/common/platform.hpp"

namespace tallowmere::common {
namespace {

TEST(PageBuffer, RoomTakenAheadGrowsInPlaceAndKeepsItsBytes) {
  constexpr size_t kMiB = size_t{1} << 20;
  PageBuffer small;
  EXPECT_FALSE(small.reserve(kMiB));  // too short to ask for large pages
  EXPECT_EQ(small.data(), nullptr);

  PageBuffer block;
  ASSERT_TRUE(block.reserve(5 * kMiB));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block.data()) % (2 * kMiB), 0u);
  EXPECT_EQ(block.size(), 6 * kMiB);       // whole large pages
  EXPECT_FALSE(block.reserve(64 * kMiB));  // only an empty block takes room
  uint8_t* const start = block.data();
  start[0] = 1;
  start[5 * kMiB] = 2;
  start[6 * kMiB - 1] = 3;

  ASSERT_TRUE(block.resize(5 * kMiB + 1));  // gives back the rest, in place
  EXPECT_EQ(block.data(), start);
  ASSERT_TRUE(block.resize(40 * kMiB));  // outgrows the room
  EXPECT_EQ(block.data()[0], 1);
  EXPECT_EQ(block.data()[5 * kMiB], 2);
  EXPECT_EQ(block.data()[6 * kMiB - 1], 0);  // given back, so fresh
  block.data()[40 * kMiB - 1] = 4;

  ASSERT_TRUE(block.resize(0));
  EXPECT_EQ(block.data(), nullptr);
  EXPECT_TRUE(block.reserve(4 * kMiB));
}

}  // namespace
}  // namespace tallowmere::common

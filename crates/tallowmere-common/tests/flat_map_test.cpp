#include "tallowmere/common/flat_map.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace tallowmere::common {
namespace {

// Inserting past the reserved size, replacing, looking up and copying agree with an
// ordered map fed the same operations.
TEST(FlatMap, AgreesWithAnOrderedMapThroughGrowthReplacementAndCopies) {
  FlatMap<uint16_t, uint32_t> map;
  std::map<uint16_t, uint32_t> model;
  map.reserve(4);
  for (uint32_t i = 0; i < 3000; ++i) {
    const auto key = static_cast<uint16_t>((i * 7919u) % 1000);  // every key three times
    map.insert_or_assign(key, i);
    model[key] = i;
  }
  ASSERT_EQ(map.size(), model.size());
  for (const auto& [key, value] : model) {
    ASSERT_TRUE(map.contains(key)) << key;
    EXPECT_EQ(map.at(key), value) << key;
    ASSERT_NE(map.get(key), nullptr) << key;
    EXPECT_EQ(*map.get(key), value) << key;
  }
  EXPECT_FALSE(map.contains(1000));
  EXPECT_EQ(map.find(1000), map.end());
  EXPECT_EQ(map.get(1000), nullptr);
  EXPECT_EQ((FlatMap<uint16_t, uint32_t>().get(0)), nullptr);

  std::map<uint16_t, uint32_t> walked(map.begin(), map.end());
  EXPECT_EQ(walked, model);

  const FlatMap<uint16_t, uint32_t> copy(map);
  EXPECT_EQ(copy, map);
  EXPECT_EQ(copy.find(999)->second, model[999]);
}

// Emptying keeps nothing of the old entries and starts the walk somewhere else.
TEST(FlatMap, ClearedMapsRefillAndWalkFromADifferentStart) {
  FlatMap<uint32_t, int> map;
  std::set<uint32_t> firsts;
  for (int fill = 0; fill < 16; ++fill) {
    map.clear();
    for (uint32_t key = 0; key < 40; ++key) map.insert_or_assign(key * 1000, fill);
    ASSERT_EQ(map.size(), 40u);
    EXPECT_EQ(map.at(39000), fill);
    size_t walked = 0;
    for (const auto& entry : map) walked += entry.second == fill;
    EXPECT_EQ(walked, 40u);
    firsts.insert(map.begin()->first);
  }
  EXPECT_GE(firsts.size(), 2u);
  map.clear();
  EXPECT_TRUE(map.empty());
  EXPECT_EQ(map.begin(), map.end());
  EXPECT_FALSE(map.contains(0));
}

}  // namespace
}  // namespace tallowmere::common

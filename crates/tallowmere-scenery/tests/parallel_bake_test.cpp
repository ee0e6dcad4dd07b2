// The threaded landblock bake on the demo world: the same lines as the one-thread bake
// for every thread count and hand-out order, each scene and mesh loaded once for the
// whole bake, and a sink that stops the bake early.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <vector>

#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/scenery/parallel_bake.hpp"
#include "tallowmere/scenery/world.hpp"
#include "tallowmere/testing/demo_world.hpp"

namespace tallowmere::scenery {
namespace {

const World& demo() {
  static const World world = [] {
    const auto& files = testing::demo_world_files();
    auto world_or = open_world(files.portal_path, files.cell_path);
    if (!world_or) std::abort();
    return std::move(*world_or);
  }();
  return world;
}

// The ring with a few landblocks around it, one repeated, and one the cell archive lacks.
std::vector<uint16_t> sample_ids() {
  std::vector<uint16_t> ids = ring_landblocks();
  ids.insert(ids.end(), {0xA2AD, 0xB0BB, 0xA3AE, 0x0101});
  return ids;
}

TEST(ParallelBake, EveryThreadCountAndOrderGivesTheOneThreadLines) {
  const World& world = demo();
  const auto ids = sample_ids();
  const BakeResult expected = bake_landblocks(world.region, world.portal, world.cell, ids);
  size_t total = 0;
  for (const auto& entry : expected) total += entry.lines.size();
  ASSERT_GT(total, 1000u);

  struct Case {
    unsigned jobs;
    BakeOrder order;
    uint64_t seed;
  };
  for (const Case c : {Case{1, BakeOrder::Request, 0}, Case{4, BakeOrder::Request, 0},
                       Case{3, BakeOrder::Reversed, 0}, Case{4, BakeOrder::Shuffled, 7}}) {
    SharedCaches caches(world.portal);
    const BakeResult got = bake_landblocks_parallel(world.region, world.cell, ids, caches,
                                                    {{}, c.jobs, c.order, c.seed});
    EXPECT_TRUE(got == expected) << "jobs " << c.jobs << ", order " << static_cast<int>(c.order);
    // Each distinct id was loaded exactly once, however many threads asked for it.
    EXPECT_EQ(caches.scene_loads(), caches.scene_count());
    EXPECT_EQ(caches.mesh_loads(), caches.mesh_count());
    EXPECT_GT(caches.scene_count(), 0u);
  }
}

TEST(ParallelBake, CachesKeptAcrossBakesAreNotLoadedAgain) {
  const World& world = demo();
  const auto ids = ring_landblocks();
  SharedCaches caches(world.portal);
  const BakeResult first = bake_landblocks_parallel(world.region, world.cell, ids, caches, {{}, 2});
  const size_t scenes = caches.scene_loads(), meshes = caches.mesh_loads();
  const BakeResult second =
      bake_landblocks_parallel(world.region, world.cell, ids, caches, {{}, 2, BakeOrder::Reversed});
  EXPECT_TRUE(first == second);
  EXPECT_EQ(caches.scene_loads(), scenes);
  EXPECT_EQ(caches.mesh_loads(), meshes);
}

TEST(ParallelBake, SlopeOptionReachesTheBake) {
  const World& world = demo();
  const std::vector<uint16_t> ids = {0xA3AE, 0xA8B4};
  SharedCaches caches(world.portal);
  ParallelBakeOptions options;
  options.bake.use_slope = true;
  const BakeResult sloped =
      bake_landblocks_parallel(world.region, world.cell, ids, caches, options);
  const BakeResult expected =
      bake_landblocks(world.region, world.portal, world.cell, ids, BakeOptions{true});
  EXPECT_TRUE(sloped == expected);
  EXPECT_FALSE(sloped == bake_landblocks(world.region, world.portal, world.cell, ids));
}

TEST(ParallelBake, SinkSeesEachLandblockOnceAndCanStopTheBake) {
  const World& world = demo();
  const auto ids = ring_landblocks();
  SharedCaches caches(world.portal);
  std::mutex mutex;
  std::set<size_t> indices, sequences;
  const size_t delivered =
      bake_landblocks_parallel(world.region, world.cell, ids, caches,
                               {{}, 3, BakeOrder::Shuffled, 1}, [&](BakedLandblock&& baked) {
                                 std::lock_guard lock(mutex);
                                 EXPECT_EQ(baked.lines.landblock_id, ids[baked.index]);
                                 indices.insert(baked.index);
                                 sequences.insert(baked.sequence);
                                 return true;
                               });
  EXPECT_EQ(delivered, ids.size());
  EXPECT_EQ(indices.size(), ids.size());
  EXPECT_EQ(sequences.size(), ids.size());

  std::atomic<size_t> seen{0};
  const size_t stopped = bake_landblocks_parallel(world.region, world.cell, ids, caches, {{}, 2},
                                                  [&](BakedLandblock&&) { return ++seen < 5; });
  EXPECT_EQ(stopped, seen.load());
  EXPECT_GE(stopped, 5u);
  EXPECT_LE(stopped, 6u);  // at most one landblock per other thread was already under way
}

TEST(BakeSequence, OrdersArePermutationsAndShufflesDependOnlyOnTheSeed) {
  EXPECT_EQ(bake_sequence(4, BakeOrder::Request, 9), (std::vector<size_t>{0, 1, 2, 3}));
  EXPECT_EQ(bake_sequence(4, BakeOrder::Reversed, 9), (std::vector<size_t>{3, 2, 1, 0}));
  const auto a = bake_sequence(100, BakeOrder::Shuffled, 5);
  EXPECT_EQ(a, bake_sequence(100, BakeOrder::Shuffled, 5));
  EXPECT_NE(a, bake_sequence(100, BakeOrder::Shuffled, 6));
  auto sorted = a;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, bake_sequence(100, BakeOrder::Request, 0));
}

TEST(AllLandblocks, ListsEveryCellLandblockRecordInIdOrder) {
  const World& world = demo();
  const auto ids = all_landblocks(world.cell);
  EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
  size_t records = 0;
  for (const auto& entry : world.cell.entries()) records += (entry.id & 0xFFFF) == 0xFFFF;
  EXPECT_EQ(ids.size(), records);
  EXPECT_GT(ids.size(), 169u);
}

}  // namespace
}  // namespace tallowmere::scenery

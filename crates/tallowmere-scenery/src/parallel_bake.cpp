#include "tallowmere/scenery/parallel_bake.hpp"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <numeric>
#include <thread>

#include "tallowmere/common/seeded_map.hpp"

namespace tallowmere::scenery {

std::vector<size_t> bake_sequence(size_t count, BakeOrder order, uint64_t seed) {
  std::vector<size_t> sequence(count);
  std::iota(sequence.begin(), sequence.end(), size_t{0});
  switch (order) {
    case BakeOrder::Request:
      break;
    case BakeOrder::Reversed:
      std::reverse(sequence.begin(), sequence.end());
      break;
    case BakeOrder::Shuffled:
      // Fisher-Yates over SplitMix64 outputs: unlike the standard distributions, the
      // same on every standard library.
      for (size_t i = count; i > 1; --i) {
        const uint64_t draw = common::mix64(seed ^ common::mix64(i));
        std::swap(sequence[i - 1], sequence[draw % i]);
      }
      break;
  }
  return sequence;
}

size_t bake_landblocks_parallel(const dat::file_type::Region& region, const dat::DatDatabase& cell,
                                std::span<const uint16_t> ids, SharedCaches& caches,
                                const ParallelBakeOptions& options, const LandblockSink& sink) {
  const std::vector<size_t> sequence =
      bake_sequence(ids.size(), options.order, options.shuffle_seed);
  std::atomic<size_t> next{0};
  std::atomic<size_t> delivered{0};
  std::atomic<bool> stopped{false};

  auto work = [&] {
    SharedSceneSource scenes(caches);
    SharedMeshSource meshes(caches);
    while (!stopped.load(std::memory_order_relaxed)) {
      const size_t position = next.fetch_add(1, std::memory_order_relaxed);
      if (position >= sequence.size()) return;
      const size_t index = sequence[position];
      const uint16_t id = ids[index];
      BakedLandblock baked{
          index,
          position,
          {id, placement_lines(bake_landblock(region, cell, id, scenes, meshes, options.bake))}};
      delivered.fetch_add(1, std::memory_order_relaxed);
      if (!sink(std::move(baked))) stopped.store(true, std::memory_order_relaxed);
    }
  };

  const size_t jobs = std::min<size_t>(std::max(options.jobs, 1u), std::max<size_t>(ids.size(), 1));
  if (jobs == 1) {
    work();
  } else {
    std::vector<std::jthread> threads;
    threads.reserve(jobs);
    for (size_t t = 0; t < jobs; ++t) threads.emplace_back(work);
  }
  return delivered.load();
}

BakeResult bake_landblocks_parallel(const dat::file_type::Region& region,
                                    const dat::DatDatabase& cell, std::span<const uint16_t> ids,
                                    SharedCaches& caches, const ParallelBakeOptions& options) {
  BakeResult result(ids.size());
  std::mutex mutex;
  bake_landblocks_parallel(region, cell, ids, caches, options, [&](BakedLandblock&& baked) {
    std::lock_guard lock(mutex);
    result[baked.index] = std::move(baked.lines);
    return true;
  });
  return result;
}

}  // namespace tallowmere::scenery

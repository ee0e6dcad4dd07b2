// Baking many landblocks on several threads.
//
// The landblocks are handed out one at a time, in a chosen order, to `jobs` threads that
// share the open archives (read only) and one SharedCaches. A landblock's placements
// depend only on the archives, never on which thread bakes it, when, or what was baked
// before it, so the lines of every landblock are the same for any number of threads and
// any order; whoever needs the results in request order puts them back by their index.
// Each finished landblock goes to a sink at once, so nothing accumulates here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/scenery/shared_caches.hpp"

namespace tallowmere::scenery {

// The order in which landblocks are handed to the threads.
enum class BakeOrder {
  Request,   // as requested
  Reversed,  // last requested first
  Shuffled,  // a permutation drawn from a seed
};

struct ParallelBakeOptions {
  BakeOptions bake;
  unsigned jobs = 1;  // threads; 0 counts as 1, and 1 bakes on the calling thread
  BakeOrder order = BakeOrder::Request;
  uint64_t shuffle_seed = 0;  // for BakeOrder::Shuffled
};

// One finished landblock.
struct BakedLandblock {
  size_t index = 0;     // its position in the request
  size_t sequence = 0;  // its position in the order landblocks were handed out
  LandblockLines lines;
};

// Receives each finished landblock, on the thread that baked it; several threads may call
// it at the same time. Returning false stops the bake: no further landblock is started.
using LandblockSink = std::function<bool(BakedLandblock&&)>;

// The request positions 0..count-1 in the order `order` hands them out. The shuffle is
// the same for the same seed on every machine.
[[nodiscard]] std::vector<size_t> bake_sequence(size_t count, BakeOrder order, uint64_t seed);

// Bakes every landblock of `ids` and hands each to `sink` as it finishes. Returns the
// number of landblocks handed to the sink (all of them unless the sink stopped the bake).
size_t bake_landblocks_parallel(const dat::file_type::Region& region, const dat::DatDatabase& cell,
                                std::span<const uint16_t> ids, SharedCaches& caches,
                                const ParallelBakeOptions& options, const LandblockSink& sink);

// The same, collecting the results in request order.
[[nodiscard]] BakeResult bake_landblocks_parallel(const dat::file_type::Region& region,
                                                  const dat::DatDatabase& cell,
                                                  std::span<const uint16_t> ids,
                                                  SharedCaches& caches,
                                                  const ParallelBakeOptions& options);

}  // namespace tallowmere::scenery

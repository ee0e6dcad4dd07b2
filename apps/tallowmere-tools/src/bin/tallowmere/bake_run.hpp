// What `bake` and `prove` share: opening the archive pair with the tool's error report,
// resolving the landblock selection and the hand-out order, and the threaded bake.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tallowmere/scenery/parallel_bake.hpp"
#include "tallowmere/scenery/world.hpp"

namespace tallowmere::tool {

// Opens both archives and loads the region; on failure writes the same error report as
// `ringproof` to standard error and gives nothing.
std::optional<scenery::World> open_world_or_report(const std::string& portal,
                                                   const std::string& cell);

// The ids of selection `text` in `world`; on failure writes "tallowmere <command>: <why>"
// to standard error and gives nothing.
std::optional<std::vector<uint16_t>> selection_or_report(const std::string& command,
                                                         const std::string& text,
                                                         const scenery::World& world);

// "request", "reversed" or "shuffled".
std::optional<scenery::BakeOrder> parse_order(const std::string& text);
const char* order_name(scenery::BakeOrder order);

// The number of threads `jobs` asks for: itself, or one per hardware thread for 0.
unsigned resolve_jobs(unsigned jobs);

// A change to a finished landblock before it reaches the sink. Only the test build of the
// tool installs one, to plant a fault that `prove` must find.
using BakeFault = std::function<void(scenery::BakedLandblock&)>;
void set_bake_fault(BakeFault fault);

// scenery::bake_landblocks_parallel over `world`, through the planted fault if any.
size_t bake_world(const scenery::World& world, const std::vector<uint16_t>& ids,
                  scenery::SharedCaches& caches, const scenery::ParallelBakeOptions& options,
                  const scenery::LandblockSink& sink);

}  // namespace tallowmere::tool

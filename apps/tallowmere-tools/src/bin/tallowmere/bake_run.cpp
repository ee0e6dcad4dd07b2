#include "bake_run.hpp"

#include <thread>

#include "open.hpp"
#include "output.hpp"
#include "report.hpp"
#include "selection.hpp"

namespace tallowmere::tool {

std::optional<scenery::World> open_world_or_report(const std::string& portal,
                                                   const std::string& cell) {
  auto world_or = ringproof::open_world(portal, cell);
  if (!world_or) {
    write_stderr(ringproof::format_report(world_or.error()));
    return std::nullopt;
  }
  return std::move(*world_or);
}

std::optional<std::vector<uint16_t>> selection_or_report(const std::string& command,
                                                         const std::string& text,
                                                         const scenery::World& world) {
  auto ids_or = parse_selection(text, world.cell);
  if (!ids_or) {
    write_stderr("tallowmere " + command + ": " + ids_or.error() + "\n");
    return std::nullopt;
  }
  return std::move(*ids_or);
}

std::optional<scenery::BakeOrder> parse_order(const std::string& text) {
  if (text == "request") return scenery::BakeOrder::Request;
  if (text == "reversed") return scenery::BakeOrder::Reversed;
  if (text == "shuffled") return scenery::BakeOrder::Shuffled;
  return std::nullopt;
}

const char* order_name(scenery::BakeOrder order) {
  switch (order) {
    case scenery::BakeOrder::Request:
      return "request";
    case scenery::BakeOrder::Reversed:
      return "reversed";
    case scenery::BakeOrder::Shuffled:
      return "shuffled";
  }
  return "?";
}

unsigned resolve_jobs(unsigned jobs) {
  if (jobs > 0) return jobs;
  return std::max(1u, std::thread::hardware_concurrency());
}

namespace {
BakeFault& planted_fault() {
  static BakeFault fault;
  return fault;
}
}  // namespace

void set_bake_fault(BakeFault fault) {
  planted_fault() = std::move(fault);
}

size_t bake_world(const scenery::World& world, const std::vector<uint16_t>& ids,
                  scenery::SharedCaches& caches, const scenery::ParallelBakeOptions& options,
                  const scenery::LandblockSink& sink) {
  const BakeFault& fault = planted_fault();
  if (!fault) {
    return scenery::bake_landblocks_parallel(world.region, world.cell, ids, caches, options, sink);
  }
  return scenery::bake_landblocks_parallel(world.region, world.cell, ids, caches, options,
                                           [&](scenery::BakedLandblock&& baked) {
                                             fault(baked);
                                             return sink(std::move(baked));
                                           });
}

}  // namespace tallowmere::tool

// tallowmere bake: one placement file per selected landblock, written as each finishes.
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <optional>

#include "bake_run.hpp"
#include "commands.hpp"
#include "output.hpp"
#include "report.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/text.hpp"
#include "tallowmere/scenery/placement_files.hpp"

namespace tallowmere::tool {

int run_bake(const BakeCommand& command) {
  const auto order = parse_order(command.order);
  if (!order) {
    write_stderr("tallowmere bake: bad order '" + command.order + "'\n");
    return kExitTrouble;
  }
  const auto world = open_world_or_report(command.portal, command.cell);
  if (!world) return kExitTrouble;
  const auto ids = selection_or_report("bake", command.landblocks, *world);
  if (!ids) return kExitTrouble;
  if (auto made = common::create_dir_all(command.out); !made) {
    write_stderr(ringproof::format_report(
        ringproof::with_context("create output folder " + command.out, made.error())));
    return kExitTrouble;
  }

  scenery::ParallelBakeOptions options;
  options.bake.use_slope = command.slope;
  options.jobs = resolve_jobs(command.jobs);
  options.order = *order;
  options.shuffle_seed = command.shuffle_seed;

  const auto start = std::chrono::steady_clock::now();
  scenery::SharedCaches caches(world->portal);
  ProgressLine progress("bake", "landblocks", ids->size());
  std::atomic<uint64_t> placements{0};
  std::mutex error_mutex;
  std::optional<scenery::WriteError> write_error;
  const size_t baked = bake_world(*world, *ids, caches, options, [&](scenery::BakedLandblock&& lb) {
    auto written = scenery::write_lines(command.out, lb.lines.landblock_id, lb.lines.lines);
    if (!written) {
      std::lock_guard lock(error_mutex);
      if (!write_error) write_error = std::move(written).error();
      return false;
    }
    placements.fetch_add(lb.lines.lines.size(), std::memory_order_relaxed);
    progress.advance();
    return true;
  });
  progress.finish();
  if (write_error) {
    write_stderr(ringproof::format_report(ringproof::with_context(
        "write " + common::display_lossy(write_error->path), write_error->error)));
    return kExitFailed;
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  char summary[256];
  std::snprintf(summary, sizeof summary,
                "bake: %zu landblocks, %" PRIu64 " placements, %.3f s (%.1f landblocks/s, %u %s)\n",
                baked, placements.load(), seconds,
                seconds > 0 ? static_cast<double>(baked) / seconds : 0.0, options.jobs,
                options.jobs == 1 ? "job" : "jobs");
  write_stderr(summary);
  return kExitOk;
}

}  // namespace tallowmere::tool

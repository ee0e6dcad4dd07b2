#include "determinism.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/text.hpp"
#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/scenery/placement_files.hpp"

namespace tallowmere::ringproof {

namespace {

// One run's result while it is being baked: the baking thread fills the entries in ring
// order and publishes each as it completes; the writer takes them in the same order, each
// once it is published. `ready` counts the published entries.
class RunInProgress {
 public:
  explicit RunInProgress(size_t count) : entries_(count) {}

  void publish(size_t index, scenery::LandblockLines entry) {
    entries_[index] = std::move(entry);
    ready_.store(index + 1, std::memory_order_release);
    ready_.notify_all();
  }

  // Entry `index`, waiting until it has been published.
  const scenery::LandblockLines& await(size_t index) const {
    for (size_t ready = ready_.load(std::memory_order_acquire); ready <= index;
         ready = ready_.load(std::memory_order_acquire)) {
      ready_.wait(ready, std::memory_order_acquire);
    }
    return entries_[index];
  }

  [[nodiscard]] size_t size() const { return entries_.size(); }

  // The whole result; only once every entry is published and nobody reads any more.
  scenery::BakeResult take() { return std::move(entries_); }

 private:
  scenery::BakeResult entries_;
  std::atomic<size_t> ready_{0};
};

// Bakes the ring into `run` with caches of its own, so that it shares nothing with the
// other run and repeats every fetch and parse.
void bake_run(const dat::file_type::Region& region, const dat::DatDatabase& portal,
              const dat::DatDatabase& cell, const std::vector<uint16_t>& ring, RunInProgress& run) {
  scenery::PortalCaches caches(portal);
  for (size_t i = 0; i < ring.size(); ++i) {
    run.publish(i, {ring[i], scenery::placement_lines(
                                 scenery::bake_landblock(region, cell, ring[i], caches))});
  }
}

// Creates both run directories, then writes every landblock of run 1 and then of run 2,
// in ring order, each as soon as it is baked. Stops at the first failure.
Expected<void, ErrorReport> write_runs(const OutputDirectory& out_dir, const RunInProgress& run1,
                                       const RunInProgress& run2) {
  if (out_dir.shared_default) {
    auto created = common::create_private_dir(out_dir.path);
    if (!created) return make_unexpected(plain_error(created.error().text()));
  }
  const std::string dir1 = scenery::join_path(out_dir.path, "run1");
  const std::string dir2 = scenery::join_path(out_dir.path, "run2");
  for (const std::string* dir : {&dir1, &dir2}) {
    auto created = common::create_dir_all(*dir);
    if (!created) return make_unexpected(plain_error(created.error().text()));
  }
  for (const auto& [run, dir] : {std::pair{&run1, &dir1}, std::pair{&run2, &dir2}}) {
    for (size_t i = 0; i < run->size(); ++i) {
      const scenery::LandblockLines& entry = run->await(i);
      auto written = scenery::write_lines(*dir, entry.landblock_id, entry.lines);
      if (!written) {
        const scenery::WriteError& error = written.error();
        return make_unexpected(
            with_context("write " + common::display_lossy(error.path), error.error));
      }
    }
  }
  return {};
}

// Runs `work` on a new thread, or reports that no thread could be had (the caller then
// does the work itself, in order).
template <class Work>
std::optional<std::jthread> start_thread(Work&& work) {
  try {
    return std::jthread(std::forward<Work>(work));
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

}  // namespace

scenery::Comparison compare_or_abort(const scenery::BakeResult& run1,
                                     const scenery::BakeResult& run2) {
  auto comparison = scenery::compare_runs(run1, run2);
  if (!comparison) {
    std::fputs("lb sequence drift\n", stderr);
    std::abort();
  }
  return std::move(*comparison);
}

OutputDirectory output_directory(const std::string* configured) {
  if (configured) return {*configured, false};
  const std::string temp = common::read_env("TMPDIR").value_or("");
  return {scenery::join_path(temp.empty() ? "/tmp" : temp, "ringproof-determinism"), true};
}

Expected<void, ErrorReport> run_determinism(const dat::file_type::Region& region,
                                            const dat::DatDatabase& portal,
                                            const dat::DatDatabase& cell,
                                            const OutputDirectory& out_dir, const LogSink& log) {
  const std::vector<uint16_t> ring = scenery::ring_landblocks();
  const std::string count = std::to_string(ring.size());

  // The two runs bake at the same time, each on its own thread with its own caches; they
  // share only the archives and the region, which nobody changes. A third thread writes
  // the placement files while they bake: the run directories first, then run 1's files
  // and then run 2's in ring order, each once its landblock is baked. That is the order
  // in which writing them after both bakes would go, and it stops at the same first
  // failure; the report waits until both runs are baked. Where no thread can be started,
  // the same work runs on this thread, in that order.
  RunInProgress run1(ring.size());
  RunInProgress run2(ring.size());
  log("ringproof: baking 13\u00d713 = " + count + " LBs (run 1)\n");
  log("ringproof: baking 13\u00d713 = " + count + " LBs (run 2)\n");
  std::optional<std::jthread> second =
      start_thread([&] { bake_run(region, portal, cell, ring, run2); });
  Expected<void, ErrorReport> written;
  std::optional<std::jthread> writer =
      second ? start_thread([&] { written = write_runs(out_dir, run1, run2); }) : std::nullopt;
  bake_run(region, portal, cell, ring, run1);
  if (second) {
    second->join();
  } else {
    bake_run(region, portal, cell, ring, run2);
  }
  if (writer) {
    writer->join();
  } else {
    written = write_runs(out_dir, run1, run2);
  }
  if (!written) return written;

  const scenery::BakeResult result1 = run1.take();
  const scenery::BakeResult result2 = run2.take();
  const scenery::Comparison comparison = compare_or_abort(result1, result2);
  log("ringproof: total placements = " + std::to_string(comparison.total_placements) + " across " +
      std::to_string(result1.size()) + " LBs\n");
  if (comparison.drifted.empty()) {
    log("ringproof: PASS \u2014 all 169 LBs byte-identical across 2 runs\n");
    return {};
  }
  log(scenery::drift_report(comparison, result1, result2));
  return make_unexpected(plain_error("ringproof: FAIL \u2014 " +
                                     std::to_string(comparison.drifted.size()) +
                                     " LBs drifted between runs"));
}

}  // namespace tallowmere::ringproof

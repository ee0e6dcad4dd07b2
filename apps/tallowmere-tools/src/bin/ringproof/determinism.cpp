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

  bool is_ready(size_t index) const { return ready_.load(std::memory_order_acquire) > index; }

  // Entry `index`, waiting until it has been published.
  const scenery::LandblockLines& await(size_t index) const {
    for (size_t ready = ready_.load(std::memory_order_acquire); ready <= index;
         ready = ready_.load(std::memory_order_acquire)) {
      ready_.wait(ready, std::memory_order_acquire);
    }
    return entries_[index];
  }

  [[nodiscard]] size_t size() const { return entries_.size(); }

  // Every entry, waiting until the last is published.
  const scenery::BakeResult& await_all() const {
    if (!entries_.empty()) await(entries_.size() - 1);
    return entries_;
  }

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

// Where the placement files go: the output directory, its "run1" and "run2", and the
// files in the order they are written, run 1's in ring order and then run 2's.
struct Layout {
  Layout(const OutputDirectory& out, std::vector<uint16_t> ids)
      : out_dir(out),
        ring(std::move(ids)),
        run_dirs{scenery::join_path(out.path, "run1"), scenery::join_path(out.path, "run2")} {}

  size_t file_count() const { return 2 * ring.size(); }
  const std::string& dir_of(size_t file) const { return run_dirs[file / ring.size()]; }
  uint16_t landblock_of(size_t file) const { return ring[file % ring.size()]; }

  OutputDirectory out_dir;
  std::vector<uint16_t> ring;
  std::string run_dirs[2];
};

// The directories and files made ahead of the writing, one step at a time whenever the
// writer would otherwise wait: the output directory and both run directories (only where
// the parent exists), then each file, created under a hidden name and not yet filled,
// in the order of writing. Best effort: the first step that fails ends the preparing,
// and the writing then meets the same failure in its own place and reports it. Files
// not taken are removed when this is destroyed.
class PreparedFiles {
 public:
  explicit PreparedFiles(const Layout& layout) : layout_(layout), files_(layout.file_count()) {
    // Each file holds a descriptor until it is written; most of the process's allowance
    // is left to everything else.
    const size_t limit = common::open_file_limit();
    budget_ = limit > 128 ? std::min(files_.size(), (limit - 64) / 2) : 0;
  }

  // Takes one more step; false when there is nothing left to prepare.
  bool prepare_next() {
    if (stopped_) return false;
    if (dirs_ready_ < 3) {
      const bool shared = dirs_ready_ == 0 && layout_.out_dir.shared_default;
      const std::string& dir =
          dirs_ready_ == 0 ? layout_.out_dir.path : layout_.run_dirs[dirs_ready_ - 1];
      auto state = common::ensure_dir(dir, shared);
      if (!state) return stop();
      if (*state == common::DirState::Created) made_dirs_.push_back(dir);
      ++dirs_ready_;
      return true;
    }
    if (next_ >= files_.size() || next_ >= budget_) return stop();
    auto file = scenery::prepare_lines_file(layout_.dir_of(next_), layout_.landblock_of(next_));
    if (!file) return stop();
    files_[next_++] = std::move(*file);
    return true;
  }

  // File `index` if it was prepared. Files before it are never asked for again.
  std::optional<common::PendingFile> take(size_t index) {
    next_ = std::max(next_, index + 1);
    return std::exchange(files_[index], std::nullopt);
  }

  // Gives back everything made: files first, then the directories, the last made first.
  void take_back() {
    for (auto& file : files_) file.reset();
    for (auto it = made_dirs_.rbegin(); it != made_dirs_.rend(); ++it)
      common::remove_empty_dir(*it);
    made_dirs_.clear();
    stopped_ = true;
  }

 private:
  bool stop() {
    stopped_ = true;
    return false;
  }

  const Layout& layout_;
  std::vector<std::optional<common::PendingFile>> files_;
  size_t budget_ = 0;
  size_t next_ = 0;          // the next file to prepare
  unsigned dirs_ready_ = 0;  // the output directory, then run1 and run2
  std::vector<std::string> made_dirs_;
  bool stopped_ = false;
};

// Whether the archives opened: until then the writer only prepares; then it either
// writes or takes back what it prepared.
enum class Gate : int { Opening, Writing, Abandoned };

}  // namespace

struct DeterminismRun::State {
  State(OutputDirectory out, std::vector<uint16_t> ring_ids)
      : layout(out, std::move(ring_ids)), run1(layout.ring.size()), run2(layout.ring.size()) {}

  // The writer's whole work: prepares files until the gate opens, then creates the run
  // directories, then writes every landblock of run 1 and then of run 2, in ring order,
  // each as soon as it is baked, preparing the next files while it waits. Stops at the
  // first failure.
  Expected<void, ErrorReport> write_runs(PreparedFiles& prepared);

  // Waits while `ready` is false, using the time to prepare files.
  template <class Ready, class Wait>
  void prepare_until(PreparedFiles& prepared, const Ready& ready, const Wait& wait) {
    while (!ready()) {
      if (!prepared.prepare_next()) wait();
    }
  }

  Layout layout;
  RunInProgress run1;
  RunInProgress run2;
  std::atomic<Gate> gate{Gate::Opening};
  Expected<void, ErrorReport> written;
  std::optional<std::jthread> writer;
};

namespace {

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

Expected<void, ErrorReport> DeterminismRun::State::write_runs(PreparedFiles& prepared) {
  prepare_until(
      prepared, [&] { return gate.load() != Gate::Opening; }, [&] { gate.wait(Gate::Opening); });
  if (gate.load() == Gate::Abandoned) {
    prepared.take_back();
    return {};
  }

  const OutputDirectory& out_dir = layout.out_dir;
  if (out_dir.shared_default) {
    auto created = common::create_private_dir(out_dir.path);
    if (!created) return make_unexpected(plain_error(created.error().text()));
  }
  for (const std::string& dir : layout.run_dirs) {
    auto created = common::create_dir_all(dir);
    if (!created) return make_unexpected(plain_error(created.error().text()));
  }
  for (size_t k = 0; k < layout.file_count(); ++k) {
    const RunInProgress& run = k < run1.size() ? run1 : run2;
    const size_t i = k % run1.size();
    prepare_until(
        prepared, [&] { return run.is_ready(i); }, [&] { run.await(i); });
    const scenery::LandblockLines& entry = run.await(i);
    std::optional<common::PendingFile> file = prepared.take(k);
    auto done = file ? scenery::write_lines(std::move(*file), entry.lines)
                     : scenery::write_lines(layout.dir_of(k), entry.landblock_id, entry.lines);
    if (!done) {
      const scenery::WriteError& error = done.error();
      return make_unexpected(
          with_context("write " + common::display_lossy(error.path), error.error));
    }
  }
  return {};
}

scenery::Comparison compare_or_abort(const scenery::BakeResult& run1,
                                     const scenery::BakeResult& run2) {
  return compared_or_abort(scenery::compare_runs(run1, run2));
}

scenery::Comparison compared_or_abort(
    Expected<scenery::Comparison, scenery::SequenceMismatch> comparison) {
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

DeterminismRun::DeterminismRun(OutputDirectory out_dir)
    : state_(std::make_unique<State>(std::move(out_dir), scenery::ring_landblocks())) {
  State& state = *state_;
  state.writer = start_thread([&state] {
    PreparedFiles prepared(state.layout);
    state.written = state.write_runs(prepared);
  });
}

DeterminismRun::~DeterminismRun() {
  // Never run: the archives did not open. The writer takes back what it prepared.
  if (state_->gate.load() == Gate::Opening) {
    state_->gate.store(Gate::Abandoned);
    state_->gate.notify_all();
  }
}

Expected<void, ErrorReport> DeterminismRun::run(const dat::file_type::Region& region,
                                                const dat::DatDatabase& portal,
                                                const dat::DatDatabase& cell, const LogSink& log) {
  State& state = *state_;
  const std::vector<uint16_t>& ring = state.layout.ring;
  const std::string count = std::to_string(ring.size());

  // The two runs bake at the same time, each on its own thread with its own caches; they
  // share only the archives and the region, which nobody changes. The writer thread,
  // which has been preparing files, now writes them while they bake: the run directories
  // first, then run 1's files and then run 2's in ring order, each once its landblock is
  // baked. That is the order in which writing them after both bakes would go, and it
  // stops at the same first failure; the report waits until both runs are baked. Where
  // no thread can be started, the same work runs on this thread, in that order.
  log("ringproof: baking 13\u00d713 = " + count + " LBs (run 1)\n");
  log("ringproof: baking 13\u00d713 = " + count + " LBs (run 2)\n");
  state.gate.store(Gate::Writing);
  state.gate.notify_all();
  // The runs are compared by whichever bake finishes last (run 2's thread), while the
  // writer may still be writing; a failed write still wins over the comparison.
  std::optional<Expected<scenery::Comparison, scenery::SequenceMismatch>> compared;
  const auto bake_second_and_compare = [&] {
    bake_run(region, portal, cell, ring, state.run2);
    compared.emplace(scenery::compare_runs(state.run1.await_all(), state.run2.await_all()));
  };
  std::optional<std::jthread> second = start_thread(bake_second_and_compare);
  bake_run(region, portal, cell, ring, state.run1);
  if (second) {
    second->join();
  } else {
    bake_second_and_compare();
  }
  if (state.writer) {
    state.writer->join();
  } else {
    PreparedFiles none(state.layout);
    state.written = state.write_runs(none);
  }
  if (!state.written) return state.written;

  const scenery::BakeResult& result1 = state.run1.await_all();
  const scenery::BakeResult& result2 = state.run2.await_all();
  const scenery::Comparison comparison = compared_or_abort(std::move(*compared));
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

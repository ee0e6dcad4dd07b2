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
  // `published` counts the entries published by every run, for a reader waiting on any.
  RunInProgress(size_t count, std::atomic<uint32_t>& published)
      : entries_(count), published_(published) {}

  void publish(size_t index, scenery::LandblockLines entry) {
    entries_[index] = std::move(entry);
    ready_.store(index + 1, std::memory_order_release);
    ready_.notify_all();
    published_.fetch_add(1, std::memory_order_release);
    published_.notify_all();
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
  std::atomic<uint32_t>& published_;
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

// Whether the archives opened: until then the writer only prepares; then it either
// writes or takes back what it prepared.
enum class Gate : int { Opening, Writing, Abandoned };

// The writer of both runs' placement files. What can be seen of its work comes in the
// order of writing every file after both bakes: the run directories, then run 1's files
// and then run 2's in ring order, each put in place under its name only once all before
// it are, and nothing after the first failure. Everything else happens whenever it can,
// one step at a time: before the archives are open, the directories and files are
// prepared (created, the files under hidden names); once landblocks are baked, their
// files are filled, whichever run they belong to. A failure while filling is kept and
// reported when the file's turn comes. Files not put in place are removed when the
// writer is destroyed.
//
// Creating a file is most of what writing one costs, and far more where many files were
// deleted moments before. Run 2's files are therefore prepared on a thread of their own
// (the preparer), side by side with the writer's work on run 1's, once the directories
// are there; a file of run 2 that the writer needs before the preparer has made it, the
// writer makes itself. Only the writer fills and places files.
class PlacementWriter {
 public:
  PlacementWriter(const Layout& layout, const RunInProgress& run1, const RunInProgress& run2)
      : layout_(layout),
        runs_{&run1, &run2},
        slots_(layout.file_count()),
        claims_(layout.ring.size()) {
    // A prepared file holds a descriptor until it is filled; most of the process's
    // allowance is left to everything else.
    const size_t limit = common::open_file_limit();
    budget_ = limit > 128 ? std::min(slots_.size(), (limit - 64) / 2) : 0;
    try {
      preparer_ = std::thread([this] { prepare_run2(); });
    } catch (const std::system_error&) {
    }
  }
  ~PlacementWriter() { stop_preparer(); }
  PlacementWriter(const PlacementWriter&) = delete;
  PlacementWriter& operator=(const PlacementWriter&) = delete;

  // Prepares one more directory or file, best effort: the first that fails ends the
  // preparing (the writing meets the same failure in its own place). False when there
  // is nothing left to prepare.
  bool prepare_next() {
    if (stopped_) return false;
    if (dirs_ready_ < 3) {
      const bool shared = dirs_ready_ == 0 && layout_.out_dir.shared_default;
      const std::string& dir =
          dirs_ready_ == 0 ? layout_.out_dir.path : layout_.run_dirs[dirs_ready_ - 1];
      auto state = common::ensure_dir(dir, shared);
      if (!state) return stop();
      if (*state == common::DirState::Created) made_dirs_.push_back(dir);
      if (++dirs_ready_ == 3) start_preparer();
      return true;
    }
    // With a preparer, run 2's files are its own.
    const size_t end = preparer_.joinable() ? layout_.ring.size() : slots_.size();
    while (next_prepared_ < end && slots_[next_prepared_].state != Slot::Empty) ++next_prepared_;
    if (next_prepared_ >= end || held_.load() >= budget_ || !prepare(next_prepared_)) return stop();
    return true;
  }

  // Removes everything prepared: files first, then the directories, the last made first.
  void take_back() {
    stop_preparer();
    slots_.clear();
    for (auto it = made_dirs_.rbegin(); it != made_dirs_.rend(); ++it)
      common::remove_empty_dir(*it);
    made_dirs_.clear();
    stopped_ = true;
  }

  // Creates the run directories, then fills and places every file, each once its
  // landblock is baked; waits on `published` (bumped by every publication) when there
  // is nothing to do.
  Expected<void, ErrorReport> write(const std::atomic<uint32_t>& published) {
    const OutputDirectory& out_dir = layout_.out_dir;
    if (out_dir.shared_default) {
      auto created = common::create_private_dir(out_dir.path);
      if (!created) return make_unexpected(plain_error(created.error().text()));
    }
    for (const std::string& dir : layout_.run_dirs) {
      auto created = common::create_dir_all(dir);
      if (!created) return make_unexpected(plain_error(created.error().text()));
    }
    start_preparer();
    while (placed_ < slots_.size()) {
      const uint32_t seen = published.load(std::memory_order_acquire);
      auto stepped = step();
      if (!stepped) return make_unexpected(std::move(stepped).error());
      if (!*stepped) published.wait(seen, std::memory_order_acquire);
    }
    return {};
  }

 private:
  struct Slot {
    enum State { Empty, Prepared, Filled, Failed } state = Empty;
    std::optional<common::PendingFile> file;
    std::optional<scenery::WriteError> error;  // when Failed
  };

  // Who has a file of run 2: nobody yet, the preparer (making it), the preparer done
  // with it (prepared or not: the writer's from then on), the writer (taken unprepared).
  enum class Claim : uint8_t { Free, Preparing, Done, Writer };
  // The preparer waits to be let go, once the directories are there, or stopped.
  enum class PreparerGo : int { Wait, Go, Stop };

  bool stop() {
    stopped_ = true;
    return false;
  }

  // Creates file `index` under its hidden name; false when that fails.
  bool prepare(size_t index) {
    auto file = scenery::prepare_lines_file(layout_.dir_of(index), layout_.landblock_of(index));
    if (!file) return false;
    slots_[index].file = std::move(*file);
    slots_[index].state = Slot::Prepared;
    held_.fetch_add(1);
    return true;
  }

  void start_preparer() {
    preparer_go_.store(PreparerGo::Go);
    preparer_go_.notify_all();
  }

  void stop_preparer() {
    if (!preparer_.joinable()) return;
    preparer_go_.store(PreparerGo::Stop);
    preparer_go_.notify_all();
    preparer_.join();
  }

  // The preparer's work: run 2's files in ring order, each one the writer has not taken,
  // until one fails, the descriptors run out or it is stopped.
  void prepare_run2() {
    preparer_go_.wait(PreparerGo::Wait);
    const size_t n = layout_.ring.size();
    for (size_t i = 0; i < n && preparer_go_.load() == PreparerGo::Go; ++i) {
      auto claim = Claim::Free;
      if (!claims_[i].compare_exchange_strong(claim, Claim::Preparing)) continue;
      const bool made = held_.load() < budget_ && prepare(n + i);
      claims_[i].store(Claim::Done, std::memory_order_release);
      claims_[i].notify_all();
      if (!made) return;
    }
  }

  // Makes file `index` the writer's: a file of run 2 the preparer is making is waited
  // for.
  void take(size_t index) {
    const size_t n = layout_.ring.size();
    if (index < n || !preparer_.joinable()) return;
    std::atomic<Claim>& claim = claims_[index - n];
    auto seen = Claim::Free;
    if (claim.compare_exchange_strong(seen, Claim::Writer, std::memory_order_acq_rel)) return;
    while (seen == Claim::Preparing) {
      claim.wait(Claim::Preparing, std::memory_order_acquire);
      seen = claim.load(std::memory_order_acquire);
    }
  }

  // One step, the most urgent first: place the next file once it is filled (or report
  // its failure); fill the next baked file of run 1, else of run 2; prepare a file.
  // False when there is nothing to do until another landblock is baked.
  Expected<bool, ErrorReport> step() {
    const size_t n = layout_.ring.size();
    const size_t run = placed_ / n;
    if (placed_ % n < filled_[run]) {  // filled, or failed to be
      Slot& next = slots_[placed_];
      if (next.state == Slot::Failed) return make_unexpected(report(*next.error));
      auto put = next.file->place();
      if (!put) return make_unexpected(report({next.file->path(), std::move(put).error()}));
      next.file.reset();
      ++placed_;
      return true;
    }
    for (size_t r = 0; r < 2; ++r) {
      const size_t i = filled_[r];
      if (i < runs_[r]->size() && runs_[r]->is_ready(i)) {
        fill(r * n + i, runs_[r]->await(i));
        ++filled_[r];
        return true;
      }
    }
    return prepare_next();
  }

  void fill(size_t index, const scenery::LandblockLines& entry) {
    take(index);
    Slot& slot = slots_[index];
    if (slot.state == Slot::Prepared) {
      held_.fetch_sub(1);
    } else {
      auto file = scenery::prepare_lines_file(layout_.dir_of(index), entry.landblock_id);
      if (!file) {
        slot.state = Slot::Failed;
        slot.error = std::move(file).error();
        return;
      }
      slot.file = std::move(*file);
    }
    auto filled = slot.file->fill(entry.lines.bytes());
    if (!filled) {
      slot.state = Slot::Failed;
      slot.error = scenery::WriteError{slot.file->path(), std::move(filled).error()};
      return;
    }
    slot.state = Slot::Filled;
  }

  static ErrorReport report(const scenery::WriteError& error) {
    return with_context("write " + common::display_lossy(error.path), error.error);
  }

  const Layout& layout_;
  const RunInProgress* runs_[2];
  std::vector<Slot> slots_;
  std::vector<std::atomic<Claim>> claims_;  // per landblock, run 2's file
  size_t budget_ = 0;                       // prepared files that may hold a descriptor at once
  std::atomic<size_t> held_ = 0;            // prepared files holding one
  size_t next_prepared_ = 0;                // no file before it is left to prepare
  size_t filled_[2] = {0, 0};               // per run, the next landblock to fill
  size_t placed_ = 0;                       // files placed, in order
  unsigned dirs_ready_ = 0;                 // the output directory, then run1 and run2
  std::vector<std::string> made_dirs_;
  bool stopped_ = false;
  std::atomic<PreparerGo> preparer_go_{PreparerGo::Wait};
  std::thread preparer_;  // last: it uses everything above
};

}  // namespace

struct DeterminismRun::State {
  State(OutputDirectory out, std::vector<uint16_t> ring_ids)
      : layout(out, std::move(ring_ids)),
        run1(layout.ring.size(), published),
        run2(layout.ring.size(), published) {}

  // The writer's whole work: prepares until the gate opens, then writes (or, the gate
  // abandoned, takes back what it prepared).
  Expected<void, ErrorReport> write_runs() {
    PlacementWriter writer(layout, run1, run2);
    while (gate.load() == Gate::Opening) {
      if (!writer.prepare_next()) gate.wait(Gate::Opening);
    }
    if (gate.load() == Gate::Abandoned) {
      writer.take_back();
      return {};
    }
    return writer.write(published);
  }

  Layout layout;
  std::atomic<uint32_t> published{0};
  RunInProgress run1;
  RunInProgress run2;
  std::atomic<Gate> gate{Gate::Opening};
  Expected<void, ErrorReport> written;
  std::optional<std::jthread> writer_thread;
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
  state.writer_thread = start_thread([&state] { state.written = state.write_runs(); });
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
  // which has been preparing files, now writes them while they bake: it creates the run
  // directories, fills each file once its landblock is baked and puts the files in
  // place in the order writing them after both bakes would go, run 1's and then run 2's
  // in ring order, stopping at the same first failure; the report waits until both runs
  // are baked. Where no thread can be started, the same work runs on this thread.
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
  if (state.writer_thread) {
    state.writer_thread->join();
  } else {
    state.written = state.write_runs();
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

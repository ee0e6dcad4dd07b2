// tallowmere prove: bakes the selection several times, each run under conditions that
// must not matter, and compares every run byte for byte with the first.
//
// Varied from run to run: the order in which landblocks are handed out (as requested,
// reversed, shuffled), the number of threads, the process (from the third run on, every
// other run is `tallowmere bake` in a child process, a fresh address space with
// MALLOC_PERTURB_ set), and in every run fresh caches whose hash maps draw fresh seeds.
// When a run drifts, the conditions it varied are tried one at a time on top of the first
// run's, and the ones that reproduce the drift are named.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bake_run.hpp"
#include "commands.hpp"
#include "output.hpp"
#include "placement_folder.hpp"
#include "tallowmere/common/text.hpp"
#include "tallowmere/scenery/compare.hpp"
#include "tallowmere/scenery/placement_files.hpp"

extern char** environ;

namespace tallowmere::tool {
namespace {

namespace fs = std::filesystem;
using scenery::BakeOrder;

struct Conditions {
  BakeOrder order = BakeOrder::Request;
  uint64_t seed = 0;
  unsigned jobs = 1;
  bool child = false;
  int perturb = 0;  // MALLOC_PERTURB_ of a child run

  std::string describe() const {
    std::string text = order_name(order) + std::string(" order");
    if (order == BakeOrder::Shuffled) text += " (seed " + std::to_string(seed) + ")";
    text += ", " + std::to_string(jobs) + (jobs == 1 ? " job, " : " jobs, ");
    text +=
        child ? "child process (MALLOC_PERTURB_=" + std::to_string(perturb) + ")" : "this process";
    return text;
  }
};

// Run k (from 0): the first is the baseline; the others vary order, threads and process.
Conditions plan(size_t k, unsigned several) {
  Conditions c;
  if (k == 0) return c;
  if (k == 1) {
    c.order = BakeOrder::Reversed;
    c.jobs = several;
    return c;
  }
  c.order = BakeOrder::Shuffled;
  c.seed = k;
  c.jobs = k % 2 == 0 ? 2 : several;
  c.child = k % 2 == 0;
  c.perturb = static_cast<int>(37 + 64 * (k % 3));
  return c;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class Prover {
 public:
  Prover(const ProveCommand& command, const scenery::World& world, std::vector<uint16_t> ids,
         fs::path scratch)
      : command_(command), world_(world), ids_(std::move(ids)), scratch_(std::move(scratch)) {}

  // The baseline: bakes in this process under `c`, writes the files to run1/ (their text is
  // read back for the report) and keeps every landblock's digest.
  bool baseline(const Conditions& c) {
    const std::string dir = (scratch_ / "run1").string();
    fs::create_directories(dir);
    digests_.assign(ids_.size(), "");
    std::mutex mutex;
    bool written = true;
    bake_in_process(c, [&](scenery::BakedLandblock&& lb) {
      const std::string digest = sha256_hex(lb.lines.lines.text());
      auto ok = scenery::write_lines(dir, lb.lines.landblock_id, lb.lines.lines);
      std::lock_guard lock(mutex);
      digests_[lb.index] = digest;
      written = written && ok.has_value();
      return ok.has_value();
    });
    if (!written)
      write_stderr("tallowmere prove: cannot write the first run's files in " + dir + "\n");
    return written;
  }

  // The landblocks whose lines differ from the baseline's, with their lines, for a run
  // under `c`; nothing when the run could not be made.
  std::optional<std::map<size_t, scenery::PlacementLines>> drift(const Conditions& c,
                                                                 const std::string& name) {
    std::map<size_t, scenery::PlacementLines> drifted;
    if (!c.child) {
      std::mutex mutex;
      bake_in_process(c, [&](scenery::BakedLandblock&& lb) {
        if (sha256_hex(lb.lines.lines.text()) != digests_[lb.index]) {
          std::lock_guard lock(mutex);
          drifted[lb.index] = std::move(lb.lines.lines);
        }
        return true;
      });
      return drifted;
    }
    const fs::path dir = scratch_ / name;
    if (!bake_in_child(c, dir)) return std::nullopt;
    for (size_t i = 0; i < ids_.size(); ++i) {
      auto text = read_whole_file((dir / scenery::placement_file_name(ids_[i])).string());
      if (!text) {
        write_stderr("tallowmere prove: " + text.error() + "\n");
        return std::nullopt;
      }
      if (sha256_hex(*text) != digests_[i])
        drifted[i] = scenery::PlacementLines(split_lines(*text));
    }
    return drifted;
  }

  const std::vector<uint16_t>& ids() const { return ids_; }
  const std::vector<std::string>& digests() const { return digests_; }

  std::vector<std::string> baseline_lines(size_t index) const {
    auto text =
        read_whole_file((scratch_ / "run1" / scenery::placement_file_name(ids_[index])).string());
    return text ? split_lines(*text) : std::vector<std::string>{};
  }

 private:
  void bake_in_process(const Conditions& c, const scenery::LandblockSink& sink) {
    scenery::SharedCaches caches(world_.portal);  // fresh caches, fresh map seeds
    scenery::ParallelBakeOptions options;
    options.bake.use_slope = command_.slope;
    options.jobs = c.jobs;
    options.order = c.order;
    options.shuffle_seed = c.seed;
    bake_world(world_, ids_, caches, options, sink);
  }

  // `tallowmere bake` of the same selection in a child process, into `dir`.
  bool bake_in_child(const Conditions& c, const fs::path& dir) {
    std::vector<std::string> args = {"/proc/self/exe", "bake",
                                     command_.portal,  command_.cell,
                                     "--landblocks",   command_.landblocks,
                                     "--out",          dir.string(),
                                     "--jobs",         std::to_string(c.jobs),
                                     "--order",        order_name(c.order),
                                     "--shuffle-seed", std::to_string(c.seed)};
    if (command_.slope) args.push_back("--slope");
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      if (!std::string_view(*e).starts_with("MALLOC_PERTURB_=")) env.emplace_back(*e);
    }
    env.push_back("MALLOC_PERTURB_=" + std::to_string(c.perturb));
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string log = dir.string() + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      auto text = read_whole_file(log);
      write_stderr("tallowmere prove: the bake in a child process failed\n" + (text ? *text : ""));
      return false;
    }
    return true;
  }

  const ProveCommand& command_;
  const scenery::World& world_;
  const std::vector<uint16_t> ids_;
  const fs::path scratch_;
  std::vector<std::string> digests_;  // the baseline's, by request index
};

// The conditions of `run` that differ from `base`, each alone on top of `base`, named.
std::vector<std::pair<std::string, Conditions>> single_changes(const Conditions& base,
                                                               const Conditions& run) {
  std::vector<std::pair<std::string, Conditions>> changes;
  if (run.order != base.order || run.seed != base.seed) {
    Conditions c = base;
    c.order = run.order;
    c.seed = run.seed;
    changes.emplace_back("order", c);
  }
  if (run.jobs != base.jobs) {
    Conditions c = base;
    c.jobs = run.jobs;
    changes.emplace_back("threads", c);
  }
  if (run.child != base.child) {
    Conditions c = base;
    c.child = run.child;
    c.perturb = run.perturb;
    changes.emplace_back("process", c);
  }
  return changes;
}

struct ScratchDir {
  fs::path path;
  ~ScratchDir() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
};

}  // namespace

int run_prove(const ProveCommand& command) {
  const auto world = open_world_or_report(command.portal, command.cell);
  if (!world) return kExitTrouble;
  auto ids = selection_or_report("prove", command.landblocks, *world);
  if (!ids) return kExitTrouble;
  std::optional<std::map<std::string, std::string>> golden;
  if (command.golden) {
    auto text = read_whole_file(*command.golden);
    auto parsed = text ? parse_digest_file(*text) : make_unexpected(text.error());
    if (!parsed) {
      write_stderr("tallowmere prove: " + *command.golden + ": " + parsed.error() + "\n");
      return kExitTrouble;
    }
    golden = std::move(*parsed);
  }

  std::string pattern = (fs::temp_directory_path() / "tallowmere-prove-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    write_stderr("tallowmere prove: cannot create a scratch folder\n");
    return kExitTrouble;
  }
  ScratchDir scratch{pattern};

  const unsigned several = std::max(4u, resolve_jobs(0));
  std::vector<Conditions> runs;
  for (size_t k = 0; k < command.runs; ++k) runs.push_back(plan(k, several));

  std::string out = "prove: " + std::to_string(ids->size()) + " landblocks, " +
                    std::to_string(runs.size()) + (runs.size() == 1 ? " run" : " runs") +
                    "; every run with fresh caches and fresh hash-map seeds\n";
  for (size_t k = 0; k < runs.size(); ++k) {
    out += "  run " + std::to_string(k + 1) + ": " + runs[k].describe() +
           (k == 0 ? " (baseline)\n" : "\n");
  }
  if (command.golden) out += "  golden: " + *command.golden + "\n";
  write_stdout(out);
  std::fflush(stdout);

  Prover prover(command, *world, std::move(*ids), scratch.path);
  if (!prover.baseline(runs[0])) return kExitTrouble;

  // Landblock index -> the report of its first drift.
  std::map<size_t, std::string> reports;
  for (size_t k = 1; k < runs.size(); ++k) {
    write_stderr("prove: run " + std::to_string(k + 1) + "\n");
    auto drifted = prover.drift(runs[k], "run" + std::to_string(k + 1));
    if (!drifted) return kExitTrouble;
    if (drifted->empty()) continue;

    std::vector<std::string> named;
    for (const auto& [name, alone] : single_changes(runs[0], runs[k])) {
      auto again = prover.drift(alone, "run" + std::to_string(k + 1) + "-" + name);
      if (!again) return kExitTrouble;
      if (!again->empty()) named.push_back(name);
    }
    std::string condition;
    for (const auto& name : named) condition += (condition.empty() ? "" : ", ") + name;
    if (condition.empty()) {
      condition = "none alone reproduces it (";
      bool first = true;
      for (const auto& [name, alone] : single_changes(runs[0], runs[k])) {
        condition += (first ? "" : ", ") + name;
        first = false;
      }
      condition += first ? "fresh caches and seeds)" : "; fresh caches and seeds)";
    }

    for (auto& [index, lines] : *drifted) {
      if (reports.count(index)) continue;
      const uint16_t id = prover.ids()[index];
      scenery::BakeResult a{{id, scenery::PlacementLines(prover.baseline_lines(index))}};
      scenery::BakeResult b{{id, std::move(lines)}};
      scenery::Comparison comparison;
      comparison.drifted.push_back(id);
      reports[index] = scenery::drift_report(comparison, a, b) + "    drifted in run " +
                       std::to_string(k + 1) + "; condition: " + condition + "\n";
    }
  }

  size_t golden_mismatches = 0;
  if (golden) {
    for (size_t i = 0; i < prover.ids().size(); ++i) {
      const std::string name = scenery::placement_file_name(prover.ids()[i]);
      const auto found = golden->find(name);
      if (found != golden->end() && found->second == prover.digests()[i]) continue;
      ++golden_mismatches;
      reports[i] += "  LB 0x" + common::hex_upper(prover.ids()[i], 4) +
                    (found == golden->end() ? " is not in the golden digest"
                                            : " differs from the golden digest") +
                    "; condition: the build or machine that made it\n";
    }
  }

  out.clear();
  for (const auto& [index, report] : reports) out += report;
  if (reports.empty()) {
    out += "PASS: " + std::to_string(prover.ids().size()) + " landblocks byte-identical across " +
           std::to_string(runs.size()) + (runs.size() == 1 ? " run" : " runs") +
           (golden ? " and with the golden digest\n" : "\n");
  } else {
    out +=
        "FAIL: " + std::to_string(reports.size()) + " landblocks drifted" +
        (golden_mismatches ? " (" + std::to_string(golden_mismatches) + " from the golden digest)\n"
                           : "\n");
  }
  write_stdout(out);
  return reports.empty() ? kExitOk : kExitFailed;
}

}  // namespace tallowmere::tool

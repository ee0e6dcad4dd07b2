// The phases of one ringproof run, timed one by one in the tool's own order: open the
// portal archive, open the cell archive, fetch and parse the region, bake run 1, bake
// run 2, write both runs, compare. Each phase runs once and hands its result to the next.
//
// The archives are named by TALLOWMERE_PORTAL_DAT and TALLOWMERE_CELL_DAT; the placement
// files go to TALLOWMERE_DETERMINISM_OUT (default: the tool's scratch directory). A
// phase whose input is missing is skipped with an error message.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "determinism.hpp"
#include "tallowmere/common/cursor.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/scenery/scenery.hpp"

namespace {

namespace rp = tallowmere::ringproof;
namespace scenery = tallowmere::scenery;
using tallowmere::dat::DatDatabase;
using tallowmere::dat::file_type::Region;

struct Phases {
  std::optional<DatDatabase> portal;
  std::optional<DatDatabase> cell;
  std::optional<Region> region;
  std::vector<uint16_t> ring = scenery::ring_landblocks();
  scenery::BakeResult run1;
  scenery::BakeResult run2;
  uint64_t placements = 0;
};

Phases& phases() {
  static Phases p;
  return p;
}

std::string env_or(const char* name, const std::string& fallback) {
  const std::string value = tallowmere::common::read_env(name).value_or("");
  return value.empty() ? fallback : value;
}

void open_archive(benchmark::State& state, const char* variable, std::optional<DatDatabase>& slot) {
  const std::string path = env_or(variable, "");
  if (path.empty()) return state.SkipWithError((std::string(variable) + " is not set").c_str());
  for (auto _ : state) {
    auto db = DatDatabase::open(path);
    if (!db) return state.SkipWithError(("open " + path + ": " + db.error().text()).c_str());
    slot.emplace(std::move(*db));
  }
  state.counters["files"] = static_cast<double>(slot->entry_count());
}

void BM_1_OpenPortal(benchmark::State& state) {
  open_archive(state, "TALLOWMERE_PORTAL_DAT", phases().portal);
}

void BM_2_OpenCell(benchmark::State& state) {
  open_archive(state, "TALLOWMERE_CELL_DAT", phases().cell);
}

void BM_3_FetchParseRegion(benchmark::State& state) {
  Phases& p = phases();
  if (!p.portal) return state.SkipWithError("no portal archive");
  for (auto _ : state) {
    auto payload = p.portal->get_file(0x13000000);
    if (!payload) return state.SkipWithError("fetch Region 0x13000000 failed");
    tallowmere::common::Cursor cursor(*payload);
    auto region = Region::unpack(cursor);
    if (!region) return state.SkipWithError("parse Region failed");
    p.region.emplace(std::move(*region));
  }
}

void bake_run(benchmark::State& state, scenery::BakeResult& slot) {
  Phases& p = phases();
  if (!p.portal || !p.cell || !p.region) return state.SkipWithError("no world");
  for (auto _ : state) slot = scenery::bake_landblocks(*p.region, *p.portal, *p.cell, p.ring);
  uint64_t lines = 0;
  for (const auto& entry : slot) lines += entry.lines.size();
  state.counters["placements"] = static_cast<double>(lines);
}

void BM_4_BakeRun1(benchmark::State& state) {
  bake_run(state, phases().run1);
}
void BM_5_BakeRun2(benchmark::State& state) {
  bake_run(state, phases().run2);
}

void BM_6_WriteBothRuns(benchmark::State& state) {
  Phases& p = phases();
  const std::string configured = env_or("TALLOWMERE_DETERMINISM_OUT", "");
  const std::string out = rp::output_directory(configured.empty() ? nullptr : &configured).path;
  for (auto _ : state) {
    for (const auto& [run, name] : {std::pair{&p.run1, "run1"}, std::pair{&p.run2, "run2"}}) {
      const std::string dir = scenery::join_path(out, name);
      if (!tallowmere::common::create_dir_all(dir)) return state.SkipWithError("cannot create dir");
      for (const auto& entry : *run) {
        if (!scenery::write_lines(dir, entry.landblock_id, entry.lines)) {
          return state.SkipWithError("write failed");
        }
      }
    }
  }
}

void BM_7_Compare(benchmark::State& state) {
  Phases& p = phases();
  scenery::Comparison comparison;
  for (auto _ : state) comparison = rp::compare_or_abort(p.run1, p.run2);
  state.counters["placements"] = static_cast<double>(comparison.total_placements);
  state.counters["drifted"] = static_cast<double>(comparison.drifted.size());
}

// One iteration each, in the tool's order: every phase consumes the previous results.
// CPU time is the whole process's, since opening an archive and baking use threads.
#define PHASE(fn)                                                             \
  BENCHMARK(fn)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime()->Unit( \
      benchmark::kMillisecond)
PHASE(BM_1_OpenPortal);
PHASE(BM_2_OpenCell);
PHASE(BM_3_FetchParseRegion);
PHASE(BM_4_BakeRun1);
PHASE(BM_5_BakeRun2);
PHASE(BM_6_WriteBothRuns);
PHASE(BM_7_Compare);

}  // namespace

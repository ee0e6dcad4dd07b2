#include "determinism.hpp"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/text.hpp"
#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/scenery/placement_files.hpp"

namespace tallowmere::ringproof {

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

  // Each run makes its own caches, so the second repeats every fetch and parse.
  log("ringproof: baking 13\u00d713 = " + count + " LBs (run 1)\n");
  scenery::BakeResult run1 = scenery::bake_landblocks(region, portal, cell, ring);
  log("ringproof: baking 13\u00d713 = " + count + " LBs (run 2)\n");
  scenery::BakeResult run2 = scenery::bake_landblocks(region, portal, cell, ring);

  // Both runs are written completely before any comparison, so a failing run leaves
  // both directories whole for inspection.
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
    for (const auto& entry : *run) {
      auto written = scenery::write_lines(*dir, entry.landblock_id, entry.lines);
      if (!written) {
        const scenery::WriteError& error = written.error();
        return make_unexpected(
            with_context("write " + common::display_lossy(error.path), error.error));
      }
    }
  }

  const scenery::Comparison comparison = compare_or_abort(run1, run2);
  log("ringproof: total placements = " + std::to_string(comparison.total_placements) + " across " +
      std::to_string(run1.size()) + " LBs\n");
  if (comparison.drifted.empty()) {
    log("ringproof: PASS \u2014 all 169 LBs byte-identical across 2 runs\n");
    return {};
  }
  log(scenery::drift_report(comparison, run1, run2));
  return make_unexpected(plain_error("ringproof: FAIL \u2014 " +
                                     std::to_string(comparison.drifted.size()) +
                                     " LBs drifted between runs"));
}

}  // namespace tallowmere::ringproof

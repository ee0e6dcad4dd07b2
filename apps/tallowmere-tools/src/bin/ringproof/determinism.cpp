#include "determinism.hpp"

#include <cstdio>
#include <cstdlib>

#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/text.hpp"

namespace tallowmere::ringproof {

std::vector<uint16_t> build_ring() {
  std::vector<uint16_t> ring;
  ring.reserve(13 * 13);
  for (unsigned x = 0xA3; x <= 0xAF; ++x) {
    for (unsigned y = 0xAE; y <= 0xBA; ++y) ring.push_back(static_cast<uint16_t>(x * 256 + y));
  }
  return ring;
}

Comparison compare_runs(const RingResult& run1, const RingResult& run2) {
  Comparison comparison;
  const size_t pairs = std::min(run1.size(), run2.size());
  for (size_t i = 0; i < pairs; ++i) {
    const RingEntry& a = run1[i];
    const RingEntry& b = run2[i];
    if (a.landblock_id != b.landblock_id) {
      std::fputs("lb sequence drift\n", stderr);
      std::abort();
    }
    comparison.total_placements += a.lines.size();
    if (a.lines != b.lines) comparison.drifted.push_back(a.landblock_id);
  }
  return comparison;
}

namespace {
const RingEntry* first_entry(const RingResult& run, uint16_t id) {
  for (const auto& entry : run) {
    if (entry.landblock_id == id) return &entry;
  }
  return nullptr;
}
}  // namespace

std::string drift_report(const Comparison& comparison, const RingResult& run1,
                         const RingResult& run2) {
  static const std::vector<std::string> kNoLines;
  std::string out;
  for (uint16_t id : comparison.drifted) {
    const RingEntry* a = first_entry(run1, id);
    const RingEntry* b = first_entry(run2, id);
    const auto& lines1 = a ? a->lines : kNoLines;
    const auto& lines2 = b ? b->lines : kNoLines;
    out += "  LB 0x" + common::hex_upper(id, 4) + ": " + std::to_string(lines1.size()) + " vs " +
           std::to_string(lines2.size()) + " lines\n";
    const size_t common_count = std::min(lines1.size(), lines2.size());
    for (size_t l = 0; l < common_count; ++l) {
      if (lines1[l] != lines2[l]) {
        out += "    line " + std::to_string(l) + ": " + lines1[l] + "\n";
        out += "           : " + lines2[l] + "\n";
        break;
      }
    }
  }
  return out;
}

std::string output_directory(const std::string* configured) {
  if (configured) return *configured;
  const std::string temp = common::read_env("TMPDIR").value_or("");
  return join_path(temp.empty() ? "/tmp" : temp, "ringproof-determinism");
}

Expected<void, ErrorReport> run_determinism(const dat::file_type::Region& region,
                                            const dat::DatDatabase& portal,
                                            const dat::DatDatabase& cell,
                                            const std::string& out_dir, const LogSink& log) {
  const std::vector<uint16_t> ring = build_ring();
  const std::string count = std::to_string(ring.size());

  log("ringproof: baking 13\u00d713 = " + count + " LBs (run 1)\n");
  RingResult run1 = bake_ring_to_lines(region, portal, cell, ring);
  log("ringproof: baking 13\u00d713 = " + count + " LBs (run 2)\n");
  RingResult run2 = bake_ring_to_lines(region, portal, cell, ring);

  // Both runs are written completely before any comparison, so a failing run leaves
  // both directories whole for inspection.
  const std::string dir1 = join_path(out_dir, "run1");
  const std::string dir2 = join_path(out_dir, "run2");
  for (const std::string* dir : {&dir1, &dir2}) {
    auto created = common::create_dir_all(*dir);
    if (!created) return make_unexpected(plain_error(created.error().text()));
  }
  for (const auto& [run, dir] : {std::pair{&run1, &dir1}, std::pair{&run2, &dir2}}) {
    for (const auto& entry : *run) {
      auto written = write_lines(*dir, entry.landblock_id, entry.lines);
      if (!written) return make_unexpected(std::move(written).error());
    }
  }

  const Comparison comparison = compare_runs(run1, run2);
  log("ringproof: total placements = " + std::to_string(comparison.total_placements) +
      " across " + std::to_string(run1.size()) + " LBs\n");
  if (comparison.drifted.empty()) {
    log("ringproof: PASS \u2014 all 169 LBs byte-identical across 2 runs\n");
    return {};
  }
  log(drift_report(comparison, run1, run2));
  return make_unexpected(plain_error("ringproof: FAIL \u2014 " +
                                     std::to_string(comparison.drifted.size()) +
                                     " LBs drifted between runs"));
}

}  // namespace tallowmere::ringproof

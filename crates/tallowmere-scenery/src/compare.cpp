#include "tallowmere/scenery/compare.hpp"

#include <algorithm>

#include "tallowmere/common/text.hpp"

namespace tallowmere::scenery {

Expected<Comparison, SequenceMismatch> compare_runs(const BakeResult& run1,
                                                    const BakeResult& run2) {
  Comparison comparison;
  const size_t pairs = std::min(run1.size(), run2.size());
  for (size_t i = 0; i < pairs; ++i) {
    const LandblockLines& a = run1[i];
    const LandblockLines& b = run2[i];
    if (a.landblock_id != b.landblock_id) {
      return make_unexpected(SequenceMismatch{i, a.landblock_id, b.landblock_id});
    }
    comparison.total_placements += a.lines.size();
    if (a.lines != b.lines) comparison.drifted.push_back(a.landblock_id);
  }
  return comparison;
}

namespace {
const LandblockLines* first_entry(const BakeResult& run, uint16_t id) {
  for (const auto& entry : run) {
    if (entry.landblock_id == id) return &entry;
  }
  return nullptr;
}
}  // namespace

std::string drift_report(const Comparison& comparison, const BakeResult& run1,
                         const BakeResult& run2) {
  static const PlacementLines kNoLines;
  std::string out;
  for (uint16_t id : comparison.drifted) {
    const LandblockLines* a = first_entry(run1, id);
    const LandblockLines* b = first_entry(run2, id);
    const auto& lines1 = a ? a->lines : kNoLines;
    const auto& lines2 = b ? b->lines : kNoLines;
    out += "  LB 0x" + common::hex_upper(id, 4) + ": " + std::to_string(lines1.size()) + " vs " +
           std::to_string(lines2.size()) + " lines\n";
    const size_t common_count = std::min(lines1.size(), lines2.size());
    for (size_t l = 0; l < common_count; ++l) {
      if (lines1[l] != lines2[l]) {
        out += "    line " + std::to_string(l) + ": ";
        out += lines1[l];
        out += "\n           : ";
        out += lines2[l];
        out += '\n';
        break;
      }
    }
  }
  return out;
}

}  // namespace tallowmere::scenery

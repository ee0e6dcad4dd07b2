// Comparing two bakes of the same landblock list, line by line, and the report of the
// landblocks whose lines differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tallowmere/common/expected.hpp"
#include "tallowmere/scenery/landblocks.hpp"

namespace tallowmere::scenery {

struct Comparison {
  uint64_t total_placements = 0;  // lines of the first run
  std::vector<uint16_t> drifted;  // ids whose lines differ, in the runs' order
};

// Two runs that do not list the same landblocks at the same position: run results of
// different requests, which cannot be compared.
struct SequenceMismatch {
  size_t index = 0;  // the first position whose ids differ
  uint16_t first_id = 0;
  uint16_t second_id = 0;
};

// Walks both runs pair by pair, for as many pairs as the shorter run has. A landblock
// drifts when its two line lists differ in length or in any byte. Fails at the first
// pair whose ids differ.
[[nodiscard]] Expected<Comparison, SequenceMismatch> compare_runs(const BakeResult& run1,
                                                                  const BakeResult& run2);

// For each drifted id in order: "  LB 0x<id>: <n1> vs <n2> lines", then, when the common
// part of the two line lists differs, "    line <l>: <run 1 line>" and
// "           : <run 2 line>" for the first differing line l (counted from 0). Every line
// ends in a line feed.
[[nodiscard]] std::string drift_report(const Comparison& comparison, const BakeResult& run1,
                                       const BakeResult& run2);

}  // namespace tallowmere::scenery

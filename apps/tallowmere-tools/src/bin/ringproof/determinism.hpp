// The determinism run: bakes the fixed ring of 169 landblocks twice, writes both runs'
// placement files, compares the runs in memory and reports a pass or every landblock
// that drifted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "report.hpp"
#include "ring_bake.hpp"

namespace tallowmere::ringproof {

// Receives each progress and verdict line (with its line feed) as it is produced.
using LogSink = std::function<void(std::string_view)>;

// The ring: x from 0xA3 to 0xAF, y from 0xAE to 0xBA, id = x * 256 + y, x outermost.
std::vector<uint16_t> build_ring();

struct Comparison {
  uint64_t total_placements = 0;   // lines of run 1
  std::vector<uint16_t> drifted;   // ids whose lines differ, in ring order
};

// Walks both runs pair by pair. The two runs come from the same ring, so their ids
// must agree; a mismatch is a defect of this program and aborts it.
Comparison compare_runs(const RingResult& run1, const RingResult& run2);

// The per-landblock drift lines: counts, then the first differing line of each run.
std::string drift_report(const Comparison& comparison, const RingResult& run1,
                         const RingResult& run2);

// Where the placement files go.
struct OutputDirectory {
  std::string path;
  // The built-in default under the shared temporary directory: created private to the
  // user, and refused when it is a link or another user's folder.
  bool shared_default = false;
};

// The output directory: `configured` when set (used as given), else a scratch folder
// under the system's temporary directory.
OutputDirectory output_directory(const std::string* configured);

// Runs the whole check. Succeeds on a pass; a drift ends in the error
// "ringproof: FAIL — <n> LBs drifted between runs" after the report lines.
Expected<void, ErrorReport> run_determinism(const dat::file_type::Region& region,
                                            const dat::DatDatabase& portal,
                                            const dat::DatDatabase& cell,
                                            const OutputDirectory& out_dir,
                                            const LogSink& log);

}  // namespace tallowmere::ringproof

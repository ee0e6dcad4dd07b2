// The determinism run: bakes the fixed ring of 169 landblocks twice, writes both runs'
// placement files, compares the runs in memory and reports a pass or every landblock
// that drifted.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "report.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/scenery/compare.hpp"

namespace tallowmere::ringproof {

// Receives each progress and verdict line (with its line feed) as it is produced.
using LogSink = std::function<void(std::string_view)>;

// The comparison of two runs of the same ring. Runs whose ids disagree are a defect of
// this program: it writes "lb sequence drift" and aborts.
scenery::Comparison compare_or_abort(const scenery::BakeResult& run1,
                                     const scenery::BakeResult& run2);
// The same for a comparison already made.
scenery::Comparison compared_or_abort(
    Expected<scenery::Comparison, scenery::SequenceMismatch> comparison);

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

// The whole check. Created before the archives are opened: from then on a thread of its
// own prepares the placement files (creating a file costs far more than filling it), so
// that this work overlaps the opening. Nothing of it can be seen under the files' names
// until they are written; an object destroyed without `run` takes back every file and
// directory it made.
class DeterminismRun {
 public:
  explicit DeterminismRun(OutputDirectory out_dir);
  ~DeterminismRun();
  DeterminismRun(const DeterminismRun&) = delete;
  DeterminismRun& operator=(const DeterminismRun&) = delete;

  // Bakes, writes, compares and reports; once. Succeeds on a pass; a drift ends in the
  // error "ringproof: FAIL — <n> LBs drifted between runs" after the report lines.
  Expected<void, ErrorReport> run(const dat::file_type::Region& region,
                                  const dat::DatDatabase& portal, const dat::DatDatabase& cell,
                                  const LogSink& log);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace tallowmere::ringproof

// ringproof: proves that the scenery bake is deterministic.
//
// Takes no arguments (any given are ignored). Locates and opens the portal and cell
// archives, loads the region, bakes the landblock ring twice and compares the runs.
// Any failure, a drift included, ends in one error report on standard error with exit
// status 1. Nothing is ever written to standard output.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "determinism.hpp"
#include "locate.hpp"
#include "open.hpp"
#include "report.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/scenery/world.hpp"

// The second archive candidate's folder: the checkout's data folder for a build in the
// source tree (TALLOWMERE_DATA_DIR), or, for the installed tool, a folder given relative
// to the program's own (TALLOWMERE_DATA_DIR_FROM_BINARY), so that the installed binary
// carries no path of the source tree and the installed tree may be moved.
#if !defined(TALLOWMERE_DATA_DIR) && !defined(TALLOWMERE_DATA_DIR_FROM_BINARY)
#error "TALLOWMERE_DATA_DIR or TALLOWMERE_DATA_DIR_FROM_BINARY must name the data folder"
#endif

namespace {

using tallowmere::Expected;
using tallowmere::ringproof::ErrorReport;
using tallowmere::ringproof::LoadedWorld;

void write_stderr(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

// An unreadable program path leaves the candidate empty, which counts as absent.
std::string data_dir() {
#ifdef TALLOWMERE_DATA_DIR
  return TALLOWMERE_DATA_DIR;
#else
  const auto binary_dir = tallowmere::common::executable_dir();
  if (!binary_dir) return {};
  return (std::filesystem::path(*binary_dir) / TALLOWMERE_DATA_DIR_FROM_BINARY)
      .lexically_normal()
      .string();
#endif
}

// Reports a failure and ends the process with the tool's status. What a finished run
// built (the archives' directories, both runs' lines) goes back to the system with the
// process at once; freeing it piece by piece first would only take time.
[[noreturn]] void finish(const Expected<void, ErrorReport>& result) {
  if (!result) write_stderr(tallowmere::ringproof::format_report(result.error()));
  std::fflush(stderr);
  std::_Exit(result ? 0 : 1);
}

Expected<void, ErrorReport> run() {
  namespace rp = tallowmere::ringproof;
  tallowmere::common::keep_freed_memory();
  auto env = rp::read_locate_environment();
  auto paths_or = rp::locate_archives(env, data_dir());
  if (!paths_or) return tallowmere::make_unexpected(std::move(paths_or).error());
  write_stderr(rp::progress_line(*paths_or));

  // Both archive files are opened before any thread starts. A tracer that follows the
  // threads (strace -f) then records each open whole, never split by another thread's
  // call, and can tell which file every later read is from.
  auto files = tallowmere::scenery::open_archive_files(paths_or->portal, paths_or->cell);

  // The run starts preparing its output files while the archives open; should they not
  // open, it takes back everything it made.
  const auto out_dir = tallowmere::common::read_env("TALLOWMERE_DETERMINISM_OUT");
  rp::DeterminismRun determinism(rp::output_directory(out_dir ? &*out_dir : nullptr));
  auto world_or = rp::open_world(std::move(files));
  if (!world_or) return tallowmere::make_unexpected(std::move(world_or).error());
  const LoadedWorld& world = *world_or;
  finish(determinism.run(world.region, world.portal, world.cell,
                         [](std::string_view line) { write_stderr(std::string(line)); }));
}

}  // namespace

// A failure before the run ends returns from run(), whose objects (a run that never
// started takes back the files it prepared) are then gone.
int main() {
  finish(run());
}

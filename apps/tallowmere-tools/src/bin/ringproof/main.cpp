// ringproof: proves that the scenery bake is deterministic.
//
// Takes no arguments (any given are ignored). Locates and opens the portal and cell
// archives, loads the region, bakes the landblock ring twice and compares the runs.
// Any failure, a drift included, ends in one error report on standard error with exit
// status 1. Nothing is ever written to standard output.
#include <cstdio>
#include <string>

#include "determinism.hpp"
#include "locate.hpp"
#include "open.hpp"
#include "report.hpp"

#ifndef TALLOWMERE_DATA_DIR
#error "TALLOWMERE_DATA_DIR must name the folder of the second archive candidate"
#endif

namespace {

using tallowmere::Expected;
using tallowmere::ringproof::ErrorReport;
using tallowmere::ringproof::LoadedWorld;

void write_stderr(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

Expected<void, ErrorReport> run() {
  namespace rp = tallowmere::ringproof;
  auto env = rp::read_locate_environment();
  auto paths_or = rp::locate_archives(env, TALLOWMERE_DATA_DIR);
  if (!paths_or) return tallowmere::make_unexpected(std::move(paths_or).error());
  write_stderr(rp::progress_line(*paths_or));

  auto world_or = rp::open_world(paths_or->portal, paths_or->cell);
  if (!world_or) return tallowmere::make_unexpected(std::move(world_or).error());
  const auto out_dir = tallowmere::common::read_env("TALLOWMERE_DETERMINISM_OUT");
  const LoadedWorld& world = *world_or;
  return rp::run_determinism(world.region, world.portal, world.cell,
                             rp::output_directory(out_dir ? &*out_dir : nullptr),
                             [](std::string_view line) { write_stderr(std::string(line)); });
}

}  // namespace

int main() {
  auto result = run();
  if (!result) {
    write_stderr(tallowmere::ringproof::format_report(result.error()));
    return 1;
  }
  return 0;
}

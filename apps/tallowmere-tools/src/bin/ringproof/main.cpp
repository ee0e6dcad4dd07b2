// ringproof: proves that the scenery bake is deterministic.
//
// Takes no arguments (any given are ignored). Locates and opens the portal and cell
// archives, loads the region, and reports any failure as one error report on standard
// error with exit status 1. Nothing is ever written to standard output.
#include <cstdio>
#include <string>

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

// The determinism run over the landblock ring: it borrows the archives and the region.
// Until it exists, a successful region load is the tool's whole run.
Expected<void, ErrorReport> run_determinism(const LoadedWorld& /*world*/) {
  return {};
}

Expected<void, ErrorReport> run() {
  namespace rp = tallowmere::ringproof;
  auto env = rp::read_locate_environment();
  auto paths_or = rp::locate_archives(env, TALLOWMERE_DATA_DIR);
  if (!paths_or) return tallowmere::make_unexpected(std::move(paths_or).error());
  write_stderr(rp::progress_line(*paths_or));

  auto world_or = rp::open_world(paths_or->portal, paths_or->cell);
  if (!world_or) return tallowmere::make_unexpected(std::move(world_or).error());
  return run_determinism(*world_or);
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

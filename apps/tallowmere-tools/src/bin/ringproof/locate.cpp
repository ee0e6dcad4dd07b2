#include "locate.hpp"

#include <utility>

#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/text.hpp"

namespace tallowmere::ringproof {
namespace {

// The first existing candidate for `file_name`, or nothing.
std::optional<std::string> choose(const std::optional<std::string>& from_env,
                                  const std::string& data_dir,
                                  const std::optional<std::string>& home, const char* file_name) {
  if (from_env && common::path_exists(*from_env)) return *from_env;
  // An empty data folder (the installed tool could not find itself) is no candidate.
  if (!data_dir.empty()) {
    std::string in_data_dir = data_dir + "/" + file_name;
    if (common::path_exists(in_data_dir)) return in_data_dir;
  }
  // An unset or empty HOME has no home folder, so no third candidate.
  if (home && !home->empty()) {
    std::string in_home = *home + "/.local/share/tallowmere/base/" + file_name;
    if (common::path_exists(in_home)) return in_home;
  }
  return std::nullopt;
}

}  // namespace

LocateEnvironment read_locate_environment() {
  LocateEnvironment env;
  env.portal_dat = common::read_env("TALLOWMERE_PORTAL_DAT");
  env.cell_dat = common::read_env("TALLOWMERE_CELL_DAT");
  env.home = common::read_env("HOME");
  return env;
}

Expected<ArchivePaths, ErrorReport> locate_archives(const LocateEnvironment& env,
                                                    const std::string& data_dir) {
  auto portal = choose(env.portal_dat, data_dir, env.home, kPortalFileName);
  if (!portal) {
    return make_unexpected(
        plain_error(std::string(kPortalFileName) + " not found in any candidate location"));
  }
  auto cell = choose(env.cell_dat, data_dir, env.home, kCellFileName);
  if (!cell) {
    return make_unexpected(
        plain_error(std::string(kCellFileName) + " not found in any candidate location"));
  }
  return ArchivePaths{std::move(*portal), std::move(*cell)};
}

std::string progress_line(const ArchivePaths& paths) {
  return "ringproof: portal=" + common::display_lossy(paths.portal) +
         " cell=" + common::display_lossy(paths.cell) + "\n";
}

}  // namespace tallowmere::ringproof

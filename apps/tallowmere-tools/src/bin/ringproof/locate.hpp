// Archive location: which files the tool opens as the portal and the cell archive.
//
// Each archive has three candidate paths, tried in order: the path in its environment
// variable (TALLOWMERE_PORTAL_DAT, TALLOWMERE_CELL_DAT), the file in the build's data
// folder, and the file in $HOME/.local/share/tallowmere/base. The first candidate whose
// metadata can be read wins; the others are passed over without a message. Paths are
// raw operating-system strings, used unchanged.
#pragma once

#include <optional>
#include <string>

#include "report.hpp"
#include "tallowmere/common/expected.hpp"

namespace tallowmere::ringproof {

inline constexpr const char* kPortalFileName = "client_portal.dat";
inline constexpr const char* kCellFileName = "client_cell_1.dat";

// What the search needs from the process environment, read in one go before any path
// is tested. An absent value means the variable is not set.
struct LocateEnvironment {
  std::optional<std::string> portal_dat;  // TALLOWMERE_PORTAL_DAT
  std::optional<std::string> cell_dat;    // TALLOWMERE_CELL_DAT
  std::optional<std::string> home;        // HOME
};

// Reads TALLOWMERE_PORTAL_DAT, then TALLOWMERE_CELL_DAT, then HOME.
LocateEnvironment read_locate_environment();

struct ArchivePaths {
  std::string portal;
  std::string cell;
};

// Chooses the portal path, then the cell path. `data_dir` is the folder of candidate 2.
// Fails with "<file name> not found in any candidate location" (no causes) for the first
// archive without an existing candidate.
Expected<ArchivePaths, ErrorReport> locate_archives(const LocateEnvironment& env,
                                                    const std::string& data_dir);

// "ringproof: portal=<path> cell=<path>\n", invalid UTF-8 in the paths replaced.
std::string progress_line(const ArchivePaths& paths);

}  // namespace tallowmere::ringproof

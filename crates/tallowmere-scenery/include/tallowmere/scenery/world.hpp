// Opening an archive pair and loading its region: the inputs every bake borrows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/parse_error.hpp"
#include "tallowmere/dat/error.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/dat/source.hpp"

namespace tallowmere::scenery {

// File id of the region record in the portal archive.
inline constexpr uint32_t kRegionFileId = 0x13000000;

// Both open archives and the parsed region. The region's raw payload is kept alongside
// it.
struct World {
  dat::DatDatabase portal;
  dat::DatDatabase cell;
  std::vector<uint8_t> region_payload;
  dat::file_type::Region region;
};

// The step of open_world that failed, and the error it failed with.
struct WorldError {
  enum class Step { OpenPortal, OpenCell, FetchRegion, ParseRegion };
  Step step = Step::OpenPortal;
  // An archive error for the first three steps, a parse error for ParseRegion.
  std::variant<dat::DatError, common::ParseError> cause;

  // The step as a short context: "open portal", "open cell", "fetch Region 0x13000000"
  // or "parse Region".
  [[nodiscard]] std::string_view context() const;
};

// The two archive files, opened for reading and not yet read, or why each could not be.
struct ArchiveFiles {
  Expected<std::unique_ptr<const dat::ByteSource>, dat::DatError> portal;
  Expected<std::unique_ptr<const dat::ByteSource>, dat::DatError> cell;
};

// Opens both files (dat::DatDatabase::open_file). A failure is kept for open_world to
// report in its step's turn.
[[nodiscard]] ArchiveFiles open_archive_files(const std::string& portal_path,
                                              const std::string& cell_path);

// Opens the portal archive and the cell archive, fetches file 0x13000000 from the portal
// archive and parses it as the Region. Fails with the first step that fails, in that
// order (the two archives open at the same time, on two threads).
[[nodiscard]] Expected<World, WorldError> open_world(const std::string& portal_path,
                                                     const std::string& cell_path);
// The same from files already opened: a caller that starts threads of its own opens the
// files first, so that every open of an archive file is made before any of them runs.
[[nodiscard]] Expected<World, WorldError> open_world(ArchiveFiles files);

}  // namespace tallowmere::scenery

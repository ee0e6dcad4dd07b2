// Placement files: one per landblock, named "0x" + the landblock id as four upper-case
// hex digits + ".scenery.jsonl", holding every placement line of the landblock followed
// by a line feed (a landblock without placements gives an empty file).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/io_error.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/scenery/placement_lines.hpp"

namespace tallowmere::scenery {

// The end of every placement file's name.
inline constexpr std::string_view kPlacementFileSuffix = ".scenery.jsonl";

// "0x" + the landblock id as four upper-case hex digits + ".scenery.jsonl".
[[nodiscard]] std::string placement_file_name(uint16_t landblock_id);

// `directory` joined with `name` ("a" + "b" is "a/b"; an empty directory gives "b").
[[nodiscard]] std::string join_path(const std::string& directory, const std::string& name);

// A placement file that could not be written: its full path (raw bytes) and the
// operating system's error.
struct WriteError {
  std::string path;
  common::IoError error;
};

// Writes `lines`, each followed by a line feed, as the whole content of the landblock's
// placement file in `directory`, which must exist. Fails with the file's path and the
// operating system's error.
[[nodiscard]] Expected<void, WriteError> write_lines(const std::string& directory,
                                                     uint16_t landblock_id,
                                                     const PlacementLines& lines);

// The same in steps, for a writer that creates its files ahead of their content: the
// landblock's file in `directory`, created but not yet visible under its name, to be
// filled with the lines' text and put in place.
[[nodiscard]] Expected<common::PendingFile, WriteError> prepare_lines_file(
    const std::string& directory, uint16_t landblock_id);

}  // namespace tallowmere::scenery

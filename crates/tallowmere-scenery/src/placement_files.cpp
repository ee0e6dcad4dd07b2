#include "tallowmere/scenery/placement_files.hpp"

#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/text.hpp"

namespace tallowmere::scenery {

std::string placement_file_name(uint16_t landblock_id) {
  return "0x" + common::hex_upper(landblock_id, 4) + std::string(kPlacementFileSuffix);
}

std::string join_path(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

Expected<common::PendingFile, WriteError> prepare_lines_file(const std::string& directory,
                                                             uint16_t landblock_id) {
  std::string path = join_path(directory, placement_file_name(landblock_id));
  auto file = common::PendingFile::create(path);
  if (!file) return make_unexpected(WriteError{std::move(path), std::move(file).error()});
  return std::move(*file);
}

Expected<void, WriteError> write_lines(const std::string& directory, uint16_t landblock_id,
                                       const PlacementLines& lines) {
  auto file = prepare_lines_file(directory, landblock_id);
  if (!file) return make_unexpected(std::move(file).error());
  auto written = file->commit(lines.bytes());
  if (!written) return make_unexpected(WriteError{file->path(), std::move(written).error()});
  return {};
}

}  // namespace tallowmere::scenery

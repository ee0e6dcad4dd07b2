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

Expected<void, WriteError> write_lines(const std::string& directory, uint16_t landblock_id,
                                       const PlacementLines& lines) {
  std::string path = join_path(directory, placement_file_name(landblock_id));
  const std::string& text = lines.text();  // every line already followed by its feed
  auto written =
      common::write_file(path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  if (!written) return make_unexpected(WriteError{std::move(path), std::move(written).error()});
  return {};
}

}  // namespace tallowmere::scenery

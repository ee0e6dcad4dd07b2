#include "open.hpp"

#include <utility>
#include <variant>

namespace tallowmere::ringproof {

Expected<LoadedWorld, ErrorReport> open_world(const std::string& portal_path,
                                              const std::string& cell_path) {
  return ringproof::open_world(scenery::open_archive_files(portal_path, cell_path));
}

Expected<LoadedWorld, ErrorReport> open_world(scenery::ArchiveFiles files) {
  auto world_or = scenery::open_world(std::move(files));
  if (!world_or) {
    const scenery::WorldError& error = world_or.error();
    return make_unexpected(std::visit(
        [&](const auto& cause) { return with_context(std::string(error.context()), cause); },
        error.cause));
  }
  return std::move(*world_or);
}

}  // namespace tallowmere::ringproof

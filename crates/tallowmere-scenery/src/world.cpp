#include "tallowmere/scenery/world.hpp"

#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "tallowmere/common/cursor.hpp"

namespace tallowmere::scenery {

std::string_view WorldError::context() const {
  switch (step) {
    case Step::OpenPortal:
      return "open portal";
    case Step::OpenCell:
      return "open cell";
    case Step::FetchRegion:
      return "fetch Region 0x13000000";
    case Step::ParseRegion:
      return "parse Region";
  }
  return {};
}

ArchiveFiles open_archive_files(const std::string& portal_path, const std::string& cell_path) {
  return {dat::DatDatabase::open_file(portal_path), dat::DatDatabase::open_file(cell_path)};
}

Expected<World, WorldError> open_world(const std::string& portal_path,
                                       const std::string& cell_path) {
  return open_world(open_archive_files(portal_path, cell_path));
}

namespace {

Expected<dat::DatDatabase, dat::DatError> open_archive(
    Expected<std::unique_ptr<const dat::ByteSource>, dat::DatError> file) {
  if (!file) return make_unexpected(std::move(file).error());
  return dat::DatDatabase::open(std::move(*file));
}

}  // namespace

Expected<World, WorldError> open_world(ArchiveFiles files) {
  using Step = WorldError::Step;
  // The cell archive, whose directory is by far the larger, opens on a thread of its own
  // while this one opens the portal archive and loads the region. The errors are then
  // taken in the order of the steps: the portal's before the cell's before the
  // region's, whichever came first. Where no thread can be had, the cell archive opens
  // here, after the portal archive.
  std::optional<Expected<dat::DatDatabase, dat::DatError>> cell_or;
  std::optional<std::jthread> cell_thread;
  try {
    cell_thread.emplace([&] { cell_or.emplace(open_archive(std::move(files.cell))); });
  } catch (const std::system_error&) {
  }

  auto portal_or = open_archive(std::move(files.portal));
  std::optional<Expected<std::vector<uint8_t>, dat::DatError>> payload_or;
  std::optional<common::ParseResult<dat::file_type::Region>> region_or;
  if (portal_or) {
    payload_or.emplace(portal_or->get_file(kRegionFileId));
    if (*payload_or) {
      common::Cursor cursor(**payload_or);
      region_or.emplace(dat::file_type::Region::unpack(cursor));
    }
  }
  if (cell_thread) {
    cell_thread->join();
  } else if (portal_or) {
    cell_or.emplace(open_archive(std::move(files.cell)));
  }

  if (!portal_or)
    return make_unexpected(WorldError{Step::OpenPortal, std::move(portal_or).error()});
  if (!*cell_or) return make_unexpected(WorldError{Step::OpenCell, std::move(*cell_or).error()});
  if (!*payload_or) {
    return make_unexpected(WorldError{Step::FetchRegion, std::move(*payload_or).error()});
  }
  if (!*region_or) {
    return make_unexpected(WorldError{Step::ParseRegion, std::move(*region_or).error()});
  }
  return World{std::move(*portal_or), std::move(**cell_or), std::move(**payload_or),
               std::move(**region_or)};
}

}  // namespace tallowmere::scenery

#include "tallowmere/scenery/world.hpp"

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

Expected<World, WorldError> open_world(const std::string& portal_path,
                                       const std::string& cell_path) {
  using Step = WorldError::Step;
  auto portal_or = dat::DatDatabase::open(portal_path);
  if (!portal_or) {
    return make_unexpected(WorldError{Step::OpenPortal, std::move(portal_or).error()});
  }

  auto cell_or = dat::DatDatabase::open(cell_path);
  if (!cell_or) return make_unexpected(WorldError{Step::OpenCell, std::move(cell_or).error()});

  auto payload_or = portal_or->get_file(kRegionFileId);
  if (!payload_or) {
    return make_unexpected(WorldError{Step::FetchRegion, std::move(payload_or).error()});
  }

  common::Cursor cursor(*payload_or);
  auto region_or = dat::file_type::Region::unpack(cursor);
  if (!region_or) {
    return make_unexpected(WorldError{Step::ParseRegion, std::move(region_or).error()});
  }

  return World{std::move(*portal_or), std::move(*cell_or), std::move(*payload_or),
               std::move(*region_or)};
}

}  // namespace tallowmere::scenery

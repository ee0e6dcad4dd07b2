#include "open.hpp"

#include <utility>

#include "tallowmere/common/cursor.hpp"

namespace tallowmere::ringproof {

Expected<LoadedWorld, ErrorReport> open_world(const std::string& portal_path,
                                              const std::string& cell_path) {
  auto portal_or = dat::DatDatabase::open(portal_path);
  if (!portal_or) return make_unexpected(with_context("open portal", portal_or.error()));

  auto cell_or = dat::DatDatabase::open(cell_path);
  if (!cell_or) return make_unexpected(with_context("open cell", cell_or.error()));

  auto payload_or = portal_or->get_file(kRegionFileId);
  if (!payload_or) {
    return make_unexpected(with_context("fetch Region 0x13000000", payload_or.error()));
  }

  common::Cursor cursor(*payload_or);
  auto region_or = dat::file_type::Region::unpack(cursor);
  if (!region_or) return make_unexpected(with_context("parse Region", region_or.error()));

  return LoadedWorld{std::move(*portal_or), std::move(*cell_or), std::move(*payload_or),
                     std::move(*region_or)};
}

}  // namespace tallowmere::ringproof

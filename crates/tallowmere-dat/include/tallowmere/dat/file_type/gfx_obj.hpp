// GfxObj (portal files 0x01xxxxxx): one rigid mesh with its polygons and BSP trees.
//
// Layout, in payload order; the parts in brackets are present only when their flag is
// set in `flags` and consume nothing otherwise:
//   id u32, flags u32, surfaces (packed count, then u32 each), CVertexArray,
//   [HAS_PHYSICS: packed polygon count, (u16 id, Polygon) each, Physics BSP tree],
//   sort_center Vector3,
//   [HAS_DRAWING: packed polygon count, (u16 id, Polygon) each, Drawing BSP tree],
//   [HAS_DEGRADE: degrade_id u32].
// A tree is read even when its polygon count is 0. Bytes after the record are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tallowmere/common/record.hpp"
#include "tallowmere/common/seeded_map.hpp"
#include "tallowmere/dat/graphics.hpp"
#include "tallowmere/dat/physics.hpp"

namespace tallowmere::dat::file_type {

struct GfxObj {
  static constexpr uint32_t HAS_PHYSICS = 0x1;
  static constexpr uint32_t HAS_DRAWING = 0x2;
  static constexpr uint32_t HAS_DEGRADE = 0x8;

  uint32_t id = 0;
  uint32_t flags = 0;
  std::vector<uint32_t> surfaces;
  graphics::CVertexArray vertex_array;
  // Polygon maps are keyed by polygon id; a repeated id keeps the later polygon.
  // Their iteration order is unspecified.
  common::SeededMap<uint16_t, graphics::Polygon> physics_polygons;
  std::optional<physics::BspNode> physics_bsp;
  common::Vector3 sort_center;
  common::SeededMap<uint16_t, graphics::Polygon> polygons;
  std::optional<physics::BspNode> drawing_bsp;
  std::optional<uint32_t> degrade_id;

  // Parses a whole graphics object from the cursor's position. Errors of the field
  // readers, polygons, vertex array and trees pass through unchanged; nothing partial
  // is returned.
  [[nodiscard]] static common::ParseResult<GfxObj> unpack(common::Cursor& cursor) {
    return common::read_record<GfxObj>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

}  // namespace tallowmere::dat::file_type

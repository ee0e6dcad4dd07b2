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
#include <span>
#include <vector>

#include "tallowmere/common/flat_map.hpp"
#include "tallowmere/common/record.hpp"
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
  // Their iteration order is unspecified. The lists of both sit in polygon_lists.
  common::FlatMap<uint16_t, graphics::Polygon> physics_polygons;
  physics::BspTree physics_bsp;  // no nodes without HAS_PHYSICS
  common::Vector3 sort_center;
  common::FlatMap<uint16_t, graphics::Polygon> polygons;
  physics::BspTree drawing_bsp;  // no nodes without HAS_DRAWING
  std::optional<uint32_t> degrade_id;
  graphics::PolygonLists polygon_lists;

  [[nodiscard]] std::span<const uint16_t> vertex_ids_of(const graphics::Polygon& poly) const {
    return poly.vertex_ids.in(polygon_lists.vertex_ids);
  }
  [[nodiscard]] std::span<const uint8_t> pos_uv_indices_of(const graphics::Polygon& poly) const {
    return poly.pos_uv_indices.in(polygon_lists.uv_indices);
  }
  [[nodiscard]] std::span<const uint8_t> neg_uv_indices_of(const graphics::Polygon& poly) const {
    return poly.neg_uv_indices.in(polygon_lists.uv_indices);
  }

  // Parses a whole graphics object from the cursor's position. Errors of the field
  // readers, polygons, vertex array and trees pass through unchanged; nothing partial
  // is returned. The record holds each of its arrays in one allocation of its exact
  // size: the parse itself fills a per-thread scratch record whose storage is reused.
  [[nodiscard]] static common::ParseResult<GfxObj> unpack(common::Cursor& cursor);

  // Parses like unpack into `out`, reusing the storage it holds: a caller that parses
  // many objects into one record allocates only when an object outgrows the largest
  // before it. After an error `out` holds an unspecified part of the object.
  [[nodiscard]] static common::ParseResult<void> unpack_into(common::Cursor& cursor, GfxObj& out);

  // Walks a whole graphics object at the start of `payload` for its vertex positions
  // alone: true exactly when unpack succeeds on the same bytes, and then the origin of
  // every entry of vertex_array.vertices is appended to `out`, as iterating the parsed
  // map would yield them (entries in the order their ids first arrive, a repeated id
  // keeping the later vertex, starting at a position drawn afresh for each call and
  // wrapping around). On false `out` is as it was. Builds no record: the polygons and
  // trees are checked and stepped over. Besides `out`, only per-thread buffers allocate
  // (a table of vertex ids, and room for reordering), once per thread or when outgrown.
  [[nodiscard]] static bool vertex_origins(std::span<const uint8_t> payload,
                                           std::vector<common::Vector3>& out);

  // Removes everything, keeping the storage.
  void clear();

  template <class A, class Self>
  static void describe(A& a, Self& self);
};

}  // namespace tallowmere::dat::file_type

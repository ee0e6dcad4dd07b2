// Graphics records: the Frame used by setup models and scenes, and (with graphics
// objects) the vertex array, vertices and polygons.
//
// Frame, 28 bytes: origin (Vector3), then orientation (Quaternion, w x y z).
// Vec2Duv, 8 bytes: u, v (f32).
// SWVertex: num_uvs u16, origin (Vector3), normal (Vector3), num_uvs Vec2Duv.
//   The pairs of all vertices are kept in one pool of their vertex array, and the lists
//   of all polygons in the pools of their PolygonLists, so that parsing a whole
//   graphics object allocates a bounded number of blocks, however large it is.
// CVertexArray: vertex_type u32, count u32; then, for vertex type 1 only, count times a
//   u16 vertex id and an SWVertex. Other vertex types have no layout known here and
//   read nothing after the count.
// Polygon: num_points u8, poly_flags u8, sides_type i32, pos_surface i16, neg_surface
//   i16, num_points u16 vertex ids, then num_points u8 positive uv indices unless
//   poly_flags & 0x04, then num_points u8 negative uv indices when sides_type is 2 and
//   not poly_flags & 0x08. With num_points 0 neither index list is stored.
// Frame, Vec2Duv and SWVertex are declarative records; CVertexArray and Polygon are
// read by hand and add no context frames. Each record describes its fields once
// (`describe`, see common/record.hpp) for its reader and the visitor.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tallowmere/common/flat_map.hpp"
#include "tallowmere/common/math.hpp"
#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::graphics {

struct Frame {
  static constexpr uint64_t kStoredSize = 28;  // bytes in the payload
  common::Vector3 origin;
  common::Quaternion orientation;
  // Declarative record; frames name 'origin' and 'orientation' in Frame.
  [[nodiscard]] static common::ParseResult<Frame> read(common::Cursor& cursor) {
    return common::read_record<Frame>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct Vec2Duv {
  static constexpr uint64_t kStoredSize = 8;
  float u = 0;
  float v = 0;
  [[nodiscard]] static common::ParseResult<Vec2Duv> read(common::Cursor& cursor) {
    return common::read_record<Vec2Duv>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

// The texture pairs of a vertex live in its vertex array's `uvs` pool.
struct SWVertex {
  uint16_t num_uvs = 0;
  common::Vector3 origin;
  common::Vector3 normal;
  common::Run uvs;  // num_uvs pairs of CVertexArray::uvs
  // Declarative record; its pairs are appended to, or visited in, `pool`.
  template <class A, class Self, class Pool>
  static void describe(A& a, Self& self, Pool& pool);
};

struct CVertexArray {
  uint32_t vertex_type = 0;
  // Keyed by vertex id; a repeated id keeps the later vertex. The stored count is not
  // kept. Iteration order is unspecified.
  common::FlatMap<uint16_t, SWVertex> vertices;
  std::vector<Vec2Duv> uvs;  // the texture pairs of every vertex read

  [[nodiscard]] std::span<const Vec2Duv> uvs_of(const SWVertex& vertex) const {
    return vertex.uvs.in(uvs);
  }

  // Fails with "failed to fill whole buffer" on a short type, count or vertex id, or
  // with an SWVertex error.
  [[nodiscard]] static common::ParseResult<CVertexArray> read(common::Cursor& cursor) {
    return common::read_record<CVertexArray>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

// The lists of a set of polygons, kept in shared pools: every polygon holds Runs into
// them.
struct PolygonLists {
  std::vector<uint16_t> vertex_ids;
  std::vector<uint8_t> uv_indices;  // positive and negative alike

  void clear() {
    vertex_ids.clear();
    uv_indices.clear();
  }
};

struct Polygon {
  static constexpr uint8_t NO_POS_UVS = 0x04;
  static constexpr uint8_t NO_NEG_UVS = 0x08;
  static constexpr int32_t SIDES_TWO_SIDED = 2;  // the sides type that can carry neg uvs

  uint8_t num_points = 0;
  uint8_t poly_flags = 0;
  int32_t sides_type = 0;
  int16_t pos_surface = 0;
  int16_t neg_surface = 0;
  common::Run vertex_ids;      // num_points keys of CVertexArray::vertices, in vertex_ids
  common::Run pos_uv_indices;  // num_points entries or none, in uv_indices
  common::Run neg_uv_indices;  // num_points entries or none, in uv_indices
  // Any short field fails with "failed to fill whole buffer". The lists are appended to
  // `lists`.
  [[nodiscard]] static common::ParseResult<Polygon> read(common::Cursor& cursor,
                                                         PolygonLists& lists) {
    return common::read_record<Polygon>(
        cursor, [&lists](common::Reader& a, Polygon& poly) { describe(a, poly, lists); });
  }
  template <class A, class Self, class Lists>
  static void describe(A& a, Self& self, Lists& lists);
};

}  // namespace tallowmere::dat::graphics

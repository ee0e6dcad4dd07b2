#include "tallowmere/dat/graphics.hpp"

#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::graphics {

using common::Quaternion;
using common::read_f32;
using common::read_i16;
using common::read_i32;
using common::read_u16;
using common::read_u32;
using common::read_u8;
using common::Record;
using common::Vector3;

ParseResult<Frame> Frame::read(Cursor& cursor) {
  Frame frame;
  Record rec(cursor, "Frame");
  rec.field("origin", TALLOWMERE_HERE, frame.origin, Vector3::read);
  rec.field("orientation", TALLOWMERE_HERE, frame.orientation, Quaternion::read);
  return rec.finish(frame);
}

ParseResult<Vec2Duv> Vec2Duv::read(Cursor& cursor) {
  Vec2Duv uv;
  Record rec(cursor, "Vec2Duv");
  rec.field("u", TALLOWMERE_HERE, uv.u, read_f32);
  rec.field("v", TALLOWMERE_HERE, uv.v, read_f32);
  return rec.finish(uv);
}

ParseResult<SWVertex> SWVertex::read(Cursor& cursor) {
  SWVertex vertex;
  Record rec(cursor, "SWVertex");
  rec.field("num_uvs", TALLOWMERE_HERE, vertex.num_uvs, read_u16);
  rec.field("origin", TALLOWMERE_HERE, vertex.origin, Vector3::read);
  rec.field("normal", TALLOWMERE_HERE, vertex.normal, Vector3::read);
  // The list grows as pairs arrive rather than being sized from num_uvs.
  rec.step("uvs", TALLOWMERE_HERE, [&](Cursor& c) -> ParseResult<void> {
    for (uint16_t i = 0; i < vertex.num_uvs; ++i) {
      auto uv = Vec2Duv::read(c);
      if (!uv) return make_unexpected(std::move(uv).error());
      vertex.uvs.push_back(*uv);
    }
    return {};
  });
  return rec.finish(std::move(vertex));
}

ParseResult<CVertexArray> CVertexArray::read(Cursor& cursor) {
  CVertexArray array;
  auto type = read_u32(cursor);
  if (!type) return make_unexpected(std::move(type).error());
  array.vertex_type = *type;
  auto count = read_u32(cursor);
  if (!count) return make_unexpected(std::move(count).error());
  if (array.vertex_type != 1) return array;

  for (uint32_t i = 0; i < *count; ++i) {
    auto id = read_u16(cursor);
    if (!id) return make_unexpected(std::move(id).error());
    auto vertex = SWVertex::read(cursor);
    if (!vertex) return make_unexpected(std::move(vertex).error());
    array.vertices.insert_or_assign(*id, std::move(*vertex));
  }
  return array;
}

namespace {

// `count` bytes; a short read fails with "failed to fill whole buffer".
ParseResult<std::vector<uint8_t>> read_u8s(Cursor& cursor, size_t count) {
  auto bytes = cursor.take(count);
  if (!bytes) return make_unexpected(std::move(bytes).error());
  return std::vector<uint8_t>(bytes->begin(), bytes->end());
}

}  // namespace

ParseResult<Polygon> Polygon::read(Cursor& cursor) {
  Polygon poly;
  auto num_points = read_u8(cursor);
  if (!num_points) return make_unexpected(std::move(num_points).error());
  poly.num_points = *num_points;
  auto poly_flags = read_u8(cursor);
  if (!poly_flags) return make_unexpected(std::move(poly_flags).error());
  poly.poly_flags = *poly_flags;
  auto sides_type = read_i32(cursor);
  if (!sides_type) return make_unexpected(std::move(sides_type).error());
  poly.sides_type = *sides_type;
  auto pos_surface = read_i16(cursor);
  if (!pos_surface) return make_unexpected(std::move(pos_surface).error());
  poly.pos_surface = *pos_surface;
  auto neg_surface = read_i16(cursor);
  if (!neg_surface) return make_unexpected(std::move(neg_surface).error());
  poly.neg_surface = *neg_surface;

  const size_t n = poly.num_points;
  auto ids = cursor.take(2 * n);
  if (!ids) return make_unexpected(std::move(ids).error());
  poly.vertex_ids.resize(n);
  for (size_t i = 0; i < n; ++i) {
    poly.vertex_ids[i] = static_cast<uint16_t>((*ids)[2 * i] | ((*ids)[2 * i + 1] << 8));
  }
  if (n == 0) return poly;

  if (!(poly.poly_flags & NO_POS_UVS)) {
    auto uvs = read_u8s(cursor, n);
    if (!uvs) return make_unexpected(std::move(uvs).error());
    poly.pos_uv_indices = std::move(*uvs);
  }
  if (!(poly.poly_flags & NO_NEG_UVS) && poly.sides_type == SIDES_TWO_SIDED) {
    auto uvs = read_u8s(cursor, n);
    if (!uvs) return make_unexpected(std::move(uvs).error());
    poly.neg_uv_indices = std::move(*uvs);
  }
  return poly;
}

}  // namespace tallowmere::dat::graphics

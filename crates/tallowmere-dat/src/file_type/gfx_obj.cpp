#include "tallowmere/dat/file_type/gfx_obj.hpp"

#include "tallowmere/dat/utils.hpp"

namespace tallowmere::dat::file_type {

using common::Cursor;
using common::ParseResult;
using common::read_u16;
using common::read_u32;
using graphics::Polygon;
using physics::BspNode;
using physics::BspTreeKind;

namespace {

// A packed polygon count, that many (u16 id, Polygon) entries into `polygons`, then the
// tree of `kind` over them.
ParseResult<void> read_polygon_set(Cursor& cursor, BspTreeKind kind,
                                   common::SeededMap<uint16_t, Polygon>& polygons,
                                   std::optional<BspNode>& tree) {
  auto count = read_compressed_u32(cursor);
  if (!count) return make_unexpected(std::move(count).error());
  for (uint32_t i = 0; i < *count; ++i) {
    auto id = read_u16(cursor);
    if (!id) return make_unexpected(std::move(id).error());
    auto polygon = Polygon::read(cursor);
    if (!polygon) return make_unexpected(std::move(polygon).error());
    polygons.insert_or_assign(*id, std::move(*polygon));
  }
  auto root = BspNode::read(cursor, kind);
  if (!root) return make_unexpected(std::move(root).error());
  tree = std::move(*root);
  return {};
}

}  // namespace

ParseResult<GfxObj> GfxObj::unpack(Cursor& cursor) {
  GfxObj obj;
  auto id = read_u32(cursor);
  if (!id) return make_unexpected(std::move(id).error());
  obj.id = *id;
  auto flags = read_u32(cursor);
  if (!flags) return make_unexpected(std::move(flags).error());
  obj.flags = *flags;
  auto surfaces = read_smart_vec(cursor);
  if (!surfaces) return make_unexpected(std::move(surfaces).error());
  obj.surfaces = std::move(*surfaces);
  auto vertices = graphics::CVertexArray::read(cursor);
  if (!vertices) return make_unexpected(std::move(vertices).error());
  obj.vertex_array = std::move(*vertices);

  if (obj.flags & HAS_PHYSICS) {
    auto set =
        read_polygon_set(cursor, BspTreeKind::Physics, obj.physics_polygons, obj.physics_bsp);
    if (!set) return make_unexpected(std::move(set).error());
  }
  auto sort_center = common::Vector3::read(cursor);
  if (!sort_center) return make_unexpected(std::move(sort_center).error());
  obj.sort_center = *sort_center;
  if (obj.flags & HAS_DRAWING) {
    auto set = read_polygon_set(cursor, BspTreeKind::Drawing, obj.polygons, obj.drawing_bsp);
    if (!set) return make_unexpected(std::move(set).error());
  }
  if (obj.flags & HAS_DEGRADE) {
    auto degrade = read_u32(cursor);
    if (!degrade) return make_unexpected(std::move(degrade).error());
    obj.degrade_id = *degrade;
  }
  return obj;
}

}  // namespace tallowmere::dat::file_type

// GfxObj: hand-written; errors of the field readers, polygons, vertex array and trees
// pass through unchanged. Each polygon set is a packed count, (u16 id, Polygon) entries
// and the tree over them, read even when the count is 0.
#include "tallowmere/dat/file_type/gfx_obj.hpp"

#include "../field_codecs.hpp"

namespace tallowmere::dat::file_type {

using physics::BspTree;
using physics::BspTreeKind;

namespace {

constexpr auto kPhysicsTree =
    common::Describe{[](auto& a, auto& tree) { BspTree::describe(a, tree, BspTreeKind::Physics); }};
constexpr auto kDrawingTree =
    common::Describe{[](auto& a, auto& tree) { BspTree::describe(a, tree, BspTreeKind::Drawing); }};

// Polygons whose lists go to (or come from) the object's polygon_lists.
template <class Obj>
auto polygons_in(Obj& obj) {
  return common::Describe{[&lists = obj.polygon_lists](auto& a, auto& poly) {
    graphics::Polygon::describe(a, poly, lists);
  }};
}

}  // namespace

template <class A, class Self>
void GfxObj::describe(A& a, Self& obj) {
  a.hand_written("GfxObj");
  a.field("id", obj.id);
  a.field("flags", obj.flags);
  a.list("surfaces", obj.surfaces, codec::PackedCount{});
  a.field("vertex_array", obj.vertex_array);
  if (obj.flags & HAS_PHYSICS) {
    a.map("physics_polygons", obj.physics_polygons, codec::PackedCount{}, polygons_in(obj));
    a.field("physics_bsp", obj.physics_bsp, kPhysicsTree);
  } else {
    a.absent("physics_polygons");
    a.absent("physics_bsp");
  }
  a.field("sort_center", obj.sort_center);
  if (obj.flags & HAS_DRAWING) {
    a.map("polygons", obj.polygons, codec::PackedCount{}, polygons_in(obj));
    a.field("drawing_bsp", obj.drawing_bsp, kDrawingTree);
  } else {
    a.absent("polygons");
    a.absent("drawing_bsp");
  }
  a.optional("degrade_id", obj.degrade_id, (obj.flags & HAS_DEGRADE) != 0);
}

TALLOWMERE_DESCRIBED(GfxObj);

void GfxObj::clear() {
  surfaces.clear();
  vertex_array.vertex_type = 0;
  vertex_array.vertices.clear();
  vertex_array.uvs.clear();
  physics_polygons.clear();
  physics_bsp.nodes.clear();
  physics_bsp.poly_ids.clear();
  physics_bsp.portals.clear();
  sort_center = {};
  polygons.clear();
  drawing_bsp.nodes.clear();
  drawing_bsp.poly_ids.clear();
  drawing_bsp.portals.clear();
  degrade_id.reset();
  polygon_lists.clear();
}

common::ParseResult<void> GfxObj::unpack_into(common::Cursor& cursor, GfxObj& out) {
  out.clear();
  common::Reader reader(cursor);
  describe(reader, out);
  if (!reader.ok()) return make_unexpected(reader.take_error());
  return {};
}

common::ParseResult<GfxObj> GfxObj::unpack(common::Cursor& cursor) {
  thread_local GfxObj scratch;
  if (auto parsed = unpack_into(cursor, scratch); !parsed) {
    return make_unexpected(std::move(parsed).error());
  }
  return GfxObj(scratch);  // a copy holds each array at its exact size
}

}  // namespace tallowmere::dat::file_type

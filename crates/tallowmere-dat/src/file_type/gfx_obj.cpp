// GfxObj: hand-written; errors of the field readers, polygons, vertex array and trees
// pass through unchanged. Each polygon set is a packed count, (u16 id, Polygon) entries
// and the tree over them, read even when the count is 0.
#include "tallowmere/dat/file_type/gfx_obj.hpp"

#include "../field_codecs.hpp"

namespace tallowmere::dat::file_type {

using physics::BspNode;
using physics::BspTreeKind;

namespace {

constexpr auto kPhysicsTree =
    common::Describe{[](auto& a, auto& node) { BspNode::describe(a, node, BspTreeKind::Physics); }};
constexpr auto kDrawingTree =
    common::Describe{[](auto& a, auto& node) { BspNode::describe(a, node, BspTreeKind::Drawing); }};

}  // namespace

template <class A, class Self>
void GfxObj::describe(A& a, Self& obj) {
  a.hand_written("GfxObj");
  a.field("id", obj.id);
  a.field("flags", obj.flags);
  a.list("surfaces", obj.surfaces, codec::PackedCount{});
  a.field("vertex_array", obj.vertex_array);
  if (obj.flags & HAS_PHYSICS) {
    a.map("physics_polygons", obj.physics_polygons, codec::PackedCount{});
    a.optional("physics_bsp", obj.physics_bsp, true, kPhysicsTree);
  } else {
    a.absent("physics_polygons");
    a.absent("physics_bsp");
  }
  a.field("sort_center", obj.sort_center);
  if (obj.flags & HAS_DRAWING) {
    a.map("polygons", obj.polygons, codec::PackedCount{});
    a.optional("drawing_bsp", obj.drawing_bsp, true, kDrawingTree);
  } else {
    a.absent("polygons");
    a.absent("drawing_bsp");
  }
  a.optional("degrade_id", obj.degrade_id, (obj.flags & HAS_DEGRADE) != 0);
}

TALLOWMERE_DESCRIBED(GfxObj);

}  // namespace tallowmere::dat::file_type

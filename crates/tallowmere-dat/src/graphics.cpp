// Graphics records. Frame, Vec2Duv and SWVertex are declarative; the vertex array and
// the polygon are hand-written: their reads add no frames.
#include "tallowmere/dat/graphics.hpp"

#include "field_codecs.hpp"

namespace tallowmere::dat::graphics {

using common::Counted;

template <class A, class Self>
void Frame::describe(A& a, Self& frame) {
  a.declarative("Frame");
  a.field("origin", frame.origin);
  a.field("orientation", frame.orientation);
}

template <class A, class Self>
void Vec2Duv::describe(A& a, Self& uv) {
  a.declarative("Vec2Duv");
  a.field("u", uv.u);
  a.field("v", uv.v);
}

template <class A, class Self, class Pool>
void SWVertex::describe(A& a, Self& vertex, Pool& pool) {
  a.declarative("SWVertex");
  a.field("num_uvs", vertex.num_uvs);
  a.field("origin", vertex.origin);
  a.field("normal", vertex.normal);
  // The list grows as pairs arrive rather than being sized from num_uvs.
  a.list("uvs", vertex.uvs, Counted{vertex.num_uvs}, common::InPool{pool});
}

// Only vertex type 1 has a layout known here: any other type reads nothing after the
// count, and its vertex map stays empty. The stored count is not kept.
template <class A, class Self>
void CVertexArray::describe(A& a, Self& array) {
  auto num_vertices = common::count_of<uint32_t>(a, array.vertices);
  a.hand_written("CVertexArray");
  a.field("vertex_type", array.vertex_type);
  a.field("num_vertices", num_vertices);
  if (array.vertex_type == 1) {
    a.map("vertices", array.vertices, Counted{num_vertices},
          common::Describe{[&array](auto& walker, auto& vertex) {
            SWVertex::describe(walker, vertex, array.uvs);
          }});
  } else {
    a.absent("vertices");
  }
}

template <class A, class Self, class Lists>
void Polygon::describe(A& a, Self& poly, Lists& lists) {
  a.hand_written("Polygon");
  a.field("num_points", poly.num_points);
  a.field("poly_flags", poly.poly_flags);
  a.field("sides_type", poly.sides_type);
  a.field("pos_surface", poly.pos_surface);
  a.field("neg_surface", poly.neg_surface);
  a.list("vertex_ids", poly.vertex_ids, Counted{poly.num_points}, common::InPool{lists.vertex_ids});
  // With no corners neither index list is stored, whatever the flags.
  const bool any = poly.num_points != 0;
  if (any && !(poly.poly_flags & NO_POS_UVS)) {
    a.field("pos_uv_indices", poly.pos_uv_indices,
            common::BytesInPool{lists.uv_indices, poly.num_points});
  } else {
    a.absent("pos_uv_indices");
  }
  if (any && !(poly.poly_flags & NO_NEG_UVS) && poly.sides_type == SIDES_TWO_SIDED) {
    a.field("neg_uv_indices", poly.neg_uv_indices,
            common::BytesInPool{lists.uv_indices, poly.num_points});
  } else {
    a.absent("neg_uv_indices");
  }
}

TALLOWMERE_DESCRIBED(Frame);
TALLOWMERE_DESCRIBED(Vec2Duv);
TALLOWMERE_DESCRIBED(CVertexArray);
template void SWVertex::describe(common::Reader&, SWVertex&, std::vector<Vec2Duv>&);
template void SWVertex::describe(common::Visitor&, const SWVertex&, const std::vector<Vec2Duv>&);
template void Polygon::describe(common::Reader&, Polygon&, PolygonLists&);
template void Polygon::describe(common::Visitor&, const Polygon&, const PolygonLists&);

}  // namespace tallowmere::dat::graphics

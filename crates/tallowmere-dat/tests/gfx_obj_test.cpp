#include "tallowmere/dat/file_type/gfx_obj.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/dat_writer/model_records.hpp"

namespace tallowmere::dat::file_type {
namespace {

using common::Cursor;
using common::LocatedFrame;
using common::ParseResult;
using graphics::Polygon;
using graphics::SWVertex;
using physics::BspTreeKind;
using writer::ByteWriter;

struct Parsed {
  ParseResult<GfxObj> obj;
  uint64_t end;
};

Parsed parse(std::span<const uint8_t> bytes) {
  Cursor cursor(bytes);
  auto obj = GfxObj::unpack(cursor);
  return {std::move(obj), cursor.position()};
}

std::vector<std::string> frame_messages(const common::ParseError& error) {
  std::vector<std::string> out;
  for (const auto& frame : error.frames()) out.push_back(std::get<LocatedFrame>(frame).message);
  return out;
}

TEST(PolygonLayout, IndexListsFollowFlagsSidesAndPointCount) {
  struct Case {
    uint8_t num_points, flags;
    int32_t sides;
    size_t size, pos, neg;
  };
  const Case cases[] = {
      {3, 0x00, 2, 22, 3, 3},  // both index lists
      {3, 0x08, 2, 19, 3, 0},  // no negative indices
      {3, 0x0C, 2, 16, 0, 0},  // neither
      {3, 0x04, 2, 19, 0, 3},  // negative only
      {3, 0x00, 1, 19, 3, 0},  // one-sided: never negative indices
      {0, 0x00, 2, 10, 0, 0},  // no corners, no lists whatever the flags
  };
  for (const auto& c : cases) {
    ByteWriter w;
    w.u8(c.num_points).u8(c.flags).i32(c.sides).i16(-5).i16(6);
    for (int i = 0; i < c.num_points; ++i) w.u16(static_cast<uint16_t>(0x100 + i));
    for (size_t i = 0; i < c.pos + c.neg; ++i) w.u8(static_cast<uint8_t>(i + 1));
    ASSERT_EQ(w.size(), c.size);
    w.u32(0xEEEEEEEE);  // the next field, never part of the polygon
    Cursor cursor(w.view());
    graphics::PolygonLists lists;
    lists.vertex_ids = {7};  // lists already in the pools stay in front
    auto poly = Polygon::read(cursor, lists);
    ASSERT_TRUE(poly) << poly.error().text();
    EXPECT_EQ(cursor.position(), c.size) << int(c.flags) << " " << c.sides;
    EXPECT_EQ(poly->vertex_ids.size(), c.num_points);
    EXPECT_EQ(poly->pos_uv_indices.size(), c.pos);
    EXPECT_EQ(poly->neg_uv_indices.size(), c.neg);
    EXPECT_EQ(lists.uv_indices.size(), c.pos + c.neg);
    EXPECT_EQ(poly->pos_surface, -5);
    EXPECT_EQ(poly->neg_surface, 6);
    if (c.num_points) {
      EXPECT_EQ(poly->vertex_ids.first, 1u);
      EXPECT_EQ(poly->vertex_ids.in(lists.vertex_ids)[2], 0x102);
    }
    if (c.neg) {
      EXPECT_EQ(poly->neg_uv_indices.in(lists.uv_indices)[0], c.pos + 1);
    }
  }
}

TEST(VertexArrayLayout, OnlyTypeOneReadsVertexRecords) {
  ByteWriter other;
  other.u32(2).u32(5).u32(0xABCDEF01);
  Cursor cursor(other.view());
  auto array = graphics::CVertexArray::read(cursor);
  ASSERT_TRUE(array) << array.error().text();
  EXPECT_EQ(cursor.position(), 8u);
  EXPECT_EQ(array->vertex_type, 2u);
  EXPECT_TRUE(array->vertices.empty());

  // Type 1: (u16 id, SWVertex) records; a repeated id keeps the later vertex.
  ByteWriter w;
  w.u32(1).u32(3);
  w.u16(4).u16(0).f32(1).f32(2).f32(3).f32(0).f32(0).f32(1);
  w.u16(9).u16(1).f32(4).f32(5).f32(6).f32(0).f32(1).f32(0).f32(0.25f).f32(0.75f);
  w.u16(4).u16(0).f32(7).f32(8).f32(9).f32(1).f32(0).f32(0);
  Cursor type1(w.view());
  auto vertices = graphics::CVertexArray::read(type1);
  ASSERT_TRUE(vertices) << vertices.error().text();
  EXPECT_EQ(type1.position(), w.size());
  ASSERT_EQ(vertices->vertices.size(), 2u);
  EXPECT_EQ(vertices->vertices.at(4).origin.x, 7.0f);
  const SWVertex& v9 = vertices->vertices.at(9);
  EXPECT_EQ(v9.normal.y, 1.0f);
  ASSERT_EQ(v9.uvs.size(), 1u);
  EXPECT_EQ(vertices->uvs_of(v9)[0].u, 0.25f);
  EXPECT_EQ(vertices->uvs_of(v9)[0].v, 0.75f);
}

TEST(VertexErrors, UvFailureCarriesVec2DuvThenUvsFrames) {
  ByteWriter w;
  w.u32(0);  // bytes before the vertex
  w.u16(2).f32(1).f32(2).f32(3).f32(0).f32(0).f32(1).f32(0.5f).f32(0.5f).f32(0.1f).u16(0);
  Cursor cursor(w.view(), 4);
  std::vector<graphics::Vec2Duv> uvs;
  auto vertex = common::read_record<SWVertex>(
      cursor, [&uvs](common::Reader& a, SWVertex& v) { SWVertex::describe(a, v, uvs); });
  ASSERT_FALSE(vertex);
  EXPECT_EQ(frame_messages(vertex.error()),
            (std::vector<std::string>{"While parsing field 'v' in Vec2Duv",
                                      "While parsing field 'uvs' in SWVertex"}));
  for (const auto& frame : vertex.error().frames()) {
    EXPECT_EQ(std::string(std::get<LocatedFrame>(frame).location.file),
              "crates/tallowmere-dat/src/graphics.cpp");
  }
  EXPECT_EQ(cursor.position(), 4u);

  // Inside a GfxObj the vertex array adds nothing: the same two frames come through.
  ByteWriter obj;
  obj.u32(0x01000001).u32(0).u8(0).u32(1).u32(1).u16(0);
  obj.u16(1).f32(1).f32(2).f32(3).f32(0).f32(0).f32(1).f32(0.5f);
  auto [parsed, end] = parse(obj.view());
  ASSERT_FALSE(parsed);
  EXPECT_EQ(frame_messages(parsed.error()),
            (std::vector<std::string>{"While parsing field 'v' in Vec2Duv",
                                      "While parsing field 'uvs' in SWVertex"}));
}

TEST(GfxObjLayout, FlagsZeroIsIdFlagsSurfacesVerticesSortCenter) {
  ByteWriter w;
  w.u32(0x01000042).u32(0x4);  // 0x4 gates nothing
  w.u8(2).u32(0x08000001).u32(0x08000002);
  w.u32(1).u32(1).u16(0).u16(0).f32(1).f32(2).f32(3).f32(0).f32(0).f32(1);
  w.f32(10).f32(20).f32(30);
  const uint64_t size = w.size();
  w.u32(0xFFFFFFFF);  // trailing bytes are ignored
  auto [obj, end] = parse(w.view());
  ASSERT_TRUE(obj) << obj.error().text();
  EXPECT_EQ(end, size);
  EXPECT_EQ(obj->id, 0x01000042u);
  EXPECT_EQ(obj->surfaces, (std::vector<uint32_t>{0x08000001, 0x08000002}));
  EXPECT_EQ(obj->vertex_array.vertices.size(), 1u);
  EXPECT_EQ(obj->sort_center.z, 30.0f);
  EXPECT_TRUE(obj->physics_polygons.empty());
  EXPECT_TRUE(obj->polygons.empty());
  EXPECT_TRUE(obj->physics_bsp.nodes.empty());
  EXPECT_TRUE(obj->drawing_bsp.nodes.empty());
  EXPECT_FALSE(obj->degrade_id);
}

TEST(GfxObjLayout, OptionalPartsInPayloadOrder) {
  // Vertex type 2 with count 5: 8 bytes, then the physics part at once.
  ByteWriter w;
  w.u32(0x01000001).u32(GfxObj::HAS_PHYSICS | GfxObj::HAS_DRAWING | GfxObj::HAS_DEGRADE);
  w.u8(0).u32(2).u32(5);
  w.u8(0);                                                             // no physics polygons...
  w.u32(0x4C454146).u32(3).u32(1).f32(0).f32(0).f32(0).f32(1).u32(0);  // ...still a tree
  w.f32(1).f32(2).f32(3);                                              // sort centre
  w.u8(1).u16(7);                                                      // one drawing polygon, id 7
  w.u8(0).u8(0).i32(0).i16(0).i16(0);                                  //   with no corners
  w.u32(0x4C454146).u32(4);                                            // drawing leaf: 8 bytes
  w.u32(0xDE6EADE0);                                                   // degrade id
  auto [obj, end] = parse(w.view());
  ASSERT_TRUE(obj) << obj.error().text();
  EXPECT_EQ(end, w.size());
  EXPECT_TRUE(obj->vertex_array.vertices.empty());
  ASSERT_EQ(obj->physics_bsp.nodes.size(), 1u);
  EXPECT_EQ(obj->physics_bsp.root().leaf()->leaf_index, 3u);
  EXPECT_EQ(obj->physics_bsp.root().leaf()->solid, 1u);
  EXPECT_EQ(obj->sort_center.y, 2.0f);
  EXPECT_EQ(obj->polygons.count(7), 1u);
  EXPECT_EQ(obj->drawing_bsp.root().leaf()->leaf_index, 4u);
  EXPECT_EQ(obj->degrade_id, 0xDE6EADE0u);

  // Cut right after the drawing tree: the degrade id is missing.
  auto [cut, cut_end] = parse(std::span(w.view()).first(w.size() - 4));
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.error().text(), "failed to fill whole buffer");
}

TEST(GfxObjLayout, RepeatedPolygonIdKeepsTheLater) {
  writer::GfxObjSpec desc;
  desc.flags = GfxObj::HAS_DRAWING;
  desc.polygons = {{5, writer::make_polygon({1, 2, 3})},
                   {6, writer::make_polygon({0})},
                   {5, writer::make_polygon({4, 5, 6, 7})}};
  auto [obj, end] = parse(writer::encode_gfx_obj(desc));
  ASSERT_TRUE(obj) << obj.error().text();
  ASSERT_EQ(obj->polygons.size(), 2u);
  const auto ids = obj->vertex_ids_of(obj->polygons.at(5));
  EXPECT_EQ(std::vector<uint16_t>(ids.begin(), ids.end()), (std::vector<uint16_t>{4, 5, 6, 7}));
}

writer::GfxObjSpec full_spec() {
  using writer::bsp_internal;
  using writer::bsp_leaf;
  writer::GfxObjSpec desc;
  desc.id = 0x0100ABCD;
  desc.flags = GfxObj::HAS_PHYSICS | GfxObj::HAS_DRAWING | GfxObj::HAS_DEGRADE;
  desc.surfaces = {0x08000010};
  const common::Vector3 positions[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  desc.vertices = writer::gfx_obj_from_positions(0, positions).vertices;
  desc.vertices[1].second.num_uvs = 1;
  desc.vertices[1].second.uvs = {{0.5f, 0.25f}};
  desc.physics_polygons = {{0, writer::make_polygon({0, 1, 2})}};
  desc.physics_bsp = bsp_internal("BPIN", bsp_leaf(1, {0}), bsp_leaf(2));
  desc.sort_center = {0.5f, 0.5f, 0};
  desc.polygons = {{0, writer::make_polygon({2, 1, 0})}, {1, writer::make_polygon({0, 1})}};
  desc.polygons[1].second.poly_flags = Polygon::NO_NEG_UVS;
  desc.polygons[1].second.neg_uv_indices.clear();
  desc.drawing_bsp = bsp_internal("BPnn", bsp_leaf(0), std::nullopt, {0, 1});
  desc.degrade_id = 0x01000002;
  return desc;
}

TEST(GfxObjRoundTrip, WriterRecordReadsBackAndEveryPrefixFails) {
  const auto bytes = writer::encode_gfx_obj(full_spec());
  auto [obj, end] = parse(bytes);
  ASSERT_TRUE(obj) << obj.error().text();
  EXPECT_EQ(end, bytes.size());
  EXPECT_EQ(obj->vertex_array.vertices.size(), 3u);
  EXPECT_EQ(obj->vertex_array.uvs_of(obj->vertex_array.vertices.at(1))[0].v, 0.25f);
  EXPECT_EQ(obj->neg_uv_indices_of(obj->physics_polygons.at(0)).size(), 3u);
  const auto ids = obj->vertex_ids_of(obj->polygons.at(1));
  EXPECT_EQ(std::vector<uint16_t>(ids.begin(), ids.end()), (std::vector<uint16_t>{0, 1}));
  EXPECT_TRUE(obj->polygons.at(1).neg_uv_indices.empty());
  const auto& physics = obj->physics_bsp;
  EXPECT_EQ(physics.child(physics.root().internal()->neg_child)->leaf()->leaf_index, 2u);
  const auto tree_ids = obj->drawing_bsp.poly_ids_of(obj->drawing_bsp.root().internal()->poly_ids);
  EXPECT_EQ(std::vector<uint16_t>(tree_ids.begin(), tree_ids.end()), (std::vector<uint16_t>{0, 1}));
  EXPECT_EQ(obj->degrade_id, 0x01000002u);

  // Parsing into a record that held another object leaves nothing of the old one.
  GfxObj reused;
  Cursor first(bytes);
  ASSERT_TRUE(GfxObj::unpack_into(first, reused));
  const auto small = writer::encode_gfx_obj(writer::gfx_obj_from_positions(0x01000009, {}));
  Cursor second(small);
  ASSERT_TRUE(GfxObj::unpack_into(second, reused));
  auto [fresh, fresh_end] = parse(small);
  ASSERT_TRUE(fresh) << fresh.error().text();
  EXPECT_EQ(reused.id, 0x01000009u);
  EXPECT_TRUE(reused.vertex_array.vertices.empty());
  EXPECT_TRUE(reused.vertex_array.uvs.empty());
  EXPECT_TRUE(reused.polygons.empty());
  EXPECT_TRUE(reused.polygon_lists.vertex_ids.empty());
  EXPECT_TRUE(reused.physics_bsp.nodes.empty());
  EXPECT_TRUE(reused.drawing_bsp.nodes.empty());
  EXPECT_FALSE(reused.degrade_id);
  EXPECT_EQ(reused.surfaces, fresh->surfaces);

  for (size_t n = 0; n < bytes.size(); ++n) {
    auto [cut, cut_end] = parse(std::span(bytes).first(n));
    EXPECT_FALSE(cut) << "prefix " << n;
  }
}

TEST(GfxObjMaps, IterationOrderVariesBetweenParses) {
  std::vector<common::Vector3> positions;
  for (int i = 0; i < 50; ++i) positions.push_back({float(i), 0, 0});
  const auto bytes = writer::encode_gfx_obj(writer::gfx_obj_from_positions(0x01000003, positions));
  std::set<std::vector<uint16_t>> orders;
  for (int run = 0; run < 8; ++run) {
    auto [obj, end] = parse(bytes);
    ASSERT_TRUE(obj) << obj.error().text();
    std::vector<uint16_t> order;
    for (const auto& [id, vertex] : obj->vertex_array.vertices) order.push_back(id);
    ASSERT_EQ(order.size(), 50u);
    orders.insert(order);
  }
  EXPECT_GE(orders.size(), 2u);
}

}  // namespace
}  // namespace tallowmere::dat::file_type

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tallowmere/dat/physics.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/dat_writer/model_records.hpp"

namespace tallowmere::dat::physics {
namespace {
using common::Cursor;
using common::ParseResult;

using common::FailedCheck;
using common::LocatedFrame;
using writer::ByteWriter;

// Stored bytes of the tags used below (least significant byte first).
constexpr uint8_t kLeaf[] = {0x46, 0x41, 0x45, 0x4C};
constexpr uint8_t kPort[] = {0x54, 0x52, 0x4F, 0x50};
constexpr uint8_t kBPnn[] = {0x6E, 0x6E, 0x50, 0x42};
constexpr uint8_t kBpnN[] = {0x4E, 0x6E, 0x70, 0x42};

ByteWriter& plane(ByteWriter& w) {
  return w.f32(0).f32(0).f32(1).f32(-2);
}
ByteWriter& sphere(ByteWriter& w, float r = 3) {
  return w.f32(1).f32(2).f32(3).f32(r);
}

struct Parsed {
  ParseResult<BspTree> tree;
  uint64_t end;
};

Parsed parse(std::span<const uint8_t> bytes, BspTreeKind kind) {
  Cursor cursor(bytes);
  auto tree = BspTree::read(cursor, kind);
  return {std::move(tree), cursor.position()};
}

std::vector<uint16_t> ids(const BspTree& tree, common::Run run) {
  const auto span = tree.poly_ids_of(run);
  return {span.begin(), span.end()};
}

TEST(BspLeafLayout, SizeAndPartsDependOnKind) {
  ByteWriter drawing;
  drawing.bytes(kLeaf).u32(7);
  ASSERT_EQ(drawing.size(), 8u);
  for (auto kind : {BspTreeKind::Drawing, BspTreeKind::Cell}) {
    auto [node, end] = parse(drawing.view(), kind);
    ASSERT_TRUE(node) << node.error().text();
    ASSERT_NE(node->root().leaf(), nullptr);
    EXPECT_EQ(node->root().leaf()->leaf_index, 7u);
    EXPECT_FALSE(node->root().leaf()->bounding_sphere);
    EXPECT_EQ(end, 8u);
  }

  // Physics: tag, leaf_index, solid, sphere, count; 32 bytes without ids.
  ByteWriter physics;
  physics.bytes(kLeaf).u32(7).u32(1);
  sphere(physics).u32(0);
  ASSERT_EQ(physics.size(), 32u);
  auto [empty, empty_end] = parse(physics.view(), BspTreeKind::Physics);
  ASSERT_TRUE(empty) << empty.error().text();
  EXPECT_EQ(empty_end, 32u);
  EXPECT_EQ(empty->root().leaf()->solid, 1u);
  EXPECT_EQ(empty->root().leaf()->bounding_sphere->radius, 3.0f);

  ByteWriter with_ids;
  with_ids.bytes(kLeaf).u32(7).u32(0);
  sphere(with_ids).u32(2).u16(0x0102).u16(0x0304);
  auto [leaf, leaf_end] = parse(with_ids.view(), BspTreeKind::Physics);
  ASSERT_TRUE(leaf) << leaf.error().text();
  EXPECT_EQ(leaf_end, 36u);
  EXPECT_EQ(ids(*leaf, leaf->root().leaf()->poly_ids), (std::vector<uint16_t>{0x0102, 0x0304}));
}

TEST(BspInternalLayout, DrawingBPnnTreeIs48Bytes) {
  ByteWriter w;
  w.bytes(kBPnn);
  plane(w).bytes(kLeaf).u32(5);
  sphere(w).u32(0);
  ASSERT_EQ(w.size(), 48u);
  auto [node, end] = parse(w.view(), BspTreeKind::Drawing);
  ASSERT_TRUE(node) << node.error().text();
  EXPECT_EQ(end, 48u);
  const auto* internal = node->root().internal();
  ASSERT_NE(internal, nullptr);
  EXPECT_EQ(std::string(internal->node_type.data(), 4), "BPnn");
  EXPECT_EQ(internal->splitting_plane.d, -2.0f);
  ASSERT_NE(node->child(internal->pos_child), nullptr);
  EXPECT_EQ(node->child(internal->pos_child)->leaf()->leaf_index, 5u);
  EXPECT_EQ(node->child(internal->neg_child), nullptr);
  EXPECT_TRUE(internal->bounding_sphere);
  EXPECT_TRUE(internal->poly_ids.empty());
}

TEST(BspInternalLayout, PhysicsBpnNTreeIs68BytesWithoutPolygonCount) {
  ByteWriter w;
  w.bytes(kBpnN);
  plane(w).bytes(kLeaf).u32(9).u32(0);
  sphere(w).u32(0);
  sphere(w, 8);
  ASSERT_EQ(w.size(), 68u);
  w.u32(0xFFFFFFFF);  // a drawing tree would take this as a huge polygon count
  auto [node, end] = parse(w.view(), BspTreeKind::Physics);
  ASSERT_TRUE(node) << node.error().text();
  EXPECT_EQ(end, 68u);
  const auto* internal = node->root().internal();
  EXPECT_EQ(node->child(internal->pos_child), nullptr);
  ASSERT_NE(node->child(internal->neg_child), nullptr);
  EXPECT_EQ(node->child(internal->neg_child)->leaf()->leaf_index, 9u);
  EXPECT_EQ(internal->bounding_sphere->radius, 8.0f);
}

TEST(BspInternalLayout, ChildrenFollowTheSixTagsOnly) {
  struct Case {
    const char* tag;
    bool pos, neg;
  };
  const Case cases[] = {{"BPIN", true, true},   {"BPnN", true, true},   {"BPIn", true, false},
                        {"BPnn", true, false},  {"BpIN", false, true},  {"BpnN", false, true},
                        {"Bpnn", false, false}, {"BpIn", false, false}, {"bPIN", false, false},
                        {"BPxN", false, false}, {"ABCD", false, false}};
  for (const auto& c : cases) {
    // Cell tree: tag, plane, children, nothing else. Positive leaf 1, negative leaf 2.
    ByteWriter w;
    w.u32(writer::bsp_tag(c.tag));
    plane(w);
    if (c.pos) w.bytes(kLeaf).u32(1);
    if (c.neg) w.bytes(kLeaf).u32(2);
    const uint64_t size = w.size();
    w.bytes(kLeaf).u32(3);  // would be misread as a child by a wrong table
    auto [node, end] = parse(w.view(), BspTreeKind::Cell);
    ASSERT_TRUE(node) << c.tag << ": " << node.error().text();
    EXPECT_EQ(end, size) << c.tag;
    const auto* internal = node->root().internal();
    ASSERT_NE(internal, nullptr) << c.tag;
    EXPECT_EQ(std::string(internal->node_type.data(), 4), c.tag);
    EXPECT_FALSE(internal->bounding_sphere) << c.tag;
    ASSERT_EQ(node->child(internal->pos_child) != nullptr, c.pos) << c.tag;
    ASSERT_EQ(node->child(internal->neg_child) != nullptr, c.neg) << c.tag;
    if (c.pos) {
      EXPECT_EQ(node->child(internal->pos_child)->leaf()->leaf_index, 1u) << c.tag;
    }
    if (c.neg) {
      EXPECT_EQ(node->child(internal->neg_child)->leaf()->leaf_index, 2u) << c.tag;
    }
  }
}

TEST(BspPortalLayout, DrawingPortalHasCountsBeforeLists) {
  ByteWriter w;
  w.bytes(kPort);
  plane(w).bytes(kLeaf).u32(1).bytes(kLeaf).u32(2);
  sphere(w).u32(2).u32(1);    // polygon count, portal count
  w.u16(10).u16(11);          // polygon ids
  w.u16(0x0203).u16(0x0405);  // PortalPoly: portal_index, poly_id
  auto [node, end] = parse(w.view(), BspTreeKind::Drawing);
  ASSERT_TRUE(node) << node.error().text();
  EXPECT_EQ(end, w.size());
  const auto* portal = node->root().portal();
  ASSERT_NE(portal, nullptr);
  EXPECT_EQ(node->child(portal->pos_child)->leaf()->leaf_index, 1u);
  EXPECT_EQ(node->child(portal->neg_child)->leaf()->leaf_index, 2u);
  EXPECT_EQ(ids(*node, portal->poly_ids), (std::vector<uint16_t>{10, 11}));
  const auto portals = node->portals_of(portal->portals);
  ASSERT_EQ(portals.size(), 1u);
  EXPECT_EQ(portals[0].portal_index, 0x0203);
  EXPECT_EQ(portals[0].poly_id, 0x0405);

  // BspTree::read_portal starts after the tag.
  Cursor body(std::span(w.view()).subspan(4));
  auto direct = BspTree::read_portal(body, BspTreeKind::Drawing);
  ASSERT_TRUE(direct) << direct.error().text();
  EXPECT_EQ(body.position(), w.size() - 4);
  EXPECT_EQ(direct->nodes.size(), 3u);
  EXPECT_EQ(ids(*direct, direct->root().portal()->poly_ids), (std::vector<uint16_t>{10, 11}));
}

TEST(BspPortalLayout, PhysicsAndCellPortalsHoldPlaneAndSubtreesOnly) {
  ByteWriter physics;
  physics.bytes(kPort);
  plane(physics).bytes(kLeaf).u32(1).u32(0);
  sphere(physics).u32(0).bytes(kLeaf).u32(2).u32(0);
  sphere(physics).u32(0);
  const uint64_t physics_size = physics.size();
  physics.u32(0xFFFFFFFF);
  auto [p, p_end] = parse(physics.view(), BspTreeKind::Physics);
  ASSERT_TRUE(p) << p.error().text();
  EXPECT_EQ(p_end, physics_size);
  EXPECT_FALSE(p->root().portal()->bounding_sphere);

  ByteWriter cell;
  cell.bytes(kPort);
  plane(cell).bytes(kLeaf).u32(1).bytes(kLeaf).u32(2);
  auto [c, c_end] = parse(cell.view(), BspTreeKind::Cell);
  ASSERT_TRUE(c) << c.error().text();
  EXPECT_EQ(c_end, 4u + 16 + 8 + 8);
}

TEST(BspErrors, PortalPolyCutInsidePolyIdCarriesItsFrame) {
  ByteWriter w;
  w.bytes(kPort);
  plane(w).bytes(kLeaf).u32(1).bytes(kLeaf).u32(2);
  sphere(w).u32(0).u32(1).u16(7).u8(0);  // one PortalPoly, one byte of its poly_id
  auto [node, end] = parse(w.view(), BspTreeKind::Drawing);
  ASSERT_FALSE(node);
  const auto& error = node.error();
  ASSERT_NE(error.io(), nullptr);
  EXPECT_EQ(error.io()->message, "failed to fill whole buffer");
  ASSERT_EQ(error.frames().size(), 1u);
  const auto& frame = std::get<LocatedFrame>(error.frames()[0]);
  EXPECT_EQ(frame.message, "While parsing field 'poly_id' in PortalPoly");
  EXPECT_EQ(std::string(frame.location.file), "crates/tallowmere-dat/src/physics.cpp");
}

TEST(BspErrors, EveryPrefixOfATreeFails) {
  using writer::bsp_internal;
  using writer::bsp_leaf;
  using writer::bsp_portal;
  for (auto kind : {BspTreeKind::Drawing, BspTreeKind::Physics, BspTreeKind::Cell}) {
    auto tree =
        bsp_internal("BPIN", bsp_portal(bsp_leaf(1, {4}), bsp_leaf(2), {5, 6}, {PortalPoly{1, 2}}),
                     bsp_internal("BpIN", std::nullopt, bsp_leaf(3, {7, 8})), {9});
    ByteWriter w;
    writer::encode_bsp(w, tree, kind);
    auto [whole, end] = parse(w.view(), kind);
    ASSERT_TRUE(whole) << whole.error().text();
    EXPECT_EQ(end, w.size());
    for (size_t n = 0; n < w.size(); ++n) {
      auto [cut, cut_end] = parse(std::span(w.view()).first(n), kind);
      EXPECT_FALSE(cut) << "kind " << int(kind) << " prefix " << n;
    }
  }
}

TEST(BspRoundTrip, WriterTreesReadBackPerKind) {
  using writer::bsp_internal;
  using writer::bsp_leaf;
  using writer::bsp_portal;
  auto tree = bsp_internal("BPIN", bsp_portal(bsp_leaf(1, {4}), bsp_leaf(2), {5}, {{1, 2}}),
                           bsp_leaf(3, {7, 8}), {9, 10});
  ByteWriter drawing, physics;
  writer::encode_bsp(drawing, tree, BspTreeKind::Drawing);
  writer::encode_bsp(physics, tree, BspTreeKind::Physics);

  auto [d, d_end] = parse(drawing.view(), BspTreeKind::Drawing);
  ASSERT_TRUE(d) << d.error().text();
  EXPECT_EQ(ids(*d, d->root().internal()->poly_ids), (std::vector<uint16_t>{9, 10}));
  const auto* portal = d->child(d->root().internal()->pos_child)->portal();
  ASSERT_NE(portal, nullptr);
  EXPECT_EQ(ids(*d, portal->poly_ids), (std::vector<uint16_t>{5}));
  // ids of leaves are Physics only
  EXPECT_TRUE(d->child(portal->pos_child)->leaf()->poly_ids.empty());
  // Nodes depth first in payload order, every list in one pool.
  EXPECT_EQ(d->nodes.size(), 5u);
  EXPECT_EQ(d->poly_ids, (std::vector<uint16_t>{5, 9, 10}));

  auto [p, p_end] = parse(physics.view(), BspTreeKind::Physics);
  ASSERT_TRUE(p) << p.error().text();
  EXPECT_TRUE(p->root().internal()->poly_ids.empty());
  EXPECT_EQ(ids(*p, p->child(p->root().internal()->neg_child)->leaf()->poly_ids),
            (std::vector<uint16_t>{7, 8}));
  EXPECT_TRUE(p->child(p->root().internal()->pos_child)->portal()->portals.empty());

  // A parsed tree encodes to the same bytes again.
  ByteWriter again;
  writer::encode_bsp(again, writer::bsp_spec(*d), BspTreeKind::Drawing);
  EXPECT_EQ(again.take(), drawing.take());
}

// Internal nodes "BPIn" (positive child only) nested `levels` deep in a Cell tree.
std::vector<uint8_t> nested_cell_tree(size_t levels, bool close_with_leaf) {
  ByteWriter node;
  plane(node.u32(writer::bsp_tag("BPIn")));
  std::vector<uint8_t> bytes;
  bytes.reserve(levels * node.size() + 8);
  for (size_t i = 0; i < levels; ++i)
    bytes.insert(bytes.end(), node.view().begin(), node.view().end());
  if (close_with_leaf) bytes.insert(bytes.end(), {0x46, 0x41, 0x45, 0x4C, 0, 0, 0, 0});
  return bytes;
}

TEST(BspDepth, TreesDeeperThanTheLimitFailCleanly) {
  // 2047 internal levels and a leaf: exactly the limit, read and destroyed normally.
  {
    auto bytes = nested_cell_tree(BspLimits::kMaxDepth - 1, true);
    auto [node, end] = parse(bytes, BspTreeKind::Cell);
    ASSERT_TRUE(node) << node.error().text();
    EXPECT_EQ(end, bytes.size());
  }

  // A million nested nodes: the node at level 2049 fails, at its tag's position.
  auto bytes = nested_cell_tree(1'000'000, false);
  auto [node, end] = parse(bytes, BspTreeKind::Cell);
  ASSERT_FALSE(node);
  const auto* check = std::get_if<FailedCheck>(&node.error().root());
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->position, 2048u * 20);
  EXPECT_EQ(node.error().text(), "BSP tree deeper than 2048 levels at 0xa000");
  EXPECT_TRUE(node.error().frames().empty());

  // Portals count as levels as well.
  ByteWriter portals;
  for (int i = 0; i < 3000; ++i) plane(portals.bytes(kPort));
  auto [deep_portal, portal_end] = parse(portals.view(), BspTreeKind::Drawing);
  ASSERT_FALSE(deep_portal);
  EXPECT_EQ(deep_portal.error().text(), "BSP tree deeper than 2048 levels at 0xa000");
}

}  // namespace
}  // namespace tallowmere::dat::physics

#include "tallowmere/dat/physics.hpp"

#include <string>

#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::physics {

using common::FailedCheck;
using common::ParseError;
using common::Plane;
using common::read_u16;
using common::read_u32;
using common::Record;
using common::Sphere;

namespace {

// The children a tag gives an internal node.
struct Children {
  bool pos = false;
  bool neg = false;
};

Children children_of(uint32_t tag) {
  switch (tag) {
    case 0x4250494E:  // BPIN
    case 0x42506E4E:  // BPnN
      return {true, true};
    case 0x4250496E:  // BPIn
    case 0x42506E6E:  // BPnn
      return {true, false};
    case 0x4270494E:  // BpIN
    case 0x42706E4E:  // BpnN
      return {false, true};
    default:
      return {};
  }
}

// Appends `count` u16 polygon ids, one at a time, so that a damaged count costs no
// more memory than the ids actually present.
ParseResult<void> read_ids(Cursor& cursor, uint32_t count, std::vector<uint16_t>& out) {
  for (uint32_t i = 0; i < count; ++i) {
    auto id = read_u16(cursor);
    if (!id) return make_unexpected(std::move(id).error());
    out.push_back(*id);
  }
  return {};
}

// A u32 count followed by that many u16 ids.
ParseResult<void> read_counted_ids(Cursor& cursor, std::vector<uint16_t>& out) {
  auto count = read_u32(cursor);
  if (!count) return make_unexpected(std::move(count).error());
  return read_ids(cursor, *count, out);
}

ParseResult<BspNode> read_node(Cursor& cursor, BspTreeKind kind, uint32_t depth);

// Reads a child subtree into `slot`.
ParseResult<void> read_child(Cursor& cursor, BspTreeKind kind, uint32_t depth,
                             std::unique_ptr<BspNode>& slot) {
  auto child = read_node(cursor, kind, depth);
  if (!child) return make_unexpected(std::move(child).error());
  slot = std::make_unique<BspNode>(std::move(*child));
  return {};
}

ParseResult<BspLeaf> read_leaf(Cursor& cursor, BspTreeKind kind) {
  BspLeaf leaf;
  auto index = read_u32(cursor);
  if (!index) return make_unexpected(std::move(index).error());
  leaf.leaf_index = *index;
  if (kind != BspTreeKind::Physics) return leaf;

  auto solid = read_u32(cursor);
  if (!solid) return make_unexpected(std::move(solid).error());
  leaf.solid = *solid;
  auto sphere = Sphere::read(cursor);
  if (!sphere) return make_unexpected(std::move(sphere).error());
  leaf.bounding_sphere = *sphere;
  auto ids = read_counted_ids(cursor, leaf.poly_ids);
  if (!ids) return make_unexpected(std::move(ids).error());
  return leaf;
}

// The body of a portal node whose tag sits at `depth`.
ParseResult<BspPortal> read_portal(Cursor& cursor, BspTreeKind kind, uint32_t depth) {
  BspPortal portal;
  auto plane = Plane::read(cursor);
  if (!plane) return make_unexpected(std::move(plane).error());
  portal.splitting_plane = *plane;
  for (auto* slot : {&portal.pos_child, &portal.neg_child}) {
    auto child = read_child(cursor, kind, depth + 1, *slot);
    if (!child) return make_unexpected(std::move(child).error());
  }
  if (kind != BspTreeKind::Drawing) return portal;

  auto sphere = Sphere::read(cursor);
  if (!sphere) return make_unexpected(std::move(sphere).error());
  portal.bounding_sphere = *sphere;
  // Both counts come before both lists.
  auto poly_count = read_u32(cursor);
  if (!poly_count) return make_unexpected(std::move(poly_count).error());
  auto portal_count = read_u32(cursor);
  if (!portal_count) return make_unexpected(std::move(portal_count).error());
  auto ids = read_ids(cursor, *poly_count, portal.poly_ids);
  if (!ids) return make_unexpected(std::move(ids).error());
  for (uint32_t i = 0; i < *portal_count; ++i) {
    auto poly = PortalPoly::read(cursor);
    if (!poly) return make_unexpected(std::move(poly).error());
    portal.portals.push_back(*poly);
  }
  return portal;
}

ParseResult<InternalNode> read_internal(Cursor& cursor, BspTreeKind kind, uint32_t depth,
                                        uint32_t tag) {
  InternalNode node;
  node.node_type = {static_cast<char>(tag >> 24), static_cast<char>(tag >> 16),
                    static_cast<char>(tag >> 8), static_cast<char>(tag)};
  auto plane = Plane::read(cursor);
  if (!plane) return make_unexpected(std::move(plane).error());
  node.splitting_plane = *plane;

  const Children children = children_of(tag);
  if (children.pos) {
    auto child = read_child(cursor, kind, depth + 1, node.pos_child);
    if (!child) return make_unexpected(std::move(child).error());
  }
  if (children.neg) {
    auto child = read_child(cursor, kind, depth + 1, node.neg_child);
    if (!child) return make_unexpected(std::move(child).error());
  }
  if (kind == BspTreeKind::Cell) return node;

  auto sphere = Sphere::read(cursor);
  if (!sphere) return make_unexpected(std::move(sphere).error());
  node.bounding_sphere = *sphere;
  if (kind == BspTreeKind::Drawing) {
    auto ids = read_counted_ids(cursor, node.poly_ids);
    if (!ids) return make_unexpected(std::move(ids).error());
  }
  return node;
}

// Reads the node whose tag starts at the cursor; `depth` counts the root as 1.
ParseResult<BspNode> read_node(Cursor& cursor, BspTreeKind kind, uint32_t depth) {
  if (depth > BspLimits::kMaxDepth) {
    return make_unexpected(ParseError(
        FailedCheck{"BSP tree deeper than " + std::to_string(BspLimits::kMaxDepth) + " levels",
                    cursor.position()}));
  }
  auto tag = read_u32(cursor);
  if (!tag) return make_unexpected(std::move(tag).error());

  if (*tag == kTagLeaf) {
    auto leaf = read_leaf(cursor, kind);
    if (!leaf) return make_unexpected(std::move(leaf).error());
    return BspNode{std::move(*leaf)};
  }
  if (*tag == kTagPortal) {
    auto portal = read_portal(cursor, kind, depth);
    if (!portal) return make_unexpected(std::move(portal).error());
    return BspNode{std::move(*portal)};
  }
  auto internal = read_internal(cursor, kind, depth, *tag);
  if (!internal) return make_unexpected(std::move(internal).error());
  return BspNode{std::move(*internal)};
}

}  // namespace

ParseResult<PortalPoly> PortalPoly::read(Cursor& cursor) {
  PortalPoly poly;
  Record rec(cursor, "PortalPoly");
  rec.field("portal_index", TALLOWMERE_HERE, poly.portal_index, read_u16);
  rec.field("poly_id", TALLOWMERE_HERE, poly.poly_id, read_u16);
  return rec.finish(poly);
}

ParseResult<BspPortal> BspPortal::read(Cursor& cursor, BspTreeKind kind) {
  return read_portal(cursor, kind, 1);
}

ParseResult<BspNode> BspNode::read(Cursor& cursor, BspTreeKind kind) {
  return read_node(cursor, kind, 1);
}

}  // namespace tallowmere::dat::physics

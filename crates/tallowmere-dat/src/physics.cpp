#include "tallowmere/dat/physics.hpp"

#include <optional>
#include <string>
#include <utility>

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

// What follows the subtrees of a portal node.
ParseResult<void> read_portal_tail(Cursor& cursor, BspTreeKind kind, BspPortal& portal) {
  if (kind != BspTreeKind::Drawing) return {};
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
  return {};
}

// What follows the subtrees of an internal node.
ParseResult<void> read_internal_tail(Cursor& cursor, BspTreeKind kind, InternalNode& node) {
  if (kind == BspTreeKind::Cell) return {};
  auto sphere = Sphere::read(cursor);
  if (!sphere) return make_unexpected(std::move(sphere).error());
  node.bounding_sphere = *sphere;
  if (kind != BspTreeKind::Drawing) return {};
  return read_counted_ids(cursor, node.poly_ids);
}

// A node whose subtrees are still being read, and the subtrees its tag calls for.
struct OpenNode {
  BspNode node;  // an InternalNode or a BspPortal
  Children children;
};

// The slot of the next subtree `open` expects, or null once all have been read.
// Subtrees fill their slots in order, positive first, and are never null once read.
std::unique_ptr<BspNode>* next_child_slot(OpenNode& open) {
  std::unique_ptr<BspNode>* pos;
  std::unique_ptr<BspNode>* neg;
  if (auto* internal = std::get_if<InternalNode>(&open.node.value)) {
    pos = &internal->pos_child;
    neg = &internal->neg_child;
  } else {
    auto& portal = std::get<BspPortal>(open.node.value);
    pos = &portal.pos_child;
    neg = &portal.neg_child;
  }
  if (open.children.pos && !*pos) return pos;
  if (open.children.neg && !*neg) return neg;
  return nullptr;
}

// Reads the start of the node at the cursor: a whole leaf (no children), or the tag
// and plane of a portal or internal node, which stays open for its subtrees.
ParseResult<OpenNode> read_node_head(Cursor& cursor, BspTreeKind kind) {
  auto tag = read_u32(cursor);
  if (!tag) return make_unexpected(std::move(tag).error());
  if (*tag == kTagLeaf) {
    auto leaf = read_leaf(cursor, kind);
    if (!leaf) return make_unexpected(std::move(leaf).error());
    return OpenNode{BspNode{std::move(*leaf)}, {}};
  }
  auto plane = Plane::read(cursor);
  if (!plane) return make_unexpected(std::move(plane).error());
  if (*tag == kTagPortal) {
    BspPortal portal;
    portal.splitting_plane = *plane;
    return OpenNode{BspNode{std::move(portal)}, {true, true}};
  }
  InternalNode node;
  node.node_type = {static_cast<char>(*tag >> 24), static_cast<char>(*tag >> 16),
                    static_cast<char>(*tag >> 8), static_cast<char>(*tag)};
  node.splitting_plane = *plane;
  return OpenNode{BspNode{std::move(node)}, children_of(*tag)};
}

// Reads depth first, in payload order, until the outermost node of `open` (or, with
// `open` empty, the node at the cursor) is complete. Open nodes are kept on the heap
// rather than on the call stack, so the stack does not grow with the tree's depth.
ParseResult<BspNode> read_tree(Cursor& cursor, BspTreeKind kind, std::vector<OpenNode> open) {
  for (;;) {
    std::optional<BspNode> done;
    if (open.empty() || next_child_slot(open.back()) != nullptr) {
      // The next node starts here, one level below the innermost open node.
      if (open.size() >= BspLimits::kMaxDepth) {
        return make_unexpected(ParseError(
            FailedCheck{"BSP tree deeper than " + std::to_string(BspLimits::kMaxDepth) + " levels",
                        cursor.position()}));
      }
      auto head = read_node_head(cursor, kind);
      if (!head) return make_unexpected(std::move(head).error());
      if (head->node.leaf() == nullptr) {
        open.push_back(std::move(*head));
        continue;
      }
      done = std::move(head->node);
    } else {
      // All subtrees of the innermost open node are in: its tail follows.
      BspNode& node = open.back().node;
      auto tail = std::holds_alternative<BspPortal>(node.value)
                      ? read_portal_tail(cursor, kind, std::get<BspPortal>(node.value))
                      : read_internal_tail(cursor, kind, std::get<InternalNode>(node.value));
      if (!tail) return make_unexpected(std::move(tail).error());
      done = std::move(node);
      open.pop_back();
    }
    if (open.empty()) return std::move(*done);
    *next_child_slot(open.back()) = std::make_unique<BspNode>(std::move(*done));
  }
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
  auto plane = Plane::read(cursor);
  if (!plane) return make_unexpected(std::move(plane).error());
  BspPortal portal;
  portal.splitting_plane = *plane;
  std::vector<OpenNode> open;
  open.push_back(OpenNode{BspNode{std::move(portal)}, {true, true}});
  auto node = read_tree(cursor, kind, std::move(open));
  if (!node) return make_unexpected(std::move(node).error());
  return std::move(std::get<BspPortal>(node->value));
}

ParseResult<BspNode> BspNode::read(Cursor& cursor, BspTreeKind kind) {
  return read_tree(cursor, kind, {});
}

}  // namespace tallowmere::dat::physics

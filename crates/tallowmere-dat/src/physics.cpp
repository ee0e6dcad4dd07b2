// BSP trees. Nodes are hand-written records: their reads add no frames, and errors of
// the planes, spheres and portal polygons inside them pass through unchanged. PortalPoly
// is declarative.
#include "tallowmere/dat/physics.hpp"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::physics {

using common::Counted;
using common::CountU32;

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

uint32_t tag_of(const std::array<char, 4>& chars) {
  return uint32_t{static_cast<uint8_t>(chars[0])} << 24 |
         uint32_t{static_cast<uint8_t>(chars[1])} << 16 |
         uint32_t{static_cast<uint8_t>(chars[2])} << 8 | static_cast<uint8_t>(chars[3]);
}

uint32_t tag_of(const BspNode& node) {
  if (node.leaf() != nullptr) return kTagLeaf;
  if (node.portal() != nullptr) return kTagPortal;
  return tag_of(node.internal()->node_type);
}

// An empty node of the kind its tag names; an internal node keeps the tag's characters.
BspNode node_for_tag(uint32_t tag) {
  if (tag == kTagLeaf) return BspNode{BspLeaf{}};
  if (tag == kTagPortal) return BspNode{BspPortal{}};
  InternalNode node;
  node.node_type = {static_cast<char>(tag >> 24), static_cast<char>(tag >> 16),
                    static_cast<char>(tag >> 8), static_cast<char>(tag)};
  return BspNode{std::move(node)};
}

template <class Node>
auto& child_slot(Node& node, bool positive) {
  if (auto* portal = std::get_if<BspPortal>(&node.value)) {
    return positive ? portal->pos_child : portal->neg_child;
  }
  auto& internal = std::get<InternalNode>(node.value);
  return positive ? internal.pos_child : internal.neg_child;
}

// Whether a node read so far stores the subtree: a portal always, an internal node as
// its tag says.
bool stores_child(const BspNode& node, bool positive) {
  if (node.portal() != nullptr) return true;
  const Children children = children_of(tag_of(node.internal()->node_type));
  return positive ? children.pos : children.neg;
}

// The tag (not stored for a portal body read after its tag) and what comes before the
// subtrees: a whole leaf, or the splitting plane.
template <class A, class Tree, class Node>
void describe_head(A& a, Tree& tree, Node& node, BspTreeKind kind, bool with_tag) {
  if (with_tag) {
    uint32_t tag = A::kReading ? 0 : tag_of(node);
    a.field("tag", tag);
    if constexpr (A::kReading) {
      if (!a.ok()) return;
      node = node_for_tag(tag);
    }
  }
  if (auto* leaf = std::get_if<BspLeaf>(&node.value)) {
    a.field("leaf_index", leaf->leaf_index);
    if (kind == BspTreeKind::Physics) {
      a.field("solid", leaf->solid);
      a.optional("bounding_sphere", leaf->bounding_sphere, true);
      a.list("poly_ids", leaf->poly_ids, CountU32{}, common::InPool{tree.poly_ids});
    } else {
      a.absent("solid");
      a.absent("bounding_sphere");
      a.absent("poly_ids");
    }
  } else if (auto* portal = std::get_if<BspPortal>(&node.value)) {
    a.field("splitting_plane", portal->splitting_plane);
  } else {
    a.field("splitting_plane", std::get<InternalNode>(node.value).splitting_plane);
  }
}

// What follows the subtrees of a portal or internal node.
template <class A, class Tree, class Node>
void describe_tail(A& a, Tree& tree, Node& node, BspTreeKind kind) {
  if (auto* portal = std::get_if<BspPortal>(&node.value)) {
    if (kind != BspTreeKind::Drawing) {
      a.absent("bounding_sphere");
      a.absent("poly_ids");
      a.absent("portals");
      return;
    }
    // Both counts come before both lists.
    auto num_poly_ids = common::count_of<uint32_t>(a, portal->poly_ids);
    auto num_portals = common::count_of<uint32_t>(a, portal->portals);
    a.optional("bounding_sphere", portal->bounding_sphere, true);
    a.field("num_poly_ids", num_poly_ids);
    a.field("num_portals", num_portals);
    a.list("poly_ids", portal->poly_ids, Counted{num_poly_ids}, common::InPool{tree.poly_ids});
    a.list("portals", portal->portals, Counted{num_portals}, common::InPool{tree.portals});
    return;
  }
  auto& internal = std::get<InternalNode>(node.value);
  if (kind != BspTreeKind::Cell) {
    a.optional("bounding_sphere", internal.bounding_sphere, true);
  } else {
    a.absent("bounding_sphere");
  }
  if (kind == BspTreeKind::Drawing) {
    a.list("poly_ids", internal.poly_ids, CountU32{}, common::InPool{tree.poly_ids});
  } else {
    a.absent("poly_ids");
  }
}

// Depth first in payload order: head, positive subtree, negative subtree, tail, from the
// root at nodes[0]. Open nodes sit on a heap stack, so the call stack does not grow with
// the depth; a node below kMaxDepth open levels fails at its tag's position.
template <class A, class Tree>
void describe_tree(A& a, Tree& tree, BspTreeKind kind, bool root_tag) {
  struct Open {
    uint32_t at;
    int step;
  };
  std::vector<Open> open;
  open.reserve(32);
  open.push_back({0, 0});
  auto close = [&] {
    open.pop_back();
    if (!open.empty()) a.close_record();
  };
  a.hand_written("BspNode");
  while (a.ok() && !open.empty()) {
    const uint32_t at = open.back().at;
    const int step = open.back().step++;
    if (step == 0) {
      describe_head(a, tree, tree.nodes[at], kind, root_tag || open.size() > 1);
      if (std::holds_alternative<BspLeaf>(tree.nodes[at].value)) close();
    } else if (step <= 2) {
      const bool positive = step == 1;
      const char* name = positive ? "pos_child" : "neg_child";
      const bool present = A::kReading ? stores_child(tree.nodes[at], positive)
                                       : child_slot(tree.nodes[at], positive) != kNoChild;
      if (!present) {
        a.absent(name);
        continue;
      }
      a.check(open.size() < BspLimits::kMaxDepth, [] {
        return "BSP tree deeper than " + std::to_string(BspLimits::kMaxDepth) + " levels";
      });
      if (!a.ok()) break;
      uint32_t child = child_slot(tree.nodes[at], positive);
      if constexpr (A::kReading) {  // the child goes to the end of the tree
        child = child_slot(tree.nodes[at], positive) = static_cast<uint32_t>(tree.nodes.size());
        tree.nodes.emplace_back();
      }
      a.open_record(name);
      a.hand_written("BspNode");
      open.push_back({child, 0});
    } else {
      describe_tail(a, tree, tree.nodes[at], kind);
      close();
    }
  }
}

}  // namespace

template <class A, class Self>
void PortalPoly::describe(A& a, Self& poly) {
  a.declarative("PortalPoly");
  a.field("portal_index", poly.portal_index);
  a.field("poly_id", poly.poly_id);
}

// Empties the tree and puts an empty root in place, keeping the arrays' capacity.
static void reset(BspTree& tree) {
  tree.nodes.clear();
  tree.poly_ids.clear();
  tree.portals.clear();
  tree.nodes.emplace_back();
}

template <class A, class Self>
void BspTree::describe(A& a, Self& tree, BspTreeKind kind) {
  if constexpr (A::kReading) reset(tree);
  describe_tree(a, tree, kind, true);
}

TALLOWMERE_DESCRIBED(PortalPoly);
template void BspTree::describe(common::Reader&, BspTree&, BspTreeKind);
template void BspTree::describe(common::Visitor&, const BspTree&, BspTreeKind);

common::ParseResult<BspTree> BspTree::read_portal(common::Cursor& cursor, BspTreeKind kind) {
  return common::read_record<BspTree>(cursor, [kind](common::Reader& a, BspTree& tree) {
    reset(tree);
    tree.nodes.front().value = BspPortal{};
    describe_tree(a, tree, kind, false);
  });
}

std::optional<uint64_t> BspTree::stored_size(std::span<const uint8_t> bytes, BspTreeKind kind) {
  // Work still to do, innermost last: a node to read at a depth (the root is at 1), or
  // the tail of an open node, which follows its subtrees. Each open level holds at most
  // its tail and its pending negative subtree, and a node at the deepest level allowed
  // pushes three items, so the stack never holds more than 2 * kMaxDepth + 1.
  enum : uint32_t { kNode = 0, kPortalTail = 1, kInternalTail = 2 };
  std::array<uint32_t, 2 * BspLimits::kMaxDepth + 2> todo;
  size_t open = 0;
  todo[open++] = 1u << 2 | kNode;

  const uint8_t* at = bytes.data();
  const uint8_t* const end = at + bytes.size();
  const auto has = [&](uint64_t n) { return n <= static_cast<uint64_t>(end - at); };
  constexpr uint64_t kPlane = 16;
  constexpr uint64_t kSphere = 16;

  while (open != 0) {
    const uint32_t item = todo[--open];
    switch (item & 3) {
      case kNode: {
        const uint32_t depth = item >> 2;
        if (depth > BspLimits::kMaxDepth || !has(4)) return std::nullopt;
        const uint32_t tag = common::load_le<uint32_t>(at);
        at += 4;
        if (tag == kTagLeaf) {
          if (kind != BspTreeKind::Physics) {
            if (!has(4)) return std::nullopt;
            at += 4;  // leaf_index
            break;
          }
          // leaf_index, solid, sphere, count, then the ids.
          if (!has(8 + kSphere + 4)) return std::nullopt;
          const uint64_t ids = common::load_le<uint32_t>(at + 8 + kSphere);
          at += 8 + kSphere + 4;
          if (!has(2 * ids)) return std::nullopt;
          at += 2 * ids;
          break;
        }
        if (!has(kPlane)) return std::nullopt;
        at += kPlane;
        Children children{true, true};
        if (tag == kTagPortal) {
          if (kind == BspTreeKind::Drawing) todo[open++] = kPortalTail;
        } else {
          children = children_of(tag);
          if (kind != BspTreeKind::Cell) todo[open++] = kInternalTail;
        }
        const uint32_t below = (depth + 1) << 2 | kNode;
        if (children.neg) todo[open++] = below;
        if (children.pos) todo[open++] = below;
        break;
      }
      case kPortalTail: {
        // Sphere, polygon count, portal count, then both lists.
        if (!has(kSphere + 8)) return std::nullopt;
        const uint64_t ids = common::load_le<uint32_t>(at + kSphere);
        const uint64_t portals = common::load_le<uint32_t>(at + kSphere + 4);
        at += kSphere + 8;
        if (!has(2 * ids + PortalPoly::kStoredSize * portals)) return std::nullopt;
        at += 2 * ids + PortalPoly::kStoredSize * portals;
        break;
      }
      default: {  // kInternalTail: the sphere, and in a drawing tree the polygon ids
        if (!has(kSphere)) return std::nullopt;
        at += kSphere;
        if (kind != BspTreeKind::Drawing) break;
        if (!has(4)) return std::nullopt;
        const uint64_t ids = common::load_le<uint32_t>(at);
        at += 4;
        if (!has(2 * ids)) return std::nullopt;
        at += 2 * ids;
        break;
      }
    }
  }
  return static_cast<uint64_t>(at - bytes.data());
}

common::ParseResult<BspTree> BspTree::read(common::Cursor& cursor, BspTreeKind kind) {
  return common::read_record<BspTree>(
      cursor, [kind](common::Reader& a, BspTree& tree) { describe(a, tree, kind); });
}

}  // namespace tallowmere::dat::physics

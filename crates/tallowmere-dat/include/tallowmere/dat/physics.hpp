// BSP trees of graphics objects.
//
// Every node starts with a u32 tag: four ASCII characters read as a multi-character
// constant, first character in the most significant byte, so the payload holds them in
// reverse ("LEAF" = 0x4C454146 is stored 46 41 45 4C). The tree kind is not stored;
// the caller passes it in and it decides which optional parts each node carries:
//
//   node      Drawing                          Physics                   Cell
//   LEAF      leaf_index                       leaf_index, solid,        leaf_index
//                                              sphere, u32 count, ids
//   PORT      plane, pos, neg, sphere,         plane, pos, neg           plane, pos, neg
//             u32 poly count, u32 portal
//             count, poly ids, PortalPolys
//   other     plane, children by tag, sphere,  plane, children by tag,   plane, children
//             u32 count, ids                   sphere                    by tag
//
// Only BPIN, BPnN (both children), BPIn, BPnn (positive only), BpIN, BpnN (negative
// only) have children; the positive subtree is stored first. Any other tag is an
// internal node without children. Polygon ids are u16; every list grows as its
// elements arrive and is never sized from its count in advance.
//
// A parsed tree is flat (BspTree): its nodes, polygon ids and portal polygons sit in one
// array each, however many nodes it has.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "tallowmere/common/math.hpp"
#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::physics {

enum class BspTreeKind : uint8_t { Drawing = 0, Physics = 1, Cell = 2 };

// Limits on untrusted tree structure. The format sets no depth bound. Neither reading,
// visiting nor encoding a tree grows the call stack with its depth by more than one call
// per level; real trees are a few dozen levels deep.
struct BspLimits {
  static constexpr uint32_t kMaxDepth = 2048;
};

inline constexpr uint32_t kTagLeaf = 0x4C454146;    // "LEAF"
inline constexpr uint32_t kTagPortal = 0x504F5254;  // "PORT"

// A child reference: the child's position in its tree's `nodes`. The root (position 0)
// is nobody's child, so 0 stands for "no child".
inline constexpr uint32_t kNoChild = 0;

struct InternalNode {
  std::array<char, 4> node_type{};  // the tag's characters in reading order
  common::Plane splitting_plane;
  uint32_t pos_child = kNoChild;
  uint32_t neg_child = kNoChild;
  std::optional<common::Sphere> bounding_sphere;  // absent in Cell trees
  common::Run poly_ids;                           // Drawing trees only
};

struct BspLeaf {
  uint32_t leaf_index = 0;
  uint32_t solid = 0;                             // Physics trees only
  std::optional<common::Sphere> bounding_sphere;  // Physics trees only
  common::Run poly_ids;                           // Physics trees only
};

// Declarative record, 4 bytes: portal_index u16, poly_id u16.
struct PortalPoly {
  static constexpr uint64_t kStoredSize = 4;
  uint16_t portal_index = 0;
  uint16_t poly_id = 0;
  [[nodiscard]] static common::ParseResult<PortalPoly> read(common::Cursor& cursor) {
    return common::read_record<PortalPoly>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
  friend bool operator==(const PortalPoly&, const PortalPoly&) = default;
};

struct BspPortal {
  common::Plane splitting_plane;
  uint32_t pos_child = kNoChild;                  // never kNoChild in a parsed portal
  uint32_t neg_child = kNoChild;                  // never kNoChild in a parsed portal
  std::optional<common::Sphere> bounding_sphere;  // Drawing trees only
  common::Run poly_ids;                           // Drawing trees only
  common::Run portals;                            // Drawing trees only
};

struct BspNode {
  std::variant<InternalNode, BspLeaf, BspPortal> value;

  const InternalNode* internal() const { return std::get_if<InternalNode>(&value); }
  const BspLeaf* leaf() const { return std::get_if<BspLeaf>(&value); }
  const BspPortal* portal() const { return std::get_if<BspPortal>(&value); }
};

// A whole tree in three flat arrays: the nodes depth first in payload order (the root
// first, every node before its subtrees), the polygon ids of every node and the portal
// polygons of every portal node. Nodes refer to their children and lists by position.
struct BspTree {
  std::vector<BspNode> nodes;
  std::vector<uint16_t> poly_ids;
  std::vector<PortalPoly> portals;

  [[nodiscard]] const BspNode& root() const { return nodes.front(); }
  // The node at `position`, or nullptr for kNoChild.
  [[nodiscard]] const BspNode* child(uint32_t position) const {
    return position == kNoChild ? nullptr : &nodes[position];
  }
  [[nodiscard]] std::span<const uint16_t> poly_ids_of(const common::Run& run) const {
    return run.in(poly_ids);
  }
  [[nodiscard]] std::span<const PortalPoly> portals_of(const common::Run& run) const {
    return run.in(portals);
  }

  // Reads one node and its whole subtree, every child with the same kind. Fails with
  // the error of the first failing read (end of data, a Plane or Sphere error, a
  // PortalPoly error), or with the failed check "BSP tree deeper than 2048 levels" at
  // the position of the first node below that depth.
  [[nodiscard]] static common::ParseResult<BspTree> read(common::Cursor& cursor, BspTreeKind kind);
  // Reads the body of a portal node (everything after its tag), subtrees included; the
  // portal is the root of the tree returned.
  [[nodiscard]] static common::ParseResult<BspTree> read_portal(common::Cursor& cursor,
                                                                BspTreeKind kind);

  // The number of bytes the tree at the start of `bytes` occupies, or nothing when read
  // would fail on the same bytes (end of data anywhere, a node below kMaxDepth levels).
  // Builds nothing: each node's fixed part is checked once and stepped over.
  [[nodiscard]] static std::optional<uint64_t> stored_size(std::span<const uint8_t> bytes,
                                                           BspTreeKind kind);

  // The tree depth first in payload order, for the reader and the visitor (see
  // common/record.hpp), which see each node as a nested BspNode record. Open nodes are
  // kept on the heap, not the call stack.
  template <class A, class Self>
  static void describe(A& a, Self& self, BspTreeKind kind);
};

}  // namespace tallowmere::dat::physics

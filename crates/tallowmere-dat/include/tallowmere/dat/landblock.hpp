// Landblock records of the cell archive.
//
// CellLandblock (file xxyyFFFF), 252 bytes: id u32, has_objects u32, terrain 81 x u16,
// height 81 x u8, one pad byte (may be missing). Entry i belongs to vertex
// (i / 9, i % 9). A terrain word holds exclusion bits (0-1), terrain type (2-6) and
// scene index (11-15).
//
// LandblockInfo (file xxyyFFFE): id u32, num_cells u32, num_objects u32, that many Stab,
// num_buildings u16, pack_mask u16, that many BuildInfo, then a RestrictionTable when
// pack_mask & 1. Every record here is declarative; each describes its fields once
// (`describe`, see common/record.hpp) for its reader and the visitor.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "tallowmere/common/math.hpp"
#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::landblock {

inline constexpr size_t kVertexCount = 81;

struct CellLandblock {
  uint32_t id = 0;
  uint32_t has_objects = 0;
  std::vector<uint16_t> terrain;  // 81 terrain words
  std::vector<uint8_t> height;    // 81 height indices

  [[nodiscard]] static common::ParseResult<CellLandblock> unpack(std::span<const uint8_t> data);
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

// The landblock module's own Frame: the same layout as the graphics Frame.
struct Frame {
  common::Vector3 origin;
  common::Quaternion orientation;
  [[nodiscard]] static common::ParseResult<Frame> read(common::Cursor& cursor) {
    return common::read_record<Frame>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct Stab {
  uint32_t id = 0;
  Frame frame;
  [[nodiscard]] static common::ParseResult<Stab> read(common::Cursor& cursor) {
    return common::read_record<Stab>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct PortalInternal {
  uint16_t flags = 0;
  uint16_t other_cell_id = 0;
  uint16_t other_portal_id = 0;
  uint16_t num_stabs = 0;
  std::vector<uint16_t> stab_list;
  [[nodiscard]] static common::ParseResult<PortalInternal> read(common::Cursor& cursor) {
    return common::read_record<PortalInternal>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct BuildInfo {
  uint32_t model_id = 0;
  Frame frame;
  uint32_t num_leaves = 0;
  uint32_t num_portals = 0;
  std::vector<PortalInternal> portals;
  [[nodiscard]] static common::ParseResult<BuildInfo> read(common::Cursor& cursor) {
    return common::read_record<BuildInfo>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct RestrictionTable {
  uint16_t count = 0;
  uint16_t bucket_size = 0;  // read and not used
  std::unordered_map<uint32_t, uint32_t> tables;
  [[nodiscard]] static common::ParseResult<RestrictionTable> read(common::Cursor& cursor) {
    return common::read_record<RestrictionTable>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct LandblockInfo {
  uint32_t id = 0;
  uint32_t num_cells = 0;
  std::vector<Stab> objects;
  uint16_t pack_mask = 0;
  std::vector<BuildInfo> buildings;
  std::optional<RestrictionTable> restriction_tables;

  [[nodiscard]] static common::ParseResult<LandblockInfo> unpack(std::span<const uint8_t> data);
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

}  // namespace tallowmere::dat::landblock

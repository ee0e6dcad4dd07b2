// The walks that take one thing from a record without building it, set against the
// full parse of the same bytes: shared by the unit tests and the fuzz targets, so every
// fuzz run checks them too.
#pragma once

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat/physics.hpp"

namespace tallowmere::dat::check {

inline bool same_bits(std::span<const common::Vector3> a, std::span<const common::Vector3> b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(common::Vector3)) == 0);
}

// Empty when GfxObj::vertex_origins agrees with GfxObj::unpack on `bytes`: both succeed
// or both fail, a failure appends nothing, and a success appends exactly the origins of
// the parsed vertex map, bit for bit, in its iteration order up to where it starts (the
// map draws its starting entry afresh for each fill, and so does the walk). Otherwise
// what differs.
inline std::string vertex_origins_mismatch(std::span<const uint8_t> bytes) {
  common::Cursor cursor(bytes);
  const auto parsed = file_type::GfxObj::unpack(cursor);

  // A vertex already in the list must stay where it is.
  const common::Vector3 before{-1.5f, 2.5f, 1e30f};
  std::vector<common::Vector3> out{before};
  const bool walked = file_type::GfxObj::vertex_origins(bytes, out);
  if (walked != parsed.has_value()) {
    return walked ? "walk succeeds where the parse fails: " + parsed.error().text()
                  : "walk fails where the parse succeeds";
  }
  if (!same_bits(std::span(out).first(1), std::span(&before, 1))) return "earlier vertex changed";
  if (!walked) return out.size() == 1 ? "" : "failed walk appended vertices";

  std::vector<common::Vector3> expected;
  for (const auto& [id, vertex] : parsed->vertex_array.vertices) expected.push_back(vertex.origin);
  const std::span<const common::Vector3> got = std::span(out).subspan(1);
  if (got.size() != expected.size()) {
    return "walk gives " + std::to_string(got.size()) + " vertices, the parse " +
           std::to_string(expected.size());
  }
  const size_t n = got.size();
  const std::span<const common::Vector3> want(expected);
  for (size_t start = 0; start < n; ++start) {
    if (same_bits(got.subspan(start), want.first(n - start)) &&
        same_bits(got.first(start), want.subspan(n - start))) {
      return "";
    }
  }
  return n == 0 ? "" : "vertices differ";
}

// Empty when BspTree::stored_size agrees with BspTree::read on `bytes`.
inline std::string tree_size_mismatch(std::span<const uint8_t> bytes, physics::BspTreeKind kind) {
  common::Cursor cursor(bytes);
  const auto tree = physics::BspTree::read(cursor, kind);
  const auto size = physics::BspTree::stored_size(bytes, kind);
  if (size.has_value() != tree.has_value()) {
    return size ? "size given where the read fails: " + tree.error().text()
                : "no size where the read succeeds";
  }
  if (size && *size != cursor.position()) {
    return "size " + std::to_string(*size) + ", read " + std::to_string(cursor.position());
  }
  return "";
}

// Empty when SetupModel::part_ids agrees with SetupModel::unpack on `bytes`.
inline std::string part_ids_mismatch(std::span<const uint8_t> bytes) {
  common::Cursor cursor(bytes);
  const auto parsed = file_type::SetupModel::unpack(cursor);
  std::vector<uint32_t> parts{7, 8, 9};  // whatever a caller held before
  const bool walked = file_type::SetupModel::part_ids(bytes, parts);
  if (walked != parsed.has_value()) {
    return walked ? "walk succeeds where the parse fails: " + parsed.error().text()
                  : "walk fails where the parse succeeds";
  }
  if (walked && parts != parsed->parts) return "parts differ";
  return "";
}

}  // namespace tallowmere::dat::check

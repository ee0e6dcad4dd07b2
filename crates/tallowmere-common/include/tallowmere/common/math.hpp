// The geometric records shared by the model and world formats.
//
// Stored layouts (little-endian f32 components, kept bit for bit, never normalised):
//   Vector3     12 bytes: x, y, z
//   Quaternion  16 bytes: w, x, y, z (the scalar part w first)
//   Plane       16 bytes: normal (Vector3), d
//   Sphere      16 bytes: center (Vector3), radius
// All are declarative records: a failing field adds its frame and rewinds the cursor.
// The Frame record (origin, orientation) lives with the modules that use it. Each record's
// fields are described once (`describe`, see record.hpp) for its reader and the visitor.
#pragma once

#include "tallowmere/common/cursor.hpp"
#include "tallowmere/common/record.hpp"

namespace tallowmere::common {

struct Vector3 {
  static constexpr uint64_t kStoredSize = 12;  // bytes in the payload
  float x = 0, y = 0, z = 0;
  [[nodiscard]] static ParseResult<Vector3> read(Cursor& cursor) {
    return read_record<Vector3>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct Quaternion {
  float w = 1, x = 0, y = 0, z = 0;
  [[nodiscard]] static ParseResult<Quaternion> read(Cursor& cursor) {
    return read_record<Quaternion>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct Plane {
  Vector3 normal;
  float d = 0;
  [[nodiscard]] static ParseResult<Plane> read(Cursor& cursor) {
    return read_record<Plane>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct Sphere {
  static constexpr uint64_t kStoredSize = 16;
  Vector3 center;
  float radius = 0;
  [[nodiscard]] static ParseResult<Sphere> read(Cursor& cursor) {
    return read_record<Sphere>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

}  // namespace tallowmere::common

// ObjectDesc: one object of a scene, 76 bytes, no padding:
// obj_id u32, base_frame (graphics Frame, 28 bytes), probability, random_offset_x,
// random_offset_y, min_scale, max_scale, max_rotation (degrees), min_slope, max_slope
// (f32 each), aux_1 u32, aux_2 u32, external_obj u32.
#pragma once

#include <cstdint>

#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/graphics.hpp"

namespace tallowmere::dat::file_type {

struct ObjectDesc {
  static constexpr uint64_t kStoredSize = 76;  // bytes in the payload
  uint32_t obj_id = 0;
  graphics::Frame base_frame;
  float probability = 0;
  float random_offset_x = 0;
  float random_offset_y = 0;
  float min_scale = 0;
  float max_scale = 0;
  float max_rotation = 0;
  float min_slope = 0;
  float max_slope = 0;
  uint32_t aux_1 = 0;
  uint32_t aux_2 = 0;
  uint32_t external_obj = 0;

  [[nodiscard]] static common::ParseResult<ObjectDesc> unpack(common::Cursor& cursor) {
    return common::read_record<ObjectDesc>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

}  // namespace tallowmere::dat::file_type

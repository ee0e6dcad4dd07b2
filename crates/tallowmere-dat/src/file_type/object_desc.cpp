// ObjectDesc: obj_id u32, base_frame (graphics Frame, 28 bytes), then eight f32 and
// three u32, 76 bytes in all. Hand-written: a short base_frame fails with the Frame
// reader's own frames; any other short field fails with the bare end-of-data error.
#include "tallowmere/dat/file_type/object_desc.hpp"

namespace tallowmere::dat::file_type {


common::ParseResult<ObjectDesc> ObjectDesc::unpack(common::Cursor& cursor) {
  ObjectDesc desc;
  auto obj_id = common::read_u32(cursor);
  if (!obj_id) return make_unexpected(std::move(obj_id).error());
  desc.obj_id = *obj_id;
  auto frame = graphics::Frame::read(cursor);
  if (!frame) return make_unexpected(std::move(frame).error());
  desc.base_frame = *frame;

  for (float* field :
       {&desc.probability, &desc.random_offset_x, &desc.random_offset_y, &desc.min_scale,
        &desc.max_scale, &desc.max_rotation, &desc.min_slope, &desc.max_slope}) {
    auto value = common::read_f32(cursor);
    if (!value) return make_unexpected(std::move(value).error());
    *field = *value;
  }
  for (uint32_t* field : {&desc.aux_1, &desc.aux_2, &desc.external_obj}) {
    auto value = common::read_u32(cursor);
    if (!value) return make_unexpected(std::move(value).error());
    *field = *value;
  }
  return desc;
}

}  // namespace tallowmere::dat::file_type

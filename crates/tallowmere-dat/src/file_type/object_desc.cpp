// ObjectDesc: obj_id u32, base_frame (graphics Frame, 28 bytes), then eight f32 and
// three u32, 76 bytes in all. Hand-written: a short base_frame fails with the Frame
// reader's own frames; any other short field fails with the bare end-of-data error.
#include "tallowmere/dat/file_type/object_desc.hpp"

#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::file_type {

template <class A, class Self>
void ObjectDesc::describe(A& a, Self& desc) {
  a.hand_written("ObjectDesc");
  a.field("obj_id", desc.obj_id);
  a.field("base_frame", desc.base_frame);
  a.field("probability", desc.probability);
  a.field("random_offset_x", desc.random_offset_x);
  a.field("random_offset_y", desc.random_offset_y);
  a.field("min_scale", desc.min_scale);
  a.field("max_scale", desc.max_scale);
  a.field("max_rotation", desc.max_rotation);
  a.field("min_slope", desc.min_slope);
  a.field("max_slope", desc.max_slope);
  a.field("aux_1", desc.aux_1);
  a.field("aux_2", desc.aux_2);
  a.field("external_obj", desc.external_obj);
}

TALLOWMERE_DESCRIBED(ObjectDesc);

}  // namespace tallowmere::dat::file_type

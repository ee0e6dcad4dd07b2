// Scene (portal files 0x12xxxxxx): id u32, a u32 count, then that many ObjectDesc.
#pragma once

#include <cstdint>
#include <vector>

#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/file_type/object_desc.hpp"

namespace tallowmere::dat::file_type {

struct Scene {
  uint32_t id = 0;
  std::vector<ObjectDesc> objects;

  [[nodiscard]] static common::ParseResult<Scene> unpack(common::Cursor& cursor) {
    return common::read_record<Scene>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

}  // namespace tallowmere::dat::file_type

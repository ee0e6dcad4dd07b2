// Scene (portal files 0x12xxxxxx): id u32, a u32 count, then that many ObjectDesc.
#pragma once

#include <cstdint>
#include <vector>

#include "tallowmere/dat/file_type/object_desc.hpp"

namespace tallowmere::dat::file_type {

struct Scene {
  uint32_t id = 0;
  std::vector<ObjectDesc> objects;

  static common::ParseResult<Scene> unpack(common::Cursor& cursor);
};

}  // namespace tallowmere::dat::file_type

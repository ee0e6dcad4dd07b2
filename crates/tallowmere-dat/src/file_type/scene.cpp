// Scene: id u32, a u32 count, then that many 76-byte ObjectDesc entries, no padding.
// Hand-written: errors of the entry reader pass through unchanged.
#include "tallowmere/dat/file_type/scene.hpp"

#include "list_reader.hpp"

namespace tallowmere::dat::file_type {

namespace {
constexpr uint64_t kObjectDescSize = 76;
}  // namespace

common::ParseResult<Scene> Scene::unpack(common::Cursor& cursor) {
  Scene scene;
  auto id = common::read_u32(cursor);
  if (!id) return make_unexpected(std::move(id).error());
  scene.id = *id;
  auto objects = detail::read_list<ObjectDesc>(cursor, kObjectDescSize, ObjectDesc::unpack);
  if (!objects) return make_unexpected(std::move(objects).error());
  scene.objects = std::move(*objects);
  return scene;
}

}  // namespace tallowmere::dat::file_type

// Scene: id u32, a u32 count, then that many 76-byte ObjectDesc entries, no padding.
// Hand-written: errors of the entry reader pass through unchanged.
#include "tallowmere/dat/file_type/scene.hpp"

#include "tallowmere/common/record.hpp"

namespace tallowmere::dat::file_type {

template <class A, class Self>
void Scene::describe(A& a, Self& scene) {
  a.hand_written("Scene");
  a.field("id", scene.id);
  a.list("objects", scene.objects, common::CountU32{});
}

TALLOWMERE_DESCRIBED(Scene);

}  // namespace tallowmere::dat::file_type

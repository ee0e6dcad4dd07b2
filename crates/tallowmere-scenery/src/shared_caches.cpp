#include "tallowmere/scenery/shared_caches.hpp"

namespace tallowmere::scenery {

std::optional<std::span<const dat::file_type::ObjectDesc>> SharedCaches::scene_objects(
    uint32_t scene_id) {
  const auto& scene =
      scenes_.get(scene_id, [this](uint32_t id) { return load_scene(portal_, id); });
  if (!scene) return std::nullopt;
  return std::span<const dat::file_type::ObjectDesc>(scene->objects);
}

std::optional<std::span<const common::Vector3>> SharedCaches::mesh(uint32_t object_id) {
  const auto& mesh = meshes_.get(object_id, [this](uint32_t id) {
    size_t fetches = 0;
    return object_mesh(portal_, id, fetches);
  });
  if (!mesh) return std::nullopt;
  return std::span<const common::Vector3>(*mesh);
}

}  // namespace tallowmere::scenery

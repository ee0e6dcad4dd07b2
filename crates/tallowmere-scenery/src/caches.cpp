#include "tallowmere/scenery/caches.hpp"

#include <type_traits>

#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"

namespace tallowmere::scenery {

using dat::file_type::GfxObj;
using dat::file_type::Scene;
using dat::file_type::SetupModel;

namespace {

// Appends the vertex positions of graphics object `id` to `mesh`, in an order its vertex
// map could yield them; nothing when the file cannot be fetched or parsed. Only the
// positions are taken from the payload: no record is built. The payload goes into a
// buffer kept for the next fetch, so a run of fetches allocates only when an object
// outgrows every one before it.
void append_gfx_vertices(const dat::DatDatabase& portal, uint32_t id, Mesh& mesh) {
  thread_local dat::PayloadBuffer payload;
  if (!portal.get_file_into(id, payload)) return;
  (void)GfxObj::vertex_origins(payload, mesh);
}

}  // namespace

std::optional<Mesh> gfx_local_mesh(const dat::DatDatabase& portal, uint32_t id) {
  Mesh mesh;
  append_gfx_vertices(portal, id, mesh);
  if (mesh.empty()) return std::nullopt;
  return mesh;
}

std::optional<Scene> load_scene(const dat::DatDatabase& portal, uint32_t scene_id) {
  // The scene is parsed into a record of its own, so one buffer per thread serves
  // every fetch.
  thread_local dat::PayloadBuffer payload;
  if (!portal.get_file_into(scene_id, payload)) return std::nullopt;
  common::Cursor cursor(payload);
  auto scene = Scene::unpack(cursor);
  if (!scene) return std::nullopt;
  return std::move(*scene);
}

std::optional<Mesh> object_mesh(const dat::DatDatabase& portal, uint32_t object_id,
                                size_t& fetches) {
  switch (object_id >> 24) {
    case 0x01:
      ++fetches;
      return gfx_local_mesh(portal, object_id);
    case 0x02:
      break;
    default:
      return std::nullopt;
  }
  // A setup model's parts are combined in their own coordinates: the placement frames
  // and default scales are not applied. Parts without a mesh contribute nothing.
  ++fetches;
  thread_local dat::PayloadBuffer payload;  // reused like the graphics object's
  if (!portal.get_file_into(object_id, payload)) return std::nullopt;
  thread_local std::vector<uint32_t> parts;  // reused like the payload
  if (!SetupModel::part_ids(payload, parts) || parts.empty()) return std::nullopt;
  Mesh combined;
  for (uint32_t part : parts) {
    ++fetches;
    append_gfx_vertices(portal, part, combined);
  }
  if (combined.empty()) return std::nullopt;
  return combined;
}

// A stored value moves when the table grows; a moved vector keeps its elements where
// they are, so views into them stay valid, as long as the move cannot fall back to a copy.
static_assert(std::is_nothrow_move_constructible_v<std::optional<Scene>>);
static_assert(std::is_nothrow_move_constructible_v<std::optional<Mesh>>);

const std::optional<Scene>& SceneCache::cached_scene(uint32_t scene_id) {
  if (const auto* found = scenes_.get(scene_id)) return *found;
  ++fetches_;
  return scenes_.insert_or_assign(scene_id, load_scene(portal_, scene_id));
}

std::optional<Scene> SceneCache::lookup_scene(uint32_t scene_id) {
  return cached_scene(scene_id);
}

std::optional<std::span<const dat::file_type::ObjectDesc>> SceneCache::lookup(uint32_t scene_id) {
  const std::optional<Scene>& scene = cached_scene(scene_id);
  if (!scene) return std::nullopt;
  return std::span<const dat::file_type::ObjectDesc>(scene->objects);
}

std::optional<std::span<const common::Vector3>> MeshCache::lookup(uint32_t object_id) {
  const std::optional<Mesh>* found = meshes_.get(object_id);
  if (found == nullptr) found = &meshes_.insert_or_assign(object_id, load(object_id));
  if (!*found) return std::nullopt;
  return std::span<const common::Vector3>(**found);
}

std::optional<Mesh> MeshCache::load(uint32_t object_id) {
  return object_mesh(portal_, object_id, fetches_);
}

}  // namespace tallowmere::scenery

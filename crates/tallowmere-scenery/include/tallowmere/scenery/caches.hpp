// The scene and mesh caches: the bake's scene and mesh sources, served by the portal
// archive.
//
// Each answer is remembered, including the answer that there is nothing, so every
// file is fetched and parsed at most once per cache. Archive and parse errors are not
// reported: they become an absent value. Whoever owns a cache decides how long its
// answers live: a bake that makes its own caches shares nothing with the next one,
// while a caller that keeps one PortalCaches across many bake calls parses each scene
// and mesh once for all of them. Memory grows with the number of distinct ids asked for.
//
// A cache borrows the portal archive, which must outlive it. Caches are not safe to
// share between threads.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tallowmere/bake/bake.hpp"
#include "tallowmere/common/flat_map.hpp"
#include "tallowmere/common/math.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/lib.hpp"

namespace tallowmere::scenery {

using Mesh = std::vector<common::Vector3>;

// The vertex positions of graphics object `id`, in the order its vertex map yields
// them, or nothing when the file cannot be fetched or parsed or has no vertices.
[[nodiscard]] std::optional<Mesh> gfx_local_mesh(const dat::DatDatabase& portal, uint32_t id);

// The scene with file id `scene_id`, or nothing when it cannot be fetched or parsed.
[[nodiscard]] std::optional<dat::file_type::Scene> load_scene(const dat::DatDatabase& portal,
                                                              uint32_t scene_id);

// The local vertices of object `object_id`: a graphics object (high byte 0x01) is its own
// mesh; a setup model (0x02) is the untransformed union of its parts' meshes, nothing when
// no part has one; any other id has none, without touching the archive. Adds the number
// of files fetched to `fetches`.
[[nodiscard]] std::optional<Mesh> object_mesh(const dat::DatDatabase& portal, uint32_t object_id,
                                              size_t& fetches);

class SceneCache final : public bake::SceneSource {
 public:
  explicit SceneCache(const dat::DatDatabase& portal) : portal_(portal) {}

  // A copy of the scene with file id `scene_id`, or nothing when it cannot be had.
  [[nodiscard]] std::optional<dat::file_type::Scene> lookup_scene(uint32_t scene_id);
  // The scene's object list, for the bake: a view of the cached scene, valid as long as
  // the cache lives.
  std::optional<std::span<const dat::file_type::ObjectDesc>> lookup(uint32_t scene_id) override;

  // Number of files this cache has fetched from the archive.
  [[nodiscard]] size_t fetches() const { return fetches_; }

 private:
  const std::optional<dat::file_type::Scene>& cached_scene(uint32_t scene_id);

  const dat::DatDatabase& portal_;
  // Probed once per landblock vertex: a flat table. Scenes move when it grows; the views
  // handed out point into their object lists, which move with them.
  common::FlatMap<uint32_t, std::optional<dat::file_type::Scene>> scenes_;
  size_t fetches_ = 0;
};

class MeshCache final : public bake::MeshSource {
 public:
  explicit MeshCache(const dat::DatDatabase& portal) : portal_(portal) {}

  // The local vertices of object `object_id`: a graphics object (high byte 0x01) is its
  // own mesh; a setup model (0x02) is the untransformed union of its parts' meshes; any
  // other id has none, without touching the archive. The view stays valid as long as
  // the cache lives.
  std::optional<std::span<const common::Vector3>> lookup(uint32_t object_id) override;

  // Number of files this cache has fetched from the archive.
  [[nodiscard]] size_t fetches() const { return fetches_; }

 private:
  std::optional<Mesh> load(uint32_t object_id);

  const dat::DatDatabase& portal_;
  // Probed once per candidate object: a flat table. Meshes move when it grows; the views
  // handed out point into their vertex arrays, which move with them.
  common::FlatMap<uint32_t, std::optional<Mesh>> meshes_;
  size_t fetches_ = 0;
};

// The scene cache and the mesh cache of one portal archive: everything a landblock bake
// asks of the portal archive.
struct PortalCaches {
  explicit PortalCaches(const dat::DatDatabase& portal) : meshes(portal), scenes(portal) {}

  MeshCache meshes;
  SceneCache scenes;
};

}  // namespace tallowmere::scenery

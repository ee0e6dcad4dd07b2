// The scene and mesh caches: the bake's scene and mesh sources, served by the portal
// archive.
//
// Each answer is remembered, including the answer that there is nothing, so every
// file is fetched and parsed at most once per cache. Archive and parse errors are not
// reported: they become an absent value. A ring bake creates one cache of each kind
// and drops them at its end, so two runs share nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tallowmere/bake/bake.hpp"
#include "tallowmere/common/math.hpp"
#include "tallowmere/common/seeded_map.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/lib.hpp"

namespace tallowmere::ringproof {

using Mesh = std::vector<common::Vector3>;

// The vertex positions of graphics object `id`, in the order its vertex map yields
// them, or nothing when the file cannot be fetched or parsed or has no vertices.
std::optional<Mesh> gfx_local_mesh(const dat::DatDatabase& portal, uint32_t id);

class SceneCache final : public bake::SceneSource {
 public:
  explicit SceneCache(const dat::DatDatabase& portal) : portal_(portal) {}

  // A copy of the scene with file id `scene_id`, or nothing when it cannot be had.
  std::optional<dat::file_type::Scene> lookup_scene(uint32_t scene_id);
  // The scene's object list, for the bake.
  std::optional<std::vector<dat::file_type::ObjectDesc>> lookup(uint32_t scene_id) override;

  // Number of files this cache has fetched from the archive.
  size_t fetches() const { return fetches_; }

 private:
  const dat::DatDatabase& portal_;
  common::SeededMap<uint32_t, std::optional<dat::file_type::Scene>> scenes_;
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

  size_t fetches() const { return fetches_; }

 private:
  std::optional<Mesh> load(uint32_t object_id);
  std::optional<Mesh> setup_model_mesh(uint32_t object_id);
  std::optional<Mesh> counted_gfx_mesh(uint32_t object_id);

  const dat::DatDatabase& portal_;
  // A node-based map: references to stored meshes survive later insertions.
  common::SeededMap<uint32_t, std::optional<Mesh>> meshes_;
  size_t fetches_ = 0;
};

}  // namespace tallowmere::ringproof

// Scene and mesh caches that many bake threads share.
//
// Each distinct id is fetched and parsed exactly once for the cache's whole life: the
// first thread to ask for an id loads it while the others that ask for the same id wait
// for that one load; threads asking for other ids are not held up, since the archive is
// read and the record parsed outside the cache's lock. Answers are kept like those of
// SceneCache and MeshCache (an absent value included), so memory grows with the number
// of distinct ids, not with the number of landblocks baked.
//
// The portal archive is only read (positioned reads, no shared file position), so the
// threads share it as they share the cache. It must outlive the cache.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "tallowmere/bake/bake.hpp"
#include "tallowmere/common/seeded_map.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/scenery/caches.hpp"

namespace tallowmere::scenery {

// A map from id to a value loaded once. The value of an id is computed by `load` the
// first time any thread asks for it; every later call, from any thread, gets a reference
// to the same value, which lives as long as the map.
template <class Value>
class OnceMap {
 public:
  template <class Load>
  const Value& get(uint32_t id, Load&& load) {
    Slot* slot;
    {
      std::lock_guard lock(mutex_);
      auto& owned = slots_[id];
      if (!owned) owned = std::make_unique<Slot>();
      slot = owned.get();
    }
    std::call_once(slot->once, [&] {
      slot->value = load(id);
      loads_.fetch_add(1, std::memory_order_relaxed);
    });
    return slot->value;
  }

  // Number of ids asked for so far.
  size_t size() const {
    std::lock_guard lock(mutex_);
    return slots_.size();
  }
  // Number of times a value was loaded: equal to size() once every load has finished.
  size_t loads() const { return loads_.load(std::memory_order_relaxed); }

 private:
  struct Slot {
    std::once_flag once;
    Value value;
  };
  mutable std::mutex mutex_;
  std::atomic<size_t> loads_{0};
  // Slots are owned through pointers: their addresses survive rehashing.
  common::SeededMap<uint32_t, std::unique_ptr<Slot>> slots_;
};

// The scene and mesh answers of one portal archive, shared by every thread of a bake.
class SharedCaches {
 public:
  explicit SharedCaches(const dat::DatDatabase& portal) : portal_(portal) {}

  // The object list of scene `scene_id`, or nothing when it cannot be had. The view
  // stays valid as long as the cache lives.
  std::optional<std::span<const dat::file_type::ObjectDesc>> scene_objects(uint32_t scene_id);
  // The local vertices of object `object_id` (see object_mesh), or nothing. The view
  // stays valid as long as the cache lives.
  std::optional<std::span<const common::Vector3>> mesh(uint32_t object_id);

  // Distinct scene and object ids asked for so far, and the number of loads (archive
  // fetches and parses) made for them.
  size_t scene_count() const { return scenes_.size(); }
  size_t mesh_count() const { return meshes_.size(); }
  size_t scene_loads() const { return scenes_.loads(); }
  size_t mesh_loads() const { return meshes_.loads(); }

 private:
  const dat::DatDatabase& portal_;
  OnceMap<std::optional<dat::file_type::Scene>> scenes_;
  OnceMap<std::optional<Mesh>> meshes_;
};

// The bake's scene source and mesh source over a SharedCaches. Each thread makes its own
// pair; they keep no state beyond the shared cache.
class SharedSceneSource final : public bake::SceneSource {
 public:
  explicit SharedSceneSource(SharedCaches& caches) : caches_(caches) {}
  std::optional<std::span<const dat::file_type::ObjectDesc>> lookup(uint32_t scene_id) override {
    return caches_.scene_objects(scene_id);
  }

 private:
  SharedCaches& caches_;
};

class SharedMeshSource final : public bake::MeshSource {
 public:
  explicit SharedMeshSource(SharedCaches& caches) : caches_(caches) {}
  std::optional<std::span<const common::Vector3>> lookup(uint32_t object_id) override {
    return caches_.mesh(object_id);
  }

 private:
  SharedCaches& caches_;
};

}  // namespace tallowmere::scenery

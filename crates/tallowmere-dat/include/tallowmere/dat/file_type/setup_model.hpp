// SetupModel (portal files 0x02xxxxxx): a multi-part object.
//
// Layout, in payload order (u32 unless noted; [..] present only with its flag):
//   id, flags, part count n, n part ids,
//   [HAS_PARENT: n parent indices], [HAS_DEFAULT_SCALE: n Vector3 scales],
//   holding location count, (key, LocationType) each,
//   connection point count, (key, LocationType) each,
//   placement count (i32, negative fails), (key, PlacementType for n parts) each,
//   cylinder count, CylSphere each, sphere count, Sphere each,
//   height, radius, step_up_height, step_down_height (f32 each),
//   sorting_sphere, selection_sphere, light count, (key, LightInfo) each,
//   default_animation, default_script, default_motion_table, default_sound_table,
//   default_script_table (0 stands for absent).
// PlacementType: n Frames, hook count, hooks. AnimationHook: hook_type u32, param u32,
// a payload whose length the type decides (type 5: u8, i16, and 2 more bytes when the
// i16 is negative), then padding up to a multiple of 4 counted from the hook's start.
// LocationType, CylSphere and LightInfo are declarative records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tallowmere/common/flat_map.hpp"
#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/graphics.hpp"

namespace tallowmere::dat::file_type {

struct AnimationHook {
  static constexpr uint32_t kMaxType = 26;

  uint32_t hook_type = 0;
  uint32_t param = 0;
  common::Run data;  // the payload as stored, then its padding bytes, in `pool`
  template <class A, class Self, class Pool>
  static void describe(A& a, Self& self, Pool& pool);
};

// The frames and hooks of every placement of a setup model, and the hooks' payloads,
// kept in shared pools: each placement and hook holds Runs into them.
struct PlacementLists {
  std::vector<graphics::Frame> frames;
  std::vector<AnimationHook> hooks;
  std::vector<uint8_t> hook_data;

  void clear() {
    frames.clear();
    hooks.clear();
    hook_data.clear();
  }
};

struct PlacementType {
  common::Run frames;  // one per part, in PlacementLists::frames
  common::Run hooks;   // in PlacementLists::hooks

  // Reads `num_parts` frames and the hooks, appending them to `lists`. A hook type above
  // 26 fails with the failed check "Unsupported AnimationHook type: 0x<type, 8 hex
  // digits>" just after its param.
  [[nodiscard]] static common::ParseResult<PlacementType> read(common::Cursor& cursor,
                                                               uint32_t num_parts,
                                                               PlacementLists& lists);
  template <class A, class Self, class Lists>
  static void describe(A& a, Self& self, uint32_t num_parts, Lists& lists);
};

struct LocationType {
  uint32_t part_id = 0;
  graphics::Frame frame;
  [[nodiscard]] static common::ParseResult<LocationType> read(common::Cursor& cursor) {
    return common::read_record<LocationType>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct CylSphere {
  static constexpr uint64_t kStoredSize = 20;  // bytes in the payload
  common::Vector3 origin;
  float radius = 0;
  float height = 0;
  [[nodiscard]] static common::ParseResult<CylSphere> read(common::Cursor& cursor) {
    return common::read_record<CylSphere>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct LightInfo {
  graphics::Frame viewer_space_location;
  uint32_t color = 0;  // packed colour, held raw
  float intensity = 0;
  float falloff = 0;
  float cone_angle = 0;
  [[nodiscard]] static common::ParseResult<LightInfo> read(common::Cursor& cursor) {
    return common::read_record<LightInfo>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct SetupModel {
  static constexpr uint32_t HAS_PARENT = 0x1;
  static constexpr uint32_t HAS_DEFAULT_SCALE = 0x2;

  uint32_t id = 0;
  uint32_t flags = 0;
  std::vector<uint32_t> parts;                 // graphics object ids, in part order
  std::vector<uint32_t> parent_index;          // one per part with HAS_PARENT, else empty
  std::vector<common::Vector3> default_scale;  // one per part with HAS_DEFAULT_SCALE
  // Keyed collections: a repeated key keeps the later entry; iteration order is
  // unspecified.
  common::FlatMap<uint32_t, LocationType> holding_locations;
  common::FlatMap<uint32_t, LocationType> connection_points;
  common::FlatMap<uint32_t, PlacementType> placement_frames;
  std::vector<CylSphere> cyl_spheres;
  std::vector<common::Sphere> spheres;
  float height = 0;
  float radius = 0;
  float step_up_height = 0;
  float step_down_height = 0;
  common::Sphere sorting_sphere;
  common::Sphere selection_sphere;
  common::FlatMap<uint32_t, LightInfo> lights;
  std::optional<uint32_t> default_animation;
  std::optional<uint32_t> default_script;
  std::optional<uint32_t> default_motion_table;
  std::optional<uint32_t> default_sound_table;
  std::optional<uint32_t> default_script_table;
  PlacementLists placement_lists;  // the frames and hooks of placement_frames

  [[nodiscard]] std::span<const graphics::Frame> frames_of(const PlacementType& p) const {
    return p.frames.in(placement_lists.frames);
  }
  [[nodiscard]] std::span<const AnimationHook> hooks_of(const PlacementType& p) const {
    return p.hooks.in(placement_lists.hooks);
  }
  [[nodiscard]] std::span<const uint8_t> data_of(const AnimationHook& hook) const {
    return hook.data.in(placement_lists.hook_data);
  }

  // Parses a whole setup model from the cursor's position. A negative placement count
  // fails with the failed check "SetupModel 0x<id, 8 hex digits> declared negative
  // placement count <count>" just after the count; other errors pass through unchanged.
  // Like GfxObj::unpack, the parse fills a per-thread scratch record and the result
  // holds each array in one allocation of its exact size.
  [[nodiscard]] static common::ParseResult<SetupModel> unpack(common::Cursor& cursor);
  // Parses like unpack into `out`, reusing the storage it holds. After an error `out`
  // holds an unspecified part of the model.
  [[nodiscard]] static common::ParseResult<void> unpack_into(common::Cursor& cursor,
                                                             SetupModel& out);
  // Walks a whole setup model at the start of `payload` for its part ids alone: true
  // exactly when unpack succeeds on the same bytes, and then `parts` holds the model's
  // parts in order; on false `parts` holds an unspecified prefix of them. Builds no
  // record: every other part is checked and stepped over.
  [[nodiscard]] static bool part_ids(std::span<const uint8_t> payload,
                                     std::vector<uint32_t>& parts);
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

}  // namespace tallowmere::dat::file_type

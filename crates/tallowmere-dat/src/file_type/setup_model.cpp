#include "tallowmere/dat/file_type/setup_model.hpp"

#include <string>

#include "tallowmere/common/record.hpp"
#include "tallowmere/common/text.hpp"
#include "tallowmere/dat/utils.hpp"

namespace tallowmere::dat::file_type {

using common::Cursor;
using common::FailedCheck;
using common::ParseError;
using common::ParseResult;
using common::read_f32;
using common::read_i32;
using common::read_u32;
using common::Record;
using common::Sphere;
using common::Vector3;
using graphics::Frame;

namespace {

// Reads `count` elements with `read(cursor)` and appends them to `out`. The list is
// reserved only as far as the remaining bytes could hold elements of `min_size` bytes.
template <class T, class Read>
ParseResult<void> read_list(Cursor& cursor, uint32_t count, uint64_t min_size, std::vector<T>& out,
                            Read&& read) {
  out.reserve(static_cast<size_t>(reservable(cursor, count, min_size)));
  for (uint32_t i = 0; i < count; ++i) {
    auto element = read(cursor);
    if (!element) return make_unexpected(std::move(element).error());
    out.push_back(std::move(*element));
  }
  return {};
}

// Reads `count` entries of a u32 key followed by `read(cursor)` into `map`; a repeated
// key replaces the earlier entry.
template <class T, class Read>
ParseResult<void> read_keyed(Cursor& cursor, uint32_t count, common::SeededMap<uint32_t, T>& map,
                             Read&& read) {
  for (uint32_t i = 0; i < count; ++i) {
    auto key = read_u32(cursor);
    if (!key) return make_unexpected(std::move(key).error());
    auto value = read(cursor);
    if (!value) return make_unexpected(std::move(value).error());
    map.insert_or_assign(*key, std::move(*value));
  }
  return {};
}

// A u32 count, then that many keyed entries.
template <class T, class Read>
ParseResult<void> read_counted_keyed(Cursor& cursor, common::SeededMap<uint32_t, T>& map,
                                     Read&& read) {
  auto count = read_u32(cursor);
  if (!count) return make_unexpected(std::move(count).error());
  return read_keyed(cursor, *count, map, std::forward<Read>(read));
}

// A u32 count, then that many records.
template <class T, class Read>
ParseResult<void> read_counted_list(Cursor& cursor, uint64_t min_size, std::vector<T>& out,
                                    Read&& read) {
  auto count = read_u32(cursor);
  if (!count) return make_unexpected(std::move(count).error());
  return read_list(cursor, *count, min_size, out, std::forward<Read>(read));
}

// The fixed payload length of every hook type but 5 (which is read by its content).
uint32_t fixed_payload_size(uint32_t hook_type) {
  switch (hook_type) {
    case 0:
    case 4:
    case 17:
      return 0;
    case 1:
    case 2:
    case 6:
    case 14:
    case 15:
    case 16:
    case 18:
    case 25:
      return 4;
    case 12:
    case 19:
    case 23:
      return 8;
    case 8:
    case 10:
    case 20:
    case 22:
    case 24:
      return 12;
    case 7:
    case 9:
    case 11:
    case 21:
      return 16;
    case 3:
      return 28;
    default:  // 13, 26
      return 40;
  }
}

// Appends the next `n` bytes to `data`.
ParseResult<void> append_bytes(Cursor& cursor, uint64_t n, std::vector<uint8_t>& data) {
  auto bytes = cursor.take(n);
  if (!bytes) return make_unexpected(std::move(bytes).error());
  data.insert(data.end(), bytes->begin(), bytes->end());
  return {};
}

ParseResult<AnimationHook> read_hook(Cursor& cursor) {
  const uint64_t start = cursor.position();
  AnimationHook hook;
  auto type = read_u32(cursor);
  if (!type) return make_unexpected(std::move(type).error());
  hook.hook_type = *type;
  auto param = read_u32(cursor);
  if (!param) return make_unexpected(std::move(param).error());
  hook.param = *param;
  if (hook.hook_type > AnimationHook::kMaxType) {
    return make_unexpected(ParseError(
        FailedCheck{"Unsupported AnimationHook type: 0x" + common::hex_upper(hook.hook_type, 8),
                    cursor.position()}));
  }

  if (hook.hook_type == 5) {
    // One byte and an i16; a negative i16 brings two more bytes.
    auto head = append_bytes(cursor, 3, hook.data);
    if (!head) return make_unexpected(std::move(head).error());
    const auto value = static_cast<int16_t>(hook.data[1] | (hook.data[2] << 8));
    if (value < 0) {
      auto tail = append_bytes(cursor, 2, hook.data);
      if (!tail) return make_unexpected(std::move(tail).error());
    }
  } else {
    auto payload = append_bytes(cursor, fixed_payload_size(hook.hook_type), hook.data);
    if (!payload) return make_unexpected(std::move(payload).error());
  }
  while ((cursor.position() - start) % 4 != 0) {
    auto pad = append_bytes(cursor, 1, hook.data);
    if (!pad) return make_unexpected(std::move(pad).error());
  }
  return hook;
}

// The five trailing ids, where 0 stands for absent.
ParseResult<void> read_optional_id(Cursor& cursor, std::optional<uint32_t>& out) {
  auto value = read_u32(cursor);
  if (!value) return make_unexpected(std::move(value).error());
  if (*value != 0) out = *value;
  return {};
}

constexpr uint64_t kFrameSize = 28;
constexpr uint64_t kVector3Size = 12;
constexpr uint64_t kSphereSize = 16;
constexpr uint64_t kCylSphereSize = 20;
constexpr uint64_t kHookMinSize = 8;

}  // namespace

ParseResult<LocationType> LocationType::read(Cursor& cursor) {
  LocationType location;
  Record rec(cursor, "LocationType");
  rec.field("part_id", TALLOWMERE_HERE, location.part_id, read_u32);
  rec.field("frame", TALLOWMERE_HERE, location.frame, Frame::read);
  return rec.finish(location);
}

ParseResult<CylSphere> CylSphere::read(Cursor& cursor) {
  CylSphere cyl;
  Record rec(cursor, "CylSphere");
  rec.field("origin", TALLOWMERE_HERE, cyl.origin, Vector3::read);
  rec.field("radius", TALLOWMERE_HERE, cyl.radius, read_f32);
  rec.field("height", TALLOWMERE_HERE, cyl.height, read_f32);
  return rec.finish(cyl);
}

ParseResult<LightInfo> LightInfo::read(Cursor& cursor) {
  LightInfo light;
  Record rec(cursor, "LightInfo");
  rec.field("viewer_space_location", TALLOWMERE_HERE, light.viewer_space_location, Frame::read);
  rec.field("color", TALLOWMERE_HERE, light.color, read_u32);
  rec.field("intensity", TALLOWMERE_HERE, light.intensity, read_f32);
  rec.field("falloff", TALLOWMERE_HERE, light.falloff, read_f32);
  rec.field("cone_angle", TALLOWMERE_HERE, light.cone_angle, read_f32);
  return rec.finish(light);
}

ParseResult<PlacementType> PlacementType::read(Cursor& cursor, uint32_t num_parts) {
  PlacementType placement;
  auto frames = read_list(cursor, num_parts, kFrameSize, placement.frames, Frame::read);
  if (!frames) return make_unexpected(std::move(frames).error());
  auto hooks = read_counted_list(cursor, kHookMinSize, placement.hooks, read_hook);
  if (!hooks) return make_unexpected(std::move(hooks).error());
  return placement;
}

ParseResult<SetupModel> SetupModel::unpack(Cursor& cursor) {
  SetupModel model;
  auto id = read_u32(cursor);
  if (!id) return make_unexpected(std::move(id).error());
  model.id = *id;
  auto flags = read_u32(cursor);
  if (!flags) return make_unexpected(std::move(flags).error());
  model.flags = *flags;
  auto num_parts_or = read_u32(cursor);
  if (!num_parts_or) return make_unexpected(std::move(num_parts_or).error());
  const uint32_t num_parts = *num_parts_or;

  auto parts = read_list(cursor, num_parts, 4, model.parts, read_u32);
  if (!parts) return make_unexpected(std::move(parts).error());
  if (model.flags & HAS_PARENT) {
    auto parents = read_list(cursor, num_parts, 4, model.parent_index, read_u32);
    if (!parents) return make_unexpected(std::move(parents).error());
  }
  if (model.flags & HAS_DEFAULT_SCALE) {
    auto scales = read_list(cursor, num_parts, kVector3Size, model.default_scale, Vector3::read);
    if (!scales) return make_unexpected(std::move(scales).error());
  }
  auto holding = read_counted_keyed(cursor, model.holding_locations, LocationType::read);
  if (!holding) return make_unexpected(std::move(holding).error());
  auto connections = read_counted_keyed(cursor, model.connection_points, LocationType::read);
  if (!connections) return make_unexpected(std::move(connections).error());

  // The only signed count of the record.
  auto placement_count = read_i32(cursor);
  if (!placement_count) return make_unexpected(std::move(placement_count).error());
  if (*placement_count < 0) {
    return make_unexpected(ParseError(FailedCheck{"SetupModel 0x" + common::hex_upper(model.id, 8) +
                                                      " declared negative placement count " +
                                                      std::to_string(*placement_count),
                                                  cursor.position()}));
  }
  auto placements =
      read_keyed(cursor, static_cast<uint32_t>(*placement_count), model.placement_frames,
                 [num_parts](Cursor& c) { return PlacementType::read(c, num_parts); });
  if (!placements) return make_unexpected(std::move(placements).error());

  auto cyls = read_counted_list(cursor, kCylSphereSize, model.cyl_spheres, CylSphere::read);
  if (!cyls) return make_unexpected(std::move(cyls).error());
  auto spheres = read_counted_list(cursor, kSphereSize, model.spheres, Sphere::read);
  if (!spheres) return make_unexpected(std::move(spheres).error());
  for (float* value :
       {&model.height, &model.radius, &model.step_up_height, &model.step_down_height}) {
    auto read = read_f32(cursor);
    if (!read) return make_unexpected(std::move(read).error());
    *value = *read;
  }
  for (Sphere* sphere : {&model.sorting_sphere, &model.selection_sphere}) {
    auto read = Sphere::read(cursor);
    if (!read) return make_unexpected(std::move(read).error());
    *sphere = *read;
  }
  auto lights = read_counted_keyed(cursor, model.lights, LightInfo::read);
  if (!lights) return make_unexpected(std::move(lights).error());
  for (auto* slot : {&model.default_animation, &model.default_script, &model.default_motion_table,
                     &model.default_sound_table, &model.default_script_table}) {
    auto read = read_optional_id(cursor, *slot);
    if (!read) return make_unexpected(std::move(read).error());
  }
  return model;
}

}  // namespace tallowmere::dat::file_type

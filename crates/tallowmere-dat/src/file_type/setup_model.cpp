// SetupModel and its parts. SetupModel, PlacementType and AnimationHook are
// hand-written: their reads add no frames and errors pass through unchanged.
// LocationType, CylSphere and LightInfo are declarative.
#include "tallowmere/dat/file_type/setup_model.hpp"

#include <string>

#include "tallowmere/common/record.hpp"
#include "tallowmere/common/text.hpp"

namespace tallowmere::dat::file_type {

using common::Counted;
using common::CountU32;

namespace {

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

// A hook's payload as stored, by its type, then the padding bytes that bring the hook
// (8 bytes of type and param, then the payload) to a multiple of 4.
template <class Pool>
struct HookPayload {
  uint32_t hook_type = 0;
  // The pool takes the bytes read; the Run returned covers them.
  Pool& pool;

  [[nodiscard]] common::ParseResult<common::Run> read(common::Cursor& cursor) const {
    const size_t first = pool.size();
    auto append = [&](uint64_t n) -> common::ParseResult<void> {
      auto bytes = cursor.take(n);
      if (!bytes) return make_unexpected(std::move(bytes).error());
      pool.insert(pool.end(), bytes->begin(), bytes->end());
      return {};
    };
    if (hook_type == 5) {
      // One byte and an i16; a negative i16 brings two more bytes.
      if (auto head = append(3); !head) return make_unexpected(std::move(head).error());
      if (common::load_le<int16_t>(pool.data() + first + 1) < 0) {
        if (auto tail = append(2); !tail) return make_unexpected(std::move(tail).error());
      }
    } else if (auto payload = append(fixed_payload_size(hook_type)); !payload) {
      return make_unexpected(std::move(payload).error());
    }
    while ((pool.size() - first) % 4 != 0) {
      if (auto pad = append(1); !pad) return make_unexpected(std::move(pad).error());
    }
    return common::Run{static_cast<uint32_t>(first), static_cast<uint32_t>(pool.size() - first)};
  }

  void visit(common::FieldVisitor& v, std::string_view name, const common::Run& data) const {
    v.value(name, data.in(pool));
  }
};

// The hooks of a placement, appended to (or visited in) the lists' pools.
template <class Lists>
auto hooks_in(Lists& lists) {
  auto describe = common::Describe{
      [&data = lists.hook_data](auto& a, auto& hook) { AnimationHook::describe(a, hook, data); }};
  using Pool = std::remove_reference_t<decltype((lists.hooks))>;
  return common::InPool<Pool, decltype(describe)>{lists.hooks, describe};
}

}  // namespace

template <class A, class Self, class Lists>
void PlacementType::describe(A& a, Self& placement, uint32_t num_parts, Lists& lists) {
  a.hand_written("PlacementType");
  a.list("frames", placement.frames, Counted{num_parts}, common::InPool{lists.frames});
  a.list("hooks", placement.hooks, CountU32{}, hooks_in(lists));
}

template <class A, class Self>
void LocationType::describe(A& a, Self& location) {
  a.declarative("LocationType");
  a.field("part_id", location.part_id);
  a.field("frame", location.frame);
}

template <class A, class Self>
void CylSphere::describe(A& a, Self& cyl) {
  a.declarative("CylSphere");
  a.field("origin", cyl.origin);
  a.field("radius", cyl.radius);
  a.field("height", cyl.height);
}

template <class A, class Self>
void LightInfo::describe(A& a, Self& light) {
  a.declarative("LightInfo");
  a.field("viewer_space_location", light.viewer_space_location);
  a.field("color", light.color);
  a.field("intensity", light.intensity);
  a.field("falloff", light.falloff);
  a.field("cone_angle", light.cone_angle);
}

template <class A, class Self, class Pool>
void AnimationHook::describe(A& a, Self& hook, Pool& pool) {
  a.hand_written("AnimationHook");
  a.field("hook_type", hook.hook_type);
  a.field("param", hook.param);
  a.check(hook.hook_type <= kMaxType, [&] {
    return "Unsupported AnimationHook type: 0x" + common::hex_upper(hook.hook_type, 8);
  });
  a.field("data", hook.data, HookPayload<Pool>{hook.hook_type, pool});
}

template <class A, class Self>
void SetupModel::describe(A& a, Self& model) {
  auto num_parts = common::count_of<uint32_t>(a, model.parts);
  auto num_placements = common::count_of<int32_t>(a, model.placement_frames);
  a.hand_written("SetupModel");
  a.field("id", model.id);
  a.field("flags", model.flags);
  a.field("num_parts", num_parts);
  a.list("parts", model.parts, Counted{num_parts});
  if (model.flags & HAS_PARENT) {
    a.list("parent_index", model.parent_index, Counted{num_parts});
  } else {
    a.absent("parent_index");
  }
  if (model.flags & HAS_DEFAULT_SCALE) {
    a.list("default_scale", model.default_scale, Counted{num_parts});
  } else {
    a.absent("default_scale");
  }
  a.map("holding_locations", model.holding_locations, CountU32{});
  a.map("connection_points", model.connection_points, CountU32{});
  // The only signed count of the record.
  a.field("num_placements", num_placements);
  a.check(num_placements >= 0, [&] {
    return "SetupModel 0x" + common::hex_upper(model.id, 8) +
           " declared negative placement count " + std::to_string(num_placements);
  });
  a.map(
      "placement_frames", model.placement_frames, Counted{static_cast<uint32_t>(num_placements)},
      common::Describe{[num_parts, &lists = model.placement_lists](auto& walker, auto& placement) {
        PlacementType::describe(walker, placement, num_parts, lists);
      }});
  a.list("cyl_spheres", model.cyl_spheres, CountU32{});
  a.list("spheres", model.spheres, CountU32{});
  a.field("height", model.height);
  a.field("radius", model.radius);
  a.field("step_up_height", model.step_up_height);
  a.field("step_down_height", model.step_down_height);
  a.field("sorting_sphere", model.sorting_sphere);
  a.field("selection_sphere", model.selection_sphere);
  a.map("lights", model.lights, CountU32{});
  a.field("default_animation", model.default_animation, common::ZeroIsAbsent{});
  a.field("default_script", model.default_script, common::ZeroIsAbsent{});
  a.field("default_motion_table", model.default_motion_table, common::ZeroIsAbsent{});
  a.field("default_sound_table", model.default_sound_table, common::ZeroIsAbsent{});
  a.field("default_script_table", model.default_script_table, common::ZeroIsAbsent{});
}

TALLOWMERE_DESCRIBED(LocationType);
TALLOWMERE_DESCRIBED(CylSphere);
TALLOWMERE_DESCRIBED(LightInfo);
TALLOWMERE_DESCRIBED(SetupModel);
template void AnimationHook::describe(common::Reader&, AnimationHook&, std::vector<uint8_t>&);
template void AnimationHook::describe(common::Visitor&, const AnimationHook&,
                                      const std::vector<uint8_t>&);
template void PlacementType::describe(common::Reader&, PlacementType&, uint32_t, PlacementLists&);
template void PlacementType::describe(common::Visitor&, const PlacementType&, uint32_t,
                                      const PlacementLists&);

common::ParseResult<PlacementType> PlacementType::read(common::Cursor& cursor, uint32_t num_parts,
                                                       PlacementLists& lists) {
  return common::read_record<PlacementType>(
      cursor, [num_parts, &lists](common::Reader& a, PlacementType& placement) {
        PlacementType::describe(a, placement, num_parts, lists);
      });
}

common::ParseResult<void> SetupModel::unpack_into(common::Cursor& cursor, SetupModel& out) {
  // Every field is assigned by the parse except the lists, which it appends to.
  out.parts.clear();
  out.parent_index.clear();
  out.default_scale.clear();
  out.holding_locations.clear();
  out.connection_points.clear();
  out.placement_frames.clear();
  out.cyl_spheres.clear();
  out.spheres.clear();
  out.lights.clear();
  out.placement_lists.clear();
  common::Reader reader(cursor);
  describe(reader, out);
  if (!reader.ok()) return make_unexpected(reader.take_error());
  return {};
}

bool SetupModel::part_ids(std::span<const uint8_t> payload, std::vector<uint32_t>& parts) {
  const uint8_t* at = payload.data();
  const uint8_t* const end = at + payload.size();
  // Every check compares with the bytes left, so none overflows.
  const auto has = [&](uint64_t n) { return n <= static_cast<uint64_t>(end - at); };
  const auto count = [&](uint64_t& n) {
    if (!has(4)) return false;
    n = common::load_le<uint32_t>(at);
    at += 4;
    return true;
  };
  constexpr uint64_t kFrame = graphics::Frame::kStoredSize;
  constexpr uint64_t kLocation = 4 + 4 + kFrame;           // key, part_id, frame
  constexpr uint64_t kLight = 4 + kFrame + 4 + 4 + 4 + 4;  // key, LightInfo
  constexpr uint64_t kSphere = 16;

  // id, flags, part count, the parts.
  if (!has(12)) return false;
  const uint32_t flags = common::load_le<uint32_t>(at + 4);
  const uint64_t num_parts = common::load_le<uint32_t>(at + 8);
  at += 12;
  if (!has(4 * num_parts)) return false;
  parts.resize(static_cast<size_t>(num_parts));
  for (size_t i = 0; i < parts.size(); ++i) parts[i] = common::load_le<uint32_t>(at + 4 * i);
  at += 4 * num_parts;

  const uint64_t per_part =
      (flags & HAS_PARENT ? uint64_t{4} : 0) + (flags & HAS_DEFAULT_SCALE ? uint64_t{12} : 0);
  uint64_t n = 0;
  if (!has(per_part * num_parts)) return false;
  at += per_part * num_parts;
  for (int map = 0; map < 2; ++map) {  // holding locations, connection points
    if (!count(n) || !has(kLocation * n)) return false;
    at += kLocation * n;
  }

  // Placements (a signed count): key, one frame per part, hook count, hooks.
  if (!count(n) || static_cast<int32_t>(n) < 0) return false;
  for (uint64_t placements = n; placements > 0; --placements) {
    if (!has(4 + kFrame * num_parts)) return false;
    at += 4 + kFrame * num_parts;
    uint64_t hooks = 0;
    if (!count(hooks)) return false;
    for (; hooks > 0; --hooks) {
      // type, param, the payload by type, padding up to a multiple of 4.
      if (!has(8)) return false;
      const uint32_t type = common::load_le<uint32_t>(at);
      at += 8;
      if (type > AnimationHook::kMaxType) return false;
      uint64_t payload_size = fixed_payload_size(type);
      if (type == 5) {
        if (!has(3)) return false;
        payload_size = common::load_le<int16_t>(at + 1) < 0 ? 8 : 4;
      }
      if (!has(payload_size)) return false;
      at += payload_size;
    }
  }

  // Cylinders, spheres, four heights and radii, two spheres, lights, five ids.
  if (!count(n) || !has(CylSphere::kStoredSize * n)) return false;
  at += CylSphere::kStoredSize * n;
  if (!count(n) || !has(kSphere * n)) return false;
  at += kSphere * n;
  if (!has(16 + 2 * kSphere)) return false;
  at += 16 + 2 * kSphere;
  if (!count(n) || !has(kLight * n)) return false;
  at += kLight * n;
  return has(20);
}

common::ParseResult<SetupModel> SetupModel::unpack(common::Cursor& cursor) {
  thread_local SetupModel scratch;
  if (auto parsed = unpack_into(cursor, scratch); !parsed) {
    return make_unexpected(std::move(parsed).error());
  }
  return SetupModel(scratch);  // a copy holds each array at its exact size
}

}  // namespace tallowmere::dat::file_type

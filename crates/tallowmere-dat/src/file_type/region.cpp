// The region record. Hand-written layout: optional parts follow the part mask in file
// order (sky, sound, scene, then the terrain description that is always present, then
// misc), which is not the order of their bits. Names are PStrings with a 2-byte length
// followed by alignment to 4 counted from the start of the payload. Errors of the
// readers pass through unchanged; no value is validated.
#include "tallowmere/dat/file_type/region.hpp"

#include <bit>

#include "list_reader.hpp"

namespace tallowmere::dat::file_type {

using common::read_u32;
using detail::read_list;
using detail::read_name;
using detail::read_u32_array;
using detail::read_u32_list;

namespace {

constexpr uint64_t kMinTerrainType = 2 + 4 + 4;  // empty name, value, empty list
constexpr uint64_t kPairSize = 8;
constexpr uint64_t kWideEntrySize = 11 * 4;
constexpr uint64_t kMinSceneType = 8;  // value, empty list

// name (aligned), value u32, scene_type_indices (list of u32).
ParseResult<TerrainType> read_terrain_type(Cursor& cursor) {
  TerrainType type;
  auto name = read_name(cursor);
  if (!name) return make_unexpected(std::move(name).error());
  type.name = std::move(*name);
  auto value = read_u32(cursor);
  if (!value) return make_unexpected(std::move(value).error());
  type.value = *value;
  auto indices = read_u32_list(cursor);
  if (!indices) return make_unexpected(std::move(indices).error());
  type.scene_type_indices = std::move(*indices);
  return type;
}

ParseResult<std::pair<uint32_t, uint32_t>> read_pair(Cursor& cursor) {
  auto words = read_u32_array<2>(cursor);
  if (!words) return make_unexpected(std::move(words).error());
  return std::pair<uint32_t, uint32_t>((*words)[0], (*words)[1]);
}

ParseResult<SceneType> read_scene_type(Cursor& cursor) {
  SceneType type;
  auto value = read_u32(cursor);
  if (!value) return make_unexpected(std::move(value).error());
  type.value = *value;
  auto scenes = read_u32_list(cursor);
  if (!scenes) return make_unexpected(std::move(scenes).error());
  type.scenes = std::move(*scenes);
  return type;
}

// Reads an optional part into `out` when `present`; an absent part consumes nothing.
template <class T>
ParseResult<void> read_optional(Cursor& cursor, bool present, std::optional<T>& out) {
  if (!present) return {};
  auto part = T::unpack(cursor);
  if (!part) return make_unexpected(std::move(part).error());
  out = std::move(*part);
  return {};
}

}  // namespace

ParseResult<TerrainDesc> TerrainDesc::unpack(Cursor& cursor) {
  TerrainDesc desc;
  auto types = read_list<TerrainType>(cursor, kMinTerrainType, read_terrain_type);
  if (!types) return make_unexpected(std::move(types).error());
  desc.terrain_types = std::move(*types);
  auto words = read_u32_array<2>(cursor);
  if (!words) return make_unexpected(std::move(words).error());
  desc.desc_words = *words;
  for (auto& pairs : desc.pair_lists) {
    auto list = read_list<std::pair<uint32_t, uint32_t>>(cursor, kPairSize, read_pair);
    if (!list) return make_unexpected(std::move(list).error());
    pairs = std::move(*list);
  }
  auto wide = read_list<std::array<uint32_t, 11>>(cursor, kWideEntrySize, read_u32_array<11>);
  if (!wide) return make_unexpected(std::move(wide).error());
  desc.wide_entries = std::move(*wide);
  return desc;
}

ParseResult<SceneDesc> SceneDesc::unpack(Cursor& cursor) {
  SceneDesc desc;
  auto types = read_list<SceneType>(cursor, kMinSceneType, read_scene_type);
  if (!types) return make_unexpected(std::move(types).error());
  desc.scene_types = std::move(*types);
  return desc;
}

ParseResult<RegionMisc> RegionMisc::unpack(Cursor& cursor) {
  auto values = read_u32_array<6>(cursor);
  if (!values) return make_unexpected(std::move(values).error());
  RegionMisc misc;
  misc.values = *values;
  return misc;
}

ParseResult<Region> Region::unpack(Cursor& cursor) {
  Region region;
  auto id = read_u32(cursor);
  if (!id) return make_unexpected(std::move(id).error());
  region.id = *id;
  auto header = read_u32_array<2>(cursor);
  if (!header) return make_unexpected(std::move(header).error());
  region.header_words = *header;
  auto name = read_name(cursor);
  if (!name) return make_unexpected(std::move(name).error());
  region.name = std::move(*name);
  auto params = read_u32_array<8>(cursor);
  if (!params) return make_unexpected(std::move(params).error());
  region.params = *params;
  auto heights = read_u32_array<256>(cursor);
  if (!heights) return make_unexpected(std::move(heights).error());
  for (size_t i = 0; i < region.height_table.size(); ++i) {
    region.height_table[i] = std::bit_cast<float>((*heights)[i]);
  }
  auto game_time = GameTime::unpack(cursor);
  if (!game_time) return make_unexpected(std::move(game_time).error());
  region.game_time = std::move(*game_time);
  auto mask = read_u32(cursor);
  if (!mask) return make_unexpected(std::move(mask).error());
  region.part_mask = *mask;

  const uint32_t m = region.part_mask;
  if (auto r = read_optional(cursor, (m & HAS_SKY) != 0, region.sky); !r)
    return make_unexpected(std::move(r).error());
  if (auto r = read_optional(cursor, (m & HAS_SOUND) != 0, region.sound); !r)
    return make_unexpected(std::move(r).error());
  if (auto r = read_optional(cursor, (m & HAS_SCENE) != 0, region.scene); !r)
    return make_unexpected(std::move(r).error());
  auto terrain = TerrainDesc::unpack(cursor);
  if (!terrain) return make_unexpected(std::move(terrain).error());
  region.terrain = std::move(*terrain);
  if (auto r = read_optional(cursor, (m & HAS_MISC) != 0, region.misc); !r)
    return make_unexpected(std::move(r).error());
  return region;
}

}  // namespace tallowmere::dat::file_type

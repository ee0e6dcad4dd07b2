// The region record (portal file 0x13000000): height table, calendar, terrain and scene
// tables and the optional sky, sound and miscellaneous parts.
//
// Layout: id u32, header_words 2 x u32, name (PString16, align 4), params 8 x u32,
// height_table 256 x f32, GameTime, part_mask u32, then SkyDesc (mask 0x10), SoundDesc
// (0x01), SceneDesc (0x02), TerrainDesc (always), RegionMisc (0x200), in that order.
// Lists are a u32 count and their elements; no value is validated.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/file_type/game_time.hpp"

namespace tallowmere::dat::file_type {

struct TerrainType {
  std::string name;
  uint32_t value = 0;
  std::vector<uint32_t> scene_type_indices;  // indices into SceneDesc::scene_types
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct TerrainDesc {
  std::vector<TerrainType> terrain_types;
  std::array<uint32_t, 2> desc_words{};
  std::array<std::vector<std::pair<uint32_t, uint32_t>>, 3> pair_lists;
  std::vector<std::array<uint32_t, 11>> wide_entries;
  [[nodiscard]] static common::ParseResult<TerrainDesc> unpack(common::Cursor& cursor) {
    return common::read_record<TerrainDesc>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct SceneType {
  uint32_t value = 0;
  std::vector<uint32_t> scenes;  // scene file ids (0x12xxxxxx)
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct SceneDesc {
  std::vector<SceneType> scene_types;
  [[nodiscard]] static common::ParseResult<SceneDesc> unpack(common::Cursor& cursor) {
    return common::read_record<SceneDesc>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct RegionMisc {
  std::array<uint32_t, 6> values{};
  [[nodiscard]] static common::ParseResult<RegionMisc> unpack(common::Cursor& cursor) {
    return common::read_record<RegionMisc>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct Region {
  static constexpr uint32_t HAS_SOUND = 0x01;
  static constexpr uint32_t HAS_SCENE = 0x02;
  static constexpr uint32_t HAS_SKY = 0x10;
  static constexpr uint32_t HAS_MISC = 0x200;

  uint32_t id = 0;
  std::array<uint32_t, 2> header_words{};
  std::string name;
  std::array<uint32_t, 8> params{};
  std::array<float, 256> height_table{};
  GameTime game_time;
  uint32_t part_mask = 0;
  std::optional<SkyDesc> sky;
  std::optional<SoundDesc> sound;
  std::optional<SceneDesc> scene;
  TerrainDesc terrain;
  std::optional<RegionMisc> misc;

  [[nodiscard]] static common::ParseResult<Region> unpack(common::Cursor& cursor) {
    return common::read_record<Region>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

}  // namespace tallowmere::dat::file_type

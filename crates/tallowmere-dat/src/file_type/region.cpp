// The region record. Hand-written layout: optional parts follow the part mask in file
// order (sky, sound, scene, then the terrain description that is always present, then
// misc), which is not the order of their bits. Names are PStrings with a 2-byte length
// followed by alignment to 4 counted from the start of the payload. Errors of the
// readers pass through unchanged; no value is validated.
#include "tallowmere/dat/file_type/region.hpp"

#include "../field_codecs.hpp"

namespace tallowmere::dat::file_type {

using common::Counted;
using common::CountU32;

template <class A, class Self>
void TerrainType::describe(A& a, Self& type) {
  a.hand_written("TerrainType");
  a.field("name", type.name, codec::Name{});
  a.field("value", type.value);
  a.list("scene_type_indices", type.scene_type_indices, CountU32{});
}

// Three lists of (u32, u32) pairs, one after another, each with its own count.
template <class A, class Self>
void TerrainDesc::describe(A& a, Self& desc) {
  a.hand_written("TerrainDesc");
  a.list("terrain_types", desc.terrain_types, CountU32{});
  a.field("desc_words", desc.desc_words);
  a.list("pair_lists", desc.pair_lists, Counted{3}, common::ListOf<CountU32>{});
  a.list("wide_entries", desc.wide_entries, CountU32{});
}

template <class A, class Self>
void SceneType::describe(A& a, Self& type) {
  a.hand_written("SceneType");
  a.field("value", type.value);
  a.list("scenes", type.scenes, CountU32{});
}

template <class A, class Self>
void SceneDesc::describe(A& a, Self& desc) {
  a.hand_written("SceneDesc");
  a.list("scene_types", desc.scene_types, CountU32{});
}

template <class A, class Self>
void RegionMisc::describe(A& a, Self& misc) {
  a.hand_written("RegionMisc");
  a.field("values", misc.values);
}

template <class A, class Self>
void Region::describe(A& a, Self& region) {
  a.hand_written("Region");
  a.field("id", region.id);
  a.field("header_words", region.header_words);
  a.field("name", region.name, codec::Name{});
  a.field("params", region.params);
  a.field("height_table", region.height_table);
  a.field("game_time", region.game_time);
  a.field("part_mask", region.part_mask);
  const uint32_t mask = region.part_mask;
  a.optional("sky", region.sky, (mask & HAS_SKY) != 0);
  a.optional("sound", region.sound, (mask & HAS_SOUND) != 0);
  a.optional("scene", region.scene, (mask & HAS_SCENE) != 0);
  a.field("terrain", region.terrain);
  a.optional("misc", region.misc, (mask & HAS_MISC) != 0);
}

TALLOWMERE_DESCRIBED(TerrainType);
TALLOWMERE_DESCRIBED(TerrainDesc);
TALLOWMERE_DESCRIBED(SceneType);
TALLOWMERE_DESCRIBED(SceneDesc);
TALLOWMERE_DESCRIBED(RegionMisc);
TALLOWMERE_DESCRIBED(Region);

}  // namespace tallowmere::dat::file_type

// Encoders of the world records; each mirrors its parser field by field, so alignment
// after a name is counted from the first byte of the payload being built.
#include "tallowmere/dat_writer/world_records.hpp"

#include <algorithm>
#include <utility>

#include "tallowmere/dat_writer/byte_writer.hpp"

namespace tallowmere::writer {

namespace {

namespace ft = dat::file_type;
namespace lb = dat::landblock;

void vector3(ByteWriter& w, const common::Vector3& v) {
  w.f32(v.x).f32(v.y).f32(v.z);
}

void quaternion(ByteWriter& w, const common::Quaternion& q) {
  w.f32(q.w).f32(q.x).f32(q.y).f32(q.z);
}

template <class Frame>
void frame(ByteWriter& w, const Frame& f) {
  vector3(w, f.origin);
  quaternion(w, f.orientation);
}

template <size_t N>
void words(ByteWriter& w, const std::array<uint32_t, N>& values) {
  for (uint32_t v : values) w.u32(v);
}

void name(ByteWriter& w, const std::string& text) {
  w.pstring16(text).align4();
}

void count(ByteWriter& w, size_t n) {
  w.u32(static_cast<uint32_t>(n));
}

void u32_list(ByteWriter& w, const std::vector<uint32_t>& values) {
  count(w, values.size());
  for (uint32_t v : values) w.u32(v);
}

void game_time(ByteWriter& w, const ft::GameTime& t) {
  w.f64(t.time_value);
  words(w, t.values);
  name(w, t.name);
  count(w, t.times_of_day.size());
  for (const auto& tod : t.times_of_day) {
    w.u32(tod.value).u32(tod.flag ? 1 : 0);
    name(w, tod.name);
  }
  count(w, t.names.size());
  for (const auto& n : t.names) name(w, n);
  count(w, t.seasons.size());
  for (const auto& s : t.seasons) {
    w.u32(s.value);
    name(w, s.name);
  }
}

void sky(ByteWriter& w, const ft::SkyDesc& s) {
  w.u64(s.values[0]).u64(s.values[1]).align4();
  count(w, s.day_groups.size());
  for (const auto& group : s.day_groups) {
    w.u32(group.value);
    name(w, group.name);
    count(w, group.items.size());
    for (const auto& item : group.items) {
      words(w, item.values);
      w.align4();
    }
    count(w, group.sky_times.size());
    for (const auto& time : group.sky_times) {
      words(w, time.values);
      w.align4();
      count(w, time.items.size());
      for (const auto& item : time.items) {
        words(w, item.values);
        w.align4();
      }
    }
  }
}

void sound(ByteWriter& w, const ft::SoundDesc& s) {
  count(w, s.ambient_descs.size());
  for (const auto& desc : s.ambient_descs) {
    w.u32(desc.value);
    count(w, desc.items.size());
    for (const auto& item : desc.items) words(w, item.values);
  }
}

void scene_desc(ByteWriter& w, const ft::SceneDesc& s) {
  count(w, s.scene_types.size());
  for (const auto& type : s.scene_types) {
    w.u32(type.value);
    u32_list(w, type.scenes);
  }
}

void terrain(ByteWriter& w, const ft::TerrainDesc& t) {
  count(w, t.terrain_types.size());
  for (const auto& type : t.terrain_types) {
    name(w, type.name);
    w.u32(type.value);
    u32_list(w, type.scene_type_indices);
  }
  words(w, t.desc_words);
  for (const auto& pairs : t.pair_lists) {
    count(w, pairs.size());
    for (const auto& [a, b] : pairs) w.u32(a).u32(b);
  }
  count(w, t.wide_entries.size());
  for (const auto& entry : t.wide_entries) words(w, entry);
}

void object_desc(ByteWriter& w, const ft::ObjectDesc& d) {
  w.u32(d.obj_id);
  frame(w, d.base_frame);
  w.f32(d.probability).f32(d.random_offset_x).f32(d.random_offset_y);
  w.f32(d.min_scale).f32(d.max_scale).f32(d.max_rotation).f32(d.min_slope).f32(d.max_slope);
  w.u32(d.aux_1).u32(d.aux_2).u32(d.external_obj);
}

void portal(ByteWriter& w, const lb::PortalInternal& p) {
  w.u16(p.flags).u16(p.other_cell_id).u16(p.other_portal_id).u16(p.num_stabs);
  for (uint16_t s : p.stab_list) w.u16(s);
  w.zeros((2 * size_t{p.num_stabs}) % 4);  // the pad follows the stored count
}

}  // namespace

std::vector<uint8_t> encode_cell_landblock(const lb::CellLandblock& cell) {
  ByteWriter w;
  w.u32(cell.id).u32(cell.has_objects);
  for (uint16_t word : cell.terrain) w.u16(word);
  w.bytes(cell.height).u8(0);
  return w.take();
}

std::vector<uint8_t> encode_landblock_info(const lb::LandblockInfo& info) {
  ByteWriter w;
  w.u32(info.id).u32(info.num_cells);
  count(w, info.objects.size());
  for (const auto& stab : info.objects) {
    w.u32(stab.id);
    frame(w, stab.frame);
  }
  w.u16(static_cast<uint16_t>(info.buildings.size())).u16(info.pack_mask);
  for (const auto& building : info.buildings) {
    w.u32(building.model_id);
    frame(w, building.frame);
    w.u32(building.num_leaves).u32(building.num_portals);
    for (const auto& p : building.portals) portal(w, p);
  }
  if (info.restriction_tables) {
    const auto& table = *info.restriction_tables;
    w.u16(table.count).u16(table.bucket_size);
    std::vector<std::pair<uint32_t, uint32_t>> pairs(table.tables.begin(), table.tables.end());
    std::sort(pairs.begin(), pairs.end());
    for (const auto& [key, value] : pairs) w.u32(key).u32(value);
  }
  return w.take();
}

uint32_t region_part_mask(const ft::Region& region) {
  uint32_t mask = 0;
  if (region.sky) mask |= ft::Region::HAS_SKY;
  if (region.sound) mask |= ft::Region::HAS_SOUND;
  if (region.scene) mask |= ft::Region::HAS_SCENE;
  if (region.misc) mask |= ft::Region::HAS_MISC;
  return mask;
}

std::vector<uint8_t> encode_region(const ft::Region& region) {
  ByteWriter w;
  w.u32(region.id);
  words(w, region.header_words);
  name(w, region.name);
  words(w, region.params);
  for (float h : region.height_table) w.f32(h);
  game_time(w, region.game_time);
  w.u32(region.part_mask);
  if (region.sky) sky(w, *region.sky);
  if (region.sound) sound(w, *region.sound);
  if (region.scene) scene_desc(w, *region.scene);
  terrain(w, region.terrain);
  if (region.misc) words(w, region.misc->values);
  return w.take();
}

std::vector<uint8_t> encode_scene(const ft::Scene& scene) {
  ByteWriter w;
  w.u32(scene.id);
  count(w, scene.objects.size());
  for (const auto& d : scene.objects) object_desc(w, d);
  return w.take();
}

std::vector<uint8_t> encode_object_desc(const ft::ObjectDesc& desc) {
  ByteWriter w;
  object_desc(w, desc);
  return w.take();
}

}  // namespace tallowmere::writer

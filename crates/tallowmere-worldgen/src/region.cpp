// The region record: a rising height table with repeats, a calendar, sky, sound, scene
// and miscellaneous parts (all present), and 32 terrain types whose scene type lists
// include empty ones and indices beyond the scene types.
#include <bit>

#include "generators.hpp"

namespace tallowmere::worldgen {

namespace {

namespace ft = dat::file_type;

constexpr const char* kSyllables[] = {"ash",  "bel", "cor", "dun", "el",  "fen", "gar", "hol",
                                      "ir",   "jen", "kel", "lor", "mor", "nes", "or",  "pel",
                                      "quin", "ros", "sel", "tor", "ul",  "ven", "wyr", "yth"};
constexpr const char* kSuffixes[] = {"", "", "", " Moor", " Vale", " Reach", " Flats", " Wood"};

// A made-up name of 2 to 20 or so characters, so that alignment after it varies.
std::string name(Rng& rng, bool suffix = false) {
  std::string text;
  for (int k = rng.between(1, 4); k > 0; --k) text += kSyllables[rng.below(24)];
  text[0] = static_cast<char>(text[0] - 'a' + 'A');
  if (suffix) text += kSuffixes[rng.below(8)];
  return text;
}

template <size_t N>
std::array<uint32_t, N> words(Rng& rng) {
  std::array<uint32_t, N> values{};
  for (uint32_t& v : values) v = rng.chance(0.3) ? rng.below(16) : rng.u32();
  return values;
}

ft::GameTime calendar(Rng& rng) {
  ft::GameTime time;
  time.time_value = 3600.0 * rng.between(1, 48);
  time.values = {rng.below(1000), 60, 24};
  time.name = name(rng);
  for (uint32_t i = 0; i < 16; ++i) {
    time.times_of_day.push_back({i * 1800, i % 3 != 0, name(rng)});
  }
  for (int i = 0; i < 12; ++i) time.names.push_back(name(rng));
  for (uint32_t i = 0; i < 4; ++i) time.seasons.push_back({i * 90, name(rng)});
  return time;
}

ft::SkyDesc sky(Rng& rng) {
  ft::SkyDesc sky;
  sky.values = {std::bit_cast<uint64_t>(0.25 * rng.between(1, 8)),
                std::bit_cast<uint64_t>(1.0 + rng.unit())};
  for (int g = rng.between(2, 4); g > 0; --g) {
    ft::DayGroup group;
    group.value = rng.below(100);
    group.name = name(rng);
    for (int k = rng.between(0, 5); k > 0; --k) group.items.push_back({words<9>(rng)});
    for (int k = rng.between(0, 6); k > 0; --k) {
      ft::SkyTimeOfDay time;
      time.values = words<11>(rng);
      for (int j = rng.between(0, 4); j > 0; --j) time.items.push_back({words<6>(rng)});
      group.sky_times.push_back(std::move(time));
    }
    sky.day_groups.push_back(std::move(group));
  }
  return sky;
}

ft::SoundDesc sound(Rng& rng) {
  ft::SoundDesc sound;
  for (int d = 0; d < 12; ++d) {
    ft::AmbientSTBDesc desc;
    desc.value = rng.below(64);
    for (int k = rng.between(0, 5); k > 0; --k) desc.items.push_back({words<5>(rng)});
    sound.ambient_descs.push_back(std::move(desc));
  }
  return sound;
}

}  // namespace

dat::file_type::Region make_region(const Catalog& catalog) {
  Rng rng = Rng::stream(catalog.seed, Stream::Region);
  ft::Region region;
  region.id = 0x13000000;
  region.header_words = {1, rng.below(8)};
  region.name = name(rng, true);
  region.params = words<8>(rng);

  // Heights rise from 0 in steps of 0 to 3 units (a step of 0 repeats the height).
  static constexpr int kTenths[] = {0, 0, 10, 10, 15, 20, 25, 30};
  int tenths = 0;
  for (float& h : region.height_table) {
    h = static_cast<float>(tenths) / 10.0f;
    tenths += kTenths[rng.below(8)];
  }

  region.game_time = calendar(rng);
  region.sky = sky(rng);
  region.sound = sound(rng);

  const uint32_t scene_types = catalog.shape.scene_types;
  ft::SceneDesc scenes;
  for (uint32_t t = 0; t < scene_types; ++t) {
    ft::SceneType type;
    type.value = rng.below(256);
    if (!rng.chance(0.08) && !catalog.scenes.empty()) {
      for (int k = rng.between(1, 8); k > 0; --k)
        type.scenes.push_back(rng.pick(catalog.scenes).id);
    }
    scenes.scene_types.push_back(std::move(type));
  }
  region.scene = std::move(scenes);

  // Terrain types 7 and 23 carry no scenes; a few list entries point past the scene types.
  for (uint32_t t = 0; t < 32; ++t) {
    ft::TerrainType type;
    type.name = name(rng, true);
    type.value = rng.below(0x10000);
    if (t != 7 && t != 23) {
      for (int k = rng.between(2, 12); k > 0; --k) {
        const uint32_t r = rng.below(100);
        type.scene_type_indices.push_back(r < 3   ? 0xFFFFFFFFu
                                          : r < 6 ? scene_types + rng.below(10)
                                                  : rng.below(scene_types));
      }
    }
    region.terrain.terrain_types.push_back(std::move(type));
  }
  region.terrain.desc_words = words<2>(rng);
  for (auto& pairs : region.terrain.pair_lists) {
    for (int k = rng.between(0, 6); k > 0; --k) {
      const uint32_t key = rng.below(32);
      pairs.emplace_back(key, rng.u32());
    }
  }
  for (int k = rng.between(0, 4); k > 0; --k) region.terrain.wide_entries.push_back(words<11>(rng));
  region.misc = ft::RegionMisc{words<6>(rng)};
  region.part_mask =
      ft::Region::HAS_SKY | ft::Region::HAS_SOUND | ft::Region::HAS_SCENE | ft::Region::HAS_MISC;
  return region;
}

}  // namespace tallowmere::worldgen

// Cell landblocks: terrain words and height indices from seeded value noise over the
// whole world's vertex grid, so that neighbouring landblocks agree on their shared edge.
//
// The noise is integer arithmetic only (hashed lattice values, bilinear weights), so a
// seed gives the same terrain whatever the compiler or its floating-point settings.
#include <algorithm>

#include "generators.hpp"

namespace tallowmere::worldgen {

namespace {

// A 16-bit lattice value of one noise layer.
uint64_t lattice(uint64_t seed, uint64_t layer, uint64_t ix, uint64_t iy) {
  using common::mix64;
  return mix64(seed ^ mix64(layer * common::kSplitMixGamma ^ (ix << 32 | iy))) >> 48;
}

// Value noise with lattice spacing `spacing` vertices, 0..65535.
uint64_t value_noise(uint64_t seed, uint64_t layer, uint64_t gx, uint64_t gy, uint64_t spacing) {
  const uint64_t ix = gx / spacing, fx = gx % spacing, iy = gy / spacing, fy = gy % spacing;
  const uint64_t v00 = lattice(seed, layer, ix, iy), v10 = lattice(seed, layer, ix + 1, iy);
  const uint64_t v01 = lattice(seed, layer, ix, iy + 1), v11 = lattice(seed, layer, ix + 1, iy + 1);
  const uint64_t a = v00 * (spacing - fx) + v10 * fx;
  const uint64_t b = v01 * (spacing - fx) + v11 * fx;
  return (a * (spacing - fy) + b * fy) / (spacing * spacing);
}

// Height index 0..255 of global vertex (gx, gy): broad land masses, hills and detail.
uint8_t height_index(uint64_t seed, uint64_t gx, uint64_t gy) {
  const uint64_t broad = value_noise(seed, 1, gx, gy, 256);
  const uint64_t hills = value_noise(seed, 2, gx, gy, 40);
  const uint64_t detail = value_noise(seed, 3, gx, gy, 9);
  const uint64_t sum = (5 * broad + 3 * hills + detail) / 9;  // 0..65535
  // Stretch the middle of the range, where sums of noise crowd.
  const int64_t stretched = (static_cast<int64_t>(sum) - 32768) * 2 + 32768;
  return static_cast<uint8_t>(std::clamp<int64_t>(stretched, 0, 65535) >> 8);
}

// Terrain type 0..31: patches of one type, shifted by height.
uint16_t terrain_type(uint64_t seed, uint64_t gx, uint64_t gy, uint8_t height) {
  const uint64_t patch = value_noise(seed, 4, gx, gy, 20) >> 11;  // 0..31
  return static_cast<uint16_t>((patch + height / 48 * 5) % 32);
}

}  // namespace

dat::landblock::CellLandblock make_cell_landblock(const Catalog& catalog,
                                                  const dat::file_type::Region& region,
                                                  uint16_t landblock) {
  Rng rng = Rng::stream(catalog.seed, Stream::Terrain, landblock);
  const uint64_t noise_seed = common::mix64(catalog.seed ^ 0x7E44A1Bull);
  dat::landblock::CellLandblock cell;
  cell.id = uint32_t{landblock} << 16 | 0xFFFF;
  cell.terrain.resize(dat::landblock::kVertexCount);
  cell.height.resize(dat::landblock::kVertexCount);
  const uint64_t x0 = uint64_t{landblock} >> 8 << 3, y0 = (uint64_t{landblock} & 0xFF) << 3;
  for (uint32_t i = 0; i < dat::landblock::kVertexCount; ++i) {
    const uint64_t gx = x0 + i / 9, gy = y0 + i % 9;
    const uint8_t height = height_index(noise_seed, gx, gy);
    const uint16_t type = terrain_type(noise_seed, gx, gy, height);
    // Scene indices, roads (exclusion bits) and the unused bits come in patches, as
    // painted terrain does; now and then a vertex differs from its patch.
    const auto& scenes = region.terrain.terrain_types[type].scene_type_indices;
    const auto listed = std::min<uint64_t>(scenes.size(), 32);
    const uint64_t patch = value_noise(noise_seed, 5, gx, gy, 5);
    uint16_t scene = static_cast<uint16_t>(listed != 0 ? patch * listed >> 16 : patch >> 11);
    if (rng.chance(0.1)) scene = static_cast<uint16_t>(rng.below(32));
    const uint64_t road = value_noise(noise_seed, 6, gx, gy, 16);
    uint16_t exclusion = road >= 32000 && road < 34500 ? 1 : 0;
    if (rng.chance(0.01)) exclusion = static_cast<uint16_t>(rng.between(1, 3));
    const uint64_t marks = value_noise(noise_seed, 7, gx, gy, 12);
    const uint16_t unused = marks > 44000 ? static_cast<uint16_t>(marks >> 12 & 0xF) : 0;
    cell.terrain[i] = static_cast<uint16_t>(exclusion | type << 2 | unused << 7 | scene << 11);
    cell.height[i] = height;
  }
  // Almost every landblock has objects; the value is stored whole.
  cell.has_objects = rng.chance(0.95) ? 1 : 0;
  return cell;
}

}  // namespace tallowmere::worldgen

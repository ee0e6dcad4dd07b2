#include "catalog.hpp"

#include <algorithm>
#include <cmath>

#include "random.hpp"

namespace tallowmere::worldgen {

namespace {

// Filler file types: counts at demo and full scale, payload sizes and content style.
constexpr FillerType kFillerTypes[] = {
    {0x03, 60, 6000, 200, 12000, FillerStyle::Table},   // animations
    {0x04, 20, 1500, 2052, 2052, FillerStyle::Table},   // palettes
    {0x05, 40, 5000, 16, 64, FillerStyle::Table},       // surface textures
    {0x06, 50, 8000, 1024, 98304, FillerStyle::Image},  // textures
    {0x08, 60, 6000, 20, 60, FillerStyle::Table},       // surfaces
    {0x09, 10, 1000, 200, 4000, FillerStyle::Table},    // motion tables
    {0x0A, 15, 2000, 4000, 80000, FillerStyle::Wave},   // sounds
    {0x0D, 8, 300, 500, 20000, FillerStyle::Table},     // environments
    {0x0E, 3, 20, 100, 50000, FillerStyle::Table},      // tables
    {0x0F, 5, 300, 40, 400, FillerStyle::Table},        // palette sets
    {0x11, 20, 1000, 20, 200, FillerStyle::Table},      // degrade descriptions
    {0x20, 8, 200, 100, 2000, FillerStyle::Table},      // sound tables
    {0x22, 5, 150, 100, 2000, FillerStyle::Table},
    {0x31, 2, 40, 1000, 30000, FillerStyle::Text},  // string tables
    {0x32, 10, 500, 100, 300, FillerStyle::Table},  // emitters
    {0x33, 20, 1000, 20, 400, FillerStyle::Table},  // scripts
    {0x34, 4, 100, 50, 800, FillerStyle::Table},    // script tables
};

const std::vector<uint32_t> kNone;

// `count` ids of file type `type`, ascending with small gaps, as real archives have.
std::vector<uint32_t> sparse_ids(Rng& rng, uint8_t type, uint32_t count) {
  std::vector<uint32_t> ids;
  ids.reserve(count);
  uint32_t low = 1 + rng.below(16);
  for (uint32_t i = 0; i < count; ++i) {
    ids.push_back(uint32_t{type} << 24 | low);
    low += 1 + (rng.chance(0.3) ? rng.below(4) : 0);
  }
  return ids;
}

// Marks max(1, share x candidates) of the candidates missing and as many truncated.
void damage(Rng& rng, std::vector<Model>& models, Role role, double share) {
  std::vector<size_t> candidates;
  for (size_t i = 0; i < models.size(); ++i) {
    if (models[i].role == role) candidates.push_back(i);
  }
  if (candidates.size() < 8) return;
  rng.shuffle(candidates);
  const size_t n = std::max<size_t>(
      1, static_cast<size_t>(std::lround(share * static_cast<double>(candidates.size()))));
  for (size_t k = 0; k < 2 * n; ++k) {
    models[candidates[k]].status = k < n ? Status::Missing : Status::Truncated;
  }
}

std::vector<Model> models_of(Rng& rng, uint8_t type, uint32_t count, double building_share,
                             double other_share) {
  std::vector<Model> models;
  for (uint32_t id : sparse_ids(rng, type, count)) {
    const double r = rng.unit();
    Role role = r < building_share                 ? Role::Building
                : r < building_share + other_share ? Role::Other
                                                   : Role::Prop;
    models.push_back({id, role, Status::Intact});
  }
  return models;
}

}  // namespace

Shape shape_of(Scale scale) {
  switch (scale) {
    case Scale::Full:
      return {0x00, 0xFE, 0x00, 0xFE, 0x00, 0xFE, 0x00, 0xFE, 14000, 6000, 1400, 120};
    case Scale::Tiny:
      return {0xA3, 0xA6, 0xAE, 0xB1, 0xA3, 0xA6, 0xAE, 0xB1, 60, 30, 24, 12};
    case Scale::Demo:
      break;
  }
  return {0xA2, 0xB0, 0xAD, 0xBB, 0xA3, 0xAF, 0xAE, 0xBA, 320, 160, 140, 40};
}

const std::vector<uint32_t>& Catalog::filler(uint8_t type) const {
  for (const FillerGroup& group : fillers) {
    if (group.type.type == type) return group.ids;
  }
  return kNone;
}

Catalog make_catalog(uint64_t seed, Scale scale) {
  Catalog catalog;
  catalog.seed = seed;
  catalog.scale = scale;
  catalog.shape = shape_of(scale);
  Rng rng = Rng::stream(seed, Stream::Catalog);

  for (const FillerType& type : kFillerTypes) {
    uint32_t count = scale == Scale::Full   ? type.full_count
                     : scale == Scale::Demo ? type.demo_count
                                            : std::max<uint32_t>(1, type.demo_count / 4);
    catalog.fillers.push_back({type, sparse_ids(rng, type.type, count)});
  }

  catalog.gfx_objects = models_of(rng, 0x01, catalog.shape.gfx_objects, 0.2, 0.0);
  catalog.setup_models = models_of(rng, 0x02, catalog.shape.setup_models, 0.2, 0.3);
  damage(rng, catalog.gfx_objects, Role::Prop, 0.015);
  damage(rng, catalog.setup_models, Role::Prop, 0.015);
  for (uint32_t id : sparse_ids(rng, 0x12, catalog.shape.scenes)) {
    catalog.scenes.push_back({id, Role::Prop, Status::Intact});
  }
  damage(rng, catalog.scenes, Role::Prop, 0.02);

  for (const Model& m : catalog.gfx_objects) {
    const bool intact = m.status == Status::Intact;
    if (m.role == Role::Prop) {
      catalog.prop_gfx.push_back(m.id);
      if (intact) catalog.static_objects.push_back(m.id);
    } else if (intact) {
      catalog.building_gfx.push_back(m.id);
    }
  }
  for (const Model& m : catalog.setup_models) {
    const bool intact = m.status == Status::Intact;
    if (m.role == Role::Prop) catalog.prop_setups.push_back(m.id);
    if (m.role == Role::Building && intact) catalog.building_models.push_back(m.id);
    if (m.role != Role::Building && intact) catalog.static_objects.push_back(m.id);
  }
  // Some buildings are a single graphics object placed directly.
  for (size_t i = 0; i < catalog.building_gfx.size(); i += 3) {
    catalog.building_models.push_back(catalog.building_gfx[i]);
  }
  std::sort(catalog.building_models.begin(), catalog.building_models.end());
  std::sort(catalog.static_objects.begin(), catalog.static_objects.end());

  for (uint8_t type : {uint8_t{0x03}, uint8_t{0x0A}}) {
    const auto& ids = catalog.filler(type);
    for (size_t i = 0; i < ids.size() && i < 4; ++i) catalog.meshless.push_back(ids[i]);
  }
  return catalog;
}

}  // namespace tallowmere::worldgen

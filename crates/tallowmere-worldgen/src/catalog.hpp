// The catalog: every portal file id of a world, what each one is for and whether it is
// damaged on purpose, decided before any payload is made, so that scenes, setup models
// and landblocks can refer to files that are generated later (or never).
#pragma once

#include <cstdint>
#include <vector>

#include "tallowmere/worldgen/worldgen.hpp"

namespace tallowmere::worldgen {

enum class Status : uint8_t { Intact, Missing, Truncated };

enum class Role : uint8_t {
  Prop,      // scenery: used by scenes, static objects and prop setup models
  Building,  // a building or a piece of one
  Other,     // a setup model nothing in the world places
};

struct Model {
  uint32_t id = 0;
  Role role = Role::Prop;
  Status status = Status::Intact;
};

enum class FillerStyle : uint8_t { Table, Image, Wave, Text };

struct FillerType {
  uint8_t type;  // high byte of the ids
  uint32_t demo_count;
  uint32_t full_count;
  uint32_t min_size;
  uint32_t max_size;
  FillerStyle style;
};

struct FillerGroup {
  FillerType type;
  std::vector<uint32_t> ids;
};

struct Shape {
  // Landblocks written, and the block inside them where damaged landblocks are chosen.
  uint8_t x_min, x_max, y_min, y_max;
  uint8_t core_x_min, core_x_max, core_y_min, core_y_max;
  uint32_t gfx_objects;
  uint32_t setup_models;
  uint32_t scenes;
  uint32_t scene_types;
};

Shape shape_of(Scale scale);

struct Catalog {
  uint64_t seed = 0;
  Scale scale = Scale::Demo;
  Shape shape{};

  std::vector<Model> gfx_objects;  // by ascending id
  std::vector<Model> setup_models;
  std::vector<Model> scenes;  // role unused
  std::vector<FillerGroup> fillers;

  // Ids by use. Lists that scenes draw from include damaged files; the lists that
  // landblocks draw from hold intact files only.
  std::vector<uint32_t> prop_gfx;         // any status
  std::vector<uint32_t> prop_setups;      // any status
  std::vector<uint32_t> building_gfx;     // intact, used as setup parts
  std::vector<uint32_t> building_models;  // intact building setups and gfx objects
  std::vector<uint32_t> static_objects;   // intact props and other setups
  std::vector<uint32_t> meshless;         // existing files of other types

  // The filler ids of one type (empty when the type has none).
  const std::vector<uint32_t>& filler(uint8_t type) const;
};

Catalog make_catalog(uint64_t seed, Scale scale);

}  // namespace tallowmere::worldgen

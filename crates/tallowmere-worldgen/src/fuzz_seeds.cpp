// The fuzz seeds of the record parsers, cut from the tiny world, and the driver that
// collects and writes the seeds of every target.
//
// Each target gets a handful of records that differ in what they make the parser do
// (optional parts present or not, every tree kind, damaged counts left to the fuzzer),
// chosen by fixed rules over the world so the same build always picks the same ones.
#include "tallowmere/worldgen/fuzz_seeds.hpp"

#include <algorithm>
#include <cstdio>
#include <set>
#include <tuple>

#include "fuzz_seed_parts.hpp"
#include "generators.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat_writer/compressor.hpp"
#include "tallowmere/dat_writer/model_records.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

namespace tallowmere::worldgen {

namespace fuzz {

namespace {

namespace ft = dat::file_type;
namespace lb = dat::landblock;
using dat::physics::BspTreeKind;

constexpr const char* kDat = "tallowmere-dat";

uint32_t stored_u32(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
         uint32_t{bytes[at + 3]} << 24;
}

void add_region_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out) {
  SeedList seeds(out, kDat, "region");
  seeds.add("region-every-part", writer::encode_region(world.region));
  ft::Region no_scene = world.region;
  no_scene.scene.reset();
  no_scene.part_mask = writer::region_part_mask(no_scene);
  seeds.add("region-no-scene", writer::encode_region(no_scene));
  ft::Region bare = no_scene;
  bare.sky.reset();
  bare.sound.reset();
  bare.misc.reset();
  bare.part_mask = writer::region_part_mask(bare);
  seeds.add("region-bare", writer::encode_region(bare));
}

// The first landblocks of each kind of content: buildings or not, a restriction table
// or not, objects or not, the second pack bit or not.
void add_landblock_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out) {
  SeedList cells(out, kDat, "cell_landblock");
  SeedList infos(out, kDat, "landblock_info");
  std::set<std::tuple<bool, bool, bool, bool>> kinds;
  for (size_t i = 0; i < world.infos.size(); ++i) {
    const lb::LandblockInfo& info = world.infos[i];
    const auto kind =
        std::make_tuple(info.buildings.empty(), info.objects.empty(),
                        info.restriction_tables.has_value(), (info.pack_mask & 2) != 0);
    if (!kinds.insert(kind).second) continue;
    infos.add("info-" + hex_id(info.id), writer::encode_landblock_info(info));
    if (kinds.size() <= 4) {
      cells.add("cell-" + hex_id(world.cells[i].id), writer::encode_cell_landblock(world.cells[i]));
    }
  }
}

void add_scene_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out) {
  SeedList seeds(out, kDat, "scene");
  size_t taken = 0;
  for (const Model& scene : world.catalog.scenes) {
    if (scene.status != Status::Intact) continue;
    seeds.add("scene-" + hex_id(scene.id), scene_payload(world.catalog, scene));
    if (++taken == 6) break;
  }
}

// One graphics object per combination of flags and role; the trees of the first few
// go in as bare trees behind their kind byte, the drawing trees once more as cell trees
// (every tag a drawing tree uses is a cell tree's too).
void add_gfx_obj_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out) {
  SeedList seeds(out, kDat, "gfx_obj");
  std::set<std::pair<uint32_t, Role>> kinds;
  size_t trees = 0;
  for (const Model& model : world.catalog.gfx_objects) {
    if (model.status != Status::Intact) continue;
    std::vector<uint8_t> payload = gfx_obj_payload(world.catalog, model);
    if (!kinds.insert({stored_u32(payload, 4), model.role}).second) continue;
    if (trees < 3) {
      common::Cursor cursor(payload);
      auto obj = ft::GfxObj::unpack(cursor);
      const auto add_tree = [&](const dat::physics::BspTree& tree, BspTreeKind kind,
                                const char* kind_name) {
        writer::ByteWriter w;
        w.u8(static_cast<uint8_t>(kind));
        writer::encode_bsp(w, writer::bsp_spec(tree), kind);
        seeds.add(std::string("tree-") + kind_name + "-" + hex_id(model.id), w.take());
      };
      if (obj && !obj->physics_bsp.nodes.empty()) {
        add_tree(obj->physics_bsp, BspTreeKind::Physics, "physics");
      }
      if (obj && !obj->drawing_bsp.nodes.empty()) {
        add_tree(obj->drawing_bsp, BspTreeKind::Drawing, "drawing");
        add_tree(obj->drawing_bsp, BspTreeKind::Cell, "cell");
        ++trees;
      }
    }
    seeds.add("gfx-" + hex_id(model.id), std::move(payload));
  }
}

// Every fourth intact setup model: their first hooks are of types 0, 4, 8, ... (the
// generator gives the n-th intact model a first hook of type n mod 27).
void add_setup_model_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out) {
  SeedList seeds(out, kDat, "setup_model");
  uint32_t rank = 0;
  for (const Model& model : world.catalog.setup_models) {
    if (model.status != Status::Intact) continue;
    if (rank % 4 == 0) {
      seeds.add("setup-" + hex_id(model.id), setup_model_payload(world.catalog, model, rank));
    }
    ++rank;
  }
}

// Compressed payloads of several kinds, an empty input and a stored size of zero with
// a token stream behind it.
void add_decompress_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out) {
  SeedList seeds(out, kDat, "decompress");
  seeds.add("region", writer::compress_lrs(writer::encode_region(world.region)));
  seeds.add("cell-landblock", writer::compress_lrs(writer::encode_cell_landblock(world.cells[0])));
  const Model& gfx = world.catalog.gfx_objects.front();
  seeds.add("gfx-obj", writer::compress_lrs(gfx_obj_payload(world.catalog, gfx)));
  const std::vector<uint8_t> zeros(600, 0);
  seeds.add("zeros", writer::compress_lrs(zeros));
  seeds.add("empty", writer::compress_lrs({}));
  std::vector<uint8_t> stored_zero = writer::compress_lrs(zeros);
  std::fill_n(stored_zero.begin(), 4, uint8_t{0});
  seeds.add("stored-size-zero", std::move(stored_zero));
}

}  // namespace

std::string hex_id(uint32_t id) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", id);
  return text;
}

void add_record_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out) {
  add_region_seeds(world, out);
  add_landblock_seeds(world, out);
  add_scene_seeds(world, out);
  add_gfx_obj_seeds(world, out);
  add_setup_model_seeds(world, out);
  add_decompress_seeds(world, out);
}

}  // namespace fuzz

std::string FuzzSeed::path() const {
  return "crates/" + crate + "/fuzz/corpus/" + target + "/" + name;
}

std::vector<FuzzSeed> make_fuzz_seeds() {
  fuzz::SeedWorld world;
  world.catalog = make_catalog(1, Scale::Tiny);
  world.region = make_region(world.catalog);
  const Shape& s = world.catalog.shape;
  for (uint32_t x = s.x_min; x <= s.x_max; ++x) {
    for (uint32_t y = s.y_min; y <= s.y_max; ++y) {
      const auto landblock = static_cast<uint16_t>(x << 8 | y);
      world.cells.push_back(make_cell_landblock(world.catalog, world.region, landblock));
      world.infos.push_back(
          make_landblock_contents(world.catalog, world.region, world.cells.back(), landblock).info);
    }
  }

  std::vector<FuzzSeed> seeds;
  fuzz::add_record_seeds(world, seeds);
  fuzz::add_archive_seeds(world, seeds);
  fuzz::add_reader_seeds(seeds);
  fuzz::add_bake_seeds(world, seeds);
  std::sort(seeds.begin(), seeds.end(),
            [](const FuzzSeed& a, const FuzzSeed& b) { return a.path() < b.path(); });
  return seeds;
}

Expected<void, WriteError> write_fuzz_seeds(const std::string& root,
                                            std::span<const FuzzSeed> seeds) {
  for (const FuzzSeed& seed : seeds) {
    const std::string path = root + "/" + seed.path();
    const std::string folder = path.substr(0, path.rfind('/'));
    if (auto made = common::create_dir_all(folder); !made) {
      return make_unexpected(WriteError{folder, made.error()});
    }
    if (auto written = common::write_file(path, seed.bytes); !written) {
      return make_unexpected(WriteError{path, written.error()});
    }
  }
  return {};
}

}  // namespace tallowmere::worldgen

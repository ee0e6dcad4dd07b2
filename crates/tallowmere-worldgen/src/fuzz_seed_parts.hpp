// The makers of the fuzz seeds, one per family of targets, over one small world.
#pragma once

#include <string>
#include <vector>

#include "catalog.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/worldgen/fuzz_seeds.hpp"

namespace tallowmere::worldgen::fuzz {

// The world the seeds are cut from: the tiny scale's catalog, region and landblocks.
struct SeedWorld {
  Catalog catalog;
  dat::file_type::Region region;
  std::vector<dat::landblock::CellLandblock> cells;  // every landblock, x then y
  std::vector<dat::landblock::LandblockInfo> infos;  // the same landblocks' infos
};

// Collects the seeds of one crate's target.
class SeedList {
 public:
  SeedList(std::vector<FuzzSeed>& out, std::string crate, std::string target)
      : out_(out), crate_(std::move(crate)), target_(std::move(target)) {}
  void add(std::string name, std::vector<uint8_t> bytes) {
    out_.push_back({crate_, target_, std::move(name), std::move(bytes)});
  }

 private:
  std::vector<FuzzSeed>& out_;
  std::string crate_, target_;
};

// "%08x" of an id, for seed names.
std::string hex_id(uint32_t id);

// Records read by one parser each: cell_landblock, landblock_info, region, scene,
// gfx_obj (with bare trees), setup_model, decompress.
void add_record_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out);
// Whole archives: archive_open.
void add_archive_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out);
// The primitive readers behind a selector byte: readers.
void add_reader_seeds(std::vector<FuzzSeed>& out);
// Landblock bakes in the bake target's own input layout: bake.
void add_bake_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out);

}  // namespace tallowmere::worldgen::fuzz

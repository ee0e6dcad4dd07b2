// Whole-landblock bakes over generated inputs: repeatability, the output's invariants,
// and a recorded digest of results that use no maths-library call, which any compiler,
// flag set or instruction set must reproduce bit for bit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "tallowmere/bake/bake.hpp"
#include "tallowmere/common/splitmix.hpp"

namespace tallowmere::bake {
namespace {

using dat::file_type::ObjectDesc;

// Inputs from SplitMix64, whose output does not depend on the standard library.
class Rng {
 public:
  explicit Rng(uint64_t seed) : bits_(seed) {}
  uint64_t next() { return bits_.next(); }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
  // A float in [lo, hi) on a grid of 2^-12, so that inputs are exact.
  float in(float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(next() >> 52) / 4096.0f;
  }
  bool chance(uint32_t percent) { return below(100) < percent; }

 private:
  common::SplitMix64 bits_;
};

struct World {
  std::map<uint32_t, std::vector<ObjectDesc>> scenes;
  std::map<uint32_t, std::vector<common::Vector3>> meshes;
};

class WorldScenes : public SceneSource {
 public:
  explicit WorldScenes(const World& world) : world_(world) {}
  std::optional<std::span<const ObjectDesc>> lookup(uint32_t id) override {
    auto it = world_.scenes.find(id);
    if (it == world_.scenes.end()) return std::nullopt;
    return it->second;
  }

 private:
  const World& world_;
};

class WorldMeshes : public MeshSource {
 public:
  explicit WorldMeshes(const World& world) : world_(world) {}
  std::optional<std::span<const common::Vector3>> lookup(uint32_t id) override {
    auto it = world_.meshes.find(id);
    if (it == world_.meshes.end()) return std::nullopt;
    return std::span<const common::Vector3>(it->second);
  }

 private:
  const World& world_;
};

struct Case {
  dat::file_type::Region region;
  dat::landblock::CellLandblock cell;
  uint32_t cell_id = 0;
  std::vector<Footprint> buildings;
  bool use_slope = false;
};

constexpr uint32_t kScenes = 10, kMeshes = 8;

// Scenes 0x12000000.. and meshes 0x01000000..; the last scene and mesh ids are never
// defined, and mesh 0 is empty. Without `libm`, objects have no rotation and equal
// scale bounds, so the bake calls no maths-library function.
World make_world(Rng& rng, bool libm) {
  World world;
  for (uint32_t m = 1; m + 1 < kMeshes; ++m) {
    auto& mesh = world.meshes[0x01000000 + m];
    const float size = rng.in(0.25f, 4.0f);
    for (uint32_t v = rng.below(40) + 1; v > 0; --v) {
      mesh.push_back({rng.in(-size, size), rng.in(-size, size), rng.in(0, 9)});
    }
  }
  world.meshes[0x01000000];
  for (uint32_t s = 0; s + 1 < kScenes; ++s) {
    auto& objects = world.scenes[0x12000000 + s];
    for (uint32_t n = rng.below(14); n > 0; --n) {
      ObjectDesc d;
      d.obj_id = 0x01000000 + rng.below(kMeshes);
      d.base_frame.origin = {rng.in(-30, 30), rng.in(-30, 30), rng.in(-1, 1)};
      d.probability = rng.in(0, 1.2f);
      d.random_offset_x = rng.in(-4, 16);
      d.random_offset_y = rng.in(-4, 16);
      d.min_scale = rng.in(0.5f, 2);
      d.max_scale = rng.chance(30) || !libm ? d.min_scale : rng.in(0.5f, 3);
      d.max_rotation = libm ? rng.in(-30, 360) : 0;
      d.min_slope = rng.in(0, 0.3f);
      d.max_slope = rng.in(0.2f, 1.6f);
      d.external_obj = rng.chance(5) ? 1 : 0;
      objects.push_back(d);
    }
  }
  return world;
}

Case make_case(Rng& rng, bool libm) {
  Case c;
  auto& region = c.region;
  for (float& h : region.height_table) h = rng.in(-50, 250);
  for (uint32_t t = rng.below(4) + 1; t > 0; --t) {
    auto& indices = region.terrain.terrain_types.emplace_back().scene_type_indices;
    for (uint32_t s = rng.below(5); s > 0; --s) indices.push_back(rng.below(5));
  }
  if (rng.chance(95)) {
    region.scene.emplace();
    for (uint32_t k = rng.below(5); k > 0; --k) {
      auto& scenes = region.scene->scene_types.emplace_back().scenes;
      for (uint32_t s = rng.below(4); s > 0; --s) scenes.push_back(0x12000000 + rng.below(kScenes));
    }
  }
  for (int i = 0; i < 81; ++i) {
    uint16_t word = static_cast<uint16_t>((rng.below(5) << 11) | (rng.below(5) << 2));
    if (rng.chance(10)) word |= static_cast<uint16_t>(rng.below(3) + 1);
    c.cell.terrain.push_back(word);
    c.cell.height.push_back(static_cast<uint8_t>(rng.below(256)));
  }
  c.cell_id = rng.below(0x10000) << 16;
  for (uint32_t b = rng.below(3); b > 0; --b) {
    const float x = rng.in(0, 180), y = rng.in(0, 180);
    c.buildings.push_back(Footprint{x, y, x + rng.in(0, 30), y + rng.in(0, 30)});
  }
  c.use_slope = libm && rng.chance(30);
  return c;
}

std::vector<Placement> bake(const Case& c, const World& world) {
  WorldScenes scenes(world);
  WorldMeshes meshes(world);
  return bake_landblock_impl(c.region, c.cell, c.cell_id, scenes, meshes, c.buildings, c.use_slope);
}

// FNV-1a over the placements' twelve 4-byte fields, each least-significant byte first.
uint64_t fnv1a(uint64_t hash, const std::vector<Placement>& placements) {
  for (const Placement& p : placements) {
    uint32_t fields[12];
    std::memcpy(fields, &p, sizeof fields);
    for (uint32_t field : fields) {
      for (int shift = 0; shift < 32; shift += 8) {
        hash = (hash ^ ((field >> shift) & 0xFF)) * 0x100000001B3ull;
      }
    }
  }
  return hash;
}

// Bakes 400 generated landblocks twice, checks the invariants of every result and
// returns the digest of all placements and their count.
std::pair<uint64_t, size_t> bake_generated(uint64_t seed, bool libm) {
  Rng rng(seed);
  uint64_t digest = 0xCBF29CE484222325ull;
  size_t total = 0;
  World world;
  for (int landblock = 0; landblock < 400; ++landblock) {
    if (landblock % 40 == 0) world = make_world(rng, libm);
    const Case c = make_case(rng, libm);
    const std::vector<Placement> first = bake(c, world);
    const std::vector<Placement> second = bake(c, world);
    EXPECT_EQ(first.size(), second.size());
    if (first.size() == second.size() && !first.empty()) {
      EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(Placement)), 0)
          << "landblock " << landblock;
    }
    if (!c.region.scene) {
      EXPECT_TRUE(first.empty());
    }
    for (size_t i = 0; i < first.size(); ++i) {
      const Placement& p = first[i];
      EXPECT_TRUE(p.x >= 0 && p.x <= 192 && p.y >= 0 && p.y <= 192) << p.x << "," << p.y;
      EXPECT_LE(p.source_cell_x, 8u);
      EXPECT_LE(p.source_cell_y, 8u);
      EXPECT_EQ(p.qx, 0.0f);
      EXPECT_EQ(p.qy, 0.0f);
      if (i > 0) {
        const Placement& q = first[i - 1];
        EXPECT_LT(std::make_tuple(q.source_cell_x * 9 + q.source_cell_y, q.source_obj_idx),
                  std::make_tuple(p.source_cell_x * 9 + p.source_cell_y, p.source_obj_idx));
      }
    }
    digest = fnv1a(digest, first);
    total += first.size();
  }
  return {digest, total};
}

TEST(BakeDeterminism, RepeatedBakesAreIdenticalAndOrdered) {
  const auto [digest, total] = bake_generated(0x5EED0001, true);
  EXPECT_GT(total, 1000u);  // the generator must exercise the accept path
  // Printed so that builds with other flags or instruction sets can be compared.
  std::printf("bake digest %016llx over %zu placements\n", static_cast<unsigned long long>(digest),
              total);
}

TEST(BakeDeterminism, ResultsWithoutMathsLibraryCallsMatchRecordedDigest) {
  const auto [digest, total] = bake_generated(0x5EED0002, false);
  // Recorded from this implementation; contracting any multiply-add in the height, the
  // displacement or the footprint changes it.
  EXPECT_EQ(total, 4618u);
  EXPECT_EQ(digest, 0x05B51D8C7B4D7DF1ull);
}

}  // namespace
}  // namespace tallowmere::bake

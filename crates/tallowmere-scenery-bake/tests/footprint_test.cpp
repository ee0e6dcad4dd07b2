// Footprints against their plain definitions: the vectorised mesh footprint against one
// widen() per vertex, and the footprint index against the scan over every placed box,
// on random inputs that include the awkward ones: touching edges, grid-cell borders,
// boxes beyond the landblock, empty and half-empty boxes, reversed, infinite and NaN
// bounds.
#include "tallowmere/bake/footprint.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "tallowmere/common/splitmix.hpp"

namespace tallowmere::bake {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// What the index must reproduce: every placed box tested in turn.
bool linear_overlaps(const std::vector<Footprint>& placed, const Footprint& box) {
  for (const Footprint& other : placed) {
    if (box.overlaps(other)) return true;
  }
  return false;
}

class BoxSource {
 public:
  explicit BoxSource(uint64_t seed) : bits_(seed) {}

  uint32_t below(uint32_t n) { return static_cast<uint32_t>(bits_.next() % n); }
  float in(float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(bits_.next() >> 40) / 16777216.0f;
  }

  // A bound from the values where a grid or a comparison can go wrong.
  float special() {
    static const float values[] = {kNaN,      kInf,   -kInf,      3.4e38f, -3.4e38f,   1e30f,
                                   -1e30f,    0.0f,   -0.0f,      1e-40f,  -1e-40f,    8.0f,
                                   7.999999f, 24.0f,  191.99998f, 192.0f,  192.00002f, -8.0f,
                                   100.0f,    184.0f, 1e-7f,      -1e-7f};
    return values[below(sizeof values / sizeof values[0])];
  }

  Footprint next(const std::vector<Footprint>& placed) {
    switch (below(10)) {
      case 0: {  // shares an edge with a placed box, often exactly on a cell border
        if (placed.empty()) break;
        const Footprint& p = placed[below(static_cast<uint32_t>(placed.size()))];
        const float w = in(0, 10), h = in(0, 10);
        switch (below(4)) {
          case 0:
            return {p.max_x, p.min_y, p.max_x + w, p.min_y + h};
          case 1:
            return {p.min_x - w, p.max_y, p.min_x, p.max_y + h};
          case 2:
            return {p.min_x, p.max_y - h, p.min_x + w, p.max_y};
          default:
            return {std::nextafter(p.max_x, kInf), p.min_y, p.max_x + w, p.max_y};
        }
      }
      case 1: {  // every bound drawn from the special values
        return {special(), special(), special(), special()};
      }
      case 2: {  // one special bound in an ordinary box
        Footprint f = ordinary();
        float* bounds[] = {&f.min_x, &f.min_y, &f.max_x, &f.max_y};
        *bounds[below(4)] = special();
        return f;
      }
      case 3: {  // empty, or empty along one axis only
        Footprint f;
        if (below(2) == 0) f.widen(in(-10, 200), kNaN);
        if (below(2) == 0) f.widen(kNaN, in(-10, 200));
        return f;
      }
      case 4:  // reversed bounds
        return {in(-20, 212), in(-20, 212), in(-20, 212), in(-20, 212)};
      case 5: {  // large: spans many cells or the whole landblock
        const float x = in(-100, 250), y = in(-100, 250);
        return {x, y, x + in(20, 400), y + in(20, 400)};
      }
      default:
        break;
    }
    return ordinary();
  }

 private:
  // A box as the bake makes one: the corners of a few units around a point near the
  // landblock, on a coarse grid so that bounds repeat and boxes touch.
  Footprint ordinary() {
    const float x = std::floor(in(-16, 208) * 4) / 4, y = std::floor(in(-16, 208) * 4) / 4;
    Footprint f;
    f.widen(x, y);
    f.widen(x + std::floor(in(0, 12) * 4) / 4, y + std::floor(in(0, 12) * 4) / 4);
    return f;
  }

  common::SplitMix64 bits_;
};

// The mesh footprint as the bake defines it: one widen() per vertex, in order.
Footprint reference_footprint(std::span<const common::Vector3> mesh, float scale, float s, float c,
                              float px, float py) {
  Footprint box;
  for (const common::Vector3& v : mesh) {
    const float sx = v.x * scale;
    const float sy = v.y * scale;
    box.widen(c * sx - s * sy + px, s * sx + c * sy + py);
  }
  return box;
}

TEST(MeshFootprint, EqualsOneWidenPerVertexForEveryMeshSizeAndValue) {
  BoxSource source(42);
  for (int round = 0; round < 20000; ++round) {
    // Mostly ordinary values, some special ones anywhere: in vertices, scale, turn
    // and position. Every size up to a few groups of eight covers the loops over four
    // and over the rest.
    const auto value = [&](float lo, float hi) {
      return source.below(12) == 0 ? source.special() : source.in(lo, hi);
    };
    std::vector<common::Vector3> mesh(source.below(28));
    for (auto& v : mesh) v = {value(-5, 5), value(-5, 5), value(0, 10)};
    const float angle = source.in(-7, 7);
    const float scale = value(0.25f, 3), s = value(std::sin(angle), std::sin(angle));
    const float c = value(std::cos(angle), std::cos(angle));
    const float px = value(0, 192), py = value(0, 192);
    const Footprint got = mesh_footprint(mesh, scale, s, c, px, py);
    const Footprint want = reference_footprint(mesh, scale, s, c, px, py);
    // Equal as numbers (a zero bound may differ in sign only); never NaN.
    ASSERT_TRUE(got.min_x == want.min_x && got.min_y == want.min_y && got.max_x == want.max_x &&
                got.max_y == want.max_y)
        << "round " << round << ": " << got.min_x << " " << got.min_y << " " << got.max_x << " "
        << got.max_y << " against " << want.min_x << " " << want.min_y << " " << want.max_x << " "
        << want.max_y;
  }
}

TEST(FootprintIndex, AnswersExactlyAsTheScanOverEveryPlacedBox) {
  size_t hits = 0, misses = 0;
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    BoxSource source(seed);
    FootprintIndex index;
    std::vector<Footprint> placed;
    const uint32_t steps = source.below(600) + 1;
    for (uint32_t step = 0; step < steps; ++step) {
      const Footprint box = source.next(placed);
      const bool expected = linear_overlaps(placed, box);
      if (source.below(3) == 0) {  // the bake's form: test and insert in one
        ASSERT_EQ(index.insert_unless_overlapping(box), !expected) << "seed " << seed;
        if (!expected) placed.push_back(box);
        (expected ? hits : misses)++;
        continue;
      }
      ASSERT_EQ(index.overlaps_any(box), expected)
          << "seed " << seed << " step " << step << " box " << box.min_x << " " << box.min_y << " "
          << box.max_x << " " << box.max_y;
      (expected ? hits : misses)++;
      // As in the bake, a box that collides is dropped; sometimes keep it anyway, so
      // that the index also holds overlapping boxes.
      if (!expected || source.below(4) == 0) {
        index.insert(box);
        placed.push_back(box);
      }
    }
  }
  // Both answers must have been exercised in quantity.
  EXPECT_GT(hits, 10000u);
  EXPECT_GT(misses, 10000u);
}

TEST(FootprintIndex, FindsBoxesAcrossCellBordersAndBeyondTheLandblock) {
  FootprintIndex index;
  EXPECT_FALSE(index.overlaps_any(Footprint{0, 0, 192, 192}));
  index.insert(Footprint{7, 7, 8, 8});  // ends on a cell border
  EXPECT_TRUE(index.overlaps_any(Footprint{8, 8, 9, 9}));
  EXPECT_FALSE(index.overlaps_any(Footprint{std::nextafter(8.0f, kInf), 0, 9, 9}));
  index.insert(Footprint{-500, 300, -400, 400});  // far outside, in a border cell
  EXPECT_TRUE(index.overlaps_any(Footprint{-450, 350, -450, 350}));
  EXPECT_FALSE(index.overlaps_any(Footprint{-1, 190, 0, 191}));

  // An empty box overlaps only a box that is infinite on both sides of an axis.
  FootprintIndex odd;
  odd.insert(Footprint{});
  EXPECT_FALSE(odd.overlaps_any(Footprint{-1e30f, -1e30f, 1e30f, 1e30f}));
  EXPECT_TRUE(odd.overlaps_any(Footprint{-kInf, -kInf, kInf, kInf}));
  // A NaN bound never separates.
  odd.insert(Footprint{150, 100, 151, 101});
  EXPECT_TRUE(odd.overlaps_any(Footprint{kNaN, 100.5f, kNaN, 100.5f}));
  EXPECT_FALSE(odd.overlaps_any(Footprint{kNaN, 102, kNaN, 103}));
}

}  // namespace
}  // namespace tallowmere::bake

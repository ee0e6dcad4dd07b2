#include "tallowmere/bake/height.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace tallowmere::bake {
namespace {

HeightGrid grid_of(const std::function<float(float, float)>& height) {
  HeightGrid grid{};
  for (size_t a = 0; a < 9; ++a) {
    for (size_t b = 0; b < 9; ++b) {
      grid[a * 9 + b] = height(static_cast<float>(a), static_cast<float>(b));
    }
  }
  return grid;
}

TEST(TerrainSplit, SeedsAndDiagonalsOfKnownCells) {
  EXPECT_EQ(split_seed(0, 0), 2925818075u);
  EXPECT_EQ(cell_split(0x0000, 0, 0), Split::A);
  EXPECT_EQ(split_seed(1304, 1392), 1716192179u);
  EXPECT_EQ(cell_split(0xA3AE, 0, 0), Split::B);
  EXPECT_EQ(split_seed(1305, 1392), 2997105990u);
  EXPECT_EQ(cell_split(0xA3AE, 1, 0), Split::A);
  EXPECT_EQ(split_seed(1304, 1393), 4213755138u);
  EXPECT_EQ(cell_split(0xA3AE, 0, 1), Split::A);
}

TEST(VertexHeights, LooksUpEachHeightByteInXMajorOrder) {
  dat::file_type::Region region;
  for (size_t i = 0; i < 256; ++i) region.height_table[i] = static_cast<float>(i) * 0.5f;
  dat::landblock::CellLandblock cell;
  for (int i = 0; i < 81; ++i) cell.height.push_back(static_cast<uint8_t>(255 - i));
  const HeightGrid grid = vertex_heights(region, cell);
  EXPECT_EQ(grid[0], 127.5f);
  EXPECT_EQ(grid[1 * 9 + 0], (255 - 9) * 0.5f);  // vertex (1, 0)
  EXPECT_EQ(grid[80], (255 - 80) * 0.5f);

  cell.height.resize(3);  // a short list leaves the remaining vertices at 0
  EXPECT_EQ(vertex_heights(region, cell)[3], 0.0f);
}

// On a flat grid every sample is the grid's height. Integer heights keep the triangle
// plane's products exact; the bilinear weights are exact at points on quarter cells.
TEST(TerrainHeight, FlatGridIsFlatEverywhere) {
  const HeightGrid grid = grid_of([](float, float) { return 10.0f; });
  for (float x : {0.0f, 6.0f, 12.0f, 36.0f, 100.0f, 191.0f, 192.0f, -30.0f, 500.0f}) {
    for (float y : {0.0f, 18.0f, 24.0f, 60.0f, 192.0f, -5.0f}) {
      EXPECT_EQ(triangle_plane_height_from_grid(grid, 0xA3AE, x, y), 10.0f) << x << "," << y;
      EXPECT_EQ(triangle_plane_height_from_grid(grid, 0x0000, x, y), 10.0f) << x << "," << y;
      EXPECT_EQ(slope_at(grid, x, y), 0.0f);
    }
  }
  for (float x : {0.0f, 6.0f, 30.0f, 192.0f, -1.0f, 400.0f}) {
    for (float y : {0.0f, 18.0f, 108.0f, 192.0f}) {
      EXPECT_EQ(bilinear_height_from_grid(grid, x, y), 10.0f) << x << "," << y;
    }
  }
}

// A linear grid z = x/2 + y/4 is the same plane in every triangle, whatever the split,
// and the triangle plane extends it past the landblock's edges.
TEST(TerrainHeight, LinearGridReproducesThePlane) {
  const HeightGrid grid = grid_of([](float a, float b) { return 12.0f * a + 6.0f * b; });
  for (uint16_t landblock : {uint16_t{0x0000}, uint16_t{0xA3AE}}) {
    for (float x : {0.0f, 5.0f, 20.0f, 37.0f, 100.0f, 191.0f, 192.0f}) {
      for (float y : {0.0f, 3.0f, 23.0f, 50.0f, 170.0f, 192.0f}) {
        EXPECT_EQ(triangle_plane_height_from_grid(grid, landblock, x, y), x / 2 + y / 4)
            << landblock << ":" << x << "," << y;
      }
    }
    EXPECT_EQ(triangle_plane_height_from_grid(grid, landblock, -8.0f, -4.0f), -5.0f);
    EXPECT_EQ(triangle_plane_height_from_grid(grid, landblock, 200.0f, 240.0f), 160.0f);
  }
  EXPECT_EQ(bilinear_height_from_grid(grid, 6.0f, 18.0f), 7.5f);
  EXPECT_EQ(bilinear_height_from_grid(grid, 192.0f, 192.0f), 144.0f);
  // Bilinear clamps to the landblock instead of extending.
  EXPECT_EQ(bilinear_height_from_grid(grid, -8.0f, -4.0f), 0.0f);
  EXPECT_EQ(bilinear_height_from_grid(grid, 300.0f, 12.0f), 99.0f);
}

// Grid all 0 except one raised corner: the height at the centre of the cell below it
// tells which diagonal the cell uses.
TEST(TerrainHeight, CentreOfCellDependsOnTheSplit) {
  HeightGrid grid{};
  grid[1 * 9 + 1] = 48.0f;  // H[1][1]: upper corner of cell (0, 0), split B in 0xA3AE
  grid[2 * 9 + 1] = 48.0f;  // H[2][1]: upper corner of cell (1, 0), split A in 0xA3AE
  // Split B: average of h10 and h01, both 0.
  EXPECT_EQ(triangle_plane_height_from_grid(grid, 0xA3AE, 12.0f, 12.0f), 0.0f);
  // Split A: average of h00 = 0 and h11 = 48.
  EXPECT_EQ(triangle_plane_height_from_grid(grid, 0xA3AE, 36.0f, 12.0f), 24.0f);
}

// A single peak of 24 at vertex (4, 4) over cell (3, 3): on split A the surface is
// min(x - 72, y - 72); on split B it is max(0, x + y - 168).
TEST(TerrainHeight, TriangleChoiceFollowsTheDiagonal) {
  HeightGrid grid{};
  grid[4 * 9 + 4] = 24.0f;
  ASSERT_EQ(cell_split(0x0000, 3, 3), Split::A);
  ASSERT_EQ(cell_split(0x1234, 3, 3), Split::B);
  const struct {
    float x, y, split_a, split_b;
  } points[] = {{80, 90, 8, 2}, {90, 80, 8, 2},   {75, 80, 3, 0},  {95, 73, 1, 0},
                {72, 72, 0, 0}, {96, 96, 24, 24}, {84, 84, 12, 0}, {94, 95, 22, 21}};
  for (const auto& p : points) {
    EXPECT_EQ(triangle_plane_height_from_grid(grid, 0x0000, p.x, p.y), p.split_a)
        << p.x << "," << p.y;
    EXPECT_EQ(triangle_plane_height_from_grid(grid, 0x1234, p.x, p.y), p.split_b)
        << p.x << "," << p.y;
  }
}

TEST(TerrainHeight, BilinearWeightsFollowTheAxes) {
  HeightGrid grid{};
  grid[1 * 9 + 0] = 16.0f;                                        // vertex (1, 0), at x = 24, y = 0
  EXPECT_EQ(bilinear_height_from_grid(grid, 6.0f, 18.0f), 1.0f);  // 16 * 0.25 * 0.25
  EXPECT_EQ(bilinear_height_from_grid(grid, 18.0f, 6.0f), 9.0f);  // 16 * 0.75 * 0.75
  EXPECT_EQ(bilinear_height_from_grid(grid, 24.0f, 0.0f), 16.0f);
  EXPECT_EQ(bilinear_height_from_grid(grid, 30.0f, 0.0f), 12.0f);  // next cell, 1 - 0.25
}

TEST(TerrainSlope, AngleOfTheCellGradient) {
  const HeightGrid linear = grid_of([](float a, float b) { return 12.0f * a + 6.0f * b; });
  EXPECT_NEAR(slope_at(linear, 50.0f, 70.0f), std::atan(std::sqrt(0.3125)), 1e-6);

  // Steeper last column: x in [168, 192) uses it; from x = 192 on, the sample's both x
  // corners are the last vertex row, so only the y gradient remains.
  const HeightGrid steep = grid_of([](float a, float) { return a == 8.0f ? 132.0f : 12.0f * a; });
  EXPECT_NEAR(slope_at(steep, 180.0f, 10.0f), std::atan(2.0), 1e-6);
  EXPECT_NEAR(slope_at(steep, 150.0f, 10.0f), std::atan(0.5), 1e-6);
  EXPECT_EQ(slope_at(steep, 192.0f, 10.0f), 0.0f);
  EXPECT_EQ(slope_at(steep, 1000.0f, 10.0f), 0.0f);
  EXPECT_NEAR(slope_at(steep, -50.0f, 10.0f), std::atan(0.5), 1e-6);
}

// Non-finite coordinates must still sample inside the grid.
TEST(TerrainHeight, NonFiniteCoordinatesStayInsideTheGrid) {
  const HeightGrid grid = grid_of([](float a, float b) { return 1.0f + a + b; });
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(bilinear_height_from_grid(grid, nan, nan), 1.0f);
  EXPECT_EQ(bilinear_height_from_grid(grid, inf, -inf), 9.0f);
  EXPECT_EQ(slope_at(grid, inf, inf), 0.0f);
  for (float x : {nan, inf, -inf, 1e30f, -1e30f}) {
    triangle_plane_height_from_grid(grid, 0xFFFF, x, 10.0f);
    triangle_plane_height_from_grid(grid, 0xFFFF, 10.0f, x);
    slope_at(grid, x, 10.0f);
  }
}

}  // namespace
}  // namespace tallowmere::bake

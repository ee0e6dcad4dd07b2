#include "tallowmere/bake/height.hpp"

#include <algorithm>
#include <cmath>

#include "convert.hpp"

namespace tallowmere::bake {
namespace {

float at(const HeightGrid& grid, uint32_t a, uint32_t b) {
  return grid[a * 9 + b];
}

// One triangle of a cell: a corner V = (vx, vy, hv) and the two edges from it.
struct Triangle {
  float vx, vy, hv;
  float e1x, e1y, e1z;
  float e2x, e2y, e2z;
};

// The height where the vertical line through (x, y) meets the triangle's plane.
float plane_height(const Triangle& t, float x, float y) {
  const float nx = t.e2z * t.e1y - t.e1z * t.e2y;
  const float ny = t.e2x * t.e1z - t.e1x * t.e2z;
  const float nz = t.e2y * t.e1x - t.e2x * t.e1y;
  float h = t.hv * nz + (t.vx * nx + t.vy * ny);
  h = h - x * nx;
  h = h - y * ny;
  return h / nz;
}

// floor(q) as a grid index in 0..8 for a q already clamped to [0, 8].
uint32_t floor_index(float q) {
  return static_cast<uint32_t>(std::floor(q));
}

}  // namespace

HeightGrid vertex_heights(const dat::file_type::Region& region,
                          const dat::landblock::CellLandblock& cell_landblock) {
  HeightGrid grid{};
  const auto& table = region.height_table;
  const size_t count = std::min(cell_landblock.height.size(), grid.size());
  for (size_t i = 0; i < count; ++i) {
    grid[i] = table[std::min<size_t>(cell_landblock.height[i], table.size() - 1)];
  }
  return grid;
}

uint32_t split_seed(uint32_t gx, uint32_t gy) {
  return (0x0CCAC033u * gx + 0x6C1AC587u) * gy + 0xBDE41C43u * gx + 0xAE6470DBu;
}

Split cell_split(uint16_t landblock_id, uint32_t cx, uint32_t cy) {
  const uint32_t gx = (landblock_id >> 8) * 8u + cx;
  const uint32_t gy = (landblock_id & 0xFFu) * 8u + cy;
  return (split_seed(gx, gy) & 0x80000000u) != 0 ? Split::A : Split::B;
}

float triangle_plane_height_from_grid(const HeightGrid& grid, uint16_t landblock_id, float x,
                                      float y) {
  const int32_t cx = std::clamp(detail::saturating_i32(std::floor(x / 24.0f)), 0, 7);
  const int32_t cy = std::clamp(detail::saturating_i32(std::floor(y / 24.0f)), 0, 7);
  const int32_t x0 = 24 * cx, x1 = x0 + 24, y0 = 24 * cy, y1 = y0 + 24;
  const auto ucx = static_cast<uint32_t>(cx), ucy = static_cast<uint32_t>(cy);  // 0..7
  const float h00 = at(grid, ucx, ucy), h01 = at(grid, ucx, ucy + 1);
  const float h10 = at(grid, ucx + 1, ucy), h11 = at(grid, ucx + 1, ucy + 1);
  const bool split_a = cell_split(landblock_id, ucx, ucy) == Split::A;

  // Barycentric test against the first triangle. The integer products are exact and
  // small enough to be exact floats too.
  const float r = 1.0f / -576.0f;
  const int32_t e = split_a ? x1 : x0;
  const float m = static_cast<float>(e - x0);
  const float u = (m * y + (static_cast<float>(x0 * y1 - e * y0) - 24.0f * x)) * r;
  bool first = !(u < 0.0f);
  if (first) {
    const float v =
        (static_cast<float>(x1 - e) * y + (24.0f * x + static_cast<float>(e * y0 - x1 * y1))) * r;
    first = !(v < 0.0f || v > 1.0f - u);
  }

  const float fx0 = static_cast<float>(x0), fx1 = static_cast<float>(x1);
  const float fy0 = static_cast<float>(y0), fy1 = static_cast<float>(y1);
  Triangle t;
  if (split_a) {
    t = first ? Triangle{fx0, fy0, h00, 24, 24, h11 - h00, 24, 0, h10 - h00}
              : Triangle{fx0, fy1, h01, 24, 0, h11 - h01, 0, -24, h00 - h01};
  } else {
    t = first ? Triangle{fx0, fy0, h00, 0, 24, h01 - h00, 24, 0, h10 - h00}
              : Triangle{fx1, fy0, h10, -24, 24, h01 - h10, 0, 24, h11 - h10};
  }
  return plane_height(t, x, y);
}

float bilinear_height_from_grid(const HeightGrid& grid, float x, float y) {
  // std::max(0, NaN) is 0, so NaN coordinates sample the first vertex.
  const float u = std::min(8.0f, std::max(0.0f, x / 24.0f));
  const float v = std::min(8.0f, std::max(0.0f, y / 24.0f));
  const uint32_t a = floor_index(u), b = floor_index(v);
  const uint32_t a8 = std::min(a, 8u), a7 = std::min(a, 7u);
  const uint32_t b8 = std::min(b, 8u), b7 = std::min(b, 7u);
  const float tx = u - static_cast<float>(a8);
  const float ty = v - static_cast<float>(b8);
  const float p00 = at(grid, a8, b8) * (1.0f - tx) * (1.0f - ty);
  const float p10 = at(grid, a7 + 1, b8) * tx * (1.0f - ty);
  const float p01 = (1.0f - tx) * at(grid, a8, b7 + 1) * ty;
  const float p11 = tx * at(grid, a7 + 1, b7 + 1) * ty;
  return p11 + (p01 + (p10 + p00));
}

float slope_at(const HeightGrid& grid, float x, float y) {
  const float u = std::max(0.0f, x / 24.0f);
  const float v = std::max(0.0f, y / 24.0f);
  const uint32_t a = u > 8.0f ? 8u : floor_index(u);
  const uint32_t b = v > 8.0f ? 8u : floor_index(v);
  const uint32_t a8 = std::min(a, 8u), a7 = std::min(a, 7u);
  const uint32_t b8 = std::min(b, 8u), b7 = std::min(b, 7u);
  const float h00 = at(grid, a8, b8), h01 = at(grid, a8, b7 + 1);
  const float h10 = at(grid, a7 + 1, b8), h11 = at(grid, a7 + 1, b7 + 1);
  const float gx = ((h11 - h01) + (h10 - h00)) * 0.5f / 24.0f;
  const float gy = ((h11 - h10) + (h01 - h00)) * 0.5f / 24.0f;
  return std::atan(std::sqrt(gx * gx + gy * gy));
}

}  // namespace tallowmere::bake

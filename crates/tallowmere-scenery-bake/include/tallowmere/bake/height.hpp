// Terrain height and slope over one landblock's 9 x 9 vertex grid.
//
// Coordinates are landblock-local units, 0..192 across; vertex (a, b) lies at
// (24a, 24b) and its height is grid entry a * 9 + b (x-major, the order of a cell
// landblock's terrain and height lists). Every operation is single precision and
// evaluated in the order written in the implementation, so results are reproducible
// bit for bit; none of these functions fails or keeps state.
#pragma once

#include <array>
#include <cstdint>

#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/landblock.hpp"

namespace tallowmere::bake {

using HeightGrid = std::array<float, 81>;

// The heights of the landblock's vertices: the region's height table looked up by each
// height byte. Vertices without a height byte stay 0.
HeightGrid vertex_heights(const dat::file_type::Region& region,
                          const dat::landblock::CellLandblock& cell_landblock);

// Which diagonal splits a terrain cell into two triangles. Split A runs from the cell's
// (X0, Y0) corner to (X1, Y1); split B from (X1, Y0) to (X0, Y1).
enum class Split { A, B };

// The hash that picks a cell's diagonal, from the cell's global grid coordinates
// (landblock x * 8 + cell x, landblock y * 8 + cell y), in wrapping u32 arithmetic.
uint32_t split_seed(uint32_t gx, uint32_t gy);

// The diagonal of cell (cx, cy), each 0..7, of the landblock `landblock_id` (xxyy):
// split A when bit 31 of the split seed is set.
Split cell_split(uint16_t landblock_id, uint32_t cx, uint32_t cy);

// Height of the triangulated surface at (x, y). Points outside the landblock use the
// nearest border cell, whose triangle plane is extended.
float triangle_plane_height_from_grid(const HeightGrid& grid, uint16_t landblock_id, float x,
                                      float y);

// Bilinear height at (x, y), with the point clamped to the landblock.
float bilinear_height_from_grid(const HeightGrid& grid, float x, float y);

// Slope angle in radians of the cell under (x, y), from the mean height differences
// across its edges. Coordinates clamp at 0; anything past the last vertex uses the last
// cell.
float slope_at(const HeightGrid& grid, float x, float y);

}  // namespace tallowmere::bake

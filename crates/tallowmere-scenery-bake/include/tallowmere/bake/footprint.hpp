// Footprints: the 2-D boxes that keep placed objects apart.
//
// An object's footprint is the axis-aligned box around its mesh's vertices, scaled,
// turned about the vertical axis and moved to its position. A new object is dropped
// when its footprint overlaps a building's or that of any object placed before it in the
// landblock; FootprintIndex answers that question without testing every placed box.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "tallowmere/common/math.hpp"

namespace tallowmere::bake {

// A 2-D axis-aligned box in landblock-local units. The default box is empty (+inf mins,
// -inf maxes), overlaps nothing and grows by widen().
struct Footprint {
  float min_x = std::numeric_limits<float>::infinity();
  float min_y = std::numeric_limits<float>::infinity();
  float max_x = -std::numeric_limits<float>::infinity();
  float max_y = -std::numeric_limits<float>::infinity();

  // Grows the box to include (x, y). NaN coordinates leave it unchanged.
  void widen(float x, float y) {
    if (x < min_x) min_x = x;
    if (y < min_y) min_y = y;
    if (x > max_x) max_x = x;
    if (y > max_y) max_y = y;
  }

  // True unless the boxes are separated along x or y; boxes that touch overlap. An
  // empty box is separated from every box by its infinite bounds.
  bool overlaps(const Footprint& b) const {
    return !(b.min_x > max_x || min_x > b.max_x || b.min_y > max_y || min_y > b.max_y);
  }
};

// The footprint of a mesh scaled by `scale`, turned by the angle whose sine and cosine
// are `s` and `c`, and moved to (px, py): each vertex (x, y) becomes
// wx = c * (x * scale) - s * (y * scale) + px and wy = s * (x * scale) + c * (y * scale) + py,
// every operation rounded to single precision in this order, and the box is widened by
// each (wx, wy) in turn. The bounds equal those of that sequence of widen() calls; only
// the sign of a zero bound may differ, which no comparison sees.
Footprint mesh_footprint(std::span<const common::Vector3> mesh, float scale, float s, float c,
                         float px, float py);

// The footprints placed so far in one landblock, bucketed by a grid over the landblock so
// that a query tests only the boxes that share a grid cell with it. overlaps_any() gives
// exactly the answer of testing every inserted box with Footprint::overlaps, for any
// bounds: NaN, infinite, reversed (min above max) or far outside the landblock.
//
// A box is entered in every cell that its bounds' range meets along both axes; bounds
// beyond the landblock fall into the border cells. Two boxes that overlap always share
// a cell, so the cells of a query hold every box it can overlap. Boxes that would fill
// many cells (huge, infinite or empty ones, whose range spans the whole line) are kept
// in a short list that every query tests; a query over many cells tests every box.
class FootprintIndex {
 public:
  // Room for a landblock's usual load (a few hundred boxes, most in one to four cells)
  // is made up front rather than by a dozen reallocations.
  FootprintIndex() {
    heads_.fill(kNone);
    entries_.reserve(1024);
    all_.reserve(256);
  }

  void insert(const Footprint& box);

  // True when `box` overlaps any inserted box.
  [[nodiscard]] bool overlaps_any(const Footprint& box) const;

  // Inserts `box` unless it overlaps an inserted box, which overlaps_any() followed by
  // insert() does with the cells found twice; false when it overlaps.
  bool insert_unless_overlapping(const Footprint& box);

 private:
  static constexpr uint32_t kCellsPerSide = 24;  // cells of 8 units over 192
  static constexpr float kCellSize = 8.0f;
  static constexpr uint32_t kMaxCells = 16;  // more and the box is kept in wide_
  static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

  // The cells [x0, x1] x [y0, y1] that a box's bounds meet.
  struct CellRange {
    uint32_t x0, y0, x1, y1;
    uint32_t count() const { return (x1 - x0 + 1) * (y1 - y0 + 1); }
  };
  static CellRange cells_of(const Footprint& box);
  [[nodiscard]] bool overlaps_in(const Footprint& box, const CellRange& r) const;
  void insert_in(const Footprint& box, const CellRange& r);

  // One box in one cell's list; `next` is the entry of the cell's following box.
  struct Entry {
    Footprint box;
    uint32_t next;
  };

  std::array<uint32_t, kCellsPerSide * kCellsPerSide> heads_;  // first entry of each cell
  std::vector<Entry> entries_;
  std::vector<Footprint> wide_;  // boxes over more than kMaxCells cells
  std::vector<Footprint> all_;   // every box, for queries over more than kMaxCells cells
};

}  // namespace tallowmere::bake

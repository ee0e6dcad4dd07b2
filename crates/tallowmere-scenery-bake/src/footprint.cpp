#include "tallowmere/bake/footprint.hpp"

#include <algorithm>
#include <cmath>

namespace tallowmere::bake {

namespace {

// The grid cell of coordinate v (never NaN) along either axis; everything below the
// landblock falls into cell 0 and everything at or beyond its far edge into the last
// cell. Non-decreasing in v, so two intervals that meet have cell ranges that meet.
uint32_t cell_at(float v, float cell_size, uint32_t cells) {
  if (!(v >= 0.0f)) return 0;
  const float q = v / cell_size;
  if (!(q < static_cast<float>(cells))) return cells - 1;
  return static_cast<uint32_t>(q);
}

// The cells along one axis that a bound pair [lo, hi] can share with an overlapping box.
// A NaN bound never separates (both comparisons with it are false), so it acts as the
// infinity on its side. Along an axis two boxes overlap only if each one's lower bound
// is at most the other's upper bound; that forces the spans between their bounds,
// taken in either order, to meet, so the span of the hull [min(lo, hi), max(lo, hi)]
// is used, which also covers reversed bounds.
void axis_cells(float lo, float hi, float cell_size, uint32_t cells, uint32_t& c0, uint32_t& c1) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  if (std::isnan(lo)) lo = -kInf;
  if (std::isnan(hi)) hi = kInf;
  c0 = cell_at(std::min(lo, hi), cell_size, cells);
  c1 = cell_at(std::max(lo, hi), cell_size, cells);
}

}  // namespace

FootprintIndex::CellRange FootprintIndex::cells_of(const Footprint& box) {
  CellRange r;
  axis_cells(box.min_x, box.max_x, kCellSize, kCellsPerSide, r.x0, r.x1);
  axis_cells(box.min_y, box.max_y, kCellSize, kCellsPerSide, r.y0, r.y1);
  return r;
}

void FootprintIndex::insert(const Footprint& box) {
  all_.push_back(box);
  const CellRange r = cells_of(box);
  if (r.count() > kMaxCells) {
    wide_.push_back(box);
    return;
  }
  for (uint32_t x = r.x0; x <= r.x1; ++x) {
    for (uint32_t y = r.y0; y <= r.y1; ++y) {
      uint32_t& head = heads_[x * kCellsPerSide + y];
      entries_.push_back(Entry{box, head});
      head = static_cast<uint32_t>(entries_.size() - 1);
    }
  }
}

bool FootprintIndex::overlaps_any(const Footprint& box) const {
  const auto overlaps_one_of = [&box](std::span<const Footprint> boxes) {
    return std::any_of(boxes.begin(), boxes.end(),
                       [&box](const Footprint& other) { return box.overlaps(other); });
  };
  const CellRange r = cells_of(box);
  if (r.count() > kMaxCells) return overlaps_one_of(all_);
  if (overlaps_one_of(wide_)) return true;
  for (uint32_t x = r.x0; x <= r.x1; ++x) {
    for (uint32_t y = r.y0; y <= r.y1; ++y) {
      for (uint32_t e = heads_[x * kCellsPerSide + y]; e != kNone; e = entries_[e].next) {
        if (box.overlaps(entries_[e].box)) return true;
      }
    }
  }
  return false;
}

}  // namespace tallowmere::bake

#include "tallowmere/bake/footprint.hpp"

#include <algorithm>
#include <cmath>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tallowmere::bake {

namespace {

// Widens one bound the way Footprint::widen does: a NaN or a value that is not beyond
// the bound leaves it unchanged.
void lower(float& bound, float v) {
  if (v < bound) bound = v;
}
void raise(float& bound, float v) {
  if (v > bound) bound = v;
}

}  // namespace

Footprint mesh_footprint(std::span<const common::Vector3> mesh, float scale, float s, float c,
                         float px, float py) {
  Footprint box;
  size_t i = 0;
#if defined(__SSE2__)
  // Four vertices at a time, each lane computing exactly the scalar expression below.
  // MINPS(v, m) is v < m ? v : m and MAXPS(v, m) is v > m ? v : m, the very tests of
  // widen(), NaN included; the four lanes are folded at the end. Min and max of values
  // that are never NaN do not depend on their order except for the sign of a zero.
  static_assert(sizeof(common::Vector3) == 3 * sizeof(float) &&
                std::is_standard_layout_v<common::Vector3>);
  if (mesh.size() >= 4) {
    const float* p = &mesh.data()->x;
    const __m128 vscale = _mm_set1_ps(scale), vs = _mm_set1_ps(s), vc = _mm_set1_ps(c);
    const __m128 vpx = _mm_set1_ps(px), vpy = _mm_set1_ps(py);
    __m128 min_x = _mm_set1_ps(box.min_x), min_y = _mm_set1_ps(box.min_y);
    __m128 max_x = _mm_set1_ps(box.max_x), max_y = _mm_set1_ps(box.max_y);
    // Four vertices' (wx, wy), each lane computing exactly the scalar expression below.
    const auto turn = [&](const float* q, __m128& wx, __m128& wy) {
      // x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3
      const __m128 a = _mm_loadu_ps(q), b = _mm_loadu_ps(q + 4), d = _mm_loadu_ps(q + 8);
      const __m128 x0y0x2y2 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 2, 1, 0));
      const __m128 x1x1y1y1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 3, 3));
      const __m128 x1y1x3y3 = _mm_shuffle_ps(x1x1y1y1, d, _MM_SHUFFLE(2, 1, 2, 0));
      const __m128 x = _mm_shuffle_ps(x0y0x2y2, x1y1x3y3, _MM_SHUFFLE(2, 0, 2, 0));
      const __m128 y = _mm_shuffle_ps(x0y0x2y2, x1y1x3y3, _MM_SHUFFLE(3, 1, 3, 1));
      const __m128 sx = _mm_mul_ps(x, vscale);
      const __m128 sy = _mm_mul_ps(y, vscale);
      wx = _mm_add_ps(_mm_sub_ps(_mm_mul_ps(vc, sx), _mm_mul_ps(vs, sy)), vpx);
      wy = _mm_add_ps(_mm_add_ps(_mm_mul_ps(vs, sx), _mm_mul_ps(vc, sy)), vpy);
    };
    // Eight vertices a turn while there are that many: the second four are folded in
    // right after the first, the very order of two turns of four.
    for (; i + 8 <= mesh.size(); i += 8, p += 24) {
      __m128 wx0, wy0, wx1, wy1;
      turn(p, wx0, wy0);
      turn(p + 12, wx1, wy1);
      min_x = _mm_min_ps(wx1, _mm_min_ps(wx0, min_x));
      min_y = _mm_min_ps(wy1, _mm_min_ps(wy0, min_y));
      max_x = _mm_max_ps(wx1, _mm_max_ps(wx0, max_x));
      max_y = _mm_max_ps(wy1, _mm_max_ps(wy0, max_y));
    }
    for (; i + 4 <= mesh.size(); i += 4, p += 12) {
      __m128 wx, wy;
      turn(p, wx, wy);
      min_x = _mm_min_ps(wx, min_x);
      min_y = _mm_min_ps(wy, min_y);
      max_x = _mm_max_ps(wx, max_x);
      max_y = _mm_max_ps(wy, max_y);
    }
    alignas(16) float lanes[4][4];
    _mm_store_ps(lanes[0], min_x);
    _mm_store_ps(lanes[1], min_y);
    _mm_store_ps(lanes[2], max_x);
    _mm_store_ps(lanes[3], max_y);
    for (int k = 0; k < 4; ++k) {
      lower(box.min_x, lanes[0][k]);
      lower(box.min_y, lanes[1][k]);
      raise(box.max_x, lanes[2][k]);
      raise(box.max_y, lanes[3][k]);
    }
  }
#endif
  for (; i < mesh.size(); ++i) {
    const float sx = mesh[i].x * scale;
    const float sy = mesh[i].y * scale;
    const float wx = c * sx - s * sy + px;
    const float wy = s * sx + c * sy + py;
    box.widen(wx, wy);
  }
  return box;
}

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
  insert_in(box, cells_of(box));
}

bool FootprintIndex::overlaps_any(const Footprint& box) const {
  return overlaps_in(box, cells_of(box));
}

bool FootprintIndex::insert_unless_overlapping(const Footprint& box) {
  const CellRange r = cells_of(box);
  if (overlaps_in(box, r)) return false;
  insert_in(box, r);
  return true;
}

void FootprintIndex::insert_in(const Footprint& box, const CellRange& r) {
  all_.push_back(box);
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

bool FootprintIndex::overlaps_in(const Footprint& box, const CellRange& r) const {
  const auto overlaps_one_of = [&box](std::span<const Footprint> boxes) {
    return std::any_of(boxes.begin(), boxes.end(),
                       [&box](const Footprint& other) { return box.overlaps(other); });
  };
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

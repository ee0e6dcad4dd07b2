// What `render` draws: the landblocks of a selection with their terrain, buildings and
// placements, gathered from the bake, and the SVG picture of them.
//
// Positions are landblock-local units (0..192 across, y up); the picture puts x to the
// right and y up, each landblock a tile of 8 x 8 cells in map order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tallowmere/bake/bake.hpp"
#include "tallowmere/bake/height.hpp"

namespace tallowmere::tool {

// One placement as drawn. Without --compare every placement is Same.
struct DrawnPlacement {
  enum class Kind {
    Same,          // in the baked set and, when comparing, unchanged in the other one
    OnlyBaked,     // in the baked set only
    OnlyCompared,  // in the compared set only
    Moved,         // in both sets (matched by source) with different values
  };
  Kind kind = Kind::Same;
  uint32_t obj_id = 0;
  float x = 0, y = 0;   // position: the baked one, or the compared one for OnlyCompared
  bake::Footprint box;  // empty when the object has no mesh: drawn as a dot
  std::string title;    // hover text
  // Moved only: where the compared set has it.
  float from_x = 0, from_y = 0;
  bake::Footprint from_box;
};

struct LandblockView {
  uint16_t id = 0;
  // Nothing when the landblock has no terrain record: drawn as an empty tile.
  struct Ground {
    bake::HeightGrid heights{};
    std::array<bake::Split, 64> splits{};  // cell (cx, cy) at cx * 8 + cy
    std::array<bool, 81> excluded{};       // vertex (vx, vy) at vx * 9 + vy
  };
  std::optional<Ground> ground;
  std::vector<bake::Footprint> buildings;
  std::vector<DrawnPlacement> placements;  // in drawing order within each kind
  size_t baked = 0;                        // placements in the baked set
};

struct CompareCounts {
  size_t only_baked = 0;
  size_t only_compared = 0;
  size_t moved = 0;
};

struct RenderView {
  std::vector<LandblockView> landblocks;  // in selection order; their place comes from the id
  unsigned px = 64;                       // pixels per 24-unit cell
  // When comparing: the compared folder as shown in the caption, and the counts.
  std::optional<std::string> compared;
  CompareCounts counts;
};

// The colour of object `obj_id` from the fixed placement palette, as "#rrggbb".
[[nodiscard]] const char* object_colour(uint32_t obj_id);

// The whole SVG document. The same view gives the same bytes.
[[nodiscard]] std::string draw_svg(const RenderView& view);

}  // namespace tallowmere::tool

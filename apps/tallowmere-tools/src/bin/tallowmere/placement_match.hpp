// Placement lines read back from text and matched across two sets, as `diff` and
// `render --compare` need them.
//
// A line is read as one flat JSON object whose members keep their original text, so a
// float is read once, from its decimal text, straight to single precision. Placements
// are matched by their source (vertex x, vertex y, object index), which is unique within
// a landblock, so a placement missing on one side does not make every later line differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallowmere::tool {

// The keys of a placement line in the order the bake writes them.
inline constexpr const char* kPlacementKeys[] = {"obj_id",
                                                 "x",
                                                 "y",
                                                 "z",
                                                 "qw",
                                                 "qx",
                                                 "qy",
                                                 "qz",
                                                 "scale",
                                                 "source_cell_x",
                                                 "source_cell_y",
                                                 "source_obj_idx"};

// A placement line's members: key -> the value's text (strings without their quotes,
// numbers exactly as written).
using Members = std::map<std::string, std::string>;

// The members of `line`, or nothing when it is not one flat JSON object. The bare NaN,
// inf and -inf that placement lines may hold are read as those words.
[[nodiscard]] std::optional<Members> parse_members(const std::string& line);

// A number as written in a placement line (also "NaN", "inf", "-inf") in single
// precision, or nothing when `text` is not a number.
[[nodiscard]] std::optional<float> read_float(const std::string& text);

struct PlacementText {
  size_t line = 0;  // counted from 0
  std::string text;
  std::optional<Members> members;  // nothing when the line is not a JSON object
};

// The key "(x,y,i)" of the placement from source vertex (x, y), object index i, each as
// written in its line.
[[nodiscard]] std::string source_key(std::string_view cell_x, std::string_view cell_y,
                                     std::string_view obj_idx);

// The lines of a placement file keyed by their source_key; a line without a source is
// keyed "line N". A repeated key gets a "'" per earlier occurrence, so repeats are
// matched by occurrence.
[[nodiscard]] std::map<std::string, PlacementText> key_placements(const std::string& text);

struct FieldDiff {
  std::string key;
  std::string a, b;  // as written; empty when absent
  std::optional<float> fa, fb;
  std::optional<uint64_t> ulps;  // units in the last place between two floats
};

// The members whose values differ, in placement key order and then any other keys.
// Floats are compared by their bits in single precision, so "1.5" and "1.500000" agree.
[[nodiscard]] std::vector<FieldDiff> field_diffs(const Members& a, const Members& b);

}  // namespace tallowmere::tool

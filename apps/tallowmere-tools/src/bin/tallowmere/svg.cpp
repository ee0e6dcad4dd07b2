// The SVG picture of a RenderView.
//
// The document is self-contained: one inline style sheet, one hatch pattern, shapes and
// text in the viewer's own sans-serif font; no scripts, links, images or fonts from
// elsewhere. Coordinates are pixels with at most two decimals, rounded exactly (as
// std::to_chars rounds) by one function, and everything is drawn in a fixed order, so
// the same view always gives the same bytes.
//
// Each landblock is a group translated to its tile; inside it a position (x, y) in units
// is drawn at (x * k, (192 - y) * k) with k = px / 24, so y points up as on a map.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "render_view.hpp"
#include "tallowmere/common/text.hpp"

namespace tallowmere::tool {
namespace {

constexpr int kSteps = 16;
// The height ramp, lowest first: green lowland, pale yellow, brown, then near white.
constexpr std::array<const char*, kSteps> kRamp = {
    "#4f7f5a", "#649063", "#79a16b", "#8db274", "#a2c17c", "#b5c985", "#c8d08e", "#dbd897",
    "#ded296", "#d2bf89", "#c7ac7c", "#bb996f", "#c3a584", "#d1bca4", "#e0d3c4", "#eeeae4"};

// Saturated colours that stand apart from the ramp, one per object id by a fixed hash.
constexpr std::array<const char*, 12> kPalette = {"#e6194b", "#3cb44b", "#4363d8", "#f58231",
                                                  "#911eb4", "#42d4f4", "#f032e6", "#bfef45",
                                                  "#008080", "#9a6324", "#800000", "#000075"};

// A 32-bit finalising mix, so that neighbouring ids land on unrelated colours.
size_t palette_index(uint32_t obj_id) {
  uint32_t h = obj_id;
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  h ^= h >> 13;
  h *= 0xC2B2AE35u;
  h ^= h >> 16;
  return h % kPalette.size();
}

constexpr double kMargin = 16;
constexpr double kLegendGap = 24;
constexpr double kLegendWidth = 170;
constexpr double kSwatchWidth = 24;
constexpr double kSwatchHeight = 14;
constexpr double kCaptionLine = 22;
// Boxes narrower than this many pixels are widened about their centre so they stay
// visible; dots have this radius.
constexpr double kMinBox = 3;

// Pixel coordinate: fixed, two decimals, trailing zeros dropped, never "-0". Written into
// `first`, which has room for common::kFixedMaxChars; returns the end.
char* coordinate(char* first, double value) {
  if (!std::isfinite(value)) value = 0;
  const auto units = common::fixed_units(value, 2);  // hundredths
  if (!units) {                                      // a billion pixels or more
    char* end = common::write_fixed(first, value, 2);
    while (end[-1] == '0') --end;  // stops at the point
    return end[-1] == '.' ? end - 1 : end;
  }
  char* p = first;
  if (*units != 0 && std::signbit(value)) *p++ = '-';
  p = std::to_chars(p, p + 24, *units / 100).ptr;
  if (const uint64_t hundredths = *units % 100; hundredths != 0) {
    *p++ = '.';
    *p++ = static_cast<char>('0' + hundredths / 10);
    if (hundredths % 10 != 0) *p++ = static_cast<char>('0' + hundredths % 10);
  }
  return p;
}

void num(std::string& out, double value) {
  char buffer[common::kFixedMaxChars];
  out.append(buffer, static_cast<size_t>(coordinate(buffer, value) - buffer));
}

std::string fixed(double value, int decimals) {
  char buf[64];
  const auto end =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals).ptr;
  return std::string(buf, end);
}

// Character data or an attribute value: invalid UTF-8 replaced, markup characters
// escaped, and control characters, which XML does not allow, replaced by U+FFFD.
void text(std::string& out, std::string_view raw) {
  // Nearly all text is printable ASCII without markup characters and goes out as it is.
  static constexpr auto kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c) plain[static_cast<size_t>(c)] = true;
    for (const char c : {'&', '<', '>', '"'}) plain[static_cast<unsigned char>(c)] = false;
    plain['\n'] = plain['\t'] = true;
    return plain;
  }();
  if (std::all_of(raw.begin(), raw.end(),
                  [](char c) { return kPlain[static_cast<unsigned char>(c)]; })) {
    out += raw;
    return;
  }
  for (const char c : common::display_lossy(raw)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') {
          out += "\xEF\xBF\xBD";
        } else {
          out += c;
        }
    }
  }
}

// Attribute name="number" with a leading space.
void attr(std::string& out, std::string_view name, double value) {
  out += ' ';
  out += name;
  char buffer[3 + common::kFixedMaxChars];
  buffer[0] = '=';
  buffer[1] = '"';
  char* end = coordinate(buffer + 2, value);
  *end++ = '"';
  out.append(buffer, static_cast<size_t>(end - buffer));
}

std::string hex_id(uint32_t value, int digits) {
  return "0x" + common::hex_upper(value, digits);
}

const char* plural(size_t n, const char* one, const char* many) {
  return n == 1 ? one : many;
}

struct Layout {
  double k = 0;     // pixels per unit
  double cell = 0;  // pixels per cell
  double tile = 0;  // pixels per landblock
  unsigned min_x = 0, max_x = 0, min_y = 0, max_y = 0;
  double header = 0;
  double legend_left = 0;
  double width = 0, height = 0;

  double tile_left(uint16_t id) const { return kMargin + (unsigned(id >> 8) - min_x) * tile; }
  double tile_top(uint16_t id) const { return header + (max_y - unsigned(id & 0xFF)) * tile; }
  double px(float x) const { return static_cast<double>(x) * k; }
  double py(float y) const { return (192.0 - static_cast<double>(y)) * k; }
};

// The heights the ramp spans: the lowest and highest vertex of every drawn landblock,
// never an empty range.
struct HeightRange {
  double lo = 0, hi = 1;

  size_t step(double h) const {
    if (!(h == h)) return 0;  // NaN
    const double t = std::floor((h - lo) / (hi - lo) * kSteps);
    return static_cast<size_t>(std::clamp(t, 0.0, kSteps - 1.0));
  }
};

HeightRange height_range(const RenderView& view) {
  bool any = false;
  HeightRange range;
  for (const auto& lb : view.landblocks) {
    if (!lb.ground) continue;
    for (const float h : lb.ground->heights) {
      if (!std::isfinite(h)) continue;
      if (!any || h < range.lo) range.lo = h;
      if (!any || h > range.hi) range.hi = h;
      any = true;
    }
  }
  if (!(range.hi > range.lo)) range.hi = range.lo + 1;
  return range;
}

class Drawing {
 public:
  explicit Drawing(const RenderView& view) : view_(view), range_(height_range(view)) {
    lay_out();
    for (unsigned i = 0; i < 9; ++i) {
      for (unsigned j = 0; j < 9; ++j) {
        std::string& corner = corners_[i * 9 + j];
        num(corner, i * layout_.cell);
        corner += ' ';
        num(corner, j * layout_.cell);
      }
    }
    // Built by appending: g++ 12 warns falsely on "literal" + std::string at -O3.
    for (size_t i = 0; i < kPalette.size(); ++i) {
      std::string& cls = same_classes_[i];
      cls = "pl p";
      cls += std::to_string(i);
      if (view_.compared) cls += " fd";
    }
  }

  std::string draw() {
    // About what the terrain of a landblock and a placement with its title take, so the
    // document is rarely moved while it grows.
    size_t placements = 0;
    for (const auto& lb : view_.landblocks) placements += lb.placements.size();
    out_.reserve(64 * 1024 + view_.landblocks.size() * 16 * 1024 + placements * 320);
    out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"";
    attr(out_, "width", layout_.width);
    attr(out_, "height", layout_.height);
    out_ += " viewBox=\"0 0 ";
    num(out_, layout_.width);
    out_ += ' ';
    num(out_, layout_.height);
    out_ += "\">\n";
    style();
    out_ += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    caption();
    for (const auto& lb : view_.landblocks) tile(lb);
    legend();
    out_ += "</svg>\n";
    return std::move(out_);
  }

 private:
  void lay_out() {
    Layout& l = layout_;
    l.cell = view_.px;
    l.k = l.cell / 24.0;
    l.tile = 8 * l.cell;
    bool first = true;
    for (const auto& lb : view_.landblocks) {
      const unsigned x = lb.id >> 8, y = lb.id & 0xFF;
      l.min_x = first ? x : std::min(l.min_x, x);
      l.max_x = first ? x : std::max(l.max_x, x);
      l.min_y = first ? y : std::min(l.min_y, y);
      l.max_y = first ? y : std::max(l.max_y, y);
      first = false;
    }
    const double lines = view_.compared ? 2 : 1;
    l.header = kMargin + lines * kCaptionLine;
    const double columns = l.max_x - l.min_x + 1, rows = l.max_y - l.min_y + 1;
    l.legend_left = kMargin + columns * l.tile + kLegendGap;
    l.width = l.legend_left + kLegendWidth + kMargin;
    l.height = std::max(l.header + rows * l.tile, l.header + legend_height()) + kMargin;
  }

  double legend_height() const {
    const double keys = view_.compared ? 7 : 4;
    return 20 + kSteps * kSwatchHeight + 24 + keys * 20;
  }

  void style() {
    out_ += "<style>\ntext{font-family:sans-serif;font-size:12px;fill:#111}\n";
    for (size_t i = 0; i < kRamp.size(); ++i) {
      out_ += ".h";
      out_ += std::to_string(i);
      out_ += std::string("{fill:") + kRamp[i] + "}";
    }
    out_ += '\n';
    for (size_t i = 0; i < kPalette.size(); ++i) {
      out_ += ".p";
      out_ += std::to_string(i);
      out_ += std::string("{fill:") + kPalette[i] + "}";
    }
    out_ +=
        "\n.cap{font-size:15px;font-weight:bold}"
        ".lb{font-weight:bold;paint-order:stroke;stroke:#fff;stroke-width:3px}\n"
        ".tb{fill:none;stroke:#555;stroke-width:1}"
        ".nt{fill:#d9d9d9}"
        ".dg{fill:none;stroke:#000;stroke-opacity:.22;stroke-width:1}\n"
        ".xc{fill:url(#hatch)}"
        ".xm{fill:none;stroke:#a00000;stroke-width:2}"
        ".bd{fill:none;stroke:#000;stroke-width:3}\n"
        ".pl{stroke:#222;stroke-width:.75}"
        ".fd{fill-opacity:.35;stroke-opacity:.35}"
        ".ob{fill:#e41a1c;stroke:#000;stroke-width:1.5}"
        ".oc{fill:#377eb8;stroke:#000;stroke-width:1.5;stroke-dasharray:3 2}\n"
        ".mv{fill:#ff7f00;stroke:#000;stroke-width:1.5}"
        ".gh{fill:none;stroke:#ff7f00;stroke-width:1.5;stroke-dasharray:4 3}"
        ".ml{fill:none;stroke:#ff7f00;stroke-width:1.5}\n"
        "</style>\n"
        "<defs><pattern id=\"hatch\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
        "patternTransform=\"rotate(45)\"><path d=\"M0 0V6\" stroke=\"#a00000\" "
        "stroke-opacity=\".45\" stroke-width=\"1.5\"/></pattern></defs>\n";
  }

  void caption() {
    size_t placements = 0;
    for (const auto& lb : view_.landblocks) placements += lb.baked;
    std::string line;
    const auto& lbs = view_.landblocks;
    if (lbs.size() == 1) {
      line = "Landblock " + hex_id(lbs[0].id, 4);
    } else {
      const Layout& l = layout_;
      line = std::to_string(lbs.size()) + " landblocks, " + hex_id(l.min_x << 8 | l.min_y, 4) +
             " to " + hex_id(l.max_x << 8 | l.max_y, 4);
    }
    line +=
        " \xC2\xB7 " + std::to_string(placements) + plural(placements, " placement", " placements");
    caption_line(0, line);
    if (view_.compared) {
      const CompareCounts& c = view_.counts;
      caption_line(1, "compared with " + *view_.compared + ": " + std::to_string(c.only_baked) +
                          " only baked \xC2\xB7 " + std::to_string(c.only_compared) +
                          " only in compared \xC2\xB7 " + std::to_string(c.moved) + " moved");
    }
  }

  void caption_line(int index, const std::string& line) {
    out_ += "<text class=\"cap\"";
    attr(out_, "x", kMargin);
    attr(out_, "y", kMargin + 15 + index * kCaptionLine);
    out_ += '>';
    text(out_, line);
    out_ += "</text>\n";
  }

  void tile(const LandblockView& lb) {
    const Layout& l = layout_;
    out_ += "<g id=\"lb-" + common::hex_upper(lb.id, 4) + "\" transform=\"translate(";
    num(out_, l.tile_left(lb.id));
    out_ += ' ';
    num(out_, l.tile_top(lb.id));
    out_ += ")\">\n<title>";
    text(out_, hex_id(lb.id, 4) + ": " + std::to_string(lb.baked) +
                   plural(lb.baked, " placement", " placements") +
                   (lb.ground ? "" : " (no terrain record)"));
    out_ += "</title>\n";
    if (lb.ground) {
      terrain(*lb.ground);
      exclusions(*lb.ground);
    } else {
      out_ += "<rect class=\"nt\"";
      attr(out_, "width", l.tile);
      attr(out_, "height", l.tile);
      out_ += "/>\n";
    }
    for (const auto& box : lb.buildings) building(box);
    placements(lb);
    out_ += "<rect class=\"tb\"";
    attr(out_, "width", l.tile);
    attr(out_, "height", l.tile);
    out_ += "/>\n<text class=\"lb\" x=\"4\" y=\"15\">";
    text(out_, hex_id(lb.id, 4) + " \xC2\xB7 " + std::to_string(lb.baked));
    out_ += "</text>\n</g>\n";
  }

  // Two triangles per cell, split along the diagonal the height model picks, each filled
  // by the ramp step of its mean corner height. Triangles of one step share one path.
  void terrain(const LandblockView::Ground& g) {
    auto& paths = step_paths_;
    for (auto& p : paths) p.clear();
    std::string& diagonals = diagonals_;
    diagonals.clear();
    auto h = [&](unsigned a, unsigned b) { return g.heights[a * 9 + b]; };
    // Corners by grid line: x is line i, y (downwards) line j.
    auto point = [&](std::string& p, char command, unsigned i, unsigned j) {
      p += command;
      p += corners_[i * 9 + j];
    };
    auto triangle = [&](unsigned i0, unsigned j0, unsigned i1, unsigned j1, unsigned i2,
                        unsigned j2, float mean) {
      std::string& p = paths[range_.step(mean)];
      point(p, 'M', i0, j0);
      point(p, 'L', i1, j1);
      point(p, 'L', i2, j2);
      p += 'Z';
    };
    for (unsigned cx = 0; cx < 8; ++cx) {
      for (unsigned cy = 0; cy < 8; ++cy) {
        const unsigned left = cx, right = cx + 1, bottom = 8 - cy, top = 7 - cy;
        const float h00 = h(cx, cy), h10 = h(cx + 1, cy);
        const float h01 = h(cx, cy + 1), h11 = h(cx + 1, cy + 1);
        const bool split_a = g.splits[cx * 8 + cy] == bake::Split::A;
        if (split_a) {  // diagonal from (X0, Y0) to (X1, Y1)
          triangle(left, bottom, right, bottom, right, top, (h00 + h10 + h11) / 3.0f);
          triangle(left, bottom, right, top, left, top, (h00 + h11 + h01) / 3.0f);
        } else {  // diagonal from (X1, Y0) to (X0, Y1)
          triangle(left, bottom, right, bottom, left, top, (h00 + h10 + h01) / 3.0f);
          triangle(right, bottom, right, top, left, top, (h10 + h11 + h01) / 3.0f);
        }
        point(diagonals, 'M', split_a ? left : right, bottom);
        point(diagonals, 'L', split_a ? right : left, top);
      }
    }
    for (size_t i = 0; i < paths.size(); ++i) {
      if (paths[i].empty()) continue;
      out_ += "<path class=\"h";
      out_ += std::to_string(i);
      out_ += "\" d=\"";
      out_ += paths[i];
      out_ += "\"/>\n";
    }
    out_ += "<path class=\"dg\" d=\"";
    out_ += diagonals;
    out_ += "\"/>\n";
  }

  // A vertex whose exclusion bits are set keeps scenery off the cell it is the lower
  // corner of: that cell is hatched and the vertex crossed.
  void exclusions(const LandblockView::Ground& g) {
    const double c = layout_.cell;
    const double r = std::max(3.0, c / 8);
    std::string cells, marks;
    for (unsigned vx = 0; vx < 9; ++vx) {
      for (unsigned vy = 0; vy < 9; ++vy) {
        if (!g.excluded[vx * 9 + vy]) continue;
        const double x = vx * c, y = (8 - vy) * c;
        if (vx < 8 && vy < 8) {
          cells += 'M';
          num(cells, x);
          cells += ' ';
          num(cells, y - c);
          cells += 'h';
          num(cells, c);
          cells += 'v';
          num(cells, c);
          cells += 'h';
          num(cells, -c);
          cells += 'Z';
        }
        for (const double d : {r, -r}) {
          marks += 'M';
          num(marks, x - r);
          marks += ' ';
          num(marks, y - d);
          marks += 'L';
          num(marks, x + r);
          marks += ' ';
          num(marks, y + d);
        }
      }
    }
    if (cells.size()) out_ += "<path class=\"xc\" d=\"" + cells + "\"/>\n";
    if (marks.size()) out_ += "<path class=\"xm\" d=\"" + marks + "\"/>\n";
  }

  // The box in tile pixels: left, top, width, height, widened to kMinBox.
  std::array<double, 4> box_rect(const bake::Footprint& box) const {
    double left = layout_.px(box.min_x), right = layout_.px(box.max_x);
    double top = layout_.py(box.max_y), bottom = layout_.py(box.min_y);
    if (right - left < kMinBox) {
      const double mid = (left + right) / 2;
      left = mid - kMinBox / 2, right = mid + kMinBox / 2;
    }
    if (bottom - top < kMinBox) {
      const double mid = (top + bottom) / 2;
      top = mid - kMinBox / 2, bottom = mid + kMinBox / 2;
    }
    return {left, top, right - left, bottom - top};
  }

  void rect(std::string_view cls, const bake::Footprint& box) {
    const auto [x, y, w, h] = box_rect(box);
    out_ += "<rect class=\"";
    out_ += cls;
    out_ += '"';
    attr(out_, "x", x);
    attr(out_, "y", y);
    attr(out_, "width", w);
    attr(out_, "height", h);
  }

  static bool has_area(const bake::Footprint& box) {
    return std::isfinite(box.min_x) && std::isfinite(box.max_x) && std::isfinite(box.min_y) &&
           std::isfinite(box.max_y) && box.min_x <= box.max_x && box.min_y <= box.max_y;
  }

  void building(const bake::Footprint& box) {
    if (!has_area(box)) return;
    rect("bd", box);
    out_ += "><title>";
    text(out_, "building footprint (" + fixed(box.min_x, 2) + ", " + fixed(box.min_y, 2) +
                   ") to (" + fixed(box.max_x, 2) + ", " + fixed(box.max_y, 2) + ")");
    out_ += "</title></rect>\n";
  }

  // The object's box, or a dot at (x, y) when it has none.
  void shape(std::string_view cls, float x, float y, const bake::Footprint& box,
             std::string_view title) {
    const bool area = has_area(box);
    if (area) {
      rect(cls, box);
      out_ += '>';
    } else {
      out_ += "<circle class=\"";
      out_ += cls;
      out_ += '"';
      attr(out_, "cx", layout_.px(x));
      attr(out_, "cy", layout_.py(y));
      attr(out_, "r", kMinBox);
      out_ += '>';
    }
    if (!title.empty()) {
      out_ += "<title>";
      text(out_, title);
      out_ += "</title>";
    }
    out_ += area ? "</rect>\n" : "</circle>\n";
  }

  // "pl p<palette index>", and " fd" (faded) when comparing.
  std::string_view same_class(const DrawnPlacement& p) const {
    return same_classes_[palette_index(p.obj_id)];
  }

  // Unchanged placements first (faded when comparing), then what only the compared set
  // has, the moves, and last what only the baked set has, so differences stay on top.
  void placements(const LandblockView& lb) {
    using Kind = DrawnPlacement::Kind;
    for (const auto& p : lb.placements) {
      if (p.kind == Kind::Same) shape(same_class(p), p.x, p.y, p.box, p.title);
    }
    for (const auto& p : lb.placements) {
      if (p.kind == Kind::OnlyCompared) shape("oc", p.x, p.y, p.box, p.title);
    }
    for (const auto& p : lb.placements) {
      if (p.kind != Kind::Moved) continue;
      shape("gh", p.from_x, p.from_y, p.from_box, "");
      out_ += "<path class=\"ml\" d=\"M";
      num(out_, layout_.px(p.from_x));
      out_ += ' ';
      num(out_, layout_.py(p.from_y));
      out_ += 'L';
      num(out_, layout_.px(p.x));
      out_ += ' ';
      num(out_, layout_.py(p.y));
      out_ += "\"/>\n";
    }
    for (const auto& p : lb.placements) {
      if (p.kind == Kind::Moved) shape("mv", p.x, p.y, p.box, p.title);
    }
    for (const auto& p : lb.placements) {
      if (p.kind == Kind::OnlyBaked) shape("ob", p.x, p.y, p.box, p.title);
    }
  }

  // Swatches from the highest step down, each labelled with its lowest height, then a
  // key to the marks.
  void legend() {
    const double left = layout_.legend_left;
    double y = layout_.header;
    out_ += "<g id=\"legend\">\n<text";
    attr(out_, "x", left);
    attr(out_, "y", y + 12);
    out_ += ">height (units)</text>\n";
    y += 20;
    const double span = range_.hi - range_.lo;
    for (int i = kSteps - 1; i >= 0; --i) {
      const std::string step = std::to_string(i);
      out_ += "<rect id=\"ramp-" + step + "\" class=\"h" + step + "\"";
      attr(out_, "x", left);
      attr(out_, "y", y);
      attr(out_, "width", kSwatchWidth);
      attr(out_, "height", kSwatchHeight);
      out_ += "/>\n";
      if (i == kSteps - 1) legend_label(left, y, fixed(range_.hi, 1));
      legend_label(left, y + kSwatchHeight, fixed(range_.lo + span * i / kSteps, 1));
      y += kSwatchHeight;
    }
    y += 24;
    const double mid = left + kSwatchWidth / 2, r = 5;
    auto key = [&](const std::string& label) {
      out_ += "<text";
      attr(out_, "x", left + kSwatchWidth + 8);
      attr(out_, "y", y + 4);
      out_ += '>';
      text(out_, label);
      out_ += "</text>\n";
      y += 20;
    };
    auto sample = [&](const char* cls, const char* id) {
      out_ += std::string("<rect id=\"") + id + "\" class=\"" + cls + "\"";
      attr(out_, "x", mid - 8);
      attr(out_, "y", y - 6);
      attr(out_, "width", 16);
      attr(out_, "height", 12);
      out_ += "/>\n";
    };
    sample("bd", "key-building");
    key("building footprint");
    out_ += "<path class=\"xm\" d=\"M";
    num(out_, mid - r);
    out_ += ' ';
    num(out_, y - r);
    out_ += "l10 10m0 -10l-10 10\"/>\n";
    key("no scenery (exclusion)");
    sample("pl p2", "key-placement");
    key("object footprint");
    out_ += "<circle class=\"pl p0\"";
    attr(out_, "cx", mid);
    attr(out_, "cy", y);
    attr(out_, "r", kMinBox);
    out_ += "/>\n";
    key("object without mesh");
    if (view_.compared) {
      sample("ob", "key-only-baked");
      key("only baked");
      sample("oc", "key-only-compared");
      key("only in compared");
      sample("mv", "key-moved");
      key("moved (dashed: compared)");
    }
    out_ += "</g>\n";
  }

  void legend_label(double left, double y, const std::string& label) {
    out_ += "<text";
    attr(out_, "x", left + kSwatchWidth + 6);
    attr(out_, "y", y + 4);
    out_ += '>';
    text(out_, label);
    out_ += "</text>\n";
  }

  const RenderView& view_;
  const HeightRange range_;
  Layout layout_;
  std::array<std::string, kPalette.size()> same_classes_;
  // "x y" of the corner on grid lines i and j of a tile (i * 9 + j), each i * cell pixels.
  std::array<std::string, 81> corners_;
  std::string out_;
  // One landblock's terrain paths, one per ramp step, and its diagonals: kept between
  // landblocks so that their buffers are allocated once.
  std::array<std::string, kSteps> step_paths_;
  std::string diagonals_;
};

}  // namespace

const char* object_colour(uint32_t obj_id) {
  return kPalette[palette_index(obj_id)];
}

std::string draw_svg(const RenderView& view) {
  return Drawing(view).draw();
}

}  // namespace tallowmere::tool

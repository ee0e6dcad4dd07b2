// tallowmere render: draws the selected landblocks as one SVG picture: terrain heights,
// the diagonal each cell is split along, the vertices that keep scenery off, building
// footprints and every placed object's footprint, optionally against a second set of
// placement files.
//
// The landblocks are baked exactly as `bake` bakes them, by the library call that also
// hands back the terrain and buildings each was baked on; object footprints come from the
// same library calls the bake makes. A baked placement is drawn as its placement line
// states it: each number as written there (six decimals) and read back, so the picture is
// that of the files `bake` writes, and a compared folder's lines, read back the same way,
// are matched with the baked placements by source as `diff` matches them.
#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bake_run.hpp"
#include "commands.hpp"
#include "output.hpp"
#include "placement_folder.hpp"
#include "placement_match.hpp"
#include "render_view.hpp"
#include "report.hpp"
#include "tallowmere/bake/height.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/text.hpp"
#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/scenery/placement_files.hpp"
#include "tallowmere/scenery/placement_line.hpp"

namespace tallowmere::tool {
namespace {

using namespace std::literals;

// A picture wider or taller than this many landblocks would be hundreds of megabytes.
constexpr unsigned kMaxSpan = 32;

// The values of a placement line that drawing needs.
struct Pose {
  uint32_t obj_id = 0;
  float x = 0, y = 0, qw = 1, qz = 0, scale = 1;
};

// What a hover title tells of a placement, as its line writes it ("?" for what a
// compared line lacks).
struct Facts {
  std::string obj_id, x, y, z, scale, cell_x, cell_y, obj_idx;
};

std::optional<Pose> pose_of(const PlacementText& p) {
  if (!p.members) return std::nullopt;
  const Members& m = *p.members;
  auto number = [&](const char* key) -> std::optional<float> {
    const auto it = m.find(key);
    return it == m.end() ? std::nullopt : read_float(it->second);
  };
  const auto id = m.find("obj_id");
  if (id == m.end() || !id->second.starts_with("0x") || id->second.size() != 10) {
    return std::nullopt;
  }
  char* end = nullptr;
  const unsigned long obj_id = std::strtoul(id->second.c_str() + 2, &end, 16);
  if (end != id->second.c_str() + id->second.size()) return std::nullopt;
  const auto x = number("x"), y = number("y"), qw = number("qw"), qz = number("qz"),
             scale = number("scale");
  if (!x || !y || !qw || !qz || !scale || !std::isfinite(*x) || !std::isfinite(*y)) {
    return std::nullopt;
  }
  return Pose{static_cast<uint32_t>(obj_id), *x, *y, *qw, *qz, *scale};
}

std::string member(const PlacementText& p, const char* key) {
  if (!p.members) return "?";
  const auto it = p.members->find(key);
  return it == p.members->end() ? "?" : it->second;
}

Facts facts_of(const PlacementText& p) {
  return {member(p, "obj_id"),
          member(p, "x"),
          member(p, "y"),
          member(p, "z"),
          member(p, "scale"),
          member(p, "source_cell_x"),
          member(p, "source_cell_y"),
          member(p, "source_obj_idx")};
}

// `value` in decimal, written into `buffer`.
std::string_view decimal(char (&buffer)[16], uint32_t value) {
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return {buffer, static_cast<size_t>(end - buffer)};
}

// A baked placement as its line states it.
struct Written {
  Facts facts;
  std::optional<Pose> pose;  // nothing when the position is not finite, as for a line
};

Written written_of(const bake::Placement& p) {
  Written w;
  Facts& f = w.facts;
  f.obj_id = "0x" + common::hex_upper(p.obj_id, 8);
  scenery::append_number(f.x, p.x);
  scenery::append_number(f.y, p.y);
  scenery::append_number(f.z, p.z);
  scenery::append_number(f.scale, p.scale);
  char digits[16];
  f.cell_x = decimal(digits, p.source_cell_x);
  f.cell_y = decimal(digits, p.source_cell_y);
  f.obj_idx = decimal(digits, p.source_obj_idx);
  const float x = scenery::written_value(p.x), y = scenery::written_value(p.y);
  if (std::isfinite(x) && std::isfinite(y)) {
    w.pose = Pose{p.obj_id,
                  x,
                  y,
                  scenery::written_value(p.qw),
                  scenery::written_value(p.qz),
                  scenery::written_value(p.scale)};
  }
  return w;
}

// The heading about the vertical axis, from the orientation (cos(h/2), 0, 0, sin(h/2)).
float heading_of(const Pose& pose) {
  return 2.0f * std::atan2(pose.qz, pose.qw);
}

// The object's footprint as the bake builds it, or the empty box without a mesh.
bake::Footprint footprint_of(const Pose& pose, scenery::SharedCaches& caches) {
  const auto mesh = caches.mesh(pose.obj_id);
  if (!mesh) return {};
  return bake::object_footprint(*mesh, pose.x, pose.y, heading_of(pose), pose.scale);
}

// Object id, position, heading in degrees, scale and source, one fact per line.
std::string describe(const Facts& f, const Pose& pose) {
  double degrees = static_cast<double>(heading_of(pose)) * 180.0 / std::numbers::pi;
  if (degrees < 0) degrees += 360.0;
  std::string text;
  text.reserve(128);
  text += f.obj_id;
  text += " at ("sv;
  text += f.x;
  text += ", "sv;
  text += f.y;
  text += ", "sv;
  text += f.z;
  text += ")\nheading "sv;
  common::append_fixed(text, degrees, 2);
  text += " degrees, scale "sv;
  text += f.scale;
  text += "\nfrom vertex ("sv;
  text += f.cell_x;
  text += ", "sv;
  text += f.cell_y;
  text += "), object "sv;
  text += f.obj_idx;
  return text;
}

DrawnPlacement drawn(DrawnPlacement::Kind kind, const Pose& pose, scenery::SharedCaches& caches,
                     std::string title) {
  DrawnPlacement d;
  d.kind = kind;
  d.obj_id = pose.obj_id;
  d.x = pose.x;
  d.y = pose.y;
  d.box = footprint_of(pose, caches);
  d.title = std::move(title);
  return d;
}

// Whether `a` sorts before `b` as decimal text ("10" before "9", "1" before "10"): both
// scaled to the same number of digits, the shorter first when they agree.
bool text_before(uint32_t a, uint32_t b) {
  auto digits = [](uint64_t v) {
    int n = 1;
    while (v >= 10) v /= 10, ++n;
    return n;
  };
  const int da = digits(a), db = digits(b);
  uint64_t wa = a, wb = b;
  for (int i = da; i < db; ++i) wa *= 10;
  for (int i = db; i < da; ++i) wb *= 10;
  return wa != wb ? wa < wb : da < db;
}

// A baked placement in the order key_placements puts its line: by source key "(x,y,i)"
// as text. The separators ',' and ')' sort below every digit, so comparing the keys is
// comparing x, then y, then i, each as text.
struct Keyed {
  const bake::Placement* placement;
  size_t repeat = 0;  // earlier placements of the same source

  // The key key_placements gives its line: a "'" per earlier repeat.
  std::string key() const {
    char x[16], y[16], i[16];
    std::string key =
        source_key(decimal(x, placement->source_cell_x), decimal(y, placement->source_cell_y),
                   decimal(i, placement->source_obj_idx));
    key.append(repeat, '\'');
    return key;
  }
};

std::vector<Keyed> key_baked(const std::vector<bake::Placement>& placements) {
  std::vector<Keyed> keyed;
  keyed.reserve(placements.size());
  for (const auto& p : placements) keyed.push_back({&p});
  auto source = [](const Keyed& k) {
    return std::array{k.placement->source_cell_x, k.placement->source_cell_y,
                      k.placement->source_obj_idx};
  };
  std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    const auto sa = source(a), sb = source(b);
    return std::lexicographical_compare(sa.begin(), sa.end(), sb.begin(), sb.end(), text_before);
  });
  // A repeat's key "(1,2,3)'" sorts right after "(1,2,3)", where the stable sort left it.
  for (size_t i = 1; i < keyed.size(); ++i) {
    if (source(keyed[i]) == source(keyed[i - 1])) keyed[i].repeat = keyed[i - 1].repeat + 1;
  }
  return keyed;
}

// Matches the baked placements of one landblock with the compared ones (nothing when
// not comparing) and adds what is drawn to `view`.
void add_placements(LandblockView& view, const std::vector<bake::Placement>& placements,
                    const std::optional<std::string>& compared_text, scenery::SharedCaches& caches,
                    CompareCounts& counts) {
  using Kind = DrawnPlacement::Kind;
  const auto baked = key_baked(placements);
  view.baked = baked.size();
  view.placements.reserve(baked.size());
  if (!compared_text) {
    for (const auto& b : baked) {
      const Written w = written_of(*b.placement);
      if (w.pose) {
        view.placements.push_back(drawn(Kind::Same, *w.pose, caches, describe(w.facts, *w.pose)));
      }
    }
    return;
  }
  const auto other = key_placements(*compared_text);
  std::vector<std::string> keys;  // in key order, as the placements are
  keys.reserve(baked.size());
  for (const auto& b : baked) keys.push_back(b.key());
  for (size_t i = 0; i < baked.size(); ++i) {
    const Keyed& b = baked[i];
    const Written w = written_of(*b.placement);
    const auto& pose = w.pose;
    const auto match = other.find(keys[i]);
    if (match == other.end()) {
      ++counts.only_baked;
      if (pose) {
        view.placements.push_back(
            drawn(Kind::OnlyBaked, *pose, caches, "only baked: " + describe(w.facts, *pose)));
      }
      continue;
    }
    const PlacementText& q = match->second;
    std::vector<FieldDiff> fields;
    if (const std::string line = scenery::placement_line(*b.placement); line != q.text) {
      const auto members = parse_members(line);
      if (members && q.members) {
        fields = field_diffs(*members, *q.members);
      } else {
        fields.push_back({"line", line, q.text, {}, {}, {}});
      }
    }
    if (fields.empty()) {
      if (pose) {
        view.placements.push_back(drawn(Kind::Same, *pose, caches, describe(w.facts, *pose)));
      }
      continue;
    }
    ++counts.moved;
    if (!pose) continue;
    std::string title = "moved: " + describe(w.facts, *pose) + "\ncompared:";
    for (const FieldDiff& f : fields) title += "\n  " + f.key + ": " + f.a + " vs " + f.b;
    DrawnPlacement d = drawn(Kind::Moved, *pose, caches, std::move(title));
    const auto from = pose_of(q);
    d.from_x = from ? from->x : pose->x;
    d.from_y = from ? from->y : pose->y;
    d.from_box = from ? footprint_of(*from, caches) : d.box;
    view.placements.push_back(std::move(d));
  }
  for (const auto& [key, q] : other) {
    if (std::binary_search(keys.begin(), keys.end(), key)) continue;
    ++counts.only_compared;
    if (const auto pose = pose_of(q)) {
      view.placements.push_back(drawn(Kind::OnlyCompared, *pose, caches,
                                      "only in compared: " + describe(facts_of(q), *pose)));
    }
  }
}

// The terrain the bake sees: heights, split diagonals and exclusion bits.
LandblockView::Ground ground_of(const dat::file_type::Region& region, uint16_t id,
                                const dat::landblock::CellLandblock& terrain) {
  LandblockView::Ground g;
  g.heights = bake::vertex_heights(region, terrain);
  for (uint32_t cx = 0; cx < 8; ++cx) {
    for (uint32_t cy = 0; cy < 8; ++cy) g.splits[cx * 8 + cy] = bake::cell_split(id, cx, cy);
  }
  for (size_t i = 0; i < g.excluded.size() && i < terrain.terrain.size(); ++i) {
    g.excluded[i] = bake::excludes_scenery(terrain.terrain[i]);
  }
  return g;
}

// Everything drawn of landblock `id` from its bake: its ground and its placements,
// matched with the compared folder's when there is one. Fails with a one-line message
// when the compared file cannot be read.
std::optional<std::string> gather(const scenery::World& world, uint16_t id,
                                  const scenery::GroundedPlacements& baked,
                                  const std::optional<std::string>& compare_dir,
                                  scenery::SharedCaches& caches, LandblockView& lb,
                                  CompareCounts& counts) {
  lb.id = id;
  if (baked.ground) {
    lb.ground = ground_of(world.region, id, baked.ground->terrain);
    lb.buildings = baked.ground->buildings;
  }
  std::optional<std::string> compared;
  if (compare_dir) {
    const std::string path = scenery::join_path(*compare_dir, scenery::placement_file_name(id));
    // A landblock the compared folder lacks has no placements there.
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    if (error) return "cannot read " + path + ": " + error.message();
    if (exists) {
      auto text = read_whole_file(path);
      if (!text) return text.error();
      compared = std::move(*text);
    } else {
      compared = std::string();
    }
  }
  add_placements(lb, baked.placements, compared, caches, counts);
  return std::nullopt;
}

// Runs `work(i)` for every i below `count` on `jobs` threads (the calling one among
// them), each index once.
template <class Work>
void on_threads(unsigned jobs, size_t count, const Work& work) {
  std::atomic<size_t> next{0};
  auto some = [&] {
    for (size_t i; (i = next.fetch_add(1)) < count;) work(i);
  };
  std::vector<std::jthread> helpers;
  for (unsigned t = 1; t < jobs && t < count; ++t) helpers.emplace_back(some);
  some();
}

std::optional<std::string> span_problem(const std::vector<uint16_t>& ids) {
  unsigned min_x = 255, max_x = 0, min_y = 255, max_y = 0;
  for (const uint16_t id : ids) {
    min_x = std::min(min_x, unsigned(id >> 8)), max_x = std::max(max_x, unsigned(id >> 8));
    min_y = std::min(min_y, unsigned(id & 0xFF)), max_y = std::max(max_y, unsigned(id & 0xFF));
  }
  const unsigned width = max_x - min_x + 1, height = max_y - min_y + 1;
  if (width <= kMaxSpan && height <= kMaxSpan) return std::nullopt;
  return "the selection spans " + std::to_string(width) + " x " + std::to_string(height) +
         " landblocks; a picture holds at most " + std::to_string(kMaxSpan) + " x " +
         std::to_string(kMaxSpan);
}

}  // namespace

int run_render(const RenderCommand& command) {
  const auto world = open_world_or_report(command.portal, command.cell);
  if (!world) return kExitTrouble;
  const auto ids = selection_or_report("render", command.landblocks, *world);
  if (!ids) return kExitTrouble;
  if (ids->empty()) {
    write_stderr("tallowmere render: the selection holds no landblocks\n");
    return kExitTrouble;
  }
  if (const auto problem = span_problem(*ids)) {
    write_stderr("tallowmere render: " + *problem + "\n");
    return kExitTrouble;
  }
  if (command.compare) {
    if (auto listed = list_placement_files(*command.compare); !listed) {
      write_stderr("tallowmere render: " + listed.error() + "\n");
      return kExitTrouble;
    }
  }

  const auto start = std::chrono::steady_clock::now();
  scenery::SharedCaches caches(world->portal);
  const unsigned jobs = resolve_jobs(command.jobs);
  // Each landblock is baked and gathered into its own slot, so the picture does not
  // depend on which thread did what.
  std::vector<scenery::GroundedPlacements> baked(ids->size());
  {
    ProgressLine progress("render", "landblocks", ids->size());
    on_threads(jobs, ids->size(), [&](size_t i) {
      scenery::SharedSceneSource scenes(caches);
      scenery::SharedMeshSource meshes(caches);
      baked[i] = scenery::bake_landblock_with_ground(world->region, world->cell, (*ids)[i], scenes,
                                                     meshes);
      progress.advance();
    });
    progress.finish();
  }
  const auto baked_at = std::chrono::steady_clock::now();

  RenderView view;
  view.px = command.px;
  if (command.compare) view.compared = common::display_lossy(*command.compare);
  view.landblocks.resize(ids->size());
  std::vector<CompareCounts> counts(ids->size());
  std::vector<std::optional<std::string>> errors(ids->size());
  on_threads(jobs, ids->size(), [&](size_t i) {
    errors[i] =
        gather(*world, (*ids)[i], baked[i], command.compare, caches, view.landblocks[i], counts[i]);
  });
  size_t placements = 0;
  for (size_t i = 0; i < ids->size(); ++i) {
    if (errors[i]) {
      write_stderr("tallowmere render: " + *errors[i] + "\n");
      return kExitTrouble;
    }
    placements += view.landblocks[i].baked;
    view.counts.only_baked += counts[i].only_baked;
    view.counts.only_compared += counts[i].only_compared;
    view.counts.moved += counts[i].moved;
  }
  const std::string svg = draw_svg(view);
  const auto drawn_at = std::chrono::steady_clock::now();

  auto written =
      common::write_file(command.out, {reinterpret_cast<const uint8_t*>(svg.data()), svg.size()});
  if (!written) {
    write_stderr(ringproof::format_report(
        ringproof::with_context("write " + common::display_lossy(command.out), written.error())));
    return kExitFailed;
  }

  using Seconds = std::chrono::duration<double>;
  char summary[256];
  std::snprintf(summary, sizeof summary,
                "render: %zu landblocks, %zu placements, %zu bytes; bake %.3f s, drawing %.3f s\n",
                ids->size(), placements, svg.size(), Seconds(baked_at - start).count(),
                Seconds(drawn_at - baked_at).count());
  write_stderr(summary);
  return kExitOk;
}

}  // namespace tallowmere::tool

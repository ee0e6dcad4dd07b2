// tallowmere render: draws the selected landblocks as one SVG picture: terrain heights,
// the diagonal each cell is split along, the vertices that keep scenery off, building
// footprints and every placed object's footprint, optionally against a second set of
// placement files.
//
// The landblocks are baked exactly as `bake` bakes them; the terrain, buildings and
// object footprints come from the same library calls the bake makes. Placements are read
// back from their lines, so the baked set and a compared folder go through one path and
// are matched by source as `diff` matches them.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
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

namespace tallowmere::tool {
namespace {

// A picture wider or taller than this many landblocks would be hundreds of megabytes.
constexpr unsigned kMaxSpan = 32;

// The values of a placement line that drawing needs.
struct Pose {
  uint32_t obj_id = 0;
  float x = 0, y = 0, qw = 1, qz = 0, scale = 1;
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

std::string member(const PlacementText& p, const char* key) {
  if (!p.members) return "?";
  const auto it = p.members->find(key);
  return it == p.members->end() ? "?" : it->second;
}

// Object id, position, heading in degrees, scale and source, one fact per line.
std::string describe(const PlacementText& p, const Pose& pose) {
  double degrees = static_cast<double>(heading_of(pose)) * 180.0 / std::numbers::pi;
  if (degrees < 0) degrees += 360.0;
  char heading[32];
  std::snprintf(heading, sizeof heading, "%.2f", degrees);
  return member(p, "obj_id") + " at (" + member(p, "x") + ", " + member(p, "y") + ", " +
         member(p, "z") + ")\nheading " + heading + " degrees, scale " + member(p, "scale") +
         "\nfrom vertex (" + member(p, "source_cell_x") + ", " + member(p, "source_cell_y") +
         "), object " + member(p, "source_obj_idx");
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

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}

// Matches the baked placements of one landblock with the compared ones (nothing when
// not comparing) and adds what is drawn to `view`.
void add_placements(LandblockView& view, const std::string& baked_text,
                    const std::optional<std::string>& compared_text, scenery::SharedCaches& caches,
                    CompareCounts& counts) {
  using Kind = DrawnPlacement::Kind;
  const auto baked = key_placements(baked_text);
  view.baked = baked.size();
  if (!compared_text) {
    for (const auto& [key, p] : baked) {
      if (const auto pose = pose_of(p)) {
        view.placements.push_back(drawn(Kind::Same, *pose, caches, describe(p, *pose)));
      }
    }
    return;
  }
  const auto other = key_placements(*compared_text);
  for (const auto& [key, p] : baked) {
    const auto pose = pose_of(p);
    const auto match = other.find(key);
    if (match == other.end()) {
      ++counts.only_baked;
      if (pose) {
        view.placements.push_back(
            drawn(Kind::OnlyBaked, *pose, caches, "only baked: " + describe(p, *pose)));
      }
      continue;
    }
    const PlacementText& q = match->second;
    std::vector<FieldDiff> fields;
    if (p.text != q.text) {
      if (p.members && q.members) {
        fields = field_diffs(*p.members, *q.members);
      } else {
        fields.push_back({"line", p.text, q.text, {}, {}, {}});
      }
    }
    if (fields.empty()) {
      if (pose) view.placements.push_back(drawn(Kind::Same, *pose, caches, describe(p, *pose)));
      continue;
    }
    ++counts.moved;
    if (!pose) continue;
    std::string title = "moved: " + describe(p, *pose) + "\ncompared:";
    for (const FieldDiff& f : fields) title += "\n  " + f.key + ": " + f.a + " vs " + f.b;
    DrawnPlacement d = drawn(Kind::Moved, *pose, caches, std::move(title));
    const auto from = pose_of(q);
    d.from_x = from ? from->x : pose->x;
    d.from_y = from ? from->y : pose->y;
    d.from_box = from ? footprint_of(*from, caches) : d.box;
    view.placements.push_back(std::move(d));
  }
  for (const auto& [key, q] : other) {
    if (baked.count(key)) continue;
    ++counts.only_compared;
    if (const auto pose = pose_of(q)) {
      view.placements.push_back(
          drawn(Kind::OnlyCompared, *pose, caches, "only in compared: " + describe(q, *pose)));
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

// Everything drawn of landblock `id`: its ground and its placements, matched with the
// compared folder's when there is one. Fails with a one-line message when the compared
// file cannot be read.
std::optional<std::string> gather(const scenery::World& world, uint16_t id,
                                  const std::vector<std::string>& lines,
                                  const std::optional<std::string>& compare_dir,
                                  scenery::SharedCaches& caches, bake::MeshSource& meshes,
                                  LandblockView& lb, CompareCounts& counts) {
  lb.id = id;
  if (auto ground = scenery::load_landblock_ground(world.cell, id, meshes)) {
    lb.ground = ground_of(world.region, id, ground->terrain);
    lb.buildings = std::move(ground->buildings);
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
  add_placements(lb, join_lines(lines), compared, caches, counts);
  return std::nullopt;
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
  scenery::ParallelBakeOptions options;
  options.jobs = resolve_jobs(command.jobs);
  std::vector<std::vector<std::string>> lines(ids->size());
  {
    ProgressLine progress("render", "landblocks", ids->size());
    bake_world(*world, *ids, caches, options, [&](scenery::BakedLandblock&& baked) {
      lines[baked.index] = std::move(baked.lines.lines);
      progress.advance();
      return true;
    });
    progress.finish();
  }
  const auto baked_at = std::chrono::steady_clock::now();

  RenderView view;
  view.px = command.px;
  if (command.compare) view.compared = common::display_lossy(*command.compare);
  view.landblocks.resize(ids->size());
  // Landblocks are gathered on the bake's threads, each into its own slot, so the picture
  // does not depend on which thread gathered what.
  std::vector<CompareCounts> counts(ids->size());
  std::vector<std::optional<std::string>> errors(ids->size());
  std::atomic<size_t> next{0};
  auto gather_some = [&] {
    scenery::SharedMeshSource meshes(caches);
    for (size_t i; (i = next.fetch_add(1)) < ids->size();) {
      errors[i] = gather(*world, (*ids)[i], lines[i], command.compare, caches, meshes,
                         view.landblocks[i], counts[i]);
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < options.jobs && t < ids->size(); ++t)
      helpers.emplace_back(gather_some);
    gather_some();
  }
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

// Graphics objects and setup models: meshes of props (trees, rocks, bushes, posts) and
// building pieces, their polygons and BSP trees of every node kind, and setup models
// with parts, placement frames and animation hooks of every type.
#include <algorithm>
#include <array>
#include <string_view>

#include "generators.hpp"
#include "tallowmere/dat_writer/model_records.hpp"

namespace tallowmere::worldgen {

namespace {

using common::Sphere;
using common::Vector3;
using dat::graphics::Polygon;
using dat::physics::BspTreeKind;
using writer::BspNodeSpec;
namespace physics = dat::physics;
namespace graphics = dat::graphics;
namespace ft = dat::file_type;

constexpr float kPi = 3.14159265358979f;

struct Mesh {
  std::vector<Vector3> points;
  Vector3 center;
  float radius = 0;
  float height = 0;
};

void ring(Mesh& mesh, Rng& rng, int segments, float radius, float z, float jitter) {
  for (int s = 0; s < segments; ++s) {
    const float a = 2 * kPi * static_cast<float>(s) / static_cast<float>(segments);
    const float r = radius * rng.uniform(1 - jitter, 1 + jitter);
    mesh.points.push_back({r * std::cos(a), r * std::sin(a), z});
  }
}

void finish_mesh(Mesh& mesh) {
  Vector3 lo = mesh.points.front(), hi = lo;
  for (const Vector3& p : mesh.points) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  mesh.center = {(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
  const float dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
  mesh.radius = std::sqrt(dx * dx + dy * dy + dz * dz) / 2;
  mesh.height = hi.z;
}

Mesh tree_mesh(Rng& rng) {
  Mesh mesh;
  const int segments = rng.between(5, 9);
  const float trunk = rng.uniform(1.5f, 5.0f);
  const float trunk_radius = rng.uniform(0.15f, 0.5f);
  ring(mesh, rng, segments, trunk_radius, 0, 0.05f);
  ring(mesh, rng, segments, trunk_radius, trunk, 0.05f);
  const float crown = rng.uniform(1.2f, 5.0f), crown_height = rng.uniform(2.0f, 8.0f);
  const int levels = rng.between(2, 5);
  for (int l = 0; l < levels; ++l) {
    const float t = static_cast<float>(l) / static_cast<float>(levels);
    ring(mesh, rng, segments, crown * (1 - t * 0.8f), trunk + crown_height * t, 0.25f);
  }
  mesh.points.push_back({0, 0, trunk + crown_height});
  return mesh;
}

Mesh blob_mesh(Rng& rng, float min_radius, float max_radius) {
  Mesh mesh;
  const int rows = rng.between(3, 7), segments = rng.between(5, 12);
  const float radius = rng.uniform(min_radius, max_radius), flatten = rng.uniform(0.4f, 1.0f);
  for (int r = 1; r <= rows; ++r) {
    const float polar = kPi * static_cast<float>(r) / static_cast<float>(rows + 1);
    ring(mesh, rng, segments, radius * std::sin(polar), radius * flatten * (1 - std::cos(polar)),
         0.2f);
  }
  mesh.points.push_back({0, 0, 0});
  mesh.points.push_back({0, 0, 2 * radius * flatten});
  return mesh;
}

Mesh box_mesh(float hx, float hy, float h) {
  Mesh mesh;
  for (float z : {0.0f, h}) {
    for (float x : {-hx, hx}) {
      for (float y : {-hy, hy}) mesh.points.push_back({x, y, z});
    }
  }
  return mesh;
}

Mesh prop_mesh(Rng& rng) {
  const uint32_t kind = rng.below(100);
  Mesh mesh;
  if (kind < 35) {
    mesh = tree_mesh(rng);
  } else if (kind < 90) {
    mesh = kind < 65 ? blob_mesh(rng, 0.3f, 3.0f) : blob_mesh(rng, 0.4f, 1.6f);
  } else {
    // Arguments are drawn one statement at a time: their order of evaluation is free.
    const float hx = rng.uniform(0.05f, 0.75f);
    const float hy = rng.uniform(0.05f, 1.5f);
    mesh = box_mesh(hx, hy, rng.uniform(0.5f, 3.0f));
  }
  finish_mesh(mesh);
  return mesh;
}

// Walls sampled on a grid, a floor grid and a roof ridge: 50 to 200 vertices.
Mesh building_mesh(Rng& rng) {
  Mesh mesh;
  const float hx = rng.uniform(4, 14), hy = rng.uniform(4, 14), h = rng.uniform(5, 14);
  const int n = rng.between(2, 6), levels = rng.between(2, 4);
  for (int l = 0; l <= levels; ++l) {
    const float z = h * static_cast<float>(l) / static_cast<float>(levels);
    for (int i = 0; i < n; ++i) {
      const float t = -1 + 2 * static_cast<float>(i) / static_cast<float>(n);
      mesh.points.push_back({t * hx, -hy, z});
      mesh.points.push_back({hx, t * hy, z});
      mesh.points.push_back({-t * hx, hy, z});
      mesh.points.push_back({-hx, -t * hy, z});
    }
  }
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; j <= n; ++j) {
      const float u = -1 + 2 * static_cast<float>(i) / static_cast<float>(n);
      const float v = -1 + 2 * static_cast<float>(j) / static_cast<float>(n);
      mesh.points.push_back({u * hx, v * hy, 0.1f});
    }
    const float u = -1 + 2 * static_cast<float>(i) / static_cast<float>(n);
    mesh.points.push_back({u * hx, 0, h + rng.uniform(1.5f, 4.0f)});
  }
  finish_mesh(mesh);
  return mesh;
}

Vector3 unit_vector(Rng& rng) {
  const float z = rng.uniform(-1, 1), a = rng.uniform(0, 2 * kPi);
  const float r = std::sqrt(std::max(0.0f, 1 - z * z));
  return {r * std::cos(a), r * std::sin(a), z};
}

Sphere sphere_near(Rng& rng, const Mesh& mesh) {
  const float j = mesh.radius * 0.2f;
  return {{mesh.center.x + rng.uniform(-j, j), mesh.center.y + rng.uniform(-j, j),
           mesh.center.z + rng.uniform(-j, j)},
          mesh.radius * rng.uniform(0.3f, 1.0f)};
}

writer::PolygonSpec random_polygon(Rng& rng, uint32_t vertex_count, uint16_t uv_count,
                                   uint32_t surfaces) {
  const uint32_t r = rng.below(100);
  const uint32_t points = r < 1 ? 0 : r < 61 ? 3 : r < 91 ? 4 : rng.count_between(5, 8);
  writer::PolygonSpec polygon;
  polygon.num_points = static_cast<uint8_t>(points);
  static constexpr uint8_t kFlags[] = {0, 0, 0, 0x04, 0x08, 0x0C, 0x01, 0x14};
  polygon.poly_flags = kFlags[rng.below(8)];
  static constexpr int32_t kSides[] = {0, 0, 1, 2, 2};
  polygon.sides_type = kSides[rng.below(5)];
  polygon.pos_surface = static_cast<int16_t>(rng.below(std::max<uint32_t>(1, surfaces)));
  polygon.neg_surface =
      rng.chance(0.5) ? -1 : static_cast<int16_t>(rng.below(std::max<uint32_t>(1, surfaces)));
  const uint32_t start = rng.below(std::max<uint32_t>(1, vertex_count));
  for (uint32_t k = 0; k < points; ++k) {
    polygon.vertex_ids.push_back(static_cast<uint16_t>((start + k * (1 + rng.below(3))) %
                                                       std::max<uint32_t>(1, vertex_count)));
  }
  const auto uv_index = [&] {
    return static_cast<uint8_t>(rng.below(std::max<uint16_t>(1, uv_count)));
  };
  if (points != 0 && !(polygon.poly_flags & Polygon::NO_POS_UVS)) {
    for (uint32_t k = 0; k < points; ++k) polygon.pos_uv_indices.push_back(uv_index());
  }
  if (points != 0 && !(polygon.poly_flags & Polygon::NO_NEG_UVS) &&
      polygon.sides_type == Polygon::SIDES_TWO_SIDED) {
    for (uint32_t k = 0; k < points; ++k) polygon.neg_uv_indices.push_back(uv_index());
  }
  return polygon;
}

// Random trees over a mesh's polygons with every node kind: leaves, portals, internal
// nodes under each of the six child tags, and childless ones with other tags.
class TreeMaker {
 public:
  TreeMaker(Rng& rng, BspTreeKind kind, const Mesh& mesh, uint32_t polygons)
      : rng_(rng), kind_(kind), mesh_(mesh), polygons_(polygons) {}

  BspNodeSpec node(int depth, int max_depth) {
    const uint32_t r = rng_.below(100);
    if (depth >= max_depth || (depth > 0 && r < 25)) return leaf();
    if (r < 37) return portal(depth, max_depth);
    static constexpr std::string_view kTags[] = {"BPIN", "BPnN", "BPIn", "BPnn", "BpIN", "BpnN"};
    static constexpr std::string_view kChildless[] = {"BpIn", "Bpnn", "BPOL"};
    writer::InternalSpec node;
    const std::string_view tag = r < 44 ? kChildless[rng_.below(3)] : kTags[rng_.below(6)];
    std::copy(tag.begin(), tag.end(), node.node_type.begin());
    node.splitting_plane = plane();
    const bool known = r >= 44;
    if (known && tag[1] == 'P')
      node.pos_child = std::make_unique<BspNodeSpec>(this->node(depth + 1, max_depth));
    if (known && tag[3] == 'N')
      node.neg_child = std::make_unique<BspNodeSpec>(this->node(depth + 1, max_depth));
    if (kind_ != BspTreeKind::Cell) node.bounding_sphere = sphere_near(rng_, mesh_);
    if (kind_ == BspTreeKind::Drawing) node.poly_ids = poly_ids();
    return BspNodeSpec{std::move(node)};
  }

 private:
  BspNodeSpec leaf() {
    writer::LeafSpec leaf;
    leaf.leaf_index = leaves_++;
    if (kind_ == BspTreeKind::Physics) {
      leaf.solid = rng_.below(2);
      leaf.bounding_sphere = sphere_near(rng_, mesh_);
      leaf.poly_ids = poly_ids();
    }
    return BspNodeSpec{std::move(leaf)};
  }

  BspNodeSpec portal(int depth, int max_depth) {
    writer::PortalSpec portal;
    portal.splitting_plane = plane();
    portal.pos_child = std::make_unique<BspNodeSpec>(node(depth + 1, max_depth));
    portal.neg_child = std::make_unique<BspNodeSpec>(node(depth + 1, max_depth));
    if (kind_ == BspTreeKind::Drawing) {
      portal.bounding_sphere = sphere_near(rng_, mesh_);
      portal.poly_ids = poly_ids();
      for (uint32_t k = rng_.below(4); k > 0; --k) {
        portal.portals.push_back({static_cast<uint16_t>(rng_.below(8)), poly_id()});
      }
    }
    return BspNodeSpec{std::move(portal)};
  }

  common::Plane plane() {
    const Vector3 n = unit_vector(rng_);
    const float d = -(n.x * mesh_.center.x + n.y * mesh_.center.y + n.z * mesh_.center.z);
    return {n, d + rng_.uniform(-mesh_.radius, mesh_.radius) * 0.5f};
  }

  uint16_t poly_id() { return static_cast<uint16_t>(rng_.below(std::max<uint32_t>(1, polygons_))); }

  std::vector<uint16_t> poly_ids() {
    std::vector<uint16_t> ids;
    if (polygons_ == 0) return ids;
    for (uint32_t k = rng_.below(7); k > 0; --k) ids.push_back(poly_id());
    return ids;
  }

  Rng& rng_;
  BspTreeKind kind_;
  const Mesh& mesh_;
  uint32_t polygons_;
  uint32_t leaves_ = 0;
};

writer::PolygonList polygon_list(Rng& rng, uint32_t count, uint32_t vertices, uint16_t uvs,
                                 uint32_t surfaces) {
  writer::PolygonList list;
  for (uint32_t k = 0; k < count; ++k) {
    list.emplace_back(static_cast<uint16_t>(k), random_polygon(rng, vertices, uvs, surfaces));
  }
  return list;
}

graphics::Frame part_frame(Rng& rng, float spread) {
  graphics::Frame frame;
  frame.origin = {rng.uniform(-spread, spread), rng.uniform(-spread, spread),
                  rng.uniform(0, spread * 0.5f)};
  if (rng.chance(0.6)) frame.orientation = yaw_quaternion(random_heading(rng, 0.5));
  return frame;
}

uint32_t optional_id(Rng& rng, const Catalog& catalog, uint8_t type, double share) {
  const auto& ids = catalog.filler(type);
  if (ids.empty() || !rng.chance(share)) return 0;
  return rng.pick(ids);
}

}  // namespace

std::vector<uint8_t> gfx_obj_payload(const Catalog& catalog, const Model& model) {
  using ft::GfxObj;
  Rng rng = Rng::stream(catalog.seed, Stream::GfxObj, model.id);
  const Mesh mesh = model.role == Role::Building ? building_mesh(rng) : prop_mesh(rng);

  writer::GfxObjSpec record;
  record.id = model.id;
  const uint32_t r = rng.below(100);
  record.flags = r < 70   ? GfxObj::HAS_PHYSICS | GfxObj::HAS_DRAWING
                 : r < 80 ? GfxObj::HAS_DRAWING
                 : r < 85 ? GfxObj::HAS_PHYSICS
                 : r < 95 ? GfxObj::HAS_PHYSICS | GfxObj::HAS_DRAWING | GfxObj::HAS_DEGRADE
                 : r < 99 ? GfxObj::HAS_PHYSICS | GfxObj::HAS_DRAWING | 0x4
                          : 0;
  const auto& surfaces = catalog.filler(0x08);
  for (uint32_t k = rng.count_between(1, 4); k > 0 && !surfaces.empty(); --k) {
    record.surfaces.push_back(rng.pick(surfaces));
  }
  const auto surface_count = static_cast<uint32_t>(record.surfaces.size());

  // A few objects use a vertex layout without vertex records: no mesh at all.
  record.vertex_type = rng.chance(0.01) ? 2 : 1;
  const uint32_t uv_roll = rng.below(10);
  const uint16_t uvs = uv_roll < 2 ? 0 : uv_roll < 8 ? 1 : 2;
  if (record.vertex_type == 1) {
    for (size_t i = 0; i < mesh.points.size(); ++i) {
      writer::VertexSpec vertex;
      vertex.origin = mesh.points[i];
      const Vector3 d = {vertex.origin.x - mesh.center.x, vertex.origin.y - mesh.center.y,
                         vertex.origin.z - mesh.center.z};
      const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      vertex.normal =
          length > 0 ? Vector3{d.x / length, d.y / length, d.z / length} : Vector3{0, 0, 1};
      vertex.num_uvs = uvs;
      for (uint16_t k = 0; k < uvs; ++k)
        vertex.uvs.push_back({rng.uniform(0, 1), rng.uniform(0, 1)});
      record.vertices.emplace_back(static_cast<uint16_t>(i), std::move(vertex));
    }
  }

  const auto vertex_count = static_cast<uint32_t>(mesh.points.size());
  if (record.flags & GfxObj::HAS_PHYSICS) {
    const auto most = static_cast<int32_t>(std::min<uint32_t>(24, vertex_count / 2 + 1));
    const uint32_t count = rng.chance(0.1) ? 0 : static_cast<uint32_t>(rng.between(1, most));
    record.physics_polygons = polygon_list(rng, count, vertex_count, uvs, surface_count);
    record.physics_bsp =
        TreeMaker(rng, BspTreeKind::Physics, mesh, count).node(0, rng.between(2, 6));
  }
  record.sort_center = mesh.center;
  if (record.flags & GfxObj::HAS_DRAWING) {
    const auto most = static_cast<int32_t>(std::min<uint32_t>(200, vertex_count + 4));
    const auto count = static_cast<uint32_t>(
        rng.between(std::min(most, static_cast<int32_t>(vertex_count / 2)), most));
    record.polygons = polygon_list(rng, count, vertex_count, uvs, surface_count);
    record.drawing_bsp =
        TreeMaker(rng, BspTreeKind::Drawing, mesh, count).node(0, rng.between(2, 7));
  }
  if (record.flags & GfxObj::HAS_DEGRADE) {
    const auto& degrades = catalog.filler(0x11);
    record.degrade_id = degrades.empty() ? 0x11000000 : rng.pick(degrades);
  }
  return writer::encode_gfx_obj(record);
}

std::vector<uint8_t> setup_model_payload(const Catalog& catalog, const Model& model,
                                         uint32_t index) {
  using ft::SetupModel;
  Rng rng = Rng::stream(catalog.seed, Stream::Setup, model.id);
  writer::SetupModelSpec record;
  record.id = model.id;
  const uint32_t r = rng.below(100);
  record.flags = r < 50   ? 0
                 : r < 65 ? SetupModel::HAS_PARENT
                 : r < 80 ? SetupModel::HAS_DEFAULT_SCALE
                 : r < 95 ? SetupModel::HAS_PARENT | SetupModel::HAS_DEFAULT_SCALE
                          : 0x8 | SetupModel::HAS_PARENT;

  const bool building = model.role == Role::Building && !catalog.building_gfx.empty();
  const auto& pool = building ? catalog.building_gfx : catalog.prop_gfx;
  const int max_parts = model.role == Role::Prop ? 4 : building ? 5 : 8;
  for (int k = rng.between(1, max_parts); k > 0; --k) record.parts.push_back(rng.pick(pool));
  const auto n = static_cast<uint32_t>(record.parts.size());
  const float spread = building ? 8.0f : 1.0f;
  for (uint32_t i = 0; i < n; ++i) {
    record.parent_index.push_back(i == 0 ? 0xFFFFFFFFu : rng.below(i));
    const float s = rng.chance(0.7) ? 1.0f : rng.uniform(0.5f, 2.0f);
    record.default_scale.push_back(rng.chance(0.8) ? Vector3{s, s, s}
                                                   : Vector3{s, rng.uniform(0.5f, 2.0f), s});
  }
  for (auto* locations : {&record.holding_locations, &record.connection_points}) {
    for (uint32_t k = rng.below(4); k > 0; --k) {
      ft::LocationType location;
      location.part_id = rng.below(n);
      location.frame = part_frame(rng, spread);
      locations->emplace_back(static_cast<uint32_t>(locations->size() + 1), location);
    }
  }

  // Every hook type appears: the first hook of setup model `index` has type index % 27,
  // and type 5 alternates between a non-negative and a negative value.
  const uint32_t placements = rng.chance(0.6) ? 1 : rng.count_between(2, 4);
  static constexpr uint32_t kKeys[] = {0, 1, 0x65, 0x66, 0x67, 0x68, 0x79, 0x80};
  for (uint32_t p = 0; p < placements; ++p) {
    writer::PlacementSpec placement;
    for (uint32_t i = 0; i < n; ++i) placement.frames.push_back(part_frame(rng, spread));
    const uint32_t hooks = p == 0 ? rng.count_between(1, 4) : rng.below(3);
    for (uint32_t h = 0; h < hooks; ++h) {
      const uint32_t type = p == 0 && h == 0 ? index % 27 : rng.below(27);
      const bool negative =
          type == 5 && (p == 0 && h == 0 ? (index / 27) % 2 == 1 : rng.chance(0.5));
      const auto value =
          static_cast<int16_t>(negative ? -rng.between(1, 30000) : rng.between(0, 30000));
      placement.hooks.push_back(writer::make_hook(type, rng.below(4), value));
    }
    record.placement_frames.emplace_back(kKeys[p * 2 + rng.below(2)], std::move(placement));
  }

  Rng shape_rng = Rng::stream(catalog.seed, Stream::GfxObj, record.parts.front());
  const Mesh mesh = building ? building_mesh(shape_rng) : prop_mesh(shape_rng);
  for (uint32_t k = rng.below(3); k > 0; --k) {
    record.cyl_spheres.push_back({mesh.center, mesh.radius * rng.uniform(0.2f, 0.6f), mesh.height});
  }
  for (uint32_t k = rng.below(4); k > 0; --k) record.spheres.push_back(sphere_near(rng, mesh));
  record.height = mesh.height;
  record.radius = mesh.radius;
  record.step_up_height = rng.uniform(0, 1);
  record.step_down_height = rng.uniform(0, 1);
  record.sorting_sphere = {mesh.center, mesh.radius};
  record.selection_sphere = sphere_near(rng, mesh);
  if (rng.chance(0.1)) {
    for (uint32_t k = rng.count_between(1, 2); k > 0; --k) {
      ft::LightInfo light;
      light.viewer_space_location = part_frame(rng, spread);
      light.color = rng.u32() | 0xFF000000u;
      light.intensity = rng.uniform(0.2f, 2.0f);
      light.falloff = rng.uniform(2, 20);
      light.cone_angle = rng.chance(0.5) ? 0 : rng.uniform(0.2f, 1.5f);
      record.lights.emplace_back(k, light);
    }
  }
  record.default_animation = optional_id(rng, catalog, 0x03, 0.4);
  record.default_script = optional_id(rng, catalog, 0x33, 0.2);
  record.default_motion_table = optional_id(rng, catalog, 0x09, 0.4);
  record.default_sound_table = optional_id(rng, catalog, 0x20, 0.3);
  record.default_script_table = optional_id(rng, catalog, 0x34, 0.2);
  return writer::encode_setup_model(record);
}

std::vector<uint8_t> truncate(std::vector<uint8_t> payload, Rng& rng, size_t keep_clear) {
  const size_t size = payload.size();
  const size_t most = size > keep_clear ? size - keep_clear : 0;
  const size_t least = std::min(most, size / 4);
  payload.resize(least + rng.below(static_cast<uint32_t>(most - least + 1)));
  return payload;
}

}  // namespace tallowmere::worldgen

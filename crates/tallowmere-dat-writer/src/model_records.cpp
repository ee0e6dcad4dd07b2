#include "tallowmere/dat_writer/model_records.hpp"

#include <memory>

namespace tallowmere::writer {

using common::Sphere;
using common::Vector3;
using physics::BspTreeKind;

namespace {

void encode_vector(ByteWriter& out, const Vector3& v) {
  out.f32(v.x).f32(v.y).f32(v.z);
}

void encode_sphere(ByteWriter& out, const Sphere& s) {
  encode_vector(out, s.center);
  out.f32(s.radius);
}

void encode_plane(ByteWriter& out, const common::Plane& p) {
  encode_vector(out, p.normal);
  out.f32(p.d);
}

void encode_ids(ByteWriter& out, const std::vector<uint16_t>& ids) {
  for (uint16_t id : ids) out.u16(id);
}

void encode_counted_ids(ByteWriter& out, const std::vector<uint16_t>& ids) {
  out.u32(static_cast<uint32_t>(ids.size()));
  encode_ids(out, ids);
}

void encode_polygon_set(ByteWriter& out, const PolygonList& polygons,
                        const std::optional<BspNodeSpec>& tree, BspTreeKind kind) {
  out.packed_u32(static_cast<uint32_t>(polygons.size()));
  for (const auto& [id, polygon] : polygons) {
    out.u16(id);
    encode_polygon(out, polygon);
  }
  if (tree) {
    encode_bsp(out, *tree, kind);
  } else {
    encode_bsp(out, bsp_leaf(0), kind);
  }
}

std::unique_ptr<BspNodeSpec> boxed(std::optional<BspNodeSpec> node) {
  if (!node) return nullptr;
  return std::make_unique<BspNodeSpec>(std::move(*node));
}

std::vector<uint16_t> ids_of(const physics::BspTree& tree, const common::Run& run) {
  const auto ids = tree.poly_ids_of(run);
  return {ids.begin(), ids.end()};
}

BspNodeSpec spec_of(const physics::BspTree& tree, const physics::BspNode& node);

std::unique_ptr<BspNodeSpec> child_spec(const physics::BspTree& tree, uint32_t position) {
  const physics::BspNode* child = tree.child(position);
  if (child == nullptr) return nullptr;
  return std::make_unique<BspNodeSpec>(spec_of(tree, *child));
}

BspNodeSpec spec_of(const physics::BspTree& tree, const physics::BspNode& node) {
  if (const auto* leaf = node.leaf()) {
    return BspNodeSpec{LeafSpec{leaf->leaf_index, leaf->solid, leaf->bounding_sphere,
                                ids_of(tree, leaf->poly_ids)}};
  }
  if (const auto* portal = node.portal()) {
    const auto portals = tree.portals_of(portal->portals);
    return BspNodeSpec{PortalSpec{portal->splitting_plane,
                                  child_spec(tree, portal->pos_child),
                                  child_spec(tree, portal->neg_child),
                                  portal->bounding_sphere,
                                  ids_of(tree, portal->poly_ids),
                                  {portals.begin(), portals.end()}}};
  }
  const auto* internal = node.internal();
  return BspNodeSpec{InternalSpec{internal->node_type, internal->splitting_plane,
                                  child_spec(tree, internal->pos_child),
                                  child_spec(tree, internal->neg_child), internal->bounding_sphere,
                                  ids_of(tree, internal->poly_ids)}};
}

// Payload bytes of every hook type but 5.
uint32_t hook_payload_size(uint32_t hook_type) {
  switch (hook_type) {
    case 1:
    case 2:
    case 6:
    case 14:
    case 15:
    case 16:
    case 18:
    case 25:
      return 4;
    case 12:
    case 19:
    case 23:
      return 8;
    case 8:
    case 10:
    case 20:
    case 22:
    case 24:
      return 12;
    case 7:
    case 9:
    case 11:
    case 21:
      return 16;
    case 3:
      return 28;
    case 13:
    case 26:
      return 40;
    default:  // 0, 4, 17
      return 0;
  }
}

}  // namespace

uint32_t bsp_tag(std::string_view chars) {
  uint32_t tag = 0;
  for (size_t i = 0; i < 4; ++i) {
    const auto c = static_cast<uint8_t>(i < chars.size() ? chars[i] : ' ');
    tag = (tag << 8) | c;
  }
  return tag;
}

void encode_bsp(ByteWriter& out, const BspNodeSpec& node, BspTreeKind kind) {
  if (const auto* leaf = node.leaf()) {
    out.u32(physics::kTagLeaf).u32(leaf->leaf_index);
    if (kind == BspTreeKind::Physics) {
      out.u32(leaf->solid);
      encode_sphere(out, leaf->bounding_sphere.value_or(Sphere{}));
      encode_counted_ids(out, leaf->poly_ids);
    }
    return;
  }
  if (const auto* portal = node.portal()) {
    out.u32(physics::kTagPortal);
    encode_plane(out, portal->splitting_plane);
    if (portal->pos_child) encode_bsp(out, *portal->pos_child, kind);
    if (portal->neg_child) encode_bsp(out, *portal->neg_child, kind);
    if (kind == BspTreeKind::Drawing) {
      encode_sphere(out, portal->bounding_sphere.value_or(Sphere{}));
      out.u32(static_cast<uint32_t>(portal->poly_ids.size()));
      out.u32(static_cast<uint32_t>(portal->portals.size()));
      encode_ids(out, portal->poly_ids);
      for (const auto& poly : portal->portals) out.u16(poly.portal_index).u16(poly.poly_id);
    }
    return;
  }
  const auto& internal = *node.internal();
  out.u32(bsp_tag({internal.node_type.data(), internal.node_type.size()}));
  encode_plane(out, internal.splitting_plane);
  if (internal.pos_child) encode_bsp(out, *internal.pos_child, kind);
  if (internal.neg_child) encode_bsp(out, *internal.neg_child, kind);
  if (kind == BspTreeKind::Cell) return;
  encode_sphere(out, internal.bounding_sphere.value_or(Sphere{}));
  if (kind == BspTreeKind::Drawing) encode_counted_ids(out, internal.poly_ids);
}

BspNodeSpec bsp_spec(const physics::BspTree& tree) {
  return spec_of(tree, tree.root());
}

BspNodeSpec bsp_leaf(uint32_t leaf_index, std::vector<uint16_t> poly_ids) {
  LeafSpec leaf;
  leaf.leaf_index = leaf_index;
  leaf.poly_ids = std::move(poly_ids);
  return BspNodeSpec{std::move(leaf)};
}

BspNodeSpec bsp_internal(std::string_view tag, std::optional<BspNodeSpec> pos,
                         std::optional<BspNodeSpec> neg, std::vector<uint16_t> poly_ids) {
  InternalSpec node;
  for (size_t i = 0; i < 4; ++i) node.node_type[i] = i < tag.size() ? tag[i] : ' ';
  node.splitting_plane.normal = {0, 0, 1};
  node.pos_child = boxed(std::move(pos));
  node.neg_child = boxed(std::move(neg));
  node.poly_ids = std::move(poly_ids);
  return BspNodeSpec{std::move(node)};
}

BspNodeSpec bsp_portal(BspNodeSpec pos, BspNodeSpec neg, std::vector<uint16_t> poly_ids,
                       std::vector<physics::PortalPoly> portals) {
  PortalSpec portal;
  portal.splitting_plane.normal = {0, 0, 1};
  portal.pos_child = std::make_unique<BspNodeSpec>(std::move(pos));
  portal.neg_child = std::make_unique<BspNodeSpec>(std::move(neg));
  portal.poly_ids = std::move(poly_ids);
  portal.portals = std::move(portals);
  return BspNodeSpec{std::move(portal)};
}

void encode_polygon(ByteWriter& out, const PolygonSpec& polygon) {
  out.u8(polygon.num_points).u8(polygon.poly_flags).i32(polygon.sides_type);
  out.i16(polygon.pos_surface).i16(polygon.neg_surface);
  encode_ids(out, polygon.vertex_ids);
  out.bytes(polygon.pos_uv_indices).bytes(polygon.neg_uv_indices);
}

PolygonSpec make_polygon(std::vector<uint16_t> vertex_ids) {
  PolygonSpec polygon;
  polygon.num_points = static_cast<uint8_t>(vertex_ids.size());
  polygon.sides_type = graphics::Polygon::SIDES_TWO_SIDED;
  polygon.pos_uv_indices.assign(vertex_ids.size(), 0);
  polygon.neg_uv_indices.assign(vertex_ids.size(), 0);
  polygon.vertex_ids = std::move(vertex_ids);
  return polygon;
}

void encode_vertex(ByteWriter& out, const VertexSpec& vertex) {
  out.u16(vertex.num_uvs);
  encode_vector(out, vertex.origin);
  encode_vector(out, vertex.normal);
  for (const auto& uv : vertex.uvs) out.f32(uv.u).f32(uv.v);
}

void encode_vertex_array(ByteWriter& out, uint32_t vertex_type, const VertexList& vertices) {
  out.u32(vertex_type).u32(static_cast<uint32_t>(vertices.size()));
  for (const auto& [id, vertex] : vertices) {
    out.u16(id);
    encode_vertex(out, vertex);
  }
}

void encode_gfx_obj(ByteWriter& out, const GfxObjSpec& desc) {
  using file_type::GfxObj;
  out.u32(desc.id).u32(desc.flags);
  out.packed_u32(static_cast<uint32_t>(desc.surfaces.size()));
  for (uint32_t surface : desc.surfaces) out.u32(surface);
  encode_vertex_array(out, desc.vertex_type, desc.vertices);
  if (desc.flags & GfxObj::HAS_PHYSICS) {
    encode_polygon_set(out, desc.physics_polygons, desc.physics_bsp, BspTreeKind::Physics);
  }
  encode_vector(out, desc.sort_center);
  if (desc.flags & GfxObj::HAS_DRAWING) {
    encode_polygon_set(out, desc.polygons, desc.drawing_bsp, BspTreeKind::Drawing);
  }
  if (desc.flags & GfxObj::HAS_DEGRADE) out.u32(desc.degrade_id);
}

std::vector<uint8_t> encode_gfx_obj(const GfxObjSpec& desc) {
  ByteWriter out;
  encode_gfx_obj(out, desc);
  return out.take();
}

GfxObjSpec gfx_obj_from_positions(uint32_t id, std::span<const Vector3> positions) {
  GfxObjSpec desc;
  desc.id = id;
  for (size_t i = 0; i < positions.size(); ++i) {
    VertexSpec vertex;
    vertex.origin = positions[i];
    vertex.normal = {0, 0, 1};
    desc.vertices.emplace_back(static_cast<uint16_t>(i), std::move(vertex));
  }
  return desc;
}

void encode_frame(ByteWriter& out, const graphics::Frame& frame) {
  encode_vector(out, frame.origin);
  const auto& q = frame.orientation;
  out.f32(q.w).f32(q.x).f32(q.y).f32(q.z);
}

void encode_hook(ByteWriter& out, const HookSpec& hook) {
  out.u32(hook.hook_type).u32(hook.param).bytes(hook.data);
}

void encode_placement(ByteWriter& out, const PlacementSpec& placement) {
  for (const auto& frame : placement.frames) encode_frame(out, frame);
  out.u32(static_cast<uint32_t>(placement.hooks.size()));
  for (const auto& hook : placement.hooks) encode_hook(out, hook);
}

void encode_setup_model(ByteWriter& out, const SetupModelSpec& desc) {
  using file_type::SetupModel;
  out.u32(desc.id).u32(desc.flags).u32(static_cast<uint32_t>(desc.parts.size()));
  for (uint32_t part : desc.parts) out.u32(part);
  if (desc.flags & SetupModel::HAS_PARENT) {
    for (uint32_t parent : desc.parent_index) out.u32(parent);
  }
  if (desc.flags & SetupModel::HAS_DEFAULT_SCALE) {
    for (const auto& scale : desc.default_scale) encode_vector(out, scale);
  }
  for (const auto* locations : {&desc.holding_locations, &desc.connection_points}) {
    out.u32(static_cast<uint32_t>(locations->size()));
    for (const auto& [key, location] : *locations) {
      out.u32(key).u32(location.part_id);
      encode_frame(out, location.frame);
    }
  }
  out.i32(static_cast<int32_t>(desc.placement_frames.size()));
  for (const auto& [key, placement] : desc.placement_frames) {
    out.u32(key);
    encode_placement(out, placement);
  }
  out.u32(static_cast<uint32_t>(desc.cyl_spheres.size()));
  for (const auto& cyl : desc.cyl_spheres) {
    encode_vector(out, cyl.origin);
    out.f32(cyl.radius).f32(cyl.height);
  }
  out.u32(static_cast<uint32_t>(desc.spheres.size()));
  for (const auto& sphere : desc.spheres) encode_sphere(out, sphere);
  out.f32(desc.height).f32(desc.radius).f32(desc.step_up_height).f32(desc.step_down_height);
  encode_sphere(out, desc.sorting_sphere);
  encode_sphere(out, desc.selection_sphere);
  out.u32(static_cast<uint32_t>(desc.lights.size()));
  for (const auto& [key, light] : desc.lights) {
    out.u32(key);
    encode_frame(out, light.viewer_space_location);
    out.u32(light.color).f32(light.intensity).f32(light.falloff).f32(light.cone_angle);
  }
  out.u32(desc.default_animation).u32(desc.default_script).u32(desc.default_motion_table);
  out.u32(desc.default_sound_table).u32(desc.default_script_table);
}

std::vector<uint8_t> encode_setup_model(const SetupModelSpec& desc) {
  ByteWriter out;
  encode_setup_model(out, desc);
  return out.take();
}

HookSpec make_hook(uint32_t hook_type, uint32_t param, int16_t type5_value) {
  HookSpec hook;
  hook.hook_type = hook_type;
  hook.param = param;
  if (hook_type == 5) {
    const auto raw = static_cast<uint16_t>(type5_value);
    // One byte, the i16, and two more bytes when the value is negative.
    hook.data.reserve(8);
    hook.data.push_back(1);
    hook.data.push_back(static_cast<uint8_t>(raw));
    hook.data.push_back(static_cast<uint8_t>(raw >> 8));
    if (type5_value < 0) {
      hook.data.push_back(4);
      hook.data.push_back(5);
    }
  } else {
    for (uint32_t i = 0; i < hook_payload_size(hook_type); ++i) {
      hook.data.push_back(static_cast<uint8_t>(i + 1));
    }
  }
  while (hook.data.size() % 4 != 0) hook.data.push_back(0);
  return hook;
}

SetupModelSpec setup_model_from_parts(uint32_t id, std::vector<uint32_t> parts) {
  SetupModelSpec desc;
  desc.id = id;
  PlacementSpec placement;
  placement.frames.resize(parts.size());
  desc.placement_frames.emplace_back(0, std::move(placement));
  desc.parts = std::move(parts);
  return desc;
}

}  // namespace tallowmere::writer

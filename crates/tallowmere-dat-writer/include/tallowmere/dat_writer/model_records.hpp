// Encoders of the model records: BSP trees, polygons, vertex arrays, graphics objects
// and setup models, in exactly the layouts their readers parse.
//
// The parsed records keep polygons, vertices and locations in hash maps whose order is
// unspecified, so the encoders take ordered lists of (key, value) pairs instead: the
// caller decides the payload order, repeated keys included. Encoders write what they
// are given; keeping counts, flags and lists consistent is the caller's business, which
// lets tests lay out damaged records as easily as sound ones.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat/graphics.hpp"
#include "tallowmere/dat/physics.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"

namespace tallowmere::writer {

namespace physics = dat::physics;
namespace graphics = dat::graphics;
namespace file_type = dat::file_type;

// ---- BSP trees ----

// A tag value from its four characters in reading order ("LEAF" -> 0x4C454146).
uint32_t bsp_tag(std::string_view chars);

// A BSP node as the encoders take it: the fields of a parsed node (physics.hpp), each
// node owning its children and lists, so that trees can be put together from subtrees.
struct BspNodeSpec;

struct InternalSpec {
  std::array<char, 4> node_type{};
  common::Plane splitting_plane;
  std::unique_ptr<BspNodeSpec> pos_child;
  std::unique_ptr<BspNodeSpec> neg_child;
  std::optional<common::Sphere> bounding_sphere;
  std::vector<uint16_t> poly_ids;
};

struct LeafSpec {
  uint32_t leaf_index = 0;
  uint32_t solid = 0;
  std::optional<common::Sphere> bounding_sphere;
  std::vector<uint16_t> poly_ids;
};

struct PortalSpec {
  common::Plane splitting_plane;
  std::unique_ptr<BspNodeSpec> pos_child;
  std::unique_ptr<BspNodeSpec> neg_child;
  std::optional<common::Sphere> bounding_sphere;
  std::vector<uint16_t> poly_ids;
  std::vector<physics::PortalPoly> portals;
};

struct BspNodeSpec {
  std::variant<InternalSpec, LeafSpec, PortalSpec> value;

  const InternalSpec* internal() const { return std::get_if<InternalSpec>(&value); }
  const LeafSpec* leaf() const { return std::get_if<LeafSpec>(&value); }
  const PortalSpec* portal() const { return std::get_if<PortalSpec>(&value); }
};

// Writes `node` and its subtrees as a tree of `kind`. Internal nodes write the tag of
// their node_type and whichever children they hold (the tag should agree); optional
// parts that the kind stores but the node lacks are written as zeros.
void encode_bsp(ByteWriter& out, const BspNodeSpec& node, physics::BspTreeKind kind);

// The nodes of a parsed tree as the encoder takes them, to be encoded again (as
// another kind, say).
BspNodeSpec bsp_spec(const physics::BspTree& tree);

// Node builders for tests and generated models.
BspNodeSpec bsp_leaf(uint32_t leaf_index, std::vector<uint16_t> poly_ids = {});
// An internal node; `tag` is four characters ("BPIN", "BPnn", ...).
BspNodeSpec bsp_internal(std::string_view tag, std::optional<BspNodeSpec> pos,
                         std::optional<BspNodeSpec> neg, std::vector<uint16_t> poly_ids = {});
BspNodeSpec bsp_portal(BspNodeSpec pos, BspNodeSpec neg, std::vector<uint16_t> poly_ids = {},
                       std::vector<physics::PortalPoly> portals = {});

// ---- Graphics records ----

// A vertex and a polygon as the encoders take them: the fields of the parsed records
// (graphics.hpp), each holding its own lists.
struct VertexSpec {
  uint16_t num_uvs = 0;
  common::Vector3 origin;
  common::Vector3 normal;
  std::vector<graphics::Vec2Duv> uvs;
};

struct PolygonSpec {
  uint8_t num_points = 0;
  uint8_t poly_flags = 0;
  int32_t sides_type = 0;
  int16_t pos_surface = 0;
  int16_t neg_surface = 0;
  std::vector<uint16_t> vertex_ids;
  std::vector<uint8_t> pos_uv_indices;
  std::vector<uint8_t> neg_uv_indices;
};

using PolygonList = std::vector<std::pair<uint16_t, PolygonSpec>>;
using VertexList = std::vector<std::pair<uint16_t, VertexSpec>>;

// Writes the polygon's fields and lists as held (num_points is written from the field).
void encode_polygon(ByteWriter& out, const PolygonSpec& polygon);
// A polygon over `vertex_ids` with both uv index lists stored (sides_type 2, flags 0).
PolygonSpec make_polygon(std::vector<uint16_t> vertex_ids);

void encode_vertex(ByteWriter& out, const VertexSpec& vertex);
// vertex_type, count = vertices.size(), then every (id, vertex) in order.
void encode_vertex_array(ByteWriter& out, uint32_t vertex_type, const VertexList& vertices);

// ---- Graphics object ----

struct GfxObjSpec {
  uint32_t id = 0x01000000;
  uint32_t flags = 0;
  std::vector<uint32_t> surfaces;
  uint32_t vertex_type = 1;
  VertexList vertices;
  PolygonList physics_polygons;
  std::optional<BspNodeSpec> physics_bsp;  // a single leaf when absent
  common::Vector3 sort_center;
  PolygonList polygons;
  std::optional<BspNodeSpec> drawing_bsp;  // a single leaf when absent
  uint32_t degrade_id = 0;
};

// The optional parts are written exactly when `flags` asks for them.
void encode_gfx_obj(ByteWriter& out, const GfxObjSpec& desc);
std::vector<uint8_t> encode_gfx_obj(const GfxObjSpec& desc);

// A graphics object with one vertex (ids 0, 1, ...) per position and nothing else.
GfxObjSpec gfx_obj_from_positions(uint32_t id, std::span<const common::Vector3> positions);

// ---- Setup model ----

// A hook and a placement as the encoders take them: the fields of the parsed records
// (setup_model.hpp), each holding its own lists.
struct HookSpec {
  uint32_t hook_type = 0;
  uint32_t param = 0;
  std::vector<uint8_t> data;  // the payload and its padding, as stored
};

struct PlacementSpec {
  std::vector<graphics::Frame> frames;
  std::vector<HookSpec> hooks;
};

struct SetupModelSpec {
  uint32_t id = 0x02000000;
  uint32_t flags = 0;
  std::vector<uint32_t> parts;
  std::vector<uint32_t> parent_index;          // written when HAS_PARENT
  std::vector<common::Vector3> default_scale;  // written when HAS_DEFAULT_SCALE
  std::vector<std::pair<uint32_t, file_type::LocationType>> holding_locations;
  std::vector<std::pair<uint32_t, file_type::LocationType>> connection_points;
  std::vector<std::pair<uint32_t, PlacementSpec>> placement_frames;
  std::vector<file_type::CylSphere> cyl_spheres;
  std::vector<common::Sphere> spheres;
  float height = 0;
  float radius = 0;
  float step_up_height = 0;
  float step_down_height = 0;
  common::Sphere sorting_sphere;
  common::Sphere selection_sphere;
  std::vector<std::pair<uint32_t, file_type::LightInfo>> lights;
  // The five trailing ids; 0 stores "absent".
  uint32_t default_animation = 0;
  uint32_t default_script = 0;
  uint32_t default_motion_table = 0;
  uint32_t default_sound_table = 0;
  uint32_t default_script_table = 0;
};

void encode_frame(ByteWriter& out, const graphics::Frame& frame);
void encode_hook(ByteWriter& out, const HookSpec& hook);
// The frames as held, the hook count, then the hooks.
void encode_placement(ByteWriter& out, const PlacementSpec& placement);
void encode_setup_model(ByteWriter& out, const SetupModelSpec& desc);
std::vector<uint8_t> encode_setup_model(const SetupModelSpec& desc);

// A well-formed hook of `hook_type` (0 to 26) whose payload bytes count up from 1 and
// whose padding is zero. For type 5, `type5_value` is the stored i16 that decides
// whether two more payload bytes follow.
HookSpec make_hook(uint32_t hook_type, uint32_t param, int16_t type5_value = 0);

// A setup model of `parts` with one placement (key 0) of identity frames.
SetupModelSpec setup_model_from_parts(uint32_t id, std::vector<uint32_t> parts);

}  // namespace tallowmere::writer

// GfxObj: hand-written; errors of the field readers, polygons, vertex array and trees
// pass through unchanged. Each polygon set is a packed count, (u16 id, Polygon) entries
// and the tree over them, read even when the count is 0.
#include "tallowmere/dat/file_type/gfx_obj.hpp"

#include <algorithm>

#include "../field_codecs.hpp"
#include "tallowmere/common/endian.hpp"
#include "tallowmere/common/seeded_map.hpp"

namespace tallowmere::dat::file_type {

using physics::BspTree;
using physics::BspTreeKind;

namespace {

constexpr auto kPhysicsTree =
    common::Describe{[](auto& a, auto& tree) { BspTree::describe(a, tree, BspTreeKind::Physics); }};
constexpr auto kDrawingTree =
    common::Describe{[](auto& a, auto& tree) { BspTree::describe(a, tree, BspTreeKind::Drawing); }};

// Polygons whose lists go to (or come from) the object's polygon_lists.
template <class Obj>
auto polygons_in(Obj& obj) {
  return common::Describe{[&lists = obj.polygon_lists](auto& a, auto& poly) {
    graphics::Polygon::describe(a, poly, lists);
  }};
}

}  // namespace

template <class A, class Self>
void GfxObj::describe(A& a, Self& obj) {
  a.hand_written("GfxObj");
  a.field("id", obj.id);
  a.field("flags", obj.flags);
  a.list("surfaces", obj.surfaces, codec::PackedCount{});
  a.field("vertex_array", obj.vertex_array);
  if (obj.flags & HAS_PHYSICS) {
    a.map("physics_polygons", obj.physics_polygons, codec::PackedCount{}, polygons_in(obj));
    a.field("physics_bsp", obj.physics_bsp, kPhysicsTree);
  } else {
    a.absent("physics_polygons");
    a.absent("physics_bsp");
  }
  a.field("sort_center", obj.sort_center);
  if (obj.flags & HAS_DRAWING) {
    a.map("polygons", obj.polygons, codec::PackedCount{}, polygons_in(obj));
    a.field("drawing_bsp", obj.drawing_bsp, kDrawingTree);
  } else {
    a.absent("polygons");
    a.absent("drawing_bsp");
  }
  a.optional("degrade_id", obj.degrade_id, (obj.flags & HAS_DEGRADE) != 0);
}

TALLOWMERE_DESCRIBED(GfxObj);

void GfxObj::clear() {
  surfaces.clear();
  vertex_array.vertex_type = 0;
  vertex_array.vertices.clear();
  vertex_array.uvs.clear();
  physics_polygons.clear();
  physics_bsp.nodes.clear();
  physics_bsp.poly_ids.clear();
  physics_bsp.portals.clear();
  sort_center = {};
  polygons.clear();
  drawing_bsp.nodes.clear();
  drawing_bsp.poly_ids.clear();
  drawing_bsp.portals.clear();
  degrade_id.reset();
  polygon_lists.clear();
}

common::ParseResult<void> GfxObj::unpack_into(common::Cursor& cursor, GfxObj& out) {
  out.clear();
  common::Reader reader(cursor);
  describe(reader, out);
  if (!reader.ok()) return make_unexpected(reader.take_error());
  return {};
}

common::ParseResult<GfxObj> GfxObj::unpack(common::Cursor& cursor) {
  thread_local GfxObj scratch;
  if (auto parsed = unpack_into(cursor, scratch); !parsed) {
    return make_unexpected(std::move(parsed).error());
  }
  return GfxObj(scratch);  // a copy holds each array at its exact size
}

namespace {

// The payload still to walk. Every check compares with the bytes left, so none overflows.
struct Walk {
  const uint8_t* at;
  const uint8_t* end;

  [[nodiscard]] bool has(uint64_t n) const { return n <= static_cast<uint64_t>(end - at); }

  // A count in the packed form: one byte below 0x80, two with bit 0x40 clear, else four.
  [[nodiscard]] bool packed_count(uint64_t& count) {
    if (!has(1)) return false;
    const uint8_t b0 = at[0];
    if (b0 < 0x80) {
      count = b0;
      at += 1;
      return true;
    }
    if (!has(2)) return false;
    const uint32_t head = b0 & 0x3Fu;
    if ((b0 & 0x40) == 0) {
      count = head << 8 | at[1];
      at += 2;
      return true;
    }
    if (!has(4)) return false;
    count = head << 24 | uint32_t{at[1]} << 16 | common::load_le<uint16_t>(at + 2);
    at += 4;
    return true;
  }

  // A packed count of (u16 id, Polygon) entries, each stepped over as a whole, then the
  // tree over them.
  [[nodiscard]] bool polygons_and_tree(physics::BspTreeKind kind) {
    uint64_t count = 0;
    if (!packed_count(count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
      // id, num_points, poly_flags, sides_type, pos_surface, neg_surface
      if (!has(12)) return false;
      const uint64_t points = at[2];
      const uint8_t flags = at[3];
      const int32_t sides = common::load_le<int32_t>(at + 4);
      uint64_t size = 12 + 2 * points;
      if (points != 0) {
        if (!(flags & graphics::Polygon::NO_POS_UVS)) size += points;
        if (!(flags & graphics::Polygon::NO_NEG_UVS) &&
            sides == graphics::Polygon::SIDES_TWO_SIDED) {
          size += points;
        }
      }
      if (!has(size)) return false;
      at += size;
    }
    const auto tree = physics::BspTree::stored_size(
        std::span<const uint8_t>(at, static_cast<size_t>(end - at)), kind);
    if (!tree) return false;
    at += *tree;
    return true;
  }
};

// Where each vertex id of the current walk sits in the output: ids are u16, so there are
// at most 65536 distinct ones and a position fits a u16 too. An entry belongs to the
// walk whose stamp it carries, so the table is cleared only when the stamp wraps.
struct VertexSlot {
  uint16_t stamp = 0;
  uint16_t at = 0;
};

}  // namespace

bool GfxObj::vertex_origins(std::span<const uint8_t> payload, std::vector<common::Vector3>& out) {
  thread_local std::vector<VertexSlot> slots;
  thread_local uint16_t stamp = 0;
  Walk walk{payload.data(), payload.data() + payload.size()};
  const size_t base = out.size();
  const auto fail = [&] {
    out.resize(base);
    return false;
  };

  // id, flags, then the surfaces.
  if (!walk.has(8)) return false;
  const uint32_t flags = common::load_le<uint32_t>(walk.at + 4);
  walk.at += 8;
  uint64_t surfaces = 0;
  if (!walk.packed_count(surfaces) || !walk.has(4 * surfaces)) return false;
  walk.at += 4 * surfaces;

  // The vertex array: type and count; type 1 stores (u16 id, SWVertex) per vertex.
  if (!walk.has(8)) return false;
  const uint32_t vertex_type = common::load_le<uint32_t>(walk.at);
  const uint64_t vertex_count = common::load_le<uint32_t>(walk.at + 4);
  walk.at += 8;
  if (vertex_type == 1 && vertex_count != 0) {
    // id, num_uvs, origin, normal, then num_uvs pairs. No more vertices than the bytes
    // left could hold can be read, so room for that many is made up front and trimmed
    // to the distinct ids at the end.
    constexpr uint64_t kFixed = 2 + 2 + 12 + 12;
    const size_t fits = static_cast<size_t>(
        std::min<uint64_t>(vertex_count, static_cast<uint64_t>(walk.end - walk.at) / kFixed));
    if (base + fits > out.capacity()) out.reserve(std::max(base + fits, out.capacity() * 2));
    out.resize(base + fits);
    if (slots.empty()) slots.resize(size_t{1} << 16);
    if (++stamp == 0) {  // every old stamp could come back
      std::fill(slots.begin(), slots.end(), VertexSlot{});
      stamp = 1;
    }
    const uint16_t mark = stamp;
    VertexSlot* const table = slots.data();
    common::Vector3* const first = out.data() + base;
    uint32_t distinct = 0;
    for (uint64_t i = 0; i < vertex_count; ++i) {
      if (!walk.has(kFixed)) return fail();
      const uint8_t* v = walk.at;
      const uint64_t uvs = common::load_le<uint16_t>(v + 2);
      const common::Vector3 origin{common::load_le<float>(v + 4), common::load_le<float>(v + 8),
                                   common::load_le<float>(v + 12)};
      walk.at += kFixed;
      if (!walk.has(8 * uvs)) return fail();
      walk.at += 8 * uvs;
      VertexSlot& slot = table[common::load_le<uint16_t>(v)];
      if (slot.stamp == mark) {
        first[slot.at] = origin;  // a repeated id keeps its place and the later vertex
      } else {
        slot = {mark, static_cast<uint16_t>(distinct)};
        first[distinct++] = origin;
      }
    }
    out.resize(base + distinct);
  }

  if ((flags & HAS_PHYSICS) && !walk.polygons_and_tree(physics::BspTreeKind::Physics)) {
    return fail();
  }
  if (!walk.has(12)) return fail();  // sort_center
  walk.at += 12;
  if ((flags & HAS_DRAWING) && !walk.polygons_and_tree(physics::BspTreeKind::Drawing)) {
    return fail();
  }
  if ((flags & HAS_DEGRADE) && !walk.has(4)) return fail();

  // The map's iteration starts at an entry drawn from its seed and wraps around. The
  // entries before it move through a per-thread buffer: two block copies instead of a
  // rotation's element swaps.
  const size_t count = out.size() - base;
  const size_t start = count > 1 ? static_cast<size_t>(common::next_map_seed() % count) : 0;
  if (start != 0) {
    thread_local std::vector<common::Vector3> head;
    common::Vector3* const first = out.data() + base;
    head.assign(first, first + start);
    std::copy(first + start, first + count, first);
    std::copy(head.begin(), head.end(), first + (count - start));
  }
  return true;
}

}  // namespace tallowmere::dat::file_type

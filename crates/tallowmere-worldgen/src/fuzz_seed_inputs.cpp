// The fuzz seeds that are not single records: whole archives, the primitive readers'
// inputs behind their selector byte, and landblock bakes in the bake target's layout.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "fuzz_seed_parts.hpp"
#include "generators.hpp"
#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"
#include "tallowmere/dat_writer/compressor.hpp"
#include "tallowmere/dat_writer/model_records.hpp"
#include "tallowmere/dat_writer/world_records.hpp"

namespace tallowmere::worldgen::fuzz {

namespace {

namespace ft = dat::file_type;
using dat::DatFileEntry;
using writer::ByteWriter;

void fill_header(dat::DatHeader& h) {
  h.magic = 0x57474E31;
  h.dataset = 1;
  h.master_map_id = 0x0E000001;
  h.engine_version = 0x16;
  h.game_version = 0x2711;
  const std::string_view version = "fuzz seed";
  std::copy(version.begin(), version.end(), h.version_string.begin());
  h.version_minor = 1;
}

// Lays `stored` out as a chain whose blocks are taken in a fixed shuffled order from a
// run of fresh blocks, so that the chain jumps back and forth; returns its entry.
DatFileEntry scattered_file(writer::ArchiveWriter& w, uint32_t id,
                            std::span<const uint8_t> stored) {
  const uint32_t block = w.header().block_size, per_block = block - 4;
  const uint32_t blocks =
      std::max<uint32_t>(3, (static_cast<uint32_t>(stored.size()) + per_block - 1) / per_block);
  const uint32_t first = w.allocate(uint64_t{blocks} * block);
  // 0, n-1, 1, n-2, ...: every block once, each jump crossing the middle.
  std::vector<uint32_t> order(blocks);
  for (uint32_t k = 0; k < blocks; ++k) order[k] = k % 2 == 0 ? k / 2 : blocks - 1 - k / 2;
  for (uint32_t k = 0; k < blocks; ++k) {
    const uint64_t at = first + uint64_t{order[k]} * block;
    w.write_u32(at, k + 1 < blocks ? first + order[k + 1] * block : 0);
    const size_t from = std::min<size_t>(stored.size(), size_t{k} * per_block);
    const size_t n = std::min<size_t>(per_block, stored.size() - from);
    if (n != 0) w.write_raw(at + 4, stored.subspan(from, n));
  }
  DatFileEntry entry;
  entry.id = id;
  entry.offset = first + order[0] * block;
  entry.size = static_cast<uint32_t>(stored.size());
  entry.version = 1;
  return entry;
}

// A two-level directory (a root of two entries over three leaves) at 64-byte blocks, so
// that every node is a long chain; payloads stored plain and compressed, in one block
// and in many, one of them scattered, and an empty one.
std::vector<uint8_t> two_level_archive(const SeedWorld& world) {
  writer::ArchiveWriter w(64);
  fill_header(w.header());
  std::vector<DatFileEntry> entries;
  const auto add = [&](uint32_t id, const std::vector<uint8_t>& payload, bool compress) {
    entries.push_back(w.add_file(id, payload, {.compress = compress, .version = 2}));
  };
  add(world.region.id, writer::encode_region(world.region), true);
  const auto& gfx = world.catalog.gfx_objects;
  add(gfx[0].id, gfx_obj_payload(world.catalog, gfx[0]), false);
  add(gfx[1].id, gfx_obj_payload(world.catalog, gfx[1]), true);
  for (size_t k = 0; k < 3; ++k) {
    const Model& scene = world.catalog.scenes[k];
    add(scene.id, scene_payload(world.catalog, scene), k == 1);
  }
  add(0x0E000002, {}, false);
  add(0x0E000003, {0x2A}, false);
  add(0x31000001, std::vector<uint8_t>(50, 'a'), true);
  add(0x11000001, {1, 2, 3, 4, 5, 6, 7, 8}, false);
  entries.push_back(scattered_file(w, 0x03000001, writer::encode_cell_landblock(world.cells[0])));

  std::sort(entries.begin(), entries.end(),
            [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; });
  const auto slice = [&](size_t from, size_t to) {
    return std::vector<DatFileEntry>(entries.begin() + static_cast<ptrdiff_t>(from),
                                     entries.begin() + static_cast<ptrdiff_t>(to));
  };
  writer::NodeSpec root{.entries = {entries[3], entries[7]}};
  root.children.push_back({.branch = 0, .entries = slice(0, 3)});
  root.children.push_back({.branch = 1, .entries = slice(4, 7)});
  root.children.push_back({.branch = 2, .entries = slice(8, entries.size())});
  w.set_root(w.write_node(root));
  return w.finish();
}

// One leaf directory at the generator's cell archive block size.
std::vector<uint8_t> one_node_archive(const SeedWorld& world) {
  writer::ArchiveWriter w(256);
  fill_header(w.header());
  for (size_t k = 0; k < 3; ++k) {
    const auto& cell = world.cells[k];
    w.add_file(cell.id, writer::encode_cell_landblock(cell), {.compress = k == 2});
    const auto& info = world.infos[k];
    w.add_file(info.id, writer::encode_landblock_info(info), {.compress = k == 1});
  }
  return w.finish();
}

std::vector<uint8_t> empty_archive() {
  writer::ArchiveWriter w(1024);
  fill_header(w.header());
  w.set_root(0);
  return w.finish();
}

}  // namespace

void add_archive_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out) {
  SeedList seeds(out, "tallowmere-dat", "archive_open");
  seeds.add("two-level-directory", two_level_archive(world));
  seeds.add("one-node-directory", one_node_archive(world));
  seeds.add("empty-directory", empty_archive());
}

void add_reader_seeds(std::vector<FuzzSeed>& out) {
  SeedList seeds(out, "tallowmere-dat", "readers");
  const auto seed = [&](std::string name, uint8_t selector, const ByteWriter& body) {
    std::vector<uint8_t> bytes{selector};
    bytes.insert(bytes.end(), body.view().begin(), body.view().end());
    seeds.add(std::move(name), std::move(bytes));
  };
  // PStrings, each padded to 4 from the start of the body. The selectors 0, 24, 36 and
  // 48 give prefix widths 1, 2, 4 and the unsupported 3.
  using namespace std::string_view_literals;
  const std::string_view texts[] = {
      "x"sv, "lantern"sv, "\xEF\xBB\xBFna\xC3\xAFve"sv, "\xFF\xFEh\0i\0"sv, "caf\xE9"sv, ""sv};
  static constexpr std::pair<uint8_t, unsigned> kWidths[] = {{0, 1}, {24, 2}, {36, 4}, {48, 3}};
  for (const auto& [selector, width] : kWidths) {
    ByteWriter w;
    for (std::string_view text : texts) {
      const auto n = static_cast<uint32_t>(text.size());
      for (unsigned b = 0; b < (width == 3 ? 2u : width); ++b)
        w.u8(static_cast<uint8_t>(n >> 8 * b));
      w.bytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()}).align4();
    }
    seed("pstring-width-" + std::to_string(width), static_cast<uint8_t>(selector), w);
  }
  ByteWriter packed, smart, byte_lists, u16_lists;
  for (uint32_t v : {0u, 0x7Fu, 0x80u, 0x3FFFu, 0x4000u, 0x3FFFFFFFu}) packed.packed_u32(v);
  seed("packed-u32", 1, packed);
  for (uint32_t n : {0u, 1u, 3u}) {
    smart.packed_u32(n);
    for (uint32_t k = 0; k < n; ++k) smart.u32(0x01000000 + k);
    byte_lists.packed_u32(n);
    for (uint32_t k = 0; k < n; ++k) byte_lists.u8(static_cast<uint8_t>(k + 1));
    u16_lists.packed_u32(n);
    for (uint32_t k = 0; k < n; ++k) u16_lists.u16(static_cast<uint16_t>(0x0100 + k));
  }
  seed("smart-vec", 2, smart);
  seed("byte-lists", 3, byte_lists);
  seed("u16-lists", 4, u16_lists);
  ByteWriter text;
  const std::string_view mixed = "plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\xB2 \xC3 \xED\xA0\x80";
  text.bytes({reinterpret_cast<const uint8_t*>(mixed.data()), mixed.size()});
  seed("text", 5, text);
  ByteWriter vectors, quaternions, planes, frames;
  for (float v : {0.0f, 1.0f, -24.5f, 192.0f, 1e-30f, 3.4e38f}) vectors.f32(v);
  seed("vectors", 6, vectors);
  for (float v : {1.0f, 0.0f, 0.0f, 0.0f, 0.7071068f, 0.0f, 0.0f, 0.7071068f}) quaternions.f32(v);
  seed("quaternions", 7, quaternions);
  for (float v : {0.0f, 0.0f, 1.0f, -12.0f, 0.6f, 0.8f, 0.0f, 3.0f}) planes.f32(v);
  seed("planes", 8, planes);
  seed("spheres", 9, planes);
  writer::encode_frame(frames, {{96, 48, 12.5f}, yaw_quaternion(1.5707964f)});
  writer::encode_frame(frames, {});
  seed("frames", 10, frames);
  ByteWriter far;
  far.u64(0xFFFFFFFFFFFFFFFDull);
  seed("align-far", 11, far);
}

namespace {

// The bake target's input, front to back: cell id, slope switch, four heights, the
// terrain types' scene indices, the scene types' scene ids, 81 vertices, four scenes'
// objects, three meshes, the building footprints. Counts are stored as the byte the
// target reduces (types % 5, scenes % 4 or % 8, vertices % 8, footprints % 3).
struct BakeInput {
  uint32_t cell_id = 0;
  bool use_slope = false;
  float heights[4] = {};
  bool with_scene = true;
  const dat::landblock::CellLandblock* cell = nullptr;
  std::vector<std::vector<ft::ObjectDesc>> scenes;   // four, up to 7 objects each
  std::vector<std::vector<common::Vector3>> meshes;  // three, up to 7 vertices each
  std::vector<std::array<float, 4>> buildings;       // up to two: min x, min y, max x, max y
};

std::vector<uint8_t> encode_bake_input(const BakeInput& in) {
  ByteWriter w;
  w.u32(in.cell_id).u8(in.use_slope ? 1 : 0);
  for (float h : in.heights) w.f32(h);
  // Four terrain types over scene types 0..3; four scene types over scenes 0..3 and the
  // id 0x12000004 that no scene has.
  w.u8(4);
  for (uint8_t t = 0; t < 4; ++t) w.u8(2).u8(t).u8(static_cast<uint8_t>((t + 1) % 4));
  w.u8(in.with_scene ? 1 : 0);
  if (in.with_scene) {
    w.u8(4);
    for (uint8_t k = 0; k < 4; ++k) w.u8(k == 3 ? 2 : 1).u8(k).u8(4);
  }
  // Terrain words keep their scene index and road bits; their type is folded into 0..3.
  for (size_t i = 0; i < 81; ++i) {
    const uint16_t word = in.cell->terrain[i];
    const auto folded = static_cast<uint16_t>((word & ~0x7Cu) | ((word >> 2) % 4) << 2);
    w.u16(folded).u8(in.cell->height[i]);
  }
  for (const auto& objects : in.scenes) {
    w.u8(static_cast<uint8_t>(objects.size()));
    for (const ft::ObjectDesc& d : objects) {
      w.u8(static_cast<uint8_t>(d.obj_id % 4));
      w.f32(d.base_frame.origin.x).f32(d.base_frame.origin.y).f32(d.probability);
      w.f32(d.random_offset_x).f32(d.random_offset_y).f32(d.min_scale).f32(d.max_scale);
      w.f32(d.max_rotation).f32(d.min_slope).f32(d.max_slope).u8(d.external_obj ? 1 : 0);
    }
  }
  for (const auto& mesh : in.meshes) {
    w.u8(static_cast<uint8_t>(mesh.size()));
    for (const common::Vector3& v : mesh) w.f32(v.x).f32(v.y);
  }
  w.u8(static_cast<uint8_t>(in.buildings.size()));
  for (const auto& box : in.buildings) {
    for (float v : box) w.f32(v);
  }
  return w.take();
}

}  // namespace

// Bakes of the tiny world's landblocks with its scenes' objects and its props' outlines,
// with and without the slope test, with buildings and without a scene description.
void add_bake_seeds(const SeedWorld& world, std::vector<FuzzSeed>& out) {
  SeedList seeds(out, "tallowmere-scenery-bake", "bake");
  BakeInput base;
  for (size_t k = 0; base.scenes.size() < 4 && k < world.catalog.scenes.size(); ++k) {
    const Model& scene = world.catalog.scenes[k];
    if (scene.status != Status::Intact) continue;
    const std::vector<uint8_t> payload = scene_payload(world.catalog, scene);
    common::Cursor cursor(payload);
    auto record = ft::Scene::unpack(cursor);
    if (!record || record->objects.empty()) continue;
    record->objects.resize(std::min<size_t>(record->objects.size(), 7));
    base.scenes.push_back(std::move(record->objects));
  }
  for (const Model& model : world.catalog.gfx_objects) {
    if (base.meshes.size() == 3) break;
    if (model.status != Status::Intact) continue;
    const std::vector<uint8_t> payload = gfx_obj_payload(world.catalog, model);
    common::Cursor cursor(payload);
    auto obj = ft::GfxObj::unpack(cursor);
    if (!obj || obj->vertex_array.vertices.empty()) continue;
    // The map's order is unspecified: the seed takes the lowest vertex ids.
    std::vector<std::pair<uint16_t, common::Vector3>> by_id;
    for (const auto& [id, vertex] : obj->vertex_array.vertices)
      by_id.emplace_back(id, vertex.origin);
    std::sort(by_id.begin(), by_id.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    by_id.resize(std::min<size_t>(by_id.size(), 7));
    auto& mesh = base.meshes.emplace_back();
    for (const auto& entry : by_id) mesh.push_back(entry.second);
  }
  for (size_t k = 0; k < 4; ++k) {
    base.heights[k] = world.region.height_table[k * 60];
  }

  for (size_t i : {size_t{0}, size_t{5}, size_t{10}, size_t{15}}) {
    BakeInput in = base;
    in.cell = &world.cells[i];
    in.cell_id = world.cells[i].id & 0xFFFF0000u;
    in.use_slope = i % 2 == 1;
    if (i == 10) in.buildings = {{40, 40, 72, 64}, {150, 10, 180, 30}};
    seeds.add("landblock-" + hex_id(in.cell_id) + (in.use_slope ? "-slope" : "-flat"),
              encode_bake_input(in));
  }
  BakeInput no_scene = base;
  no_scene.cell = &world.cells[1];
  no_scene.cell_id = world.cells[1].id & 0xFFFF0000u;
  no_scene.with_scene = false;
  seeds.add("no-scene-description", encode_bake_input(no_scene));
}

}  // namespace tallowmere::worldgen::fuzz

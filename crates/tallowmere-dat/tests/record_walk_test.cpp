// GfxObj::vertex_origins, BspTree::stored_size and SetupModel::part_ids against the full
// parsers, on generated records, every prefix of them, seeded byte mutations and the
// checked-in fuzz corpora.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "record_walk_check.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/dat_writer/model_records.hpp"

namespace tallowmere::dat::file_type {
namespace {

using physics::BspTreeKind;
using writer::BspNodeSpec;

struct Rng {
  std::mt19937_64 engine;
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(engine() % n); }
  bool one_in(uint32_t n) { return below(n) == 0; }
};

float random_coordinate(Rng& rng) {
  switch (rng.below(8)) {
    case 0:  // NaNs of several payloads and signs
      return std::bit_cast<float>(0x7FC00000u | rng.below(1u << 22) | (rng.below(2) << 31));
    case 1:
      return rng.one_in(2) ? -0.0f : std::numeric_limits<float>::infinity();
    default:
      return static_cast<float>(static_cast<int32_t>(rng.below(2001)) - 1000) / 8.0f;
  }
}

BspNodeSpec random_tree(Rng& rng, int depth) {
  auto ids = [&] {
    std::vector<uint16_t> out(rng.below(4));
    for (auto& id : out) id = static_cast<uint16_t>(rng.below(8));
    return out;
  };
  const uint32_t pick = depth >= 4 ? 0 : rng.below(4);
  if (pick == 0) return writer::bsp_leaf(rng.below(100), ids());
  if (pick == 1) {
    std::vector<physics::PortalPoly> portals(rng.below(3));
    for (auto& p : portals)
      p = {static_cast<uint16_t>(rng.below(9)), static_cast<uint16_t>(rng.below(9))};
    return writer::bsp_portal(random_tree(rng, depth + 1), random_tree(rng, depth + 1), ids(),
                              std::move(portals));
  }
  static const char* const kTags[] = {"BPIN", "BPnN", "BPIn", "BPnn",
                                      "BpIN", "BpnN", "Bpnn", "XYZW"};
  const std::string tag = kTags[rng.below(8)];
  std::optional<BspNodeSpec> pos, neg;
  if (tag[0] == 'B' && tag[1] == 'P' && tag != "XYZW") pos = random_tree(rng, depth + 1);
  if (tag[3] == 'N') neg = random_tree(rng, depth + 1);
  return writer::bsp_internal(tag, std::move(pos), std::move(neg), ids());
}

writer::PolygonList random_polygons(Rng& rng) {
  writer::PolygonList out(rng.below(5));
  for (auto& [id, poly] : out) {
    id = static_cast<uint16_t>(rng.below(6));
    poly.num_points = static_cast<uint8_t>(rng.below(5));
    poly.poly_flags = static_cast<uint8_t>(rng.below(16));
    poly.sides_type = static_cast<int32_t>(rng.below(4));
    poly.vertex_ids.assign(poly.num_points, static_cast<uint16_t>(rng.below(10)));
    if (poly.num_points != 0 && !(poly.poly_flags & graphics::Polygon::NO_POS_UVS)) {
      poly.pos_uv_indices.assign(poly.num_points, 1);
    }
    if (poly.num_points != 0 && !(poly.poly_flags & graphics::Polygon::NO_NEG_UVS) &&
        poly.sides_type == graphics::Polygon::SIDES_TWO_SIDED) {
      poly.neg_uv_indices.assign(poly.num_points, 2);
    }
  }
  return out;
}

// Sound objects of every shape: flags with and without each part, repeated vertex and
// polygon ids, NaN and infinite coordinates, other vertex types, bytes after the end.
std::vector<uint8_t> random_object(Rng& rng) {
  writer::GfxObjSpec object;
  object.flags = rng.below(16) | (rng.one_in(4) ? 0x100u : 0u);
  object.surfaces.resize(rng.one_in(8) ? 40 : rng.below(4), 0x08000001);
  object.vertex_type = rng.one_in(6) ? rng.below(3) : 1;
  const uint32_t vertices = rng.one_in(10) ? 60 : rng.below(12);
  for (uint32_t i = 0; i < vertices; ++i) {
    writer::VertexSpec v;
    v.num_uvs = static_cast<uint16_t>(rng.below(3));
    v.uvs.assign(v.num_uvs, {0.5f, 0.25f});
    v.origin = {random_coordinate(rng), random_coordinate(rng), random_coordinate(rng)};
    v.normal = {0, 0, 1};
    object.vertices.emplace_back(static_cast<uint16_t>(rng.below(vertices + 2)), std::move(v));
  }
  object.physics_polygons = random_polygons(rng);
  object.physics_bsp = random_tree(rng, 0);
  object.sort_center = {1, 2, 3};
  object.polygons = random_polygons(rng);
  object.drawing_bsp = random_tree(rng, 0);
  object.degrade_id = 0x01000007;
  auto bytes = writer::encode_gfx_obj(object);
  for (uint32_t extra = rng.below(3); extra > 0; --extra)
    bytes.push_back(static_cast<uint8_t>(rng.below(256)));
  return bytes;
}

TEST(VertexOrigins, AgreeWithTheParseOnGeneratedObjectsPrefixesAndMutations) {
  Rng rng{std::mt19937_64(20261208)};
  int parsed = 0;
  for (int object = 0; object < 200; ++object) {
    const auto bytes = random_object(rng);
    ASSERT_EQ(check::vertex_origins_mismatch(bytes), "") << "object " << object;
    for (size_t n = 0; n < bytes.size(); ++n) {
      ASSERT_EQ(check::vertex_origins_mismatch(std::span(bytes).first(n)), "")
          << "object " << object << " prefix " << n;
    }
    for (int round = 0; round < 30; ++round) {
      auto damaged = bytes;
      for (uint32_t k = 1 + rng.below(3); k > 0; --k) {
        static const uint8_t kValues[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xC0, 0xFF};
        damaged[rng.below(static_cast<uint32_t>(damaged.size()))] =
            rng.one_in(2) ? kValues[rng.below(7)] : static_cast<uint8_t>(rng.below(256));
      }
      const auto mismatch = check::vertex_origins_mismatch(damaged);
      ASSERT_EQ(mismatch, "") << "object " << object << " round " << round;
      common::Cursor cursor(damaged);
      parsed += GfxObj::unpack(cursor).has_value();
    }
  }
  // The mutations reach both outcomes, or the comparison above proves little.
  EXPECT_GT(parsed, 500);
  EXPECT_LT(parsed, 200 * 30);
}

// A chain of `levels` nodes: portals, or internal nodes with one child, ending in a leaf.
BspNodeSpec chain(int levels, bool portals) {
  BspNodeSpec node = writer::bsp_leaf(0);
  for (int i = 1; i < levels; ++i) {
    if (portals) {
      node = writer::bsp_portal(std::move(node), writer::bsp_leaf(1));
      continue;
    }
    std::optional<BspNodeSpec> child(std::move(node));
    node = i % 2 ? writer::bsp_internal("BPnn", std::move(child), std::nullopt)
                 : writer::bsp_internal("BpnN", std::nullopt, std::move(child));
  }
  return node;
}

// Runs `body` on a thread with a stack of 256 MiB and waits for it: the writer encodes
// and destroys tree specs recursively, one frame per level, and 2049 levels of frames
// exceed a default stack under the address sanitizer.
void on_a_deep_stack(const std::function<void()>& body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, size_t{256} << 20), 0);
  pthread_t thread;
  auto run = [](void* work) -> void* {
    (*static_cast<const std::function<void()>*>(work))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&body)),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

TEST(VertexOrigins, TreeDepthLimitAsTheParse) {
  on_a_deep_stack([] {
    const int limit = static_cast<int>(physics::BspLimits::kMaxDepth);
    for (const bool portals : {false, true}) {
      for (const int levels : {limit, limit + 1}) {
        const auto tree = chain(levels, portals);
        for (const auto kind : {BspTreeKind::Drawing, BspTreeKind::Physics, BspTreeKind::Cell}) {
          writer::ByteWriter bytes;
          writer::encode_bsp(bytes, tree, kind);
          EXPECT_EQ(check::tree_size_mismatch(bytes.view(), kind), "") << levels;
        }
        writer::GfxObjSpec spec = writer::gfx_obj_from_positions(0x01000001, {});
        spec.flags = GfxObj::HAS_DRAWING;
        spec.drawing_bsp = chain(levels, portals);
        const auto bytes = writer::encode_gfx_obj(spec);
        EXPECT_EQ(check::vertex_origins_mismatch(bytes), "") << levels;
        std::vector<common::Vector3> out;
        EXPECT_EQ(GfxObj::vertex_origins(bytes, out), levels == limit);
      }
    }
  });
}

// Every input of a fuzz corpus, read whole.
std::vector<std::vector<uint8_t>> corpus(const char* name) {
  const std::filesystem::path dir =
      std::filesystem::path(TALLOWMERE_SOURCE_DIR) / "crates/tallowmere-dat/fuzz/corpus" / name;
  std::vector<std::vector<uint8_t>> inputs;
  if (!std::filesystem::is_directory(dir)) return inputs;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return inputs;
}

TEST(VertexOrigins, AgreeWithTheParseOnTheFuzzCorpus) {
  const auto inputs = corpus("gfx_obj");
  if (inputs.empty()) GTEST_SKIP() << "no graphics object corpus";
  for (const auto& bytes : inputs) {
    // The whole input and a spread of its prefixes (every one would take minutes).
    const size_t step = std::max<size_t>(1, bytes.size() / 64);
    for (size_t n = bytes.size() + 1; n-- > 0;) {
      if (n != bytes.size() && n % step != 0 && n + 16 < bytes.size()) continue;
      ASSERT_EQ(check::vertex_origins_mismatch(std::span(bytes).first(n)), "")
          << "input of " << bytes.size() << " bytes, prefix " << n;
    }
    if (!bytes.empty()) {
      const auto kind = static_cast<BspTreeKind>(bytes[0] % 3);
      ASSERT_EQ(check::tree_size_mismatch(std::span(bytes).subspan(1), kind), "");
    }
  }
}

// Sound models of every shape: parent indices and scales or not, placements with hooks
// of every type (type 5 with and without its two extra bytes), repeated keys.
std::vector<uint8_t> random_model(Rng& rng) {
  writer::SetupModelSpec spec;
  spec.flags = rng.below(4) | (rng.one_in(4) ? 0x10u : 0u);
  const uint32_t parts = rng.below(5);
  for (uint32_t i = 0; i < parts; ++i) spec.parts.push_back(0x01000000 + rng.below(1000));
  spec.parent_index.assign(parts, 0);
  spec.default_scale.assign(parts, {1, 1, 1});
  for (uint32_t i = rng.below(3); i > 0; --i) spec.holding_locations.push_back({rng.below(3), {}});
  for (uint32_t i = rng.below(3); i > 0; --i) spec.connection_points.push_back({rng.below(3), {}});
  for (uint32_t i = rng.below(3); i > 0; --i) {
    writer::PlacementSpec placement;
    placement.frames.resize(parts);
    for (uint32_t h = rng.below(4); h > 0; --h) {
      placement.hooks.push_back(
          writer::make_hook(rng.below(AnimationHook::kMaxType + 1), 0, rng.one_in(2) ? -3 : 3));
    }
    spec.placement_frames.emplace_back(rng.below(3), std::move(placement));
  }
  spec.cyl_spheres.resize(rng.below(3));
  spec.spheres.resize(rng.below(3));
  for (uint32_t i = rng.below(3); i > 0; --i) spec.lights.push_back({rng.below(3), {}});
  spec.default_animation = rng.below(2);
  return writer::encode_setup_model(spec);
}

TEST(PartIds, AgreeWithTheParseOnGeneratedModelsPrefixesMutationsAndTheCorpus) {
  Rng rng{std::mt19937_64(1208)};
  int parsed = 0;
  for (int model = 0; model < 200; ++model) {
    const auto bytes = random_model(rng);
    for (size_t n = 0; n <= bytes.size(); ++n) {
      ASSERT_EQ(check::part_ids_mismatch(std::span(bytes).first(n)), "")
          << "model " << model << " prefix " << n;
    }
    for (int round = 0; round < 30; ++round) {
      auto damaged = bytes;
      for (uint32_t k = 1 + rng.below(2); k > 0; --k) {
        static const uint8_t kValues[] = {0x00, 0x01, 0x05, 0x1A, 0x1B, 0x80, 0xFF};
        damaged[rng.below(static_cast<uint32_t>(damaged.size()))] =
            rng.one_in(2) ? kValues[rng.below(7)] : static_cast<uint8_t>(rng.below(256));
      }
      ASSERT_EQ(check::part_ids_mismatch(damaged), "") << "model " << model << " round " << round;
      common::Cursor cursor(damaged);
      parsed += SetupModel::unpack(cursor).has_value();
    }
  }
  EXPECT_GT(parsed, 500);
  EXPECT_LT(parsed, 200 * 30);

  for (const auto& bytes : corpus("setup_model")) {
    ASSERT_EQ(check::part_ids_mismatch(bytes), "") << "input of " << bytes.size() << " bytes";
  }
}

}  // namespace
}  // namespace tallowmere::dat::file_type

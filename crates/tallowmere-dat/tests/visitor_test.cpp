// The field visitor on parsed records: names, nesting, absent parts and maps in key order.
#include <gtest/gtest.h>

#include <string>

#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat_writer/model_records.hpp"

namespace tallowmere::dat {
namespace {

using common::Cursor;
using common::FieldValue;

// One line per field, indented by nesting, as a text dump would print it.
class TextDump final : public common::FieldVisitor {
 public:
  std::string text;

  void value(std::string_view name, const FieldValue& value) override {
    line(name, std::visit([](const auto& v) { return show(v); }, value));
  }
  void begin_record(std::string_view name, std::string_view type) override {
    line(name, std::string(type));
    ++depth_;
  }
  void end_record() override { --depth_; }
  void begin_list(std::string_view name, size_t size, common::CountForm) override {
    line(name, "[" + std::to_string(size) + "]");
    ++depth_;
  }
  void end_list() override { --depth_; }
  void begin_map(std::string_view name, size_t size, common::CountForm) override {
    line(name, "{" + std::to_string(size) + "}");
    ++depth_;
  }
  void key(const FieldValue& key) override {
    line("key", std::visit([](const auto& v) { return show(v); }, key));
  }
  void end_map() override { --depth_; }
  void absent(std::string_view name) override { line(name, "absent"); }

 private:
  template <class T>
  static std::string show(const T& v) {
    if constexpr (std::is_same_v<T, bool>) {
      return v ? "true" : "false";
    } else if constexpr (std::is_arithmetic_v<T>) {
      return std::to_string(v);
    } else if constexpr (std::is_same_v<T, common::PackedU32>) {
      return std::to_string(v.value);
    } else if constexpr (std::is_same_v<T, std::string_view>) {
      return '"' + std::string(v) + '"';
    } else {
      return std::to_string(v.size()) + " bytes";
    }
  }
  void line(std::string_view name, const std::string& value) {
    text += std::string(2 * static_cast<size_t>(depth_), ' ') +
            (name.empty() ? "-" : std::string(name)) + " " + value + "\n";
  }
  int depth_ = 0;
};

template <class T>
std::string dump(const std::vector<uint8_t>& bytes) {
  Cursor cursor(bytes);
  auto record = T::unpack(cursor);
  EXPECT_TRUE(record) << record.error().text();
  TextDump out;
  if (record) common::visit_record(*record, out);
  return out.text;
}

TEST(FieldVisitor, GraphicsObjectFieldsInStoredOrderWithAbsentParts) {
  writer::GfxObjSpec desc;
  desc.id = 0x01000007;
  desc.flags = file_type::GfxObj::HAS_DRAWING;
  desc.surfaces = {0x08000001};
  const common::Vector3 position[] = {{1, 2, 3}};
  desc.vertices = writer::gfx_obj_from_positions(0, position).vertices;
  desc.polygons = {{4, writer::make_polygon({0})}};
  desc.polygons[0].second.poly_flags = graphics::Polygon::NO_POS_UVS;
  desc.polygons[0].second.pos_uv_indices.clear();
  desc.drawing_bsp = writer::bsp_leaf(6);
  EXPECT_EQ(dump<file_type::GfxObj>(writer::encode_gfx_obj(desc)),
            "- GfxObj\n"
            "  id 16777223\n  flags 2\n  surfaces [1]\n    - 134217729\n"
            "  vertex_array CVertexArray\n    vertex_type 1\n    num_vertices 1\n"
            "    vertices {1}\n      key 0\n      - SWVertex\n        num_uvs 0\n"
            "        origin Vector3\n          x 1.000000\n          y 2.000000\n"
            "          z 3.000000\n        normal Vector3\n          x 0.000000\n"
            "          y 0.000000\n          z 1.000000\n        uvs [0]\n"
            "  physics_polygons absent\n  physics_bsp absent\n"
            "  sort_center Vector3\n    x 0.000000\n    y 0.000000\n    z 0.000000\n"
            "  polygons {1}\n    key 4\n    - Polygon\n      num_points 1\n"
            "      poly_flags 4\n      sides_type 2\n      pos_surface 0\n"
            "      neg_surface 0\n      vertex_ids [1]\n        - 0\n"
            "      pos_uv_indices absent\n      neg_uv_indices 1 bytes\n"
            "  drawing_bsp BspNode\n    tag 1279607110\n    leaf_index 6\n"
            "    solid absent\n    bounding_sphere absent\n    poly_ids absent\n"
            "  degrade_id absent\n");
}

// Keyed maps hash with a seed of their own, so two parses iterate differently; the
// visitor walks them in ascending key order every time.
TEST(FieldVisitor, MapsAreWalkedInAscendingKeyOrderWhateverTheSeed) {
  writer::SetupModelSpec desc = writer::setup_model_from_parts(0x02000009, {});
  for (uint32_t key : {900u, 7u, 300u, 42u, 5000u, 1u, 64u, 12u}) {
    desc.holding_locations.emplace_back(key, file_type::LocationType{key, {}});
  }
  const auto bytes = writer::encode_setup_model(desc);
  const std::string first = dump<file_type::SetupModel>(bytes);
  for (int run = 0; run < 4; ++run) EXPECT_EQ(dump<file_type::SetupModel>(bytes), first);
  std::vector<uint32_t> keys;
  for (size_t at = first.find("key "); at != std::string::npos; at = first.find("key ", at + 1)) {
    keys.push_back(static_cast<uint32_t>(std::stoul(first.substr(at + 4))));
  }
  EXPECT_EQ(keys, (std::vector<uint32_t>{1, 7, 12, 42, 64, 300, 900, 5000, 0}));
}

}  // namespace
}  // namespace tallowmere::dat

// Every record of the demo world, walked through the field visitor: what the visitor
// reports must account for every byte the parser consumed, each field once and by a
// name of its own.
//
// The visitor below re-derives the stored size of a record from the visited fields
// alone: each value's stored width, list and map counts in their stored form, keys,
// skipped padding and alignment. A field that the parser reads but the description does
// not hand to visitors, or hands over twice, changes that size; a field visited under a
// name already used on its level, or a list element with a name, fails the name checks.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/testing/demo_world.hpp"

namespace tallowmere::worldgen::testing {
namespace {

using tallowmere::testing::demo_world;
using tallowmere::testing::DemoWorld;

using common::CountForm;
using common::FieldValue;

uint64_t packed_width(uint64_t value) {
  return value < 0x80 ? 1 : value < 0x4000 ? 2 : 4;
}

class StoredSize final : public common::FieldVisitor {
 public:
  explicit StoredSize(std::string where) : where_(std::move(where)) {}

  uint64_t size() const { return position_; }
  const std::set<std::string>& types() const { return types_; }
  bool balanced() const { return levels_.empty(); }

  void value(std::string_view name, const FieldValue& value) override {
    named(name);
    position_ += std::visit([this](const auto& v) { return width(v); }, value);
  }
  void begin_record(std::string_view name, std::string_view type) override {
    named(name);
    types_.emplace(type);
    levels_.push_back({Level::Record, {}, std::string(type)});
  }
  void end_record() override { close(Level::Record); }
  void begin_list(std::string_view name, size_t size, CountForm count) override {
    named(name);
    position_ += count_width(size, count);
    levels_.push_back({Level::List, {}, std::string(name)});
  }
  void end_list() override { close(Level::List); }
  void begin_map(std::string_view name, size_t size, CountForm count) override {
    named(name);
    position_ += count_width(size, count);
    levels_.push_back({Level::Map, {}, std::string(name)});
  }
  void key(const FieldValue& key) override {
    EXPECT_TRUE(!levels_.empty() && levels_.back().kind == Level::Map) << where_;
    position_ += std::visit([this](const auto& v) { return width(v); }, key);
  }
  void end_map() override { close(Level::Map); }
  void absent(std::string_view name) override { named(name); }
  void skip(std::string_view name, uint64_t bytes) override {
    named(name);
    position_ += bytes;
  }
  void align(uint64_t multiple) override {
    if (position_ % multiple != 0) position_ += multiple - position_ % multiple;
  }

 private:
  struct Level {
    enum Kind { Record, List, Map } kind;
    std::set<std::string, std::less<>> names;
    std::string label;
  };

  // Inside a record every field has a name no other field of that record has; list
  // elements and map values have none.
  void named(std::string_view name) {
    if (levels_.empty()) {
      EXPECT_EQ(name, "") << where_;
      return;
    }
    Level& level = levels_.back();
    if (level.kind != Level::Record) {
      EXPECT_EQ(name, "") << where_ << ": element of " << level.label;
      return;
    }
    EXPECT_NE(name, "") << where_ << ": unnamed field in " << level.label;
    EXPECT_TRUE(level.names.emplace(name).second)
        << where_ << ": field " << name << " visited twice in " << level.label;
  }

  void close(Level::Kind kind) {
    ASSERT_FALSE(levels_.empty()) << where_;
    EXPECT_EQ(levels_.back().kind, kind) << where_;
    levels_.pop_back();
  }

  uint64_t count_width(size_t size, CountForm count) const {
    switch (count) {
      case CountForm::U32:
        return 4;
      case CountForm::Packed:
        return packed_width(size);
      case CountForm::None:
        return 0;
    }
    return 0;
  }

  template <class T>
  uint64_t width(const T& v) const {
    if constexpr (std::is_same_v<T, bool>) {
      return 4;
    } else if constexpr (std::is_arithmetic_v<T>) {
      return sizeof(T);
    } else if constexpr (std::is_same_v<T, common::PackedU32>) {
      return packed_width(v.value);
    } else if constexpr (std::is_same_v<T, std::string_view>) {
      // Generated names are ASCII, stored byte for byte after a 2-byte length.
      for (char c : v) EXPECT_GE(static_cast<signed char>(c), 0) << where_ << ": " << v;
      return 2 + v.size();
    } else {
      return v.size();
    }
  }

  std::string where_;
  uint64_t position_ = 0;
  std::vector<Level> levels_;
  std::set<std::string> types_;
};

struct Walk {
  std::set<std::string> types;
  int records = 0;
};

// Parses `bytes` as a T, visits the result, and compares the visited size with the
// bytes the parser consumed.
template <class T>
void walk(const std::vector<uint8_t>& bytes, const std::string& where, Walk& seen) {
  common::Cursor cursor(bytes);
  auto record = common::read_record<T>(cursor);
  ASSERT_TRUE(record) << where << ": " << record.error().text();
  StoredSize visited(where);
  common::visit_record(*record, visited);
  EXPECT_TRUE(visited.balanced()) << where;
  EXPECT_EQ(visited.size(), cursor.position()) << where;
  seen.types.insert(visited.types().begin(), visited.types().end());
  ++seen.records;
}

TEST(FieldVisitor, EveryFieldOfEveryRecordOfTheDemoWorldIsVisitedOnceByName) {
  const DemoWorld& world = demo_world();
  Walk seen;

  const std::string portal_file = tallowmere::testing::read_all(world.files.portal_path);
  const std::vector<uint8_t> header(portal_file.begin() + dat::kHeaderOffset,
                                    portal_file.begin() + dat::kHeaderOffset + dat::kHeaderSize);
  walk<dat::DatHeader>(header, "portal header", seen);

  for (const dat::DatDatabase* db : {&world.portal, &world.cell}) {
    const bool is_portal = db == &world.portal;
    for (const dat::DatFileEntry& entry : db->entries()) {
      char where[32];
      std::snprintf(where, sizeof where, "%s %08X", is_portal ? "portal" : "cell", entry.id);
      StoredSize visited(where);
      common::visit_record(entry, visited);
      EXPECT_EQ(visited.size(), dat::kEntrySize) << where;
      seen.types.insert(visited.types().begin(), visited.types().end());
      const auto damage =
          is_portal ? world.manifest.portal_damage(entry.id) : world.manifest.cell_damage(entry.id);
      if (damage) continue;
      auto bytes = db->get_file(entry.id);
      ASSERT_TRUE(bytes) << where << ": " << bytes.error().text();
      if (is_portal) {
        switch (entry.id >> 24) {
          case 0x01:
            walk<dat::file_type::GfxObj>(*bytes, where, seen);
            break;
          case 0x02:
            walk<dat::file_type::SetupModel>(*bytes, where, seen);
            break;
          case 0x12:
            walk<dat::file_type::Scene>(*bytes, where, seen);
            break;
          case 0x13:
            walk<dat::file_type::Region>(*bytes, where, seen);
            break;
        }
      } else if ((entry.id & 0xFFFF) == 0xFFFF) {
        walk<dat::landblock::CellLandblock>(*bytes, where, seen);
      } else if ((entry.id & 0xFFFF) == 0xFFFE) {
        walk<dat::landblock::LandblockInfo>(*bytes, where, seen);
      }
    }
  }

  // The world reaches every record type, so none of them escapes the check above.
  const std::set<std::string> all = {"AmbientItem",    "AmbientSTBDesc",
                                     "AnimationHook",  "BspNode",
                                     "BuildInfo",      "CVertexArray",
                                     "CellLandblock",  "CylSphere",
                                     "DatFileEntry",   "DatHeader",
                                     "DayGroup",       "DayGroupItem",
                                     "Frame",          "GameTime",
                                     "GfxObj",         "LandblockInfo",
                                     "LightInfo",      "LocationType",
                                     "ObjectDesc",     "PlacementType",
                                     "Plane",          "Polygon",
                                     "PortalInternal", "PortalPoly",
                                     "Quaternion",     "Region",
                                     "RegionMisc",     "RestrictionTable",
                                     "SWVertex",       "Scene",
                                     "SceneDesc",      "SceneType",
                                     "Season",         "SetupModel",
                                     "SkyDesc",        "SkyTimeItem",
                                     "SkyTimeOfDay",   "SoundDesc",
                                     "Sphere",         "Stab",
                                     "TerrainDesc",    "TerrainType",
                                     "TimeOfDay",      "Vec2Duv",
                                     "Vector3",        "pair"};
  std::vector<std::string> missing;
  std::set_difference(all.begin(), all.end(), seen.types.begin(), seen.types.end(),
                      std::back_inserter(missing));
  EXPECT_TRUE(missing.empty()) << "record types the demo world never reaches: "
                               << ::testing::PrintToString(missing);
  EXPECT_GT(seen.records, 500);
}

}  // namespace
}  // namespace tallowmere::worldgen::testing

// `tallowmere diff` on placement folders with planted changes: a float moved by one unit
// in the last place, a placement removed, a landblock missing on one side, and each exit
// status; the JSON form read back with the JSON library.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tallowmere/scenery/placement_line.hpp"
#include "tallowmere/testing/child_process.hpp"
#include "tallowmere/testing/demo_world.hpp"
#include "tallowmere/testing/temp_dir.hpp"

namespace tallowmere::tool {
namespace {

namespace fs = std::filesystem;
using tallowmere::testing::read_all;
using tallowmere::testing::run_tool;
using tallowmere::testing::TempDir;
using tallowmere::testing::ToolRun;
using tallowmere::testing::write_all;

class TallowmereDiff : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto& world = tallowmere::testing::demo_world_files();
    a_ = work_.path() / "a";
    b_ = work_.path() / "b";
    for (const fs::path& dir : {a_, b_}) {
      const ToolRun r = tool({"bake", world.portal_path, world.cell_path, "--landblocks",
                              "0xA3AE-0xA4AF", "--out", dir.string()});
      ASSERT_EQ(r.status, 0) << r.err;
    }
  }
  ToolRun tool(std::vector<std::string> args) {
    args.insert(args.begin(), TALLOWMERE_TESTBIN);
    return run_tool(args, {}, home_.path(), scratch_.path());
  }
  ToolRun diff(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"diff", a_.string(), b_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return tool(args);
  }

  TempDir scratch_, home_, work_;
  fs::path a_, b_;
};

// Moves the x of line `index` of `file` to the next float up, written as the bake writes
// it; returns both texts of the value.
std::pair<std::string, std::string> nudge_x(const fs::path& file, size_t index) {
  std::string text = read_all(file);
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) start = text.find('\n', start) + 1;
  const size_t at = text.find("\"x\":", start) + 4;
  const size_t end = text.find(',', at);
  const std::string old_value = text.substr(at, end - at);
  std::string new_value;
  scenery::append_number(new_value, std::nextafterf(std::stof(old_value), INFINITY));
  text.replace(at, end - at, new_value);
  write_all(file, text);
  return {old_value, new_value};
}

// Removes line `index` of `file` and returns it.
std::string remove_line(const fs::path& file, size_t index) {
  std::string text = read_all(file);
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) start = text.find('\n', start) + 1;
  const size_t end = text.find('\n', start);
  const std::string line = text.substr(start, end - start);
  text.erase(start, end - start + 1);
  write_all(file, text);
  return line;
}

TEST_F(TallowmereDiff, IdenticalFoldersExitZero) {
  const ToolRun r = diff();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "diff: 4 identical, 0 differing, 0 only in A, 0 only in B\n");
}

TEST_F(TallowmereDiff, ReportsOneUlpARemovedPlacementAndAMissingLandblock) {
  const auto [old_x, new_x] = nudge_x(b_ / "0xA3AE.scenery.jsonl", 3);
  ASSERT_NE(old_x, new_x);
  const std::string removed = remove_line(b_ / "0xA3AF.scenery.jsonl", 0);
  fs::remove(b_ / "0xA4AF.scenery.jsonl");

  const ToolRun r = diff();
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("only in A: 0xA4AF\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    x: " + old_x + " vs " + new_x + " (1 ulp)\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" only in A, line 0: " + removed + "\n"), std::string::npos) << r.out;
  // The removed placement does not make the later lines of its landblock differ.
  EXPECT_NE(r.out.find("; 0 changed, 1 only in A, 0 only in B\n"), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("diff: 1 identical, 2 differing, 1 only in A, 0 only in B\n"))
      << r.out;

  const ToolRun json = diff({"--json"});
  EXPECT_EQ(json.status, 1);
  const auto doc = nlohmann::json::parse(json.out);
  EXPECT_EQ(doc["only_in_a"], nlohmann::json::array({"0xA4AF"}));
  EXPECT_EQ(doc["identical"], 1);
  ASSERT_EQ(doc["differing"].size(), 2u);
  const auto& changed = doc["differing"][0];
  EXPECT_EQ(changed["landblock"], "0xA3AE");
  const auto& field = changed["shown"][0]["fields"][0];
  EXPECT_EQ(field["field"], "x");
  EXPECT_EQ(field["ulps"], 1);
  // Each float reads back to the bits of the value in its file.
  EXPECT_EQ(field["a"].get<float>(), std::stof(old_x));
  EXPECT_EQ(field["b"].get<float>(), std::nextafterf(std::stof(old_x), INFINITY));
  EXPECT_EQ(doc["differing"][1]["shown"][0]["status"], "only_in_a");
}

TEST_F(TallowmereDiff, MaxLimitsTheShownPlacementsAndTroubleExitsTwo) {
  // Five placements changed (a value near 0 may not move in six decimals: skipped).
  for (size_t i = 0, changed = 0; changed < 5; ++i) {
    const auto [old_x, new_x] = nudge_x(b_ / "0xA3AE.scenery.jsonl", i);
    changed += old_x != new_x;
  }
  const ToolRun r = diff({"--max", "2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("; 5 changed, 0 only in A, 0 only in B\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  ... 3 more\n"), std::string::npos) << r.out;

  const ToolRun missing = tool({"diff", a_.string(), (work_.path() / "absent").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("absent"), std::string::npos);
}

}  // namespace
}  // namespace tallowmere::tool

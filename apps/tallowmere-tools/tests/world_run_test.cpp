// End-to-end runs of the tool binary on the generated demo world: the pass verdict, the
// placement files of both runs, landblocks damaged on purpose, re-runs over an existing
// output directory and a relative output directory.
//
// The world is the demo world of the test run (the demo_world fixture). Every run names
// both archives through the environment, so the build's data folder is never consulted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tallowmere/testing/child_process.hpp"
#include "tallowmere/testing/demo_world.hpp"
#include "tallowmere/worldgen/worldgen.hpp"

namespace tallowmere::ringproof {
namespace {

namespace fs = std::filesystem;
namespace worldgen = tallowmere::worldgen;
using tallowmere::testing::make_temp_dir;
using tallowmere::testing::read_all;
using tallowmere::testing::run_tool;
using tallowmere::testing::ToolRun;

std::string file_name(uint16_t id) {
  char name[32];
  std::snprintf(name, sizeof name, "0x%04X.scenery.jsonl", static_cast<unsigned>(id));
  return name;
}

// The landblock block the tool bakes, x outermost.
std::vector<uint16_t> ring_ids() {
  std::vector<uint16_t> ids;
  for (unsigned x = 0xA3; x <= 0xAF; ++x) {
    for (unsigned y = 0xAE; y <= 0xBA; ++y) ids.push_back(static_cast<uint16_t>(x << 8 | y));
  }
  return ids;
}

// File name -> content, for every entry of `dir`.
std::map<std::string, std::string> directory_contents(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = read_all(entry.path());
  }
  return files;
}

void write_text(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// The demo world's archives and manifest.
struct DemoFiles {
  std::string portal;
  std::string cell;
  const worldgen::Manifest& manifest;
};

const DemoFiles& demo_files() {
  static const DemoFiles files = [] {
    const auto& world = tallowmere::testing::demo_world_files();
    return DemoFiles{world.portal_path, world.cell_path, world.summary.manifest};
  }();
  return files;
}

class WorldRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { world_ = &demo_files(); }

  void SetUp() override {
    ASSERT_TRUE(world_ && fs::exists(world_->cell));
    scratch_ = make_temp_dir();
    home_ = make_temp_dir();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
    fs::remove_all(home_, ignored);
  }

  ToolRun run(const std::string& out_dir, const fs::path& cwd = {}) {
    return run_tool({RINGPROOF_TESTBIN},
                    {{"TALLOWMERE_PORTAL_DAT", world_->portal},
                     {"TALLOWMERE_CELL_DAT", world_->cell},
                     {"TALLOWMERE_DETERMINISM_OUT", out_dir}},
                    home_, scratch_, cwd);
  }

  static inline const DemoFiles* world_ = nullptr;
  fs::path scratch_;
  fs::path home_;
};

TEST_F(WorldRun, DemoWorldPassesWithIdenticalPlacementFilesInBothRuns) {
  const fs::path out = scratch_ / "out";
  const ToolRun r = run(out.string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");

  const auto run1 = directory_contents(out / "run1");
  const auto run2 = directory_contents(out / "run2");
  std::set<std::string> expected_names;
  for (uint16_t id : ring_ids()) expected_names.insert(file_name(id));
  std::set<std::string> names1, names2;
  for (const auto& [name, text] : run1) names1.insert(name);
  for (const auto& [name, text] : run2) names2.insert(name);
  EXPECT_EQ(names1, expected_names);
  EXPECT_EQ(names2, expected_names);
  EXPECT_TRUE(run1 == run2) << "run1 and run2 differ";

  size_t total = 0;
  for (const auto& [name, text] : run1)
    total += static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  EXPECT_GT(total, 1000u);
  EXPECT_EQ(r.err, "ringproof: portal=" + world_->portal + " cell=" + world_->cell +
                       "\n"
                       "ringproof: baking 13\u00d713 = 169 LBs (run 1)\n"
                       "ringproof: baking 13\u00d713 = 169 LBs (run 2)\n"
                       "ringproof: total placements = " +
                       std::to_string(total) +
                       " across 169 LBs\n"
                       "ringproof: PASS \u2014 all 169 LBs byte-identical across 2 runs\n");

  // Every line is one compact object with the keys in their fixed order.
  const std::string num = R"(-?(?:0|[1-9][0-9]*)\.[0-9]{6})";
  const std::string uint = R"((0|[1-9][0-9]*))";
  const std::regex line_form("\\{\"obj_id\":\"0x[0-9A-F]{8}\",\"x\":" + num + ",\"y\":" + num +
                             ",\"z\":" + num + ",\"qw\":" + num + ",\"qx\":" + num +
                             ",\"qy\":" + num + ",\"qz\":" + num + ",\"scale\":" + num +
                             ",\"source_cell_x\":" + uint + ",\"source_cell_y\":" + uint +
                             ",\"source_obj_idx\":" + uint + "\\}");
  size_t bad = 0;
  for (const auto& [name, text] : run1) {
    if (!text.empty()) {
      EXPECT_EQ(text.back(), '\n') << name;
    }
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = text.substr(start, end - start);
      std::smatch m;
      const bool ok = std::regex_match(line, m, line_form) && std::stoul(m[1]) <= 8 &&
                      std::stoul(m[2]) <= 8 && line.find(":-0.000000") == std::string::npos;
      if (!ok && bad++ < 5) ADD_FAILURE() << name << ": " << line;
    }
  }
  EXPECT_EQ(bad, 0u);

  // Landblocks whose cell landblock record is missing or cut short give empty files.
  size_t missing = 0, damaged = 0;
  for (const auto& file : world_->manifest.cell) {
    const uint16_t id = static_cast<uint16_t>(file.id >> 16);
    if ((file.id & 0xFFFF) != 0xFFFF || !expected_names.count(file_name(id))) continue;
    ++damaged;
    if (file.damage == worldgen::Damage::Missing) ++missing;
    EXPECT_EQ(run1.at(file_name(id)), "") << file_name(id);
  }
  EXPECT_GE(missing, 1u) << "the demo world should miss a cell landblock of the ring";
  EXPECT_GT(damaged, missing);
}

TEST_F(WorldRun, RerunOverwritesSameNamedFilesAndLeavesOtherFilesAlone) {
  const fs::path out = scratch_ / "out";
  ASSERT_EQ(run(out.string()).status, 0);
  const auto first = directory_contents(out / "run1");
  const std::string name = file_name(0xA3AE);
  ASSERT_FALSE(first.at(name).empty());

  write_text(out / "run1" / name, "stale\n" + first.at(name) + "stale\n");
  write_text(out / "run2" / name, "");
  write_text(out / "run1" / "notes.txt", "kept");
  write_text(out / "run2" / file_name(0x0001), "not part of the ring\n");

  const ToolRun again = run(out.string());
  EXPECT_EQ(again.status, 0) << again.err;
  auto second = directory_contents(out / "run1");
  EXPECT_EQ(second.at("notes.txt"), "kept");
  second.erase("notes.txt");
  EXPECT_TRUE(second == first);
  EXPECT_EQ(read_all(out / "run2" / name), first.at(name));
  EXPECT_EQ(read_all(out / "run2" / file_name(0x0001)), "not part of the ring\n");
}

TEST_F(WorldRun, RelativeOutputDirectoryIsResolvedAgainstTheWorkingDirectory) {
  const fs::path cwd = scratch_ / "cwd";
  fs::create_directories(cwd);
  const ToolRun r = run("rel/out", cwd);
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* run_dir : {"run1", "run2"}) {
    const fs::path dir = cwd / "rel" / "out" / run_dir;
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    EXPECT_EQ(directory_contents(dir).size(), 169u);
  }
}

}  // namespace
}  // namespace tallowmere::ringproof

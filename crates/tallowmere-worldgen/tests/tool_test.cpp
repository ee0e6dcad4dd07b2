// The worldgen command-line tool: exit statuses, messages and the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "generated_world.hpp"
#include "tallowmere/testing/child_process.hpp"

namespace tallowmere::worldgen::testing {
namespace {

struct ToolRun {
  int status = -1;
  std::string output;  // standard output and standard error
};

// Runs the tool with the space-separated `arguments`.
ToolRun run(const std::string& arguments) {
  std::vector<std::string> argv{WORLDGEN_BIN};
  std::istringstream words(arguments);
  for (std::string word; words >> word;) argv.push_back(word);
  TempDir scratch;
  const auto r = tallowmere::testing::run_tool(argv, {}, scratch.path(), scratch.path());
  return {r.status, r.out + r.err};
}

TEST(WorldgenTool, BadOptionsExitWithStatus2AndTheUsage) {
  TempDir dir;
  const std::string out = " --out " + dir.file("w");
  const std::pair<std::string, std::string> cases[] = {
      {"--colour blue" + out, "unknown option '--colour'"},
      {out + " --seed", "missing value for --seed"},
      {"--scale huge" + out, "unknown scale 'huge'"},
      {"--seed twelve" + out, "seed must be a non-negative integer, not 'twelve'"},
      {"--seed -3" + out, "not '-3'"},
      {"--scale tiny", "missing --out DIR"},
  };
  for (const auto& [arguments, message] : cases) {
    const ToolRun r = run(arguments);
    EXPECT_EQ(r.status, 2) << arguments;
    EXPECT_NE(r.output.find(message), std::string::npos) << arguments << "\n" << r.output;
    EXPECT_NE(r.output.find("usage: worldgen"), std::string::npos) << arguments;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("w")));
}

TEST(WorldgenTool, UnwritableDirectoryExitsWithStatus1) {
  TempDir dir;
  tallowmere::testing::write_all(dir.path() / "file", "");
  const ToolRun r = run("--scale tiny --out " + dir.file("file/sub"));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("cannot create directory"), std::string::npos) << r.output;
}

TEST(WorldgenTool, WritesBothArchivesUnderTheirNamesAndNothingElse) {
  TempDir dir;
  const std::string out = dir.file("a/b");
  const ToolRun r = run("--seed 0x2A --scale=tiny --out " + out);
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"client_cell_1.dat", "client_portal.dat"}));

  // The same world as the library makes for seed 42.
  auto world = generate(42, Scale::Tiny);
  EXPECT_EQ(read_all(out + "/client_portal.dat"), read_all(world->portal_path));
  EXPECT_EQ(read_all(out + "/client_cell_1.dat"), read_all(world->cell_path));
}

}  // namespace
}  // namespace tallowmere::worldgen::testing

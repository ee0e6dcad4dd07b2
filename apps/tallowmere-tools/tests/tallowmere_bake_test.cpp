// End-to-end runs of `tallowmere bake`, `digest` and `prove` on the demo world: the ring
// equals ringproof's files byte for byte, the thread count never shows in the output,
// selections, digests that sha256sum accepts, and prove catching a planted
// order-dependent fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tallowmere/testing/child_process.hpp"
#include "tallowmere/testing/demo_world.hpp"
#include "tallowmere/testing/temp_dir.hpp"

namespace tallowmere::tool {
namespace {

namespace fs = std::filesystem;
using tallowmere::testing::directory_contents;
using tallowmere::testing::read_all;
using tallowmere::testing::run_tool;
using tallowmere::testing::TempDir;
using tallowmere::testing::ToolRun;
using tallowmere::testing::write_all;

class TallowmereTool : public ::testing::Test {
 protected:
  ToolRun tool(std::vector<std::string> args, tallowmere::testing::Env env = {},
               const fs::path& cwd = {}) {
    args.insert(args.begin(), TALLOWMERE_TESTBIN);
    return run_tool(args, env, home_.path(), scratch_.path(), cwd);
  }
  ToolRun bake(const fs::path& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"bake", world_.portal_path, world_.cell_path, "--out",
                                     out.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return tool(args);
  }
  ToolRun prove(std::vector<std::string> extra, tallowmere::testing::Env env = {}) {
    std::vector<std::string> args = {"prove", world_.portal_path, world_.cell_path};
    args.insert(args.end(), extra.begin(), extra.end());
    return tool(args, env);
  }

  const tallowmere::testing::DemoWorldFiles& world_ = tallowmere::testing::demo_world_files();
  TempDir scratch_, home_, work_;
};

TEST_F(TallowmereTool, RingBakeEqualsRingproofsRunFilesByteForByte) {
  const fs::path ringproof_out = work_.path() / "ringproof";
  const ToolRun ringproof = run_tool({RINGPROOF_TESTBIN},
                                     {{"TALLOWMERE_PORTAL_DAT", world_.portal_path},
                                      {"TALLOWMERE_CELL_DAT", world_.cell_path},
                                      {"TALLOWMERE_DETERMINISM_OUT", ringproof_out.string()}},
                                     home_.path(), scratch_.path());
  ASSERT_EQ(ringproof.status, 0) << ringproof.err;

  const ToolRun baked = bake(work_.path() / "baked", {"--jobs", "3"});
  ASSERT_EQ(baked.status, 0) << baked.err;
  EXPECT_EQ(baked.out, "");
  const auto expected = directory_contents(ringproof_out / "run1");
  ASSERT_EQ(expected.size(), 169u);
  EXPECT_TRUE(directory_contents(work_.path() / "baked") == expected);
  // One summary line: landblocks, placements, time.
  EXPECT_TRUE(baked.err.starts_with("bake: 169 landblocks, 9363 placements, ")) << baked.err;
  EXPECT_EQ(std::count(baked.err.begin(), baked.err.end(), '\n'), 1);
}

TEST_F(TallowmereTool, OneAndFourJobsGiveIdenticalFilesForEveryLandblock) {
  const ToolRun one = bake(work_.path() / "one", {"--landblocks", "all", "--jobs", "1"});
  const ToolRun four = bake(work_.path() / "four", {"--landblocks", "all", "--jobs", "4"});
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(four.status, 0) << four.err;
  const auto files = directory_contents(work_.path() / "one");
  // Every landblock the generator made, but those whose record it left out on purpose.
  size_t left_out = 0;
  for (const auto& file : world_.summary.manifest.cell) {
    left_out += (file.id & 0xFFFF) == 0xFFFF && file.damage == worldgen::Damage::Missing;
  }
  ASSERT_GE(left_out, 1u);
  EXPECT_EQ(files.size(), world_.summary.landblocks - left_out);
  EXPECT_TRUE(files == directory_contents(work_.path() / "four"));
}

TEST_F(TallowmereTool, SelectionsNameTheirLandblocksAndSlopeChangesTheBake) {
  const fs::path out = work_.path() / "sel";
  const ToolRun r = bake(out, {"--landblocks", "0xA3AE-0xA4AF,00AB,0xA3AE"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto files = directory_contents(out);
  std::set<std::string> names;
  for (const auto& [name, text] : files) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"0x00AB.scenery.jsonl", "0xA3AE.scenery.jsonl",
                                          "0xA3AF.scenery.jsonl", "0xA4AE.scenery.jsonl",
                                          "0xA4AF.scenery.jsonl"}));
  EXPECT_EQ(files.at("0x00AB.scenery.jsonl"), "");  // not in the cell archive

  const ToolRun sloped = bake(work_.path() / "slope", {"--landblocks", "0xA3AE-0xA4AF", "--slope"});
  ASSERT_EQ(sloped.status, 0) << sloped.err;
  EXPECT_NE(read_all(work_.path() / "slope" / "0xA3AE.scenery.jsonl"),
            files.at("0xA3AE.scenery.jsonl"));
}

TEST_F(TallowmereTool, AFileThatCannotBeWrittenEndsTheBakeWithTheWriteError) {
  const fs::path out = work_.path() / "blocked";
  // A folder where a placement file should go: it cannot be replaced by a file.
  write_all(out / "0xA3B0.scenery.jsonl" / "keep", "");
  const ToolRun r = bake(out, {"--landblocks", "0xA3AE-0xA3B2", "--jobs", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.starts_with("Error: write " + (out / "0xA3B0.scenery.jsonl").string() +
                                "\n\nCaused by:\n"))
      << r.err;
  EXPECT_FALSE(fs::exists(out / "0xA3B2.scenery.jsonl"));  // nothing after the failure
}

TEST_F(TallowmereTool, UsageErrorsAreOneLineAndExitTwo) {
  const std::string& portal = world_.portal_path;
  const std::string& cell = world_.cell_path;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"bake"},
      {"bake", portal, cell, "--jobs", "0"},
      {"bake", portal, cell, "--landblocks", "0xA3AE-0xA2AF"},
      {"bake", portal, cell, "--landblocks", "ring,0x12345"},
      {"bake", portal, cell, "--no-such-flag"},
      {"diff", "only-one"},
      {"prove", portal, cell, "--runs", "0"},
  };
  for (const auto& args : cases) {
    const ToolRun r = tool(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
  }
  // A missing archive: the error report ringproof gives, exit 2.
  const ToolRun missing = tool({"bake", (work_.path() / "nope.dat").string(), cell});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(missing.err.starts_with("Error: open portal\n")) << missing.err;

  for (const char* sub : {"bake", "digest", "diff", "prove"}) {
    const ToolRun help = tool({sub, "--help"});
    EXPECT_EQ(help.status, 0) << sub;
    EXPECT_NE(help.out.find("Exit status"), std::string::npos) << sub;
  }
  const ToolRun version = tool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("tallowmere ")) << version.out;
}

TEST_F(TallowmereTool, DigestIsAcceptedBySha256sumAndChecksAFolder) {
  const fs::path out = work_.path() / "ring";
  ASSERT_EQ(bake(out).status, 0);
  write_all(out / "notes.txt", "not a placement file");
  const ToolRun digest = tool({"digest", out.string()});
  ASSERT_EQ(digest.status, 0) << digest.err;
  EXPECT_EQ(std::count(digest.out.begin(), digest.out.end(), '\n'), 169);
  EXPECT_TRUE(digest.out.find("  0xA3AE.scenery.jsonl\n") == 64) << digest.out.substr(0, 100);
  const fs::path saved = work_.path() / "ring.sha256";
  write_all(saved, digest.out);

  TempDir sums_scratch;
  const ToolRun sums = run_tool({"/usr/bin/sha256sum", "-c", "--strict", saved.string()}, {},
                                home_.path(), sums_scratch.path(), out);
  EXPECT_EQ(sums.status, 0) << sums.out << sums.err;
  EXPECT_EQ(std::count(sums.out.begin(), sums.out.end(), '\n'), 169);

  EXPECT_EQ(tool({"digest", out.string(), "--check", saved.string()}).status, 0);
  write_all(out / "0xA3AF.scenery.jsonl", "changed\n");
  fs::remove(out / "0xA3B0.scenery.jsonl");
  write_all(out / "0x0001.scenery.jsonl", "");
  const ToolRun check = tool({"digest", out.string(), "--check", saved.string()});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out,
            "extra 0x0001.scenery.jsonl\n"
            "mismatch 0xA3AF.scenery.jsonl\n"
            "missing 0xA3B0.scenery.jsonl\n");
  EXPECT_EQ(tool({"digest", (work_.path() / "absent").string()}).status, 2);
}

TEST_F(TallowmereTool, ProvePassesAndWithAGoldenDigestNamesTheMismatch) {
  const ToolRun pass = prove({"--landblocks", "0xA3AE-0xA5B0", "--runs", "4"});
  EXPECT_EQ(pass.status, 0) << pass.out << pass.err;
  EXPECT_NE(pass.out.find("reversed order"), std::string::npos) << pass.out;
  EXPECT_NE(pass.out.find("child process (MALLOC_PERTURB_="), std::string::npos) << pass.out;
  EXPECT_TRUE(pass.out.ends_with("PASS: 9 landblocks byte-identical across 4 runs\n")) << pass.out;

  const fs::path out = work_.path() / "golden";
  ASSERT_EQ(bake(out, {"--landblocks", "0xA3AE-0xA5B0"}).status, 0);
  ToolRun digest = tool({"digest", out.string()});
  const fs::path golden = work_.path() / "golden.sha256";
  write_all(golden, digest.out);
  const ToolRun same =
      prove({"--landblocks", "0xA3AE-0xA5B0", "--runs", "1", "--golden", golden.string()});
  EXPECT_EQ(same.status, 0) << same.out << same.err;
  EXPECT_NE(same.out.find("and with the golden digest"), std::string::npos);

  digest.out[0] = digest.out[0] == '0' ? '1' : '0';  // the first file: 0xA3AE
  write_all(golden, digest.out);
  const ToolRun drift =
      prove({"--landblocks", "0xA3AE-0xA5B0", "--runs", "1", "--golden", golden.string()});
  EXPECT_EQ(drift.status, 1);
  EXPECT_NE(drift.out.find("LB 0xA3AE differs from the golden digest"), std::string::npos)
      << drift.out;
  EXPECT_TRUE(drift.out.ends_with("FAIL: 1 landblocks drifted (1 from the golden digest)\n"))
      << drift.out;
}

TEST_F(TallowmereTool, ProveFailsOnAnOrderDependentBakeAndNamesTheOrder) {
  // The planted fault gives the landblock handed out first one extra line: run 1 (request
  // order) and the reversed and shuffled runs disagree on the first and on the last.
  const ToolRun r = prove({"--landblocks", "0xA3AE-0xA4B0"}, {{"TALLOWMERE_TEST_FAULT", "order"}});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("  LB 0xA3AE: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("drifted in run 2; condition: order\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("condition: threads"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("PASS"), std::string::npos);
}

}  // namespace
}  // namespace tallowmere::tool

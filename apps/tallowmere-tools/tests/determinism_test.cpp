// Runs of different rings are a defect of the tool, which stops it on the spot. A run
// that never starts (the archives did not open) takes back every file and directory it
// prepared while they were opening.
#include "determinism.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "tallowmere/testing/temp_dir.hpp"

namespace tallowmere::ringproof {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(CompareOrAbortDeathTest, MismatchedIdsAbort) {
  const scenery::BakeResult run1 = {{0xA3AE, {}}};
  const scenery::BakeResult run2 = {{0xA3AF, {}}};
  EXPECT_DEATH((void)compare_or_abort(run1, run2), "lb sequence drift");
}

// Every path below `root`, relative to it.
std::set<std::string> listing(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    names.insert(fs::relative(entry.path(), root).string());
  return names;
}

// Waits (up to a generous limit) until `dir` holds `count` entries: the run's writer
// has prepared that many files.
bool wait_for_entries(const fs::path& dir, size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir, error); !error && it != fs::directory_iterator();
         it.increment(error))
      ++n;
    if (!error && n >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

TEST(DeterminismRunTakeBack, AnUnusedRunLeavesNoTrace) {
  TempDir scratch;
  const fs::path out = scratch.path() / "out";
  {
    DeterminismRun run(OutputDirectory{out.string(), false});
    // Every file of both runs prepared, none of them visible under its name.
    ASSERT_TRUE(wait_for_entries(out / "run2", 169));
    for (const auto& entry : fs::directory_iterator(out / "run1"))
      EXPECT_EQ(entry.path().filename().string().front(), '.') << entry.path();
  }
  EXPECT_FALSE(fs::exists(out));
}

TEST(DeterminismRunTakeBack, WhatWasThereBeforeStaysAsItWas) {
  TempDir scratch;
  const fs::path out = scratch.path() / "out";
  fs::create_directories(out / "run1");
  std::ofstream(out / "keep.txt") << "mine";
  std::ofstream(out / "run1" / "0xA3AE.scenery.jsonl") << "old";
  const std::set<std::string> before = listing(out);
  {
    DeterminismRun run(OutputDirectory{out.string(), false});
    ASSERT_TRUE(wait_for_entries(out / "run2", 169));
  }
  EXPECT_EQ(listing(out), before);
  EXPECT_EQ(testing::read_all(out / "run1" / "0xA3AE.scenery.jsonl"), "old");

  // The private default: made private, and taken back like any other.
  const fs::path private_out = scratch.path() / "private";
  {
    DeterminismRun run(OutputDirectory{private_out.string(), true});
    ASSERT_TRUE(wait_for_entries(private_out / "run2", 169));
    EXPECT_EQ(fs::status(private_out).permissions() & fs::perms::all, fs::perms::owner_all);
  }
  EXPECT_FALSE(fs::exists(private_out));
}

}  // namespace
}  // namespace tallowmere::ringproof

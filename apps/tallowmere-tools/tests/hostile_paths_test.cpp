// The tool against hostile file systems: special files given as archives, links planted
// in the output folder, runs killed half-way, and a default output folder that someone
// else prepared.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <thread>

#include "tallowmere/common/endian.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/testing/child_process.hpp"
#include "tallowmere/worldgen/worldgen.hpp"

namespace tallowmere::ringproof {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tallowmere::testing::directory_contents;
using tallowmere::testing::Env;
using tallowmere::testing::make_temp_dir;
using tallowmere::testing::read_all;
using tallowmere::testing::run_tool;
using tallowmere::testing::start_tool;
using tallowmere::testing::ToolRun;
using tallowmere::testing::write_all;

// Whether `text` ends with `tail`, shown in full when it does not.
::testing::AssertionResult ends_with(const std::string& text, const std::string& tail) {
  if (text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\n" << text << "does not end with\n" << tail;
}

class HostilePaths : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    world_dir_ = new fs::path(make_temp_dir());
    worldgen::Options options;
    options.seed = 7;
    options.scale = worldgen::Scale::Tiny;
    auto summary = worldgen::generate_world(options, portal().string(), cell().string());
    ASSERT_TRUE(summary) << summary.error().path << ": " << summary.error().error.text();
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(*world_dir_, ignored);
    delete world_dir_;
  }
  static fs::path portal() { return *world_dir_ / "client_portal.dat"; }
  static fs::path cell() { return *world_dir_ / "client_cell_1.dat"; }

  Env env_with_out(const fs::path& out) const {
    return {{"TALLOWMERE_PORTAL_DAT", portal().string()},
            {"TALLOWMERE_CELL_DAT", cell().string()},
            {"TALLOWMERE_DETERMINISM_OUT", out.string()}};
  }
  ToolRun run(const Env& env, std::chrono::milliseconds limit = 10min) {
    return run_tool({RINGPROOF_TESTBIN}, env, home_.path(), scratch_, {}, limit);
  }

  static inline fs::path* world_dir_ = nullptr;
  tallowmere::testing::TempDir scratch_dir_;
  tallowmere::testing::TempDir home_;
  const fs::path& scratch_ = scratch_dir_.path();
};

TEST_F(HostilePaths, FifoAsEitherArchiveFailsAtOnce) {
  const fs::path fifo = scratch_ / "archive.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const char* variable : {"TALLOWMERE_PORTAL_DAT", "TALLOWMERE_CELL_DAT"}) {
    SCOPED_TRACE(variable);
    Env env = env_with_out(scratch_ / "out");
    for (auto& [name, value] : env) {
      if (name == variable) value = fifo.string();
    }
    // Nobody ever opens the FIFO for writing: a tool that waited for a writer would
    // be killed at the limit and fail here.
    const auto started = std::chrono::steady_clock::now();
    const ToolRun r = run(env, 20s);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(r.status, 1);
    EXPECT_LT(took, 1s) << "a FIFO must fail at once";
    const std::string context =
        std::string(variable) == "TALLOWMERE_PORTAL_DAT" ? "open portal" : "open cell";
    EXPECT_NE(r.err.find("Error: " + context + "\n\nCaused by:\n    0: Binary read error: "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Error: Not a regular file (a FIFO)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("While parsing field 'magic' in DatHeader"), std::string::npos);
  }
}

TEST_F(HostilePaths, RegionChainComingBackToItselfIsReportedAsCorruption) {
  // The region's first block is made to point at itself.
  std::string bytes = read_all(portal());
  uint32_t first = 0;
  {
    auto db = dat::DatDatabase::open(portal().string());
    ASSERT_TRUE(db) << db.error().text();
    const dat::DatFileEntry* region = db->find(0x13000000);
    ASSERT_NE(region, nullptr);
    ASSERT_GT(region->size, db->header().block_size - 4) << "the region must span two blocks";
    first = region->offset;
  }
  common::store_u32le(reinterpret_cast<uint8_t*>(bytes.data()) + first, first);
  const fs::path damaged = scratch_ / "client_portal.dat";
  write_all(damaged, bytes);

  Env env = env_with_out(scratch_ / "out");
  env[0].second = damaged.string();
  const ToolRun r = run(env);
  EXPECT_EQ(r.status, 1);
  char block[16];
  std::snprintf(block, sizeof block, "0x%x", first);
  EXPECT_EQ(r.err, "ringproof: portal=" + damaged.string() + " cell=" + cell().string() +
                       "\nError: fetch Region 0x13000000\n\nCaused by:\n    Corruption detected: "
                       "block chain at " +
                       block + " reaches block " + block + " a second time\n");
}

TEST_F(HostilePaths, PlantedLinkIsReplacedAndItsTargetKeepsItsBytes) {
  const fs::path out = scratch_ / "out";
  fs::create_directories(out / "run1");
  const fs::path victim = scratch_ / "victim.txt";
  write_all(victim, "precious\n");
  const fs::path planted = out / "run1" / "0xA3AE.scenery.jsonl";
  fs::create_symlink(victim, planted);

  const ToolRun r = run(env_with_out(out));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_all(victim), "precious\n");
  EXPECT_FALSE(fs::is_symlink(planted));
  EXPECT_TRUE(fs::is_regular_file(planted));
  EXPECT_EQ(read_all(planted), read_all(out / "run2" / "0xA3AE.scenery.jsonl"));
  // No temporary file is left behind by a run that completes.
  for (const char* dir : {"run1", "run2"}) {
    for (const auto& [name, text] : directory_contents(out / dir)) {
      EXPECT_TRUE(std::regex_match(name, std::regex(R"(0x[0-9A-F]{4}\.scenery\.jsonl)"))) << name;
    }
  }
}

TEST_F(HostilePaths, RunKilledAtAnyMomentLeavesOnlyWholeFiles) {
  // The files of a complete run are the reference: a file under its final name must
  // hold exactly these bytes, whenever the run that wrote it was killed.
  const fs::path reference_out = scratch_ / "reference";
  ASSERT_EQ(run(env_with_out(reference_out)).status, 0);
  const auto reference = directory_contents(reference_out / "run1");
  ASSERT_EQ(reference.size(), 169u);

  std::mt19937 rng(20261208);
  const std::regex final_name(R"(0x[0-9A-F]{4}\.scenery\.jsonl)");
  const std::regex temporary_name(R"(\.0x[0-9A-F]{4}\.scenery\.jsonl\.tmp-[0-9a-f]{16})");
  for (int attempt = 0; attempt < 12; ++attempt) {
    SCOPED_TRACE(attempt);
    const fs::path out = scratch_ / ("killed" + std::to_string(attempt));
    // Earlier content under the final names: a kill must leave either it or the new bytes.
    fs::create_directories(out / "run1");
    for (const auto& [name, text] : reference) write_all(out / "run1" / name, "old\n");
    const pid_t pid = start_tool({RINGPROOF_TESTBIN}, env_with_out(out), home_.path(), scratch_);
    ASSERT_GT(pid, 0);
    // Baking takes most of a run; the kill is aimed at the writing, which starts when
    // the first file changes, at a random moment of the next 20 ms.
    const fs::path first = out / "run1" / reference.begin()->first;
    const auto give_up = std::chrono::steady_clock::now() + 60s;
    while (read_all(first) == "old\n" && std::chrono::steady_clock::now() < give_up &&
           ::waitpid(pid, nullptr, WNOHANG) == 0) {
      std::this_thread::sleep_for(100us);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    for (const char* dir : {"run1", "run2"}) {
      for (const auto& [name, text] : directory_contents(out / dir)) {
        if (std::regex_match(name, temporary_name)) continue;  // never a final name
        ASSERT_TRUE(std::regex_match(name, final_name)) << name;
        EXPECT_TRUE(text == reference.at(name) || (text == "old\n" && std::string(dir) == "run1"))
            << dir << "/" << name << " holds " << text.size() << " bytes";
      }
    }
  }
}

TEST_F(HostilePaths, DefaultFolderIsPrivateAndNeverALinkOrAnotherUsersFolder) {
  const fs::path tmp = scratch_ / "tmp";
  fs::create_directories(tmp);
  const Env env = {{"TALLOWMERE_PORTAL_DAT", portal().string()},
                   {"TALLOWMERE_CELL_DAT", cell().string()},
                   {"TMPDIR", tmp.string()}};
  const fs::path folder = tmp / "ringproof-determinism";

  // Created afresh: private to the user.
  ToolRun r = run(env);
  ASSERT_EQ(r.status, 0) << r.err;
  struct stat info;
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(directory_contents(folder / "run1").size(), 169u);

  // Replaced by a link to a folder of the attacker's choosing: refused, nothing written.
  fs::remove_all(folder);
  const fs::path elsewhere = scratch_ / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, folder);
  r = run(env);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(ends_with(r.err, "Error: refusing to use output directory " + folder.string() +
                                   ": it is a symbolic link\n"));
  EXPECT_TRUE(fs::is_empty(elsewhere));

  // Made by another user beforehand: refused. Changing a folder's owner needs root.
  fs::remove(folder);
  fs::create_directories(folder);
  if (::geteuid() != 0) GTEST_SKIP() << "changing a folder's owner needs root";
  ASSERT_EQ(::chown(folder.c_str(), 4242, 4242), 0);
  r = run(env);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(ends_with(r.err, "Error: refusing to use output directory " + folder.string() +
                                   ": it belongs to another user (uid 4242)\n"));
  EXPECT_TRUE(fs::is_empty(folder));
}

}  // namespace
}  // namespace tallowmere::ringproof

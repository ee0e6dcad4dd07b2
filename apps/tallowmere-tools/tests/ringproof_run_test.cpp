// End-to-end runs of the tool binary: archive location, archive opening, region load and
// the error report, checked byte for byte on standard error.
//
// Every run gets a controlled environment: no TALLOWMERE_* variable unless the test sets
// it, and HOME an empty temporary folder. The binary's data folder (candidate 2) is shared
// by every test of this program, so each test holds an exclusive lock on it while it runs
// and leaves it empty.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/testing/child_process.hpp"

namespace {

namespace fs = std::filesystem;
using tallowmere::testing::Env;
using tallowmere::testing::make_temp_dir;
using tallowmere::testing::run_tool;
using tallowmere::testing::ToolRun;
using tallowmere::writer::ByteWriter;

constexpr uint32_t kRegionId = 0x13000000;
constexpr const char* kBakingLines =
    "ringproof: baking 13\u00d713 = 169 LBs (run 1)\n"
    "ringproof: baking 13\u00d713 = 169 LBs (run 2)\n";

void write_bytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// An archive of block size 0x400 whose directory is one leaf node listing `file`, or an
// empty directory (root_offset 0) without it. The node and the payload are each stored
// as a single block (next-block pointer 0).
std::vector<uint8_t> archive(std::optional<std::pair<uint32_t, std::vector<uint8_t>>> file) {
  constexpr uint32_t kRoot = 0x190, kNodeSize = 1716;
  ByteWriter w;
  w.zeros(0x140);
  w.u32(0x5442).u32(0x400).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);  // magic .. free_count
  w.u32(file ? kRoot : 0);                                             // root_offset
  w.zeros(6 * 4 + 16 + 4);  // new_lru .. game_version, version_string, version_minor
  if (!file) return w.take();

  const uint32_t payload_at = kRoot + 4 + kNodeSize;
  w.u32(0);                // next-block pointer of the node
  w.zeros(62 * 4).u32(1);  // no branches, one entry
  w.u32(0).u32(file->first).u32(payload_at).u32(static_cast<uint32_t>(file->second.size()));
  w.u32(0).u32(0);  // timestamp, version
  w.zeros(kNodeSize - 252 - 24);
  w.u32(0).bytes(file->second);
  return w.take();
}

// The smallest whole region: empty name, zero heights, an empty calendar, part mask 0 and
// an empty terrain description.
std::vector<uint8_t> minimal_region() {
  ByteWriter w;
  w.u32(kRegionId).u32(0).u32(0).pstring16("").align4();
  w.zeros(8 * 4 + 256 * 4);                              // params, height_table
  w.f64(0).u32(0).u32(0).u32(0).pstring16("").align4();  // GameTime head
  w.u32(0).u32(0).u32(0);                                // times, names, seasons
  w.u32(0);                                              // part_mask
  w.u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);    // TerrainDesc
  return w.take();
}

class RingproofRun : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(data_dir_);
    lock_fd_ = ::open((data_dir_.parent_path() / "ringproof-tests.lock").c_str(),
                      O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    ASSERT_GE(lock_fd_, 0);
    ASSERT_EQ(::flock(lock_fd_, LOCK_EX), 0);
    clear_data_dir();
    scratch_ = make_temp_dir();
    home_ = make_temp_dir();
  }

  void TearDown() override {
    clear_data_dir();
    std::error_code ignored;
    if (!scratch_.empty()) fs::remove_all(scratch_, ignored);
    if (!home_.empty()) fs::remove_all(home_, ignored);
    if (lock_fd_ >= 0) ::close(lock_fd_);  // releases the lock
  }

  void clear_data_dir() {
    for (const auto& entry : fs::directory_iterator(data_dir_)) fs::remove_all(entry.path());
  }

  // Runs the tool with HOME, the sanitizer settings of this process and `env`; `args`
  // follow the program name.
  ToolRun run(const Env& env, const std::vector<std::string>& args = {}) {
    std::vector<std::string> argv{RINGPROOF_TESTBIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_tool(argv, env, home_, scratch_);
  }

  std::string data_file(const char* name) const { return (data_dir_ / name).string(); }
  std::string home_file(const char* name) const {
    return (home_ / ".local/share/tallowmere/base" / name).string();
  }
  std::string scratch_file(const std::string& name) const { return (scratch_ / name).string(); }

  static std::string progress(const std::string& portal, const std::string& cell) {
    return "ringproof: portal=" + portal + " cell=" + cell + "\n";
  }

  const fs::path data_dir_{RINGPROOF_TEST_DATA_DIR};
  fs::path scratch_;
  fs::path home_;
  int lock_fd_ = -1;
};

const std::string kNoRegion =
    "Error: fetch Region 0x13000000\n\nCaused by:\n    File ID 13000000 not found in provider\n";

TEST_F(RingproofRun, MissingPortalIsReportedFirstWhateverTheArguments) {
  const std::string expected = "Error: client_portal.dat not found in any candidate location\n";
  for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"--help", "x"}}) {
    ToolRun r = run({}, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, expected);
    EXPECT_EQ(r.out, "");
  }
  // A present cell archive does not change which error comes first.
  write_bytes(data_file("client_cell_1.dat"), archive(std::nullopt));
  ToolRun r = run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, expected);
}

TEST_F(RingproofRun, MissingCellIsReportedWithoutProgressLine) {
  write_bytes(data_file("client_portal.dat"), archive(std::nullopt));
  ToolRun r = run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: client_cell_1.dat not found in any candidate location\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(RingproofRun, MissingOrEmptyEnvironmentPathsFallThroughToTheDataFolder) {
  const std::string portal = data_file("client_portal.dat"), cell = data_file("client_cell_1.dat");
  write_bytes(portal, archive(std::nullopt));
  write_bytes(cell, archive(std::nullopt));
  ToolRun r = run(
      {{"TALLOWMERE_PORTAL_DAT", scratch_file("nothing-here.dat")}, {"TALLOWMERE_CELL_DAT", ""}});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, progress(portal, cell) + kNoRegion);
  EXPECT_EQ(r.out, "");
}

TEST_F(RingproofRun, EnvironmentPathBeatsDataFolderAndHomeIsTheLastCandidate) {
  const std::string portal = scratch_file("portal.dat"), cell = home_file("client_cell_1.dat");
  write_bytes(portal, archive(std::nullopt));
  write_bytes(data_file("client_portal.dat"), archive(std::nullopt));
  write_bytes(cell, archive(std::nullopt));
  ToolRun r = run({{"TALLOWMERE_PORTAL_DAT", portal}});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, progress(portal, cell) + kNoRegion);
}

TEST_F(RingproofRun, ProgressLineReplacesInvalidUtf8InPaths) {
  const std::string raw_name = scratch_file("portal-\xFF.dat");
  const std::string cell = data_file("client_cell_1.dat");
  write_bytes(raw_name, archive(std::nullopt));
  write_bytes(cell, archive(std::nullopt));
  ToolRun r = run({{"TALLOWMERE_PORTAL_DAT", raw_name}});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, progress(scratch_file("portal-\xEF\xBF\xBD.dat"), cell) + kNoRegion);
}

// The whole report format on a real chain: a portal archive too short for its header.
TEST_F(RingproofRun, ShortPortalArchiveGivesTheBacktraceReport) {
  const std::string portal = data_file("client_portal.dat"), cell = data_file("client_cell_1.dat");
  write_bytes(portal, std::vector<uint8_t>(0x143, 0xAB));
  write_bytes(cell, archive(std::nullopt));
  ToolRun r = run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");

  std::smatch line;
  ASSERT_TRUE(std::regex_search(
      r.err, line, std::regex("     at crates/tallowmere-dat/src/lib\\.cpp:([0-9]+)\n")))
      << r.err;
  const std::string bold = "\x1b[1m", normal = "\x1b[22m";
  std::string rule_top, rule_bottom;
  for (int i = 0; i < 20; ++i) rule_top += "\u2501";
  for (int i = 0; i < 53; ++i) rule_bottom += "\u2501";
  // The backtrace block's lines after its leading line feed; the block ends in "\n\n".
  const std::vector<std::string> block = {
      " \u257a" + rule_top + "\u2505 Backtrace \u2505" + rule_top + "\u2578",
      "",
      " 0: " + bold + bold + "Error: failed to fill whole buffer" + normal,
      std::string(11, ' ') + bold + "While parsing field 'magic' in DatHeader" + normal + normal,
      "     at crates/tallowmere-dat/src/lib.cpp:" + line[1].str(),
      "",
      " \u257a" + rule_bottom + "\u2578",
      "",
      "",
  };
  std::string continued;
  for (const auto& text : block) continued += "\n       " + text;
  EXPECT_EQ(r.err, progress(portal, cell) + "Error: open portal\n\nCaused by:\n" +
                       "    0: Binary read error: " + continued + "\n" + "    1: " + continued +
                       "\n");

  // The two archives open at the same time; a broken cell archive changes nothing when
  // the portal archive fails as well.
  write_bytes(cell, std::vector<uint8_t>(0x180, 0));
  EXPECT_EQ(run({}).err, r.err);
}

TEST_F(RingproofRun, CellArchiveThatCannotBeOpenedIsReportedAsOpenCell) {
  const std::string portal = data_file("client_portal.dat"), cell = data_file("client_cell_1.dat");
  write_bytes(portal, archive(std::nullopt));
  // Ends inside version_string, which is read as a 16-byte list.
  write_bytes(cell, std::vector<uint8_t>(0x180, 0));
  ToolRun r = run({});
  EXPECT_EQ(r.status, 1);
  const std::string head =
      progress(portal, cell) + "Error: open cell\n\nCaused by:\n    0: Binary read error: \n";
  EXPECT_TRUE(r.err.starts_with(head)) << r.err;
  EXPECT_NE(r.err.find("not enough bytes in reader"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("While parsing field 'version_string' in DatHeader"), std::string::npos);

  // A path that exists but is no file passes the existence test and fails to open.
  ToolRun dir = run({{"TALLOWMERE_CELL_DAT", scratch_.string()}});
  EXPECT_EQ(dir.status, 1);
  EXPECT_TRUE(
      dir.err.starts_with(progress(portal, scratch_.string()) + "Error: open cell\n\nCaused by:\n"))
      << dir.err;
}

TEST_F(RingproofRun, RegionLoadFailuresAndSuccess) {
  const std::string portal = data_file("client_portal.dat"), cell = data_file("client_cell_1.dat");
  write_bytes(cell, archive(std::nullopt));

  write_bytes(portal, archive(std::make_pair(0x12000001u, std::vector<uint8_t>(8, 1))));
  ToolRun missing = run({});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, progress(portal, cell) + kNoRegion);

  write_bytes(portal, archive(std::make_pair(kRegionId, std::vector<uint8_t>(10, 0))));
  ToolRun cut = run({});
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, progress(portal, cell) +
                         "Error: parse Region\n\nCaused by:\n    failed to fill whole buffer\n");

  auto region = minimal_region();
  region.resize(region.size() - 1);  // the last count of the terrain description is cut
  write_bytes(portal, archive(std::make_pair(kRegionId, region)));
  EXPECT_EQ(run({}).err, cut.err);
}

// A region without a scene description places nothing: the run passes with 169 empty
// placement files in each run directory.
TEST_F(RingproofRun, WorldWithoutScenesPassesWithEmptyPlacementFiles) {
  const std::string portal = data_file("client_portal.dat"), cell = data_file("client_cell_1.dat");
  write_bytes(cell, archive(std::nullopt));
  write_bytes(portal, archive(std::make_pair(kRegionId, minimal_region())));
  const fs::path out = scratch_ / "nested" / "out";

  ToolRun ok = run({{"TALLOWMERE_DETERMINISM_OUT", out.string()}});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "");
  EXPECT_EQ(ok.err, progress(portal, cell) + kBakingLines +
                        "ringproof: total placements = 0 across 169 LBs\n"
                        "ringproof: PASS \u2014 all 169 LBs byte-identical across 2 runs\n");
  for (const char* run_dir : {"run1", "run2"}) {
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(out / run_dir)) {
      EXPECT_EQ(fs::file_size(entry.path()), 0u) << entry.path();
      ++files;
    }
    EXPECT_EQ(files, 169u);
    EXPECT_TRUE(fs::exists(out / run_dir / "0xA3AE.scenery.jsonl"));
    EXPECT_TRUE(fs::exists(out / run_dir / "0xAFBA.scenery.jsonl"));
  }
}

TEST_F(RingproofRun, OutputFailuresEndTheRunAfterBothBakes) {
  const std::string portal = data_file("client_portal.dat"), cell = data_file("client_cell_1.dat");
  write_bytes(cell, archive(std::nullopt));
  write_bytes(portal, archive(std::make_pair(kRegionId, minimal_region())));

  // A run directory that cannot be created: the system's error is the whole message.
  const fs::path file = scratch_ / "plain-file";
  write_bytes(file, {1});
  ToolRun blocked = run({{"TALLOWMERE_DETERMINISM_OUT", (file / "out").string()}});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.err,
            progress(portal, cell) + kBakingLines + "Error: Not a directory (os error 20)\n");

  // A placement file that cannot be written: "write <path>" caused by the system's error.
  const fs::path out = scratch_ / "out";
  fs::create_directories(out / "run1" / "0xA3AE.scenery.jsonl");
  ToolRun unwritable = run({{"TALLOWMERE_DETERMINISM_OUT", out.string()}});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_EQ(unwritable.err, progress(portal, cell) + kBakingLines + "Error: write " +
                                (out / "run1" / "0xA3AE.scenery.jsonl").string() +
                                "\n\nCaused by:\n    Is a directory (os error 21)\n");

  // Files are written in ring order, run 1 before run 2, and the first failure stops the
  // writing: a blocked landblock in the middle of run 1 leaves every file before it
  // written, none after it, and run 2 empty, as if writing had begun after both bakes.
  const fs::path middle = scratch_ / "middle";
  fs::create_directories(middle / "run1" / "0xA9B4.scenery.jsonl");
  ToolRun stopped = run({{"TALLOWMERE_DETERMINISM_OUT", middle.string()}});
  EXPECT_EQ(stopped.status, 1);
  std::vector<std::string> written;
  for (const auto& entry : fs::directory_iterator(middle / "run1")) {
    if (entry.is_regular_file()) written.push_back(entry.path().filename().string());
  }
  std::sort(written.begin(), written.end());
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.front(), "0xA3AE.scenery.jsonl");
  EXPECT_EQ(written.back(), "0xA9B3.scenery.jsonl");
  EXPECT_EQ(written.size(), 6u * 13 + (0xB4 - 0xAE));
  EXPECT_TRUE(fs::is_empty(middle / "run2"));

  // The same in the middle of run 2, whose files are made on a thread of their own: run 1
  // whole, run 2 up to the blocked file, and no file left under a hidden name.
  const fs::path late = scratch_ / "late";
  fs::create_directories(late / "run2" / "0xA9B4.scenery.jsonl");
  ToolRun stopped_late = run({{"TALLOWMERE_DETERMINISM_OUT", late.string()}});
  EXPECT_EQ(stopped_late.status, 1);
  EXPECT_NE(
      stopped_late.err.find("Error: write " + (late / "run2" / "0xA9B4.scenery.jsonl").string()),
      std::string::npos);
  auto names_in = [](const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(names_in(late / "run1").size(), 169u);
  const std::vector<std::string> run2 = names_in(late / "run2");
  ASSERT_EQ(run2.size(), 6u * 13 + (0xB4 - 0xAE) + 1);  // and the blocking directory
  EXPECT_EQ(run2.front(), "0xA3AE.scenery.jsonl");
  EXPECT_EQ(run2.back(), "0xA9B4.scenery.jsonl");
}

}  // namespace

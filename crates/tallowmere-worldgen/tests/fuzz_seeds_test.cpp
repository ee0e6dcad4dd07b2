// The checked-in fuzz corpora against the seeds the generator makes today: a seed that
// the generator or an encoder no longer makes the same way fails here, as does a fuzz
// target without seeds or a seed that its parser rejects (and so teaches the fuzzer
// nothing about the format).
#include "tallowmere/worldgen/fuzz_seeds.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"
#include "tallowmere/testing/temp_dir.hpp"

namespace tallowmere::worldgen::testing {
namespace {

namespace fs = std::filesystem;
using tallowmere::testing::read_all;
using tallowmere::testing::TempDir;

const fs::path kSourceDir = TALLOWMERE_SOURCE_DIR;

// libFuzzer names the inputs it adds to a corpus by their SHA-1: 40 hex digits.
bool merged_name(const std::string& name) {
  return name.size() == 40 && std::all_of(name.begin(), name.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

TEST(FuzzSeeds, CheckedInCorporaAreWhatTheGeneratorMakes) {
  const std::vector<FuzzSeed> seeds = make_fuzz_seeds();
  TempDir made;
  ASSERT_TRUE(write_fuzz_seeds(made.path().string(), seeds).has_value());
  const std::string renew = "; renew the corpora with: fuzz-seeds " + kSourceDir.string();

  std::set<std::string> expected;
  uint64_t total = 0;
  for (const FuzzSeed& seed : seeds) {
    EXPECT_TRUE(expected.insert(seed.path()).second) << "two seeds named " << seed.path();
    EXPECT_FALSE(merged_name(seed.name)) << seed.path();
    total += seed.bytes.size();
    const std::string written = read_all(made.path() / seed.path());
    EXPECT_EQ(written, std::string(seed.bytes.begin(), seed.bytes.end())) << seed.path();
    const fs::path checked_in = kSourceDir / seed.path();
    EXPECT_TRUE(fs::is_regular_file(checked_in)) << checked_in << " is missing" << renew;
    EXPECT_TRUE(read_all(checked_in) == written) << checked_in << " differs" << renew;
  }
  // Small enough to keep in the repository and to load at every short fuzzing run.
  EXPECT_LT(total, 512u * 1024);

  // Every fuzz target has seeds; every other file in a corpus was merged in by a
  // fuzzing campaign, never a seed the generator stopped making.
  for (const auto& crate : fs::directory_iterator(kSourceDir / "crates")) {
    std::error_code none;
    for (const auto& source : fs::directory_iterator(crate.path() / "fuzz", none)) {
      const std::string file = source.path().filename().string();
      if (!file.ends_with("_fuzz.cpp")) continue;
      const std::string target = file.substr(0, file.size() - 9);
      const fs::path corpus = crate.path() / "fuzz" / "corpus" / target;
      size_t seeded = 0;
      for (const auto& input : fs::directory_iterator(corpus, none)) {
        const std::string path = fs::relative(input.path(), kSourceDir).string();
        if (expected.count(path) != 0) {
          ++seeded;
        } else {
          EXPECT_TRUE(merged_name(input.path().filename().string()))
              << path << " is neither a seed nor a merged input" << renew;
        }
      }
      EXPECT_GE(seeded, 3u) << "fuzz target " << target << " has too few seeds";
    }
  }
}

template <class Record>
bool parses_whole(const std::vector<uint8_t>& bytes) {
  common::Cursor cursor(bytes);
  return Record::unpack(cursor).has_value() && cursor.position() == bytes.size();
}

TEST(FuzzSeeds, RecordSeedsParseAndArchiveSeedsOpen) {
  std::map<std::string, size_t> checked;
  for (const FuzzSeed& seed : make_fuzz_seeds()) {
    const auto& b = seed.bytes;
    bool sound = true;
    if (seed.target == "region") {
      sound = parses_whole<dat::file_type::Region>(b);
    } else if (seed.target == "scene") {
      sound = parses_whole<dat::file_type::Scene>(b);
    } else if (seed.target == "setup_model") {
      sound = parses_whole<dat::file_type::SetupModel>(b);
    } else if (seed.target == "gfx_obj" && seed.name.starts_with("gfx-")) {
      sound = parses_whole<dat::file_type::GfxObj>(b);
    } else if (seed.target == "cell_landblock") {
      sound = dat::landblock::CellLandblock::unpack(b).has_value();
    } else if (seed.target == "landblock_info") {
      sound = dat::landblock::LandblockInfo::unpack(b).has_value();
    } else if (seed.target == "archive_open") {
      auto db = writer::open_archive_bytes(b);
      sound = db.has_value();
      for (size_t i = 0; db && i < db->entries().size(); ++i) {
        sound = sound && db->get_file(db->entries()[i].id).has_value();
      }
    } else {
      continue;
    }
    EXPECT_TRUE(sound) << seed.path();
    ++checked[seed.target];
  }
  EXPECT_EQ(checked.size(), 7u);
}

}  // namespace
}  // namespace tallowmere::worldgen::testing

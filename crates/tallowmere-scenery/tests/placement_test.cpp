// Placement lines, placement file names and the writing of placement files.
#include "tallowmere/scenery/placement_line.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/scenery/placement_files.hpp"
#include "tallowmere/testing/temp_dir.hpp"

namespace tallowmere::scenery {
namespace {

namespace fs = std::filesystem;

TEST(PlacementLine, MatchesTheDocumentedExample) {
  bake::Placement p{0x020001B4, 12.5f, 100.25f, 35.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0, 4, 2};
  EXPECT_EQ(placement_line(p),
            "{\"obj_id\":\"0x020001B4\",\"x\":12.500000,\"y\":100.250000,\"z\":35.000000,"
            "\"qw\":1.000000,\"qx\":0.000000,\"qy\":0.000000,\"qz\":0.000000,\"scale\":1.000000,"
            "\"source_cell_x\":0,\"source_cell_y\":4,\"source_obj_idx\":2}");
}

TEST(PlacementLine, NumbersRoundTheExactBinaryValueAndSpellSpecials) {
  auto number = [](float v) {
    std::string out;
    append_number(out, v);
    return out;
  };
  EXPECT_EQ(number(-0.0f), "0.000000");
  EXPECT_EQ(number(-1.5f), "-1.500000");
  EXPECT_EQ(number(0.1f), "0.100000");
  // 2^-21 = 0.000000476837158203125 rounds to 0.000000; 3 * 2^-21 rounds up.
  EXPECT_EQ(number(0x1p-21f), "0.000000");
  EXPECT_EQ(number(0x3p-21f), "0.000001");
  // 1 + 2^-23 is 1.00000011920928955078125: the seventh digit decides.
  EXPECT_EQ(number(1.00000012f), "1.000000");
  EXPECT_EQ(number(16777216.0f), "16777216.000000");
  EXPECT_EQ(number(std::numeric_limits<float>::quiet_NaN()), "NaN");
  EXPECT_EQ(number(-std::numeric_limits<float>::quiet_NaN()), "NaN");
  EXPECT_EQ(number(std::numeric_limits<float>::infinity()), "inf");
  EXPECT_EQ(number(-std::numeric_limits<float>::infinity()), "-inf");
  EXPECT_EQ(number(std::numeric_limits<float>::max()),
            "340282346638528859811704183484516925440.000000");
}

// written_value is what strtof makes of append_number's text, for floats of every size.
TEST(PlacementLine, WrittenValueIsTheTextReadBack) {
  std::mt19937 random(6);
  auto check = [](float v) {
    std::string text;
    append_number(text, v);
    const float read = std::strtof(text.c_str(), nullptr);
    const float got = written_value(v);
    if (std::isnan(read)) {
      ASSERT_TRUE(std::isnan(got)) << text;
    } else {
      ASSERT_EQ(std::bit_cast<uint32_t>(got), std::bit_cast<uint32_t>(read)) << text;
    }
  };
  for (int i = 0; i < 300000; ++i) {
    const auto bits = static_cast<uint32_t>(random());
    check(std::bit_cast<float>(bits));
    // The sizes placements have: below 256, where six decimals lose bits.
    check(
        std::ldexp(static_cast<float>(bits >> 8) / 16777216.0f, static_cast<int>(bits % 32) - 23));
    check(
        -std::ldexp(static_cast<float>(bits >> 8) / 16777216.0f, static_cast<int>(bits % 32) - 23));
  }
  for (const float v : {0.0f, -0.0f, 0x1p-21f, -0x1p-21f, 0x3p-21f, 999999999.0f, 1e9f, 3e38f,
                        std::numeric_limits<float>::infinity()}) {
    check(v);
  }
}

// A landblock's lines, formatted into one text, are the lines placement_line gives, each
// with its feed; the longest lines (NaN, infinities and huge numbers) make the text grow.
TEST(PlacementLines, HoldTheLinesAsTheFileTextAndGrowPastLongLines) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kMax = std::numeric_limits<float>::max();
  std::vector<bake::Placement> placements;
  for (uint32_t i = 0; i < 40; ++i) {
    const float v = i % 7 == 0 ? -kMax : static_cast<float>(i) * 4.75f;
    placements.push_back(
        {0x01000000 + i, v, kMax, -0.0f, kNaN, 0.5f, -v, v, 1.25f, i, 8 - i % 9, UINT32_MAX - i});
  }
  const PlacementLines lines = placement_lines(placements);
  ASSERT_EQ(lines.size(), placements.size());
  std::string text;
  PlacementLines pushed;
  for (size_t i = 0; i < placements.size(); ++i) {
    const std::string line = placement_line(placements[i]);
    EXPECT_EQ(lines[i], line);
    text += line + "\n";
    pushed.push_back(line);
  }
  EXPECT_EQ(lines.text(), text);
  EXPECT_EQ(lines, pushed);
  EXPECT_EQ(std::vector<std::string_view>(lines.begin(), lines.end())[39], lines[39]);
  EXPECT_TRUE(placement_lines({}).empty());
  EXPECT_EQ(placement_lines({}).text(), "");
}

TEST(PlacementLine, FileNameUsesFourUpperCaseHexDigits) {
  EXPECT_EQ(placement_file_name(0x00AB), "0x00AB.scenery.jsonl");
  EXPECT_EQ(placement_file_name(0xA3AE), "0xA3AE.scenery.jsonl");
}

TEST(WriteLines, WritesEveryLineWithAFeedAndReportsThePathOnFailure) {
  const testing::TempDir temp;
  const std::string dir = temp.path().string();
  const PlacementLines lines = {"{\"a\":1}", "{\"b\":2}"};
  ASSERT_TRUE(write_lines(dir, 0xA3AE, lines));
  EXPECT_EQ(testing::read_all(dir + "/0xA3AE.scenery.jsonl"), "{\"a\":1}\n{\"b\":2}\n");

  // An existing file is replaced whole; no lines give an empty file.
  ASSERT_TRUE(write_lines(dir, 0xA3AE, {"{\"a\":1}"}));
  EXPECT_EQ(testing::read_all(dir + "/0xA3AE.scenery.jsonl"), "{\"a\":1}\n");
  ASSERT_TRUE(write_lines(dir, 0x0001, {}));
  EXPECT_TRUE(fs::exists(dir + "/0x0001.scenery.jsonl"));
  EXPECT_EQ(testing::read_all(dir + "/0x0001.scenery.jsonl"), "");
  auto failed = write_lines(dir + "/missing", 0x0001, lines);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().path, dir + "/missing/0x0001.scenery.jsonl");
  EXPECT_EQ(failed.error().error.text(), "No such file or directory (os error 2)");
}

}  // namespace
}  // namespace tallowmere::scenery

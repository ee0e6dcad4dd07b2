// Placement lines, placement file names and the writing of placement files.
#include "tallowmere/scenery/placement_line.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <span>

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

// Six decimals are formatted by hand below 2^43; every such value must come out as the
// library's correctly rounded conversion does.
TEST(PlacementLine, NumbersAgreeWithTheLibraryConversion) {
  auto expected = [](float v) {
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 6).ptr;
    return std::string(buffer, end);
  };
  auto check = [&](float v) {
    if (std::isnan(v) || std::isinf(v) || v == 0.0f) return;
    std::string got;
    append_number(got, v);
    ASSERT_EQ(got, expected(v)) << std::hexfloat << v;
  };
  // Multiples of 2^-7 are exact ties at the sixth decimal (0.0078125, ...): half to even.
  for (int k = -20000; k <= 20000; ++k) check(static_cast<float>(k) / 128.0f);
  // Around the ends of the hand-formatted range, the subnormals and the smallest normals.
  for (float edge : {0x1p43f, 0x1p19f, 0x1p-20f, 0x1p-126f, 0x1p-149f}) {
    float v = edge;
    for (int i = 0; i < 2000; ++i) v = std::nextafterf(v, 0.0f);
    for (int i = 0; i < 4000; ++i, v = std::nextafterf(v, INFINITY)) {
      check(v);
      check(-v);
    }
  }
  // Any bit pattern.
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 200000; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    check(std::bit_cast<float>(static_cast<uint32_t>(state >> 32)));
  }
}

TEST(PlacementLine, FileNameUsesFourUpperCaseHexDigits) {
  EXPECT_EQ(placement_file_name(0x00AB), "0x00AB.scenery.jsonl");
  EXPECT_EQ(placement_file_name(0xA3AE), "0xA3AE.scenery.jsonl");
}

TEST(WriteLines, WritesEveryLineWithAFeedAndReportsThePathOnFailure) {
  const testing::TempDir temp;
  const std::string dir = temp.path().string();
  std::vector<std::string> lines = {"{\"a\":1}", "{\"b\":2}"};
  ASSERT_TRUE(write_lines(dir, 0xA3AE, lines));
  EXPECT_EQ(testing::read_all(dir + "/0xA3AE.scenery.jsonl"), "{\"a\":1}\n{\"b\":2}\n");

  // An existing file is replaced whole; no lines give an empty file.
  ASSERT_TRUE(write_lines(dir, 0xA3AE, std::span(lines).first(1)));
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

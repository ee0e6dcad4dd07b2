// The comparison of two runs and the drift report, with differences injected by hand.
#include "determinism.hpp"

#include <gtest/gtest.h>

#include "placement_line.hpp"

namespace tallowmere::ringproof {
namespace {

RingResult run_of(std::initializer_list<RingEntry> entries) { return RingResult(entries); }

TEST(Ring, HoldsTheThirteenByThirteenBlockXOutermost) {
  auto ring = build_ring();
  ASSERT_EQ(ring.size(), 169u);
  EXPECT_EQ(ring[0], 0xA3AE);
  EXPECT_EQ(ring[1], 0xA3AF);
  EXPECT_EQ(ring[12], 0xA3BA);
  EXPECT_EQ(ring[13], 0xA4AE);
  EXPECT_EQ(ring[168], 0xAFBA);
}

TEST(CompareRuns, IdenticalRunsCountRunOneLinesAndDriftNothing) {
  auto run = run_of({{0xA3AE, {"a", "b"}}, {0xA3AF, {}}, {0xA3B0, {"c"}}});
  auto comparison = compare_runs(run, run);
  EXPECT_EQ(comparison.total_placements, 3u);
  EXPECT_TRUE(comparison.drifted.empty());
}

TEST(CompareRuns, LineCountDriftIsReportedWithCountsOnly) {
  auto run1 = run_of({{0xA3AE, {"a", "b"}}});
  auto run2 = run_of({{0xA3AE, {"a", "b", "c"}}});
  auto comparison = compare_runs(run1, run2);
  ASSERT_EQ(comparison.drifted, std::vector<uint16_t>{0xA3AE});
  EXPECT_EQ(comparison.total_placements, 2u);
  EXPECT_EQ(drift_report(comparison, run1, run2), "  LB 0xA3AE: 2 vs 3 lines\n");
}

TEST(CompareRuns, FirstPlacementDifferenceIsLineZero) {
  auto run1 = run_of({{0x00AB, {"x1", "same"}}});
  auto run2 = run_of({{0x00AB, {"x2", "other"}}});
  auto comparison = compare_runs(run1, run2);
  EXPECT_EQ(drift_report(comparison, run1, run2),
            "  LB 0x00AB: 2 vs 2 lines\n"
            "    line 0: x1\n"
            "           : x2\n");
}

TEST(CompareRuns, SeveralDriftsAreListedInRingOrderWithTheirFirstDifferingLine) {
  auto run1 = run_of({{0xA3AE, {"p", "q"}}, {0xA3AF, {"same"}}, {0xA3B0, {"r", "s", "t"}}});
  auto run2 = run_of({{0xA3AE, {"p", "Q"}}, {0xA3AF, {"same"}}, {0xA3B0, {"r", "S"}}});
  auto comparison = compare_runs(run1, run2);
  EXPECT_EQ(comparison.drifted, (std::vector<uint16_t>{0xA3AE, 0xA3B0}));
  EXPECT_EQ(drift_report(comparison, run1, run2),
            "  LB 0xA3AE: 2 vs 2 lines\n"
            "    line 1: q\n"
            "           : Q\n"
            "  LB 0xA3B0: 3 vs 2 lines\n"
            "    line 1: s\n"
            "           : S\n");
}

TEST(CompareRunsDeathTest, MismatchedIdsAbort) {
  auto run1 = run_of({{0xA3AE, {}}});
  auto run2 = run_of({{0xA3AF, {}}});
  EXPECT_DEATH(compare_runs(run1, run2), "lb sequence drift");
}

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

TEST(PlacementLine, FileNameUsesFourUpperCaseHexDigits) {
  EXPECT_EQ(placement_file_name(0x00AB), "0x00AB.scenery.jsonl");
  EXPECT_EQ(placement_file_name(0xA3AE), "0xA3AE.scenery.jsonl");
}

TEST(WriteLines, WritesEveryLineWithAFeedAndReportsThePathOnFailure) {
  char pattern[] = "/tmp/ringproof-write-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  std::vector<std::string> lines = {"{\"a\":1}", "{\"b\":2}"};
  ASSERT_TRUE(write_lines(dir, 0xA3AE, lines));
  FILE* f = std::fopen((dir + "/0xA3AE.scenery.jsonl").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  char buffer[64] = {};
  size_t got = std::fread(buffer, 1, sizeof buffer, f);
  std::fclose(f);
  EXPECT_EQ(std::string(buffer, got), "{\"a\":1}\n{\"b\":2}\n");

  ASSERT_TRUE(write_lines(dir, 0x0001, {}));
  auto failed = write_lines(dir + "/missing", 0x0001, lines);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().message, "write " + dir + "/missing/0x0001.scenery.jsonl");
  ASSERT_EQ(failed.error().causes.size(), 1u);
  EXPECT_NE(failed.error().causes[0].find("No such file or directory"), std::string::npos);
}

}  // namespace
}  // namespace tallowmere::ringproof

// The comparison of two runs and the drift report, with differences injected by hand.
#include "tallowmere/scenery/compare.hpp"

#include <gtest/gtest.h>

namespace tallowmere::scenery {
namespace {

BakeResult run_of(std::initializer_list<LandblockLines> entries) {
  return BakeResult(entries);
}

Comparison compare(const BakeResult& run1, const BakeResult& run2) {
  auto comparison = compare_runs(run1, run2);
  EXPECT_TRUE(comparison) << "ids differ at " << comparison.error().index;
  return comparison ? *comparison : Comparison{};
}

TEST(Ring, HoldsTheThirteenByThirteenBlockXOutermost) {
  auto ring = ring_landblocks();
  ASSERT_EQ(ring.size(), 169u);
  EXPECT_EQ(ring[0], 0xA3AE);
  EXPECT_EQ(ring[1], 0xA3AF);
  EXPECT_EQ(ring[12], 0xA3BA);
  EXPECT_EQ(ring[13], 0xA4AE);
  EXPECT_EQ(ring[168], 0xAFBA);
}

TEST(CompareRuns, IdenticalRunsCountRunOneLinesAndDriftNothing) {
  auto run = run_of({{0xA3AE, {"a", "b"}}, {0xA3AF, {}}, {0xA3B0, {"c"}}});
  auto comparison = compare(run, run);
  EXPECT_EQ(comparison.total_placements, 3u);
  EXPECT_TRUE(comparison.drifted.empty());
}

TEST(CompareRuns, LineCountDriftIsReportedWithCountsOnly) {
  auto run1 = run_of({{0xA3AE, {"a", "b"}}});
  auto run2 = run_of({{0xA3AE, {"a", "b", "c"}}});
  auto comparison = compare(run1, run2);
  ASSERT_EQ(comparison.drifted, std::vector<uint16_t>{0xA3AE});
  EXPECT_EQ(comparison.total_placements, 2u);
  EXPECT_EQ(drift_report(comparison, run1, run2), "  LB 0xA3AE: 2 vs 3 lines\n");
}

TEST(CompareRuns, FirstPlacementDifferenceIsLineZero) {
  auto run1 = run_of({{0x00AB, {"x1", "same"}}});
  auto run2 = run_of({{0x00AB, {"x2", "other"}}});
  auto comparison = compare(run1, run2);
  EXPECT_EQ(drift_report(comparison, run1, run2),
            "  LB 0x00AB: 2 vs 2 lines\n"
            "    line 0: x1\n"
            "           : x2\n");
}

TEST(CompareRuns, SeveralDriftsAreListedInRingOrderWithTheirFirstDifferingLine) {
  auto run1 = run_of({{0xA3AE, {"p", "q"}}, {0xA3AF, {"same"}}, {0xA3B0, {"r", "s", "t"}}});
  auto run2 = run_of({{0xA3AE, {"p", "Q"}}, {0xA3AF, {"same"}}, {0xA3B0, {"r", "S"}}});
  auto comparison = compare(run1, run2);
  EXPECT_EQ(comparison.drifted, (std::vector<uint16_t>{0xA3AE, 0xA3B0}));
  EXPECT_EQ(drift_report(comparison, run1, run2),
            "  LB 0xA3AE: 2 vs 2 lines\n"
            "    line 1: q\n"
            "           : Q\n"
            "  LB 0xA3B0: 3 vs 2 lines\n"
            "    line 1: s\n"
            "           : S\n");
}

TEST(CompareRuns, MismatchedIdsFailAtTheFirstDifferingPairAndShorterRunsStopEarly) {
  auto run1 = run_of({{0xA3AE, {"a"}}, {0xA3AF, {}}, {0xA3B0, {}}});
  auto run2 = run_of({{0xA3AE, {"b"}}, {0xA3B1, {}}});
  auto mismatch = compare_runs(run1, run2);
  ASSERT_FALSE(mismatch);
  EXPECT_EQ(mismatch.error().index, 1u);
  EXPECT_EQ(mismatch.error().first_id, 0xA3AF);
  EXPECT_EQ(mismatch.error().second_id, 0xA3B1);

  // Only the common length is compared: an extra landblock in one run is no drift.
  auto shorter = compare(run1, run_of({{0xA3AE, {"a"}}}));
  EXPECT_EQ(shorter.total_placements, 1u);
  EXPECT_TRUE(shorter.drifted.empty());
}

}  // namespace
}  // namespace tallowmere::scenery

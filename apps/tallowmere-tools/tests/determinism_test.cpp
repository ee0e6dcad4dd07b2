// Runs of different rings are a defect of the tool, which stops it on the spot.
#include "determinism.hpp"

#include <gtest/gtest.h>

namespace tallowmere::ringproof {
namespace {

TEST(CompareOrAbortDeathTest, MismatchedIdsAbort) {
  const scenery::BakeResult run1 = {{0xA3AE, {}}};
  const scenery::BakeResult run2 = {{0xA3AF, {}}};
  EXPECT_DEATH((void)compare_or_abort(run1, run2), "lb sequence drift");
}

}  // namespace
}  // namespace tallowmere::ringproof

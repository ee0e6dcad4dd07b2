#include "tallowmere/common/parse_error.hpp"

#include <gtest/gtest.h>

#include "tallowmere/common/math.hpp"

namespace tallowmere::common {
namespace {

TEST(ParseErrorText, FailedCheckShowsLowerHexPosition) {
  ParseError error(FailedCheck{"bad value", 28});
  EXPECT_EQ(error.text(), "bad value at 0x1c");
}

TEST(ParseErrorText, BacktraceBlockWithLocatedFrame) {
  ParseError error = with_context(ParseError(IoError::fill_buffer()),
                                  LocatedFrame{"While parsing field 'magic' in DatHeader",
                                               SourceLocation{"crates/x/src/lib.cpp", 12}});
  const std::string bold = "\x1b[1m", normal = "\x1b[22m";
  std::string expected =
      "\n \u257a\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501"
      "\u2501\u2501\u2501\u2501\u2501\u2501\u2505 Backtrace \u2505\u2501\u2501\u2501\u2501\u2501\u2501"
      "\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2578\n\n"
      " 0: " + bold + bold + "Error: failed to fill whole buffer" + normal + "\n" +
      std::string(11, ' ') + bold + "While parsing field 'magic' in DatHeader" + normal + normal +
      "\n     at crates/x/src/lib.cpp:12\n"
      "\n \u257a";
  for (int i = 0; i < 53; ++i) expected += "\u2501";
  expected += "\u2578\n\n";
  EXPECT_EQ(error.text(), expected);
}

TEST(MathRecords, NestedFailureCarriesFramesInnermostFirstAndRewinds) {
  const uint8_t bytes[12] = {};
  Cursor cursor(bytes);
  cursor.set_position(0);
  auto plane = Plane::read(cursor);
  ASSERT_FALSE(plane);
  ASSERT_EQ(plane.error().frames().size(), 1u);
  EXPECT_EQ(std::get<LocatedFrame>(plane.error().frames()[0]).message,
            "While parsing field 'd' in Plane");
  EXPECT_EQ(std::string(std::get<LocatedFrame>(plane.error().frames()[0]).location.file),
            "crates/tallowmere-common/src/math.cpp");
  EXPECT_EQ(cursor.position(), 0u);
}

}  // namespace
}  // namespace tallowmere::common

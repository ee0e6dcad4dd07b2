#include "tallowmere/common/parse_error.hpp"

#include <gtest/gtest.h>

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
      "\n "
      "\u257a\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501"
      "\u2501\u2501\u2501\u2501\u2501\u2501\u2505 Backtrace "
      "\u2505\u2501\u2501\u2501\u2501\u2501\u2501"
      "\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2578\n"
      "\n"
      " 0: " +
      bold + bold + "Error: failed to fill whole buffer" + normal + "\n" + std::string(11, ' ') +
      bold + "While parsing field 'magic' in DatHeader" + normal + normal +
      "\n     at crates/x/src/lib.cpp:12\n"
      "\n \u257a";
  for (int i = 0; i < 53; ++i) expected += "\u2501";
  expected += "\u2578\n\n";
  EXPECT_EQ(error.text(), expected);
}

TEST(ParseErrorContext, FramesAccumulateInnermostFirst) {
  ParseError error = with_context(ParseError(IoError::fill_buffer()), MessageFrame{"inner"});
  error = with_context(std::move(error), MessageFrame{"outer"});
  ASSERT_EQ(error.frames().size(), 2u);
  EXPECT_EQ(std::get<MessageFrame>(error.frames()[0]).message, "inner");
  const std::string text = error.text();
  EXPECT_NE(text.find("\x1b[1minner\x1b[22m\x1b[22m\n 1: \x1b[1mouter\x1b[22m\n"),
            std::string::npos);
}

TEST(ParseErrorContext, FailedRewindKeepsTheCauseAsFrames) {
  ParseError cause = with_context(
      ParseError(FailedCheck{"bad tag", 0x30}),
      LocatedFrame{"While parsing field 'tag' in Rec", SourceLocation{"crates/x/src/rec.cpp", 7}});
  ParseError error = ParseError::after_failed_rewind(std::move(cause), IoError::invalid_seek());
  EXPECT_EQ(root_text(error.root()), "invalid seek to a negative or overflowing position");
  ASSERT_EQ(error.frames().size(), 3u);
  EXPECT_EQ(std::get<MessageFrame>(error.frames()[0]).message, "rewinding after a failure");
  EXPECT_EQ(std::get<ErrorFrame>(error.frames()[1]).error,
            ParseErrorRoot(FailedCheck{"bad tag", 0x30}));
  EXPECT_EQ(std::get<LocatedFrame>(error.frames()[2]).message, "While parsing field 'tag' in Rec");

  const std::string text = error.text();
  EXPECT_NE(text.find("Error: invalid seek to a negative or overflowing position"),
            std::string::npos);
  EXPECT_NE(text.find(" 1: \x1b[1mbad tag at 0x30\x1b[22m\n 2: "), std::string::npos);
  EXPECT_NE(text.find("\n     at crates/x/src/rec.cpp:7\n"), std::string::npos);

  // A cause without frames gives just the two rewind frames.
  ParseError plain =
      ParseError::after_failed_rewind(ParseError(IoError::fill_buffer()), IoError::invalid_seek());
  EXPECT_EQ(plain.frames().size(), 2u);
}

}  // namespace
}  // namespace tallowmere::common

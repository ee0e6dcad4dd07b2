#include "report.hpp"

#include <gtest/gtest.h>

namespace tallowmere::ringproof {
namespace {

TEST(FormatReport, PlainErrorIsOneLine) {
  EXPECT_EQ(format_report(plain_error("client_portal.dat not found in any candidate location")),
            "Error: client_portal.dat not found in any candidate location\n");
}

TEST(FormatReport, SingleCauseIsIndentedByFourAndUnnumbered) {
  ErrorReport report =
      with_context("fetch Region 0x13000000", dat::DatError(dat::DatError::NotFound{0x13000000}));
  EXPECT_EQ(format_report(report),
            "Error: fetch Region 0x13000000\n\nCaused by:\n"
            "    File ID 13000000 not found in provider\n");
}

TEST(FormatReport, SeveralCausesAreNumberedRightAlignedInFive) {
  ErrorReport report{"outer", {}};
  for (int i = 0; i < 11; ++i) report.causes.push_back("c" + std::to_string(i));
  std::string expected = "Error: outer\n\nCaused by:\n";
  for (int i = 0; i < 10; ++i)
    expected += "    " + std::to_string(i) + ": c" + std::to_string(i) + "\n";
  expected += "   10: c10\n";
  EXPECT_EQ(format_report(report), expected);
}

TEST(FormatReport, ContinuationLinesKeepTheIndentEvenWhenEmpty) {
  // Numbered causes continue at 7 spaces; a text ending in "\n\n" leaves two lines
  // made of the indent alone.
  ErrorReport numbered{"m", {"first\n\nthird\n\n", "x\ny"}};
  EXPECT_EQ(format_report(numbered),
            "Error: m\n\nCaused by:\n"
            "    0: first\n       \n       third\n       \n       \n"
            "    1: x\n       y\n");
  ErrorReport single{"m", {"\nabc\n"}};
  EXPECT_EQ(format_report(single), "Error: m\n\nCaused by:\n    \n    abc\n    \n");
}

TEST(WithContext, ArchiveErrorsAddTheirOwnCauseSecond) {
  common::IoError missing{common::IoErrorKind::NotFound, "No such file", 2};
  auto path =
      with_context("open cell", dat::DatError(dat::DatError::PathError{"/x/a.dat", missing}));
  EXPECT_EQ(path.message, "open cell");
  EXPECT_EQ(path.causes, (std::vector<std::string>{"Failed to open file at /x/a.dat: No such file",
                                                   "No such file"}));

  common::ParseError parse(common::IoError::fill_buffer());
  auto region = with_context("parse Region", parse);
  EXPECT_EQ(region.causes, std::vector<std::string>{"failed to fill whole buffer"});
  auto bin_read = with_context("open portal", dat::DatError(parse));
  EXPECT_EQ(bin_read.causes,
            (std::vector<std::string>{"Binary read error: failed to fill whole buffer",
                                      "failed to fill whole buffer"}));
}

}  // namespace
}  // namespace tallowmere::ringproof

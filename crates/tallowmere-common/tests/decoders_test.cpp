#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tallowmere/common/text.hpp"

namespace tallowmere::common {
namespace {

const std::string R = "\xEF\xBF\xBD";  // U+FFFD

struct Case {
  std::vector<uint8_t> in;
  std::string out;
};

void expect_all(std::string (*decode)(std::span<const uint8_t>), const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    std::string hex;
    for (uint8_t b : c.in) hex += hex_upper(b, 2) + " ";
    EXPECT_EQ(decode(c.in), c.out) << "input " << hex;
  }
}

TEST(Windows1252, HighControlsUseTheCodePageIndex) {
  expect_all(decode_windows1252, {
                                     {{0x41, 0x7F}, "A\x7F"},
                                     {{0x80}, "\xE2\x82\xAC"},  // U+20AC
                                     {{0x81, 0x8D}, "\xC2\x81\xC2\x8D"},
                                     {{0x8F, 0x90, 0x9D}, "\xC2\x8F\xC2\x90\xC2\x9D"},
                                     {{0x82}, "\xE2\x80\x9A"},  // U+201A
                                     {{0x99}, "\xE2\x84\xA2"},  // U+2122
                                     {{0x9F}, "\xC5\xB8"},      // U+0178
                                     {{0xA0, 0xFF}, "\xC2\xA0\xC3\xBF"},
                                 });
}

TEST(Utf8, ValidSequencesAtTheBoundaries) {
  expect_all(decode_utf8, {
                              {{0x7F, 0xC2, 0x80}, "\x7F\xC2\x80"},
                              {{0xED, 0x9F, 0xBF}, "\xED\x9F\xBF"},            // U+D7FF
                              {{0xEE, 0x80, 0x80}, "\xEE\x80\x80"},            // U+E000
                              {{0xF0, 0x90, 0x80, 0x80}, "\xF0\x90\x80\x80"},  // U+10000
                              {{0xF4, 0x8F, 0xBF, 0xBF}, "\xF4\x8F\xBF\xBF"},  // U+10FFFF
                          });
}

// Each maximal prefix of a valid sequence is one error; the byte that breaks it starts over.
TEST(Utf8, MalformedSequencesBecomeReplacementCharacters) {
  expect_all(decode_utf8, {
                              {{0x80}, R},
                              {{0x80, 0xBF, 0x41}, R + R + "A"},
                              {{0xC0, 0x80}, R + R},  // overlong NUL
                              {{0xC1, 0xBF}, R + R},
                              {{0xE0, 0x80, 0x80}, R + R + R},  // overlong
                              {{0xE0, 0x9F, 0xBF}, R + R + R},
                              {{0xED, 0xA0, 0x80}, R + R + R},  // surrogate D800
                              {{0xF0, 0x80}, R + R},
                              {{0xF0, 0x8F, 0xBF, 0xBF}, R + R + R + R},
                              {{0xF4, 0x90, 0x80, 0x80}, R + R + R + R},  // above U+10FFFF
                              {{0xF5, 0xFE, 0xFF}, R + R + R},
                              {{0xE2, 0x82}, R},  // truncated at end
                              {{0xF0, 0x90, 0x80}, R},
                              {{0xE2, 0x82, 0x41}, R + "A"},
                              {{0xF0, 0x90, 0x80, 0xE2, 0x82, 0xAC}, R + "\xE2\x82\xAC"},
                          });
}

TEST(Utf16, SurrogatePairsAndErrors) {
  // Written little-endian; the big-endian decoder gets the same units byte-swapped.
  const std::vector<Case> cases = {
      {{0x41, 0x00, 0xE9, 0x00}, "A\xC3\xA9"},
      {{0xAC, 0x20}, "\xE2\x82\xAC"},
      {{0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},  // U+1F600
      {{0x00, 0xDC, 0x41, 0x00}, R + "A"},             // lone trail surrogate
      {{0x00, 0xD8, 0x41, 0x00}, R + "A"},             // lead then a letter
      {{0x00, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}, R + "\xF0\x9F\x98\x80"},
      {{0x00, 0xD8}, R},              // lead at the end
      {{0x41, 0x00, 0x42}, "A" + R},  // odd trailing byte
      {{0x00, 0xD8, 0x42}, R},        // both pending: one error
  };
  expect_all(decode_utf16le, cases);
  std::vector<Case> swapped = cases;
  for (auto& c : swapped) {
    for (size_t i = 0; i + 1 < c.in.size(); i += 2) std::swap(c.in[i], c.in[i + 1]);
  }
  expect_all(decode_utf16be, swapped);
}

}  // namespace
}  // namespace tallowmere::common

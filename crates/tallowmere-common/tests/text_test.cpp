#include "tallowmere/common/text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace tallowmere::common {
namespace {

std::string general(double value, int decimals) {
  char buffer[400];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return std::string(buffer, end.ptr);
}

std::string fast(double value, int decimals) {
  std::string out = "<";  // appends, never replaces
  append_fixed(out, value, decimals);
  return out.substr(1);
}

TEST(AppendFixed, TiesGoToEvenAndSignsStay) {
  EXPECT_EQ(fast(0.125, 2), "0.12");
  EXPECT_EQ(fast(0.375, 2), "0.38");
  EXPECT_EQ(fast(2.5, 0), "2");
  EXPECT_EQ(fast(3.5, 0), "4");
  EXPECT_EQ(fast(-0.001, 2), "-0.00");
  EXPECT_EQ(fast(-0.0, 6), "-0.000000");
  EXPECT_EQ(fast(0.0, 0), "0");
  EXPECT_EQ(fast(1e9, 2), "1000000000.00");
  EXPECT_EQ(fast(std::numeric_limits<double>::denorm_min(), 9), "0.000000000");
}

// Every decimal count against the general formatter, over values of every size: the
// binary values that matter most (floats widened, as placement numbers are) and random
// doubles, including halves of the last decimal where rounding decides.
TEST(AppendFixed, MatchesToCharsEverywhere) {
  std::mt19937_64 random(20261208);
  auto check = [](double value) {
    for (int decimals = 0; decimals <= 9; ++decimals) {
      ASSERT_EQ(fast(value, decimals), general(value, decimals)) << value << " " << decimals;
    }
  };
  for (int i = 0; i < 50000; ++i) {
    const uint64_t bits = random();
    check(static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits))));
    check(std::bit_cast<double>(bits));
    // Values around 10^-12 .. 10^10 with few significant bits: many exact ties.
    const double scale = std::ldexp(1.0, static_cast<int>(bits % 74) - 40);
    check(static_cast<double>(static_cast<int64_t>(bits >> 40) - (int64_t{1} << 23)) * scale);
  }
  for (const double value : {0.5, 1.5, 0.05, 0.005, 1e-9, 5e-10, 123456.7890125, 0.9999999995}) {
    check(value);
    check(-value);
  }
  check(999999999.995);  // just below 10^9: still rounded on integers
  check(std::numeric_limits<double>::infinity());
  check(std::numeric_limits<double>::quiet_NaN());
  check(std::numeric_limits<double>::max());
}

// The float form against the general formatter on the widened value: random bit
// patterns (NaN and infinities included), and floats with few significant bits at every
// exponent, where the last decimal is often an exact tie.
TEST(AppendFixed, FloatFormMatchesTheWidenedDouble) {
  std::mt19937 random(20261209);
  auto check = [](float value) {
    for (int decimals = 0; decimals <= 9; ++decimals) {
      char buffer[kFixedMaxChars];
      const std::string text(buffer, write_fixed(buffer, value, decimals));
      ASSERT_EQ(text, general(static_cast<double>(value), decimals)) << value << " " << decimals;
    }
  };
  for (int i = 0; i < 100000; ++i) check(std::bit_cast<float>(static_cast<uint32_t>(random())));
  for (int exponent = -150; exponent <= 31; ++exponent) {
    for (int32_t mantissa = -40; mantissa <= 40; ++mantissa) {
      check(std::ldexp(static_cast<float>(mantissa), exponent));
    }
  }
  // Six decimals, the placement form, at the sizes placements have: fractions from
  // every part of [0, 1) over whole parts of one to ten digits.
  for (uint32_t n = 0; n < 1000000; n += 997) {
    const float fraction = static_cast<float>(n) / 1e6f;
    for (const float whole : {0.0f, 7.0f, 42.0f, 191.0f, 4096.0f, 123456.0f, 98765432.0f}) {
      for (const float value : {whole + fraction, -(whole + fraction)}) {
        char buffer[kFixedMaxChars];
        ASSERT_EQ(std::string(buffer, write_fixed(buffer, value, 6)),
                  general(static_cast<double>(value), 6))
            << value;
      }
    }
  }
  check(999999999.0f);  // 1e9 rounds to a float of a billion or more: the double path
  check(1e9f);
  check(std::numeric_limits<float>::denorm_min());
}

}  // namespace
}  // namespace tallowmere::common

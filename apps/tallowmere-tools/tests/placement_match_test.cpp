// Numbers of placement lines read back: the quick path for the plain decimals the bake
// writes must give exactly the float strtof gives, and leave every other text to it.
#include "placement_match.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>

#include "tallowmere/scenery/placement_line.hpp"

namespace tallowmere::tool {
namespace {

// What a reader that knows nothing but strtof makes of `text`.
std::optional<float> by_strtof(const std::string& text) {
  if (text == "NaN") return std::nanf("");
  if (text == "inf") return INFINITY;
  if (text == "-inf") return -INFINITY;
  char* end = nullptr;
  const float value = std::strtof(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

void expect_as_strtof(const std::string& text) {
  const auto expected = by_strtof(text);
  const auto got = read_float(text);
  ASSERT_EQ(got.has_value(), expected.has_value()) << text;
  if (got) {
    ASSERT_EQ(std::bit_cast<uint32_t>(*got), std::bit_cast<uint32_t>(*expected)) << text;
  }
}

TEST(ReadFloat, GivesWhatStrtofGivesForEveryText) {
  std::mt19937_64 random(14);
  for (int i = 0; i < 200000; ++i) {
    const uint64_t bits = random();
    // Every float as the bake writes it, most of them near the sizes placements have.
    const auto any = std::bit_cast<float>(static_cast<uint32_t>(bits));
    const float near =
        std::ldexp(static_cast<float>(bits >> 40) / 16777216.0f, static_cast<int>(bits % 40) - 24);
    for (const float value : {any, near, -near}) {
      std::string text;
      scenery::append_number(text, value);
      expect_as_strtof(text);
    }
    // Decimals of up to fifteen digits with up to seven after the point.
    std::string text = (bits & 1) ? "-" : "";
    text += std::to_string((bits >> 1) % 100000000);
    const auto decimals = static_cast<int>((bits >> 40) % 8);
    if (decimals > 0 || (bits & 2)) text += '.';
    for (int d = 0; d < decimals; ++d) text += static_cast<char>('0' + (bits >> (44 + 3 * d)) % 10);
    expect_as_strtof(text);
  }
  for (const char* text : {"0",
                           "-0",
                           "-0.000000",
                           "007.5",
                           ".5",
                           "5.",
                           ".",
                           "-",
                           "",
                           "+3",
                           " 12",
                           "1e5",
                           "1.2.3",
                           "0x10",
                           "12a",
                           "999999999999999.0",
                           "9999999999999999",
                           "340282346638528859811704183484516925440.000000",
                           "16777217",
                           "0.000001",
                           "NaN",
                           "nan",
                           "inf",
                           "-inf"}) {
    expect_as_strtof(text);
  }
}

}  // namespace
}  // namespace tallowmere::tool

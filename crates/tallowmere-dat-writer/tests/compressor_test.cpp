#include "tallowmere/dat_writer/compressor.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tallowmere/dat/utils.hpp"

namespace tallowmere::writer {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes round_trip(const Bytes& data) {
  return dat::decompress_lrs(compress_lrs(data));
}

TEST(Compressor, SizePrefixAndTokenLayout) {
  // "abcabcabc": three literals, then one overlapping back-reference (distance 3, 6).
  const std::string text = "abcabcabc";
  Bytes stored = compress_lrs(Bytes(text.begin(), text.end()));
  EXPECT_EQ(stored, (Bytes{9, 0, 0, 0, 0x10, 'a', 'b', 'c', 0x03, 0x04}));
  EXPECT_EQ(compress_lrs(Bytes{}), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(compress_lrs(Bytes{7}), (Bytes{1, 0, 0, 0, 0x00, 7}));
}

TEST(Compressor, RoundTripsAnyInput) {
  std::mt19937 rng(12345);
  for (size_t size : {0u, 1u, 2u, 3u, 17u, 18u, 255u, 4095u, 4096u, 4097u, 20000u}) {
    SCOPED_TRACE(size);
    Bytes random(size);
    for (auto& b : random) b = static_cast<uint8_t>(rng());
    EXPECT_EQ(round_trip(random), random);

    // Small alphabets give many short, overlapping and window-edge matches.
    Bytes sparse(size);
    for (auto& b : sparse) b = static_cast<uint8_t>(rng() % 3);
    EXPECT_EQ(round_trip(sparse), sparse);
  }
  // A repeat exactly one window back and one byte beyond it.
  Bytes block(4095);
  for (auto& b : block) b = static_cast<uint8_t>(rng());
  for (size_t gap : {0u, 1u}) {
    Bytes data = block;
    data.insert(data.end(), gap, 0xEE);
    data.insert(data.end(), block.begin(), block.begin() + 100);
    EXPECT_EQ(round_trip(data), data);
  }
}

TEST(Compressor, CompressesRedundancy) {
  Bytes runs(10000, 0x41);
  EXPECT_LT(compress_lrs(runs).size(), runs.size() / 7);
  EXPECT_EQ(round_trip(runs), runs);

  std::string text;
  for (int i = 0; i < 300; ++i) text += "object " + std::to_string(i % 17) + " placed at frame;\n";
  Bytes data(text.begin(), text.end());
  EXPECT_LT(compress_lrs(data).size(), data.size() / 4);
  EXPECT_EQ(round_trip(data), data);
}

}  // namespace
}  // namespace tallowmere::writer

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "reference_decompress.hpp"
#include "tallowmere/dat/utils.hpp"

namespace tallowmere::dat {
namespace {

using Bytes = std::vector<uint8_t>;

std::string expand(const Bytes& stored) {
  Bytes out = decompress_lrs(stored);
  return std::string(out.begin(), out.end());
}

Bytes reference(const Bytes& stored) {
  return check::reference_decompress(stored);
}

TEST(Decompress, AgreesWithAPlainDecoderOnRandomStreams) {
  // Reused buffers keep the bytes of earlier, longer outputs beyond the new end: none
  // of them may show through.
  PayloadBuffer reused;
  Bytes reused_vector;
  uint64_t state = 0x243F6A8885A308D3ull;
  auto next = [&](uint32_t below) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>((state >> 33) % below);
  };
  for (int round = 0; round < 3000; ++round) {
    // Streams of a few to a few thousand items: literals, back-references near and far
    // (overlapping their own output or reaching before the start), the occasional end
    // marker, and S below, at or above what the stream holds.
    Bytes stored(4);
    const uint32_t groups = 1 + next(round % 10 == 0 ? 400 : 20);
    size_t produced = 0;
    for (uint32_t g = 0; g < groups; ++g) {
      const auto flags = static_cast<uint8_t>(next(256));
      stored.push_back(flags);
      for (unsigned bit = 0x80; bit != 0; bit >>= 1) {
        if ((flags & bit) == 0) {
          stored.push_back(static_cast<uint8_t>(next(256)));
          ++produced;
          continue;
        }
        uint32_t distance = next(8) == 0 ? next(4096) : 1 + next(40);
        if (next(500) == 0) distance = 0;
        const uint32_t length = next(16);
        stored.push_back(static_cast<uint8_t>(distance));
        stored.push_back(static_cast<uint8_t>((distance >> 4 & 0xF0) | length));
        produced += length + 2;
      }
    }
    // Sometimes cut inside the last group.
    stored.erase(stored.end() - static_cast<std::ptrdiff_t>(next(3)), stored.end());
    const size_t target = next(4) == 0 ? next(static_cast<uint32_t>(produced) + 1) : produced;
    for (size_t b = 0; b < 4; ++b) stored[b] = static_cast<uint8_t>(target >> (8 * b));
    const Bytes expected = reference(stored);
    ASSERT_EQ(decompress_lrs(stored), expected) << "round " << round;
    decompress_lrs_into(stored, reused);
    ASSERT_TRUE(std::equal(reused.begin(), reused.end(), expected.begin(), expected.end()))
        << "round " << round;
    decompress_lrs_into(stored, reused_vector);
    ASSERT_EQ(reused_vector, expected) << "round " << round;
  }
}

TEST(Decompress, InputsShorterThanTheSizeFieldComeBackUnchanged) {
  EXPECT_EQ(decompress_lrs(Bytes{}), Bytes{});
  EXPECT_EQ(decompress_lrs(Bytes{0xAB}), Bytes{0xAB});
  EXPECT_EQ(decompress_lrs(Bytes{1, 2}), (Bytes{1, 2}));
  EXPECT_EQ(decompress_lrs(Bytes{1, 2, 3}), (Bytes{1, 2, 3}));
  // A size of 0 ends at once, whatever follows.
  EXPECT_EQ(decompress_lrs(Bytes{0, 0, 0, 0}), Bytes{});
  EXPECT_EQ(decompress_lrs(Bytes{0, 0, 0, 0, 0x00, 'x'}), Bytes{});
  // A size with no token stream gives nothing.
  EXPECT_EQ(decompress_lrs(Bytes{5, 0, 0, 0}), Bytes{});
}

TEST(Decompress, OverlappingBackReferenceRepeatsRecentBytes) {
  // S = 9; flags 0x10: three literals, then a back-reference of distance 3, length 6.
  EXPECT_EQ(expand({9, 0, 0, 0, 0x10, 'a', 'b', 'c', 0x03, 0x04}), "abcabcabc");
  // Distance 1 turns one byte into a run; the high nibble of b1 extends the distance.
  EXPECT_EQ(expand({5, 0, 0, 0, 0x40, 'z', 0x01, 0x02}), "zzzzz");
  Bytes far = {0, 0, 0, 0};
  Bytes lits(300, 0);
  for (size_t i = 0; i < lits.size(); ++i) lits[i] = static_cast<uint8_t>(i * 7);
  // 300 literals in flag groups of eight, then a back-reference of distance 0x12C = 300.
  for (size_t i = 0; i < lits.size(); ++i) {
    if (i % 8 == 0) far.push_back(i + 8 > lits.size() ? 0x08 : 0x00);
    far.push_back(lits[i]);
  }
  far.push_back(0x2C);
  far.push_back(0x12);  // distance 0x12C = 300, length 4
  far[0] = 0x30;        // S = 300 + 4 = 0x130
  far[1] = 1;
  Bytes out = decompress_lrs(far);
  ASSERT_EQ(out.size(), 304u);
  EXPECT_TRUE(std::equal(out.begin() + 300, out.end(), lits.begin()));
}

TEST(Decompress, EndsEarlyWithoutError) {
  // Distance 0 is the end marker, even before S bytes exist.
  EXPECT_EQ(expand({9, 0, 0, 0, 0x40, 'a', 0x00, 0x05, 'b'}), "a");
  // The input runs out: everything produced so far is returned.
  EXPECT_EQ(expand({9, 0, 0, 0, 0x00, 'a', 'b'}), "ab");
  // A back-reference cut after its first byte.
  EXPECT_EQ(expand({9, 0, 0, 0, 0x40, 'a', 0x01}), "a");
  // Exactly S bytes, then more input: the surplus is ignored.
  EXPECT_EQ(expand({2, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd'}), "ab");
}

TEST(Decompress, BackReferenceIsClampedAndBounded) {
  // Distance 5 with two bytes produced copies the first byte each time.
  EXPECT_EQ(expand({5, 0, 0, 0, 0x20, 'x', 'y', 0x05, 0x01}), "xyxxx");
  // Length 17 from one byte stops at exactly S = 10.
  EXPECT_EQ(expand({10, 0, 0, 0, 0x40, 'q', 0x01, 0x0F}), std::string(10, 'q'));
  // A back-reference that ends exactly at S stops the stream.
  EXPECT_EQ(expand({3, 0, 0, 0, 0x40, 'q', 0x01, 0x00, 'r'}), "qqq");
}

TEST(Decompress, MalformedStreamsStopWithoutReadingPastTheInput) {
  // The flag byte is the last input byte and announces a literal.
  EXPECT_EQ(expand({9, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00}), "abcdefgh");
  // A back-reference before any byte exists.
  EXPECT_EQ(expand({9, 0, 0, 0, 0x80, 0x01, 0x00, 'a'}), "");
  // A huge S with a tiny stream produces only what the stream holds.
  EXPECT_EQ(expand({0xFF, 0xFF, 0xFF, 0xFF, 0x40, 'k', 0x01, 0x0F}), std::string(18, 'k'));
}

}  // namespace
}  // namespace tallowmere::dat

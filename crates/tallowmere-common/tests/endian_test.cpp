// Little-endian loads and stores: the same values at run time (one copy of the bytes)
// as at compile time (byte by byte), at every width and at unaligned addresses.
#include "tallowmere/common/endian.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>

namespace tallowmere::common {
namespace {

constexpr std::array<uint8_t, 9> kBytes = {0xFF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

// Evaluated by the compiler: the byte-by-byte form.
static_assert(load_le<uint16_t>(kBytes.data() + 1) == 0x2301);
static_assert(load_le<uint32_t>(kBytes.data() + 1) == 0x67452301);
static_assert(load_le<uint64_t>(kBytes.data() + 1) == 0xEFCDAB8967452301);
static_assert(load_le<int16_t>(kBytes.data()) == 0x01FF);
static_assert(load_le<int8_t>(kBytes.data()) == -1);

TEST(LittleEndian, LoadsReadTheLeastSignificantByteFirstAtAnyAddress) {
  // Read through a runtime pointer into a buffer, so the loads are not folded away.
  std::array<uint8_t, 9> bytes = kBytes;
  const uint8_t* volatile base = bytes.data();
  EXPECT_EQ(load_u16le(base + 1), 0x2301);
  EXPECT_EQ(load_u32le(base + 1), 0x67452301u);
  EXPECT_EQ(load_u64le(base + 1), 0xEFCDAB8967452301u);
  EXPECT_EQ(load_le<int32_t>(base), 0x452301FF);
  EXPECT_EQ(load_le<int64_t>(base + 1), static_cast<int64_t>(0xEFCDAB8967452301u));
  EXPECT_EQ(std::bit_cast<uint32_t>(load_le<float>(base + 5)), 0xEFCDAB89u);
  EXPECT_EQ(std::bit_cast<uint64_t>(load_le<double>(base)), 0xCDAB8967452301FFu);
}

TEST(LittleEndian, StoresWriteWhatLoadsRead) {
  std::array<uint8_t, 10> bytes{};
  uint8_t* volatile base = bytes.data();
  store_u32le(base + 1, 0x67452301u);
  EXPECT_EQ(bytes, (std::array<uint8_t, 10>{0, 0x01, 0x23, 0x45, 0x67, 0, 0, 0, 0, 0}));
  store_u64le(base + 2, 0xEFCDAB8967452301u);
  EXPECT_EQ(bytes,
            (std::array<uint8_t, 10>{0, 0x01, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  store_u16le(base + 8, 0xBEEF);
  EXPECT_EQ(load_u16le(base + 8), 0xBEEF);
  store_le(base + 3, -2.5f);
  EXPECT_EQ(load_le<float>(base + 3), -2.5f);
  store_le(base, int16_t{-2});
  EXPECT_EQ(bytes[0], 0xFE);
  EXPECT_EQ(bytes[1], 0xFF);
}

}  // namespace
}  // namespace tallowmere::common

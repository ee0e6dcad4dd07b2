#include "tallowmere/dat/utils.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "tallowmere/dat_writer/byte_writer.hpp"

// The largest single allocation made while `g_track_allocations` is set: damaged counts
// must not turn into reservations far beyond the payload.
static bool g_track_allocations = false;
static size_t g_largest_allocation = 0;

// Every replaceable form of the plain allocation functions goes through malloc and
// free, so that each pair matches (the sanitizers check that). GCC cannot see the match
// once the pair is inlined into the library's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
static void* tracked_malloc(size_t size) noexcept {
  if (g_track_allocations && size > g_largest_allocation) g_largest_allocation = size;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new(size_t size) {
  if (void* p = tracked_malloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* p = tracked_malloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return tracked_malloc(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return tracked_malloc(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace tallowmere::dat {
namespace {
using common::Cursor;
using common::ParseResult;

using common::Cursor;
using common::IoErrorKind;
using common::ParseResult;
using writer::ByteWriter;

template <class T>
std::string error_text(const ParseResult<T>& result) {
  return result ? std::string("<no error>") : result.error().text();
}

std::string pstring_of(std::vector<uint8_t> payload) {
  ByteWriter w;
  w.u16(static_cast<uint16_t>(payload.size())).bytes(payload);
  Cursor cursor(w.view());
  auto text = read_pstring(cursor, 2);
  EXPECT_TRUE(text) << error_text(text);
  EXPECT_EQ(cursor.position(), w.size());
  return text ? *text : std::string();
}

TEST(PString, AsciiThenAlignment) {
  auto bytes = ByteWriter().pstring16("Hello").zeros(1).take();
  Cursor cursor(bytes);
  auto text = read_pstring(cursor, 2);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "Hello");
  EXPECT_EQ(cursor.position(), 7u);
  ASSERT_TRUE(align_to_4(cursor));
  EXPECT_EQ(cursor.position(), 8u);
}

TEST(PString, ByteOrderMarkChoosesTheDecoder) {
  EXPECT_EQ(pstring_of({0xFF, 0xFE}), "");
  EXPECT_EQ(pstring_of({0xEF, 0xBB, 0xBF, 'a', 'b'}), "ab");
  EXPECT_EQ(pstring_of({0xFF, 0xFE, 'h', 0, 'i', 0}), "hi");
  EXPECT_EQ(pstring_of({0xFE, 0xFF, 0, 'h', 0, 'i'}), "hi");
  // Too short for a UTF-8 mark: both bytes are code-page characters.
  EXPECT_EQ(pstring_of({0xEF, 0xBB}), "\xC3\xAF\xC2\xBB");
  EXPECT_EQ(pstring_of({0x80}), "\xE2\x82\xAC");
  EXPECT_EQ(pstring_of({0xFF}), "\xC3\xBF");
  EXPECT_EQ(pstring_of({'a', 0x80, 0x9F}), "a\xE2\x82\xAC\xC5\xB8");
  EXPECT_EQ(pstring_of({}), "");
}

TEST(PString, PrefixWidths) {
  const uint8_t one[] = {2, 'o', 'k'};
  const uint8_t four[] = {2, 0, 0, 0, 'o', 'k'};
  Cursor c1(one), c4(four);
  EXPECT_EQ(read_pstring(c1, 1).value(), "ok");
  EXPECT_EQ(read_pstring(c4, 4).value(), "ok");
  EXPECT_EQ(c4.position(), 6u);

  Cursor c3(four, 5);
  auto bad = read_pstring(c3, 3);
  EXPECT_EQ(error_text(bad), "Unsupported PString length size at 0x5");
  EXPECT_EQ(c3.position(), 5u);
}

TEST(PString, ShortInput) {
  const uint8_t prefix_only[] = {7};
  Cursor short_prefix(prefix_only);
  EXPECT_EQ(error_text(read_pstring(short_prefix, 2)), "failed to fill whole buffer");
  EXPECT_EQ(short_prefix.position(), 0u);

  // A text longer than the rest of the payload consumes the payload.
  const uint8_t cut[] = {10, 0, 'a', 'b', 'c'};
  Cursor short_text(cut);
  EXPECT_EQ(error_text(read_pstring(short_text, 2)), "failed to fill whole buffer");
  EXPECT_EQ(short_text.position(), 5u);
}

TEST(Align, RoundsUpToMultipleOfFour) {
  for (auto [from, to] : {std::pair<uint64_t, uint64_t>{0, 0},
                          {8, 8},
                          {9, 12},
                          {10, 12},
                          {11, 12},
                          {UINT64_MAX - 3, UINT64_MAX - 3}}) {
    Cursor cursor({}, from);
    ASSERT_TRUE(align_to_4(cursor));
    EXPECT_EQ(cursor.position(), to) << from;
  }
  Cursor overflow({}, UINT64_MAX - 1);
  auto result = align_to_4(overflow);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().io()->kind, IoErrorKind::InvalidInput);
  EXPECT_EQ(result.error().text(), "invalid seek to a negative or overflowing position");
}

TEST(PackedU32, FormsAndTruncation) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint32_t value;
  };
  for (const auto& c : std::vector<Case>{{{0x7F}, 127},
                                         {{0x80, 0x01}, 1},
                                         {{0xBF, 0xFF}, 0x3FFF},
                                         {{0xC0, 0x01, 0x02, 0x03}, 0x00010302},
                                         {{0xFF, 0xFF, 0xFF, 0xFF}, 0x3FFFFFFF}}) {
    Cursor cursor(c.bytes);
    EXPECT_EQ(read_compressed_u32(cursor).value(), c.value);
    EXPECT_EQ(cursor.position(), c.bytes.size());
    for (size_t cut = 0; cut < c.bytes.size(); ++cut) {
      Cursor short_cursor(std::span<const uint8_t>(c.bytes).first(cut));
      EXPECT_EQ(error_text(read_compressed_u32(short_cursor)), "failed to fill whole buffer");
    }
  }
  // The writer's packed form reads back across every width boundary.
  for (uint32_t v : {0u, 0x7Fu, 0x80u, 0x3FFFu, 0x4000u, 0x12345u, 0x3FFFFFFFu}) {
    auto bytes = ByteWriter().packed_u32(v).take();
    Cursor cursor(bytes);
    EXPECT_EQ(read_compressed_u32(cursor).value(), v);
  }
}

TEST(SmartVec, CountThenValues) {
  const uint8_t empty[] = {0x00, 0xAA};
  Cursor c0(empty);
  EXPECT_TRUE(read_smart_vec(c0).value().empty());
  EXPECT_EQ(c0.position(), 1u);

  ByteWriter w;
  w.packed_u32(0x81);
  for (uint32_t i = 0; i < 0x81; ++i) w.u32(i * 0x01010101u);
  Cursor cursor(w.view());
  auto values = read_smart_vec(cursor);
  ASSERT_TRUE(values);
  ASSERT_EQ(values->size(), 0x81u);
  EXPECT_EQ((*values)[0x80], 0x80808080u);
  EXPECT_EQ(cursor.position(), w.size());

  // Second value cut short: the position stays at its first byte.
  const uint8_t cut[] = {0x02, 1, 0, 0, 0, 2, 0};
  Cursor short_cursor(cut);
  EXPECT_EQ(error_text(read_smart_vec(short_cursor)), "failed to fill whole buffer");
  EXPECT_EQ(short_cursor.position(), 5u);
}

TEST(CountedLists, ExactCountsAndShortData) {
  const uint8_t bytes[] = {1, 2, 3, 4, 5};
  Cursor cursor(bytes, 1);
  EXPECT_EQ(read_byte_list(cursor, 3).value(), (std::vector<uint8_t>{2, 3, 4}));
  EXPECT_EQ(cursor.position(), 4u);
  EXPECT_EQ(error_text(read_byte_list(cursor, 2)), "not enough bytes in reader");
  EXPECT_EQ(cursor.position(), 5u);

  // 40 values span chunks of 16, 16 and 8.
  ByteWriter w;
  for (uint16_t i = 0; i < 40; ++i) w.u16(static_cast<uint16_t>(i * 0x0102));
  Cursor list(w.view());
  auto values = read_u16_list(list, 40);
  ASSERT_TRUE(values);
  ASSERT_EQ(values->size(), 40u);
  EXPECT_EQ((*values)[39], 39 * 0x0102);
  EXPECT_EQ(list.position(), 80u);
  Cursor short_list(w.view());
  EXPECT_EQ(error_text(read_u16_list(short_list, 41)), "failed to fill whole buffer");
}

TEST(CountedLists, DamagedCountsDoNotAllocateBeyondThePayload) {
  const uint8_t smart[] = {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const uint8_t tiny[16] = {};
  g_largest_allocation = 0;
  g_track_allocations = true;
  Cursor c1(smart), c2(tiny), c3(tiny);
  bool smart_failed = !read_smart_vec(c1);
  bool bytes_failed = !read_byte_list(c2, 0x3FFFFFFF);
  bool u16_failed = !read_u16_list(c3, 0x3FFFFFFF);
  g_track_allocations = false;
  EXPECT_TRUE(smart_failed && bytes_failed && u16_failed);
  EXPECT_LE(g_largest_allocation, 256u);
}

}  // namespace
}  // namespace tallowmere::dat

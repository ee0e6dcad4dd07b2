// Block chains: how payload bytes are gathered, and chains that are damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "tallowmere/dat/lib.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"

namespace tallowmere::dat {
namespace {

using writer::ArchiveWriter;
using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t n, uint8_t seed) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + i * 13);
  return out;
}

DatDatabase open_laid_out(ArchiveWriter& w) {
  w.set_root(0);
  auto db = writer::open_archive_bytes(w.finish());
  if (!db) ADD_FAILURE() << db.error().text();
  return std::move(*db);
}

TEST(BlockChain, SizeZeroReadsNothing) {
  ArchiveWriter w(1024);
  DatDatabase db = open_laid_out(w);
  for (uint32_t offset : {0u, 0x190u, 0xFFFFFFFFu}) {
    auto got = db.read_file_data(offset, 0);
    ASSERT_TRUE(got);
    EXPECT_TRUE(got->empty());
  }
}

TEST(BlockChain, FollowsPointersUntilTheSizeIsMet) {
  // block_size 1024, size 2000: 1020 bytes from the first block, 980 from the second.
  const Bytes first = pattern(1020, 1), second = pattern(980, 2);
  Bytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  for (uint32_t last_pointer : {0u, 0x400u, 0x7FFFFFF0u}) {
    SCOPED_TRACE(last_pointer);
    ArchiveWriter w(1024);
    const uint32_t a = w.allocate(1024), b = w.allocate(1024);
    w.write_u32(b, last_pointer);  // a nonzero pointer is not followed once full
    w.write_raw(b + 4, second);
    w.write_u32(a, b);
    w.write_raw(a + 4, first);
    DatDatabase db = open_laid_out(w);
    auto got = db.read_file_data(a, 2000);
    ASSERT_TRUE(got) << got.error().text();
    EXPECT_EQ(*got, expected);
  }
}

TEST(BlockChain, LastBlockReadsOnPastItsEnd) {
  // A first pointer of 0 gives `size` contiguous bytes, whatever the block size.
  for (uint32_t block_size : {8u, 16u, 1024u}) {
    ArchiveWriter w(block_size);
    const Bytes data = pattern(100, 3);
    const uint32_t a = w.allocate(4);
    w.append_raw(data);
    DatDatabase db = open_laid_out(w);
    auto got = db.read_file_data(a, 100);
    ASSERT_TRUE(got) << got.error().text();
    EXPECT_EQ(*got, data);
  }
}

TEST(BlockChain, SmallBlockSizes) {
  // Below 4 the data per block wraps to nearly 2^32: the first block supplies
  // everything and its pointer, however odd, is never followed.
  {
    ArchiveWriter w(2);
    const uint32_t a = w.allocate(4);
    w.write_u32(a, 0xDEADBEEF);
    const Bytes data = pattern(50, 4);
    w.append_raw(data);
    DatDatabase db = open_laid_out(w);
    auto got = db.read_file_data(a, 50);
    ASSERT_TRUE(got) << got.error().text();
    EXPECT_EQ(*got, data);
  }
  // Exactly 4: blocks carry nothing, the data follows the block whose pointer is 0.
  {
    ArchiveWriter w(4);
    const uint32_t a = w.allocate(4), b = w.allocate(4), c = w.allocate(4);
    const Bytes data = pattern(30, 5);
    w.append_raw(data);
    w.write_u32(a, c);
    w.write_u32(c, b);
    w.write_u32(b, 0);
    DatDatabase db = open_laid_out(w);
    auto got = db.read_file_data(a, 30);
    ASSERT_TRUE(got) << got.error().text();
    // b is followed by c's pointer (4 bytes) and then the data.
    Bytes expected = {static_cast<uint8_t>(b), static_cast<uint8_t>(b >> 8), 0, 0};
    expected.insert(expected.end(), data.begin(), data.begin() + 26);
    EXPECT_EQ(*got, expected);
  }
}

TEST(BlockChain, ABlockIsNeverReadTwice) {
  // A block pointing at itself would repeat its bytes until the size is met.
  ArchiveWriter w(8);
  const uint32_t a = w.allocate(8);
  w.write_u32(a, a);
  w.write_raw(a + 4, Bytes{'a', 'b', 'c', 'd'});
  DatDatabase db = open_laid_out(w);
  EXPECT_TRUE(db.read_file_data(a, 4));  // the pointer is not followed once full
  auto got = db.read_file_data(a, 11);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().text(),
            "Corruption detected: block chain at 0x190 reaches block 0x190 a second time");
}

TEST(BlockChainDamage, EndOfFileIsAnIoError) {
  ArchiveWriter w(64);
  const uint32_t beyond = w.allocate(64);
  w.write_u32(beyond, 0x00100000);  // next block far beyond the end
  const uint32_t short_tail = w.allocate(64);
  w.write_u32(short_tail, 0);  // last block, data runs off the end
  DatDatabase db = open_laid_out(w);
  const uint32_t cases[][2] = {{beyond, 100}, {short_tail, 100}, {0x00100000, 10}};
  for (const auto& c : cases) {
    auto got = db.read_file_data(c[0], c[1]);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error().text(), "IO error: failed to fill whole buffer");
  }
  // A size larger than the whole archive is refused before anything is allocated.
  auto huge = db.read_file_data(beyond, 0xFFFFFFFF);
  ASSERT_FALSE(huge);
  EXPECT_EQ(huge.error().text(), "IO error: failed to fill whole buffer");
}

TEST(BlockChainDamage, EndlessChainOfEmptyBlocks) {
  for (int cycle_length : {1, 2, 5}) {
    SCOPED_TRACE(cycle_length);
    ArchiveWriter w(4);
    const uint32_t lead_in = w.allocate(4);
    uint32_t first = w.allocate(4);
    w.write_u32(lead_in, first);
    for (int k = 1; k < cycle_length; ++k) {
      uint32_t next = w.allocate(4);
      w.write_u32(next - 4, next);
    }
    w.write_u32(w.size() - 4, first);  // the last block points back into the loop
    w.allocate(64);
    DatDatabase db = open_laid_out(w);
    auto got = db.read_file_data(lead_in, 8);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error().text(),
              "Corruption detected: block chain at 0x190 reaches block 0x194 a second time");
  }
}

TEST(BlockChainDamage, PayloadErrorsReachGetFile) {
  ArchiveWriter w(256);
  w.add_entry(DatFileEntry{.bit_flags = 1, .id = 0x02000001, .offset = 0x7FFF0000, .size = 40});
  auto db = writer::open_archive_bytes(w.finish());
  ASSERT_TRUE(db) << db.error().text();
  auto got = db->get_file(0x02000001);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().text(), "IO error: failed to fill whole buffer");
  EXPECT_EQ(got.error().cause_text(), "failed to fill whole buffer");
}

// One buffer reused across fetches of every kind gives what get_file gives: payloads
// larger and smaller than the one before, compressed or not, empty, damaged, missing.
TEST(BlockChain, GetFileIntoAReusedBufferMatchesGetFile) {
  ArchiveWriter w(256);
  const Bytes big = pattern(3000, 7);
  const Bytes packed = {40, 0, 0, 0, 0x40, 'k', 0x01, 0x0F, 0x00, 'a', 'b'};
  w.add_entry(DatFileEntry{.bit_flags = 0, .id = 1, .offset = w.write_chain(big), .size = 3000});
  w.add_entry(DatFileEntry{.bit_flags = 1, .id = 2, .offset = w.write_chain(packed), .size = 11});
  w.add_entry(
      DatFileEntry{.bit_flags = 0, .id = 3, .offset = w.write_chain(pattern(5, 1)), .size = 5});
  w.add_entry(DatFileEntry{.bit_flags = 1, .id = 4, .offset = 0, .size = 0});
  w.add_entry(DatFileEntry{.bit_flags = 1, .id = 5, .offset = 0x7FFF0000, .size = 40});
  w.add_entry(DatFileEntry{.bit_flags = 0, .id = 6, .offset = 0x100, .size = 0x7FFFFFFF});
  auto db = writer::open_archive_bytes(w.finish());
  ASSERT_TRUE(db) << db.error().text();
  Bytes buffer;
  PayloadBuffer unzeroed;  // grows without zeroing: stale bytes must never show
  for (uint32_t id : {1u, 2u, 3u, 4u, 1u, 5u, 2u, 6u, 7u, 3u}) {
    auto expected = db->get_file(id);
    auto got = db->get_file_into(id, buffer);
    auto got_unzeroed = db->get_file_into(id, unzeroed);
    ASSERT_EQ(got.has_value(), expected.has_value()) << id;
    ASSERT_EQ(got_unzeroed.has_value(), expected.has_value()) << id;
    if (expected) {
      EXPECT_EQ(buffer, *expected) << id;
      EXPECT_TRUE(std::equal(unzeroed.begin(), unzeroed.end(), expected->begin(), expected->end()))
          << id;
    } else {
      EXPECT_EQ(got.error().text(), expected.error().text()) << id;
      EXPECT_EQ(got_unzeroed.error().text(), expected.error().text()) << id;
    }
  }
  // A literal, a back-reference repeating it 17 times, then three more literals.
  Bytes expanded(18, 'k');
  expanded.insert(expanded.end(), {0x00, 'a', 'b'});
  EXPECT_EQ(db->get_file(2).value(), expanded);
}

// The chain walk exactly as the format defines it, over the archive's bytes: the
// payload, or the text of the expected I/O or corruption error.
std::variant<Bytes, std::string> reference_chain(const Bytes& file, uint32_t block_size,
                                                 uint32_t offset, uint32_t size) {
  const std::string eof = "IO error: failed to fill whole buffer";
  auto fits = [&](uint64_t at, uint64_t n) { return at <= file.size() && n <= file.size() - at; };
  Bytes out;
  if (size == 0) return out;
  const uint32_t per_block = block_size - 4;
  uint32_t current = offset, remaining = size;
  std::set<uint32_t> visited = {offset};
  for (;;) {
    if (!fits(current, 4)) return eof;
    uint32_t pointer = uint32_t{file[current]} | uint32_t{file[current + 1]} << 8 |
                       uint32_t{file[current + 2]} << 16 | uint32_t{file[current + 3]} << 24;
    uint32_t start = current + 4;
    uint32_t n = pointer == 0 ? remaining : std::min(per_block, remaining);
    if (!fits(start, n)) return eof;
    out.insert(out.end(), file.begin() + start, file.begin() + start + n);
    remaining -= n;
    if (pointer == 0 || remaining == 0) return out;
    current = pointer;
    if (!visited.insert(current).second) return std::string("Corruption");
  }
}

TEST(BlockChain, MatchesTheReferenceWalkOnRandomLayouts) {
  std::mt19937 rng(2024);
  for (uint32_t block_size : {2u, 4u, 5u, 8u, 64u, 256u, 1024u}) {
    for (int layout = 0; layout < 12; ++layout) {
      SCOPED_TRACE(testing::Message() << "block_size " << block_size << " layout " << layout);
      const uint32_t blocks = block_size == 1024 ? 150 : 200;
      const uint32_t stride = std::max(block_size, 4u);
      ArchiveWriter w(block_size);
      const uint32_t first = w.allocate(uint64_t{blocks} * stride);
      Bytes noise(uint64_t{blocks} * stride);
      for (auto& b : noise) b = static_cast<uint8_t>(rng());
      w.write_raw(first, noise);
      // Mostly blocks that follow each other, with jumps, ends and pointers past the end.
      for (uint32_t k = 0; k < blocks; ++k) {
        uint32_t roll = static_cast<uint32_t>(rng() % 100), at = first + k * stride, next;
        if (roll < 55)
          next = at + stride;
        else if (roll < 80)
          next = first + static_cast<uint32_t>(rng() % blocks) * stride;
        else if (roll < 95)
          next = 0;
        else
          next = first + blocks * stride + static_cast<uint32_t>(rng() % 4096);
        w.write_u32(at, next);
      }
      const Bytes file = [&] {
        w.set_root(0);
        return w.finish();
      }();
      auto db = writer::open_archive_bytes(file);
      ASSERT_TRUE(db) << db.error().text();
      for (int probe = 0; probe < 20; ++probe) {
        uint32_t offset = first + static_cast<uint32_t>(rng() % blocks) * stride;
        uint32_t size = static_cast<uint32_t>(
            rng() % (probe < 10 ? 3 * stride : static_cast<uint32_t>(file.size())));
        auto expected = reference_chain(file, block_size, offset, size);
        auto got = db->read_file_data(offset, size);
        if (const Bytes* bytes = std::get_if<Bytes>(&expected)) {
          ASSERT_TRUE(got) << got.error().text() << " at " << offset << " size " << size;
          ASSERT_EQ(*got, *bytes) << "at " << offset << " size " << size;
        } else if (std::get<std::string>(expected).rfind("IO", 0) == 0) {
          ASSERT_FALSE(got) << "at " << offset << " size " << size;
          ASSERT_EQ(got.error().text(), std::get<std::string>(expected));
        } else {
          ASSERT_FALSE(got);
          ASSERT_NE(got.error().text().find("a second time"), std::string::npos);
        }
      }
    }
  }
}

}  // namespace
}  // namespace tallowmere::dat

// Block chains that come back to a block they already read: payloads fail when they
// are fetched, directory nodes when the archive is opened, at any block size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tallowmere/common/endian.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"

namespace tallowmere::dat {
namespace {

using writer::ArchiveWriter;
using Bytes = std::vector<uint8_t>;

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

// The offsets of the blocks a chain of `size` bytes starting at `first` occupies.
std::vector<uint32_t> chain_blocks(const Bytes& file, uint32_t block_size, uint32_t first,
                                   uint32_t size) {
  std::vector<uint32_t> blocks;
  uint32_t at = first;
  for (uint32_t remaining = size;;) {
    blocks.push_back(at);
    if (remaining <= block_size - 4) return blocks;
    remaining -= block_size - 4;
    at = common::load_u32le(&file[at]);
  }
}

// A damaged link: the block at `from` (an index into the chain) points back at `to`.
struct Loop {
  const char* name;
  size_t from;
  size_t to;
};

// The ways a chain of `blocks` blocks can come back: every link but the last is
// followed, so the damaged link sits in the last-but-one block.
std::vector<Loop> loops_for(size_t blocks) {
  const size_t last_followed = blocks - 2;
  std::vector<Loop> loops = {{"self-loop", last_followed, last_followed},
                             {"back to the first block", last_followed, 0}};
  if (last_followed >= 2)
    loops.push_back({"back to a middle block", last_followed, last_followed / 2});
  return loops;
}

std::string expected_text(uint32_t first, uint32_t again) {
  return "Corruption detected: block chain at " + hex(first) + " reaches block " + hex(again) +
         " a second time";
}

TEST(ChainLoop, PayloadFailsWhenFetched) {
  for (uint32_t block_size : {64u, 256u, 1024u}) {
    const uint32_t size = 6 * (block_size - 4);  // six blocks
    const Bytes payload(size, 0x5A);
    ArchiveWriter w(block_size);
    const DatFileEntry entry = w.add_file(0x12000001, payload);
    w.add_file(0x12000002, Bytes(10, 1));
    const Bytes sound = w.finish();
    const std::vector<uint32_t> blocks = chain_blocks(sound, block_size, entry.offset, size);
    ASSERT_EQ(blocks.size(), 6u);

    for (const Loop& loop : loops_for(blocks.size())) {
      SCOPED_TRACE(testing::Message() << "block size " << block_size << ", " << loop.name);
      Bytes damaged = sound;
      common::store_u32le(&damaged[blocks[loop.from]], blocks[loop.to]);
      auto db = writer::open_archive_bytes(damaged);
      ASSERT_TRUE(db) << db.error().text();  // the directory is sound
      auto got = db->get_file(0x12000001);
      ASSERT_FALSE(got);
      EXPECT_EQ(got.error().text(), expected_text(entry.offset, blocks[loop.to]));
      EXPECT_TRUE(db->get_file(0x12000002));  // other files still read
    }
  }
}

TEST(ChainLoop, DirectoryNodeFailsWhenOpened) {
  for (uint32_t block_size : {64u, 256u, 1024u}) {
    ArchiveWriter w(block_size);
    for (uint32_t id = 1; id <= 3; ++id) w.add_file(id, Bytes(8, static_cast<uint8_t>(id)));
    const Bytes sound = w.finish();
    const uint32_t root = common::load_u32le(&sound[kHeaderOffset + 32]);
    const std::vector<uint32_t> blocks = chain_blocks(sound, block_size, root, kNodeSize);

    for (const Loop& loop : loops_for(blocks.size())) {
      SCOPED_TRACE(testing::Message() << "block size " << block_size << ", " << loop.name);
      Bytes damaged = sound;
      common::store_u32le(&damaged[blocks[loop.from]], blocks[loop.to]);
      auto db = writer::open_archive_bytes(damaged);
      ASSERT_FALSE(db);
      EXPECT_EQ(db.error().text(), expected_text(root, blocks[loop.to]));
    }
  }
}

TEST(ChainLoop, LongChainsAreCheckedPastTheSmallSet) {
  // 300 blocks, enough to move the visited set from its array to its hash table; the
  // sound chain reads whole, and a link back to each of several blocks is caught.
  const uint32_t block_size = 64, blocks_used = 300, size = blocks_used * (block_size - 4);
  Bytes payload(size);
  for (uint32_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>(i * 7);
  ArchiveWriter w(block_size);
  const DatFileEntry entry = w.add_file(0x01000001, payload);
  const Bytes sound = w.finish();
  auto db = writer::open_archive_bytes(sound);
  ASSERT_TRUE(db) << db.error().text();
  auto whole = db->get_file(0x01000001);
  ASSERT_TRUE(whole) << whole.error().text();
  EXPECT_EQ(*whole, payload);

  const std::vector<uint32_t> blocks = chain_blocks(sound, block_size, entry.offset, size);
  for (size_t to : {size_t{0}, size_t{15}, size_t{16}, size_t{17}, size_t{200}, size_t{298}}) {
    SCOPED_TRACE(to);
    Bytes damaged = sound;
    common::store_u32le(&damaged[blocks[298]], blocks[to]);
    auto broken = writer::open_archive_bytes(damaged);
    ASSERT_TRUE(broken);
    auto got = broken->get_file(0x01000001);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error().text(), expected_text(entry.offset, blocks[to]));
  }
}

TEST(ChainLoop, ChainLengthLimit) {
  // With no data per block only a 0 pointer ends a chain; the limit ends a long one.
  ArchiveWriter w(4);
  const uint32_t first = w.allocate(4 * 10);
  for (uint32_t k = 0; k < 9; ++k) w.write_u32(first + 4 * k, first + 4 * (k + 1));
  w.write_u32(first + 36, 0);
  w.allocate(64);
  w.set_root(0);
  const Bytes file = w.finish();
  ArchiveLimits limits;
  limits.max_chain_blocks = 10;
  auto db = writer::open_archive_bytes(file, limits);
  ASSERT_TRUE(db);
  EXPECT_TRUE(db->read_file_data(first, 8));
  limits.max_chain_blocks = 9;
  db = writer::open_archive_bytes(file, limits);
  ASSERT_TRUE(db);
  auto got = db->read_file_data(first, 8);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().text(),
            "Corruption detected: block chain at " + hex(first) + " is longer than 9 blocks");
}

}  // namespace
}  // namespace tallowmere::dat

// ArchiveStream read back through dat::DatDatabase: directory trees of every height with
// nodes filled to capacity, repeated ids, scattered chains and the free list.
#include "tallowmere/dat_writer/archive_stream.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "tallowmere/dat_writer/archive_writer.hpp"

namespace tallowmere::writer {
namespace {

uint32_t u32_at(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

std::vector<uint8_t> payload_of(uint32_t id, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(id * 7 + i);
  return bytes;
}

struct TreeShape {
  int depth = 0;  // levels below the root, equal for every leaf
  size_t nodes = 0;
  uint32_t least_entries = UINT32_MAX;  // over every node but the root
  bool leaves_level = true;
};

// Walks the directory by hand: entry counts and depth of every node.
void walk(const dat::DatDatabase& db, uint32_t offset, int depth, bool root, TreeShape& shape) {
  auto node = db.read_file_data(offset, dat::kNodeSize);
  ASSERT_TRUE(node.has_value());
  ++shape.nodes;
  const uint32_t entries = u32_at(*node, 248);
  if (!root) shape.least_entries = std::min(shape.least_entries, entries);
  if (u32_at(*node, 0) == 0) {
    if (shape.depth == 0) shape.depth = depth;
    shape.leaves_level &= shape.depth == depth;
    return;
  }
  for (uint32_t j = 0; j <= entries; ++j) {
    ASSERT_NE(u32_at(*node, 4 * j), 0u);
    walk(db, u32_at(*node, 4 * j), depth + 1, false, shape);
  }
}

TEST(ArchiveStream, DirectoryIsAFullBalancedTreeOfEveryHeight) {
  // 61 fits one leaf; 62 needs a root over two leaves; 3843 is the most two levels hold.
  for (uint32_t n : {1u, 61u, 62u, 3843u, 3844u, 20000u}) {
    TempFile file;
    auto stream = ArchiveStream::create(file.path(), 256);
    ASSERT_TRUE(stream.has_value());
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t id = 0x01000000u + 3 * i;
      dat::DatFileEntry entry;
      entry.id = id;
      ASSERT_TRUE(stream->add_stored(entry, payload_of(id, 1 + i % 300)).has_value());
    }
    ASSERT_TRUE(stream->finish().has_value());

    auto db = dat::DatDatabase::open(file.path());
    ASSERT_TRUE(db.has_value()) << n << " " << db.error().text();
    ASSERT_EQ(db->entry_count(), n);
    for (uint32_t i = 0; i < n; i += 97) {
      const uint32_t id = 0x01000000u + 3 * i;
      auto bytes = db->get_file(id);
      ASSERT_TRUE(bytes.has_value());
      EXPECT_EQ(*bytes, payload_of(id, 1 + i % 300)) << n << " " << i;
    }
    TreeShape shape;
    walk(*db, db->header().root_offset, 0, true, shape);
    EXPECT_TRUE(shape.leaves_level) << n;
    EXPECT_EQ(shape.depth, n <= 61 ? 0 : n <= 3843 ? 1 : 2) << n;
    // Every level has the fewest nodes that can hold it: ceil((n + 1) / 62) leaves, and
    // ceil(m / 62) nodes above m nodes.
    size_t level = (n + 62) / 62, nodes = level;
    while (level > 1) nodes += level = (level + 61) / 62;
    EXPECT_EQ(shape.nodes, nodes) << n;
    if (n > 61) {
      EXPECT_GE(shape.least_entries, 30u) << n;
    }
    EXPECT_EQ(db->header().file_size, std::filesystem::file_size(file.path()));
  }
}

TEST(ArchiveStream, RepeatedIdKeepsTheLastAndEmptyArchiveHasNoRoot) {
  TempFile file;
  auto stream = ArchiveStream::create(file.path(), 1024);
  ASSERT_TRUE(stream.has_value());
  dat::DatFileEntry entry;
  entry.id = 7;
  ASSERT_TRUE(stream->add_stored(entry, std::vector<uint8_t>{1, 2}).has_value());
  ASSERT_TRUE(stream->add_stored(entry, std::vector<uint8_t>{3}).has_value());
  ASSERT_TRUE(stream->finish().has_value());
  auto db = dat::DatDatabase::open(file.path());
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(*db->get_file(7), std::vector<uint8_t>{3});

  TempFile empty;
  auto none = ArchiveStream::create(empty.path(), 1024);
  ASSERT_TRUE(none.has_value() && none->finish().has_value());
  auto empty_db = dat::DatDatabase::open(empty.path());
  ASSERT_TRUE(empty_db.has_value());
  EXPECT_EQ(empty_db->header().root_offset, 0u);
  EXPECT_EQ(empty_db->entry_count(), 0u);
}

TEST(ArchiveStream, ScatteredChainJumpsBackAndReadsBackWhole) {
  TempFile file;
  auto stream = ArchiveStream::create(file.path(), 64);
  ASSERT_TRUE(stream.has_value());
  const std::vector<uint8_t> payload = payload_of(5, 60 * 20 - 7);  // 20 blocks
  dat::DatFileEntry entry;
  entry.id = 5;
  entry.bit_flags = 0x20000;
  auto listed = stream->add_stored(entry, payload, 0x1234);
  ASSERT_TRUE(listed.has_value());
  ASSERT_TRUE(stream->add_free_blocks(3).has_value());
  ASSERT_TRUE(stream->finish().has_value());

  auto db = dat::DatDatabase::open(file.path());
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(*db->get_file(5), payload);
  // Follow the pointers: 20 blocks, each visited once, at least one step backwards.
  std::vector<uint8_t> image(std::filesystem::file_size(file.path()));
  auto all = dat::FileSource::open(file.path());
  ASSERT_TRUE(all.has_value() && dat::read_exact_at(**all, 0, image).has_value());
  std::set<uint32_t> seen;
  bool backwards = false;
  for (uint32_t at = listed->offset; at != 0; at = u32_at(image, at)) {
    ASSERT_TRUE(seen.insert(at).second);
    backwards |= u32_at(image, at) != 0 && u32_at(image, at) < at;
  }
  EXPECT_EQ(seen.size(), 20u);
  EXPECT_TRUE(backwards);

  const auto& h = db->header();
  EXPECT_EQ(h.free_count, 3u);
  EXPECT_EQ(u32_at(image, h.free_head), h.free_head + 64);
  EXPECT_EQ(u32_at(image, h.free_tail), 0u);
}

}  // namespace
}  // namespace tallowmere::writer

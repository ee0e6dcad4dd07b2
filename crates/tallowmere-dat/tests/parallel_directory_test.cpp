// The directory loaded in two halves (directory_threads = 2) against the walk on one
// thread: the same entries, or the same error text, for sound, damaged, unordered,
// shared and cyclic trees, with the damage on either side of the split.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tallowmere/dat/lib.hpp"
#include "tallowmere/dat/source.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"

namespace tallowmere::dat {
namespace {

using writer::ArchiveWriter;
using writer::NodeSpec;
using Bytes = std::vector<uint8_t>;

// A memory source that notes which threads read from it.
class ThreadNotingSource final : public ByteSource {
 public:
  explicit ThreadNotingSource(Bytes bytes, std::set<std::thread::id>& threads)
      : inner_(std::move(bytes)), threads_(threads) {}
  Expected<size_t, common::IoError> read_some_at(uint64_t offset, std::span<uint8_t> first,
                                                 std::span<uint8_t> second) const override {
    {
      std::lock_guard lock(mutex_);
      threads_.insert(std::this_thread::get_id());
    }
    return inner_.read_some_at(offset, first, second);
  }
  Expected<uint64_t, common::IoError> size() const override { return inner_.size(); }

 private:
  MemorySource inner_;
  mutable std::mutex mutex_;
  std::set<std::thread::id>& threads_;
};

// What an open gives: every entry, or the error text.
struct Outcome {
  std::vector<DatFileEntry> entries;
  std::string error;
  size_t threads_reading = 0;
};

Outcome open_with(const Bytes& archive, uint32_t threads, ArchiveLimits limits = {}) {
  limits.directory_threads = threads;
  std::set<std::thread::id> readers;
  auto db = DatDatabase::open(std::make_unique<ThreadNotingSource>(archive, readers), limits);
  Outcome out;
  if (db) {
    out.entries.assign(db->entries().begin(), db->entries().end());
  } else {
    out.error = db.error().text();
  }
  out.threads_reading = readers.size();
  return out;
}

bool same_entry(const DatFileEntry& a, const DatFileEntry& b) {
  return a.bit_flags == b.bit_flags && a.id == b.id && a.offset == b.offset && a.size == b.size &&
         a.timestamp == b.timestamp && a.version == b.version;
}

// Opens `archive` both ways, expects the same outcome and returns the two-thread one.
Outcome expect_same(const Bytes& archive, const ArchiveLimits& limits = {}) {
  const Outcome one = open_with(archive, 1, limits);
  Outcome two = open_with(archive, 2, limits);
  EXPECT_EQ(one.threads_reading, 1u);
  EXPECT_EQ(two.error, one.error);
  EXPECT_EQ(two.entries.size(), one.entries.size());
  if (two.entries.size() == one.entries.size()) {
    for (size_t i = 0; i < one.entries.size(); ++i) {
      EXPECT_TRUE(same_entry(two.entries[i], one.entries[i])) << "entry " << i;
    }
  }
  return two;
}

// A random number below `n`.
uint32_t below(std::mt19937& rng, uint64_t n) {
  return static_cast<uint32_t>(rng() % n);
}

DatFileEntry entry(uint32_t id, uint32_t offset = 0x1000) {
  return DatFileEntry{.bit_flags = 0, .id = id, .offset = offset, .size = 0};
}

// A sound tree `levels` deep whose ids rise in tree order from `next_id`: every inner
// node has branch 0 and a random choice of the others up to its entry count.
NodeSpec grow(std::mt19937& rng, uint32_t levels, uint32_t& next_id) {
  NodeSpec node;
  const uint32_t count = std::uniform_int_distribution<uint32_t>(levels > 1 ? 1 : 0, 7)(rng);
  for (uint32_t j = 0; j <= count; ++j) {
    if (levels > 1 && (j == 0 || below(rng, 5) != 0)) {
      node.children.push_back(grow(rng, levels - 1, next_id));
      node.children.back().branch = j;
    }
    if (j < count) {
      next_id += 1 + below(rng, 3);
      node.entries.push_back(entry(next_id, next_id));
    }
  }
  return node;
}

// Every node of the tree, the root first.
void collect(NodeSpec& node, std::vector<NodeSpec*>& out) {
  out.push_back(&node);
  for (NodeSpec& child : node.children) collect(child, out);
}

// Points a branch of `node` that the walk looks at, but that holds no child, at
// `target`; false when `node` has no such branch.
bool link(NodeSpec& node, uint32_t target) {
  if (node.children.empty() || node.children.front().branch != 0) return false;
  for (uint32_t j = 1; j <= node.entries.size(); ++j) {
    bool taken = node.branches[j] != 0;
    for (const NodeSpec& child : node.children) taken |= child.branch == j;
    if (taken) continue;
    node.branches[j] = target;
    return true;
  }
  return false;
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

TEST(ParallelDirectory, RandomTreesGiveTheSingleWalksResult) {
  std::mt19937 rng(16);
  for (int round = 0; round < 280; ++round) {
    SCOPED_TRACE(round);
    uint32_t next_id = below(rng, 50);
    const uint32_t levels = 2 + below(rng, 3);
    NodeSpec root = grow(rng, levels, next_id);
    std::vector<NodeSpec*> nodes;
    collect(root, nodes);
    NodeSpec& victim = *nodes[below(rng, nodes.size())];
    NodeSpec& other = *nodes[below(rng, nodes.size())];

    ArchiveWriter w(round % 2 ? 256 : 2048);
    const uint32_t root_at = w.reserve_node();
    ArchiveLimits limits;
    switch (round % 7) {
      case 0:  // sound
        break;
      case 1:  // an id out of order, possibly one that is there already
        if (!victim.entries.empty())
          victim.entries[below(rng, victim.entries.size())].id = below(rng, next_id + 2);
        break;
      case 2:
        victim.entry_count = 62;
        break;
      case 3:  // a node beyond the end of the archive
        link(victim, 0x7FFFFFF0);
        break;
      case 4:  // back to the root
        link(victim, root_at);
        break;
      case 5: {  // one node under two parents (or twice under one), empty every other time
        NodeSpec node;
        if (round % 2 == 0) node.entries.push_back(entry(next_id + 1));
        const uint32_t shared = w.write_node(node);
        link(victim, shared);
        link(other, shared);
        break;
      }
      case 6:
        limits.max_directory_depth = 1 + below(rng, levels);
        break;
    }
    const size_t root_children = root.children.size();
    const bool sound = round % 7 == 0;
    w.write_node_at(root_at, root);
    w.set_root(root_at);
    const Outcome two = expect_same(w.finish(), limits);
    if (sound) {
      EXPECT_EQ(two.error, "");
      // The second thread reads nodes below the root's children (read beforehand).
      if (levels >= 3 && root_children >= 2) {
        EXPECT_EQ(two.threads_reading, 2u);
      }
    }
  }
}

TEST(ParallelDirectory, LargeBalancedDirectoryIsSplit) {
  ArchiveWriter w(1024);
  const uint32_t count = 20000;  // three levels
  for (uint32_t i = 0; i < count; ++i) w.add_entry(entry(i * 2654435761u, i));
  const Bytes archive = w.finish();
  const Outcome two = expect_same(archive);
  EXPECT_EQ(two.entries.size(), count);
  EXPECT_EQ(two.threads_reading, 2u);
  // A root with a single child has nothing to share out.
  NodeSpec root{.entries = {entry(9)}};
  root.children.push_back(NodeSpec{.entries = {entry(5)}});
  ArchiveWriter single(256);
  single.set_root(single.write_node(root));
  EXPECT_EQ(expect_same(single.finish()).threads_reading, 1u);
}

// A root with four leaf children, ids 10 + 10 k in child k and 15 + 10 k between them:
// the first half walks children 0 and 1, the second children 2 and 3.
NodeSpec four_children() {
  NodeSpec root;
  for (uint32_t k = 0; k < 4; ++k) {
    NodeSpec child{.branch = k, .entries = {entry(10 + 10 * k, 0x100 + k)}};
    root.children.push_back(child);
    if (k < 3) root.entries.push_back(entry(15 + 10 * k));
  }
  return root;
}

Bytes write_tree(const NodeSpec& root, uint32_t* root_offset = nullptr) {
  ArchiveWriter w(256);
  const uint32_t at = w.write_node(root);
  if (root_offset) *root_offset = at;
  w.set_root(at);
  return w.finish();
}

TEST(ParallelDirectory, DamageOnEitherSideIsReportedAsByTheSingleWalk) {
  const std::string io = "IO error: failed to fill whole buffer";
  const std::string beyond_61 = "While parsing field 'bit_flags' in DatFileEntry";
  for (uint32_t first : {0u, 1u}) {
    for (uint32_t second : {2u, 3u}) {
      // A node beyond the file in the first half, a count above 61 in the second: the
      // single walk meets the first; and the other way round.
      NodeSpec root = four_children();
      root.children[first].branches[0] = 0x7FFFFFF0;
      root.children[second].entry_count = 62;
      EXPECT_EQ(expect_same(write_tree(root)).error, io);
      root = four_children();
      root.children[first].entry_count = 62;
      root.children[second].branches[0] = 0x7FFFFFF0;
      EXPECT_NE(expect_same(write_tree(root)).error.find(beyond_61), std::string::npos);
    }
    NodeSpec root = four_children();
    root.children[first + 2].branches[0] = 0x7FFFFFF0;
    EXPECT_EQ(expect_same(write_tree(root)).error, io);
  }
}

TEST(ParallelDirectory, SeamSharedNodesAndCyclesFallBackToTheSingleWalk) {
  // The last id of the first half repeats the first id of the second: the later entry
  // (the second half's) wins. Below it instead: both entries kept, in id order.
  for (uint32_t id : {30u, 29u}) {
    NodeSpec root = four_children();
    root.entries[1].id = id;  // between children 1 and 2, the first half's last entry
    root.entries[1].offset = 0xAAA;
    const Outcome got = expect_same(write_tree(root));
    ASSERT_EQ(got.error, "");
    const auto at = std::find_if(got.entries.begin(), got.entries.end(),
                                 [&](const DatFileEntry& e) { return e.id == id; });
    ASSERT_NE(at, got.entries.end());
    EXPECT_EQ(at->offset, id == 30 ? 0x102u : 0xAAAu);
    EXPECT_EQ(got.entries.size(), id == 30 ? 6u : 7u);
  }

  // One node under a child in each half. Without entries it leaves both halves' ids
  // rising, so only the node itself gives it away.
  for (const NodeSpec& node : {NodeSpec{}, NodeSpec{.entries = {entry(100)}}}) {
    ArchiveWriter w(256);
    const uint32_t shared = w.write_node(node);
    NodeSpec root = four_children();
    root.children[1].branches[0] = shared;
    root.children[2].branches[0] = shared;
    w.set_root(w.write_node(root));
    EXPECT_EQ(expect_same(w.finish()).error,
              "Corruption detected: directory node at " + hex(shared) + " is reached twice");
  }

  // A child in either half pointing back at the root.
  for (uint32_t k : {0u, 3u}) {
    ArchiveWriter w(256);
    const uint32_t root_at = w.reserve_node();
    NodeSpec root = four_children();
    root.children[k].branches[0] = root_at;
    w.write_node_at(root_at, root);
    w.set_root(root_at);
    EXPECT_EQ(expect_same(w.finish()).error,
              "Corruption detected: directory node at " + hex(root_at) + " is reached twice");
  }
}

}  // namespace
}  // namespace tallowmere::dat

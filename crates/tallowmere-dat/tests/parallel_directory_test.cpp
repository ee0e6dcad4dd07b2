// The directory loaded in two halves (directory_threads = 2) against the walk on one
// thread: the same entries, or the same error text, for sound, damaged, unordered,
// shared and cyclic trees, with the damage on either side of the split.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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

// A memory source that notes which threads read from it and, when asked, slows the
// reads of the thread that made it, so that the other thread takes most of the work.
class ThreadNotingSource final : public ByteSource {
 public:
  ThreadNotingSource(Bytes bytes, std::set<std::thread::id>& threads, bool slow_maker)
      : inner_(std::move(bytes)), threads_(threads), slow_maker_(slow_maker) {}
  Expected<size_t, common::IoError> read_some_at(uint64_t offset, std::span<uint8_t> first,
                                                 std::span<uint8_t> second) const override {
    {
      std::lock_guard lock(mutex_);
      threads_.insert(std::this_thread::get_id());
    }
    if (slow_maker_ && std::this_thread::get_id() == maker_)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    return inner_.read_some_at(offset, first, second);
  }
  Expected<uint64_t, common::IoError> size() const override { return inner_.size(); }

 private:
  MemorySource inner_;
  mutable std::mutex mutex_;
  std::set<std::thread::id>& threads_;
  bool slow_maker_;
  std::thread::id maker_ = std::this_thread::get_id();
};

// What an open gives: every entry, or the error text.
struct Outcome {
  std::vector<DatFileEntry> entries;
  std::string error;
  size_t threads_reading = 0;
};

Outcome open_with(const Bytes& archive, uint32_t threads, ArchiveLimits limits = {},
                  bool slow_caller = false) {
  limits.directory_threads = threads;
  std::set<std::thread::id> readers;
  auto db = DatDatabase::open(std::make_unique<ThreadNotingSource>(archive, readers, slow_caller),
                              limits);
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

void expect_equal(const Outcome& got, const Outcome& want) {
  EXPECT_EQ(got.error, want.error);
  EXPECT_EQ(got.entries.size(), want.entries.size());
  if (got.entries.size() == want.entries.size()) {
    for (size_t i = 0; i < want.entries.size(); ++i) {
      EXPECT_TRUE(same_entry(got.entries[i], want.entries[i])) << "entry " << i;
    }
  }
}

// Opens `archive` on one thread and on two, the calling thread at full speed (it then
// takes most parts of a small tree) and slowed (the other thread takes most), expects
// the same outcome each time and returns the first two-thread one.
Outcome expect_same(const Bytes& archive, const ArchiveLimits& limits = {}) {
  const Outcome one = open_with(archive, 1, limits);
  EXPECT_EQ(one.threads_reading, 1u);
  Outcome two = open_with(archive, 2, limits);
  expect_equal(two, one);
  expect_equal(open_with(archive, 2, limits, true), one);
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
  for (int round = 0; round < 140; ++round) {
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
    Bytes archive = w.finish();
    // A long archive has room for its directory taken ahead (in large pages); the tree,
    // and so the outcome, is the same.
    if ((round / 7) % 5 == 0) archive.resize(archive.size() + (size_t{8} << 20));
    const Outcome two = expect_same(archive, limits);
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

// A root over four children, each over two leaves, ids rising by 10 in tree order.
// The root's children are read before the work is shared out, and each leaf is a
// part: the first and the last go to the two threads, the rest to whichever is free.
NodeSpec three_levels() {
  uint32_t id = 0;
  NodeSpec root;
  for (uint32_t c = 0; c < 4; ++c) {
    NodeSpec child{.branch = c};
    for (uint32_t g = 0; g < 2; ++g) {
      id += 10;
      child.children.push_back(NodeSpec{.branch = g, .entries = {entry(id, id)}});
      if (g == 0) {
        id += 10;
        child.entries.push_back(entry(id, id));
      }
    }
    root.children.push_back(child);
    if (c < 3) {
      id += 10;
      root.entries.push_back(entry(id, id));
    }
  }
  return root;
}

NodeSpec& leaf(NodeSpec& root, uint32_t child, uint32_t g) {
  return root.children[child].children[g];
}

Bytes write_tree(const NodeSpec& root) {
  ArchiveWriter w(256);
  w.set_root(w.write_node(root));
  return w.finish();
}

TEST(ParallelDirectory, DamageInEitherPartIsReportedAsByTheSingleWalk) {
  const std::string io = "IO error: failed to fill whole buffer";
  const std::string beyond_61 = "While parsing field 'bit_flags' in DatFileEntry";
  const uint32_t early[][2] = {{0, 0}, {1, 1}};
  const uint32_t late[][2] = {{2, 0}, {3, 1}};
  for (const auto& a : early) {
    for (const auto& b : late) {
      // A node beyond the file early in the tree, a count above 61 late: the single
      // walk meets the first; and the other way round.
      NodeSpec root = three_levels();
      leaf(root, a[0], a[1]).branches[0] = 0x7FFFFFF0;
      leaf(root, b[0], b[1]).entry_count = 62;
      EXPECT_EQ(expect_same(write_tree(root)).error, io);
      root = three_levels();
      leaf(root, a[0], a[1]).entry_count = 62;
      leaf(root, b[0], b[1]).branches[0] = 0x7FFFFFF0;
      EXPECT_NE(expect_same(write_tree(root)).error.find(beyond_61), std::string::npos);
    }
  }
  // Damage in a child of the root, read before the work is shared out.
  NodeSpec root = three_levels();
  root.children[2].entry_count = 62;
  EXPECT_NE(expect_same(write_tree(root)).error.find(beyond_61), std::string::npos);
}

TEST(ParallelDirectory, SeamsSharedNodesAndCyclesFallBackToTheSingleWalk) {
  // An id that repeats across a seam between two parts, within a child (its entry
  // equal to its second leaf's) and between children (the root's entry equal to the
  // next child's first leaf's): the later entry wins. Ids rising everywhere else.
  for (bool across_children : {false, true}) {
    NodeSpec root = three_levels();
    DatFileEntry& earlier =
        across_children ? root.entries[1] : root.children[1].entries[0];        // ids 80, 60
    const DatFileEntry& later = across_children ? leaf(root, 2, 0).entries[0]   // id 90
                                                : leaf(root, 1, 1).entries[0];  // id 70
    earlier.id = later.id;
    earlier.offset = 0xAAA;
    const Outcome got = expect_same(write_tree(root));
    ASSERT_EQ(got.error, "");
    EXPECT_EQ(got.entries.size(), 14u);
    const auto at = std::find_if(got.entries.begin(), got.entries.end(),
                                 [&](const DatFileEntry& e) { return e.id == later.id; });
    ASSERT_NE(at, got.entries.end());
    EXPECT_EQ(at->offset, later.offset);
  }

  // One node under the first leaf and the last, which the two threads always walk
  // apart. Without entries it leaves every part's ids rising, so only the node itself
  // gives it away.
  for (const NodeSpec& node : {NodeSpec{}, NodeSpec{.entries = {entry(1000)}}}) {
    ArchiveWriter w(256);
    const uint32_t shared = w.write_node(node);
    NodeSpec root = three_levels();
    leaf(root, 0, 0).branches[0] = shared;
    leaf(root, 3, 1).branches[0] = shared;
    w.set_root(w.write_node(root));
    EXPECT_EQ(expect_same(w.finish()).error,
              "Corruption detected: directory node at " + hex(shared) + " is reached twice");
  }

  // A leaf early or late in the tree pointing back at the root.
  for (uint32_t c : {0u, 3u}) {
    ArchiveWriter w(256);
    const uint32_t root_at = w.reserve_node();
    NodeSpec root = three_levels();
    leaf(root, c, 1).branches[0] = root_at;
    w.write_node_at(root_at, root);
    w.set_root(root_at);
    EXPECT_EQ(expect_same(w.finish()).error,
              "Corruption detected: directory node at " + hex(root_at) + " is reached twice");
  }

  // An early leaf pointing at a later child of the root, which the single walk then
  // meets a second time on the root's own branch.
  {
    ArchiveWriter w(256);
    NodeSpec root = three_levels();
    const uint32_t child = w.write_node(root.children[2]);
    root.children.erase(root.children.begin() + 2);
    root.branches[2] = child;
    leaf(root, 0, 0).branches[0] = child;
    w.set_root(w.write_node(root));
    EXPECT_EQ(expect_same(w.finish()).error,
              "Corruption detected: directory node at " + hex(child) + " is reached twice");
  }
}

}  // namespace
}  // namespace tallowmere::dat

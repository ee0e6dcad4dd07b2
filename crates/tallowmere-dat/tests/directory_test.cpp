// The directory walk: which nodes are visited, which entry wins, and damaged trees.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tallowmere/dat/lib.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"

namespace tallowmere::dat {
namespace {

using writer::ArchiveWriter;
using writer::NodeSpec;
using writer::open_archive_bytes;

DatFileEntry entry(uint32_t id, uint32_t offset = 0x1000) {
  return DatFileEntry{.bit_flags = 0, .id = id, .offset = offset, .size = 0};
}

// A node holding one entry with `id`.
NodeSpec single(uint32_t id, uint32_t offset = 0x1000) {
  return NodeSpec{.entries = {entry(id, offset)}};
}

// `node` placed on `branch` of its parent.
NodeSpec on(uint32_t branch, NodeSpec node) {
  node.branch = branch;
  return node;
}

Expected<DatDatabase, DatError> open_tree(const NodeSpec& root, uint32_t block_size = 256,
                                          const ArchiveLimits& limits = {}) {
  ArchiveWriter w(block_size);
  w.set_root(w.write_node(root));
  return open_archive_bytes(w.finish(), limits);
}

std::vector<uint32_t> ids(const DatDatabase& db) {
  std::vector<uint32_t> out;
  for (const DatFileEntry& e : db.entries()) out.push_back(e.id);
  return out;
}

TEST(DirectoryNode, HandLaidNodeFieldsAreReadInOrder) {
  // One leaf node of one block at 0x200, block_size 0x800: 62 branches, count, entry.
  writer::ByteWriter node;
  node.u32(0);         // next-block pointer
  node.zeros(4 * 62);  // branches
  node.u32(1);         // entry_count
  node.u32(0xFFFFFFFE).u32(0x0A0B0C0D).u32(0x200).u32(4).u32(0x11111111).u32(0x22222222);
  ArchiveWriter w(0x800);
  w.write_raw(0x200, node.view());
  w.write_raw(0x204 + 1716, std::vector<uint8_t>(16, 0));
  w.set_root(0x200);
  auto db = open_archive_bytes(w.finish());
  ASSERT_TRUE(db) << db.error().text();
  const DatFileEntry* e = db->find(0x0A0B0C0D);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->bit_flags, 0xFFFFFFFEu);
  EXPECT_EQ(e->offset, 0x200u);
  EXPECT_EQ(e->size, 4u);
  EXPECT_EQ(e->timestamp, 0x11111111u);
  EXPECT_EQ(e->version, 0x22222222u);
  // 0xFFFFFFFE lacks bit 0: the bytes come back as stored (the block's own pointer).
  auto data = db->get_file(0x0A0B0C0D);
  ASSERT_TRUE(data) << data.error().text();
  EXPECT_EQ(*data, (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(DirectoryWalk, BranchesVisitedDependOnEntryCount) {
  // A leaf (branch 0 is 0) ignores later branches, even one pointing past the file.
  NodeSpec leaf{.entries = {entry(1)}};
  leaf.branches[1] = 0x7FFFFFF0;
  leaf.children.push_back(on(2, single(2)));
  auto db = open_tree(leaf);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(ids(*db), (std::vector<uint32_t>{1}));

  // entry_count 2 visits branches 0..2, skipping a 0 branch, and never branch 3.
  NodeSpec two{.entries = {entry(100), entry(101)}};
  two.children = {on(0, single(10)), on(2, single(12)), on(3, single(13))};
  db = open_tree(two);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(ids(*db), (std::vector<uint32_t>{10, 12, 100, 101}));

  // entry_count 0 visits branch 0 only.
  NodeSpec none;
  none.children = {on(0, single(20)), on(1, single(21))};
  db = open_tree(none);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(ids(*db), (std::vector<uint32_t>{20}));

  // entry_count 61 visits all 62 branches.
  NodeSpec full;
  for (uint32_t k = 0; k < 61; ++k) full.entries.push_back(entry(1000 + k));
  for (uint32_t j = 0; j < 62; ++j) full.children.push_back(on(j, single(j)));
  db = open_tree(full);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(db->entry_count(), 123u);
  EXPECT_NE(db->find(61), nullptr);
}

TEST(DirectoryWalk, SoundTreeWithAnEmptyBranchKeepsEveryEntry) {
  // Ids rise in tree order (branch j's subtree before entry j) although the walk reads
  // the root first; branch 1 is empty, so entries 100 and 200 are handed out together.
  NodeSpec child2{.entries = {entry(250), entry(260)}};
  child2.children = {on(0, single(240)), on(2, single(270))};
  NodeSpec root{.entries = {entry(100), entry(200)}};
  root.children = {on(0, single(50)), on(2, child2)};
  auto db = open_tree(root);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(ids(*db), (std::vector<uint32_t>{50, 100, 200, 240, 250, 260, 270}));
  EXPECT_EQ(db->find(240)->offset, 0x1000u);
}

TEST(DirectoryWalk, EntryVisitedLastWins) {
  // Pre-order, children in branch order: the root's entry, then branch 0's subtree
  // (a grandchild included), then branch 1. Within a node, the later entry.
  NodeSpec grandchild = single(7, 0x3000);
  NodeSpec child0{.entries = {entry(7, 0x2000), entry(8, 0x2000)}};
  child0.children = {on(0, grandchild)};
  NodeSpec root{.entries = {entry(7, 0x1000), entry(9, 0x1000), entry(9, 0x1001)}};
  root.children = {on(0, child0), on(1, single(8, 0x4000))};
  auto db = open_tree(root);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(ids(*db), (std::vector<uint32_t>{7, 8, 9}));
  EXPECT_EQ(db->find(7)->offset, 0x3000u);
  EXPECT_EQ(db->find(8)->offset, 0x4000u);
  EXPECT_EQ(db->find(9)->offset, 0x1001u);
  EXPECT_EQ(db->find(6), nullptr);
  EXPECT_EQ(db->find(10), nullptr);

  // Thousands of entries whose ids repeat all over the walk: the entry's offset is its
  // visit position, and the largest position must win for every id.
  NodeSpec big;
  uint32_t visit = 0;
  std::vector<uint32_t> last(401, 0);
  auto add = [&](NodeSpec& node) {
    for (int k = 0; k < 61; ++k, ++visit) {
      node.entries.push_back(entry(visit * 7 % 401, visit));
      last[visit * 7 % 401] = visit;
    }
  };
  add(big);
  for (uint32_t j = 0; j < 62; ++j) {
    big.children.push_back(on(j, {}));
    add(big.children.back());
  }
  db = open_tree(big, 4096);
  ASSERT_TRUE(db) << db.error().text();
  ASSERT_EQ(db->entry_count(), 401u);
  for (uint32_t id = 0; id < 401; ++id) EXPECT_EQ(db->find(id)->offset, last[id]) << id;
}

TEST(DirectoryWalk, BalancedTreeOfManyLevels) {
  // Above 3843 entries the automatic tree needs three levels.
  ArchiveWriter w(256);
  std::vector<uint8_t> payload = {1, 2, 3};
  uint32_t shared = w.write_chain(payload);
  const uint32_t count = 9000;
  for (uint32_t i = 0; i < count; ++i) {
    w.add_entry(DatFileEntry{.bit_flags = 0, .id = i * 2654435761u, .offset = shared, .size = 3});
  }
  auto db = open_archive_bytes(w.finish());
  ASSERT_TRUE(db) << db.error().text();
  ASSERT_EQ(db->entry_count(), count);
  for (uint32_t i = 0; i < count; ++i) ASSERT_NE(db->find(i * 2654435761u), nullptr) << i;
  auto got = db->get_file(5 * 2654435761u);
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, payload);
  EXPECT_EQ(db->directory_bytes(), count * sizeof(DatFileEntry));
}

TEST(DirectoryDamage, EntryCountAbove61) {
  NodeSpec node;
  for (uint32_t k = 0; k < 61; ++k) node.entries.push_back(entry(k));
  node.entry_count = 62;
  auto db = open_tree(node);
  ASSERT_FALSE(db);
  const auto& parse = std::get<DatError::BinRead>(db.error().value).error;
  ASSERT_EQ(parse.frames().size(), 1u);
  EXPECT_EQ(std::get<common::LocatedFrame>(parse.frames()[0]).message,
            "While parsing field 'bit_flags' in DatFileEntry");
  EXPECT_EQ(common::root_text(parse.root()), "failed to fill whole buffer");

  node.entry_count = 0xFFFFFFFF;
  EXPECT_FALSE(open_tree(node));
}

TEST(DirectoryDamage, NodeBeyondTheFileEnd) {
  NodeSpec root{.entries = {entry(1)}};
  root.branches[0] = 0x10000000;
  auto db = open_tree(root);
  ASSERT_FALSE(db);
  EXPECT_EQ(db.error().text(), "IO error: failed to fill whole buffer");

  ArchiveWriter w(256);
  w.set_root(0x190);  // nothing written there
  db = open_archive_bytes(w.finish());
  ASSERT_FALSE(db);
  EXPECT_EQ(db.error().text(), "IO error: failed to fill whole buffer");
}

TEST(DirectoryDamage, CyclesAndSharedNodesAreRejected) {
  // The root's child points back at the root.
  ArchiveWriter w(256);
  uint32_t root = w.reserve_node();
  NodeSpec child{.entries = {entry(2)}};
  child.branches[0] = root;
  NodeSpec root_spec{.entries = {entry(1)}, .children = {on(0, child)}};
  w.write_node_at(root, root_spec);
  w.set_root(root);
  auto db = open_archive_bytes(w.finish());
  ASSERT_FALSE(db);
  EXPECT_EQ(db.error().text(), "Corruption detected: directory node at 0x190 is reached twice");

  // Every branch of a node names the same child: read once, then rejected.
  ArchiveWriter w2(4096);
  uint32_t leaf = w2.write_node(single(3));
  NodeSpec top{.entries = {entry(4)}};
  top.branches[0] = leaf;
  top.branches[1] = leaf;
  w2.set_root(w2.write_node(top));
  db = open_archive_bytes(w2.finish());
  ASSERT_FALSE(db);
  EXPECT_EQ(db.error().text(), "Corruption detected: directory node at 0x190 is reached twice");
  EXPECT_EQ(std::get<DatError::Corruption>(db.error().value).text,
            "directory node at 0x190 is reached twice");
}

TEST(DirectoryDamage, DepthLimit) {
  auto chain = [](uint32_t depth) {
    ArchiveWriter w(2048);
    uint32_t below = 0;
    for (uint32_t level = depth; level > 0; --level) {
      NodeSpec node{.entries = {entry(level)}};
      node.branches[0] = below;
      below = w.write_node(node);
    }
    w.set_root(below);
    return w.finish();
  };
  auto ok = open_archive_bytes(chain(256));
  ASSERT_TRUE(ok) << ok.error().text();
  EXPECT_EQ(ok->entry_count(), 256u);

  auto deep = open_archive_bytes(chain(257));
  ASSERT_FALSE(deep);
  // The deepest node was written first.
  EXPECT_EQ(deep.error().text(),
            "Corruption detected: directory node at 0x190 is deeper than 256 levels");

  ArchiveLimits shallow;
  shallow.max_directory_depth = 3;
  EXPECT_FALSE(open_archive_bytes(chain(4), shallow));
  EXPECT_TRUE(open_archive_bytes(chain(3), shallow));
}

// A directory the process has no memory for: the open fails with the system's error
// and throws nothing. Run in a child held to little more address space than it has.
TEST(DirectoryDamage, NoMemoryForTheTableIsAnErrorNotAThrow) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' own memory needs more address space than the limit leaves";
#endif
  ArchiveWriter w(1024);
  for (uint32_t i = 0; i < 40000; ++i) w.add_entry(entry(i * 2654435761u, i));  // ~1 MB table
  const std::vector<uint8_t> archive = w.finish();

  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (256 << 10);
    const rlimit cap{limit, limit};
    if (::setrlimit(RLIMIT_AS, &cap) != 0) ::_exit(3);
    try {
      auto db = open_archive_bytes(archive);
      if (db) ::_exit(1);
      ::_exit(db.error().text() == "IO error: Cannot allocate memory (os error 12)" ? 0 : 2);
    } catch (...) {
      ::_exit(4);
    }
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
  // 1: the table fitted after all; 2: another error; 3: no limit could be set; 4: a throw.
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tallowmere::dat

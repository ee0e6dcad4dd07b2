// The archive: header, directory tree and block-chain payloads.
//
// Header: 80 bytes at 0x140, seventeen little-endian fields (sixteen u32 and a 16-byte
// version string). Directory: a tree of 1716-byte nodes, each stored as a block chain:
// 62 u32 child offsets, a u32 entry count, then up to 61 entries of 24 bytes. Walked
// depth-first, pre-order, children in branch order; the entry visited last wins for
// an id. Payloads: block chains whose blocks start with the u32 offset of the next
// block (0 for the last); the data of a block starts at its offset + 4 modulo 2^32.
#include "tallowmere/dat/lib.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

#include "field_codecs.hpp"
#include "tallowmere/common/endian.hpp"

namespace tallowmere::dat {

using common::Cursor;
using common::IoError;
using common::ParseError;
using common::ParseResult;

namespace {

// "0x" and `value` in lower-case hexadecimal without leading zeros.
std::string hex_offset(uint64_t value) {
  char digits[16];
  auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(digits, end);
}

Expected<void, DatError> corruption(std::string text) {
  return make_unexpected(DatError(DatError::Corruption{std::move(text)}));
}

// Sorts `entries` by id, equal ids kept in their order. A least-significant-digit radix
// sort: three stable counting passes over 11, 11 and 10 bits of the id, a pass whose
// digit is the same for every entry left out; one more buffer of the same size.
void sort_by_id(std::vector<DatFileEntry>& entries) {
  constexpr unsigned kPasses = 3;
  constexpr unsigned kShift[kPasses] = {0, 11, 22};
  constexpr uint32_t kMask[kPasses] = {0x7FF, 0x7FF, 0x3FF};
  std::vector<DatFileEntry> spare;
  std::vector<size_t> counts(2048);
  for (unsigned p = 0; p < kPasses; ++p) {
    std::fill(counts.begin(), counts.end(), 0);
    for (const DatFileEntry& e : entries) ++counts[(e.id >> kShift[p]) & kMask[p]];
    size_t at = 0;
    bool moves = true;
    for (size_t& c : counts) {
      if (c == entries.size()) moves = false;
      const size_t here = c;
      c = at;
      at += here;
    }
    if (!moves) continue;
    spare.resize(entries.size());
    for (const DatFileEntry& e : entries) spare[counts[(e.id >> kShift[p]) & kMask[p]]++] = e;
    entries.swap(spare);
  }
}

// Leaves one entry per id, the last of each run of equal ids in `entries` (sorted by
// id, equal ids in visit order).
void keep_last_per_id(std::vector<DatFileEntry>& entries) {
  size_t kept = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i + 1 < entries.size() && entries[i + 1].id == entries[i].id) continue;
    entries[kept++] = entries[i];
  }
  entries.resize(kept);
}

// The blocks one chain walk has read, to stop at the first block reached a second
// time: a sound chain never comes back to a block, and a chain that does would repeat
// the same bytes until its size is met, or forever. Most chains are a few blocks long,
// so the first blocks live in a small array searched linearly; a longer chain moves to
// an open-addressing hash set that grows as needed (memory stays proportional to the
// blocks read, which the chain-length limit bounds).
class VisitedBlocks {
 public:
  // Records `block`; false when it was recorded before.
  bool insert(uint32_t block) {
    // While the blocks only rise (chains laid out front to back, as writers lay them
    // out), a new block is above every block before it and needs no search.
    if (rising_ && small_count_ < kSmall &&
        (small_count_ == 0 || block > small_[small_count_ - 1])) {
      small_[small_count_++] = block;
      return true;
    }
    rising_ = false;
    if (table_.empty()) {
      for (uint32_t i = 0; i < small_count_; ++i) {
        if (small_[i] == block) return false;
      }
      if (small_count_ < kSmall) {
        small_[small_count_++] = block;
        return true;
      }
      rehash(4 * kSmall);
      for (uint32_t b : small_) place(b);
    }
    if (block == 0) {  // 0 marks an empty slot, so block 0 is tracked on its own
      if (has_zero_) return false;
      has_zero_ = true;
      return true;
    }
    for (size_t i = slot_of(block);; i = (i + 1) & (table_.size() - 1)) {
      if (table_[i] == block) return false;
      if (table_[i] == 0) break;
    }
    if (2 * (count_ + 1) > table_.size()) {
      std::vector<uint32_t> old = std::move(table_);
      rehash(2 * old.size());
      for (uint32_t b : old) {
        if (b != 0) place(b);
      }
    }
    place(block);
    return true;
  }

 private:
  static constexpr uint32_t kSmall = 16;

  size_t slot_of(uint32_t block) const {
    // Fibonacci hashing: the high bits of the product spread neighbouring offsets.
    return static_cast<size_t>((uint64_t{block} * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  void rehash(size_t slots) {
    table_.assign(slots, 0);
    shift_ = 64 - static_cast<unsigned>(std::countr_zero(slots));
    count_ = 0;
  }
  void place(uint32_t block) {
    if (block == 0) {
      has_zero_ = true;
      return;
    }
    size_t i = slot_of(block);
    while (table_[i] != 0) i = (i + 1) & (table_.size() - 1);
    table_[i] = block;
    ++count_;
  }

  uint32_t small_[kSmall];
  uint32_t small_count_ = 0;
  bool rising_ = true;           // every block so far above the one before
  std::vector<uint32_t> table_;  // a power of two slots, at most half full
  unsigned shift_ = 0;
  size_t count_ = 0;
  bool has_zero_ = false;
};

// The reads of one block-chain walk. Every read is exact: it delivers all bytes asked
// for or fails ("failed to fill whole buffer" at the end of the file). A block read
// fetches the block's pointer and data, and up to `ahead` bytes from the block's start,
// into a window with one plain read, so that later blocks laid out behind it are
// copied from memory instead of read one by one. The window's buffer is the calling
// thread's, kept from one walk to the next.
class ChainWindow {
 public:
  static constexpr uint64_t kReadAhead = 64 * 1024;

  explicit ChainWindow(const ByteSource& source) : source_(source) {}

  // The bytes at `at`.
  Expected<void, IoError> read(uint64_t at, std::span<uint8_t> out) {
    if (out.empty()) return {};
    if (holds(at, out.size())) {
      std::copy_n(window_.data() + (at - start_), out.size(), out.data());
      return {};
    }
    if (past_end(at, out.size())) return make_unexpected(IoError::fill_buffer());
    return read_exact_at(source_, at, out);
  }

  // A block's 4-byte pointer at `at` and the data directly behind it.
  Expected<void, IoError> read_block(uint64_t at, std::span<uint8_t> pointer,
                                     std::span<uint8_t> data, uint64_t ahead) {
    const uint64_t need = pointer.size() + data.size();
    if (past_end(at, need)) return make_unexpected(IoError::fill_buffer());
    // A block larger than the window (only with an unusual block size) is read straight
    // into place, so that the kept buffer stays small.
    if (!holds(at, need) && need > kReadAhead) return read_exact_at(source_, at, pointer, data);
    if (!holds(at, need)) {
      const size_t fetch = static_cast<size_t>(std::max(ahead, need));
      if (window_.size() < fetch) window_.resize(fetch);
      auto got = read_at_most(source_, at, std::span<uint8_t>(window_.data(), fetch));
      if (!got) return make_unexpected(std::move(got).error());
      start_ = at;
      length_ = *got;
      at_end_ = *got < fetch;
    }
    if (!holds(at, need)) return make_unexpected(IoError::fill_buffer());
    std::copy_n(window_.data() + (at - start_), pointer.size(), pointer.data());
    std::copy_n(window_.data() + (at - start_) + pointer.size(), data.size(), data.data());
    return {};
  }

 private:
  bool holds(uint64_t at, uint64_t n) const {
    return at >= start_ && at - start_ <= length_ && n <= length_ - (at - start_);
  }
  // Whether the window has seen the file end before `at + n`.
  bool past_end(uint64_t at, uint64_t n) const {
    return at_end_ && at >= start_ && at - start_ + n > length_;
  }

  static std::vector<uint8_t>& thread_buffer() {
    thread_local std::vector<uint8_t> buffer;
    return buffer;
  }

  const ByteSource& source_;
  std::vector<uint8_t>& window_ = thread_buffer();
  uint64_t start_ = 0;
  uint64_t length_ = 0;
  bool at_end_ = false;
};

}  // namespace

template <class A, class Self>
void DatHeader::describe(A& a, Self& h) {
  a.declarative("DatHeader");
  a.field("magic", h.magic);
  a.field("block_size", h.block_size);
  a.field("file_size", h.file_size);
  a.field("dataset", h.dataset);
  a.field("subset", h.subset);
  a.field("free_head", h.free_head);
  a.field("free_tail", h.free_tail);
  a.field("free_count", h.free_count);
  a.field("root_offset", h.root_offset);
  a.field("new_lru", h.new_lru);
  a.field("old_lru", h.old_lru);
  a.field("use_lru", h.use_lru);
  a.field("master_map_id", h.master_map_id);
  a.field("engine_version", h.engine_version);
  a.field("game_version", h.game_version);
  a.field("version_string", h.version_string, codec::ByteList{16});
  a.field("version_minor", h.version_minor);
}

template <class A, class Self>
void DatFileEntry::describe(A& a, Self& e) {
  a.declarative("DatFileEntry");
  a.field("bit_flags", e.bit_flags);
  a.field("id", e.id);
  a.field("offset", e.offset);
  a.field("size", e.size);
  a.field("timestamp", e.timestamp);
  a.field("version", e.version);
}

TALLOWMERE_DESCRIBED(DatHeader);
TALLOWMERE_DESCRIBED(DatFileEntry);

Expected<std::unique_ptr<const ByteSource>, DatError> DatDatabase::open_file(
    const std::string& path) {
  auto source_or = FileSource::open(path);
  if (!source_or) return make_unexpected(DatError(DatError::PathError{path, source_or.error()}));
  return std::unique_ptr<const ByteSource>(std::move(*source_or));
}

Expected<DatDatabase, DatError> DatDatabase::open(const std::string& path,
                                                  const ArchiveLimits& limits) {
  auto source_or = open_file(path);
  if (!source_or) return make_unexpected(std::move(source_or).error());
  return open(std::move(*source_or), limits);
}

Expected<DatDatabase, DatError> DatDatabase::open(std::unique_ptr<const ByteSource> source,
                                                  const ArchiveLimits& limits) {
  // A short file simply yields fewer header bytes; the header record then fails at
  // the first field that is incomplete.
  uint8_t raw[kHeaderSize];
  auto got_or = read_at_most(*source, kHeaderOffset, raw);
  Cursor cursor(std::span<const uint8_t>(raw, got_or ? *got_or : 0));
  auto header_or = DatHeader::read(cursor);
  if (!got_or) {
    // A read the system refuses (a directory, say) fails the first field, like a read
    // of the field itself would: same frame, the system's error at the root.
    ParseError error(std::move(got_or).error());
    for (const auto& frame : header_or.error().frames()) error.add_frame(frame);
    return make_unexpected(DatError(std::move(error)));
  }
  if (!header_or) return make_unexpected(DatError(std::move(header_or).error()));

  auto length_or = source->size();
  if (!length_or) return make_unexpected(DatError(std::move(length_or).error()));

  DatDatabase db(std::move(*header_or), std::move(source), *length_or, limits);
  // The directory's table is as large as the archive says; where the system has no
  // memory for it, the open fails with the system's error rather than throwing.
  Expected<void, DatError> loaded;
  try {
    loaded = db.read_directory(limits);
  } catch (const std::bad_alloc&) {
    return make_unexpected(DatError(IoError::from_errno(ENOMEM)));
  }
  if (!loaded) return make_unexpected(std::move(loaded).error());
  return db;
}

DatFileEntry* DirectoryTable::make_room(size_t count) {
  if (count > capacity_ - size_) {
    const size_t grown = std::max(size_ + count, std::max<size_t>(1024, 2 * capacity_));
    if (grown > SIZE_MAX / sizeof(DatFileEntry) || !memory_.resize(grown * sizeof(DatFileEntry)))
      throw std::bad_alloc();
    capacity_ = grown;
  }
  return data() + size_;
}

void DirectoryTable::append(const DatFileEntry* entries, size_t count) {
  if (count == 0) return;
  std::copy_n(entries, count, make_room(count));
  size_ += count;
}

void DirectoryTable::append_stored(const uint8_t* stored, size_t count) {
  if (count == 0) return;
  DatFileEntry* to = make_room(count);
  if constexpr (std::endian::native == std::endian::little && sizeof(DatFileEntry) == kEntrySize &&
                std::is_trivially_copyable_v<DatFileEntry>) {
    // The stored layout is the entry's own: six u32 in field order, no padding.
    std::memcpy(static_cast<void*>(to), stored, count * kEntrySize);
  } else {
    for (size_t k = 0; k < count; ++k, stored += kEntrySize) {
      to[k] = DatFileEntry{.bit_flags = common::load_u32le(stored),
                           .id = common::load_u32le(stored + 4),
                           .offset = common::load_u32le(stored + 8),
                           .size = common::load_u32le(stored + 12),
                           .timestamp = common::load_u32le(stored + 16),
                           .version = common::load_u32le(stored + 20)};
    }
  }
  size_ += count;
}

void DirectoryTable::reserve(size_t count) {
  if (capacity_ != 0 || count > SIZE_MAX / sizeof(DatFileEntry)) return;
  if (memory_.reserve(count * sizeof(DatFileEntry)))
    capacity_ = memory_.size() / sizeof(DatFileEntry);
}

void DirectoryTable::shrink_to_fit() {
  // Should the system refuse to give pages back, the room simply stays.
  if (memory_.resize(size_ * sizeof(DatFileEntry))) capacity_ = size_;
}

namespace {

// A walk over the directory tree, or over a part of the root's subtrees. It reads the
// nodes depth-first, pre-order, children in branch order, and hands out their entries
// in the tree's own order: the subtree under branch j before entry j, the subtree under
// the last branch after the last entry. In a sound directory ids rise strictly in that
// order, which is then the order by id with one entry per id, and the entries go
// straight into the table. Any other directory is put back into visit order (each
// node's entries together, nodes in the order read) and sorted, so that the entry
// visited last wins for an id.
//
// `ReadNode` reads one node's block chain: (offset, kNodeSize bytes to fill) ->
// Expected<void, DatError>.
template <class ReadNode>
class DirectoryWalk {
 public:
  // A node being walked, as stored, with how far the walk has come through its branches
  // and entries.
  struct Open {
    uint8_t stored[kNodeSize];
    uint32_t count;        // entries are handed out up to (not including) this one
    uint32_t next_branch;  // branches below this have been walked
    uint32_t branch_end;   // branches from this one on are not walked
    uint32_t next_entry;   // entries below this have been handed out
    uint32_t depth;        // the root is at depth 1
    uint32_t read_index;   // the node's place in read order
    bool leaf;

    uint32_t branch(uint32_t j) const { return common::load_u32le(stored + 4 * j); }
    const uint8_t* entry(uint32_t k) const { return stored + kEntriesOffset + kEntrySize * k; }
  };

  DirectoryWalk(const ReadNode& read_node, const ArchiveLimits& limits)
      : read_node_(read_node), limits_(limits) {
    open_.reserve(16);
  }

  // Reads the node at `offset` onto the stack of open nodes, at `depth`.
  Expected<void, DatError> enter(uint32_t offset, uint32_t depth);

  // Counts `offsets` as visited: nodes read before the walk, which it must not reach.
  void mark_visited(std::span<const uint32_t> offsets) {
    for (uint32_t offset : offsets) visited_.insert(offset);
  }
  // Goes on from `node`, read before, with the branches and entries it has left as set.
  void push(const Open& node) {
    open_.push_back(node);
    open_.back().read_index = nodes_read_++;
  }
  void pop() { open_.pop_back(); }
  // Starts a part whose first id is not compared with the ids before it (a part that
  // goes before them in the tree); its place in the table is from here on.
  void begin_part() { part_start_ = table_.size(); }
  // Keeps the offset of every node entered from here on (see entered()).
  void keep_offsets() { keep_offsets_ = true; }
  // Takes room ahead for `count` entries (DirectoryTable::reserve).
  void reserve(size_t count) { table_.reserve(count); }

  // Walks until every open node is done; stops at the first error.
  Expected<void, DatError> run();

  // The node on top of the stack (after enter, the node entered).
  const Open& top() const { return open_.back(); }
  // Whether the ids handed out so far rise strictly.
  bool ascending() const { return ascending_; }
  const DirectoryTable& table() const { return table_; }
  // The offsets of the nodes entered since keep_offsets().
  const std::vector<uint32_t>& entered() const { return entered_; }
  // Marks `offset` visited; false when it was visited already.
  bool claim(uint32_t offset) { return visited_.insert(offset); }

  // The entries handed out, as they were.
  DirectoryTable take_table() { return std::move(table_); }
  // After a complete walk: the directory, sorted by id with one entry per id.
  DirectoryTable finish();

 private:
  // Where the entries handed out together landed in the table, for finish().
  struct Run {
    size_t at;
    uint32_t node;
    uint32_t count;
  };

  // Hands out the node's entries up to (not including) `upto`.
  void hand_out(Open& node, uint32_t upto);

  const ReadNode& read_node_;
  const ArchiveLimits& limits_;
  std::vector<Open> open_;
  std::vector<Run> runs_;
  // Every node is read once; an offset reached again means a cycle or a shared node,
  // which would make the walk endless or exponential.
  VisitedBlocks visited_;
  bool keep_offsets_ = false;
  std::vector<uint32_t> entered_;
  uint32_t nodes_read_ = 0;
  bool ascending_ = true;
  uint32_t last_id_ = 0;
  size_t part_start_ = 0;
  DirectoryTable table_;
};

template <class ReadNode>
Expected<void, DatError> DirectoryWalk<ReadNode>::enter(uint32_t offset, uint32_t depth) {
  if (!visited_.insert(offset))
    return corruption("directory node at " + hex_offset(offset) + " is reached twice");
  if (depth > limits_.max_directory_depth)
    return corruption("directory node at " + hex_offset(offset) + " is deeper than " +
                      std::to_string(limits_.max_directory_depth) + " levels");
  if (keep_offsets_) entered_.push_back(offset);

  // The node's bytes go straight into its place on the stack of open nodes.
  Open& node = open_.emplace_back();
  auto read = read_node_(offset, std::span<uint8_t>(node.stored));
  if (!read) return make_unexpected(std::move(read).error());
  // A count above 61 runs the 62nd entry off the end of the node, and the record
  // reader gives that failure its frame.
  const uint32_t entry_count = node.branch(kNodeBranches);
  if (entry_count > kNodeEntries) {
    Cursor cursor(node.stored, kEntriesOffset + kEntrySize * kNodeEntries);
    auto entry_or = DatFileEntry::read(cursor);
    if (!entry_or) return make_unexpected(DatError(std::move(entry_or).error()));
  }
  node.count = std::min(entry_count, kNodeEntries);
  // A leaf: later branches are not looked at. Otherwise branches 0 to the entry count.
  node.leaf = node.branch(0) == 0;
  node.next_branch = 0;
  node.branch_end = node.count + 1;
  node.next_entry = 0;
  node.depth = depth;
  node.read_index = nodes_read_++;
  return {};
}

template <class ReadNode>
void DirectoryWalk<ReadNode>::hand_out(Open& node, uint32_t upto) {
  if (upto <= node.next_entry) return;
  const uint32_t n = upto - node.next_entry;
  if (ascending_) {
    // Every id above the one before it (the very first id has none); checked without
    // a branch per entry.
    uint32_t k = node.next_entry;
    uint32_t previous = last_id_;
    if (table_.size() == part_start_) previous = common::load_u32le(node.entry(k++) + 4);
    bool rising = true;
    for (; k < upto; ++k) {
      const uint32_t id = common::load_u32le(node.entry(k) + 4);
      rising &= id > previous;
      previous = id;
    }
    ascending_ = rising;
    last_id_ = previous;
  }
  runs_.push_back({table_.size(), node.read_index, n});
  table_.append_stored(node.entry(node.next_entry), n);
  node.next_entry = upto;
}

template <class ReadNode>
Expected<void, DatError> DirectoryWalk<ReadNode>::run() {
  while (!open_.empty()) {
    Open& node = open_.back();
    if (!node.leaf) {
      uint32_t j = node.next_branch;
      while (j < node.branch_end && node.branch(j) == 0) ++j;
      if (j < node.branch_end) {
        node.next_branch = j + 1;
        hand_out(node, j);
        const uint32_t child = node.branch(j);
        auto entered = enter(child, node.depth + 1);  // `node` is invalid from here on
        if (!entered) return entered;
        continue;
      }
    }
    hand_out(node, node.count);
    open_.pop_back();
  }
  return {};
}

template <class ReadNode>
DirectoryTable DirectoryWalk<ReadNode>::finish() {
  open_ = {};
  visited_ = {};
  if (!ascending_) {
    // Back into visit order: runs grouped by node in read order, each node's runs in
    // entry order (which is the order they were handed out in).
    std::sort(runs_.begin(), runs_.end(), [](const Run& a, const Run& b) {
      return a.node != b.node ? a.node < b.node : a.at < b.at;
    });
    std::vector<DatFileEntry> visit;
    visit.reserve(table_.size());
    for (const Run& run : runs_) {
      visit.insert(visit.end(), table_.begin() + run.at, table_.begin() + run.at + run.count);
    }
    table_ = DirectoryTable();
    sort_by_id(visit);
    keep_last_per_id(visit);
    table_.append(visit.data(), visit.size());
  }
  table_.shrink_to_fit();
  return std::move(table_);
}

// The room to take ahead for the directory of an archive `file_length` bytes long: the
// most entries it can hold when every node has blocks of its own (at most 61 entries
// each, in ceil(1716 / (block_size - 4)) blocks), capped at 32 MiB of table (1.4M
// entries). Only a size to map ahead: a table that outgrows it grows as any other.
// Taking it costs address space, not memory, and little of that: a process held to a
// small address space meets the cap, not the bound.
size_t directory_room(uint64_t file_length, uint32_t block_size) {
  constexpr uint64_t kMostRoom = (uint64_t{32} << 20) / sizeof(DatFileEntry);
  if (block_size <= 4) return 0;
  const uint64_t per_block = block_size - 4;
  const uint64_t blocks_per_node = (kNodeSize + per_block - 1) / per_block;
  const uint64_t nodes = file_length / (blocks_per_node * block_size);
  return static_cast<size_t>(std::min(nodes * kNodeEntries, kMostRoom));
}

// The root's subtrees walked on two threads at once, each thread with its own stack,
// visited set and table. The calling thread reads the root's children; the work is
// then cut at their branches that lead somewhere (a child without any is one piece):
// a part is one grandchild's subtree followed by the entries up to the next one, its
// parent's and, after the parent's last, the root's. The calling thread takes parts
// from the front, in order, into one table; a second thread takes parts from the back,
// each into a table of its own, until they meet, so that however unevenly the
// subtrees are filled both threads stay busy. The tables, in tree order, are the
// directory only when the whole tree is sound: no error anywhere, ids rising within
// every part and across every seam, and no node reached twice. Returns nothing in every
// other case, and when no thread can be started; the caller then walks the tree on its
// own, which gives the exact error or the exact table (the entry visited last winning)
// that such a tree calls for.
template <class ReadNode>
std::optional<DirectoryTable> walk_on_two_threads(
    const typename DirectoryWalk<ReadNode>::Open& root, uint32_t root_offset,
    const ReadNode& read_node, const ArchiveLimits& limits, size_t room) {
  using Walk = DirectoryWalk<ReadNode>;
  using Open = typename Walk::Open;
  if (root.leaf) return std::nullopt;

  // The root's children, read as the walk would read them, and the branches they hang on.
  std::vector<uint32_t> read_before = {root_offset};
  std::vector<Open> children;
  std::vector<uint32_t> child_branch;
  {
    Walk reader(read_node, limits);
    reader.mark_visited(read_before);
    for (uint32_t j = 0; j < root.branch_end; ++j) {
      if (root.branch(j) == 0) continue;
      if (!reader.enter(root.branch(j), root.depth + 1)) return std::nullopt;
      children.push_back(reader.top());
      reader.pop();
      child_branch.push_back(j);
      read_before.push_back(root.branch(j));
    }
  }

  // Part k: child `child`'s branches [first, end) with its entries among them (the
  // whole child when it is a leaf), then the root's entries [root_first, root_end).
  struct Part {
    uint32_t child;
    uint32_t first;
    uint32_t end;
    uint32_t root_first;
    uint32_t root_end;
  };
  std::vector<Part> parts;
  for (uint32_t c = 0; c < children.size(); ++c) {
    const Open& child = children[c];
    const uint32_t root_first = child_branch[c];
    const uint32_t root_end =
        std::min(root.count, c + 1 < children.size() ? child_branch[c + 1] : root.branch_end);
    if (child.leaf) {
      parts.push_back({c, 0, 0, root_first, root_end});
      continue;
    }
    for (uint32_t j = 0; j < child.branch_end; ++j) {
      if (child.branch(j) == 0) continue;
      if (!parts.empty() && parts.back().child == c) parts.back().end = j;
      parts.push_back({c, j, child.branch_end, 0, 0});
    }
    parts.back().root_first = root_first;
    parts.back().root_end = root_end;
  }
  if (parts.size() < 2) return std::nullopt;

  // Sets `walk` up to walk part k: the root below, the child above, each with what the
  // part takes of it.
  const auto start_part = [&](Walk& walk, uint32_t k) {
    const Part& part = parts[k];
    Open below = root;
    below.branch_end = 0;
    below.next_entry = part.root_first;
    below.count = part.root_end;
    walk.push(below);
    Open above = children[part.child];
    if (!above.leaf) {
      above.next_branch = part.first;
      above.branch_end = part.end;
      above.next_entry = part.first;
      above.count = std::min(above.count, part.end);
    }
    walk.push(above);
  };

  // Parts not yet taken: [next_front, next_back). Each thread starts with one part of
  // its own; a failure anywhere stops both, since the single walk redoes everything.
  std::mutex taking;
  uint32_t next_front = 1;
  uint32_t next_back = static_cast<uint32_t>(parts.size()) - 1;
  std::atomic<bool> failed = false;
  const auto take = [&](bool from_front) -> std::optional<uint32_t> {
    std::lock_guard lock(taking);
    if (next_front >= next_back || failed.load(std::memory_order_relaxed)) return std::nullopt;
    return from_front ? next_front++ : --next_back;
  };

  Walk front(read_node, limits);
  front.mark_visited(read_before);
  front.reserve(room);
  // The second thread's parts go into one table in the order taken, the last part
  // first; each is put in its place at the end. (One table for all, since every table
  // grown or dropped remaps memory, which stalls the other thread.)
  Walk back(read_node, limits);
  back.mark_visited(read_before);
  back.keep_offsets();
  back.reserve(room);
  struct Range {
    size_t at;
    size_t count;
  };
  std::vector<Range> back_parts;
  // A part that throws (std::bad_alloc from its table) only sends the load back to the
  // single walk; nothing may leave a thread's function.
  const auto walk_back = [&] {
    try {
      for (std::optional<uint32_t> k = next_back; k; k = take(false)) {
        back.begin_part();
        const size_t at = back.table().size();
        start_part(back, *k);
        if (!back.run()) {
          failed = true;
          return;
        }
        back_parts.push_back({at, back.table().size() - at});
      }
    } catch (...) {
      failed = true;
    }
  };
  std::thread helper;
  try {
    helper = std::thread(walk_back);
  } catch (...) {
    return std::nullopt;  // no thread to be had
  }
  bool front_walked = false;
  try {
    for (std::optional<uint32_t> k = 0; k; k = take(true)) {
      start_part(front, *k);
      front_walked = front.run().has_value();
      if (!front_walked) break;
    }
  } catch (...) {
    front_walked = false;
  }
  if (!front_walked) failed = true;
  helper.join();
  if (failed) return std::nullopt;

  // The parts in tree order: the front's, then the back's from the last taken on.
  if (!front.ascending() || !back.ascending()) return std::nullopt;
  bool any = front.table().size() != 0;
  uint32_t last_id = any ? (front.table().end() - 1)->id : 0;
  const DatFileEntry* back_entries = back.table().begin();
  for (auto it = back_parts.rbegin(); it != back_parts.rend(); ++it) {
    if (it->count == 0) continue;
    if (any && back_entries[it->at].id <= last_id) return std::nullopt;
    any = true;
    last_id = back_entries[it->at + it->count - 1].id;
  }
  for (uint32_t offset : back.entered()) {
    if (!front.claim(offset)) return std::nullopt;
  }
  DirectoryTable table = front.take_table();
  for (auto it = back_parts.rbegin(); it != back_parts.rend(); ++it) {
    table.append(back_entries + it->at, it->count);
  }
  table.shrink_to_fit();
  return table;
}

}  // namespace

Expected<void, DatError> DatDatabase::read_directory(const ArchiveLimits& limits) {
  const size_t room = directory_room(file_length_, header_.block_size);
  const auto read_node = [this](uint32_t offset, std::span<uint8_t> out) {
    return read_chain(offset, out);
  };
  DirectoryWalk walk(read_node, limits);
  if (header_.root_offset != 0) {
    auto entered = walk.enter(header_.root_offset, 1);
    if (!entered) return entered;
    // The root read, the walk of its subtrees is the same whoever does it: a walk in
    // halves that cannot give the result leaves the single walk to carry on from here.
    if (limits.directory_threads >= 2) {
      auto table = walk_on_two_threads(walk.top(), header_.root_offset, read_node, limits, room);
      if (table) {
        entries_ = std::move(*table);
        return {};
      }
    }
  }
  walk.reserve(room);
  auto walked = walk.run();
  if (!walked) return walked;
  entries_ = walk.finish();
  return {};
}

const DatFileEntry* DatDatabase::find(uint32_t id) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                             [](const DatFileEntry& e, uint32_t key) { return e.id < key; });
  return it != entries_.end() && it->id == id ? &*it : nullptr;
}

Expected<std::vector<uint8_t>, DatError> DatDatabase::get_file(uint32_t id) const {
  std::vector<uint8_t> payload;
  auto got = get_file_into(id, payload);
  if (!got) return make_unexpected(std::move(got).error());
  return payload;
}

template <class Buffer>
Expected<void, DatError> DatDatabase::fetch_into(uint32_t id, Buffer& out) const {
  const DatFileEntry* entry = find(id);
  if (entry == nullptr) return make_unexpected(DatError(DatError::NotFound{id}));
  // Without revisiting blocks a chain cannot deliver more bytes than the file holds;
  // refusing here keeps a damaged size from allocating gigabytes.
  if (entry->size > file_length_) return make_unexpected(DatError(IoError::fill_buffer()));
  if (!entry->compressed()) {
    out.resize(entry->size);
    return read_chain(entry->offset, out);
  }
  // The stored bytes of a compressed payload are only read to be decompressed: they go
  // into the calling thread's scratch buffer, which keeps its size from one payload to
  // the next, so that no buffer is allocated (and freed) per payload. It is never
  // zeroed: the chain fills every byte that is decompressed.
  thread_local PayloadBuffer scratch;
  if (scratch.size() < entry->size) {
    scratch.clear();
    scratch.shrink_to_fit();
    scratch.resize(entry->size);
  }
  const std::span<uint8_t> raw(scratch.data(), entry->size);
  auto read = read_chain(entry->offset, raw);
  if (!read) return read;
  decompress_lrs_into(raw, out);
  return {};
}

Expected<void, DatError> DatDatabase::get_file_into(uint32_t id, std::vector<uint8_t>& out) const {
  return fetch_into(id, out);
}

Expected<void, DatError> DatDatabase::get_file_into(uint32_t id, PayloadBuffer& out) const {
  return fetch_into(id, out);
}

Expected<std::vector<uint8_t>, DatError> DatDatabase::read_file_data(uint32_t offset,
                                                                     uint32_t size) const {
  if (size == 0) return std::vector<uint8_t>();
  // Without revisiting blocks a chain cannot deliver more bytes than the file holds;
  // refusing here keeps a damaged size from allocating gigabytes.
  if (size > file_length_) return make_unexpected(DatError(IoError::fill_buffer()));
  std::vector<uint8_t> buffer(size);
  auto read = read_chain(offset, buffer);
  if (!read) return make_unexpected(std::move(read).error());
  return buffer;
}

Expected<void, DatError> DatDatabase::read_chain(uint32_t offset, std::span<uint8_t> buffer) const {
  if (buffer.size() > file_length_) return make_unexpected(DatError(IoError::fill_buffer()));
  const auto size = static_cast<uint32_t>(buffer.size());
  if (size == 0) return {};
  const uint32_t block_size = header_.block_size;
  const uint32_t per_block = block_size - 4;  // wraps for a block size below 4
  uint32_t current = offset;
  uint32_t filled = 0;
  uint32_t remaining = size;
  ChainWindow window(*source_);

  // Each block is read at most once: the walk fails at the first block it reaches
  // again. With no data per block (a block size of exactly 4) only a 0 pointer would
  // end a loop-free chain, so the chain length is bounded as well.
  VisitedBlocks visited;
  visited.insert(current);
  uint64_t blocks = 1;
  uint64_t previous = UINT64_MAX;

  for (;;) {
    uint8_t pointer_bytes[4];
    // The data that follows a nonzero pointer is read with it; if the pointer turns
    // out to be 0, the rest of the payload follows it.
    const uint32_t n = std::min(per_block, remaining);
    const std::span<uint8_t> data(buffer.data() + filled, n);
    const uint32_t data_start = current + 4;  // modulo 2^32
    Expected<void, IoError> read;
    if (current <= UINT32_MAX - 4) {
      // Blocks laid out one after another (the usual case) are fetched together.
      uint64_t ahead = 0;
      bool follows = previous == UINT64_MAX || current == previous + block_size;
      if (follows && per_block != 0 && per_block < remaining) {
        const uint64_t needed = remaining / per_block + (remaining % per_block != 0 ? 1 : 0);
        ahead = std::min<uint64_t>(needed * block_size, ChainWindow::kReadAhead);
      }
      read = window.read_block(current, pointer_bytes, data, ahead);
    } else {
      read = window.read(current, pointer_bytes);
      if (read) read = window.read(data_start, data);
    }
    if (!read) return make_unexpected(DatError(std::move(read).error()));

    const uint32_t pointer = common::load_u32le(pointer_bytes);
    if (pointer == 0) {
      if (remaining > n) {
        auto tail = window.read(uint64_t{data_start} + n,
                                std::span<uint8_t>(buffer.data() + filled + n, remaining - n));
        if (!tail) return make_unexpected(DatError(std::move(tail).error()));
      }
      return {};
    }
    remaining -= n;
    filled += n;
    if (remaining == 0) return {};
    previous = current;
    current = pointer;
    if (!visited.insert(current)) {
      return make_unexpected(
          DatError(DatError::Corruption{"block chain at " + hex_offset(offset) + " reaches block " +
                                        hex_offset(current) + " a second time"}));
    }
    if (++blocks > limits_.max_chain_blocks) {
      return make_unexpected(DatError(
          DatError::Corruption{"block chain at " + hex_offset(offset) + " is longer than " +
                               std::to_string(limits_.max_chain_blocks) + " blocks"}));
    }
  }
}

}  // namespace tallowmere::dat

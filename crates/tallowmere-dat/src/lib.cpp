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
#include <charconv>
#include <memory>
#include <unordered_set>
#include <utility>

#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/utils.hpp"

namespace tallowmere::dat {

using common::IoError;
using common::read_u32;
using common::Record;

namespace {

// "0x" and `value` in lower-case hexadecimal without leading zeros.
std::string hex_offset(uint64_t value) {
  char digits[16];
  auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(digits, end);
}

uint32_t load_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

Expected<void, DatError> corruption(std::string text) {
  return make_unexpected(DatError(DatError::Corruption{std::move(text)}));
}

// Entries gathered in visit order, in fixed-size chunks so that a large directory is
// never copied while it grows; `drain_into` moves them into one exactly sized vector.
class EntryCollector {
 public:
  void push_back(const DatFileEntry& entry) {
    if (chunks_.empty() || last_fill_ == kChunk) {
      chunks_.push_back(std::make_unique<DatFileEntry[]>(kChunk));
      last_fill_ = 0;
    }
    chunks_.back()[last_fill_++] = entry;
    ++size_;
  }

  // Moves every entry into `out` (sized exactly), releasing each chunk once copied.
  void drain_into(std::vector<DatFileEntry>& out) {
    out.clear();
    out.reserve(size_);
    for (size_t c = 0; c < chunks_.size(); ++c) {
      size_t n = c + 1 == chunks_.size() ? last_fill_ : kChunk;
      out.insert(out.end(), chunks_[c].get(), chunks_[c].get() + n);
      chunks_[c].reset();
    }
    chunks_.clear();
    size_ = 0;
  }

 private:
  static constexpr size_t kChunk = 4096;
  std::vector<std::unique_ptr<DatFileEntry[]>> chunks_;
  size_t last_fill_ = 0;
  size_t size_ = 0;
};

}  // namespace

ParseResult<DatHeader> DatHeader::read(Cursor& cursor) {
  DatHeader h;
  Record rec(cursor, "DatHeader");
  rec.field("magic", TALLOWMERE_HERE, h.magic, read_u32);
  rec.field("block_size", TALLOWMERE_HERE, h.block_size, read_u32);
  rec.field("file_size", TALLOWMERE_HERE, h.file_size, read_u32);
  rec.field("dataset", TALLOWMERE_HERE, h.dataset, read_u32);
  rec.field("subset", TALLOWMERE_HERE, h.subset, read_u32);
  rec.field("free_head", TALLOWMERE_HERE, h.free_head, read_u32);
  rec.field("free_tail", TALLOWMERE_HERE, h.free_tail, read_u32);
  rec.field("free_count", TALLOWMERE_HERE, h.free_count, read_u32);
  rec.field("root_offset", TALLOWMERE_HERE, h.root_offset, read_u32);
  rec.field("new_lru", TALLOWMERE_HERE, h.new_lru, read_u32);
  rec.field("old_lru", TALLOWMERE_HERE, h.old_lru, read_u32);
  rec.field("use_lru", TALLOWMERE_HERE, h.use_lru, read_u32);
  rec.field("master_map_id", TALLOWMERE_HERE, h.master_map_id, read_u32);
  rec.field("engine_version", TALLOWMERE_HERE, h.engine_version, read_u32);
  rec.field("game_version", TALLOWMERE_HERE, h.game_version, read_u32);
  rec.field("version_string", TALLOWMERE_HERE, h.version_string,
            [](Cursor& c) { return read_byte_list(c, 16); });
  rec.field("version_minor", TALLOWMERE_HERE, h.version_minor, read_u32);
  return rec.finish(std::move(h));
}

ParseResult<DatFileEntry> DatFileEntry::read(Cursor& cursor) {
  DatFileEntry e;
  Record rec(cursor, "DatFileEntry");
  rec.field("bit_flags", TALLOWMERE_HERE, e.bit_flags, read_u32);
  rec.field("id", TALLOWMERE_HERE, e.id, read_u32);
  rec.field("offset", TALLOWMERE_HERE, e.offset, read_u32);
  rec.field("size", TALLOWMERE_HERE, e.size, read_u32);
  rec.field("timestamp", TALLOWMERE_HERE, e.timestamp, read_u32);
  rec.field("version", TALLOWMERE_HERE, e.version, read_u32);
  return rec.finish(e);
}

Expected<DatDatabase, DatError> DatDatabase::open(const std::string& path,
                                                  const ArchiveLimits& limits) {
  auto file_or = common::File::open_read_only(path);
  if (!file_or) return make_unexpected(DatError(DatError::PathError{path, file_or.error()}));
  common::File file = std::move(*file_or);

  // A short file simply yields fewer header bytes; the header record then fails at
  // the first field that is incomplete.
  uint8_t raw[kHeaderSize];
  auto got_or = file.read_at_most(kHeaderOffset, raw);
  if (!got_or) return make_unexpected(DatError(std::move(got_or).error()));
  Cursor cursor(std::span<const uint8_t>(raw, *got_or));
  auto header_or = DatHeader::read(cursor);
  if (!header_or) return make_unexpected(DatError(std::move(header_or).error()));

  auto length_or = file.size();
  if (!length_or) return make_unexpected(DatError(std::move(length_or).error()));

  DatDatabase db(std::move(*header_or), std::move(file), *length_or);
  auto loaded = db.read_directory(limits);
  if (!loaded) return make_unexpected(std::move(loaded).error());
  return db;
}

Expected<void, DatError> DatDatabase::read_directory(const ArchiveLimits& limits) {
  struct Pending {
    uint32_t offset;
    uint32_t depth;  // the root is at depth 1
  };
  // An explicit stack keeps any tree shape off the call stack. Children are pushed in
  // reverse branch order so that they are popped, and visited, in branch order.
  std::vector<Pending> stack;
  if (header_.root_offset != 0) stack.push_back({header_.root_offset, 1});
  // Every node is read once; an offset reached again means a cycle or a shared node,
  // which would make the walk endless or exponential.
  std::unordered_set<uint32_t> visited;
  EntryCollector collected;

  while (!stack.empty()) {
    Pending node = stack.back();
    stack.pop_back();
    if (!visited.insert(node.offset).second)
      return corruption("directory node at " + hex_offset(node.offset) + " is reached twice");
    if (node.depth > limits.max_directory_depth)
      return corruption("directory node at " + hex_offset(node.offset) + " is deeper than " +
                        std::to_string(limits.max_directory_depth) + " levels");

    auto bytes_or = read_file_data(node.offset, kNodeSize);
    if (!bytes_or) return make_unexpected(std::move(bytes_or).error());
    const std::vector<uint8_t>& bytes = *bytes_or;

    uint32_t branches[kNodeBranches];
    for (uint32_t j = 0; j < kNodeBranches; ++j) branches[j] = load_u32(&bytes[4 * j]);
    uint32_t entry_count = load_u32(&bytes[4 * kNodeBranches]);

    // A count above 61 runs the 62nd entry off the end of the node.
    Cursor cursor(bytes, kEntriesOffset);
    for (uint32_t k = 0; k < entry_count; ++k) {
      auto entry_or = DatFileEntry::read(cursor);
      if (!entry_or) return make_unexpected(DatError(std::move(entry_or).error()));
      collected.push_back(*entry_or);
    }

    if (branches[0] == 0) continue;  // a leaf: later branches are not looked at
    uint32_t last = std::min(entry_count, kNodeBranches - 1);
    for (uint32_t j = last + 1; j-- > 0;) {
      if (branches[j] != 0) stack.push_back({branches[j], node.depth + 1});
    }
  }

  // Sort by id; for equal ids the stable sort keeps visit order, and the last one in
  // visit order is the one that stays.
  collected.drain_into(entries_);
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; });
  size_t kept = 0;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (i + 1 < entries_.size() && entries_[i + 1].id == entries_[i].id) continue;
    entries_[kept++] = entries_[i];
  }
  entries_.resize(kept);
  entries_.shrink_to_fit();
  return {};
}

const DatFileEntry* DatDatabase::find(uint32_t id) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                             [](const DatFileEntry& e, uint32_t key) { return e.id < key; });
  return it != entries_.end() && it->id == id ? &*it : nullptr;
}

Expected<std::vector<uint8_t>, DatError> DatDatabase::get_file(uint32_t id) const {
  const DatFileEntry* entry = find(id);
  if (entry == nullptr) return make_unexpected(DatError(DatError::NotFound{id}));
  auto raw_or = read_file_data(entry->offset, entry->size);
  if (!raw_or || !entry->compressed()) return raw_or;
  std::vector<uint8_t> raw = std::move(*raw_or);
  return decompress_lrs(raw);
}

Expected<std::vector<uint8_t>, DatError> DatDatabase::read_file_data(uint32_t offset,
                                                                     uint32_t size) const {
  if (size == 0) return std::vector<uint8_t>();
  // Without revisiting blocks a chain cannot deliver more bytes than the file holds;
  // refusing here keeps a damaged size from allocating gigabytes.
  if (size > file_length_) return make_unexpected(DatError(IoError::fill_buffer()));

  std::vector<uint8_t> buffer(size);
  const uint32_t per_block = header_.block_size - 4;  // wraps for a block size below 4
  uint32_t current = offset;
  uint32_t filled = 0;
  uint32_t remaining = size;

  // A block size of exactly 4 carries no data, so only a 0 pointer ends the walk.
  // Brent's cycle detection finds a loop in constant memory: `saved` is compared
  // with every later block and moved forward at each power of two.
  uint32_t saved = current;
  uint64_t power = 1;
  uint64_t steps = 0;

  for (;;) {
    uint8_t pointer_bytes[4];
    // The data that follows a nonzero pointer is read in the same call; if the
    // pointer turns out to be 0, the rest of the payload follows it.
    uint32_t n = std::min(per_block, remaining);
    std::span<uint8_t> data(buffer.data() + filled, n);
    uint32_t data_start = current + 4;  // modulo 2^32
    bool together = current <= UINT32_MAX - 4;
    auto read = file_.read_exact_at(current, pointer_bytes, together ? data : std::span<uint8_t>());
    if (read && !together && n != 0) read = file_.read_exact_at(data_start, data);
    if (!read) return make_unexpected(DatError(std::move(read).error()));

    uint32_t pointer = load_u32(pointer_bytes);
    if (pointer == 0) {
      if (remaining > n) {
        std::span<uint8_t> rest(buffer.data() + filled + n, remaining - n);
        auto tail = file_.read_exact_at(uint64_t{data_start} + n, rest);
        if (!tail) return make_unexpected(DatError(std::move(tail).error()));
      }
      return buffer;
    }
    remaining -= n;
    filled += n;
    if (remaining == 0) return buffer;
    current = pointer;

    if (per_block == 0) {
      if (current == saved)
        return make_unexpected(
            DatError(DatError::Corruption{"block chain at " + hex_offset(offset) + " never ends"}));
      if (++steps == power) {
        saved = current;
        power *= 2;
        steps = 0;
      }
    }
  }
}

}  // namespace tallowmere::dat

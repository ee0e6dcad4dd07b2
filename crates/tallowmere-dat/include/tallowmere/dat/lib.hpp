// The archive: header, directory and payload access.
//
// An archive is a file of fixed-size blocks. The 80-byte header sits at offset 0x140;
// its `root_offset` names the root node of the directory tree, whose 1716-byte nodes
// list the files (id, flags, offset, size). A payload is stored as a chain of blocks,
// each starting with the 4-byte offset of the next block (0 for the last one); bit 0 of
// an entry's flags marks a compressed payload. All values are little-endian u32.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tallowmere/common/cursor.hpp"
#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/error.hpp"
#include "tallowmere/dat/payload_buffer.hpp"
#include "tallowmere/dat/source.hpp"

namespace tallowmere::dat {

inline constexpr uint64_t kHeaderOffset = 0x140;
inline constexpr uint32_t kHeaderSize = 80;
inline constexpr uint32_t kNodeSize = 1716;
inline constexpr uint32_t kNodeBranches = 62;
inline constexpr uint32_t kNodeEntries = 61;
inline constexpr uint32_t kEntrySize = 24;
inline constexpr uint32_t kEntriesOffset = 252;

// Limits on untrusted archive structure, kept in one place.
struct ArchiveLimits {
  // Deepest directory tree accepted; real trees have a handful of levels.
  uint32_t max_directory_depth = 256;
  // Longest block chain accepted, in blocks. A sound chain needs at most its size over
  // the data bytes per block; the limit bounds the walk's bookkeeping on hostile input
  // (4M blocks: payloads of 240 MiB at 64-byte blocks, more at larger ones).
  uint64_t max_chain_blocks = uint64_t{1} << 22;
  // Threads that load the directory while the archive is opened: 2 walks the root's
  // subtrees in two halves at once, on the calling thread and on one more; 1 (or 0)
  // keeps the walk on the calling thread. Larger values count as 2. The directory
  // loaded, and any error, are the same either way.
  uint32_t directory_threads = 2;
};

struct DatHeader {
  uint32_t magic = 0;
  uint32_t block_size = 0;
  uint32_t file_size = 0;
  uint32_t dataset = 0;
  uint32_t subset = 0;
  uint32_t free_head = 0;
  uint32_t free_tail = 0;
  uint32_t free_count = 0;
  uint32_t root_offset = 0;
  uint32_t new_lru = 0;
  uint32_t old_lru = 0;
  uint32_t use_lru = 0;
  uint32_t master_map_id = 0;
  uint32_t engine_version = 0;
  uint32_t game_version = 0;
  std::vector<uint8_t> version_string;  // exactly 16 raw bytes
  uint32_t version_minor = 0;

  // Declarative record read from the header bytes (the cursor starts at the header).
  [[nodiscard]] static common::ParseResult<DatHeader> read(common::Cursor& cursor) {
    return common::read_record<DatHeader>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

struct DatFileEntry {
  uint32_t bit_flags = 0;  // bit 0: compressed
  uint32_t id = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
  uint32_t timestamp = 0;
  uint32_t version = 0;

  bool compressed() const { return (bit_flags & 1) != 0; }
  [[nodiscard]] static common::ParseResult<DatFileEntry> read(common::Cursor& cursor) {
    return common::read_record<DatFileEntry>(cursor);
  }
  template <class A, class Self>
  static void describe(A& a, Self& self);
};

// A directory held in one block of memory that grows by moving pages, never bytes, so
// that loading a large directory touches each page once (and, in a large directory,
// mostly large pages).
class DirectoryTable {
 public:
  DirectoryTable() = default;
  DirectoryTable(DirectoryTable&& other) noexcept
      : memory_(std::move(other.memory_)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  DirectoryTable& operator=(DirectoryTable&& other) noexcept {
    std::swap(memory_, other.memory_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    return *this;
  }
  DirectoryTable(const DirectoryTable&) = delete;
  DirectoryTable& operator=(const DirectoryTable&) = delete;

  // Appends `count` entries; fails with std::bad_alloc like a vector would.
  void append(const DatFileEntry* entries, size_t count);
  // Appends `count` entries stored one after another in the directory's own layout
  // (24 bytes each, six little-endian u32 in field order).
  void append_stored(const uint8_t* stored, size_t count);
  // Gives back the unused room.
  void shrink_to_fit();
  // Takes room for `count` entries ahead, for a table about to be filled, when that
  // is large (see common::PageBuffer::reserve): the table then fills in place and in
  // large pages. Does nothing for a table that has room already, or when refused.
  void reserve(size_t count);

  const DatFileEntry* begin() const { return data(); }
  const DatFileEntry* end() const { return data() + size_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  operator std::span<const DatFileEntry>() const { return {data(), size_}; }

 private:
  DatFileEntry* data() const { return reinterpret_cast<DatFileEntry*>(memory_.data()); }
  // Room for `count` more entries.
  DatFileEntry* make_room(size_t count);
  common::PageBuffer memory_;  // whole pages, at least `capacity_` entries long
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// One open archive: header, the directory of every file, and the open file.
class DatDatabase {
 public:
  // Opens the archive at `path`: reads the header and loads the whole directory. The
  // same as open(open_file(path)).
  [[nodiscard]] static Expected<DatDatabase, DatError> open(const std::string& path,
                                                            const ArchiveLimits& limits = {});
  // Opens the file at `path` for reading as an archive, and no more: fails as open(path)
  // fails when the file cannot be had, with a PathError naming it.
  [[nodiscard]] static Expected<std::unique_ptr<const ByteSource>, DatError> open_file(
      const std::string& path);
  // Opens the archive held by `source` (a file, bytes in memory, a test's faulty source).
  [[nodiscard]] static Expected<DatDatabase, DatError> open(
      std::unique_ptr<const ByteSource> source, const ArchiveLimits& limits = {});

  DatDatabase(DatDatabase&&) noexcept = default;
  DatDatabase& operator=(DatDatabase&&) noexcept = default;
  DatDatabase(const DatDatabase&) = delete;
  DatDatabase& operator=(const DatDatabase&) = delete;

  const DatHeader& header() const { return header_; }

  // The payload of file `id`, decompressed when its entry is flagged so.
  [[nodiscard]] Expected<std::vector<uint8_t>, DatError> get_file(uint32_t id) const;
  // The same into `out`, resized to the payload: a caller fetching many files in turn
  // with one buffer reuses its memory instead of allocating per file. On failure the
  // content of `out` is unspecified.
  [[nodiscard]] Expected<void, DatError> get_file_into(uint32_t id,
                                                       std::vector<uint8_t>& out) const;
  // The same into a payload buffer, which is not zeroed before the payload is read
  // into it: the way to fetch many files in turn at the least cost.
  [[nodiscard]] Expected<void, DatError> get_file_into(uint32_t id, PayloadBuffer& out) const;

  // The directory entry of `id`, or null.
  [[nodiscard]] const DatFileEntry* find(uint32_t id) const;
  // Number of distinct file ids in the directory.
  size_t entry_count() const { return entries_.size(); }
  // Every directory entry, ordered by id.
  std::span<const DatFileEntry> entries() const { return entries_; }
  // Bytes held by the directory (for measurements).
  size_t directory_bytes() const { return entries_.capacity() * sizeof(DatFileEntry); }

  // The `size` bytes of the block chain that starts at absolute `offset`. Fails with
  // `Io` when a block lies beyond the file, and with `Corruption` when the chain
  // reaches a block it has already read or grows longer than the limit.
  [[nodiscard]] Expected<std::vector<uint8_t>, DatError> read_file_data(uint32_t offset,
                                                                        uint32_t size) const;

 private:
  DatDatabase(DatHeader header, std::unique_ptr<const ByteSource> source, uint64_t file_length,
              const ArchiveLimits& limits)
      : header_(std::move(header)),
        source_(std::move(source)),
        file_length_(file_length),
        limits_(limits) {}

  [[nodiscard]] Expected<void, DatError> read_directory(const ArchiveLimits& limits);
  // The bytes of the block chain at `offset` into `buffer`, which the chain fills;
  // fails as read_file_data does.
  [[nodiscard]] Expected<void, DatError> read_chain(uint32_t offset,
                                                    std::span<uint8_t> buffer) const;
  // get_file_into for either kind of buffer.
  template <class Buffer>
  [[nodiscard]] Expected<void, DatError> fetch_into(uint32_t id, Buffer& out) const;

  DatHeader header_;
  std::unique_ptr<const ByteSource> source_;
  uint64_t file_length_ = 0;
  ArchiveLimits limits_;
  // The directory, sorted by id with one entry per id: a compact map of 24 bytes per
  // entry, probed by binary search.
  DirectoryTable entries_;
};

}  // namespace tallowmere::dat

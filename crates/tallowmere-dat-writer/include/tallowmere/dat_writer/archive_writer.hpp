// ArchiveWriter: builds archive files in the format that dat::DatDatabase reads.
//
// Layout written: 320 zero bytes, the 80-byte header at 0x140, then blocks appended one
// after another (a free-running allocator; nothing is ever freed). A payload is a chain
// of `block_size` blocks, each starting with the u32 offset of the next block (0 for
// the last). A directory node is a 1716-byte payload: 62 u32 branch offsets, a u32
// entry count and 61 entries of 24 bytes.
//
// The directory is either built automatically from every file added (a balanced
// multi-level tree with nodes filled to capacity) or given explicitly: any tree shape
// (NodeSpec), raw branch offsets and entry counts, a raw root offset. Raw bytes may be
// written anywhere, so tests can lay out cyclic or damaged chains by hand.
//
// This is test and tooling support: misuse (an archive beyond 4 GiB) aborts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/io_error.hpp"
#include "tallowmere/dat/lib.hpp"

namespace tallowmere::writer {

// One directory node of an explicitly shaped tree.
struct NodeSpec {
  // The branch (0..61) this node takes in its parent; unused for a root.
  uint32_t branch = 0;
  // Entries in stored order (at most 61 are written).
  std::vector<dat::DatFileEntry> entries = {};
  // The stored entry count; defaults to the number of entries. May exceed 61.
  std::optional<uint32_t> entry_count = std::nullopt;
  // Raw branch offsets; a child in `children` replaces the branch it names.
  std::array<uint32_t, dat::kNodeBranches> branches{};
  std::vector<NodeSpec> children = {};
};

struct FileOptions {
  bool compress = false;   // store compress_lrs(payload) and set bit 0 of the flags
  uint32_t bit_flags = 0;  // stored flags (bit 0 is added when compressing)
  uint32_t timestamp = 0;
  uint32_t version = 0;
};

// The 80 header bytes as stored at 0x140; `version_string` is cut or zero-padded to 16.
std::vector<uint8_t> encode_header(const dat::DatHeader& header);

class ArchiveWriter {
 public:
  explicit ArchiveWriter(uint32_t block_size = 1024);

  // Every header field. `block_size` is the one chosen at construction; at finish
  // `root_offset` is set to the directory root and `file_size` to the archive's length
  // (unless keep_file_size() was called); the rest is written as set.
  dat::DatHeader& header() { return header_; }
  // Writes `header().file_size` as set instead of the archive's length.
  void keep_file_size() { keep_file_size_ = true; }

  // Stores `payload` as a block chain and lists it in the automatic directory.
  // Returns its directory entry.
  dat::DatFileEntry add_file(uint32_t id, std::span<const uint8_t> payload,
                             const FileOptions& options = {});
  // Lists `entry` in the automatic directory as it is (no payload written).
  void add_entry(const dat::DatFileEntry& entry) { auto_entries_.push_back(entry); }

  // Stores `stored` as a block chain; returns the offset of its first block. With a
  // block size of 4 or less, or a payload that fits one block, the chain is one block
  // whose pointer is 0 and whose data runs on past its end as needed.
  uint32_t write_chain(std::span<const uint8_t> stored);

  // Directory nodes. write_node writes the children first and returns the node's
  // offset; reserve_node allocates a zeroed node to be filled later by write_node_at
  // (for trees that refer back to themselves).
  uint32_t write_node(const NodeSpec& shape);
  uint32_t reserve_node();
  void write_node_at(uint32_t offset, const NodeSpec& shape);
  // Uses `offset` (any value: 0 for an empty directory, or a raw one) as the root
  // instead of the automatic tree.
  void set_root(uint32_t offset) { explicit_root_ = offset; }

  // Raw bytes: appended at the end, or placed at `offset` (growing the archive with
  // zero bytes as needed). Return the offset written at.
  uint32_t append_raw(std::span<const uint8_t> bytes);
  void write_raw(uint64_t offset, std::span<const uint8_t> bytes);
  void write_u32(uint64_t offset, uint32_t value);
  // Allocates `size` zero bytes at the end; returns their offset.
  uint32_t allocate(uint64_t size);
  uint64_t size() const { return image_.size(); }

  // Builds the directory (unless a root was set), writes the header and returns the
  // whole archive. The writer is spent afterwards.
  std::vector<uint8_t> finish();
  // finish() written to `path`.
  [[nodiscard]] Expected<void, common::IoError> finish_to(const std::string& path);

 private:
  uint32_t build_balanced(std::span<const dat::DatFileEntry> sorted);
  std::vector<uint8_t> encode_node(const NodeSpec& shape, const std::array<uint32_t, 62>& branches);
  // Writes `bytes` into the chain already laid out at `offset`.
  void fill_chain(uint32_t offset, std::span<const uint8_t> bytes);

  dat::DatHeader header_;
  bool keep_file_size_ = false;
  std::optional<uint32_t> explicit_root_;
  std::vector<dat::DatFileEntry> auto_entries_;
  std::vector<uint8_t> image_;
};

// A file in the temporary directory ($TMPDIR, else /tmp), removed when destroyed.
class TempFile {
 public:
  TempFile();
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  // Replaces the content with `bytes`.
  void write(std::span<const uint8_t> bytes) const;

 private:
  std::string path_;
};

// Opens a copy of `bytes` as an archive held in memory.
[[nodiscard]] Expected<dat::DatDatabase, dat::DatError> open_archive_bytes(
    std::span<const uint8_t> bytes, const dat::ArchiveLimits& limits = {});

}  // namespace tallowmere::writer

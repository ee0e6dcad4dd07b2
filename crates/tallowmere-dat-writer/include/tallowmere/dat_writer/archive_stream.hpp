// ArchiveStream: writes an archive straight to a file, for archives too large to build
// in memory. Only the directory entries (24 bytes per file) are held until the end.
//
// Layout written, in the format that dat::DatDatabase reads: 0x190 bytes reserved for
// the header (320 zero bytes, then the 80-byte header at 0x140), then every payload as
// a chain of whole `block_size` blocks in the order added, each block starting with the
// u32 offset of the next one (0 for the last), then an optional free list, then the
// directory. The directory is a B-tree over the ids built bottom-up: leaves hold up to
// 61 entries, inner nodes up to 61 entries and 62 children, and every level is spread
// evenly over the fewest nodes that hold it, so nodes are filled close to capacity.
// The header is written last, with `root_offset` and `file_size` set.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/io_error.hpp"
#include "tallowmere/dat/lib.hpp"

namespace tallowmere::writer {

class ArchiveStream {
 public:
  // Creates (or truncates) the archive at `path`. `block_size` must be above 4.
  [[nodiscard]] static Expected<ArchiveStream, common::IoError> create(const std::string& path,
                                                                       uint32_t block_size);

  ArchiveStream(ArchiveStream&&) noexcept = default;
  ArchiveStream& operator=(ArchiveStream&&) noexcept = default;
  // Closes the file; an archive that was not finished is left incomplete.
  ~ArchiveStream() = default;

  // Header fields written by finish(); `block_size`, `root_offset` and `file_size` are
  // set there, and free_head, free_tail and free_count by add_free_blocks().
  dat::DatHeader& header() { return header_; }

  // Stores `stored` (the payload as it sits in the archive, already compressed when
  // entry.bit_flags has bit 0) and lists `entry` with its offset and size filled in.
  // A nonzero `scatter` lays out a chain of three or more blocks in an order shuffled
  // by that seed, so that the chain jumps back and forth inside its own blocks.
  // Returns the listed entry, or fails with the I/O error of the write, or when the
  // archive would grow beyond the 32-bit offsets.
  [[nodiscard]] Expected<dat::DatFileEntry, common::IoError> add_stored(
      dat::DatFileEntry entry, std::span<const uint8_t> stored, uint64_t scatter = 0);

  // Appends `count` unused blocks linked into a free list and records its head, tail
  // and length in the header.
  [[nodiscard]] Expected<void, common::IoError> add_free_blocks(uint32_t count);

  // Writes the directory and the header and closes the file. One entry per id stays:
  // the one added last. The stream is spent afterwards.
  [[nodiscard]] Expected<void, common::IoError> finish();

  uint32_t block_size() const { return header_.block_size; }
  // Bytes written so far (the archive's length once finished).
  uint64_t size() const { return size_; }
  size_t files_added() const { return entries_.size(); }

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  ArchiveStream(std::unique_ptr<std::FILE, Closer> file, uint32_t block_size);

  // Reserves `blocks` whole blocks at the end; returns the offset of the first.
  [[nodiscard]] Expected<uint32_t, common::IoError> reserve_blocks(uint64_t blocks);
  [[nodiscard]] Expected<void, common::IoError> append(std::span<const uint8_t> bytes);
  // Writes `bytes` as a chain of contiguous blocks; returns the first block's offset.
  [[nodiscard]] Expected<uint32_t, common::IoError> write_chain(std::span<const uint8_t> bytes,
                                                                uint64_t scatter);
  [[nodiscard]] Expected<uint32_t, common::IoError> write_node(
      std::span<const dat::DatFileEntry> entries, std::span<const uint32_t> children);
  [[nodiscard]] Expected<uint32_t, common::IoError> write_directory();

  std::unique_ptr<std::FILE, Closer> file_;
  dat::DatHeader header_;
  uint64_t size_ = 0;
  std::vector<dat::DatFileEntry> entries_;
  std::vector<uint8_t> buffer_;  // reused for the blocks of one chain
};

}  // namespace tallowmere::writer

#include "tallowmere/dat_writer/archive_stream.hpp"

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <utility>

#include "tallowmere/common/endian.hpp"
#include "tallowmere/common/splitmix.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"

namespace tallowmere::writer {

using common::IoError;
using dat::DatFileEntry;

namespace {

constexpr uint64_t kReserved = dat::kHeaderOffset + dat::kHeaderSize;
constexpr uint64_t kOffsetLimit = uint64_t{1} << 32;

IoError too_large() {
  return IoError{common::IoErrorKind::InvalidInput, "archive grows beyond 4 GiB", 0};
}

IoError last_error() {
  return IoError::from_errno(errno != 0 ? errno : EIO);
}

}  // namespace

ArchiveStream::ArchiveStream(std::unique_ptr<std::FILE, Closer> file, uint32_t block_size)
    : file_(std::move(file)), size_(kReserved) {
  header_.block_size = block_size;
  header_.version_string.assign(16, 0);
}

Expected<ArchiveStream, IoError> ArchiveStream::create(const std::string& path,
                                                       uint32_t block_size) {
  if (block_size <= 4) {
    return make_unexpected(
        IoError{common::IoErrorKind::InvalidInput, "block size of 4 or less", 0});
  }
  errno = 0;
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "wb"));
  if (!file) return make_unexpected(last_error());
  std::setvbuf(file.get(), nullptr, _IOFBF, size_t{1} << 20);
  ArchiveStream stream(std::move(file), block_size);
  std::vector<uint8_t> reserved(kReserved, 0);
  if (std::fwrite(reserved.data(), 1, reserved.size(), stream.file_.get()) != reserved.size()) {
    return make_unexpected(last_error());
  }
  return stream;
}

Expected<void, IoError> ArchiveStream::append(std::span<const uint8_t> bytes) {
  if (bytes.size() > kOffsetLimit - size_) return make_unexpected(too_large());
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
    return make_unexpected(last_error());
  }
  size_ += bytes.size();
  return {};
}

Expected<uint32_t, IoError> ArchiveStream::reserve_blocks(uint64_t blocks) {
  const uint64_t block_size = header_.block_size;
  if (blocks > (kOffsetLimit - size_) / block_size) return make_unexpected(too_large());
  return static_cast<uint32_t>(size_);
}

Expected<uint32_t, IoError> ArchiveStream::write_chain(std::span<const uint8_t> bytes,
                                                       uint64_t scatter) {
  const uint64_t block_size = header_.block_size;
  const uint64_t per_block = block_size - 4;
  const uint64_t blocks = std::max<uint64_t>(1, (bytes.size() + per_block - 1) / per_block);
  auto first_or = reserve_blocks(blocks);
  if (!first_or) return first_or;
  const uint64_t first = *first_or;

  // slot[i]: where block i of the chain sits among the reserved blocks.
  std::vector<uint64_t> slot(blocks);
  std::iota(slot.begin(), slot.end(), 0);
  if (scatter != 0 && blocks >= 3) {
    common::SplitMix64 random(scatter);
    for (uint64_t i = blocks - 1; i > 0; --i) std::swap(slot[i], slot[random.next() % (i + 1)]);
  }

  buffer_.assign(blocks * block_size, 0);
  for (uint64_t b = 0; b < blocks; ++b) {
    uint8_t* block = buffer_.data() + slot[b] * block_size;
    if (b + 1 < blocks)
      common::store_u32le(block, static_cast<uint32_t>(first + slot[b + 1] * block_size));
    const uint64_t begin = b * per_block;
    const uint64_t end = std::min<uint64_t>(begin + per_block, bytes.size());
    if (begin < end)
      std::copy(bytes.begin() + static_cast<ptrdiff_t>(begin),
                bytes.begin() + static_cast<ptrdiff_t>(end), block + 4);
  }
  auto written = append(buffer_);
  if (!written) return make_unexpected(written.error());
  return static_cast<uint32_t>(first + slot[0] * block_size);
}

Expected<DatFileEntry, IoError> ArchiveStream::add_stored(DatFileEntry entry,
                                                          std::span<const uint8_t> stored,
                                                          uint64_t scatter) {
  if (stored.size() > UINT32_MAX) return make_unexpected(too_large());
  auto offset = write_chain(stored, scatter);
  if (!offset) return make_unexpected(offset.error());
  entry.offset = *offset;
  entry.size = static_cast<uint32_t>(stored.size());
  entries_.push_back(entry);
  return entry;
}

Expected<void, IoError> ArchiveStream::add_free_blocks(uint32_t count) {
  if (count == 0) return {};
  const uint64_t block_size = header_.block_size;
  auto first = reserve_blocks(count);
  if (!first) return make_unexpected(first.error());
  buffer_.assign(count * block_size, 0);
  for (uint64_t b = 0; b + 1 < count; ++b) {
    common::store_u32le(buffer_.data() + b * block_size,
                        static_cast<uint32_t>(*first + (b + 1) * block_size));
  }
  auto written = append(buffer_);
  if (!written) return written;
  header_.free_head = *first;
  header_.free_tail = static_cast<uint32_t>(*first + (count - 1) * block_size);
  header_.free_count = count;
  return {};
}

Expected<uint32_t, IoError> ArchiveStream::write_node(std::span<const DatFileEntry> entries,
                                                      std::span<const uint32_t> children) {
  ByteWriter w;
  for (uint32_t b = 0; b < dat::kNodeBranches; ++b) w.u32(b < children.size() ? children[b] : 0);
  w.u32(static_cast<uint32_t>(entries.size()));
  for (const DatFileEntry& e : entries) {
    w.u32(e.bit_flags).u32(e.id).u32(e.offset).u32(e.size).u32(e.timestamp).u32(e.version);
  }
  w.zeros(dat::kNodeSize - w.size());
  return write_chain(w.view(), 0);
}

Expected<uint32_t, IoError> ArchiveStream::write_directory() {
  if (entries_.empty()) return 0u;
  // One entry per id, the one added last.
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; });
  std::vector<DatFileEntry> sorted;
  sorted.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (i + 1 < entries_.size() && entries_[i + 1].id == entries_[i].id) continue;
    sorted.push_back(entries_[i]);
  }
  entries_.clear();
  entries_.shrink_to_fit();

  // Leaves: the fewest that hold every entry but the separators between them.
  const uint64_t n = sorted.size();
  const uint64_t leaves = (n + 1 + dat::kNodeBranches - 1) / dat::kNodeBranches;
  const uint64_t in_leaves = n - (leaves - 1);
  std::vector<uint32_t> nodes;        // offsets of the nodes of the current level
  std::vector<DatFileEntry> between;  // between[i] separates nodes[i] and nodes[i + 1]
  size_t at = 0;
  for (uint64_t l = 0; l < leaves; ++l) {
    const size_t take = in_leaves / leaves + (l < in_leaves % leaves ? 1 : 0);
    auto offset = write_node(std::span(sorted).subspan(at, take), {});
    if (!offset) return offset;
    nodes.push_back(*offset);
    at += take;
    if (l + 1 < leaves) between.push_back(sorted[at++]);
  }

  // Each upper level groups up to 62 nodes of the level below under one node, with the
  // separators inside a group as its entries; the separators between groups move up.
  while (nodes.size() > 1) {
    const size_t m = nodes.size();
    const size_t groups = (m + dat::kNodeBranches - 1) / dat::kNodeBranches;
    std::vector<uint32_t> upper;
    std::vector<DatFileEntry> upper_between;
    size_t first = 0;
    for (size_t g = 0; g < groups; ++g) {
      const size_t take = m / groups + (g < m % groups ? 1 : 0);
      auto offset = write_node(std::span(between).subspan(first, take - 1),
                               std::span(nodes).subspan(first, take));
      if (!offset) return offset;
      upper.push_back(*offset);
      first += take;
      if (g + 1 < groups) upper_between.push_back(between[first - 1]);
    }
    nodes = std::move(upper);
    between = std::move(upper_between);
  }
  return nodes.front();
}

Expected<void, IoError> ArchiveStream::finish() {
  auto root = write_directory();
  if (!root) return make_unexpected(root.error());
  header_.root_offset = *root;
  header_.file_size = static_cast<uint32_t>(size_);
  std::vector<uint8_t> header = encode_header(header_);
  errno = 0;
  if (std::fseek(file_.get(), static_cast<long>(dat::kHeaderOffset), SEEK_SET) != 0 ||
      std::fwrite(header.data(), 1, header.size(), file_.get()) != header.size()) {
    return make_unexpected(last_error());
  }
  std::FILE* file = file_.release();
  errno = 0;
  if (std::fclose(file) != 0) return make_unexpected(last_error());
  return {};
}

}  // namespace tallowmere::writer

#include "tallowmere/dat_writer/archive_writer.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tallowmere/common/endian.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"
#include "tallowmere/dat_writer/compressor.hpp"

namespace tallowmere::writer {

using dat::DatFileEntry;

namespace {

void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "ArchiveWriter: %s\n", what);
    std::abort();
  }
}

// Entries a full tree of `height` levels holds: 61 per node, 62 children per node.
uint64_t tree_capacity(int height) {
  uint64_t capacity = 0;
  for (int h = 0; h < height; ++h) capacity = dat::kNodeEntries + dat::kNodeBranches * capacity;
  return capacity;
}

}  // namespace

ArchiveWriter::ArchiveWriter(uint32_t block_size) : image_(dat::kHeaderOffset + dat::kHeaderSize) {
  header_.block_size = block_size;
  header_.version_string.assign(16, 0);
}

uint32_t ArchiveWriter::allocate(uint64_t size) {
  uint64_t offset = image_.size();
  require(offset + size <= UINT32_MAX, "archive grows beyond 4 GiB");
  image_.resize(offset + size);
  return static_cast<uint32_t>(offset);
}

uint32_t ArchiveWriter::append_raw(std::span<const uint8_t> bytes) {
  uint32_t offset = allocate(bytes.size());
  std::copy(bytes.begin(), bytes.end(), image_.begin() + offset);
  return offset;
}

void ArchiveWriter::write_raw(uint64_t offset, std::span<const uint8_t> bytes) {
  if (offset + bytes.size() > image_.size()) allocate(offset + bytes.size() - image_.size());
  std::copy(bytes.begin(), bytes.end(), image_.begin() + static_cast<ptrdiff_t>(offset));
}

void ArchiveWriter::write_u32(uint64_t offset, uint32_t value) {
  uint8_t bytes[4];
  common::store_u32le(bytes, value);
  write_raw(offset, bytes);
}

uint32_t ArchiveWriter::write_chain(std::span<const uint8_t> stored) {
  const uint32_t block_size = header_.block_size;
  const uint32_t per_block = block_size - 4;  // wraps below 4: one block reads it all
  if (per_block == 0 || per_block >= stored.size()) {
    // One block; pad it to a whole block unless the block size is absurdly large.
    uint64_t length = 4 + stored.size();
    if (block_size > length && block_size <= (1u << 20)) length = block_size;
    uint32_t offset = allocate(length);
    std::copy(stored.begin(), stored.end(), image_.begin() + offset + 4);
    return offset;
  }
  uint64_t blocks = (stored.size() + per_block - 1) / per_block;
  uint32_t first = allocate(blocks * block_size);
  for (uint64_t b = 0; b < blocks; ++b) {
    uint64_t at = first + b * block_size;
    if (b + 1 < blocks) write_u32(at, static_cast<uint32_t>(at + block_size));
    uint64_t begin = b * per_block;
    uint64_t end = std::min<uint64_t>(begin + per_block, stored.size());
    std::copy(stored.begin() + static_cast<ptrdiff_t>(begin),
              stored.begin() + static_cast<ptrdiff_t>(end),
              image_.begin() + static_cast<ptrdiff_t>(at + 4));
  }
  return first;
}

void ArchiveWriter::fill_chain(uint32_t offset, std::span<const uint8_t> bytes) {
  const uint32_t per_block = header_.block_size - 4;
  uint64_t current = offset;
  size_t done = 0;
  while (done < bytes.size()) {
    uint32_t next = common::load_u32le(&image_[current]);
    size_t n = next == 0 ? bytes.size() - done : std::min<size_t>(per_block, bytes.size() - done);
    write_raw(current + 4, bytes.subspan(done, n));
    done += n;
    current = next;
  }
}

DatFileEntry ArchiveWriter::add_file(uint32_t id, std::span<const uint8_t> payload,
                                     const FileOptions& options) {
  DatFileEntry entry;
  entry.id = id;
  entry.bit_flags = options.bit_flags | (options.compress ? 1u : 0u);
  entry.timestamp = options.timestamp;
  entry.version = options.version;
  if (options.compress) {
    std::vector<uint8_t> stored = compress_lrs(payload);
    entry.offset = write_chain(stored);
    entry.size = static_cast<uint32_t>(stored.size());
  } else {
    entry.offset = write_chain(payload);
    entry.size = static_cast<uint32_t>(payload.size());
  }
  auto_entries_.push_back(entry);
  return entry;
}

std::vector<uint8_t> ArchiveWriter::encode_node(const NodeSpec& shape,
                                                const std::array<uint32_t, 62>& branches) {
  ByteWriter w;
  for (uint32_t b : branches) w.u32(b);
  w.u32(shape.entry_count.value_or(static_cast<uint32_t>(shape.entries.size())));
  size_t n = std::min<size_t>(shape.entries.size(), dat::kNodeEntries);
  for (size_t k = 0; k < n; ++k) {
    const DatFileEntry& e = shape.entries[k];
    w.u32(e.bit_flags).u32(e.id).u32(e.offset).u32(e.size).u32(e.timestamp).u32(e.version);
  }
  w.zeros(dat::kNodeSize - w.size());
  return w.take();
}

uint32_t ArchiveWriter::write_node(const NodeSpec& shape) {
  std::array<uint32_t, 62> branches = shape.branches;
  for (const NodeSpec& child : shape.children) {
    require(child.branch < dat::kNodeBranches, "branch index beyond 61");
    branches[child.branch] = write_node(child);
  }
  return write_chain(encode_node(shape, branches));
}

uint32_t ArchiveWriter::reserve_node() {
  return write_chain(std::vector<uint8_t>(dat::kNodeSize));
}

void ArchiveWriter::write_node_at(uint32_t offset, const NodeSpec& shape) {
  std::array<uint32_t, 62> branches = shape.branches;
  for (const NodeSpec& child : shape.children) {
    require(child.branch < dat::kNodeBranches, "branch index beyond 61");
    branches[child.branch] = write_node(child);
  }
  fill_chain(offset, encode_node(shape, branches));
}

// A B-tree over entries sorted by id: a leaf holds up to 61 entries; an inner node with
// k entries has k + 1 children holding the ids between them. The height is the least
// that fits, and entries are spread evenly so that nodes are close to full.
uint32_t ArchiveWriter::build_balanced(std::span<const DatFileEntry> sorted) {
  const uint64_t n = sorted.size();
  NodeSpec node;
  if (n <= dat::kNodeEntries) {
    node.entries.assign(sorted.begin(), sorted.end());
    return write_chain(encode_node(node, node.branches));
  }
  int height = 2;
  while (tree_capacity(height) < n) ++height;
  const uint64_t below = tree_capacity(height - 1);
  const uint64_t children = (n + 1 + below) / (below + 1);  // ceil((n + 1) / (below + 1))
  const uint64_t in_children = n - (children - 1);
  std::array<uint32_t, 62> branches{};
  uint64_t at = 0;
  for (uint64_t c = 0; c < children; ++c) {
    uint64_t take = in_children / children + (c < in_children % children ? 1 : 0);
    branches[c] = build_balanced(sorted.subspan(at, take));
    at += take;
    if (c + 1 < children) node.entries.push_back(sorted[at++]);
  }
  return write_chain(encode_node(node, branches));
}

std::vector<uint8_t> encode_header(const dat::DatHeader& h) {
  ByteWriter w;
  w.u32(h.magic).u32(h.block_size).u32(h.file_size).u32(h.dataset).u32(h.subset);
  w.u32(h.free_head).u32(h.free_tail).u32(h.free_count).u32(h.root_offset);
  w.u32(h.new_lru).u32(h.old_lru).u32(h.use_lru).u32(h.master_map_id);
  w.u32(h.engine_version).u32(h.game_version);
  std::vector<uint8_t> version(16, 0);
  std::copy_n(h.version_string.begin(), std::min<size_t>(16, h.version_string.size()),
              version.begin());
  w.bytes(version).u32(h.version_minor);
  return w.take();
}

std::vector<uint8_t> ArchiveWriter::finish() {
  uint32_t root = 0;
  if (explicit_root_) {
    root = *explicit_root_;
  } else if (!auto_entries_.empty()) {
    // One entry per id, the one added last: sort positions by (id, position).
    std::vector<size_t> order(auto_entries_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      return auto_entries_[a].id != auto_entries_[b].id ? auto_entries_[a].id < auto_entries_[b].id
                                                        : a < b;
    });
    std::vector<DatFileEntry> unique;
    unique.reserve(order.size());
    for (size_t k = 0; k < order.size(); ++k) {
      if (k + 1 < order.size() && auto_entries_[order[k + 1]].id == auto_entries_[order[k]].id)
        continue;
      unique.push_back(auto_entries_[order[k]]);
    }
    auto_entries_.clear();
    auto_entries_.shrink_to_fit();
    root = build_balanced(unique);
  }
  header_.root_offset = root;
  if (!keep_file_size_) {
    require(image_.size() <= UINT32_MAX, "archive grows beyond 4 GiB");
    header_.file_size = static_cast<uint32_t>(image_.size());
  }

  const std::vector<uint8_t> header = encode_header(header_);
  std::copy(header.begin(), header.end(), image_.begin() + dat::kHeaderOffset);
  return std::move(image_);
}

Expected<void, common::IoError> ArchiveWriter::finish_to(const std::string& path) {
  std::vector<uint8_t> bytes = finish();
  return common::write_file(path, bytes);
}

TempFile::TempFile() {
  const std::string dir = common::read_env("TMPDIR").value_or("");
  std::string pattern = (dir.empty() ? std::string("/tmp") : dir) + "/tallowmere-XXXXXX";
  int fd = ::mkstemp(pattern.data());
  require(fd >= 0, "cannot create a temporary file");
  ::close(fd);
  path_ = std::move(pattern);
}

TempFile::~TempFile() {
  ::unlink(path_.c_str());
}

void TempFile::write(std::span<const uint8_t> bytes) const {
  require(common::write_file(path_, bytes).has_value(), "cannot write a temporary file");
}

Expected<dat::DatDatabase, dat::DatError> open_archive_bytes(std::span<const uint8_t> bytes,
                                                             const dat::ArchiveLimits& limits) {
  return dat::DatDatabase::open(
      std::make_unique<dat::MemorySource>(std::vector<uint8_t>(bytes.begin(), bytes.end())),
      limits);
}

}  // namespace tallowmere::writer

// Cost of opening a large archive: reading the header and loading a directory of one
// million entries (a cell-archive-like layout: block size 256, ids of the form
// xxyyFFFF, xxyyFFFE and xxyy01nn), and the memory the loaded directory keeps; beside
// it, the cost of reading the directory's nodes and nothing more.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tallowmere/common/endian.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"

namespace {

using tallowmere::dat::DatDatabase;
using tallowmere::dat::DatFileEntry;
using tallowmere::writer::ArchiveWriter;
using tallowmere::writer::TempFile;

constexpr uint32_t kEntries = 1000000;

void write_archive(const std::string& path) {
  ArchiveWriter w(256);
  // Payloads are shared between entries: only the directory is measured.
  std::vector<uint32_t> payloads;
  for (uint32_t p = 0; p < 64; ++p) {
    std::vector<uint8_t> bytes(200 + p * 7, static_cast<uint8_t>(p));
    payloads.push_back(w.write_chain(bytes));
  }
  uint32_t count = 0;
  for (uint32_t landblock = 0; count < kEntries; ++landblock) {
    const uint32_t base = landblock << 16;
    for (uint32_t low = 0; low < 16 && count < kEntries; ++low, ++count) {
      uint32_t id = base | (low < 2 ? 0xFFFF - low : 0x0100 + low - 2);
      w.add_entry(
          DatFileEntry{.bit_flags = 0, .id = id, .offset = payloads[count % 64], .size = 200});
    }
  }
  if (!w.finish_to(path)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

// The archive, written once per process to a temporary file. When
// TALLOWMERE_BENCH_ARCHIVE names a path, the archive there is used, and written there
// first if missing, so that a second run measures opening alone (for example its peak
// memory under /usr/bin/time -v).
const std::string& archive_path() {
  static const std::string path = [] {
    const std::string chosen =
        tallowmere::common::read_env("TALLOWMERE_BENCH_ARCHIVE").value_or("");
    if (!chosen.empty()) {
      if (!tallowmere::common::path_exists(chosen)) write_archive(chosen);
      return chosen;
    }
    static TempFile temp;
    write_archive(temp.path());
    return temp.path();
  }();
  return path;
}

void BM_OpenArchive(benchmark::State& state) {
  const std::string& path = archive_path();
  size_t entries = 0, bytes = 0;
  for (auto _ : state) {
    auto db = DatDatabase::open(path);
    if (!db) {
      state.SkipWithError(db.error().text().c_str());
      return;
    }
    entries = db->entry_count();
    bytes = db->directory_bytes();
  }
  state.counters["entries"] = static_cast<double>(entries);
  state.counters["bytes_per_entry"] = static_cast<double>(bytes) / static_cast<double>(entries);
}
BENCHMARK(BM_OpenArchive)->Unit(benchmark::kMillisecond);

// The floor of an open: the directory nodes alone, read with the same positioned reads
// (each node's blocks fetched together when they lie one after another) and walked by
// their branch offsets, without decoding a single entry or keeping anything. Returns
// the number of nodes, 0 on any failure.
size_t read_directory_nodes(const std::string& path) {
  auto file = tallowmere::common::File::open_read_only(path);
  if (!file) return 0;
  uint8_t header[80];
  if (auto got = file->read_some_at(0x140, header); !got || *got != sizeof header) return 0;
  const uint32_t block_size = tallowmere::common::load_u32le(header + 4);
  const uint32_t root = tallowmere::common::load_u32le(header + 32);
  constexpr uint32_t kNodeSize = 1716;
  const uint32_t per_block = block_size - 4;
  const uint32_t blocks = (kNodeSize + per_block - 1) / per_block;
  std::vector<uint8_t> raw(size_t{blocks} * block_size);
  uint8_t node[kNodeSize];
  std::vector<uint32_t> pending;
  if (root != 0) pending.push_back(root);
  size_t nodes = 0;
  while (!pending.empty()) {
    uint32_t at = pending.back();
    pending.pop_back();
    // The node's chain: one read for all of its blocks, another wherever the chain jumps.
    uint64_t window = at;
    size_t have = 0;
    if (auto got = file->read_some_at(at, raw); got) have = *got;
    uint32_t filled = 0;
    while (filled < kNodeSize) {
      if (at < window || at + uint64_t{block_size} > window + have) {
        window = at;
        auto got = file->read_some_at(at, raw);
        if (!got || *got < 4) return 0;
        have = *got;
      }
      const uint8_t* block = raw.data() + (at - window);
      const uint32_t n = std::min(per_block, kNodeSize - filled);
      std::copy_n(block + 4, n, node + filled);
      filled += n;
      at = tallowmere::common::load_u32le(block);
      if (at == 0 && filled < kNodeSize) return 0;
    }
    ++nodes;
    const uint32_t count = tallowmere::common::load_u32le(node + 62 * 4);
    if (tallowmere::common::load_u32le(node) == 0) continue;  // a leaf
    for (uint32_t j = std::min(count, 61u) + 1; j-- > 0;) {
      const uint32_t child = tallowmere::common::load_u32le(node + 4 * j);
      if (child != 0) pending.push_back(child);
    }
  }
  return nodes;
}

void BM_ReadDirectoryNodes(benchmark::State& state) {
  const std::string& path = archive_path();
  size_t nodes = 0;
  for (auto _ : state) nodes = read_directory_nodes(path);
  if (nodes == 0) state.SkipWithError("cannot walk the directory nodes");
  state.counters["nodes"] = static_cast<double>(nodes);
}
BENCHMARK(BM_ReadDirectoryNodes)->Unit(benchmark::kMillisecond);

// The same two, once each: run alone (--benchmark_filter) with TALLOWMERE_BENCH_ARCHIVE
// naming an archive already written, they measure a fresh process, whose first open
// pays for every page of heap it touches (bench/open_fresh.sh does this).
BENCHMARK(BM_OpenArchive)
    ->Name("BM_OpenArchiveFresh")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDirectoryNodes)
    ->Name("BM_ReadDirectoryNodesFresh")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_FindEntry(benchmark::State& state) {
  auto db = DatDatabase::open(archive_path());
  if (!db) {
    state.SkipWithError(db.error().text().c_str());
    return;
  }
  uint32_t landblock = 0;
  for (auto _ : state) {
    landblock = (landblock * 1103515245u + 12345u) % (kEntries / 16);
    benchmark::DoNotOptimize(db->find(landblock << 16 | 0xFFFE));
  }
}
BENCHMARK(BM_FindEntry);

}  // namespace

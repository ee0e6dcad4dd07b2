// Cost of opening a large archive: reading the header and loading a directory of one
// million entries (a cell-archive-like layout: block size 256, ids of the form
// xxyyFFFF, xxyyFFFE and xxyy01nn), and the memory the loaded directory keeps.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

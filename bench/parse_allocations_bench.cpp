// Heap allocations made by parsing one record, per record type: every graphics object
// (0x01xxxxxx), setup model (0x02xxxxxx) and scene (0x12xxxxxx) of a generated demo
// world's portal archive is fetched, then parsed with a counting allocator in place.
// Only the parse is counted, not the fetch; the parsed record is destroyed inside the
// counted span, so its frees count as well.
//
// Counters per record type: records parsed, allocations per record (mean and maximum),
// and allocations per element (vertices + polygons + BSP nodes for a graphics object,
// parts for a setup model, objects for a scene). A parse whose allocations are bounded by
// a constant shows a flat maximum and a per-element figure falling as records grow. The
// parsers fill a per-thread scratch record and copy it out at its exact size; the
// scratch grows with the largest record seen so far, so the first iteration of a fresh
// process also counts that growth (run with --benchmark_min_time=0 to see it).
//
// The archive is the one named by TALLOWMERE_PORTAL_DAT, or else a demo world written
// to a temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "tallowmere/common/cursor.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/worldgen/worldgen.hpp"

namespace {

std::atomic<uint64_t> g_allocations{0};

}  // namespace

// The counting allocator: every global allocation of this program passes here. Memory
// comes from malloc and goes back to free; GCC cannot see that the two pairs match.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

namespace ft = tallowmere::dat::file_type;
using tallowmere::common::Cursor;
using tallowmere::dat::DatDatabase;

const DatDatabase& portal() {
  static const DatDatabase db = [] {
    std::string path = tallowmere::common::read_env("TALLOWMERE_PORTAL_DAT").value_or("");
    if (path.empty()) {
      // Removed when the program ends.
      static const struct Folder {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("parse-allocations-" + std::to_string(::getpid()));
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() {
          std::error_code ignored;
          std::filesystem::remove_all(path, ignored);
        }
      } folder;
      const auto& dir = folder.path;
      path = (dir / "portal.dat").string();
      tallowmere::worldgen::Options options;
      options.scale = tallowmere::worldgen::Scale::Demo;
      auto world = tallowmere::worldgen::generate_world(options, path, (dir / "cell.dat").string());
      if (!world) std::fprintf(stderr, "cannot write the demo world to %s\n", dir.c_str());
    }
    auto opened = DatDatabase::open(path);
    if (!opened) {
      std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), opened.error().text().c_str());
      std::exit(1);
    }
    return std::move(*opened);
  }();
  return db;
}

std::vector<std::vector<uint8_t>> payloads_of_type(uint32_t high_byte) {
  std::vector<std::vector<uint8_t>> out;
  for (const auto& entry : portal().entries()) {
    if (entry.id >> 24 != high_byte) continue;
    if (auto bytes = portal().get_file(entry.id)) out.push_back(std::move(*bytes));
  }
  return out;
}

size_t elements_of(const ft::GfxObj& obj) {
  return obj.vertex_array.vertices.size() + obj.physics_polygons.size() + obj.polygons.size() +
         obj.physics_bsp.nodes.size() + obj.drawing_bsp.nodes.size();
}
size_t elements_of(const ft::SetupModel& model) {
  return model.parts.size();
}
size_t elements_of(const ft::Scene& scene) {
  return scene.objects.size();
}

// Parses every payload once per iteration, counting the allocations of each parse.
template <class Record>
void count_parses(benchmark::State& state, uint32_t high_byte) {
  const auto payloads = payloads_of_type(high_byte);
  uint64_t records = 0, allocations = 0, most = 0, elements = 0;
  for (auto _ : state) {
    records = allocations = most = elements = 0;
    for (const auto& payload : payloads) {
      size_t record_elements = 0;
      const uint64_t before = g_allocations.load(std::memory_order_relaxed);
      {
        Cursor cursor(payload);
        auto record = Record::unpack(cursor);
        if (!record) continue;
        benchmark::DoNotOptimize(*record);
        record_elements = elements_of(*record);
      }
      const uint64_t made = g_allocations.load(std::memory_order_relaxed) - before;
      ++records;
      allocations += made;
      most = std::max(most, made);
      elements += record_elements;
    }
  }
  const auto per = [](uint64_t a, uint64_t b) {
    return b == 0 ? 0.0 : static_cast<double>(a) / static_cast<double>(b);
  };
  state.counters["records"] = static_cast<double>(records);
  state.counters["allocs_per_record"] = per(allocations, records);
  state.counters["allocs_max"] = static_cast<double>(most);
  state.counters["elements_per_record"] = per(elements, records);
  state.counters["allocs_per_element"] = per(allocations, elements);
}

void BM_GfxObjAllocations(benchmark::State& state) {
  count_parses<ft::GfxObj>(state, 0x01);
}
void BM_SetupModelAllocations(benchmark::State& state) {
  count_parses<ft::SetupModel>(state, 0x02);
}
void BM_SceneAllocations(benchmark::State& state) {
  count_parses<ft::Scene>(state, 0x12);
}

BENCHMARK(BM_GfxObjAllocations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetupModelAllocations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneAllocations)->Unit(benchmark::kMillisecond);

}  // namespace

// The demo world (seed 1, demo scale), generated once per test run by the
// demo_world_setup test into a folder of the build tree (TALLOWMERE_DEMO_WORLD_DIR), and
// read by every test that needs it. Test programs that use it require the CTest fixture
// "demo_world", so CTest runs the setup first; run by hand, a test program finds the
// world of the last CTest run.
//
// Beside the two archives the setup writes summary.txt, the generator's summary: one
// line "landblocks N", one line per archive "portal|cell FILES COMPRESSED MULTI_BLOCK
// BYTES", and one line per file damaged on purpose "damaged portal|cell 0xID
// missing|truncated", each archive's list sorted by id.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "tallowmere/dat/lib.hpp"
#include "tallowmere/testing/temp_dir.hpp"
#include "tallowmere/worldgen/worldgen.hpp"

#ifndef TALLOWMERE_DEMO_WORLD_DIR
#error "TALLOWMERE_DEMO_WORLD_DIR must name the folder the demo_world fixture writes"
#endif

namespace tallowmere::testing {

inline constexpr uint64_t kDemoWorldSeed = 1;

inline std::string summary_text(const worldgen::WorldSummary& summary) {
  std::ostringstream out;
  out << "landblocks " << summary.landblocks << "\n";
  for (const auto& [name, a] :
       {std::pair{"portal", &summary.portal}, std::pair{"cell", &summary.cell}}) {
    out << name << " " << a->files << " " << a->compressed << " " << a->multi_block << " "
        << a->bytes << "\n";
  }
  for (const auto& [name, list] :
       {std::pair{"portal", &summary.manifest.portal}, std::pair{"cell", &summary.manifest.cell}}) {
    for (const auto& file : *list) {
      out << "damaged " << name << " 0x" << std::hex << file.id << std::dec << " "
          << (file.damage == worldgen::Damage::Missing ? "missing" : "truncated") << "\n";
    }
  }
  return out.str();
}

// The summary written by summary_text(), or nothing when `text` is not one.
inline std::optional<worldgen::WorldSummary> parse_summary(std::string_view text) {
  worldgen::WorldSummary summary;
  std::istringstream in{std::string(text)};
  std::string key;
  int parts = 0;
  while (in >> key) {
    if (key == "landblocks") {
      in >> summary.landblocks;
      ++parts;
    } else if (key == "portal" || key == "cell") {
      auto& a = key == "portal" ? summary.portal : summary.cell;
      in >> a.files >> a.compressed >> a.multi_block >> a.bytes;
      ++parts;
    } else if (key == "damaged") {
      std::string archive, id, damage;
      in >> archive >> id >> damage;
      auto& list = archive == "portal" ? summary.manifest.portal : summary.manifest.cell;
      list.push_back(
          {static_cast<uint32_t>(std::stoul(id, nullptr, 16)),
           damage == "missing" ? worldgen::Damage::Missing : worldgen::Damage::Truncated});
    } else {
      return std::nullopt;
    }
    if (!in) return std::nullopt;
  }
  if (parts != 3) return std::nullopt;
  return summary;
}

struct DemoWorldFiles {
  std::string dir;
  std::string portal_path;
  std::string cell_path;
  worldgen::WorldSummary summary;
};

// The fixture's files and summary. A missing or unreadable world stops the test program:
// no test that needs it can run.
inline const DemoWorldFiles& demo_world_files() {
  static const DemoWorldFiles files = [] {
    const fs::path dir = TALLOWMERE_DEMO_WORLD_DIR;
    auto summary = parse_summary(read_all(dir / "summary.txt"));
    if (!summary || !fs::exists(dir / "client_portal.dat") ||
        !fs::exists(dir / "client_cell_1.dat")) {
      std::fprintf(stderr,
                   "no demo world in %s: the demo_world_setup test makes it; run the tests "
                   "through ctest\n",
                   dir.c_str());
      std::abort();
    }
    return DemoWorldFiles{dir.string(), (dir / "client_portal.dat").string(),
                          (dir / "client_cell_1.dat").string(), std::move(*summary)};
  }();
  return files;
}

// The demo world with both archives opened, shared by the tests of one program.
struct DemoWorld {
  const DemoWorldFiles& files = demo_world_files();
  dat::DatDatabase portal = open(files.portal_path);
  dat::DatDatabase cell = open(files.cell_path);
  const worldgen::Manifest& manifest = files.summary.manifest;

  static dat::DatDatabase open(const std::string& path) {
    auto db = dat::DatDatabase::open(path);
    if (!db) {
      ADD_FAILURE() << "open " << path << ": " << db.error().text();
      std::abort();
    }
    return std::move(*db);
  }
};

inline const DemoWorld& demo_world() {
  static const DemoWorld world;
  return world;
}

}  // namespace tallowmere::testing

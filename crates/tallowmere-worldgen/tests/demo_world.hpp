// The demo world shared by the tests of one run: generated once into a temporary
// directory, opened with the archive reader, removed at exit.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tallowmere/dat/lib.hpp"
#include "tallowmere/worldgen/worldgen.hpp"

namespace tallowmere::worldgen::testing {

// A fresh directory under the system's temporary directory, removed when destroyed.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("tallowmere-worldgen-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct GeneratedWorld {
  TempDir dir;
  std::string portal_path = dir.file("client_portal.dat");
  std::string cell_path = dir.file("client_cell_1.dat");
  WorldSummary summary;
};

inline std::unique_ptr<GeneratedWorld> generate(uint64_t seed, Scale scale) {
  auto world = std::make_unique<GeneratedWorld>();
  Options options;
  options.seed = seed;
  options.scale = scale;
  auto summary = generate_world(options, world->portal_path, world->cell_path);
  if (!summary) {
    ADD_FAILURE() << "generate_world: " << summary.error().path << ": "
                  << summary.error().error.text();
    return world;
  }
  world->summary = std::move(*summary);
  return world;
}

inline std::vector<char> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The demo world of seed 1 and its two archives, opened.
struct DemoWorld {
  std::unique_ptr<GeneratedWorld> files = generate(1, Scale::Demo);
  dat::DatDatabase portal = open(files->portal_path);
  dat::DatDatabase cell = open(files->cell_path);
  const Manifest& manifest = files->summary.manifest;

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

}  // namespace tallowmere::worldgen::testing

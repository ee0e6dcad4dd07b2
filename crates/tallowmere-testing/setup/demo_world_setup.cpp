// demo_world_setup DIR: the demo_world test fixture. Generates the demo world into DIR
// (created when missing) and writes its summary.txt beside the archives, which the tests
// read instead of generating the world again.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tallowmere/testing/demo_world.hpp"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  namespace testing = tallowmere::testing;
  namespace worldgen = tallowmere::worldgen;
  if (argc != 2) {
    std::fputs("usage: demo_world_setup DIR\n", stderr);
    return 2;
  }
  const fs::path dir = argv[1];
  std::error_code error;
  fs::remove(dir / "summary.txt", error);  // no summary while the archives are rewritten
  fs::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "cannot create %s: %s\n", dir.c_str(), error.message().c_str());
    return 1;
  }
  worldgen::Options options;
  options.seed = testing::kDemoWorldSeed;
  options.scale = worldgen::Scale::Demo;
  auto summary = worldgen::generate_world(options, (dir / "client_portal.dat").string(),
                                          (dir / "client_cell_1.dat").string());
  if (!summary) {
    std::fprintf(stderr, "%s: %s\n", summary.error().path.c_str(),
                 summary.error().error.text().c_str());
    return 1;
  }
  const std::string text = testing::summary_text(*summary);
  std::FILE* out = std::fopen((dir / "summary.txt").c_str(), "wb");
  if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "cannot write %s\n", (dir / "summary.txt").c_str());
    return 1;
  }
  std::printf("demo world (seed %llu) in %s\n",
              static_cast<unsigned long long>(testing::kDemoWorldSeed), dir.c_str());
  return 0;
}

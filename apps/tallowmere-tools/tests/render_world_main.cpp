// render-test-world DIR: writes the render tests' world into DIR and prints what a test
// needs to know of it as one JSON line.
#include <cstdio>
#include <string>

#include "render_world.hpp"

int main(int argc, char** argv) {
  using R = tallowmere::testing::RenderWorld;
  if (argc != 2) {
    std::fprintf(stderr, "usage: render-test-world DIR\n");
    return 2;
  }
  if (!tallowmere::testing::write_render_world(argv[1])) {
    std::fprintf(stderr, "render-test-world: cannot write the archives into %s\n", argv[1]);
    return 1;
  }
  std::string excluded;
  for (const auto& v : R::kExcluded) {
    excluded += (excluded.empty() ? "" : ",") + std::string("[") + std::to_string(v[0]) + "," +
                std::to_string(v[1]) + "]";
  }
  std::printf(
      "{\"landblock\":\"0x%04X\",\"mosaic\":\"0x7F7F-0x8181\",\"building\":[%g,%g,%g,%g],"
      "\"excluded\":[%s]}\n",
      R::kMiddle, R::kBuildingBox[0], R::kBuildingBox[1], R::kBuildingBox[2], R::kBuildingBox[3],
      excluded.c_str());
  return 0;
}

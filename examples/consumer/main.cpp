// consumer: opens an archive pair through the installed Tallowmere libraries and bakes
// one landblock.
//
//   consumer PORTAL CELL [LANDBLOCK]     (LANDBLOCK in hexadecimal, default A9B4)
//
// Prints the library's version, the cell archive's file count, the landblock's number of
// placements and its first placement line. Exit status 0, or 1 when an archive cannot be
// opened.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tallowmere/common/version.hpp"
#include "tallowmere/dat/lib.hpp"
#include "tallowmere/scenery/caches.hpp"
#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/scenery/placement_line.hpp"
#include "tallowmere/scenery/world.hpp"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: consumer PORTAL CELL [LANDBLOCK]\n", stderr);
    return 2;
  }
  const auto landblock =
      static_cast<uint16_t>(argc > 3 ? std::strtoul(argv[3], nullptr, 16) : 0xA9B4);

  auto cell = tallowmere::dat::DatDatabase::open(argv[2]);
  if (!cell) {
    std::fprintf(stderr, "consumer: cannot open %s: %s\n", argv[2], cell.error().text().c_str());
    return 1;
  }
  std::printf("tallowmere %s\n", std::string(tallowmere::kVersion).c_str());
  std::printf("cell archive: %zu files\n", cell->entry_count());

  auto world = tallowmere::scenery::open_world(argv[1], argv[2]);
  if (!world) {
    std::fprintf(stderr, "consumer: cannot open the world: %s\n",
                 std::string(world.error().context()).c_str());
    return 1;
  }
  tallowmere::scenery::PortalCaches caches(world->portal);
  const auto placements =
      tallowmere::scenery::bake_landblock(world->region, world->cell, landblock, caches);
  std::printf("landblock 0x%04X: %zu placements\n", landblock, placements.size());
  if (!placements.empty()) {
    std::printf("%s\n", tallowmere::scenery::placement_line(placements.front()).c_str());
  }
  return 0;
}

// worldgen: writes a synthetic portal and cell archive pair.
//
//   worldgen [--seed N] [--scale demo|full|tiny] --out DIR
//
// Writes DIR/client_portal.dat and DIR/client_cell_1.dat, creating DIR and its parents.
// Each archive is written under a temporary name and renamed when complete, so an
// interrupted run never leaves a partial archive under the final name. Exit status: 0
// on success, 1 when the directory or an archive cannot be written, 2 for bad options.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/version.hpp"
#include "tallowmere/worldgen/worldgen.hpp"

namespace {

namespace wg = tallowmere::worldgen;

constexpr const char* kUsage = "usage: worldgen [--seed N] [--scale demo|full|tiny] --out DIR\n";
constexpr const char* kHelp =
    "\n"
    "Writes a synthetic portal and cell archive pair, DIR/client_portal.dat and\n"
    "DIR/client_cell_1.dat, from a seed. A few files are missing or damaged on purpose.\n"
    "\n"
    "  --seed N      seed of the world, decimal or 0x-prefixed hexadecimal (default 1)\n"
    "  --scale S     demo (the ring and its neighbours), full (every landblock) or tiny\n"
    "                (default demo)\n"
    "  --out DIR     output folder, created with its parents when missing\n"
    "  --help        show this help\n"
    "  --version     show the version\n"
    "\n"
    "Exit status: 0 written, 1 the folder or an archive could not be written, 2 a usage\n"
    "error.\n";

struct Arguments {
  uint64_t seed = 1;
  wg::Scale scale = wg::Scale::Demo;
  std::string out;
};

int usage_error(const std::string& message) {
  std::fprintf(stderr, "worldgen: %s\n%s", message.c_str(), kUsage);
  return 2;
}

// A decimal number, or a hexadecimal one after "0x".
bool parse_seed(std::string_view text, uint64_t& seed) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, seed, base);
  return !text.empty() && ec == std::errc() && ptr == end;
}

// Returns 0 when the arguments are sound, else the exit status after printing why.
int parse_arguments(int argc, char** argv, Arguments& args) {
  bool have_out = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view option = argv[i];
    std::string_view value;
    bool inline_value = false;
    if (auto eq = option.find('='); option.starts_with("--") && eq != std::string_view::npos) {
      value = option.substr(eq + 1);
      option = option.substr(0, eq);
      inline_value = true;
    }
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return -1;
    }
    if (option == "--version") {
      std::printf("worldgen %s\n", std::string(tallowmere::kVersion).c_str());
      return -1;
    }
    if (option != "--seed" && option != "--scale" && option != "--out") {
      return usage_error("unknown option '" + std::string(option) + "'");
    }
    if (!inline_value) {
      if (i + 1 >= argc) return usage_error("missing value for " + std::string(option));
      value = argv[++i];
    }
    if (option == "--seed") {
      if (!parse_seed(value, args.seed)) {
        return usage_error("seed must be a non-negative integer, not '" + std::string(value) + "'");
      }
    } else if (option == "--scale") {
      auto scale = wg::parse_scale(value);
      if (!scale) return usage_error("unknown scale '" + std::string(value) + "'");
      args.scale = *scale;
    } else {
      if (value.empty()) return usage_error("empty output directory");
      args.out = std::string(value);
      have_out = true;
    }
  }
  if (!have_out) return usage_error("missing --out DIR");
  return 0;
}

void print_summary(const std::string& path, const wg::ArchiveSummary& s) {
  std::printf(
      "%s: %llu files (%llu compressed, %llu over one block), %llu bytes\n", path.c_str(),
      static_cast<unsigned long long>(s.files), static_cast<unsigned long long>(s.compressed),
      static_cast<unsigned long long>(s.multi_block), static_cast<unsigned long long>(s.bytes));
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (int status = parse_arguments(argc, argv, args); status != 0) return status < 0 ? 0 : status;

  if (auto made = tallowmere::common::create_dir_all(args.out); !made) {
    std::fprintf(stderr, "worldgen: cannot create directory %s: %s\n", args.out.c_str(),
                 made.error().text().c_str());
    return 1;
  }
  const std::string portal = args.out + "/client_portal.dat";
  const std::string cell = args.out + "/client_cell_1.dat";
  const std::string portal_partial = portal + ".partial";
  const std::string cell_partial = cell + ".partial";

  wg::Options options;
  options.seed = args.seed;
  options.scale = args.scale;
  uint32_t last_tenth = 0;
  options.progress = [&](uint32_t done, uint32_t total) {
    if (total < 1000) return;
    const uint32_t tenth = static_cast<uint32_t>(uint64_t{done} * 10 / total);
    if (tenth == last_tenth) return;
    last_tenth = tenth;
    std::fprintf(stderr, "worldgen: cell archive %u%% (%u/%u landblocks)\n", tenth * 10, done,
                 total);
  };
  std::fprintf(stderr, "worldgen: seed %llu, scale %s, writing %s\n",
               static_cast<unsigned long long>(args.seed),
               std::string(wg::scale_name(args.scale)).c_str(), args.out.c_str());

  auto world = wg::generate_world(options, portal_partial, cell_partial);
  if (!world) {
    std::fprintf(stderr, "worldgen: write %s: %s\n", world.error().path.c_str(),
                 world.error().error.text().c_str());
    std::remove(portal_partial.c_str());
    std::remove(cell_partial.c_str());
    return 1;
  }
  for (const auto& [from, to] :
       {std::pair{portal_partial, portal}, std::pair{cell_partial, cell}}) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
      std::perror(("worldgen: rename " + from + " to " + to).c_str());
      return 1;
    }
  }
  print_summary(portal, world->portal);
  print_summary(cell, world->cell);
  std::printf("%u landblocks; %zu portal and %zu cell files missing or truncated on purpose\n",
              world->landblocks, world->manifest.portal.size(), world->manifest.cell.size());
  return 0;
}

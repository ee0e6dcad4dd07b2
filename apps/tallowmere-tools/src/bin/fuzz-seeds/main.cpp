// fuzz-seeds: writes the seed corpora of the fuzz targets.
//
//   fuzz-seeds ROOT | --help | --version
//
// Writes every seed to ROOT/crates/<crate>/fuzz/corpus/<target>/<name>, creating the
// folders; run it with the checkout's root to renew the checked-in corpora after a
// change of the world generator or the encoders. Files already there that are not seeds
// (inputs a fuzzing campaign merged in) are left alone. Prints one line per seed (its
// size and path) on standard output. Exit status: 0 on success, 1 when a file or folder
// cannot be written, 2 for bad arguments.
#include <cstdio>
#include <string>
#include <string_view>

#include "tallowmere/common/version.hpp"
#include "tallowmere/worldgen/fuzz_seeds.hpp"

namespace {

constexpr const char* kUsage = "usage: fuzz-seeds ROOT | --help | --version\n";

}  // namespace

int main(int argc, char** argv) {
  namespace wg = tallowmere::worldgen;
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    std::fputs(
        "Writes the fuzz targets' seed corpora below ROOT (the checkout's root renews\n"
        "the checked-in ones). Exit status: 0 written, 1 write failure, 2 bad arguments.\n",
        stdout);
    return 0;
  }
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::printf("fuzz-seeds %s\n", std::string(tallowmere::kVersion).c_str());
    return 0;
  }
  if (argc != 2 || std::string_view(argv[1]).empty() ||
      std::string_view(argv[1]).starts_with("-")) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string root = argv[1];
  const auto seeds = wg::make_fuzz_seeds();
  if (auto written = wg::write_fuzz_seeds(root, seeds); !written) {
    std::fprintf(stderr, "fuzz-seeds: cannot write %s: %s\n", written.error().path.c_str(),
                 written.error().error.text().c_str());
    return 1;
  }
  for (const wg::FuzzSeed& seed : seeds) {
    std::printf("%8zu %s\n", seed.bytes.size(), seed.path().c_str());
  }
  return 0;
}

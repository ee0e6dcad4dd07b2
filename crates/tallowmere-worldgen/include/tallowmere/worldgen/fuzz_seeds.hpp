// Seed inputs of the fuzz targets, made from a small world's records and the writer's
// encoders, so that every target starts from inputs that reach deep into its parser
// instead of rediscovering the formats byte by byte.
//
// The seeds are checked in under crates/<crate>/fuzz/corpus/<target>/<name>; a test
// makes them again and compares, so they follow every change of the generator or the
// encoders. The same build always makes the same bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tallowmere/worldgen/worldgen.hpp"

namespace tallowmere::worldgen {

struct FuzzSeed {
  std::string crate;   // the crate folder, "tallowmere-dat"
  std::string target;  // the fuzz target without its suffix, "region"
  std::string name;    // the file name: descriptive, lower case, no hex digest
  std::vector<uint8_t> bytes;

  // crates/<crate>/fuzz/corpus/<target>/<name>
  std::string path() const;
};

// Every seed of every fuzz target, sorted by path.
std::vector<FuzzSeed> make_fuzz_seeds();

// Writes `seeds` below `root` (the repository root, or any folder standing for it),
// creating the folders. Files already there that are not seeds are left alone.
[[nodiscard]] Expected<void, WriteError> write_fuzz_seeds(const std::string& root,
                                                          std::span<const FuzzSeed> seeds);

}  // namespace tallowmere::worldgen

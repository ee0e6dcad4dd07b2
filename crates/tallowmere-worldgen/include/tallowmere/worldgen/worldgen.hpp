// Synthetic worlds: a portal archive and a cell archive in the archive format, made
// from a seed, for end-to-end tests, demos and benchmarks.
//
// The portal archive holds the region 0x13000000 (every optional part present), the
// scenes (0x12xxxxxx), graphics objects (0x01xxxxxx) and setup models (0x02xxxxxx) the
// scenes and buildings use, and filler files of other types. The cell archive holds, for
// every landblock xxyy of the scale, the cell landblock xxyyFFFF, usually a landblock
// info xxyyFFFE, and filler entries for interior cells xxyy0100, xxyy0101, ...
//
// A few files are missing or truncated on purpose; the manifest lists exactly those.
// The same seed and scale always give byte-identical archives: every value comes from
// seeded SplitMix64 streams, one per record, and nothing unordered reaches the output.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/io_error.hpp"

namespace tallowmere::worldgen {

enum class Scale {
  // Landblocks x 0xA3..0xAF, y 0xAE..0xBA and one ring around them (x 0xA2..0xB0, y
  // 0xAD..0xBB), with a portal archive of a few hundred models and scenes.
  Demo,
  // Every landblock, x and y 0x00..0xFE: over 500,000 cell archive entries and over
  // 50,000 portal archive files.
  Full,
  // Landblocks x 0xA3..0xA6, y 0xAE..0xB1 and a small portal archive, for fast tests.
  Tiny,
};

// Parses "demo", "full" or "tiny".
std::optional<Scale> parse_scale(std::string_view text);
std::string_view scale_name(Scale scale);

struct Options {
  uint64_t seed = 1;
  Scale scale = Scale::Demo;
  uint32_t portal_block_size = 1024;
  uint32_t cell_block_size = 256;
  // Share of payloads stored compressed (those the compressor does not shrink are
  // stored as they are).
  double compressed_share = 0.25;
  // Called now and then with the landblocks written so far and their total.
  std::function<void(uint32_t done, uint32_t total)> progress;
};

enum class Damage : uint8_t {
  Missing,    // referenced, but not in the archive
  Truncated,  // in the archive, but its payload is cut short and fails to parse
};

struct DamagedFile {
  uint32_t id = 0;
  Damage damage = Damage::Missing;
};

// The files damaged on purpose, each list sorted by id.
struct Manifest {
  std::vector<DamagedFile> portal;
  std::vector<DamagedFile> cell;

  std::optional<Damage> portal_damage(uint32_t id) const;
  std::optional<Damage> cell_damage(uint32_t id) const;
};

struct ArchiveSummary {
  uint64_t files = 0;
  uint64_t compressed = 0;   // stored compressed
  uint64_t multi_block = 0;  // payloads whose chain has more than one block
  uint64_t bytes = 0;        // the archive's length
};

struct WorldSummary {
  Manifest manifest;
  ArchiveSummary portal;
  ArchiveSummary cell;
  uint32_t landblocks = 0;
};

// A failure to write one of the archives.
struct WriteError {
  std::string path;
  common::IoError error;
};

// Writes the portal archive to `portal_path` and the cell archive to `cell_path`
// (creating or truncating both; the directories must exist).
[[nodiscard]] Expected<WorldSummary, WriteError> generate_world(const Options& options,
                                                                const std::string& portal_path,
                                                                const std::string& cell_path);

}  // namespace tallowmere::worldgen

// An archive as the inspection commands (info, ls, cat, dump, verify) see it.
//
// The archive is opened with its directory root hidden from the library, and the tree
// is walked here instead: a damaged node (a chain that cannot be read, an entry count
// above 61, a node reached twice or too deep) costs only its own subtree, and the walk
// counts nodes and depth for `info`. For a sound archive the entries are exactly those
// the library loads: pre-order, children in branch order, the entry visited last wins.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "report.hpp"
#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/parse_error.hpp"
#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/file_type/scene.hpp"
#include "tallowmere/dat/file_type/setup_model.hpp"
#include "tallowmere/dat/landblock.hpp"
#include "tallowmere/dat/lib.hpp"

namespace tallowmere::tool {

// A portal archive keys files by type in the id's high byte; a cell archive by
// landblock (high word) and cell (low word).
enum class ArchiveKind : uint8_t { Portal, Cell };

struct NodeFailure {
  uint32_t offset = 0;  // the node's absolute file offset
  std::string cause;    // one line
};

struct Directory {
  std::vector<dat::DatFileEntry> entries;  // sorted by id, one per id
  uint64_t nodes = 0;                      // nodes read
  uint32_t depth = 0;                      // deepest level reached (the root is 1)
  std::vector<NodeFailure> failures;       // in walk order
};

struct OpenArchive {
  std::string path;
  dat::DatDatabase db;  // its own directory is empty: see `directory`
  uint32_t root_offset = 0;
  uint64_t file_length = 0;
  Directory directory;
  ArchiveKind kind = ArchiveKind::Portal;

  const dat::DatFileEntry* find(uint32_t id) const;
};

// Why an archive could not be opened for inspection.
struct OpenFailure {
  // True when the path itself is unusable (missing, unreadable, not a regular file):
  // nothing could be looked at. False when the file was read and its header is damaged.
  bool unusable = true;
  ringproof::ErrorReport report;
  std::optional<dat::DatError> error;  // the archive library's error, when it gave one
};

// Opens `path` and walks its directory. A path that is not a regular file is refused
// before it is opened, so a FIFO never blocks.
[[nodiscard]] Expected<OpenArchive, OpenFailure> open_archive(const std::string& path);

// open_archive for the commands that look at one archive: prints the failure's report
// to standard error and returns nothing (the exit status is then 2). Damaged directory
// nodes are listed on standard error as "<command>: directory node at 0x...: <cause>"
// and set `damaged`.
[[nodiscard]] std::optional<OpenArchive> open_for(std::string_view command, const std::string& path,
                                                  bool& damaged);

// The directory tree below `root`, read through `db`'s chain reader.
[[nodiscard]] Directory walk_directory(const dat::DatDatabase& db, uint32_t root,
                                       const dat::ArchiveLimits& limits = {});

// Cell archive when there is no region 0x13000000 and nine in ten ids or more belong to
// a landblock (high word) that has a cell landblock (FFFF) or landblock info (FFFE).
ArchiveKind guess_kind(const std::vector<dat::DatFileEntry>& entries);
std::string_view kind_name(ArchiveKind kind);

// The type of a file: a portal archive's high byte, or a cell archive's landblock
// (FFFF), landblock info (FFFE) or cell (any other low word).
uint32_t type_key(ArchiveKind kind, uint32_t id);
// "gfx_obj", "setup", "scene", "region", "landblock", "landblock_info", "cell", a name
// for other known portal types, or "type_0xNN".
std::string type_name(ArchiveKind kind, uint32_t key);
// A type given on the command line: a name of type_name or a portal type byte ("0x01").
std::optional<uint32_t> parse_type(ArchiveKind kind, std::string_view text);

// A file id: "0x" and up to 8 hex digits, or decimal digits.
std::optional<uint32_t> parse_id(std::string_view text);
// "0x" and 8 upper-case hex digits.
std::string id_text(uint32_t id);

// A payload as stored and, for a compressed file, expanded.
struct Payload {
  std::vector<uint8_t> bytes;
  // For a compressed file: the size its stream announces, which the expanded bytes
  // fall short of when the stream is damaged.
  std::optional<uint32_t> announced;
};
[[nodiscard]] Expected<Payload, dat::DatError> fetch(const OpenArchive& archive,
                                                     const dat::DatFileEntry& entry);

// For the commands that take one file id: the entry of `id`, or null after "<command>: no
// file 0x... in <path>" on standard error (exit status 2).
[[nodiscard]] const dat::DatFileEntry* find_or_report(std::string_view command,
                                                      const OpenArchive& archive, uint32_t id);
// The payload of `entry`, or nothing after the error report of "fetch 0x..." on standard
// error (exit status 1).
[[nodiscard]] std::optional<Payload> fetch_or_report(const OpenArchive& archive,
                                                     const dat::DatFileEntry& entry);

// ---- Records of the types the library parses ----

enum class RecordKind : uint8_t {
  None,
  GfxObj,
  SetupModel,
  Scene,
  Region,
  CellLandblock,
  LandblockInfo
};
RecordKind record_kind(ArchiveKind kind, uint32_t id);
std::string_view record_name(RecordKind kind);

using ParsedRecord = std::variant<dat::file_type::GfxObj, dat::file_type::SetupModel,
                                  dat::file_type::Scene, dat::file_type::Region,
                                  dat::landblock::CellLandblock, dat::landblock::LandblockInfo>;

// Parses `bytes` as a record of `kind` (not None).
[[nodiscard]] common::ParseResult<ParsedRecord> parse_record(RecordKind kind,
                                                             std::span<const uint8_t> bytes);
// Hands every field of `record` to `out`.
void visit_parsed(const ParsedRecord& record, common::FieldVisitor& out);

// The ids of known record types that `record` refers to in its own archive: a
// region's scenes, a scene's graphics objects and setup models, a setup model's parts.
std::vector<uint32_t> references(const ParsedRecord& record);

// A parse error on one line: the root's text, then each frame's message, innermost
// first, separated by "; ".
std::string one_line(const common::ParseError& error);
std::string one_line(const dat::DatError& error);

}  // namespace tallowmere::tool

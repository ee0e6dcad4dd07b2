#include "archive_view.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>
#include <unordered_set>

#include "output.hpp"
#include "tallowmere/common/endian.hpp"
#include "tallowmere/common/text.hpp"
#include "tallowmere/dat/utils.hpp"

namespace tallowmere::tool {

namespace {

constexpr uint64_t kRootField = dat::kHeaderOffset + 0x20;  // root_offset

// Reads the archive as it is, but for the header's root offset, which reads as 0: the
// library then loads an empty directory and leaves the walk to walk_directory.
class HiddenRootSource final : public dat::ByteSource {
 public:
  explicit HiddenRootSource(std::unique_ptr<dat::ByteSource> inner) : inner_(std::move(inner)) {}

  Expected<size_t, common::IoError> read_some_at(uint64_t offset, std::span<uint8_t> first,
                                                 std::span<uint8_t> second) const override {
    auto got = inner_->read_some_at(offset, first, second);
    if (!got) return got;
    for (uint64_t at = kRootField; at < kRootField + 4; ++at) {
      if (at < offset || at - offset >= *got) continue;
      const uint64_t k = at - offset;
      if (k < first.size()) {
        first[k] = 0;
      } else {
        second[k - first.size()] = 0;
      }
    }
    return got;
  }
  Expected<uint64_t, common::IoError> size() const override { return inner_->size(); }

 private:
  std::unique_ptr<dat::ByteSource> inner_;
};

const char* special_kind(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return nullptr;
}

OpenFailure unusable(const std::string& path, common::IoError error) {
  dat::DatError failure(dat::DatError::PathError{path, std::move(error)});
  return OpenFailure{true, ringproof::with_context("open " + path, failure), failure};
}

struct PortalType {
  uint8_t type;
  const char* name;
};
// Names of the portal file types this project knows.
constexpr PortalType kPortalTypes[] = {
    {0x01, "gfx_obj"},         {0x02, "setup"},       {0x03, "animation"}, {0x04, "palette"},
    {0x05, "surface_texture"}, {0x06, "texture"},     {0x08, "surface"},   {0x09, "motion_table"},
    {0x0A, "sound"},           {0x0D, "environment"}, {0x0E, "table"},     {0x0F, "palette_set"},
    {0x11, "degrade"},         {0x12, "scene"},       {0x13, "region"},    {0x20, "sound_table"},
    {0x31, "string_table"},    {0x32, "emitter"},     {0x33, "script"},    {0x34, "script_table"},
};
constexpr const char* kCellTypes[] = {"landblock", "landblock_info", "cell"};

}  // namespace

const dat::DatFileEntry* OpenArchive::find(uint32_t id) const {
  const auto& entries = directory.entries;
  auto it = std::lower_bound(entries.begin(), entries.end(), id,
                             [](const dat::DatFileEntry& e, uint32_t key) { return e.id < key; });
  return it != entries.end() && it->id == id ? &*it : nullptr;
}

Expected<OpenArchive, OpenFailure> open_archive(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0)
    return make_unexpected(unusable(path, common::IoError::from_errno(errno)));
  if (const char* kind = special_kind(info.st_mode)) {
    return make_unexpected(unusable(path, common::IoError::not_regular_file(kind)));
  }
  auto source_or = dat::FileSource::open(path);
  if (!source_or) return make_unexpected(unusable(path, source_or.error()));

  uint8_t root_bytes[4] = {0, 0, 0, 0};
  auto got = dat::read_at_most(**source_or, kRootField, root_bytes);
  const uint32_t root = got && *got == 4 ? common::load_u32le(root_bytes) : 0;
  auto length_or = (*source_or)->size();
  const uint64_t length = length_or ? *length_or : 0;

  auto db_or = dat::DatDatabase::open(std::make_unique<HiddenRootSource>(std::move(*source_or)));
  if (!db_or) {
    // The file was read: a damaged header, not an unusable path.
    return make_unexpected(
        OpenFailure{false, ringproof::with_context("open " + path, db_or.error()), db_or.error()});
  }
  OpenArchive archive{path, std::move(*db_or), root, length, {}, ArchiveKind::Portal};
  archive.directory = walk_directory(archive.db, root);
  archive.kind = guess_kind(archive.directory.entries);
  return archive;
}

std::optional<OpenArchive> open_for(std::string_view command, const std::string& path,
                                    bool& damaged) {
  auto archive = open_archive(path);
  if (!archive) {
    write_stderr(ringproof::format_report(archive.error().report));
    return std::nullopt;
  }
  for (const auto& failure : archive->directory.failures) {
    write_stderr(std::string(command) + ": directory node at " + id_text(failure.offset) + ": " +
                 failure.cause + "\n");
    damaged = true;
  }
  return std::move(*archive);
}

Directory walk_directory(const dat::DatDatabase& db, uint32_t root,
                         const dat::ArchiveLimits& limits) {
  struct Pending {
    uint32_t offset;
    uint32_t depth;
  };
  Directory out;
  std::vector<Pending> stack;
  if (root != 0) stack.push_back({root, 1});
  std::unordered_set<uint32_t> visited;
  std::vector<dat::DatFileEntry> found;

  while (!stack.empty()) {
    const Pending node = stack.back();
    stack.pop_back();
    if (!visited.insert(node.offset).second) {
      out.failures.push_back({node.offset, "directory node is reached twice"});
      continue;
    }
    if (node.depth > limits.max_directory_depth) {
      out.failures.push_back({node.offset, "directory node is deeper than " +
                                               std::to_string(limits.max_directory_depth) +
                                               " levels"});
      continue;
    }
    auto bytes_or = db.read_file_data(node.offset, dat::kNodeSize);
    if (!bytes_or) {
      out.failures.push_back({node.offset, one_line(bytes_or.error())});
      continue;
    }
    ++out.nodes;
    out.depth = std::max(out.depth, node.depth);
    const uint8_t* bytes = bytes_or->data();
    const uint32_t count = common::load_u32le(bytes + 4 * dat::kNodeBranches);
    for (uint32_t k = 0; k < std::min(count, dat::kNodeEntries); ++k) {
      const uint8_t* at = bytes + dat::kEntriesOffset + dat::kEntrySize * k;
      found.push_back({common::load_u32le(at), common::load_u32le(at + 4),
                       common::load_u32le(at + 8), common::load_u32le(at + 12),
                       common::load_u32le(at + 16), common::load_u32le(at + 20)});
    }
    if (count > dat::kNodeEntries) {
      // The library stops the whole load here; its children are not trusted either.
      out.failures.push_back({node.offset, "entry count " + std::to_string(count) + " is above " +
                                               std::to_string(dat::kNodeEntries)});
      continue;
    }
    if (common::load_u32le(bytes) == 0) continue;  // a leaf
    for (uint32_t j = std::min(count, dat::kNodeBranches - 1) + 1; j-- > 0;) {
      const uint32_t child = common::load_u32le(bytes + 4 * j);
      if (child != 0) stack.push_back({child, node.depth + 1});
    }
  }
  // One entry per id, the one visited last.
  std::ranges::stable_sort(found, {}, &dat::DatFileEntry::id);
  for (size_t i = 0; i < found.size(); ++i) {
    if (i + 1 < found.size() && found[i + 1].id == found[i].id) continue;
    out.entries.push_back(found[i]);
  }
  return out;
}

ArchiveKind guess_kind(const std::vector<dat::DatFileEntry>& entries) {
  std::unordered_set<uint32_t> landblocks;
  for (const auto& e : entries) {
    if (e.id == 0x13000000) return ArchiveKind::Portal;
    if ((e.id & 0xFFFF) >= 0xFFFE) landblocks.insert(e.id >> 16);
  }
  size_t in_landblocks = 0;
  for (const auto& e : entries) in_landblocks += landblocks.contains(e.id >> 16);
  return !entries.empty() && 10 * in_landblocks >= 9 * entries.size() ? ArchiveKind::Cell
                                                                      : ArchiveKind::Portal;
}

std::string_view kind_name(ArchiveKind kind) {
  return kind == ArchiveKind::Cell ? "cell" : "portal";
}

uint32_t type_key(ArchiveKind kind, uint32_t id) {
  if (kind == ArchiveKind::Portal) return id >> 24;
  const uint32_t low = id & 0xFFFF;
  return low == 0xFFFF ? 0 : low == 0xFFFE ? 1 : 2;
}

std::string type_name(ArchiveKind kind, uint32_t key) {
  if (kind == ArchiveKind::Cell) return key < 3 ? kCellTypes[key] : "?";
  for (const auto& t : kPortalTypes) {
    if (t.type == key) return t.name;
  }
  char name[16];
  std::snprintf(name, sizeof name, "type_0x%02X", key);
  return name;
}

std::optional<uint32_t> parse_type(ArchiveKind kind, std::string_view text) {
  const uint32_t count = kind == ArchiveKind::Cell ? 3 : 256;
  for (uint32_t key = 0; key < count; ++key) {
    if (type_name(kind, key) == text) return key;
  }
  if (kind == ArchiveKind::Portal) {
    if (auto value = parse_id(text); value && *value < 256) return *value;
  }
  return std::nullopt;
}

std::optional<uint32_t> parse_id(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty() || (base == 16 && text.size() > 8)) return std::nullopt;
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string id_text(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", id);
  return text;
}

Expected<Payload, dat::DatError> fetch(const OpenArchive& archive, const dat::DatFileEntry& entry) {
  auto raw = archive.db.read_file_data(entry.offset, entry.size);
  if (!raw) return make_unexpected(std::move(raw).error());
  if (!entry.compressed()) return Payload{std::move(*raw), std::nullopt};
  std::optional<uint32_t> announced;
  if (raw->size() >= 4) announced = common::load_u32le(raw->data());
  return Payload{dat::decompress_lrs(*raw), announced};
}

const dat::DatFileEntry* find_or_report(std::string_view command, const OpenArchive& archive,
                                        uint32_t id) {
  const dat::DatFileEntry* entry = archive.find(id);
  if (entry == nullptr) {
    write_stderr(std::string(command) + ": no file " + id_text(id) + " in " +
                 common::display_lossy(archive.path) + "\n");
  }
  return entry;
}

std::optional<Payload> fetch_or_report(const OpenArchive& archive, const dat::DatFileEntry& entry) {
  auto payload = fetch(archive, entry);
  if (!payload) {
    write_stderr(ringproof::format_report(
        ringproof::with_context("fetch " + id_text(entry.id), payload.error())));
    return std::nullopt;
  }
  return std::move(*payload);
}

RecordKind record_kind(ArchiveKind kind, uint32_t id) {
  if (kind == ArchiveKind::Cell) {
    const uint32_t low = id & 0xFFFF;
    return low == 0xFFFF   ? RecordKind::CellLandblock
           : low == 0xFFFE ? RecordKind::LandblockInfo
                           : RecordKind::None;
  }
  switch (id >> 24) {
    case 0x01:
      return RecordKind::GfxObj;
    case 0x02:
      return RecordKind::SetupModel;
    case 0x12:
      return RecordKind::Scene;
    case 0x13:
      return RecordKind::Region;
    default:
      return RecordKind::None;
  }
}

std::string_view record_name(RecordKind kind) {
  switch (kind) {
    case RecordKind::GfxObj:
      return "GfxObj";
    case RecordKind::SetupModel:
      return "SetupModel";
    case RecordKind::Scene:
      return "Scene";
    case RecordKind::Region:
      return "Region";
    case RecordKind::CellLandblock:
      return "CellLandblock";
    case RecordKind::LandblockInfo:
      return "LandblockInfo";
    case RecordKind::None:
      break;
  }
  return "";
}

namespace {
template <class T>
common::ParseResult<ParsedRecord> parsed(common::ParseResult<T> record) {
  if (!record) return make_unexpected(std::move(record).error());
  return ParsedRecord(std::move(*record));
}
}  // namespace

common::ParseResult<ParsedRecord> parse_record(RecordKind kind, std::span<const uint8_t> bytes) {
  common::Cursor cursor(bytes);
  switch (kind) {
    case RecordKind::GfxObj:
      return parsed(dat::file_type::GfxObj::unpack(cursor));
    case RecordKind::SetupModel:
      return parsed(dat::file_type::SetupModel::unpack(cursor));
    case RecordKind::Scene:
      return parsed(dat::file_type::Scene::unpack(cursor));
    case RecordKind::Region:
      return parsed(dat::file_type::Region::unpack(cursor));
    case RecordKind::CellLandblock:
      return parsed(dat::landblock::CellLandblock::unpack(bytes));
    case RecordKind::LandblockInfo:
    case RecordKind::None:
      break;
  }
  return parsed(dat::landblock::LandblockInfo::unpack(bytes));
}

void visit_parsed(const ParsedRecord& record, common::FieldVisitor& out) {
  std::visit([&](const auto& r) { common::visit_record(r, out); }, record);
}

std::vector<uint32_t> references(const ParsedRecord& record) {
  std::vector<uint32_t> ids;
  if (const auto* region = std::get_if<dat::file_type::Region>(&record)) {
    if (region->scene) {
      for (const auto& type : region->scene->scene_types) {
        ids.insert(ids.end(), type.scenes.begin(), type.scenes.end());
      }
    }
  } else if (const auto* scene = std::get_if<dat::file_type::Scene>(&record)) {
    for (const auto& object : scene->objects) {
      const uint32_t type = object.obj_id >> 24;
      if (type == 0x01 || type == 0x02) ids.push_back(object.obj_id);
    }
  } else if (const auto* setup = std::get_if<dat::file_type::SetupModel>(&record)) {
    ids = setup->parts;
  }
  std::ranges::sort(ids);
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

std::string one_line(const common::ParseError& error) {
  std::string text = common::root_text(error.root());
  for (const auto& frame : error.frames()) {
    text += "; ";
    std::visit(
        [&](const auto& f) {
          using F = std::decay_t<decltype(f)>;
          if constexpr (std::is_same_v<F, common::ErrorFrame>) {
            text += common::root_text(f.error);
          } else {
            text += f.message;
          }
        },
        frame);
  }
  return text;
}

std::string one_line(const dat::DatError& error) {
  if (const auto* bin = std::get_if<dat::DatError::BinRead>(&error.value)) {
    return "Binary read error: " + one_line(bin->error);
  }
  std::string text = error.text();
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace tallowmere::tool

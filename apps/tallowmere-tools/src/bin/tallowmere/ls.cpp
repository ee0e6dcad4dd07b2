// tallowmere ls: one line per file, sorted by id.
#include <cstdio>

#include "archive_view.hpp"
#include "commands.hpp"
#include "output.hpp"

namespace tallowmere::tool {

namespace {

struct IdRange {
  uint32_t from = 0;
  uint32_t to = UINT32_MAX;
};

// "FROM..TO" (both inclusive; either end may be left out).
std::optional<IdRange> parse_range(std::string_view text) {
  const size_t dots = text.find("..");
  if (dots == std::string_view::npos) return std::nullopt;
  IdRange range;
  if (dots > 0) {
    auto from = parse_id(text.substr(0, dots));
    if (!from) return std::nullopt;
    range.from = *from;
  }
  if (dots + 2 < text.size()) {
    auto to = parse_id(text.substr(dots + 2));
    if (!to) return std::nullopt;
    range.to = *to;
  }
  if (range.from > range.to) return std::nullopt;
  return range;
}

}  // namespace

int run_ls(const LsCommand& command) {
  std::optional<IdRange> range;
  if (command.ids) {
    range = parse_range(*command.ids);
    if (!range) {
      write_stderr("tallowmere ls: bad id range '" + *command.ids +
                   "': expected FROM..TO, such as 0x01000000..0x01FFFFFF\n");
      return kExitTrouble;
    }
  }
  bool damaged = false;
  auto archive = open_for("tallowmere ls", command.archive, damaged);
  if (!archive) return kExitTrouble;
  std::optional<uint32_t> type;
  if (command.type) {
    type = parse_type(archive->kind, *command.type);
    if (!type) {
      write_stderr("tallowmere ls: unknown type '" + *command.type + "' for a " +
                   std::string(kind_name(archive->kind)) + " archive\n");
      return kExitTrouble;
    }
  }

  JsonWriter json;
  std::string out;
  if (command.json) json.begin_array();
  for (const auto& e : archive->directory.entries) {
    if (range && (e.id < range->from || e.id > range->to)) continue;
    const uint32_t key = type_key(archive->kind, e.id);
    if (type && key != *type) continue;
    const std::string name = type_name(archive->kind, key);
    if (command.json) {
      json.begin_object();
      json.key("id").value(std::string_view(id_text(e.id)));
      json.key("type").value(std::string_view(name));
      json.key("size").value(uint64_t{e.size});
      json.key("compressed").value(e.compressed());
      json.key("bit_flags").value(uint64_t{e.bit_flags});
      json.key("offset").value(uint64_t{e.offset});
      json.key("timestamp").value(uint64_t{e.timestamp});
      json.key("version").value(uint64_t{e.version});
      json.end_object();
      continue;
    }
    char line[200];
    std::snprintf(line, sizeof line,
                  "%s %-16s %10u %-10s flags 0x%08X offset 0x%08X timestamp %u version %u\n",
                  id_text(e.id).c_str(), name.c_str(), e.size,
                  e.compressed() ? "compressed" : "stored", e.bit_flags, e.offset, e.timestamp,
                  e.version);
    out += line;
  }
  if (command.json) {
    json.end_array();
    out = json.text() + "\n";
  }
  write_stdout(out);
  return damaged ? kExitFailed : kExitOk;
}

}  // namespace tallowmere::tool

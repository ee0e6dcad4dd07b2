// tallowmere info: the header, the directory's shape and a summary per file type.
#include <cstdio>
#include <map>

#include "archive_view.hpp"
#include "commands.hpp"
#include "output.hpp"
#include "record_dump.hpp"

namespace tallowmere::tool {

namespace {

struct TypeTotals {
  uint64_t files = 0;
  uint64_t bytes = 0;
  uint64_t largest = 0;
  uint64_t compressed = 0;
};

// Blocks a chain of `size` bytes occupies: at least one, then one per block's data.
uint64_t blocks_for(uint64_t size, uint32_t block_size) {
  const uint64_t per_block = block_size > 4 ? block_size - 4 : 0;
  if (size == 0 || per_block == 0) return 1;
  return (size + per_block - 1) / per_block;
}

std::string percent(uint64_t part, uint64_t whole) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%",
                whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

}  // namespace

int run_info(const InfoCommand& command) {
  bool damaged = false;
  auto archive = open_for("tallowmere info", command.archive, damaged);
  if (!archive) return kExitTrouble;
  const dat::DatHeader& header = archive->db.header();
  // The library was shown a root of 0; the real one is the archive's.
  dat::DatHeader shown = header;
  shown.root_offset = archive->root_offset;

  std::map<uint32_t, TypeTotals> types;
  uint64_t payload_bytes = 0;
  uint64_t blocks = archive->directory.nodes * blocks_for(dat::kNodeSize, header.block_size);
  for (const auto& e : archive->directory.entries) {
    TypeTotals& t = types[type_key(archive->kind, e.id)];
    ++t.files;
    t.bytes += e.size;
    t.largest = std::max<uint64_t>(t.largest, e.size);
    t.compressed += e.compressed();
    payload_bytes += e.size;
    blocks += blocks_for(e.size, header.block_size);
  }
  const uint64_t files = archive->directory.entries.size();
  const uint64_t bytes_used = blocks * header.block_size;

  if (command.json) {
    JsonDump fields;
    common::visit_record(shown, fields);
    JsonWriter json;
    json.begin_object();
    json.key("path").value(std::string_view(command.archive));
    json.key("kind").value(kind_name(archive->kind));
    json.key("length").value(archive->file_length);
    json.key("block_size").value(uint64_t{header.block_size});
    json.key("files").value(files);
    json.key("free_blocks").value(uint64_t{header.free_count});
    json.key("payload_bytes").value(payload_bytes);
    json.key("bytes_used").value(bytes_used);
    json.key("directory_depth").value(uint64_t{archive->directory.depth});
    json.key("directory_nodes").value(archive->directory.nodes);
    json.key("types").begin_array();
    for (const auto& [key, t] : types) {
      json.begin_object();
      json.key("key").value(uint64_t{key});
      json.key("name").value(std::string_view(type_name(archive->kind, key)));
      json.key("files").value(t.files);
      json.key("total_bytes").value(t.bytes);
      json.key("largest").value(t.largest);
      json.key("compressed").value(t.compressed);
      json.end_object();
    }
    json.end_array();
    // The header last: its fields as they are stored.
    std::string text = json.text();
    text.pop_back();
    write_stdout(text + ",\"header\":" + fields.json.text() + "}\n");
    return damaged ? kExitFailed : kExitOk;
  }

  TextDump fields;
  common::visit_record(shown, fields);
  std::string out = "archive: " + command.archive + "\n";
  out += "kind: " + std::string(kind_name(archive->kind)) + "\n";
  out += "length: " + std::to_string(archive->file_length) + " bytes\n";
  // The dump opens with the record's name; its fields follow one level in.
  out += "header:\n";
  const std::string& text = fields.text;
  for (size_t i = text.find('\n') + 1; i < text.size();) {
    const size_t end = text.find('\n', i);
    out += "  " + text.substr(i, end - i + 1);
    i = end + 1;
  }
  out += "block size: " + std::to_string(header.block_size) + "\n";
  out += "files: " + std::to_string(files) + "\n";
  out += "free blocks: " + std::to_string(header.free_count) + "\n";
  out += "payload bytes: " + std::to_string(payload_bytes) + "\n";
  out += "bytes used: " + std::to_string(bytes_used) + " (" + std::to_string(blocks) +
         " blocks of directory nodes and payloads)\n";
  out += "directory: depth " + std::to_string(archive->directory.depth) + ", " +
         std::to_string(archive->directory.nodes) + " nodes\n";
  char line[160];
  std::snprintf(line, sizeof line, "%-6s %-16s %8s %12s %10s %11s\n", "key", "type", "files",
                "total", "largest", "compressed");
  out += line;
  for (const auto& [key, t] : types) {
    char key_text[12];
    std::snprintf(key_text, sizeof key_text, archive->kind == ArchiveKind::Cell ? "%u" : "0x%02X",
                  key);
    std::snprintf(line, sizeof line, "%-6s %-16s %8llu %12llu %10llu %11s\n", key_text,
                  type_name(archive->kind, key).c_str(), static_cast<unsigned long long>(t.files),
                  static_cast<unsigned long long>(t.bytes),
                  static_cast<unsigned long long>(t.largest),
                  percent(t.compressed, t.files).c_str());
    out += line;
  }
  write_stdout(out);
  return damaged ? kExitFailed : kExitOk;
}

}  // namespace tallowmere::tool

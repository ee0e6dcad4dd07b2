// tallowmere verify: reads every file of whole archives and reports the damage.
//
// Each archive's directory is walked (a damaged node is reported and its subtree left
// out), then every file is read along its block chain, expanded when compressed, and
// parsed when its type has a parser. References between records of one archive are
// checked as well: a region's scenes, a scene's graphics objects and setup models and a
// setup model's parts must be present, and in a cell archive every landblock has both
// its cell landblock (xxyyFFFF) and its landblock info (xxyyFFFE). Files are split
// between threads in chunks of consecutive entries; each chunk's results are kept
// apart and joined in id order, so the output never depends on the number of threads.
#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "archive_view.hpp"
#include "commands.hpp"
#include "output.hpp"
#include "tallowmere/common/text.hpp"

namespace tallowmere::tool {

namespace {

constexpr size_t kChunk = 256;

struct Failure {
  enum class Where : uint8_t { Header, Directory, File };
  Where where = Where::File;
  uint32_t id = 0;  // a file id, or a directory node's offset
  std::string type;
  std::string stage;  // "read", "decompress", "parse", "missing"
  std::string cause;
};

struct ChunkResult {
  std::vector<Failure> failures;
  std::vector<std::pair<uint32_t, std::vector<uint32_t>>> references;  // referrer, ids
  std::vector<uint8_t> parsed;  // per entry of the chunk: 1 parsed
  uint64_t payload_bytes = 0;
};

struct TypeCounts {
  uint64_t files = 0;
  uint64_t parsed = 0;
  uint64_t failed = 0;
  bool parser = false;
};

struct ArchiveReport {
  std::string path;
  ArchiveKind kind = ArchiveKind::Portal;
  uint64_t files = 0;
  uint64_t payload_bytes = 0;
  std::vector<Failure> failures;  // header, directory nodes, then files by id
  std::map<uint32_t, TypeCounts> types;
  uint64_t missing = 0;
};

ChunkResult check_chunk(const OpenArchive& archive, size_t begin, size_t end, bool read_only,
                        ProgressLine& progress) {
  ChunkResult result;
  result.parsed.assign(end - begin, 0);
  const auto& entries = archive.directory.entries;
  for (size_t i = begin; i < end; ++i) {
    const dat::DatFileEntry& entry = entries[i];
    const auto fail = [&](std::string stage, std::string cause) {
      result.failures.push_back({Failure::Where::File, entry.id,
                                 type_name(archive.kind, type_key(archive.kind, entry.id)),
                                 std::move(stage), std::move(cause)});
    };
    auto payload = fetch(archive, entry);
    progress.advance();
    if (!payload) {
      fail("read", one_line(payload.error()));
      continue;
    }
    result.payload_bytes += payload->bytes.size();
    if (read_only) continue;
    if (payload->announced && payload->bytes.size() != *payload->announced) {
      fail("decompress", "compressed stream ends after " + std::to_string(payload->bytes.size()) +
                             " of " + std::to_string(*payload->announced) + " bytes");
      continue;
    }
    const RecordKind kind = record_kind(archive.kind, entry.id);
    if (kind == RecordKind::None) continue;
    auto record = parse_record(kind, payload->bytes);
    if (!record) {
      fail("parse", one_line(record.error()));
      continue;
    }
    result.parsed[i - begin] = 1;
    auto refs = references(*record);
    if (!refs.empty()) result.references.emplace_back(entry.id, std::move(refs));
  }
  return result;
}

// Failures of references to files that are not there, by missing id.
std::vector<Failure> missing_files(const OpenArchive& archive,
                                   const std::vector<ChunkResult>& chunks) {
  struct Referrers {
    uint32_t first = 0;
    uint64_t count = 0;
  };
  std::map<uint32_t, Referrers> missing;
  for (const auto& chunk : chunks) {
    for (const auto& [referrer, ids] : chunk.references) {
      for (uint32_t id : ids) {
        if (record_kind(archive.kind, id) == RecordKind::None || archive.find(id)) continue;
        Referrers& r = missing[id];
        if (r.count++ == 0) r.first = referrer;
      }
    }
  }
  if (archive.kind == ArchiveKind::Cell) {
    // Both records of a landblock, or neither.
    const auto& entries = archive.directory.entries;
    for (const auto& e : entries) {
      const uint32_t low = e.id & 0xFFFF;
      if (low != 0xFFFF && low != 0xFFFE) continue;
      const uint32_t other = (e.id & 0xFFFF0000u) | (low == 0xFFFF ? 0xFFFE : 0xFFFF);
      if (!archive.find(other)) missing[other] = {e.id, 1};
    }
  }
  std::vector<Failure> out;
  for (const auto& [id, r] : missing) {
    std::string cause = "not in the archive; referred to by " + id_text(r.first);
    if (archive.kind == ArchiveKind::Cell) cause = "not in the archive beside " + id_text(r.first);
    if (r.count > 1) cause += " and " + std::to_string(r.count - 1) + " more";
    out.push_back({Failure::Where::File, id, type_name(archive.kind, type_key(archive.kind, id)),
                   "missing", std::move(cause)});
  }
  return out;
}

ArchiveReport verify_archive(OpenArchive& archive, unsigned jobs, bool read_only) {
  ArchiveReport report{archive.path, archive.kind, archive.directory.entries.size(), 0, {}, {}, 0};
  for (const auto& node : archive.directory.failures) {
    report.failures.push_back(
        {Failure::Where::Directory, node.offset, "", "directory", node.cause});
  }
  const auto& entries = archive.directory.entries;
  const size_t chunk_count = (entries.size() + kChunk - 1) / kChunk;
  std::vector<ChunkResult> chunks(chunk_count);
  ProgressLine progress("verify " + common::display_lossy(archive.path), "files", entries.size());
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t c; (c = next.fetch_add(1)) < chunk_count;) {
      chunks[c] = check_chunk(archive, c * kChunk, std::min(entries.size(), (c + 1) * kChunk),
                              read_only, progress);
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < std::min<size_t>(jobs, chunk_count); ++t) threads.emplace_back(work);
  work();
  for (auto& thread : threads) thread.join();
  progress.finish();

  for (size_t c = 0; c < chunk_count; ++c) {
    report.payload_bytes += chunks[c].payload_bytes;
    for (size_t k = 0; k < chunks[c].parsed.size(); ++k) {
      const uint32_t id = entries[c * kChunk + k].id;
      TypeCounts& t = report.types[type_key(archive.kind, id)];
      ++t.files;
      t.parser = record_kind(archive.kind, id) != RecordKind::None;
      t.parsed += chunks[c].parsed[k];
    }
  }
  if (read_only) return report;

  std::vector<Failure> files;
  for (auto& chunk : chunks) {
    for (auto& f : chunk.failures) {
      ++report.types[type_key(archive.kind, f.id)].failed;
      files.push_back(std::move(f));
    }
  }
  std::vector<Failure> missing = missing_files(archive, chunks);
  report.missing = missing.size();
  files.insert(files.end(), std::make_move_iterator(missing.begin()),
               std::make_move_iterator(missing.end()));
  std::ranges::stable_sort(files, {}, &Failure::id);
  report.failures.insert(report.failures.end(), std::make_move_iterator(files.begin()),
                         std::make_move_iterator(files.end()));
  return report;
}

std::string failure_text(const Failure& f, bool colour) {
  switch (f.where) {
    case Failure::Where::Header:
      return paint("header", "31", colour) + ": " + f.cause + "\n";
    case Failure::Where::Directory:
      return paint("node " + id_text(f.id), "31", colour) + " directory: " + f.cause + "\n";
    case Failure::Where::File:
      break;
  }
  return paint(id_text(f.id), "31", colour) + " " + f.type + " " + f.stage + ": " + f.cause + "\n";
}

std::string report_text(const ArchiveReport& r, bool colour) {
  std::string out = common::display_lossy(r.path) + ": " + std::string(kind_name(r.kind)) +
                    " archive, " + std::to_string(r.files) + " files\n";
  for (const auto& f : r.failures) out += "  " + failure_text(f, colour);
  char line[160];
  std::snprintf(line, sizeof line, "  %-16s %8s %8s %8s\n", "type", "files", "parsed", "failed");
  out += line;
  for (const auto& [key, t] : r.types) {
    const std::string parsed = t.parser ? std::to_string(t.parsed) : "-";
    std::snprintf(line, sizeof line, "  %-16s %8llu %8s %8llu\n", type_name(r.kind, key).c_str(),
                  static_cast<unsigned long long>(t.files), parsed.c_str(),
                  static_cast<unsigned long long>(t.failed));
    out += line;
  }
  if (r.missing > 0) out += "  missing files: " + std::to_string(r.missing) + "\n";
  out += r.failures.empty()
             ? "  " + paint("ok", "32", colour) + "\n"
             : "  " + paint(std::to_string(r.failures.size()) + " problems", "31", colour) + "\n";
  return out;
}

void report_json(JsonWriter& json, const ArchiveReport& r) {
  json.begin_object();
  json.key("path").value(std::string_view(r.path));
  json.key("kind").value(kind_name(r.kind));
  json.key("files").value(r.files);
  json.key("failures").begin_array();
  for (const auto& f : r.failures) {
    json.begin_object();
    if (f.where == Failure::Where::File) {
      json.key("id").value(std::string_view(id_text(f.id)));
      json.key("type").value(std::string_view(f.type));
      json.key("stage").value(std::string_view(f.stage));
    } else if (f.where == Failure::Where::Directory) {
      json.key("node").value(std::string_view(id_text(f.id)));
      json.key("stage").value("directory");
    } else {
      json.key("stage").value("header");
    }
    json.key("cause").value(std::string_view(f.cause));
    json.end_object();
  }
  json.end_array();
  json.key("types").begin_array();
  for (const auto& [key, t] : r.types) {
    json.begin_object();
    json.key("type").value(std::string_view(type_name(r.kind, key)));
    json.key("files").value(t.files);
    t.parser ? json.key("parsed").value(t.parsed) : json.key("parsed").null();
    json.key("failed").value(t.failed);
    json.end_object();
  }
  json.end_array();
  json.key("missing").value(r.missing);
  json.end_object();
}

}  // namespace

int run_verify(const VerifyCommand& command) {
  const unsigned jobs = command.jobs == 0 ? 1 : command.jobs;
  bool trouble = false, damaged = false;
  std::vector<ArchiveReport> reports;
  for (const auto& path : command.archives) {
    auto archive = open_archive(path);
    if (!archive) {
      if (archive.error().unusable) {
        write_stderr(ringproof::format_report(archive.error().report));
        trouble = true;
        continue;
      }
      // A header that cannot be read is damage the checker exists to find.
      ArchiveReport r{path, ArchiveKind::Portal, 0, 0, {}, {}, 0};
      const auto& error = archive.error();
      const std::string cause = error.error ? one_line(*error.error) : error.report.message;
      r.failures.push_back({Failure::Where::Header, 0, "", "header", cause});
      reports.push_back(std::move(r));
      damaged = true;
      continue;
    }
    if (command.read_only) {
      ArchiveReport r = verify_archive(*archive, jobs, true);
      write_stdout(common::display_lossy(path) + ": read " + std::to_string(r.files) + " files, " +
                   std::to_string(r.payload_bytes) + " payload bytes\n");
      continue;
    }
    reports.push_back(verify_archive(*archive, jobs, false));
    damaged = damaged || !reports.back().failures.empty();
  }
  if (!command.read_only) {
    if (command.json) {
      JsonWriter json;
      json.begin_object().key("archives").begin_array();
      for (const auto& r : reports) report_json(json, r);
      json.end_array().key("damaged").value(damaged).end_object();
      write_stdout(json.text() + "\n");
    } else {
      const bool colour = stdout_colour();
      std::string out;
      for (const auto& r : reports) out += report_text(r, colour);
      write_stdout(out);
    }
  }
  return trouble ? kExitTrouble : damaged ? kExitFailed : kExitOk;
}

}  // namespace tallowmere::tool

// The inspection commands (info, ls, cat, dump, verify): golden outputs on a tiny
// generated world, lossless JSON dumps of every demo-world record, verify against the
// generator's manifest and against damaged archives, and usage errors.
//
// Goldens live in tests/golden/inspect; TALLOWMERE_UPDATE_GOLDEN=1 rewrites them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "archive_view.hpp"
#include "record_dump.hpp"
#include "tallowmere/common/endian.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"
#include "tallowmere/testing/child_process.hpp"
#include "tallowmere/testing/demo_world.hpp"
#include "tallowmere/testing/temp_dir.hpp"
#include "tallowmere/worldgen/worldgen.hpp"

namespace tallowmere::tool {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using tallowmere::testing::read_all;
using tallowmere::testing::run_tool;
using tallowmere::testing::TempDir;
using tallowmere::testing::ToolRun;
using tallowmere::testing::write_all;

// The tiny world of seed 1, made once per test program.
struct TinyWorld {
  TempDir dir;
  std::string portal = dir.file("client_portal.dat");
  std::string cell = dir.file("client_cell_1.dat");
  worldgen::WorldSummary summary;
  TinyWorld() {
    worldgen::Options options;
    options.scale = worldgen::Scale::Tiny;
    auto made = worldgen::generate_world(options, portal, cell);
    EXPECT_TRUE(made);
    if (made) summary = *made;
  }
};
const TinyWorld& tiny_world() {
  static const TinyWorld world;
  return world;
}

class Inspect : public ::testing::Test {
 protected:
  ToolRun tool(std::vector<std::string> args, tallowmere::testing::Env env = {}) {
    args.insert(args.begin(), TALLOWMERE_TESTBIN);
    return run_tool(args, env, home_.path(), scratch_.path());
  }

  // Compares `text` with the golden file `name`, or rewrites it on request.
  static void expect_golden(const std::string& name, const std::string& text) {
    const fs::path path = fs::path(TALLOWMERE_GOLDEN_DIR) / "inspect" / name;
    if (std::getenv("TALLOWMERE_UPDATE_GOLDEN")) {
      fs::create_directories(path.parent_path());
      write_all(path, text);
      return;
    }
    EXPECT_EQ(text, read_all(path)) << "golden " << name;
  }

  TempDir scratch_, home_, work_;
};

// For each record type, the smallest intact file of that type.
std::vector<std::pair<std::string, uint32_t>> smallest_records(const std::string& path) {
  auto archive = open_archive(path);
  EXPECT_TRUE(archive);
  std::map<RecordKind, dat::DatFileEntry> best;
  for (const auto& e : archive->directory.entries) {
    const RecordKind kind = record_kind(archive->kind, e.id);
    if (kind == RecordKind::None) continue;
    auto payload = fetch(*archive, e);
    if (!payload || !parse_record(kind, payload->bytes)) continue;
    auto [it, fresh] = best.emplace(kind, e);
    if (!fresh && e.size < it->second.size) it->second = e;
  }
  std::vector<std::pair<std::string, uint32_t>> out;
  for (const auto& [kind, e] : best) out.emplace_back(std::string(record_name(kind)), e.id);
  return out;
}

TEST_F(Inspect, GoldenInfoLsAndDumpOfEveryRecordType) {
  const TinyWorld& world = tiny_world();
  for (const auto& [name, path] : {std::pair{"portal", world.portal}, {"cell", world.cell}}) {
    const ToolRun info = tool({"info", path});
    ASSERT_EQ(info.status, 0) << info.err;
    // The path varies from run to run; the rest is the world's.
    expect_golden(std::string("info_") + name + ".txt", info.out.substr(info.out.find('\n') + 1));
  }
  const ToolRun scenes = tool({"ls", world.portal, "--type", "scene"});
  ASSERT_EQ(scenes.status, 0) << scenes.err;
  expect_golden("ls_portal_scenes.txt", scenes.out);
  const ToolRun landblock = tool({"ls", world.cell, "--ids", "0xA3AE0000..0xA3AEFFFF", "--json"});
  ASSERT_EQ(landblock.status, 0) << landblock.err;
  expect_golden("ls_cell_A3AE.json", landblock.out);

  std::set<std::string> types;
  for (const auto& path : {world.portal, world.cell}) {
    for (const auto& [type, id] : smallest_records(path)) {
      types.insert(type);
      const ToolRun text = tool({"dump", path, id_text(id)});
      const ToolRun json_run = tool({"dump", path, id_text(id), "--json"});
      ASSERT_EQ(text.status, 0) << text.err;
      ASSERT_EQ(json_run.status, 0) << json_run.err;
      expect_golden("dump_" + type + ".txt", text.out);
      expect_golden("dump_" + type + ".json", json_run.out);
    }
  }
  EXPECT_EQ(types.size(), 6u);
}

// Walks a parsed record beside its JSON dump and checks that every value, floats to
// the bit, came back.
class JsonCheck final : public common::FieldVisitor {
 public:
  explicit JsonCheck(const json& root) { stack_.push_back({&root, 0, {}}); }
  size_t floats = 0;

  void value(std::string_view name, const common::FieldValue& v) override {
    const json& node = next(name);
    std::visit(
        [&](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_floating_point_v<T>) {
            ++floats;
            if (std::isnan(x)) {
              EXPECT_EQ(node, "NaN") << where(name);
            } else if (std::isinf(x)) {
              EXPECT_EQ(node, x < 0 ? "-inf" : "inf") << where(name);
            } else {
              ASSERT_TRUE(node.is_number()) << where(name);
              const T back = static_cast<T>(node.get<double>());
              using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
              EXPECT_EQ(std::bit_cast<Bits>(back), std::bit_cast<Bits>(x)) << where(name);
            }
          } else if constexpr (std::is_same_v<T, bool>) {
            EXPECT_EQ(node.get<bool>(), x) << where(name);
          } else if constexpr (std::is_integral_v<T>) {
            EXPECT_EQ(node.get<int64_t>(), static_cast<int64_t>(x)) << where(name);
          } else if constexpr (std::is_same_v<T, common::PackedU32>) {
            EXPECT_EQ(node.get<uint64_t>(), x.value) << where(name);
          } else if constexpr (std::is_same_v<T, std::string_view>) {
            EXPECT_EQ(node.get<std::string>(), x) << where(name);
          } else {
            EXPECT_EQ(node.get<std::string>().size(), 2 * x.size()) << where(name);
          }
        },
        v);
  }
  void begin_record(std::string_view name, std::string_view) override { open(name, false); }
  void end_record() override { close(); }
  void begin_list(std::string_view name, size_t size, common::CountForm) override {
    open(name, false);
    EXPECT_EQ(stack_.back().node->size(), size) << where(name);
  }
  void end_list() override { close(); }
  void begin_map(std::string_view name, size_t size, common::CountForm) override {
    open(name, true);
    EXPECT_EQ(stack_.back().node->size(), size) << where(name);
  }
  void key(const common::FieldValue& k) override {
    stack_.back().key = std::visit(
        [](const auto& x) -> std::string {
          if constexpr (std::is_integral_v<std::decay_t<decltype(x)>>) return std::to_string(x);
          return "?";
        },
        k);
  }
  void end_map() override { close(); }
  void absent(std::string_view name) override { EXPECT_TRUE(next(name).is_null()) << where(name); }

 private:
  struct Level {
    const json* node;
    size_t index;
    std::string key;
    bool map = false;
    bool started = false;
  };
  const json& next(std::string_view name) {
    Level& top = stack_.back();
    if (!top.started) {  // the top-level record is the root itself
      top.started = true;
      return *top.node;
    }
    if (top.map) return top.node->at(top.key);
    if (top.node->is_array()) return top.node->at(top.index++);
    return top.node->at(std::string(name));
  }
  void open(std::string_view name, bool map) {
    const json& node = next(name);
    stack_.push_back({&node, 0, {}, map, true});
  }
  void close() { stack_.pop_back(); }
  std::string where(std::string_view name) const {
    return "field '" + std::string(name) + "' at depth " + std::to_string(stack_.size());
  }
  std::vector<Level> stack_;
};

TEST_F(Inspect, JsonDumpOfEveryDemoRecordReadsBackToTheSameBits) {
  const auto& world = tallowmere::testing::demo_world_files();
  size_t records = 0, floats = 0;
  for (const auto& path : {world.portal_path, world.cell_path}) {
    auto archive = open_archive(path);
    ASSERT_TRUE(archive);
    for (const auto& e : archive->directory.entries) {
      const RecordKind kind = record_kind(archive->kind, e.id);
      if (kind == RecordKind::None) continue;
      auto payload = fetch(*archive, e);
      ASSERT_TRUE(payload);
      auto record = parse_record(kind, payload->bytes);
      if (!record) continue;  // damaged on purpose
      const json doc = json::parse(dump_json(e.id, *record));
      ASSERT_EQ(doc.at("id"), id_text(e.id));
      ASSERT_EQ(doc.at("type"), record_name(kind));
      JsonCheck check(doc.at("record"));
      visit_parsed(*record, check);
      ++records;
      floats += check.floats;
      if (::testing::Test::HasFailure()) FAIL() << "record " << id_text(e.id);
    }
  }
  EXPECT_GT(records, 500u);
  EXPECT_GT(floats, 100000u);
}

// Failing file ids per archive in verify's JSON report.
std::vector<std::set<uint32_t>> failing_ids(const std::string& report) {
  std::vector<std::set<uint32_t>> out;
  const json doc = json::parse(report);
  for (const auto& archive : doc.at("archives")) {
    std::set<uint32_t> ids;
    for (const auto& f : archive.at("failures")) {
      ids.insert(static_cast<uint32_t>(std::stoul(f.at("id").get<std::string>(), nullptr, 16)));
    }
    out.push_back(std::move(ids));
  }
  return out;
}

TEST_F(Inspect, VerifyFindsExactlyTheManifestWhateverTheJobs) {
  const auto& world = tallowmere::testing::demo_world_files();
  const ToolRun run = tool({"verify", world.portal_path, world.cell_path, "--json", "--jobs", "2"});
  ASSERT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.err, "");
  const auto found = failing_ids(run.out);
  ASSERT_EQ(found.size(), 2u);
  // A file left out that no record names leaves no trace: every number in every
  // record's dump tells which missing files can be found.
  std::set<uint64_t> named;
  const auto collect = [&](const json& node, const auto& self) -> void {
    if (node.is_number_unsigned()) named.insert(node.get<uint64_t>());
    if (node.is_structured()) {
      for (const auto& child : node) self(child, self);
    }
  };
  for (const auto& path : {world.portal_path, world.cell_path}) {
    auto archive = open_archive(path);
    ASSERT_TRUE(archive);
    for (const auto& e : archive->directory.entries) {
      const RecordKind kind = record_kind(archive->kind, e.id);
      auto payload = fetch(*archive, e);
      if (kind == RecordKind::None || !payload) continue;
      if (auto record = parse_record(kind, payload->bytes)) {
        collect(json::parse(dump_json(e.id, *record)), collect);
      }
    }
  }
  size_t unnamed = 0;
  for (const auto& [ids, manifest] : {std::pair{found[0], &world.summary.manifest.portal},
                                      {found[1], &world.summary.manifest.cell}}) {
    std::set<uint32_t> expected;
    for (const auto& f : *manifest) {
      // A cell archive's landblock is named by its other record.
      const bool cell = manifest == &world.summary.manifest.cell;
      if (f.damage == worldgen::Damage::Missing && !cell && !named.contains(f.id)) {
        ++unnamed;
        continue;
      }
      expected.insert(f.id);
    }
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(ids, expected);
  }
  EXPECT_LE(unnamed, 3u);

  const ToolRun one = tool({"verify", world.portal_path, world.cell_path, "--jobs", "1"});
  const ToolRun two = tool({"verify", world.portal_path, world.cell_path, "--jobs", "2"});
  const ToolRun three = tool({"verify", world.portal_path, world.cell_path, "--jobs", "3"});
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(one.out, two.out);
  EXPECT_EQ(one.out, three.out);
  // No colour and no progress line when the outputs are files.
  EXPECT_EQ(one.out.find('\033'), std::string::npos);
  EXPECT_EQ(one.err, "");
}

TEST_F(Inspect, VerifyReportsEachKindOfDamagedArchiveAndGoesOn) {
  using writer::ArchiveWriter;
  using writer::NodeSpec;
  const std::vector<uint8_t> payload(3000, 0x5A);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* expected;  // in the report
  };
  std::vector<Case> cases;
  {  // a payload chain that comes back to its first block
    ArchiveWriter w(256);
    const auto entry = w.add_file(0x01000001, payload);
    w.add_file(0x01000002, payload);
    auto bytes = w.finish();
    // The second block's pointer leads back to the first block.
    const uint32_t second = common::load_u32le(&bytes[entry.offset]);
    std::memcpy(&bytes[second], &entry.offset, 4);
    cases.push_back(
        {"chain loop", bytes, "0x01000001 gfx_obj read: Corruption detected: block chain"});
  }
  {  // a payload that runs past the end of the file
    ArchiveWriter w(256);
    w.add_file(0x01000002, payload);
    w.add_entry({0, 0x01000003, 0x7FFF0000, 100, 0, 0});
    cases.push_back({"beyond the end", w.finish(),
                     "0x01000003 gfx_obj read: IO error: failed to fill whole buffer"});
  }
  {  // a directory node that points back at the root
    ArchiveWriter w(256);
    const uint32_t root = w.reserve_node();
    NodeSpec child{.entries = {{0, 0x01000002, 0, 0, 0, 0}}};
    child.branches[0] = root;
    NodeSpec top{.entries = {{0, 0x01000001, 0, 0, 0, 0}}};
    child.branch = 0;
    top.children = {child};
    w.write_node_at(root, top);
    w.set_root(root);
    cases.push_back({"directory cycle", w.finish(), "directory: directory node is reached twice"});
  }
  {  // an entry count above 61
    ArchiveWriter w(256);
    NodeSpec node;
    for (uint32_t k = 1; k <= 61; ++k) node.entries.push_back({0, 0x01000000 + k, 0, 0, 0, 0});
    node.entry_count = 62;
    w.set_root(w.write_node(node));
    cases.push_back({"entry count", w.finish(), "directory: entry count 62 is above 61"});
  }
  {  // a header cut short
    cases.push_back({"short header", std::vector<uint8_t>(0x150, 0),
                     "header: Binary read error: failed to fill whole buffer; While parsing "
                     "field 'subset' in DatHeader"});
  }
  {  // a record cut short and a compressed stream cut short
    ArchiveWriter w(1024);
    std::vector<uint8_t> scene = {1, 0, 0, 0x12, 5, 0, 0, 0};  // five objects promised
    w.add_file(0x12000001, scene);
    std::vector<uint8_t> text(2000, 'a');
    const auto packed = w.add_file(0x03000001, text, {.compress = true});
    auto bytes = w.finish();
    bytes[packed.offset + 4] = 0xFF;  // announces far more than the stream holds
    bytes[packed.offset + 5] = 0xFF;
    cases.push_back(
        {"record and stream", bytes, "0x12000001 scene parse: failed to fill whole buffer"});
    cases.push_back({"record and stream", bytes,
                     "0x03000001 animation decompress: compressed stream ends after"});
  }

  for (const auto& c : cases) {
    const std::string path = work_.file(std::string(c.name) + ".dat");
    write_all(path, std::string(c.bytes.begin(), c.bytes.end()));
    const ToolRun run = tool({"verify", path, tallowmere::testing::demo_world_files().cell_path});
    EXPECT_EQ(run.status, 1) << c.name << "\n" << run.err;
    EXPECT_NE(run.out.find(c.expected), std::string::npos) << c.name << "\n" << run.out;
    // The archive after the damaged one is still checked.
    EXPECT_NE(run.out.find("client_cell_1.dat: cell archive"), std::string::npos) << c.name;
  }
}

TEST_F(Inspect, UsageErrorsAreOneLineAndExitTwo) {
  const auto& world = tallowmere::testing::demo_world_files();
  const fs::path fifo = work_.path() / "archive.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::vector<std::vector<std::string>> runs = {
      {"inspect", world.portal_path},
      {"dump", world.portal_path, "0x13zz"},
      {"cat", world.portal_path, "13000000000"},
      {"dump", world.portal_path, "0x7F000000"},
      {"ls", world.portal_path, "--ids", "9..1"},
      {"ls", world.portal_path, "--type", "nonsense"},
      {"dump", world.portal_path, "0x03000001"},  // a type without a parser, or absent
      {"verify", world.portal_path, "--jobs", "0"},
  };
  for (const auto& args : runs) {
    const ToolRun run = tool(args);
    EXPECT_EQ(run.status, 2) << args[0] << " " << args.back() << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
  }
  // An archive that cannot be opened: the error report, exit 2, and a FIFO at once.
  for (const std::string& path : {work_.file("missing.dat"), fifo.string()}) {
    for (const char* command : {"info", "ls", "verify"}) {
      const auto start = std::chrono::steady_clock::now();
      const ToolRun run = tool({command, path});
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
      EXPECT_EQ(run.status, 2) << command << " " << path;
      EXPECT_TRUE(run.err.starts_with("Error: open " + path + "\n")) << run.err;
    }
  }
}

TEST_F(Inspect, CatWritesThePayloadAndDumpReportsAFailedRecord) {
  const auto& world = tallowmere::testing::demo_world_files();
  auto archive = open_archive(world.portal_path);
  ASSERT_TRUE(archive);
  const auto region = archive->db.read_file_data(archive->find(0x13000000)->offset,
                                                 archive->find(0x13000000)->size);
  ASSERT_TRUE(region);
  auto expected = fetch(*archive, *archive->find(0x13000000));
  ASSERT_TRUE(expected);
  const std::string out = work_.file("region.bin");
  const ToolRun cat = tool({"cat", world.portal_path, "0x13000000", "-o", out});
  ASSERT_EQ(cat.status, 0) << cat.err;
  EXPECT_EQ(read_all(out), std::string(expected->bytes.begin(), expected->bytes.end()));
  const ToolRun piped = tool({"cat", world.portal_path, "0x13000000"});
  EXPECT_EQ(piped.out, read_all(out));

  // A file damaged on purpose: ringproof's report, backtrace included when framed.
  uint32_t truncated = 0;
  for (const auto& f : world.summary.manifest.cell) {
    if (f.damage == worldgen::Damage::Truncated && (f.id & 0xFFFF) == 0xFFFF) truncated = f.id;
  }
  ASSERT_NE(truncated, 0u);
  const ToolRun dump = tool({"dump", world.cell_path, id_text(truncated)});
  EXPECT_EQ(dump.status, 1);
  EXPECT_EQ(dump.out, "");
  EXPECT_TRUE(dump.err.starts_with("Error: parse CellLandblock " + id_text(truncated) +
                                   "\n\nCaused by:\n    \n     \u257a"))
      << dump.err;
  EXPECT_NE(dump.err.find("While parsing field"), std::string::npos);
}

}  // namespace
}  // namespace tallowmere::tool

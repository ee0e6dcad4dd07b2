// tallowmere diff: compares two placement folders, as someone porting the bake compares
// their output with ours.
//
// Landblocks are matched by file name. Within a landblock whose files differ, placements
// are matched by their source (vertex x, vertex y, object index), which is unique within a
// landblock, so a placement missing on one side does not make every later line differ.
// Floats are compared by their bits after reading the text as single precision, and a
// difference is also given in units in the last place.
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "commands.hpp"
#include "output.hpp"
#include "placement_folder.hpp"
#include "placement_match.hpp"
#include "tallowmere/scenery/placement_files.hpp"

namespace tallowmere::tool {
namespace {

struct Entry {
  std::string key;
  enum class Kind { OnlyA, OnlyB, Changed, Unreadable } kind;
  const PlacementText* a = nullptr;
  const PlacementText* b = nullptr;
  std::vector<FieldDiff> fields;
};

struct LandblockDiff {
  std::string name;
  size_t count_a = 0, count_b = 0;
  size_t changed = 0, only_a = 0, only_b = 0;
  std::vector<Entry> shown;
};

LandblockDiff diff_landblock(const std::string& name, const std::string& text_a,
                             const std::string& text_b, size_t max,
                             std::map<std::string, PlacementText>& keep_a,
                             std::map<std::string, PlacementText>& keep_b) {
  keep_a = key_placements(text_a);
  keep_b = key_placements(text_b);
  LandblockDiff d{name, keep_a.size(), keep_b.size(), 0, 0, 0, {}};
  // Entries in the order of A's lines, then B's lines that A lacks.
  std::vector<std::pair<size_t, Entry>> entries;
  for (const auto& [key, pa] : keep_a) {
    const auto found = keep_b.find(key);
    if (found == keep_b.end()) {
      ++d.only_a;
      entries.push_back({pa.line, Entry{key, Entry::Kind::OnlyA, &pa, nullptr, {}}});
      continue;
    }
    const PlacementText& pb = found->second;
    if (pa.text == pb.text) continue;
    if (!pa.members || !pb.members) {
      ++d.changed;
      entries.push_back({pa.line, Entry{key, Entry::Kind::Unreadable, &pa, &pb, {}}});
      continue;
    }
    auto fields = field_diffs(*pa.members, *pb.members);
    if (fields.empty()) continue;  // the same values, written differently
    ++d.changed;
    entries.push_back({pa.line, Entry{key, Entry::Kind::Changed, &pa, &pb, std::move(fields)}});
  }
  std::vector<std::pair<size_t, Entry>> extra;
  for (const auto& [key, pb] : keep_b) {
    if (keep_a.count(key)) continue;
    ++d.only_b;
    extra.push_back({pb.line, Entry{key, Entry::Kind::OnlyB, nullptr, &pb, {}}});
  }
  auto by_line = [](const auto& x, const auto& y) { return x.first < y.first; };
  std::stable_sort(entries.begin(), entries.end(), by_line);
  std::stable_sort(extra.begin(), extra.end(), by_line);
  for (auto& e : extra) entries.push_back(std::move(e));
  for (size_t i = 0; i < entries.size() && i < max; ++i)
    d.shown.push_back(std::move(entries[i].second));
  return d;
}

const char* kind_name(Entry::Kind kind) {
  switch (kind) {
    case Entry::Kind::OnlyA:
      return "only_in_a";
    case Entry::Kind::OnlyB:
      return "only_in_b";
    case Entry::Kind::Changed:
      return "changed";
    case Entry::Kind::Unreadable:
      return "unreadable";
  }
  return "?";
}

std::string ulp_text(const FieldDiff& f) {
  if (!f.ulps) return "";
  return " (" + std::to_string(*f.ulps) + (*f.ulps == 1 ? " ulp)" : " ulps)");
}

void text_landblock(std::string& out, const LandblockDiff& d) {
  out += "differ: " + d.name + ": " + std::to_string(d.count_a) + " vs " +
         std::to_string(d.count_b) + " placements; " + std::to_string(d.changed) + " changed, " +
         std::to_string(d.only_a) + " only in A, " + std::to_string(d.only_b) + " only in B\n";
  for (const Entry& e : d.shown) {
    switch (e.kind) {
      case Entry::Kind::OnlyA:
        out += "  " + e.key + " only in A, line " + std::to_string(e.a->line) + ": " + e.a->text +
               "\n";
        break;
      case Entry::Kind::OnlyB:
        out += "  " + e.key + " only in B, line " + std::to_string(e.b->line) + ": " + e.b->text +
               "\n";
        break;
      case Entry::Kind::Unreadable:
        out += "  " + e.key + " unreadable, lines " + std::to_string(e.a->line) + " and " +
               std::to_string(e.b->line) + ":\n    A: " + e.a->text + "\n    B: " + e.b->text +
               "\n";
        break;
      case Entry::Kind::Changed:
        out += "  " + e.key + " changed, lines " + std::to_string(e.a->line) + " and " +
               std::to_string(e.b->line) + ":\n";
        for (const FieldDiff& f : e.fields) {
          out += "    " + f.key + ": " + (f.a.empty() ? "(absent)" : f.a) + " vs " +
                 (f.b.empty() ? "(absent)" : f.b) + ulp_text(f) + "\n";
        }
        break;
    }
  }
  const size_t total = d.changed + d.only_a + d.only_b;
  if (total > d.shown.size()) {
    out += "  ... " + std::to_string(total - d.shown.size()) + " more\n";
  }
}

void json_side(JsonWriter& json, const std::string& text, const std::optional<float>& value) {
  if (text.empty()) {
    json.null();
  } else if (value) {
    json.value(*value);
  } else {
    json.value(std::string_view(text));
  }
}

void json_landblock(JsonWriter& json, const LandblockDiff& d) {
  json.begin_object();
  json.key("landblock").value(std::string_view(d.name));
  json.key("placements_a").value(uint64_t{d.count_a});
  json.key("placements_b").value(uint64_t{d.count_b});
  json.key("changed").value(uint64_t{d.changed});
  json.key("only_in_a").value(uint64_t{d.only_a});
  json.key("only_in_b").value(uint64_t{d.only_b});
  json.key("shown").begin_array();
  for (const Entry& e : d.shown) {
    json.begin_object();
    json.key("source").value(std::string_view(e.key));
    json.key("status").value(kind_name(e.kind));
    json.key("line_a");
    e.a ? json.value(uint64_t{e.a->line}) : json.null();
    json.key("line_b");
    e.b ? json.value(uint64_t{e.b->line}) : json.null();
    if (e.kind == Entry::Kind::Changed) {
      json.key("fields").begin_array();
      for (const FieldDiff& f : e.fields) {
        json.begin_object();
        json.key("field").value(std::string_view(f.key));
        json.key("a");
        json_side(json, f.a, f.fa);
        json.key("b");
        json_side(json, f.b, f.fb);
        if (f.ulps) json.key("ulps").value(uint64_t{*f.ulps});
        json.end_object();
      }
      json.end_array();
    } else {
      json.key("text_a").value(std::string_view(e.a ? e.a->text : ""));
      json.key("text_b").value(std::string_view(e.b ? e.b->text : ""));
    }
    json.end_object();
  }
  json.end_array();
  json.end_object();
}

std::string landblock_of(const std::string& name) {
  return name.substr(0, 6);
}

}  // namespace

int run_diff(const DiffCommand& command) {
  auto names_a = list_placement_files(command.a);
  auto names_b = names_a ? list_placement_files(command.b) : names_a;
  if (!names_a || !names_b) {
    write_stderr("tallowmere diff: " + (names_a ? names_b.error() : names_a.error()) + "\n");
    return kExitTrouble;
  }
  const std::set<std::string> set_a(names_a->begin(), names_a->end());
  const std::set<std::string> set_b(names_b->begin(), names_b->end());
  std::set<std::string> all = set_a;
  all.insert(set_b.begin(), set_b.end());

  std::vector<std::string> only_a, only_b;
  std::vector<std::string> differing;  // each differing landblock, rendered
  size_t identical = 0;
  for (const auto& name : all) {
    if (!set_b.count(name)) {
      only_a.push_back(landblock_of(name));
      continue;
    }
    if (!set_a.count(name)) {
      only_b.push_back(landblock_of(name));
      continue;
    }
    auto text_a = read_whole_file(scenery::join_path(command.a, name));
    auto text_b = text_a ? read_whole_file(scenery::join_path(command.b, name)) : text_a;
    if (!text_a || !text_b) {
      write_stderr("tallowmere diff: " + (text_a ? text_b.error() : text_a.error()) + "\n");
      return kExitTrouble;
    }
    if (*text_a == *text_b) {
      ++identical;
      continue;
    }
    std::map<std::string, PlacementText> keep_a, keep_b;
    // The entries point into the keyed placements: rendered while those live.
    const LandblockDiff d =
        diff_landblock(landblock_of(name), *text_a, *text_b, command.max, keep_a, keep_b);
    if (command.json) {
      JsonWriter json;
      json_landblock(json, d);
      differing.push_back(json.text());
    } else {
      text_landblock(differing.emplace_back(), d);
    }
  }

  const bool same = only_a.empty() && only_b.empty() && differing.empty();
  std::string out;
  if (command.json) {
    out = "{\"identical\":" + std::to_string(identical) + ",\"only_in_a\":";
    JsonWriter a, b;
    a.begin_array();
    for (const auto& id : only_a) a.value(std::string_view(id));
    a.end_array();
    b.begin_array();
    for (const auto& id : only_b) b.value(std::string_view(id));
    b.end_array();
    out += a.text() + ",\"only_in_b\":" + b.text() + ",\"differing\":[";
    for (size_t i = 0; i < differing.size(); ++i) {
      if (i) out += ',';
      out += differing[i];
    }
    out += "]}\n";
  } else {
    for (const auto& id : only_a) out += "only in A: " + id + "\n";
    for (const auto& id : only_b) out += "only in B: " + id + "\n";
    for (const auto& d : differing) out += d;
    out += "diff: " + std::to_string(identical) + " identical, " +
           std::to_string(differing.size()) + " differing, " + std::to_string(only_a.size()) +
           " only in A, " + std::to_string(only_b.size()) + " only in B\n";
  }
  write_stdout(out);
  return same ? kExitOk : kExitFailed;
}

}  // namespace tallowmere::tool

#include "record_dump.hpp"

#include <cmath>

namespace tallowmere::tool {

namespace {

using common::FieldValue;

// `open`, `inner` and `close` in one string. Built by appending: GCC 12 at -O3 warns
// falsely (-Wrestrict) about operator+ on a fresh std::to_string.
std::string enclosed(std::string_view open, std::string_view inner, std::string_view close) {
  std::string text(open);
  text += inner;
  text += close;
  return text;
}

std::string hex_bytes(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * bytes.size());
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

bool names_an_id(std::string_view name) {
  return name == "id" || name.ends_with("_id");
}

// A value as text; `name` picks the id form for ids.
std::string shown(std::string_view name, const FieldValue& value) {
  return std::visit(
      [&](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool>) {
          return v ? "true" : "false";
        } else if constexpr (std::is_same_v<T, uint32_t>) {
          return names_an_id(name) ? id_text(v) : std::to_string(v);
        } else if constexpr (std::is_integral_v<T>) {
          return std::to_string(v);
        } else if constexpr (std::is_same_v<T, common::PackedU32>) {
          return std::to_string(v.value);
        } else if constexpr (std::is_same_v<T, float>) {
          return shortest_float(v);
        } else if constexpr (std::is_same_v<T, double>) {
          return shortest_double(v);
        } else if constexpr (std::is_same_v<T, std::string_view>) {
          JsonWriter quoted;
          quoted.value(v);
          return quoted.text();
        } else {
          return v.empty() ? "(0 bytes)" : hex_bytes(v);
        }
      },
      value);
}

// A map key in decimal (keys are integers).
std::string key_text(const FieldValue& key) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
          return std::to_string(v);
        } else if constexpr (std::is_same_v<T, common::PackedU32>) {
          return std::to_string(v.value);
        } else {
          return shown("", FieldValue(v));
        }
      },
      key);
}

}  // namespace

void TextDump::value(std::string_view name, const FieldValue& v) {
  line(name, shown(name, v));
}
void TextDump::begin_record(std::string_view name, std::string_view type) {
  line(name, std::string(type));
  levels_.push_back({});
}
void TextDump::begin_list(std::string_view name, size_t size, common::CountForm) {
  line(name, enclosed("[", std::to_string(size), "]"));
  levels_.push_back({});
}
void TextDump::begin_map(std::string_view name, size_t size, common::CountForm) {
  line(name, enclosed("{", std::to_string(size), "}"));
  levels_.push_back({true, 0, {}});
}
void TextDump::key(const FieldValue& k) {
  levels_.back().key = key_text(k);
}
void TextDump::skip(std::string_view name, uint64_t bytes) {
  line(name, enclosed("(", std::to_string(bytes), " bytes skipped)"));
}

void TextDump::line(std::string_view name, const std::string& value) {
  if (levels_.empty()) {
    text += name.empty() ? value + "\n" : std::string(name) + ": " + value + "\n";
    return;
  }
  Level& level = levels_.back();
  std::string label(name);
  if (label.empty())
    label = enclosed("[", level.map ? level.key : std::to_string(level.index++), "]");
  text += std::string(2 * (levels_.size() - 1), ' ') + label + ": " + value + "\n";
}

void JsonDump::value(std::string_view name, const FieldValue& v) {
  name_it(name);
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, bool>) {
          json.value(x);
        } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
          json.value(int64_t{x});
        } else if constexpr (std::is_integral_v<T>) {
          json.value(uint64_t{x});
        } else if constexpr (std::is_same_v<T, common::PackedU32>) {
          json.value(uint64_t{x.value});
        } else if constexpr (std::is_floating_point_v<T>) {
          // "-0" reads back as the integer 0 in many parsers; "-0.0" keeps the sign.
          if (x == 0 && std::signbit(x)) {
            json.number("-0.0");
          } else {
            json.value(x);
          }
        } else if constexpr (std::is_same_v<T, std::string_view>) {
          json.value(x);
        } else {
          json.value(std::string_view(hex_bytes(x)));
        }
      },
      v);
}
void JsonDump::begin_record(std::string_view name, std::string_view) {
  name_it(name);
  json.begin_object();
  open_.push_back(Open::Record);
}
void JsonDump::begin_list(std::string_view name, size_t, common::CountForm) {
  name_it(name);
  json.begin_array();
  open_.push_back(Open::List);
}
void JsonDump::begin_map(std::string_view name, size_t, common::CountForm) {
  name_it(name);
  json.begin_object();
  open_.push_back(Open::Map);
}
void JsonDump::key(const FieldValue& k) {
  json.key(key_text(k));
}
void JsonDump::absent(std::string_view name) {
  name_it(name);
  json.null();
}
void JsonDump::name_it(std::string_view name) {
  // Fields of a record are named; list elements are not, map values follow key().
  if (!open_.empty() && open_.back() == Open::Record) json.key(name);
}
void JsonDump::close() {
  if (open_.back() == Open::List) {
    json.end_array();
  } else {
    json.end_object();
  }
  open_.pop_back();
}

std::string dump_text(const ParsedRecord& record) {
  TextDump dump;
  visit_parsed(record, dump);
  return dump.text;
}

std::string dump_json(uint32_t id, const ParsedRecord& record) {
  JsonDump dump;
  dump.json.begin_object();
  dump.json.key("id").value(std::string_view(id_text(id)));
  // The variant lists the records in the order of RecordKind, after None.
  dump.json.key("type").value(record_name(static_cast<RecordKind>(record.index() + 1)));
  dump.json.key("record");
  visit_parsed(record, dump);
  dump.json.end_object();
  return dump.json.text();
}

}  // namespace tallowmere::tool

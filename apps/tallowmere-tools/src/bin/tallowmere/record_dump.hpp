// Printed forms of a parsed record, both walked by the field visitor.
//
// Text: one line per field, indented two spaces per level: "name: value" for values,
// "name: Type" for nested records, "name: [N]" for lists and "name: {N}" for keyed maps,
// whose elements follow as "[index]" or "[key]". Ids (fields named "id" or ending in
// "_id") are shown as 0x and 8 hex digits; floats as their shortest round-trip decimal.
//
// JSON: lossless. A record is an object of its fields in stored order, a list an array,
// a keyed map an object whose member names are the keys in decimal, in ascending key
// order. Floats are written so that they read back to the same bits in their own width,
// NaN and the infinities as the strings "NaN", "inf" and "-inf"; byte blocks as
// lower-case hex strings; absent parts as null. Skipped and alignment bytes carry no
// value and are left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive_view.hpp"
#include "output.hpp"

namespace tallowmere::tool {

class TextDump final : public common::FieldVisitor {
 public:
  std::string text;

  void value(std::string_view name, const common::FieldValue& v) override;
  void begin_record(std::string_view name, std::string_view type) override;
  void end_record() override { levels_.pop_back(); }
  void begin_list(std::string_view name, size_t size, common::CountForm) override;
  void end_list() override { levels_.pop_back(); }
  void begin_map(std::string_view name, size_t size, common::CountForm) override;
  void key(const common::FieldValue& k) override;
  void end_map() override { levels_.pop_back(); }
  void absent(std::string_view name) override { line(name, "absent"); }
  void skip(std::string_view name, uint64_t bytes) override;

 private:
  struct Level {
    bool map = false;
    size_t index = 0;
    std::string key;
  };
  void line(std::string_view name, const std::string& shown);
  std::vector<Level> levels_;
};

class JsonDump final : public common::FieldVisitor {
 public:
  JsonWriter json;

  void value(std::string_view name, const common::FieldValue& v) override;
  void begin_record(std::string_view name, std::string_view) override;
  void end_record() override { close(); }
  void begin_list(std::string_view name, size_t, common::CountForm) override;
  void end_list() override { close(); }
  void begin_map(std::string_view name, size_t, common::CountForm) override;
  void key(const common::FieldValue& k) override;
  void end_map() override { close(); }
  void absent(std::string_view name) override;

 private:
  enum class Open : uint8_t { Record, List, Map };
  void name_it(std::string_view name);
  void close();
  std::vector<Open> open_;
};

// The record's fields as indented text, ending in a line feed.
std::string dump_text(const ParsedRecord& record);

// {"id":"0x........","type":"<record name>","record":{...}} on one line, no line feed.
std::string dump_json(uint32_t id, const ParsedRecord& record);

}  // namespace tallowmere::tool

// Private to the archive library: how the archive's own primitive forms (utils.hpp)
// appear in record descriptions (tallowmere/common/record.hpp). Each codec reads its
// form from a cursor and hands the value to a visitor.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tallowmere/common/record.hpp"
#include "tallowmere/dat/utils.hpp"

namespace tallowmere::dat::codec {

// A list count stored as a packed u32.
struct PackedCount {
  static constexpr common::CountForm form = common::CountForm::Packed;
  [[nodiscard]] common::ParseResult<uint32_t> read(common::Cursor& cursor) const {
    return read_compressed_u32(cursor);
  }
};

// A name: a PString with a 2-byte length, then alignment to 4 from the payload start.
struct Name {
  [[nodiscard]] common::ParseResult<std::string> read(common::Cursor& cursor) const {
    auto name = read_pstring(cursor, 2);
    if (!name) return name;
    if (auto aligned = cursor.align(4); !aligned)
      return make_unexpected(std::move(aligned).error());
    return name;
  }
  void visit(common::FieldVisitor& v, std::string_view name, const std::string& text) const {
    v.value(name, std::string_view(text));
    v.align(4);
  }
};

// Exactly `count` bytes; fewer fail with "not enough bytes in reader".
struct ByteList {
  uint64_t count = 0;
  [[nodiscard]] common::ParseResult<std::vector<uint8_t>> read(common::Cursor& cursor) const {
    return read_byte_list(cursor, count);
  }
  void visit(common::FieldVisitor& v, std::string_view name, const std::vector<uint8_t>& b) const {
    v.value(name, std::span<const uint8_t>(b));
  }
};

// `count` u16 read in growing chunks (read_u16_list).
struct U16List {
  uint64_t count = 0;
  [[nodiscard]] common::ParseResult<std::vector<uint16_t>> read(common::Cursor& cursor) const {
    return read_u16_list(cursor, count);
  }
  void visit(common::FieldVisitor& v, std::string_view name,
             const std::vector<uint16_t>& values) const {
    v.begin_list(name, values.size(), common::CountForm::None);
    for (uint16_t value : values) v.value("", value);
    v.end_list();
  }
};

}  // namespace tallowmere::dat::codec

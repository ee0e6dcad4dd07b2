// Private helpers of the hand-written record parsers in file_type/: the u32-counted
// list, fixed runs of u32, and the name form (PString with a 2-byte length, then
// alignment to 4 counted from the start of the payload). They add no context frames;
// errors pass through unchanged.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tallowmere/common/cursor.hpp"
#include "tallowmere/dat/utils.hpp"

namespace tallowmere::dat::file_type::detail {

using common::Cursor;
using common::ParseResult;

// A PString with a 2-byte length prefix followed by alignment to 4.
inline ParseResult<std::string> read_name(Cursor& cursor) {
  auto name = read_pstring(cursor, 2);
  if (!name) return name;
  auto aligned = align_to_4(cursor);
  if (!aligned) return make_unexpected(std::move(aligned).error());
  return name;
}

// N consecutive little-endian u32.
template <size_t N>
ParseResult<std::array<uint32_t, N>> read_u32_array(Cursor& cursor) {
  auto bytes = cursor.take(4 * N);
  if (!bytes) return make_unexpected(std::move(bytes).error());
  std::array<uint32_t, N> values{};
  for (size_t i = 0; i < N; ++i) {
    const uint8_t* b = bytes->data() + 4 * i;
    values[i] = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  }
  return values;
}

// A u32 count followed by that many elements read with `read_element`. Room is reserved
// only for as many elements of `min_element_size` bytes as the rest of the payload could
// hold; a count larger than the data fails at the first element that does not fit.
template <class T, class ReadElement>
ParseResult<std::vector<T>> read_list(Cursor& cursor, uint64_t min_element_size,
                                      ReadElement&& read_element) {
  auto count = common::read_u32(cursor);
  if (!count) return make_unexpected(std::move(count).error());
  std::vector<T> list;
  list.reserve(reservable(cursor, *count, min_element_size));
  for (uint32_t i = 0; i < *count; ++i) {
    auto element = read_element(cursor);
    if (!element) return make_unexpected(std::move(element).error());
    list.push_back(std::move(*element));
  }
  return list;
}

inline ParseResult<std::vector<uint32_t>> read_u32_list(Cursor& cursor) {
  return read_list<uint32_t>(cursor, 4, common::read_u32);
}

}  // namespace tallowmere::dat::file_type::detail

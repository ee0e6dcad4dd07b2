// The primitive field readers: PStrings, alignment, packed integers and counted lists.
//
// None of these readers adds a context frame; the declarative record around them does.
// Lists never reserve more elements than the bytes still unread could hold, so a
// damaged count costs at most an allocation the size of the payload.
#include "tallowmere/dat/utils.hpp"

#include <algorithm>
#include <initializer_list>

#include "tallowmere/common/text.hpp"

namespace tallowmere::dat {

using common::Cursor;
using common::FailedCheck;
using common::IoError;
using common::ParseError;
using common::ParseResult;

namespace {

[[nodiscard]] ParseResult<uint32_t> read_length(Cursor& cursor, unsigned prefix_width) {
  switch (prefix_width) {
    case 1: {
      auto v = common::read_u8(cursor);
      if (!v) return make_unexpected(std::move(v).error());
      return uint32_t{*v};
    }
    case 2: {
      auto v = common::read_u16(cursor);
      if (!v) return make_unexpected(std::move(v).error());
      return uint32_t{*v};
    }
    default:
      return common::read_u32(cursor);
  }
}

bool starts_with(std::span<const uint8_t> bytes, std::initializer_list<uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

}  // namespace

ParseResult<std::string> read_pstring(Cursor& cursor, unsigned prefix_width) {
  if (prefix_width != 1 && prefix_width != 2 && prefix_width != 4) {
    return make_unexpected(
        ParseError(FailedCheck{"Unsupported PString length size", cursor.position()}));
  }
  auto length = read_length(cursor, prefix_width);
  if (!length) return make_unexpected(std::move(length).error());
  if (*length == 0) return std::string();
  if (*length > cursor.remaining()) {
    // The text is cut short: the whole rest of the payload counts as consumed.
    cursor.set_position(std::max<uint64_t>(cursor.position(), cursor.data().size()));
    return make_unexpected(ParseError(IoError::fill_buffer()));
  }
  auto bytes = cursor.take(*length);
  if (!bytes) return make_unexpected(std::move(bytes).error());

  // A leading byte order mark picks the Unicode decoders; anything else is the
  // single-byte code page. A one-byte string is always a code-page character.
  std::span<const uint8_t> text = *bytes;
  if (text.size() == 1) return common::decode_windows1252(text);
  if (starts_with(text, {0xEF, 0xBB, 0xBF})) return common::decode_utf8(text.subspan(3));
  if (starts_with(text, {0xFF, 0xFE})) return common::decode_utf16le(text.subspan(2));
  if (starts_with(text, {0xFE, 0xFF})) return common::decode_utf16be(text.subspan(2));
  return common::decode_windows1252(text);
}

ParseResult<void> align_to_4(Cursor& cursor) {
  return cursor.align(4);
}

ParseResult<uint32_t> read_compressed_u32(Cursor& cursor) {
  auto b0 = common::read_u8(cursor);
  if (!b0) return make_unexpected(std::move(b0).error());
  if (*b0 < 0x80) return uint32_t{*b0};
  auto b1 = common::read_u8(cursor);
  if (!b1) return make_unexpected(std::move(b1).error());
  uint32_t head = uint32_t{*b0} & 0x3F;
  if ((*b0 & 0x40) == 0) return (head << 8) | *b1;
  auto w = common::read_u16(cursor);
  if (!w) return make_unexpected(std::move(w).error());
  return (head << 24) | (uint32_t{*b1} << 16) | *w;
}

ParseResult<std::vector<uint32_t>> read_smart_vec(Cursor& cursor) {
  auto count = read_compressed_u32(cursor);
  if (!count) return make_unexpected(std::move(count).error());
  std::vector<uint32_t> values;
  values.reserve(static_cast<size_t>(reservable(cursor, *count, 4)));
  for (uint32_t i = 0; i < *count; ++i) {
    auto value = common::read_u32(cursor);
    if (!value) return make_unexpected(std::move(value).error());
    values.push_back(*value);
  }
  return values;
}

ParseResult<std::vector<uint8_t>> read_byte_list(Cursor& cursor, uint64_t count) {
  uint64_t available = std::min(count, cursor.remaining());
  auto bytes = cursor.take(available);
  if (!bytes) return make_unexpected(std::move(bytes).error());
  if (available < count) return make_unexpected(ParseError(IoError::not_enough_bytes()));
  return std::vector<uint8_t>(bytes->begin(), bytes->end());
}

ParseResult<std::vector<uint16_t>> read_u16_list(Cursor& cursor, uint64_t count) {
  std::vector<uint16_t> values;
  uint64_t done = 0;
  while (done < count) {
    // Chunks of 16, 16, 32, 64, ... values: the room reserved at most doubles and is
    // filled before the next reservation, so it never runs far ahead of the data.
    uint64_t chunk = std::min(std::max<uint64_t>(16, done), count - done);
    if (chunk > cursor.remaining() / 2) return make_unexpected(ParseError(IoError::fill_buffer()));
    auto bytes = cursor.take(chunk * 2);
    if (!bytes) return make_unexpected(std::move(bytes).error());
    values.reserve(static_cast<size_t>(done + chunk));
    for (uint64_t i = 0; i < chunk; ++i) {
      values.push_back(common::load_le<uint16_t>(bytes->data() + 2 * i));
    }
    done += chunk;
  }
  return values;
}

}  // namespace tallowmere::dat

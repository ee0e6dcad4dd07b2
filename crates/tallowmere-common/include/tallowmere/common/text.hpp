// Text helpers: hexadecimal forms of ids and the WHATWG decoders used for strings.
//
// Every decoder follows the WHATWG Encoding Standard with replacement error mode: a
// malformed sequence becomes U+FFFD and decoding never fails. None of them handles a
// byte order mark; callers strip it. All return UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tallowmere::common {

// `value` as exactly `digits` upper-case hexadecimal digits, leading zeros kept
// (hex_upper(0xABCD, 8) is "0000ABCD").
std::string hex_upper(uint64_t value, int digits);

std::string decode_windows1252(std::span<const uint8_t> bytes);
std::string decode_utf8(std::span<const uint8_t> bytes);
std::string decode_utf16le(std::span<const uint8_t> bytes);
std::string decode_utf16be(std::span<const uint8_t> bytes);

// Raw bytes shown as text, with invalid UTF-8 replaced (used for paths in messages).
inline std::string display_lossy(std::string_view bytes) {
  return decode_utf8({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

}  // namespace tallowmere::common

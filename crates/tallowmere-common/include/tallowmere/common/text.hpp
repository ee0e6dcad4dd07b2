// Text helpers: hexadecimal forms of ids, fixed-point numbers, and the WHATWG decoders
// used for strings.
//
// Every decoder follows the WHATWG Encoding Standard with replacement error mode: a
// malformed sequence becomes U+FFFD and decoding never fails. None of them handles a
// byte order mark; callers strip it. All return UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tallowmere::common {

// `value` as exactly `digits` upper-case hexadecimal digits, leading zeros kept
// (hex_upper(0xABCD, 8) is "0000ABCD").
std::string hex_upper(uint64_t value, int digits);

// Appends `value` in fixed notation with `decimals` (0 to 9) digits after the point: the
// same characters as std::to_chars(..., std::chars_format::fixed, decimals), which rounds
// the exact binary value, ties to even ("-0.00" for a small negative value). Values
// below a billion, the ones pictures and reports write by the thousand, are rounded on
// integers at a fraction of the general formatter's cost; the rest go to std::to_chars.
void append_fixed(std::string& out, double value, int decimals);

// The most characters append_fixed writes: the largest double has 309 whole digits.
inline constexpr size_t kFixedMaxChars = 330;

// What append_fixed appends, written into `first`, which has room for kFixedMaxChars;
// returns the end of the text.
char* write_fixed(char* first, double value, int decimals);

// The same for a float: the characters of its exact value, as for the double it widens
// to, found with 64-bit integers only.
char* write_fixed(char* first, float value, int decimals);

// |value| * 10^decimals rounded to an integer as append_fixed rounds it (the digits it
// writes, without the point), when |value| is below a billion; nothing otherwise, and
// for NaN. `decimals` is 0 to 9.
[[nodiscard]] std::optional<uint64_t> fixed_units(double value, int decimals);
[[nodiscard]] std::optional<uint64_t> fixed_units(float value, int decimals);

std::string decode_windows1252(std::span<const uint8_t> bytes);
std::string decode_utf8(std::span<const uint8_t> bytes);
std::string decode_utf16le(std::span<const uint8_t> bytes);
std::string decode_utf16be(std::span<const uint8_t> bytes);

// Raw bytes shown as text, with invalid UTF-8 replaced (used for paths in messages).
inline std::string display_lossy(std::string_view bytes) {
  return decode_utf8({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

}  // namespace tallowmere::common

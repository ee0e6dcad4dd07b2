// The WHATWG decoders (windows-1252, UTF-8, UTF-16LE, UTF-16BE) in replacement mode.
//
// Each one is the Encoding Standard's decoder written as its state machine, emitting
// UTF-8. A malformed sequence yields one U+FFFD and decoding carries on; where the
// standard "prepends" a byte to the stream, the byte is simply processed again.
#include <array>

#include "tallowmere/common/text.hpp"

namespace tallowmere::common {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The windows-1252 index for bytes 0x80-0x9F; every other byte maps to itself. The five
// bytes the code page leaves undefined (81, 8D, 8F, 90, 9D) map to the C1 controls.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

std::string decode_utf16(std::span<const uint8_t> bytes, bool little_endian) {
  std::string out;
  out.reserve(bytes.size());
  bool have_lead_byte = false;
  uint8_t lead_byte = 0;
  bool have_lead_surrogate = false;
  char16_t lead_surrogate = 0;

  size_t i = 0;
  while (i < bytes.size()) {
    uint8_t byte = bytes[i];
    if (!have_lead_byte) {
      have_lead_byte = true;
      lead_byte = byte;
      ++i;
      continue;
    }
    have_lead_byte = false;
    char16_t unit = little_endian ? static_cast<char16_t>((byte << 8) | lead_byte)
                                  : static_cast<char16_t>((lead_byte << 8) | byte);
    ++i;
    if (have_lead_surrogate) {
      have_lead_surrogate = false;
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        append_utf8(
            out, 0x10000 + ((char32_t{lead_surrogate} - 0xD800) << 10) + (char32_t{unit} - 0xDC00));
        continue;
      }
      // The unit after an unpaired lead surrogate is decoded afresh.
      append_utf8(out, kReplacement);
      i -= 2;
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      have_lead_surrogate = true;
      lead_surrogate = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, unit);
    }
  }
  // A pending lead byte, lead surrogate, or both, end the input with one error.
  if (have_lead_byte || have_lead_surrogate) append_utf8(out, kReplacement);
  return out;
}

}  // namespace

std::string decode_windows1252(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (uint8_t byte : bytes) {
    if (byte >= 0x80 && byte <= 0x9F) {
      append_utf8(out, kWindows1252High[byte - 0x80]);
    } else {
      append_utf8(out, byte);
    }
  }
  return out;
}

std::string decode_utf8(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  char32_t code_point = 0;
  int bytes_seen = 0, bytes_needed = 0;
  uint8_t lower = 0x80, upper = 0xBF;

  size_t i = 0;
  while (i < bytes.size()) {
    uint8_t byte = bytes[i];
    if (bytes_needed == 0) {
      ++i;
      if (byte <= 0x7F) {
        out += static_cast<char>(byte);
      } else if (byte >= 0xC2 && byte <= 0xDF) {
        bytes_needed = 1;
        code_point = byte & 0x1F;
      } else if (byte >= 0xE0 && byte <= 0xEF) {
        // E0 would start an overlong form below A0; ED would encode a surrogate above 9F.
        if (byte == 0xE0) lower = 0xA0;
        if (byte == 0xED) upper = 0x9F;
        bytes_needed = 2;
        code_point = byte & 0x0F;
      } else if (byte >= 0xF0 && byte <= 0xF4) {
        // F0 would be overlong below 90; F4 would pass U+10FFFF above 8F.
        if (byte == 0xF0) lower = 0x90;
        if (byte == 0xF4) upper = 0x8F;
        bytes_needed = 3;
        code_point = byte & 0x07;
      } else {
        append_utf8(out, kReplacement);
      }
      continue;
    }
    if (byte < lower || byte > upper) {
      // The sequence so far is one error; the offending byte starts afresh.
      code_point = 0;
      bytes_needed = bytes_seen = 0;
      lower = 0x80;
      upper = 0xBF;
      append_utf8(out, kReplacement);
      continue;
    }
    ++i;
    lower = 0x80;
    upper = 0xBF;
    code_point = (code_point << 6) | (byte & 0x3F);
    if (++bytes_seen != bytes_needed) continue;
    append_utf8(out, code_point);
    code_point = 0;
    bytes_needed = bytes_seen = 0;
  }
  if (bytes_needed != 0) append_utf8(out, kReplacement);
  return out;
}

std::string decode_utf16le(std::span<const uint8_t> bytes) {
  return decode_utf16(bytes, true);
}

std::string decode_utf16be(std::span<const uint8_t> bytes) {
  return decode_utf16(bytes, false);
}

}  // namespace tallowmere::common

// Drives the primitive readers, the text decoders and the math records over arbitrary
// bytes. The first byte picks the reader; it is then applied until it fails. Besides
// memory safety this checks the readers' contracts: decoded text is valid UTF-8, a
// failed record leaves the cursor at its start, and a successful read moves forward.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "tallowmere/common/math.hpp"
#include "tallowmere/common/text.hpp"
#include "tallowmere/dat/graphics.hpp"
#include "tallowmere/dat/utils.hpp"

namespace {

using namespace tallowmere;
using common::Cursor;

void check(bool condition) {
  if (!condition) std::abort();
}

bool valid_utf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<uint8_t>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || n > s.size() - i) return false;
    uint32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      auto c = static_cast<uint8_t>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

// Applies `read` until it fails; every success must move the cursor forward, and
// `rewinds` readers must leave the cursor where the failing read began.
template <class Read>
void repeat(Cursor& cursor, bool rewinds, Read&& read) {
  while (true) {
    uint64_t before = cursor.position();
    if (!read(cursor)) {
      if (rewinds) check(cursor.position() == before);
      return;
    }
    check(cursor.position() > before);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t selector = data[0];
  std::span<const uint8_t> rest(data + 1, size - 1);
  Cursor cursor(rest);

  switch (selector % 12) {
    case 0: {
      static constexpr unsigned kWidths[] = {1, 2, 4, 3};
      unsigned width = kWidths[(selector >> 4) & 3];
      repeat(cursor, false, [&](Cursor& c) {
        auto text = dat::read_pstring(c, width);
        if (!text) return false;
        check(valid_utf8(*text));
        auto aligned = dat::align_to_4(c);
        check(aligned.has_value() && c.position() % 4 == 0);
        return true;
      });
      break;
    }
    case 1:
      repeat(cursor, false, [](Cursor& c) { return dat::read_compressed_u32(c).has_value(); });
      break;
    case 2:
      repeat(cursor, false, [](Cursor& c) { return dat::read_smart_vec(c).has_value(); });
      break;
    case 3:
    case 4:
      // A packed count, then that many bytes or u16 values.
      repeat(cursor, false, [&](Cursor& c) {
        auto count = dat::read_compressed_u32(c);
        if (!count) return false;
        if (selector % 12 == 3) {
          auto list = dat::read_byte_list(c, *count);
          return list && list->size() == *count;
        }
        auto list = dat::read_u16_list(c, *count);
        return list && list->size() == *count;
      });
      break;
    case 5:
      check(valid_utf8(common::decode_utf8(rest)));
      check(valid_utf8(common::decode_utf16le(rest)));
      check(valid_utf8(common::decode_utf16be(rest)));
      check(valid_utf8(common::decode_windows1252(rest)));
      break;
    case 6:
      repeat(cursor, true, [](Cursor& c) { return common::Vector3::read(c).has_value(); });
      break;
    case 7:
      repeat(cursor, true, [](Cursor& c) { return common::Quaternion::read(c).has_value(); });
      break;
    case 8:
      repeat(cursor, true, [](Cursor& c) { return common::Plane::read(c).has_value(); });
      break;
    case 9:
      repeat(cursor, true, [](Cursor& c) { return common::Sphere::read(c).has_value(); });
      break;
    case 10:
      repeat(cursor, true, [](Cursor& c) { return dat::graphics::Frame::read(c).has_value(); });
      break;
    default: {
      // Alignment from an arbitrary 64-bit position never lands below it or off a multiple of 4.
      uint64_t position = 0;
      for (size_t i = 0; i < 8 && i < rest.size(); ++i) position |= uint64_t{rest[i]} << (8 * i);
      Cursor far(rest, position);
      auto aligned = dat::align_to_4(far);
      if (aligned) check(far.position() >= position && far.position() % 4 == 0);
      break;
    }
  }
  return 0;
}

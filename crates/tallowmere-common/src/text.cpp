#include "tallowmere/common/text.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>

namespace tallowmere::common {

std::string hex_upper(uint64_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0 && value != 0; --i, value >>= 4) {
    out[static_cast<size_t>(i)] = kDigits[value & 0xF];
  }
  return out;
}

void append_fixed(std::string& out, double value, int decimals) {
  char buffer[kFixedMaxChars];
  out.append(buffer, static_cast<size_t>(write_fixed(buffer, value, decimals) - buffer));
}

namespace {
constexpr uint64_t kPowers[] = {1,      10,      100,      1000,      10000,
                                100000, 1000000, 10000000, 100000000, 1000000000};
}  // namespace

std::optional<uint64_t> fixed_units(double value, int decimals) {
  if (!(std::fabs(value) < 1e9)) return std::nullopt;
  // |value| = mantissa / 2^shift exactly, so |value| * 10^decimals = scaled / 2^shift with
  // scaled below 2^53 * 10^9 < 2^83: the rounding is decided on integers, exactly.
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const auto exponent = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  int shift = 1074;
  if (exponent != 0) {
    mantissa |= uint64_t{1} << 52;
    shift = 1075 - exponent;  // at least 1075 - 1052 = 23: |value| < 2^30
  }
  const unsigned __int128 scaled =
      static_cast<unsigned __int128>(mantissa) * kPowers[static_cast<size_t>(decimals)];
  if (shift >= 84) return 0;                            // scaled / 2^shift < 2^-1: rounds to zero
  auto units = static_cast<uint64_t>(scaled >> shift);  // below 10^18
  const unsigned __int128 rest = scaled - (static_cast<unsigned __int128>(units) << shift);
  const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
  if (rest > half || (rest == half && (units & 1) != 0)) ++units;
  return units;
}

char* write_fixed(char* first, double value, int decimals) {
  const auto rounded = fixed_units(value, decimals);
  if (!rounded) {
    return std::to_chars(first, first + kFixedMaxChars, value, std::chars_format::fixed, decimals)
        .ptr;
  }
  const uint64_t units = *rounded;
  // The digits from the right, two at a time: the decimals, the point, then at least
  // one whole digit.
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char digits[24];
  char* const end = digits + sizeof digits;
  char* p = end;
  auto pair = [&](uint64_t two) {
    p -= 2;
    p[0] = kPairs[2 * two];
    p[1] = kPairs[2 * two + 1];
  };
  const uint64_t power = kPowers[static_cast<size_t>(decimals)];
  uint64_t whole = units / power, fraction = units % power;
  int left = decimals;
  for (; left >= 2; left -= 2, fraction /= 100) pair(fraction % 100);
  if (left == 1) *--p = static_cast<char>('0' + fraction);
  if (decimals > 0) *--p = '.';
  for (; whole >= 100; whole /= 100) pair(whole % 100);
  if (whole >= 10) {
    pair(whole);
  } else {
    *--p = static_cast<char>('0' + whole);
  }
  if (std::signbit(value)) *--p = '-';
  return std::copy(p, end, first);
}

}  // namespace tallowmere::common

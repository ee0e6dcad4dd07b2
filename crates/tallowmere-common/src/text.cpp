#include "tallowmere/common/text.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

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

// scaled / 2^shift rounded to an integer, ties to even; `shift` is at least 1 and the
// quotient fits 64 bits.
template <class Wide>
uint64_t round_shifted(Wide scaled, int shift) {
  const auto units = static_cast<uint64_t>(scaled >> shift);
  const Wide rest = scaled - (static_cast<Wide>(units) << shift);
  const Wide half = static_cast<Wide>(1) << (shift - 1);
  return units + ((rest > half || (rest == half && (units & 1) != 0)) ? 1 : 0);
}
// A finite float as mantissa / 2^shift exactly: the mantissa below 2^24, the shift from
// 149 (the smallest subnormals) down to -104.
struct FloatParts {
  uint64_t mantissa;
  int shift;
};

inline FloatParts split_float(float value) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const auto exponent = static_cast<int>((bits >> 23) & 0xFF);
  const uint64_t fraction = bits & ((uint32_t{1} << 23) - 1);
  if (exponent == 0) return {fraction, 149};
  return {fraction | uint64_t{1} << 23, 150 - exponent};
}
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
  if (shift >= 84) return 0;            // scaled / 2^shift < 2^-1: rounds to zero
  return round_shifted(scaled, shift);  // below 10^18
}

namespace {

// |value| * `power` rounded to an integer, ties to even, for |value| below a billion and
// `power` at most 10^9. |value| = mantissa / 2^shift exactly, mantissa below 2^24, so
// |value| * power = scaled / 2^shift with scaled below 2^24 * 10^9 < 2^54: 64-bit
// integers suffice. The rounding is one addition: adding half - 1 and the quotient's
// lowest bit carries into the quotient exactly when the rest is above half, or is half
// and the quotient odd.
uint64_t float_units(float value, uint64_t power) {
  const auto [mantissa, shift] = split_float(value);  // shift at least -7: |value| < 2^30
  const uint64_t scaled = mantissa * power;
  if (shift <= 0) return scaled << -shift;  // a whole number: below 10^18
  if (shift > 55) return 0;                 // scaled / 2^shift < 2^-1: rounds to zero
  return (scaled + (uint64_t{1} << (shift - 1)) - 1 + ((scaled >> shift) & 1)) >> shift;
}

}  // namespace

std::optional<uint64_t> fixed_units(float value, int decimals) {
  if (!(std::fabs(value) < 1e9f)) return std::nullopt;  // 1e9f is exactly a billion
  return float_units(value, kPowers[static_cast<size_t>(decimals)]);
}

namespace {

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// `units` / 10^decimals in fixed notation, "-" first when `negative`; returns the end.
// The length is known first, so the digits go straight to their places, from the right,
// two at a time: the decimals, the point, then at least one whole digit. kDecimals fixes
// the count at compile time (division by a constant is a multiplication); -1 takes it
// from `decimals`.
template <int kDecimals>
char* write_units_with(char* first, uint64_t units, bool negative, int decimals = kDecimals) {
  if constexpr (kDecimals >= 0) decimals = kDecimals;
  const uint64_t power = kPowers[static_cast<size_t>(decimals)];
  uint64_t whole = units / power, fraction = units % power;
  int whole_digits = 1;
  for (uint64_t rest = whole; rest >= 10; rest /= 10) ++whole_digits;
  if (negative) *first++ = '-';
  char* const end = first + whole_digits + (decimals > 0 ? decimals + 1 : 0);
  char* p = end;
  auto pair = [&](uint64_t two) {
    p -= 2;
    p[0] = kPairs[2 * two];
    p[1] = kPairs[2 * two + 1];
  };
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
  return end;
}

// units / 10^6 with six decimals, "-" first when `negative`, for units below 10^15 (a
// value below a billion): the form of every placement number. The whole part usually
// has one to three digits and is written without a count; the fraction, below 10^6,
// goes out as three pairs taken from a 32.32 fixed-point multiple of fraction / 10^4:
// the integer part of each multiple is the next pair, and multiplying the fractional
// bits by 100 brings up the one after. The factor 2^32 / 10^4 rounded up errs by less
// than 0.28 / 2^32 per unit of the fraction, which stays below one unit of the last
// pair after two multiplications by 100: every pair is exact.
char* write_micro_units(char* p, uint64_t units, bool negative) {
  const uint64_t whole = units / 1000000;
  const auto fraction = static_cast<uint32_t>(units - whole * 1000000);
  if (negative) *p++ = '-';
  auto pair = [](char* at, uint64_t two) { std::memcpy(at, kPairs + 2 * two, 2); };
  if (whole < 10) {
    *p++ = static_cast<char>('0' + whole);
  } else if (whole < 100) {
    pair(p, whole);
    p += 2;
  } else if (whole < 1000) {
    *p = static_cast<char>('0' + whole / 100);
    pair(p + 1, whole % 100);
    p += 3;
  } else {
    p = write_units_with<0>(p, whole, false);
  }
  *p = '.';
  uint64_t y = uint64_t{fraction} * 429497;  // ceil(2^32 / 10^4)
  pair(p + 1, y >> 32);
  y = (y & 0xFFFFFFFF) * 100;
  pair(p + 3, y >> 32);
  y = (y & 0xFFFFFFFF) * 100;
  pair(p + 5, y >> 32);
  return p + 7;
}

char* write_units(char* first, uint64_t units, int decimals, bool negative) {
  return decimals == 6 ? write_units_with<6>(first, units, negative)
                       : write_units_with<-1>(first, units, negative, decimals);
}

}  // namespace

char* write_fixed(char* first, double value, int decimals) {
  const auto rounded = fixed_units(value, decimals);
  if (!rounded) {
    return std::to_chars(first, first + kFixedMaxChars, value, std::chars_format::fixed, decimals)
        .ptr;
  }
  return write_units(first, *rounded, decimals, std::signbit(value));
}

char* write_fixed(char* first, float value, int decimals) {
  if (decimals == 6 && std::fabs(value) < 1e9f) {
    return write_micro_units(first, float_units(value, 1000000), std::signbit(value));
  }
  const auto rounded = fixed_units(value, decimals);
  if (!rounded) return write_fixed(first, static_cast<double>(value), decimals);
  return write_units(first, *rounded, decimals, std::signbit(value));
}

}  // namespace tallowmere::common

// Float-to-integer conversions that saturate at the integer's range and turn NaN into
// 0, so that untrusted floats can never produce an out-of-range index or undefined
// behaviour.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tallowmere::bake::detail {

inline int32_t saturating_i32(float f) {
  if (std::isnan(f)) return 0;
  if (f >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (f <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(f);
}

inline uint64_t saturating_u64(double d) {
  if (std::isnan(d) || d <= 0.0) return 0;
  if (d >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(d);
}

}  // namespace tallowmere::bake::detail

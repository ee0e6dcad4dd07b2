#include "tallowmere/common/text.hpp"

namespace tallowmere::common {

std::string hex_upper(uint64_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0 && value != 0; --i, value >>= 4) {
    out[static_cast<size_t>(i)] = kDigits[value & 0xF];
  }
  return out;
}

}  // namespace tallowmere::common

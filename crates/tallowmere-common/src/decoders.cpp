#include "tallowmere/common/text.hpp"

// Placeholder until the WHATWG decoders land.
namespace tallowmere::common {
std::string decode_windows1252(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }
std::string decode_utf8(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }
std::string decode_utf16le(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }
std::string decode_utf16be(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }
}  // namespace tallowmere::common

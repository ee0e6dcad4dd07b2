#include "selection.hpp"

#include <charconv>
#include <string_view>
#include <unordered_set>

#include "tallowmere/scenery/landblocks.hpp"

namespace tallowmere::tool {
namespace {

std::optional<uint16_t> parse_id(std::string_view text) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  if (text.empty() || text.size() > 4) return std::nullopt;
  unsigned value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return static_cast<uint16_t>(value);
}

}  // namespace

Expected<std::vector<uint16_t>, std::string> parse_selection(const std::string& text,
                                                             const dat::DatDatabase& cell) {
  std::vector<uint16_t> ids;
  std::unordered_set<uint16_t> seen;
  auto add = [&](uint16_t id) {
    if (seen.insert(id).second) ids.push_back(id);
  };
  std::string_view rest = text;
  for (;;) {
    const size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    if (item == "ring") {
      for (uint16_t id : scenery::ring_landblocks()) add(id);
    } else if (item == "all") {
      for (uint16_t id : scenery::all_landblocks(cell)) add(id);
    } else if (const size_t dash = item.find('-'); dash != std::string_view::npos) {
      const auto from = parse_id(item.substr(0, dash));
      const auto to = parse_id(item.substr(dash + 1));
      if (!from || !to) {
        return make_unexpected("bad landblock range '" + std::string(item) + "'");
      }
      if ((*from >> 8) > (*to >> 8) || (*from & 0xFF) > (*to & 0xFF)) {
        return make_unexpected("empty landblock range '" + std::string(item) +
                               "': x and y must not decrease");
      }
      for (unsigned x = *from >> 8; x <= (*to >> 8u); ++x) {
        for (unsigned y = *from & 0xFFu; y <= (*to & 0xFFu); ++y) {
          add(static_cast<uint16_t>(x << 8 | y));
        }
      }
    } else if (const auto id = parse_id(item)) {
      add(*id);
    } else {
      return make_unexpected("bad landblock '" + std::string(item) +
                             "': expected ring, all, an id such as 0xA9B4 or a range such as "
                             "0xA3AE-0xAFBA");
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return ids;
}

}  // namespace tallowmere::tool

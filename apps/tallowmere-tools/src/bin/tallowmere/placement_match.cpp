#include "placement_match.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

namespace tallowmere::tool {
namespace {

constexpr const char* kFloatKeys[] = {"x", "y", "z", "qw", "qx", "qy", "qz", "scale"};

bool is_float_key(const std::string& key) {
  for (const char* k : kFloatKeys) {
    if (key == k) return true;
  }
  return false;
}

uint32_t float_bits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// Collects the members of one flat JSON object with the numbers' original text, so that
// a float is read once, from its decimal text, straight to single precision.
class MemberCollector : public nlohmann::json_sax<nlohmann::json> {
 public:
  Members members;
  bool ok = true;

  bool null() override { return set("null"); }
  bool boolean(bool v) override { return set(v ? "true" : "false"); }
  bool number_integer(number_integer_t v) override { return set(std::to_string(v)); }
  bool number_unsigned(number_unsigned_t v) override { return set(std::to_string(v)); }
  bool number_float(number_float_t, const string_t& text) override { return set(text); }
  bool string(string_t& v) override { return set(v); }
  bool binary(binary_t&) override { return nested(); }
  bool start_object(std::size_t) override { return ++depth_ == 1 || nested(); }
  bool key(string_t& k) override {
    key_ = k;
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override { return nested(); }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    ok = false;
    return false;
  }

 private:
  bool set(std::string value) {
    if (depth_ != 1) return nested();
    members[key_] = std::move(value);
    return true;
  }
  bool nested() {
    ok = false;
    return false;
  }
  int depth_ = 0;
  std::string key_;
};

// The placement bake writes NaN and the infinities bare, which JSON lacks: they are read
// as the strings "NaN", "inf" and "-inf".
std::string quote_non_finite(const std::string& line) {
  std::string out;
  out.reserve(line.size());
  for (size_t i = 0; i < line.size();) {
    bool replaced = false;
    if (line[i] == ':') {
      for (const char* word : {"NaN", "-inf", "inf"}) {
        const size_t n = std::strlen(word);
        if (line.compare(i + 1, n, word) == 0 && i + 1 + n < line.size() &&
            (line[i + 1 + n] == ',' || line[i + 1 + n] == '}')) {
          out += ":\"";
          out += word;
          out += '"';
          i += 1 + n;
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += line[i++];
  }
  return out;
}

// Distance in units in the last place: the number of floats from a to b (zeros of both
// signs count as one), or nothing when either is NaN.
std::optional<uint64_t> ulp_distance(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::nullopt;
  auto ordered = [](float f) {
    const uint32_t u = float_bits(f);
    return (u & 0x80000000u) ? -static_cast<int64_t>(u & 0x7FFFFFFFu) : static_cast<int64_t>(u);
  };
  return static_cast<uint64_t>(std::llabs(ordered(a) - ordered(b)));
}

// The members of a line in the plain form the bake writes: keys and string values of
// printable ASCII without quotes or escapes, numbers as -digits[.digits], NaN, inf or
// -inf. Nothing when the line is not in that form (it may still be JSON).
std::optional<Members> plain_members(std::string_view line) {
  auto printable = [](std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return c >= 0x20 && c <= 0x7E && c != '"' && c != '\\'; });
  };
  auto number = [](std::string_view s) {
    if (s == "NaN" || s == "inf" || s == "-inf") return true;
    if (s.starts_with('-')) s.remove_prefix(1);
    const size_t dot = s.find('.');
    auto digits = [](std::string_view d) {
      return !d.empty() &&
             std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (dot == std::string_view::npos) return digits(s) && (s.size() == 1 || s[0] != '0');
    const std::string_view whole = s.substr(0, dot);
    return digits(whole) && (whole.size() == 1 || whole[0] != '0') && digits(s.substr(dot + 1));
  };
  if (line.size() < 2 || line.front() != '{' || line.back() != '}') return std::nullopt;
  line = line.substr(1, line.size() - 2);
  Members members;
  while (!line.empty()) {
    const size_t comma = line.find(',');
    const std::string_view member = line.substr(0, comma);
    const size_t colon = member.find(':');
    if (colon == std::string_view::npos || colon < 2 || member.front() != '"' ||
        member[colon - 1] != '"') {
      return std::nullopt;
    }
    const std::string_view key = member.substr(1, colon - 2);
    std::string_view value = member.substr(colon + 1);
    if (!printable(key)) return std::nullopt;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
      if (!printable(value)) return std::nullopt;
    } else if (!number(value)) {
      return std::nullopt;
    }
    members[std::string(key)] = std::string(value);
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
    if (line.empty()) return std::nullopt;  // a trailing comma
  }
  return members;
}

// A decimal as placement lines write it, an optional '-', digits and at most six of them
// after an optional point (at least one digit, at most fifteen), read without strtof:
// the digits make an integer u below 10^15, exact in double, and the value is u / 10^d.
// The division in double rounds once, by at most 2^-53 of the quotient, and the quotient
// lies at least 10^-15 of its size away from every point halfway between two floats
// unless it is one (then the division is exact). So rounding the double to float lands
// where rounding the exact quotient does: on the float strtof gives. Nothing for any
// other text.
std::optional<float> read_plain_decimal(std::string_view text) {
  constexpr double kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  const size_t point = std::min(text.find('.'), text.size());
  const size_t decimals = point == text.size() ? 0 : text.size() - point - 1;
  const size_t count = text.size() - (point < text.size() ? 1 : 0);  // digits, if all are
  if (count == 0 || count > 15 || decimals > 6) return std::nullopt;
  uint64_t digits = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == point) continue;
    const auto digit = static_cast<unsigned>(text[i] - '0');
    if (digit > 9) return std::nullopt;
    digits = digits * 10 + digit;
  }
  const auto value = static_cast<float>(static_cast<double>(digits) / kPowers[decimals]);
  return negative ? -value : value;
}

}  // namespace

std::optional<Members> parse_members(const std::string& line) {
  // Nearly every line is in the bake's own plain form, read here without a JSON parser;
  // anything else goes through the full parser.
  if (auto plain = plain_members(line)) return plain;
  MemberCollector collector;
  const std::string text = quote_non_finite(line);
  const bool parsed =
      nlohmann::json::sax_parse(text, &collector, nlohmann::json::input_format_t::json, false);
  if (!parsed || !collector.ok) return std::nullopt;
  return std::move(collector.members);
}

std::optional<float> read_float(const std::string& text) {
  if (const auto plain = read_plain_decimal(text)) return plain;
  if (text == "NaN") return std::nanf("");
  if (text == "inf") return INFINITY;
  if (text == "-inf") return -INFINITY;
  char* end = nullptr;
  const float value = std::strtof(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

std::string source_key(std::string_view cell_x, std::string_view cell_y, std::string_view obj_idx) {
  std::string key;
  key.reserve(cell_x.size() + cell_y.size() + obj_idx.size() + 4);
  key += '(';
  key += cell_x;
  key += ',';
  key += cell_y;
  key += ',';
  key += obj_idx;
  key += ')';
  return key;
}

std::map<std::string, PlacementText> key_placements(const std::string& text) {
  std::map<std::string, PlacementText> keyed;
  size_t line_number = 0;
  for (size_t start = 0; start < text.size(); ++line_number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    PlacementText p{line_number, text.substr(start, end - start), std::nullopt};
    start = end + 1;
    p.members = parse_members(p.text);
    std::string key;
    if (p.members && p.members->count("source_cell_x") && p.members->count("source_cell_y") &&
        p.members->count("source_obj_idx")) {
      key = source_key(p.members->at("source_cell_x"), p.members->at("source_cell_y"),
                       p.members->at("source_obj_idx"));
    } else {
      key = "line " + std::to_string(line_number);
    }
    while (keyed.count(key)) key += "'";  // a repeated source: matched by occurrence
    keyed.emplace(std::move(key), std::move(p));
  }
  return keyed;
}

std::vector<FieldDiff> field_diffs(const Members& a, const Members& b) {
  std::vector<std::string> keys(std::begin(kPlacementKeys), std::end(kPlacementKeys));
  for (const auto* side : {&a, &b}) {
    for (const auto& [k, v] : *side) {
      if (std::find(keys.begin(), keys.end(), k) == keys.end()) keys.push_back(k);
    }
  }
  std::vector<FieldDiff> diffs;
  for (const auto& key : keys) {
    const auto ia = a.find(key), ib = b.find(key);
    if (ia == a.end() && ib == b.end()) continue;
    FieldDiff d{key, ia == a.end() ? "" : ia->second, ib == b.end() ? "" : ib->second, {}, {}, {}};
    if (is_float_key(key)) {
      d.fa = ia == a.end() ? std::nullopt : read_float(ia->second);
      d.fb = ib == b.end() ? std::nullopt : read_float(ib->second);
      if (d.fa && d.fb) {
        if (float_bits(*d.fa) == float_bits(*d.fb)) continue;
        d.ulps = ulp_distance(*d.fa, *d.fb);
        diffs.push_back(d);
        continue;
      }
    }
    if (ia == a.end() || ib == b.end() || ia->second != ib->second) diffs.push_back(d);
  }
  return diffs;
}

}  // namespace tallowmere::tool

#include "placement_folder.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "tallowmere/scenery/placement_files.hpp"

namespace tallowmere::tool {

namespace fs = std::filesystem;

bool is_placement_file_name(std::string_view name) {
  constexpr std::string_view kSuffix = scenery::kPlacementFileSuffix;
  if (name.size() != 6 + kSuffix.size() || !name.starts_with("0x") || !name.ends_with(kSuffix)) {
    return false;
  }
  return std::all_of(name.begin() + 2, name.begin() + 6,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

Expected<std::vector<std::string>, std::string> list_placement_files(const std::string& dir) {
  std::error_code error;
  fs::directory_iterator it(dir, error);
  if (error) return make_unexpected("cannot read folder " + dir + ": " + error.message());
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    std::string name = it->path().filename().string();
    if (is_placement_file_name(name)) names.push_back(std::move(name));
  }
  if (error) return make_unexpected("cannot read folder " + dir + ": " + error.message());
  std::sort(names.begin(), names.end());
  return names;
}

Expected<std::string, std::string> read_whole_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return make_unexpected("cannot open " + path);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return make_unexpected("cannot read " + path);
  return text;
}

std::string sha256_hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string digest_line(const std::string& digest, const std::string& name) {
  return digest + "  " + name + "\n";
}

Expected<std::map<std::string, std::string>, std::string> parse_digest_file(std::string_view text) {
  std::map<std::string, std::string> digests;
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    const bool hex =
        line.size() > 66 && std::all_of(line.begin(), line.begin() + 64, [](char c) {
          return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        });
    if (!hex || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) {
      return make_unexpected("line " + std::to_string(number) + " is not a digest line");
    }
    std::string digest(line.substr(0, 64));
    std::transform(digest.begin(), digest.end(), digest.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c); });
    digests[std::string(line.substr(66))] = std::move(digest);
  }
  return digests;
}

}  // namespace tallowmere::tool

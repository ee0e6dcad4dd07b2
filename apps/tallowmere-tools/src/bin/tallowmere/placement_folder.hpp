// Placement folders as the digest, diff and prove commands read them: the placement files
// in a folder, their content, and SHA-256 digests in the format `sha256sum` prints and
// checks ("<64 lower-case hex digits>  <name>").
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tallowmere/common/expected.hpp"

namespace tallowmere::tool {

// Whether `name` is a placement file name: "0x", four upper-case hex digits,
// ".scenery.jsonl".
bool is_placement_file_name(std::string_view name);

// The names of the placement files directly in `dir`, sorted; other entries are ignored.
// Fails with a one-line message when the folder cannot be read.
Expected<std::vector<std::string>, std::string> list_placement_files(const std::string& dir);

// The whole content of `path`, or a one-line message.
Expected<std::string, std::string> read_whole_file(const std::string& path);

// SHA-256 of `bytes` as 64 lower-case hex digits.
std::string sha256_hex(std::string_view bytes);

// "<digest>  <name>\n".
std::string digest_line(const std::string& digest, const std::string& name);

// Name -> digest for every line of a digest file (text "  " or binary " *" separator).
// Fails with the number of the first line that is not a digest line.
Expected<std::map<std::string, std::string>, std::string> parse_digest_file(std::string_view text);

}  // namespace tallowmere::tool

// tallowmere digest: the SHA-256 of every placement file of a folder, or a check of the
// folder against a saved digest file.
#include <set>

#include "commands.hpp"
#include "output.hpp"
#include "placement_folder.hpp"
#include "tallowmere/scenery/placement_files.hpp"

namespace tallowmere::tool {

int run_digest(const DigestCommand& command) {
  auto names = list_placement_files(command.dir);
  if (!names) {
    write_stderr("tallowmere digest: " + names.error() + "\n");
    return kExitTrouble;
  }
  std::map<std::string, std::string> digests;
  for (const auto& name : *names) {
    auto text = read_whole_file(scenery::join_path(command.dir, name));
    if (!text) {
      write_stderr("tallowmere digest: " + text.error() + "\n");
      return kExitTrouble;
    }
    digests[name] = sha256_hex(*text);
  }

  if (!command.check) {
    std::string out;
    for (const auto& [name, digest] : digests) out += digest_line(digest, name);
    write_stdout(out);
    return kExitOk;
  }

  auto saved_text = read_whole_file(*command.check);
  if (!saved_text) {
    write_stderr("tallowmere digest: " + saved_text.error() + "\n");
    return kExitTrouble;
  }
  auto saved = parse_digest_file(*saved_text);
  if (!saved) {
    write_stderr("tallowmere digest: " + *command.check + ": " + saved.error() + "\n");
    return kExitTrouble;
  }
  // Every name of either side, in order: mismatched, missing (saved only) or extra.
  std::set<std::string> all_names;
  for (const auto& [name, digest] : *saved) all_names.insert(name);
  for (const auto& [name, digest] : digests) all_names.insert(name);
  std::string out;
  size_t matched = 0, mismatched = 0, missing = 0, extra = 0;
  for (const auto& name : all_names) {
    const auto in_saved = saved->find(name);
    const auto in_dir = digests.find(name);
    if (in_dir == digests.end()) {
      out += "missing " + name + "\n";
      ++missing;
    } else if (in_saved == saved->end()) {
      out += "extra " + name + "\n";
      ++extra;
    } else if (in_saved->second != in_dir->second) {
      out += "mismatch " + name + "\n";
      ++mismatched;
    } else {
      ++matched;
    }
  }
  write_stdout(out);
  write_stderr("digest: " + std::to_string(matched) + " match, " + std::to_string(mismatched) +
               " mismatch, " + std::to_string(missing) + " missing, " + std::to_string(extra) +
               " extra\n");
  return mismatched + missing + extra == 0 ? kExitOk : kExitFailed;
}

}  // namespace tallowmere::tool

// tallowmere cat: a file's payload, expanded when stored compressed.
#include "archive_view.hpp"
#include "commands.hpp"
#include "output.hpp"
#include "tallowmere/common/platform.hpp"
#include "tallowmere/common/text.hpp"

namespace tallowmere::tool {

int run_cat(const CatCommand& command) {
  const auto id = parse_id(command.id);
  if (!id) {
    write_stderr("tallowmere cat: bad file id '" + command.id + "': expected 0x and hex digits\n");
    return kExitTrouble;
  }
  if (!command.out && stdout_is_terminal()) {
    write_stderr(
        "tallowmere cat: refusing to write binary data to a terminal; redirect the "
        "output or use -o FILE\n");
    return kExitTrouble;
  }
  bool damaged = false;
  auto archive = open_for("tallowmere cat", command.archive, damaged);
  if (!archive) return kExitTrouble;
  const dat::DatFileEntry* entry = find_or_report("tallowmere cat", *archive, *id);
  if (entry == nullptr) return kExitTrouble;
  const auto payload = fetch_or_report(*archive, *entry);
  if (!payload) return kExitFailed;
  if (command.out) {
    if (auto written = common::write_file(*command.out, payload->bytes); !written) {
      write_stderr(ringproof::format_report(ringproof::with_context(
          "write " + common::display_lossy(*command.out), written.error())));
      return kExitFailed;
    }
  } else {
    write_stdout(std::string_view(reinterpret_cast<const char*>(payload->bytes.data()),
                                  payload->bytes.size()));
  }
  return damaged ? kExitFailed : kExitOk;
}

}  // namespace tallowmere::tool

// tallowmere dump: a record parsed by its type, every field through the record visitor.
#include "archive_view.hpp"
#include "commands.hpp"
#include "output.hpp"
#include "record_dump.hpp"

namespace tallowmere::tool {

int run_dump(const DumpCommand& command) {
  const auto id = parse_id(command.id);
  if (!id) {
    write_stderr("tallowmere dump: bad file id '" + command.id + "': expected 0x and hex digits\n");
    return kExitTrouble;
  }
  bool damaged = false;
  auto archive = open_for("tallowmere dump", command.archive, damaged);
  if (!archive) return kExitTrouble;
  const dat::DatFileEntry* entry = find_or_report("tallowmere dump", *archive, *id);
  if (entry == nullptr) return kExitTrouble;
  const RecordKind kind = record_kind(archive->kind, *id);
  if (kind == RecordKind::None) {
    write_stderr("tallowmere dump: " + id_text(*id) + " is a " +
                 type_name(archive->kind, type_key(archive->kind, *id)) +
                 " file, which has no record parser (tallowmere cat shows its bytes)\n");
    return kExitTrouble;
  }
  const auto payload = fetch_or_report(*archive, *entry);
  if (!payload) return kExitFailed;
  auto record = parse_record(kind, payload->bytes);
  if (!record) {
    write_stderr(ringproof::format_report(ringproof::with_context(
        "parse " + std::string(record_name(kind)) + " " + id_text(*id), record.error())));
    return kExitFailed;
  }
  write_stdout(command.json ? dump_json(*id, *record) + "\n" : dump_text(*record));
  return damaged ? kExitFailed : kExitOk;
}

}  // namespace tallowmere::tool

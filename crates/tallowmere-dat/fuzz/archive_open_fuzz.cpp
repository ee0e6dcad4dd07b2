// Archive opening over arbitrary file contents: the header, the directory walk and
// every file's block chain and decompression must end in a value or an error, never
// in a crash, a hang or an allocation beyond what the file could justify. The directory
// loaded on two threads must be the one loaded on one, entry for entry, and an error
// the same error, character for character.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tallowmere/dat/lib.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  dat::ArchiveLimits one_thread;
  one_thread.directory_threads = 1;
  auto single = dat::DatDatabase::open(dat::MemorySource::borrow({data, size}), one_thread);
  auto db = dat::DatDatabase::open(dat::MemorySource::borrow({data, size}));
  if (!db || !single) {
    if (db.has_value() != single.has_value()) std::abort();
    if (db.error().text() != single.error().text()) std::abort();
    return 0;
  }
  if (db->entries().size() != single->entries().size()) std::abort();
  if (!db->entries().empty() && std::memcmp(db->entries().data(), single->entries().data(),
                                            db->entries().size() * sizeof(dat::DatFileEntry)) != 0)
    std::abort();
  uint32_t previous = 0;
  for (size_t i = 0; i < db->entries().size(); ++i) {
    const dat::DatFileEntry& entry = db->entries()[i];
    // One entry per id, ordered by id, each found again by lookup.
    if (i > 0 && entry.id <= previous) std::abort();
    previous = entry.id;
    if (db->find(entry.id) != &entry) std::abort();
    auto payload = db->get_file(entry.id);
    if (!payload) {
      (void)payload.error().text();
      continue;
    }
    if (!entry.compressed() && payload->size() != entry.size) std::abort();
  }
  return 0;
}

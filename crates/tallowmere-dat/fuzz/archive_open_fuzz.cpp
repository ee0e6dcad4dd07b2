// Archive opening over arbitrary file contents: the header, the directory walk and
// every file's block chain and decompression must end in a value or an error, never
// in a crash, a hang or an allocation beyond what the file could justify.
#include <cstdint>
#include <cstdlib>

#include "tallowmere/dat/lib.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  auto db = dat::DatDatabase::open(dat::MemorySource::borrow({data, size}));
  if (!db) {
    (void)db.error().text();
    return 0;
  }
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

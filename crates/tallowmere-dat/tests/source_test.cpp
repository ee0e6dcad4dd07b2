// Archives read from any source: the chain reader's retry and error paths through a
// source that interrupts, shortens or fails chosen reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tallowmere/dat/lib.hpp"
#include "tallowmere/dat/source.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"

namespace tallowmere::dat {
namespace {

using Bytes = std::vector<uint8_t>;
using Fault = FaultySource::Fault;

constexpr uint32_t kId = 0x01000001;

// An archive of 256-byte blocks whose file kId spans five blocks scattered out of order,
// so that every block is read on its own.
struct Fixture {
  Bytes archive;
  Bytes payload;
};

Fixture scattered_archive() {
  Fixture f;
  f.payload.resize(5 * 252);
  for (size_t i = 0; i < f.payload.size(); ++i) f.payload[i] = static_cast<uint8_t>(i * 31 + 7);
  writer::ArchiveWriter w(256);
  std::vector<uint32_t> blocks(5);
  for (uint32_t& b : blocks) b = w.allocate(256);
  const uint32_t order[5] = {3, 0, 4, 1, 2};  // the chain visits the blocks in this order
  for (size_t k = 0; k < 5; ++k) {
    const uint32_t at = blocks[order[k]];
    w.write_u32(at, k + 1 < 5 ? blocks[order[k + 1]] : 0);
    w.write_raw(at + 4, std::span(f.payload).subspan(252 * k, 252));
  }
  w.add_entry(DatFileEntry{.id = kId, .offset = blocks[order[0]], .size = 5 * 252});
  f.archive = w.finish();
  return f;
}

// Opens the archive through a faulty source; the faults count reads from the open on.
Expected<DatDatabase, DatError> open_faulty(const Bytes& archive,
                                            std::vector<FaultySource::Plan> plans,
                                            const FaultySource** source = nullptr) {
  auto faulty =
      std::make_unique<FaultySource>(std::make_unique<MemorySource>(archive), std::move(plans));
  if (source) *source = faulty.get();
  return DatDatabase::open(std::move(faulty));
}

// The number of reads that opening the archive takes.
uint64_t reads_to_open(const Bytes& archive) {
  const FaultySource* source = nullptr;
  auto db = open_faulty(archive, {}, &source);
  EXPECT_TRUE(db);
  return source->reads();
}

TEST(FaultySourceChain, InterruptedReadsAreRetried) {
  const Fixture f = scattered_archive();
  const uint64_t opened = reads_to_open(f.archive);
  // Every read of the open and of the fetch is interrupted once (some twice).
  std::vector<FaultySource::Plan> plans;
  for (uint64_t i = 0; i < opened + 16; ++i)
    plans.push_back({.read_index = 2 * i, .fault = Fault::Interrupt});
  plans.push_back({.read_index = 5, .fault = Fault::Interrupt});
  const FaultySource* source = nullptr;
  auto db = open_faulty(f.archive, plans, &source);
  ASSERT_TRUE(db) << db.error().text();
  auto got = db->get_file(kId);
  ASSERT_TRUE(got) << got.error().text();
  EXPECT_EQ(*got, f.payload);
  EXPECT_GT(source->reads(), 2 * opened);
}

TEST(FaultySourceChain, ShortReadsAreContinued) {
  const Fixture f = scattered_archive();
  const uint64_t opened = reads_to_open(f.archive);
  for (size_t short_bytes : {size_t{1}, size_t{3}, size_t{4}, size_t{100}}) {
    SCOPED_TRACE(short_bytes);
    std::vector<FaultySource::Plan> plans;
    for (uint64_t i = opened; i < opened + 40; ++i)
      plans.push_back({.read_index = i, .fault = Fault::Short, .short_bytes = short_bytes});
    auto db = open_faulty(f.archive, plans);
    ASSERT_TRUE(db) << db.error().text();
    auto got = db->get_file(kId);
    ASSERT_TRUE(got) << got.error().text();
    EXPECT_EQ(*got, f.payload);
  }
}

TEST(FaultySourceChain, ErrorMidChainIsReported) {
  const Fixture f = scattered_archive();
  const uint64_t opened = reads_to_open(f.archive);
  // The third block of the chain fails: the error reaches the caller as it is.
  auto db = open_faulty(f.archive, {{.read_index = opened + 2, .fault = Fault::Error}});
  ASSERT_TRUE(db) << db.error().text();
  auto got = db->get_file(kId);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().text(), "IO error: Input/output error (os error 5)");
  EXPECT_EQ(got.error().cause_text(), "Input/output error (os error 5)");
  // The next fetch reads afresh and succeeds.
  auto again = db->get_file(kId);
  ASSERT_TRUE(again) << again.error().text();
  EXPECT_EQ(*again, f.payload);

  // A failing directory read ends the open; a failing header read names the first field.
  auto directory = open_faulty(f.archive, {{.read_index = 1, .fault = Fault::Error}});
  ASSERT_FALSE(directory);
  EXPECT_EQ(directory.error().text(), "IO error: Input/output error (os error 5)");
  auto header = open_faulty(f.archive, {{.read_index = 0, .fault = Fault::Error}});
  ASSERT_FALSE(header);
  EXPECT_NE(header.error().text().find("Input/output error (os error 5)"), std::string::npos);
  EXPECT_NE(header.error().text().find("While parsing field 'magic' in DatHeader"),
            std::string::npos);
}

}  // namespace
}  // namespace tallowmere::dat

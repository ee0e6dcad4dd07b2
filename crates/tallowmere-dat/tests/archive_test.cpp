// Opening an archive: the header record, short files, paths that cannot be opened.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tallowmere/dat/lib.hpp"
#include "tallowmere/dat_writer/archive_writer.hpp"
#include "tallowmere/dat_writer/byte_writer.hpp"

namespace tallowmere::dat {
namespace {

using writer::ArchiveWriter;
using writer::open_archive_bytes;

// 320 zero bytes, then a header with every field distinct and root_offset 0.
std::vector<uint8_t> hand_laid_header() {
  writer::ByteWriter w;
  w.zeros(0x140);
  w.u32(0x00005442);                     // magic
  w.u32(0x400);                          // block_size
  w.u32(0x190);                          // file_size
  w.u32(3).u32(4).u32(5).u32(6).u32(7);  // dataset, subset, free_head, free_tail, free_count
  w.u32(0);                              // root_offset
  w.u32(9).u32(10).u32(0x01020304);      // new_lru, old_lru, use_lru (a whole word)
  w.u32(12).u32(13).u32(14);             // master_map_id, engine_version, game_version
  for (uint8_t i = 0; i < 16; ++i) w.u8(static_cast<uint8_t>(0xF0 + i));  // version_string
  w.u32(0xCAFEBABE);                                                      // version_minor
  return w.take();
}

std::string frame_message(const DatError& error) {
  const auto* bin = std::get_if<DatError::BinRead>(&error.value);
  if (bin == nullptr || bin->error.frames().empty()) return "<no frame>";
  return std::get<common::LocatedFrame>(bin->error.frames()[0]).message;
}

TEST(ArchiveHeader, FieldsAreReadAtTheirOffsets) {
  auto bytes = hand_laid_header();
  auto db = open_archive_bytes(bytes);
  ASSERT_TRUE(db) << db.error().text();
  const DatHeader& h = db->header();
  EXPECT_EQ(h.magic, 0x5442u);
  EXPECT_EQ(h.block_size, 0x400u);
  EXPECT_EQ(h.file_size, 0x190u);
  EXPECT_EQ(h.dataset, 3u);
  EXPECT_EQ(h.free_count, 7u);
  EXPECT_EQ(h.root_offset, 0u);
  EXPECT_EQ(h.use_lru, 0x01020304u);
  EXPECT_EQ(h.game_version, 14u);
  ASSERT_EQ(h.version_string.size(), 16u);
  EXPECT_EQ(h.version_string[0], 0xF0);
  EXPECT_EQ(h.version_string[15], 0xFF);
  EXPECT_EQ(h.version_minor, 0xCAFEBABEu);
  EXPECT_EQ(db->entry_count(), 0u);

  // The writer lays the same header out byte for byte.
  ArchiveWriter w(0x400);
  DatHeader& out = w.header();
  out = h;
  w.set_root(0);
  EXPECT_EQ(w.finish(), bytes);
}

TEST(ArchiveHeader, ShortFileFailsAtTheFirstIncompleteField) {
  static const char* const kFields[] = {
      "magic",     "block_size", "file_size",     "dataset",        "subset",
      "free_head", "free_tail",  "free_count",    "root_offset",    "new_lru",
      "old_lru",   "use_lru",    "master_map_id", "engine_version", "game_version"};
  const auto full = hand_laid_header();
  for (size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(length));
    auto db = open_archive_bytes(cut);
    ASSERT_FALSE(db);
    std::string field;
    std::string root = "failed to fill whole buffer";
    if (length < 0x17C) {
      field = kFields[length < 0x140 ? 0 : (length - 0x140) / 4];
    } else if (length < 0x18C) {
      field = "version_string";
      root = "not enough bytes in reader";
    } else {
      field = "version_minor";
    }
    EXPECT_EQ(frame_message(db.error()), "While parsing field '" + field + "' in DatHeader");
    const auto& parse = std::get<DatError::BinRead>(db.error().value).error;
    ASSERT_EQ(parse.frames().size(), 1u);
    EXPECT_EQ(common::root_text(parse.root()), root);
    EXPECT_EQ(std::string(std::get<common::LocatedFrame>(parse.frames()[0]).location.file),
              "crates/tallowmere-dat/src/lib.cpp");
  }
}

TEST(ArchiveHeader, ShortFileErrorText) {
  auto db = open_archive_bytes(std::vector<uint8_t>(0x100, 0));
  ASSERT_FALSE(db);
  const std::string text = db.error().text();
  EXPECT_EQ(text.rfind("Binary read error: \n \u257a", 0), 0u) << text;
  EXPECT_NE(text.find("Error: failed to fill whole buffer"), std::string::npos);
  EXPECT_NE(text.find("While parsing field 'magic' in DatHeader"), std::string::npos);
  EXPECT_NE(text.find("     at crates/tallowmere-dat/src/lib.cpp:"), std::string::npos);
}

TEST(ArchiveOpen, MissingPathNamesThePathAndTheSystemError) {
  const std::string path = "/nonexistent-dir/client_portal.dat";
  auto db = DatDatabase::open(path);
  ASSERT_FALSE(db);
  EXPECT_EQ(db.error().text(),
            "Failed to open file at " + path + ": No such file or directory (os error 2)");
  EXPECT_EQ(db.error().cause_text(), "No such file or directory (os error 2)");
}

TEST(ArchiveOpen, DirectoryPathFailsAtTheFirstHeaderField) {
  auto db = DatDatabase::open("/");
  ASSERT_FALSE(db);
  EXPECT_EQ(frame_message(db.error()), "While parsing field 'magic' in DatHeader");
  const auto& parse = std::get<DatError::BinRead>(db.error().value).error;
  EXPECT_EQ(common::root_text(parse.root()), "Is a directory (os error 21)");
}

TEST(ArchiveOpen, EmptyDirectoryFindsNothing) {
  ArchiveWriter w(1024);
  w.header().magic = 0;  // any magic is accepted
  auto bytes = w.finish();
  ASSERT_EQ(bytes.size(), 0x190u);
  auto db = open_archive_bytes(bytes);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(db->entry_count(), 0u);
  auto missing = db->get_file(0x13000000);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().text(), "File ID 13000000 not found in provider");
  EXPECT_EQ(db->get_file(0xABCD).error().text(), "File ID 0000ABCD not found in provider");
}

TEST(ArchiveOpen, FilesRoundTripThroughTheWriter) {
  for (uint32_t block_size : {2u, 4u, 5u, 64u, 256u, 1024u, 4096u}) {
    SCOPED_TRACE(block_size);
    ArchiveWriter w(block_size);
    std::vector<std::vector<uint8_t>> payloads;
    for (uint32_t i = 0; i < 40; ++i) {
      std::vector<uint8_t> p(i * 97 % 3001);
      for (size_t k = 0; k < p.size(); ++k) p[k] = static_cast<uint8_t>((k / 5) * i);
      w.add_file(0x01000000 + i, p, {.compress = i % 2 == 1});
      payloads.push_back(std::move(p));
    }
    auto db = open_archive_bytes(w.finish());
    ASSERT_TRUE(db) << db.error().text();
    ASSERT_EQ(db->entry_count(), payloads.size());
    for (uint32_t i = 0; i < payloads.size(); ++i) {
      auto got = db->get_file(0x01000000 + i);
      ASSERT_TRUE(got) << got.error().text();
      EXPECT_EQ(*got, payloads[i]) << "file " << i;
    }
  }
}

}  // namespace
}  // namespace tallowmere::dat

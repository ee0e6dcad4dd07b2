// Opening an archive pair and loading its region: which step fails, and with what.
#include "tallowmere/scenery/world.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <variant>

#include "tallowmere/dat_writer/archive_writer.hpp"
#include "tallowmere/dat_writer/world_records.hpp"
#include "tallowmere/testing/temp_dir.hpp"

namespace tallowmere::scenery {
namespace {

using Step = WorldError::Step;

std::vector<uint8_t> archive_with(std::optional<std::vector<uint8_t>> region) {
  writer::ArchiveWriter w;
  if (region) w.add_file(kRegionFileId, *region);
  return w.finish();
}

TEST(OpenWorld, EachStepFailsWithItsContextAndCauseAndSuccessKeepsThePayload) {
  const testing::TempDir dir;
  dat::file_type::Region region;
  for (size_t i = 0; i < 256; ++i) region.height_table[i] = static_cast<float>(i);
  const std::vector<uint8_t> region_bytes = writer::encode_region(region);
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    testing::write_all(dir.path() / name,
                       {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    return dir.file(name);
  };
  const std::string whole = write("whole.dat", archive_with(region_bytes));
  const std::string empty = write("empty.dat", archive_with(std::nullopt));
  const std::string cut =
      write("cut.dat", archive_with(std::vector(region_bytes.begin(), region_bytes.begin() + 10)));
  const std::string nothing = dir.file("nothing.dat");

  auto fails_at = [](const Expected<World, WorldError>& world, Step step, bool parse_error) {
    ASSERT_FALSE(world);
    EXPECT_EQ(world.error().step, step);
    EXPECT_EQ(std::holds_alternative<common::ParseError>(world.error().cause), parse_error);
  };
  fails_at(open_world(nothing, empty), Step::OpenPortal, false);
  fails_at(open_world(whole, nothing), Step::OpenCell, false);
  fails_at(open_world(empty, whole), Step::FetchRegion, false);
  fails_at(open_world(cut, whole), Step::ParseRegion, true);

  auto missing = open_world(empty, empty);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().context(), "fetch Region 0x13000000");
  EXPECT_EQ(std::get<dat::DatError>(missing.error().cause).text(),
            "File ID 13000000 not found in provider");

  auto world = open_world(whole, empty);
  ASSERT_TRUE(world);
  EXPECT_EQ(world->region_payload, region_bytes);
  EXPECT_EQ(world->region.height_table[200], 200.0f);
}

TEST(OpenWorld, ReadsTheFilesOpenedBeforeAndReportsTheirFailuresInTurn) {
  const testing::TempDir dir;
  dat::file_type::Region region;
  const std::vector<uint8_t> whole_bytes = archive_with(writer::encode_region(region));
  const std::vector<uint8_t> empty_bytes = archive_with(std::nullopt);
  testing::write_all(dir.path() / "whole.dat",
                     {reinterpret_cast<const char*>(whole_bytes.data()), whole_bytes.size()});
  testing::write_all(dir.path() / "empty.dat",
                     {reinterpret_cast<const char*>(empty_bytes.data()), empty_bytes.size()});
  const std::string whole = dir.file("whole.dat");
  const std::string empty = dir.file("empty.dat");
  const std::string nothing = dir.file("nothing.dat");

  // What is read is the file opened, even once its name is gone.
  ArchiveFiles files = open_archive_files(whole, empty);
  std::filesystem::remove(whole);
  std::filesystem::remove(empty);
  EXPECT_TRUE(open_world(std::move(files)));

  // A file that could not be opened fails its own step, with the error open(path) gives,
  // and only once the steps before it have succeeded.
  const std::string expected = dat::DatDatabase::open(nothing).error().text();
  testing::write_all(dir.path() / "whole.dat",
                     {reinterpret_cast<const char*>(whole_bytes.data()), whole_bytes.size()});
  auto cell_missing = open_world(open_archive_files(whole, nothing));
  ASSERT_FALSE(cell_missing);
  EXPECT_EQ(cell_missing.error().step, Step::OpenCell);
  EXPECT_EQ(std::get<dat::DatError>(cell_missing.error().cause).text(), expected);
  auto both_missing = open_world(open_archive_files(nothing, nothing));
  ASSERT_FALSE(both_missing);
  EXPECT_EQ(both_missing.error().step, Step::OpenPortal);
  EXPECT_EQ(std::get<dat::DatError>(both_missing.error().cause).text(), expected);
}

}  // namespace
}  // namespace tallowmere::scenery

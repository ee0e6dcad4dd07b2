// The tool's pieces that need no child process: landblock selections, the JSON writer's
// floats, and digest files.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "output.hpp"
#include "placement_folder.hpp"
#include "selection.hpp"
#include "tallowmere/scenery/landblocks.hpp"
#include "tallowmere/testing/demo_world.hpp"

namespace tallowmere::tool {
namespace {

TEST(Selection, ItemsRangesAndRepeats) {
  const auto& cell = testing::demo_world().cell;
  auto ids = parse_selection("0xA3AE-0xA4AF,a3ae,0x00AB,0xAF", cell);
  ASSERT_TRUE(ids);
  EXPECT_EQ(*ids, (std::vector<uint16_t>{0xA3AE, 0xA3AF, 0xA4AE, 0xA4AF, 0x00AB, 0x00AF}));

  auto ring = parse_selection("ring,0xA3AE", cell);
  ASSERT_TRUE(ring);
  EXPECT_EQ(*ring, scenery::ring_landblocks());
  auto all = parse_selection("0xFFFF,all", cell);
  ASSERT_TRUE(all);
  EXPECT_EQ(all->front(), 0xFFFF);
  EXPECT_EQ(all->size(), scenery::all_landblocks(cell).size() + 1);

  for (const char* bad : {"", "ring,", "0x", "0x12345", "0xA3AE-", "0xA3AE-0xA2AF", "0xA3AE-0xA3AD",
                          "0xA3AE-0xA4AF-0xA5B0", "rings", "-1"}) {
    EXPECT_FALSE(parse_selection(bad, cell)) << bad;
  }
}

TEST(JsonWriter, FloatsReadBackToTheSameBits) {
  std::mt19937 random(1);
  std::vector<float> values = {0.0f,   -0.0f,         1.0f / 3.0f,      192.0f,
                               1e-45f, 3.4028235e38f, -1.17549435e-38f, 100.25000762939453f};
  for (int i = 0; i < 2000; ++i) {
    const float f = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (std::isfinite(f)) values.push_back(f);
  }
  JsonWriter json;
  json.begin_array();
  for (float f : values) json.value(f);
  json.value(std::nanf("")).value(INFINITY).value(-INFINITY);
  json.end_array();

  const auto doc = nlohmann::json::parse(json.text());
  ASSERT_EQ(doc.size(), values.size() + 3);
  for (size_t i = 0; i < values.size(); ++i) {
    // Read straight from the text to single precision, as a port would.
    const std::string text = doc[i].dump();
    EXPECT_EQ(std::bit_cast<uint32_t>(std::strtof(shortest_float(values[i]).c_str(), nullptr)),
              std::bit_cast<uint32_t>(values[i]))
        << text;
    EXPECT_EQ(static_cast<float>(doc[i].get<double>()), values[i]) << text;
  }
  EXPECT_EQ(doc[values.size()], "NaN");
  EXPECT_EQ(doc[values.size() + 1], "inf");
  EXPECT_EQ(doc[values.size() + 2], "-inf");
}

TEST(JsonWriter, NestingAndEscapes) {
  JsonWriter json;
  json.begin_object().key("a\"b").value("line\nend\\").key("list").begin_array();
  json.value(uint64_t{1}).null().value(true).begin_object().end_object().end_array();
  json.end_object();
  EXPECT_EQ(json.text(), R"({"a\"b":"line\u000aend\\","list":[1,null,true,{}]})");
}

TEST(DigestFile, ReadsTextAndBinaryLinesAndRejectsOthers) {
  const std::string hash(64, 'a');
  auto parsed = parse_digest_file(hash + "  0xA3AE.scenery.jsonl\n" + std::string(64, 'B') +
                                  " *two words\n\n");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->at("0xA3AE.scenery.jsonl"), hash);
  EXPECT_EQ(parsed->at("two words"), std::string(64, 'b'));
  auto bad = parse_digest_file(hash + "  ok\n" + hash.substr(1) + "  short\n");
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error(), "line 2 is not a digest line");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace tallowmere::tool

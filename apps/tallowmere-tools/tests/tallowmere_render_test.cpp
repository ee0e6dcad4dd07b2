// `tallowmere render` on the hand-made render world: the picture's bytes do not depend on
// the number of threads, --compare counts what differs as `diff` matches it and keeps
// hostile text out of the markup, and each kind of trouble has its exit status. What the
// pictures look like is checked in a browser by render_browser_test.py.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "render_world.hpp"
#include "tallowmere/testing/child_process.hpp"
#include "tallowmere/testing/temp_dir.hpp"

namespace tallowmere::tool {
namespace {

namespace fs = std::filesystem;
using tallowmere::testing::read_all;
using tallowmere::testing::run_tool;
using tallowmere::testing::TempDir;
using tallowmere::testing::ToolRun;
using tallowmere::testing::write_all;

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class TallowmereRender : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tallowmere::testing::write_render_world(world_.path().string()));
    portal_ = world_.file("client_portal.dat");
    cell_ = world_.file("client_cell_1.dat");
  }
  ToolRun tool(std::vector<std::string> args) {
    args.insert(args.begin(), TALLOWMERE_TESTBIN);
    return run_tool(args, {}, home_.path(), scratch_.path());
  }
  // Renders `landblocks` into `name` in the work folder; returns the run.
  ToolRun render(const std::string& landblocks, const std::string& name,
                 std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"render",   portal_, cell_,           "--landblocks",
                                     landblocks, "--out", work_.file(name)};
    args.insert(args.end(), extra.begin(), extra.end());
    return tool(args);
  }
  fs::path bake_middle() {
    const fs::path dir = work_.path() / "baked";
    const ToolRun r =
        tool({"bake", portal_, cell_, "--landblocks", "0x8080", "--out", dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    return dir;
  }

  TempDir world_, work_, scratch_, home_;
  std::string portal_, cell_;
};

TEST_F(TallowmereRender, SameBytesForAnyNumberOfThreadsAndOneShapePerPlacement) {
  ASSERT_EQ(render("0x7F7F-0x8181", "one.svg", {"--jobs", "1", "--px", "16"}).status, 0);
  const ToolRun r = render("0x7F7F-0x8181", "four.svg", {"--jobs", "4", "--px", "16"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  const std::string svg = read_all(work_.path() / "one.svg");
  EXPECT_EQ(svg, read_all(work_.path() / "four.svg"));

  const std::string baked = read_all(bake_middle() / "0x8080.scenery.jsonl");
  const size_t placements = count_of(baked, "\n");
  ASSERT_GT(placements, 4u);
  // The middle tile lists exactly the baked placements, each with its hover title.
  const size_t begin = svg.find("<g id=\"lb-8080\"");
  const std::string tile = svg.substr(begin, svg.find("</g>", begin) - begin);
  EXPECT_EQ(count_of(tile, "<rect class=\"pl "), placements);
  EXPECT_NE(tile.find("0x8080: " + std::to_string(placements) + " placements"), std::string::npos);
  EXPECT_EQ(count_of(tile, "<rect class=\"bd\""), 1u);
  EXPECT_EQ(count_of(svg, "<g id=\"lb-"), 9u);
  EXPECT_TRUE(svg.ends_with("</svg>\n"));
}

TEST_F(TallowmereRender, CompareCountsMovedMissingAndExtraAndEscapesForeignText) {
  const fs::path other = bake_middle();
  const fs::path file = other / "0x8080.scenery.jsonl";
  std::string text = read_all(file);
  // Unchanged folder: nothing to count.
  ASSERT_EQ(render("0x8080", "same.svg", {"--compare", other.string()}).status, 0);
  EXPECT_NE(read_all(work_.path() / "same.svg")
                .find(": 0 only baked \xC2\xB7 0 only in compared \xC2\xB7 0 moved</text>"),
            std::string::npos);

  // Line 0 dropped; line 1 moved in y, its z replaced by text carrying markup and a
  // control character; and a placement of a source the bake never used.
  const size_t first_end = text.find('\n');
  text.erase(0, first_end + 1);
  const size_t y_at = text.find("\"y\":") + 4;
  text.replace(y_at, text.find(',', y_at) - y_at, "1.250000");
  const size_t z_at = text.find("\"z\":") + 4;
  text.replace(z_at, text.find(',', z_at) - z_at, "\"<script>\\u0001\"");
  text +=
      "{\"obj_id\":\"0x01000010\",\"x\":10.000000,\"y\":10.000000,\"z\":0.000000,"
      "\"qw\":1.000000,\"qx\":0.000000,\"qy\":0.000000,\"qz\":0.000000,\"scale\":1.000000,"
      "\"source_cell_x\":99,\"source_cell_y\":0,\"source_obj_idx\":0}\n";
  write_all(file, text);
  const ToolRun r = render("0x8080", "compare.svg", {"--compare", other.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string svg = read_all(work_.path() / "compare.svg");
  EXPECT_NE(svg.find(": 1 only baked \xC2\xB7 1 only in compared \xC2\xB7 1 moved</text>"),
            std::string::npos);
  EXPECT_EQ(count_of(svg, "<rect class=\"mv\""), 1u);
  EXPECT_EQ(count_of(svg, "<rect class=\"ob\""), 1u);
  EXPECT_EQ(count_of(svg, "<rect class=\"oc\""), 1u);
  EXPECT_NE(svg.find("\n  y: "), std::string::npos);  // the moved field in the hover title
  EXPECT_NE(svg.find("&lt;script&gt;\xEF\xBF\xBD"), std::string::npos);
  EXPECT_EQ(svg.find("<script"), std::string::npos);
  EXPECT_EQ(svg.find('\x01'), std::string::npos);
}

TEST_F(TallowmereRender, TroubleExitsTwoAndAFailedWriteExitsOne) {
  const ToolRun absent =
      render("0x8080", "x.svg", {"--compare", (work_.path() / "absent").string()});
  EXPECT_EQ(absent.status, 2);
  EXPECT_NE(absent.err.find("tallowmere render: cannot read folder"), std::string::npos)
      << absent.err;

  const ToolRun wide = render("0x1010,0x5010", "x.svg");
  EXPECT_EQ(wide.status, 2);
  EXPECT_EQ(wide.err,
            "tallowmere render: the selection spans 65 x 1 landblocks; a picture holds at most "
            "32 x 32\n");

  const ToolRun unwritable = tool({"render", portal_, cell_, "--landblocks", "0x8080", "--out",
                                   (work_.path() / "no" / "such" / "x.svg").string()});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("write " + (work_.path() / "no").string()), std::string::npos)
      << unwritable.err;
  EXPECT_FALSE(fs::exists(work_.path() / "x.svg"));

  EXPECT_EQ(tool({"render", portal_, cell_, "--out", work_.file("x.svg")}).status, 2);
  EXPECT_EQ(render("0x8080", "x.svg", {"--px", "1"}).status, 2);
}

}  // namespace
}  // namespace tallowmere::tool

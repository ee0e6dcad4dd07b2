// tallowmere: bakes any landblocks, compares placement folders, proves the bake
// reproducible under varied conditions, looks inside archives (info, ls, cat, dump,
// verify) and draws landblocks (render).
//
// Wires the subcommands to their options; each subcommand lives in a file of its own and
// returns the exit status. A usage error is one line on standard error and exit status 2.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "bake_run.hpp"
#include "commands.hpp"
#include "output.hpp"
#include "tallowmere/common/version.hpp"

namespace {

using namespace tallowmere::tool;

constexpr const char* kInspectExit =
    "Exit status: 0 fine, 1 damage found or a record failed, 2 a usage error or an archive "
    "that cannot be opened.\n";

#ifdef TALLOWMERE_TEST_HOOKS
// The test build plants faults named by TALLOWMERE_TEST_FAULT:
//   order  the landblock handed out first gets one extra line, so a bake's output depends
//          on the order in which landblocks are baked.
void plant_test_fault() {
  const char* fault = std::getenv("TALLOWMERE_TEST_FAULT");
  if (fault && std::string(fault) == "order") {
    set_bake_fault([](tallowmere::scenery::BakedLandblock& baked) {
      if (baked.sequence == 0) baked.lines.lines.push_back("{\"planted\":\"baked first\"}");
    });
  }
}
#endif

void add_selection(CLI::App& command, std::string& selection) {
  command
      .add_option("--landblocks", selection,
                  "comma-separated: ring, all, ids (0xA9B4), rectangles (0xA3AE-0xAFBA)")
      ->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
#ifdef TALLOWMERE_TEST_HOOKS
  plant_test_fault();
#endif
  CLI::App app{
      "tallowmere: bake scenery for any landblocks, compare placement folders, prove the "
      "bake reproducible, and look inside archives.",
      "tallowmere"};
  app.set_version_flag("--version", "tallowmere " + std::string(tallowmere::kVersion));
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 fine, 1 a difference, drift or failed write, 2 a usage error or "
      "input that cannot be read.\n");

  BakeCommand bake;
  auto* bake_app = app.add_subcommand(
      "bake",
      "Bake landblocks into placement files (one per landblock, as ringproof writes them).");
  bake_app->add_option("PORTAL", bake.portal, "portal archive")->required();
  bake_app->add_option("CELL", bake.cell, "cell archive")->required();
  add_selection(*bake_app, bake.landblocks);
  bake_app->add_option("--out", bake.out, "output folder, created when missing")
      ->capture_default_str();
  bake_app->add_option("--jobs", bake.jobs, "threads (default: one per hardware thread)")
      ->check(CLI::Range(1u, 1024u));
  bake_app->add_flag("--slope", bake.slope,
                     "bilinear height and the slope test instead of the triangulated surface");
  bake_app->add_option("--order", bake.order)->group("");
  bake_app->add_option("--shuffle-seed", bake.shuffle_seed)->group("");
  bake_app->footer(
      "Exit status: 0 baked, 1 a file could not be written, 2 usage or archive trouble.\n");

  DigestCommand digest;
  auto* digest_app = app.add_subcommand(
      "digest", "SHA-256 of every placement file of a folder, in sha256sum's format.");
  digest_app->add_option("DIR", digest.dir, "placement folder")->required();
  digest_app->add_option("--check", digest.check,
                         "compare with a saved digest file instead of printing");
  digest_app->footer(
      "Exit status: 0 digests printed or all match, 1 a mismatch, missing or extra file, 2 "
      "trouble.\n");

  DiffCommand diff;
  auto* diff_app = app.add_subcommand(
      "diff", "Compare two placement folders landblock by landblock, placement by placement.");
  diff_app->add_option("A", diff.a, "first placement folder")->required();
  diff_app->add_option("B", diff.b, "second placement folder")->required();
  diff_app->add_flag("--json", diff.json, "one JSON document instead of text");
  diff_app->add_option("--max", diff.max, "differing placements shown per landblock")
      ->capture_default_str();
  diff_app->footer("Exit status: 0 identical, 1 different, 2 trouble.\n");

  ProveCommand prove;
  auto* prove_app = app.add_subcommand(
      "prove", "Bake several times under deliberately different conditions and compare.");
  prove_app->add_option("PORTAL", prove.portal, "portal archive")->required();
  prove_app->add_option("CELL", prove.cell, "cell archive")->required();
  add_selection(*prove_app, prove.landblocks);
  prove_app->add_option("--runs", prove.runs, "number of runs")
      ->check(CLI::Range(1u, 64u))
      ->capture_default_str();
  prove_app->add_option("--golden", prove.golden,
                        "a digest file made elsewhere (tallowmere digest) to compare with");
  prove_app->add_flag("--slope", prove.slope, "bake with the slope test");
  prove_app->footer("Exit status: 0 PASS, 1 drift, 2 usage or archive trouble.\n");

  InfoCommand info;
  auto* info_app = app.add_subcommand(
      "info", "The archive's header, directory shape and a summary per file type.");
  info_app->add_option("ARCHIVE", info.archive, "archive file")->required();
  info_app->add_flag("--json", info.json, "one JSON document instead of text");
  info_app->footer(kInspectExit);

  LsCommand ls;
  auto* ls_app = app.add_subcommand("ls", "One line per file, sorted by id.");
  ls_app->add_option("ARCHIVE", ls.archive, "archive file")->required();
  ls_app->add_option("--type", ls.type,
                     "only files of this type: a name (gfx_obj, scene, landblock, ...) or a "
                     "portal type byte (0x01)");
  ls_app->add_option("--ids", ls.ids, "only ids FROM..TO (inclusive)");
  ls_app->add_flag("--json", ls.json, "a JSON array instead of text");
  ls_app->footer(kInspectExit);

  CatCommand cat;
  auto* cat_app = app.add_subcommand(
      "cat", "A file's payload bytes, expanded when stored compressed (never to a terminal).");
  cat_app->add_option("ARCHIVE", cat.archive, "archive file")->required();
  cat_app->add_option("ID", cat.id, "file id, such as 0x01000005")->required();
  cat_app->add_option("-o,--output", cat.out, "write the bytes to this file instead");
  cat_app->footer(kInspectExit);

  DumpCommand dump;
  auto* dump_app = app.add_subcommand(
      "dump",
      "A record parsed by its type (region, scene, setup model, graphics object, cell "
      "landblock, landblock info), every field.");
  dump_app->add_option("ARCHIVE", dump.archive, "archive file")->required();
  dump_app->add_option("ID", dump.id, "file id, such as 0x13000000")->required();
  dump_app->add_flag("--json", dump.json, "lossless JSON instead of indented text");
  dump_app->footer(kInspectExit);

  VerifyCommand verify;
  auto* verify_app = app.add_subcommand(
      "verify", "Read, expand and parse every file of whole archives and list the damage.");
  verify_app->add_option("ARCHIVE", verify.archives, "archive files")->required();
  verify_app->add_option("--jobs", verify.jobs, "threads")
      ->check(CLI::Range(1u, 1024u))
      ->capture_default_str();
  verify_app->add_flag("--json", verify.json, "one JSON document instead of text");
  verify_app->add_flag("--read-only", verify.read_only)->group("");
  verify_app->footer(kInspectExit);

  RenderCommand render;
  auto* render_app = app.add_subcommand(
      "render",
      "Draw landblocks as one self-contained SVG picture: terrain, buildings, placements.");
  render_app->add_option("PORTAL", render.portal, "portal archive")->required();
  render_app->add_option("CELL", render.cell, "cell archive")->required();
  render_app
      ->add_option("--landblocks", render.landblocks,
                   "comma-separated: ring, all, ids (0xA9B4), rectangles (0xA3AE-0xAFBA); at "
                   "most 32 x 32 landblocks")
      ->required();
  render_app->add_option("--out", render.out, "the SVG file to write")->required();
  render_app->add_option("--px", render.px, "pixels per 24-unit terrain cell")
      ->check(CLI::Range(2u, 512u))
      ->capture_default_str();
  render_app->add_option("--compare", render.compare,
                         "a placement folder to overlay: placements only baked, only there, "
                         "and moved are drawn apart and counted");
  render_app->add_option("--jobs", render.jobs, "threads (default: one per hardware thread)")
      ->check(CLI::Range(1u, 1024u));
  render_app->footer(
      "Exit status: 0 drawn, 1 the picture could not be written, 2 usage, archive or folder "
      "trouble.\n");

  const std::string first = argc > 1 ? argv[1] : "";
  const auto& names = app.get_subcommands([](const CLI::App*) { return true; });
  const bool known = std::any_of(names.begin(), names.end(),
                                 [&](const CLI::App* sub) { return sub->get_name() == first; });
  if (!first.empty() && first[0] != '-' && !known) {
    write_stderr("tallowmere: unknown command '" + first +
                 "': expected bake, digest, diff, prove, info, ls, cat, dump, verify or render "
                 "(see --help)\n");
    return kExitTrouble;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string where = "tallowmere";
    for (const auto* sub : app.get_subcommands()) where += " " + sub->get_name();
    write_stderr(where + ": " + e.what() + " (see --help)\n");
    return kExitTrouble;
  }

  if (bake_app->parsed()) return run_bake(bake);
  if (digest_app->parsed()) return run_digest(digest);
  if (diff_app->parsed()) return run_diff(diff);
  if (info_app->parsed()) return run_info(info);
  if (ls_app->parsed()) return run_ls(ls);
  if (cat_app->parsed()) return run_cat(cat);
  if (dump_app->parsed()) return run_dump(dump);
  if (verify_app->parsed()) return run_verify(verify);
  if (render_app->parsed()) return run_render(render);
  return run_prove(prove);
}

// Graphics objects and BSP trees over arbitrary bytes: every input ends in a record or
// an error, never in a crash, a stack overflow on deep trees or an allocation beyond
// what the input could justify. The first byte also picks a tree kind, and the rest is
// read as a bare tree, so that deep nesting is reached without a valid record around it;
// a tree that parses re-encodes to exactly the bytes it was read from. The vertex walk
// and the tree size walk must agree with the full parsers on every input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "../tests/record_walk_check.hpp"
#include "tallowmere/dat/file_type/gfx_obj.hpp"
#include "tallowmere/dat/physics.hpp"
#include "tallowmere/dat_writer/model_records.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tallowmere;
  std::span<const uint8_t> bytes(data, size);
  {
    common::Cursor cursor(bytes);
    auto obj = dat::file_type::GfxObj::unpack(cursor);
    if (!obj) (void)obj.error().text();
  }
  if (const std::string mismatch = dat::check::vertex_origins_mismatch(bytes); !mismatch.empty()) {
    std::fprintf(stderr, "vertex walk: %s\n", mismatch.c_str());
    std::abort();
  }
  if (size > 0) {
    const auto kind = static_cast<dat::physics::BspTreeKind>(data[0] % 3);
    if (const std::string mismatch = dat::check::tree_size_mismatch(bytes.subspan(1), kind);
        !mismatch.empty()) {
      std::fprintf(stderr, "tree size walk: %s\n", mismatch.c_str());
      std::abort();
    }
    common::Cursor cursor(bytes.subspan(1));
    auto tree = dat::physics::BspTree::read(cursor, kind);
    if (!tree) {
      (void)tree.error().text();
      return 0;
    }
    writer::ByteWriter encoded;
    writer::encode_bsp(encoded, writer::bsp_spec(*tree), kind);
    if (encoded.size() != cursor.position() ||
        std::memcmp(encoded.view().data(), data + 1, encoded.size()) != 0) {
      std::abort();
    }
  }
  return 0;
}

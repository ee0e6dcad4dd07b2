// The record generators of the world: each makes the payload of one file from the
// catalog and the file's own random stream. Payloads come out whole; damage is applied
// by the archive writers (truncate()).
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "catalog.hpp"
#include "random.hpp"
#include "tallowmere/common/math.hpp"
#include "tallowmere/dat/file_type/region.hpp"
#include "tallowmere/dat/landblock.hpp"

namespace tallowmere::worldgen {

// A rotation by `radians` about the vertical axis: (cos(a/2), 0, 0, sin(a/2)).
inline common::Quaternion yaw_quaternion(float radians) {
  return {std::cos(radians * 0.5f), 0.0f, 0.0f, std::sin(radians * 0.5f)};
}

// A heading: a quarter turn most of the time, as placed buildings are, else any angle.
inline float random_heading(Rng& rng, double quarter_turn_share) {
  constexpr float kPi = 3.14159265358979f;
  if (rng.chance(quarter_turn_share)) return static_cast<float>(rng.below(4)) * (kPi / 2);
  return rng.uniform(0.0f, 2 * kPi);
}

// Cuts a payload short so that its parser fails: keeps between a quarter of it and
// all but `keep_clear` bytes (at least 1 byte is always cut).
std::vector<uint8_t> truncate(std::vector<uint8_t> payload, Rng& rng, size_t keep_clear = 1);

// Portal records.
std::vector<uint8_t> gfx_obj_payload(const Catalog& catalog, const Model& model);
std::vector<uint8_t> setup_model_payload(const Catalog& catalog, const Model& model,
                                         uint32_t index);
std::vector<uint8_t> scene_payload(const Catalog& catalog, const Model& scene);
dat::file_type::Region make_region(const Catalog& catalog);
std::vector<uint8_t> filler_payload(const Catalog& catalog, const FillerType& type, uint32_t id);

// Cell records of landblock `landblock` (xxyy).
dat::landblock::CellLandblock make_cell_landblock(const Catalog& catalog,
                                                  const dat::file_type::Region& region,
                                                  uint16_t landblock);

struct LandblockContents {
  dat::landblock::LandblockInfo info;
  // Interior cell payloads, for ids xxyy0100, xxyy0101, ... in order.
  std::vector<std::vector<uint8_t>> interior_cells;
};
LandblockContents make_landblock_contents(const Catalog& catalog,
                                          const dat::file_type::Region& region,
                                          const dat::landblock::CellLandblock& cell,
                                          uint16_t landblock);

}  // namespace tallowmere::worldgen

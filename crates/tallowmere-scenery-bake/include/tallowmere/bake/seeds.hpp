// The seeded values of the scenery bake.
//
// Every draw is a wrapping u32 hash of a vertex's global grid coordinates (landblock
// x * 8 + vertex x, landblock y * 8 + vertex y) and, for per-object draws, the object's
// position in its scene. A hash h becomes a roll in [0, 1) as double(h) * K, where K is
// the double just below 2^-32 given by its bit pattern.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace tallowmere::bake {

inline constexpr uint32_t A1 = 0xBDE41C43;
inline constexpr uint32_t A2 = 0x6C1AC587;
inline constexpr uint32_t A3 = 0x2A7F2B89;
inline constexpr uint32_t A4 = 0x7F8CDA01;
inline constexpr uint32_t A5 = 0x12A1D1D7;
inline constexpr uint32_t A6 = 0xF4D7C05F;
inline constexpr uint32_t A7 = 0xAEEE4011;
inline constexpr uint32_t A8 = 0x8F76D049;
inline constexpr uint32_t A9 = 0x9084269B;
inline constexpr uint32_t A10 = 0xE8031203;

// Salts of the per-object rolls.
inline constexpr uint32_t SALT_OFFSET_X = 45773;
inline constexpr uint32_t SALT_OFFSET_Y = 72719;
inline constexpr uint32_t SALT_HEADING = 63127;
inline constexpr uint32_t SALT_SCALE = 32593;

inline constexpr double K = std::bit_cast<double>(uint64_t{0x3DEFFFFFF79322D5});

// A hash as a roll in [0, 1).
inline double unit(uint32_t h) {
  return static_cast<double>(h) * K;
}

// The hash that chooses a vertex's scene among its scene type's scenes.
inline uint32_t scene_hash(uint32_t x, uint32_t y) {
  return (A3 * x + A2) * y + A1 * x + A4;
}

// Index of the chosen scene in a list of `n` (n > 0): n * unit(hash) truncated, and 0
// whenever that does not land below n.
size_t scene_index(size_t n, uint32_t hash);

// The draws shared by all objects of one vertex.
struct VertexSeeds {
  uint32_t b0 = 0;              // base of the per-object hashes
  double probability_roll = 0;  // an object is placed when its probability exceeds it
  uint32_t multiplier = 0;      // per-object hash multiplier
  double quarter_roll = 0;      // picks the quarter turn of every displacement

  static VertexSeeds at(uint32_t x, uint32_t y) {
    VertexSeeds s;
    s.b0 = A1 * x + A2 * y;
    s.probability_roll = unit(A5 * x * y + s.b0 + A6);
    s.multiplier = A7 * x * y + A8;
    s.quarter_roll = unit(A9 * x * y + s.b0 + A10);
    return s;
  }

  // The roll of the object at position j of the scene's list for one salt.
  double roll(uint32_t j, uint32_t salt) const { return unit((j + salt) * multiplier + b0); }
};

}  // namespace tallowmere::bake

// Seeded random streams of the world generator.
//
// Every record draws from its own SplitMix64 stream, keyed by the world seed, a tag
// naming the kind of record and the record's index, so a record's content depends only
// on those three values and never on the order in which records are generated.
#pragma once

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "tallowmere/common/splitmix.hpp"

namespace tallowmere::worldgen {

// Tags of the streams; the values are part of what a seed means, so they never change.
enum class Stream : uint64_t {
  Catalog = 1,
  GfxObj = 2,
  Setup = 3,
  Scene = 4,
  Region = 5,
  Filler = 6,
  Landblock = 7,
  Damage = 8,
  Store = 9,
  Terrain = 10,
  InteriorCell = 11,
};

class Rng {
 public:
  explicit Rng(uint64_t state) : bits_(state) {}

  static Rng stream(uint64_t seed, Stream tag, uint64_t index = 0) {
    using common::mix64;
    uint64_t key = mix64(seed ^ 0x6A09E667F3BCC909ull);
    key = mix64(key ^ (static_cast<uint64_t>(tag) * common::kSplitMixGamma));
    return Rng(mix64(key ^ (index * 0xD1B54A32D192ED03ull + 0x3C6EF372FE94F82Bull)));
  }

  uint64_t next() { return bits_.next(); }
  uint32_t u32() { return static_cast<uint32_t>(next() >> 32); }
  // Uniform in [0, n); 0 when n is 0.
  uint32_t below(uint32_t n) { return static_cast<uint32_t>((uint64_t{u32()} * n) >> 32); }
  // Uniform in [lo, hi], both included.
  int32_t between(int32_t lo, int32_t hi) {
    return lo + static_cast<int32_t>(below(static_cast<uint32_t>(hi - lo) + 1));
  }
  // The same draw as between() for a count: uniform in [lo, hi], lo <= hi.
  uint32_t count_between(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
  // Uniform in [0, 1).
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  bool chance(double p) { return unit() < p; }
  float uniform(float lo, float hi) { return static_cast<float>(lo + (hi - lo) * unit()); }
  // Log-uniform in [lo, hi]: small values as likely per octave as large ones.
  uint32_t log_uniform(uint32_t lo, uint32_t hi) {
    const double v =
        std::exp(std::log(double(lo)) + (std::log(double(hi)) - std::log(double(lo))) * unit());
    return static_cast<uint32_t>(v);
  }
  template <class T>
  const T& pick(const std::vector<T>& values) {
    return values[below(static_cast<uint32_t>(values.size()))];
  }
  template <class T>
  void shuffle(std::vector<T>& values) {
    for (size_t i = values.size(); i > 1; --i) std::swap(values[i - 1], values[below(uint32_t(i))]);
  }

 private:
  common::SplitMix64 bits_;
};

}  // namespace tallowmere::worldgen

// SplitMix64: the project's one 64-bit mixing function and pseudo-random stream.
//
// The stream adds a fixed odd constant (2^64 divided by the golden ratio) to its state
// and returns the state through the finaliser, so its output depends on nothing but
// the starting state: the same on every compiler, library and machine. Generated
// worlds are defined by these values, so neither the constants nor the order of the
// steps may ever change.
#pragma once

#include <cstdint>

namespace tallowmere::common {

inline constexpr uint64_t kSplitMixGamma = 0x9E3779B97F4A7C15ull;

// The SplitMix64 finaliser: a bijection on 64-bit values whose every output bit
// depends on every input bit.
constexpr uint64_t mix64(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

class SplitMix64 {
 public:
  constexpr explicit SplitMix64(uint64_t state) : state_(state) {}

  // Advances the state by the gamma and returns the mixed new state.
  constexpr uint64_t next() { return mix64(state_ += kSplitMixGamma); }

 private:
  uint64_t state_;
};

}  // namespace tallowmere::common

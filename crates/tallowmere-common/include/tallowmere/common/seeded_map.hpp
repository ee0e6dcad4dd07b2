// SeededMap: a hash map whose hashing is keyed by a seed of its own.
//
// Every SeededHash made by its default constructor draws a fresh 64-bit seed: a
// process-wide counter mixed with a value taken once per process from the system's
// random source. Each map therefore hashes, and iterates, in an order of its own, and
// two parses of the same payload may list the same keys in different orders. This is
// deliberate: nothing may depend on the iteration order of a keyed collection, and a
// varying order makes any such dependence show up in a determinism run instead of
// hiding behind a fixed layout.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <random>
#include <type_traits>
#include <unordered_map>

#include "tallowmere/common/splitmix.hpp"

namespace tallowmere::common {

namespace detail {
// Drawn once per process; a missing random source falls back to the address of a
// static object (varied by address-space layout randomisation where the system has it).
inline uint64_t process_seed_base() {
  static const uint64_t base = [] {
    static const int anchor = 0;
    uint64_t value = reinterpret_cast<uintptr_t>(&anchor);
    try {
      std::random_device device;
      value ^= (static_cast<uint64_t>(device()) << 32) ^ device();
    } catch (...) {
      // No random source: the address alone seeds the process.
    }
    return mix64(value);
  }();
  return base;
}
}  // namespace detail

// A seed that no earlier call in this process has returned.
inline uint64_t next_map_seed() {
  static std::atomic<uint64_t> counter{0};
  return mix64(detail::process_seed_base() ^
               mix64(counter.fetch_add(1, std::memory_order_relaxed)));
}

template <class K>
struct SeededHash {
  uint64_t seed;

  SeededHash() : seed(next_map_seed()) {}
  explicit SeededHash(uint64_t fixed_seed) : seed(fixed_seed) {}

  size_t operator()(const K& key) const {
    uint64_t raw;
    if constexpr (std::is_integral_v<K> || std::is_enum_v<K>) {
      raw = static_cast<uint64_t>(key);
    } else {
      raw = static_cast<uint64_t>(std::hash<K>{}(key));
    }
    return static_cast<size_t>(mix64(raw ^ seed));
  }
};

// A default-constructed SeededMap has a fresh seed; copies keep their source's seed.
template <class K, class V>
using SeededMap = std::unordered_map<K, V, SeededHash<K>>;

}  // namespace tallowmere::common

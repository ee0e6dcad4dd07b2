// Little-endian loads and stores: the one place where bytes become integers.
//
// Every value in the archives is stored least-significant byte first. These helpers
// copy the bytes into an integer of the value's size (one load or store, where a loop
// of byte shifts is not always fused into one by the compiler) and reverse them on a
// big-endian host, so they are correct on either kind and never read or write through
// a cast pointer; evaluated at compile time, they go byte by byte. They take raw
// pointers: the caller has already checked that the bytes exist (the cursor, the chain
// reader and the writers do).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tallowmere::common {

static_assert(std::endian::native == std::endian::little ||
              std::endian::native == std::endian::big);

namespace detail {
template <class T>
using UnsignedOfSize =
    std::conditional_t<sizeof(T) == 1, uint8_t,
                       std::conditional_t<sizeof(T) == 2, uint16_t,
                                          std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
}  // namespace detail

// The value of type T (an integer, float or double) stored little-endian at `p`.
template <class T>
[[nodiscard]] constexpr T load_le(const uint8_t* p) {
  static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
  using U = detail::UnsignedOfSize<T>;
  U raw = 0;
  if (std::is_constant_evaluated()) {
    for (size_t i = 0; i < sizeof(T); ++i) raw |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
  } else {
    std::memcpy(&raw, p, sizeof(U));
    if constexpr (std::endian::native == std::endian::big) raw = std::byteswap(raw);
  }
  return std::bit_cast<T>(raw);
}

// Stores `value` little-endian at `p` (sizeof(T) bytes).
template <class T>
constexpr void store_le(uint8_t* p, T value) {
  static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
  using U = detail::UnsignedOfSize<T>;
  U raw = std::bit_cast<U>(value);
  if (std::is_constant_evaluated()) {
    for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(raw >> (8 * i));
  } else {
    if constexpr (std::endian::native == std::endian::big) raw = std::byteswap(raw);
    std::memcpy(p, &raw, sizeof(U));
  }
}

[[nodiscard]] constexpr uint16_t load_u16le(const uint8_t* p) {
  return load_le<uint16_t>(p);
}
[[nodiscard]] constexpr uint32_t load_u32le(const uint8_t* p) {
  return load_le<uint32_t>(p);
}
[[nodiscard]] constexpr uint64_t load_u64le(const uint8_t* p) {
  return load_le<uint64_t>(p);
}
constexpr void store_u16le(uint8_t* p, uint16_t v) {
  store_le(p, v);
}
constexpr void store_u32le(uint8_t* p, uint32_t v) {
  store_le(p, v);
}
constexpr void store_u64le(uint8_t* p, uint64_t v) {
  store_le(p, v);
}

}  // namespace tallowmere::common

// A byte buffer for payloads: a vector whose growth leaves the new bytes uninitialised.
//
// A payload buffer is resized to the payload's size and then filled, by the block chain
// reader or the decompressor; zeroing the bytes first would only be overwritten. With
// std::allocator a vector value-initialises every element it grows by; this allocator
// default-initialises them instead, which for bytes does nothing. Everything else is a
// plain std::vector.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace tallowmere::dat {

template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };

  DefaultInitAllocator() noexcept = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>& /*other*/) noexcept {}

  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

using PayloadBuffer = std::vector<uint8_t, DefaultInitAllocator<uint8_t>>;

}  // namespace tallowmere::dat

// Expected<T, E>: a value or an error, the return type of every fallible operation.
//
// With a standard library that ships std::expected this is exactly std::expected. The
// fuzz build uses clang 14, whose front end cannot compile libstdc++'s <expected>; for
// it a small stand-in with the same spelling is provided. Code in this project uses
// only the common subset: construction from a value or from make_unexpected(e),
// has_value(), operator bool, operator*, operator->, value() and error().
#pragma once

#include <version>

#if defined(__cpp_lib_expected)
#include <expected>

namespace tallowmere {
template <class T, class E>
using Expected = std::expected<T, E>;
template <class E>
using Unexpected = std::unexpected<E>;
}  // namespace tallowmere

#else
#include <cstdlib>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace tallowmere {

template <class E>
class Unexpected {
 public:
  explicit Unexpected(E error) : error_(std::move(error)) {}
  E& error() & { return error_; }
  const E& error() const& { return error_; }
  E&& error() && { return std::move(error_); }

 private:
  E error_;
};

template <class T, class E>
class [[nodiscard]] Expected {
 public:
  Expected()
    requires std::is_default_constructible_v<T>
      : storage_(std::in_place_index<0>) {}
  template <class U = T>
    requires(std::is_constructible_v<T, U &&> &&
             !std::is_same_v<std::remove_cvref_t<U>, Expected> &&
             !std::is_same_v<std::remove_cvref_t<U>, Unexpected<E>>)
  Expected(U&& value) : storage_(std::in_place_index<0>, std::forward<U>(value)) {}
  template <class G>
  Expected(Unexpected<G> error) : storage_(std::in_place_index<1>, std::move(error).error()) {}

  bool has_value() const { return storage_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { return check(), std::get<0>(storage_); }
  const T& value() const& { return check(), std::get<0>(storage_); }
  T&& value() && { return check(), std::get<0>(std::move(storage_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  E& error() & { return std::get<1>(storage_); }
  const E& error() const& { return std::get<1>(storage_); }
  E&& error() && { return std::get<1>(std::move(storage_)); }

 private:
  void check() const {
    if (!has_value()) std::abort();
  }
  std::variant<T, E> storage_;
};

template <class E>
class [[nodiscard]] Expected<void, E> {
 public:
  Expected() = default;
  template <class G>
  Expected(Unexpected<G> error) : error_(std::move(error).error()) {}

  bool has_value() const { return !error_.has_value(); }
  explicit operator bool() const { return has_value(); }
  void value() const {
    if (!has_value()) std::abort();
  }
  E& error() & { return *error_; }
  const E& error() const& { return *error_; }
  E&& error() && { return std::move(*error_); }

 private:
  std::optional<E> error_;
};

}  // namespace tallowmere
#endif

namespace tallowmere {
// The error side of an Expected: `return make_unexpected(error);`
template <class E>
Unexpected<std::remove_cvref_t<E>> make_unexpected(E&& error) {
  return Unexpected<std::remove_cvref_t<E>>(std::forward<E>(error));
}
}  // namespace tallowmere

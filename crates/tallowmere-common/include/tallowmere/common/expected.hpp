// Expected<T, E>: a value or an error, the return type of every fallible operation.
// It is std::expected under the project's own name.
#pragma once

#include <expected>
#include <type_traits>
#include <utility>

namespace tallowmere {

template <class T, class E>
using Expected = std::expected<T, E>;

// The error side of an Expected: `return make_unexpected(error);`
template <class E>
std::unexpected<std::remove_cvref_t<E>> make_unexpected(E&& error) {
  return std::unexpected<std::remove_cvref_t<E>>(std::forward<E>(error));
}

}  // namespace tallowmere

// DatError: the error of every archive operation (opening, directory loading, fetching).
//
// Twelve variants, each with one fixed message. The archive layer raises only Io,
// BinRead, NotFound and PathError; the others belong to the type and its messages.
// Io and PathError expose their I/O error as cause, BinRead its parse error; no other
// variant has a cause.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "tallowmere/common/io_error.hpp"
#include "tallowmere/common/parse_error.hpp"

namespace tallowmere::dat {

struct DatError {
  struct Io {
    common::IoError error;
  };
  struct BinRead {
    common::ParseError error;
  };
  struct NotFound {
    uint32_t id;
  };
  struct DuplicateId {
    uint32_t id;
  };
  struct DuplicateNamespacedId {
    std::string namespace_name;
    uint32_t file_id;
  };
  struct InvalidMagic {
    std::string text;
  };
  struct UnsupportedVersion {
    uint32_t version;
  };
  struct InvalidNamespace {
    std::string text;
  };
  struct Corruption {
    std::string text;
  };
  struct DecompressionFailed {
    uint32_t id;
  };
  struct PathError {
    std::string path;
    common::IoError source;
  };
  struct Other {
    std::string text;
  };

  using Variant = std::variant<Io, BinRead, NotFound, DuplicateId, DuplicateNamespacedId,
                               InvalidMagic, UnsupportedVersion, InvalidNamespace, Corruption,
                               DecompressionFailed, PathError, Other>;

  DatError(common::IoError error) : value(Io{std::move(error)}) {}
  DatError(common::ParseError error) : value(BinRead{std::move(error)}) {}
  template <class V>
  requires std::is_constructible_v<Variant, V&&> DatError(V&& variant)
      : value(std::forward<V>(variant)) {}

  // The printed message, for example "File ID 13000000 not found in provider".
  std::string text() const;
  // The text of the inner cause, when this variant has one.
  std::optional<std::string> cause_text() const;

  Variant value;
};

}  // namespace tallowmere::dat

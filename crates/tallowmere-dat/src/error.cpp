#include "tallowmere/dat/error.hpp"

#include "tallowmere/common/text.hpp"

namespace tallowmere::dat {

using common::hex_upper;

namespace {
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;
}  // namespace

std::string DatError::text() const {
  return std::visit(Overloaded{
                        [](const Io& e) { return "IO error: " + e.error.text(); },
                        [](const BinRead& e) { return "Binary read error: " + e.error.text(); },
                        [](const NotFound& e) {
                          return "File ID " + hex_upper(e.id, 8) + " not found in provider";
                        },
                        [](const DuplicateId& e) {
                          return "Duplicate File ID " + hex_upper(e.id, 8) + " detected";
                        },
                        [](const DuplicateNamespacedId& e) {
                          return "Duplicate namespaced file " + e.namespace_name + ":" +
                                 hex_upper(e.file_id, 8) + " detected";
                        },
                        [](const InvalidMagic& e) { return "Invalid magic for format: " + e.text; },
                        [](const UnsupportedVersion& e) {
                          return "Unsupported version: " + std::to_string(e.version);
                        },
                        [](const InvalidNamespace& e) { return "Invalid namespace: " + e.text; },
                        [](const Corruption& e) { return "Corruption detected: " + e.text; },
                        [](const DecompressionFailed& e) {
                          return "Failed to recover compressed file " + hex_upper(e.id, 8);
                        },
                        [](const PathError& e) {
                          return "Failed to open file at " + common::display_lossy(e.path) + ": " +
                                 e.source.text();
                        },
                        [](const Other& e) { return "Other error: " + e.text; },
                    },
                    value);
}

std::optional<std::string> DatError::cause_text() const {
  if (const auto* io = std::get_if<Io>(&value)) return io->error.text();
  if (const auto* bin = std::get_if<BinRead>(&value)) return bin->error.text();
  if (const auto* path = std::get_if<PathError>(&value)) return path->source.text();
  return std::nullopt;
}

}  // namespace tallowmere::dat

// Record: reads a declarative record, one field at a time.
//
// A declarative record reads its fields in a fixed order. When a field fails, the
// error gains the frame "While parsing field '<field>' in <record>" located at the
// line that declares the field, the cursor moves back to the record's first byte, and
// no later field is read. Readers are written as a list of their fields:
//
//   Record rec(cursor, "Vector3");
//   rec.field("x", TALLOWMERE_HERE, v.x, read_f32);
//   rec.field("y", TALLOWMERE_HERE, v.y, read_f32);
//   rec.field("z", TALLOWMERE_HERE, v.z, read_f32);
//   return rec.finish(v);
#pragma once

#include <optional>
#include <utility>

#include "tallowmere/common/cursor.hpp"

namespace tallowmere::common {

class Record {
 public:
  Record(Cursor& cursor, const char* name)
      : cursor_(cursor), start_(cursor.position()), name_(name) {}

  // Reads `out` with `read(cursor)`, a callable returning ParseResult<T>. Does nothing
  // once a field has failed. Returns whether the record is still intact.
  template <class T, class Read>
  bool field(const char* field_name, SourceLocation location, T& out, Read&& read) {
    if (error_) return false;
    auto value = read(cursor_);
    if (!value) {
      fail(std::move(value).error(), field_name, location);
      return false;
    }
    out = std::move(*value);
    return true;
  }

  // Runs `step(cursor)`, a callable returning ParseResult<void>, as the reading of a
  // field that is not assigned as a whole (a counted list filled element by element).
  template <class Step>
  bool step(const char* field_name, SourceLocation location, Step&& step) {
    if (error_) return false;
    auto done = step(cursor_);
    if (!done) {
      fail(std::move(done).error(), field_name, location);
      return false;
    }
    return true;
  }

  bool ok() const { return !error_.has_value(); }

  // The record, or the error of its first failing field.
  template <class T>
  [[nodiscard]] ParseResult<std::remove_cvref_t<T>> finish(T&& value) {
    if (error_) return make_unexpected(std::move(*error_));
    return std::forward<T>(value);
  }

 private:
  void fail(ParseError error, const char* field_name, SourceLocation location) {
    error.add_frame(LocatedFrame{field_context(field_name, name_), location});
    // A memory cursor can always be moved back; the failed-rewind rule
    // (ParseError::after_failed_rewind) applies to sources that can refuse a seek.
    cursor_.set_position(start_);
    error_ = std::move(error);
  }

  Cursor& cursor_;
  uint64_t start_;
  const char* name_;
  std::optional<ParseError> error_;
};

}  // namespace tallowmere::common

// ParseError: the error of every record parser.
//
// A parse error is a root error (an I/O error such as end of data, or a failed check
// with the read position where it failed) plus a list of context frames, innermost
// first. An error with frames is a "backtrace" and prints as a framed block; an error
// without frames prints as its root's text. Declarative records add one located frame
// per nesting level ("While parsing field 'magic' in DatHeader" at a source location).
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "tallowmere/common/io_error.hpp"

namespace tallowmere::common {

// A check on the data failed at `position` (an offset in the payload).
struct FailedCheck {
  std::string message;
  uint64_t position = 0;
  bool operator==(const FailedCheck&) const = default;
};

// The error under all frames; never itself framed.
using ParseErrorRoot = std::variant<IoError, FailedCheck>;

// A place in this project's sources, relative to the repository root.
struct SourceLocation {
  const char* file = "";
  uint32_t line = 0;

  // As a default argument: the location of the call. The build maps source paths to
  // paths relative to the repository root.
  static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                          uint32_t line = __builtin_LINE()) {
    return {file, line};
  }
};

// A frame added by a declarative record: what was being parsed, and where it is declared.
struct LocatedFrame {
  std::string message;
  SourceLocation location;
};
// A frame that is only a message.
struct MessageFrame {
  std::string message;
};
// A frame that holds an error (the failed-rewind rule keeps the original error here).
struct ErrorFrame {
  ParseErrorRoot error;
};
using BacktraceFrame = std::variant<LocatedFrame, MessageFrame, ErrorFrame>;

class ParseError {
 public:
  ParseError(IoError error) : root_(std::move(error)) {}
  ParseError(FailedCheck check) : root_(std::move(check)) {}

  const ParseErrorRoot& root() const { return root_; }
  const std::vector<BacktraceFrame>& frames() const { return frames_; }
  bool is_backtrace() const { return !frames_.empty(); }
  // The root as an I/O error, or null when the root is a failed check.
  const IoError* io() const { return std::get_if<IoError>(&root_); }

  // The printed form: the root's text, or for a backtrace the framed block.
  std::string text() const;

  // Appends `frame` as the new outermost frame.
  void add_frame(BacktraceFrame frame) { frames_.push_back(std::move(frame)); }

  // The error that results when moving the read position back after `cause` failed
  // as well: its root is the rewind's error, its frames are "rewinding after a
  // failure", then `cause` without its frames, then the frames of `cause`.
  static ParseError after_failed_rewind(ParseError cause, IoError rewind_error);

 private:
  ParseErrorRoot root_;
  std::vector<BacktraceFrame> frames_;
};

// `error` with `frame` added as its outermost frame.
ParseError with_context(ParseError error, BacktraceFrame frame);

// "While parsing field '<field>' in <record>".
std::string field_context(const char* field, const char* record);

// Text of a root error: an I/O error's message, or a failed check's message followed
// by " at 0x" and the position in lower-case hexadecimal.
std::string root_text(const ParseErrorRoot& root);

}  // namespace tallowmere::common

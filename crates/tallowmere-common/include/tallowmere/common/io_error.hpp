// IoError: an error of the operating system or of a byte source, carried as a value.
//
// The message is what an error report prints. Errors that this project raises itself
// (end of data, an overflowing seek) have fixed messages; errors of the operating
// system carry the system's text and the errno value.
#pragma once

#include <string>

namespace tallowmere::common {

enum class IoErrorKind {
  UnexpectedEof,  // a read found fewer bytes than it needed
  InvalidInput,   // a seek to a negative or overflowing position
  NotFound,
  PermissionDenied,
  Interrupted,
  Other,
};

struct IoError {
  IoErrorKind kind = IoErrorKind::Other;
  std::string message;
  int os_error = 0;  // errno for errors of the operating system, else 0

  // "failed to fill whole buffer": a fixed-width read, or a positioned file read, came up short.
  static IoError fill_buffer();
  // "not enough bytes in reader": a counted byte list read in bulk came up short.
  static IoError not_enough_bytes();
  // "invalid seek to a negative or overflowing position".
  static IoError invalid_seek();
  // "Not a regular file (" + `what` + ")": a FIFO, socket or device given as a file.
  static IoError not_regular_file(const std::string& what);
  // The operating system's error `errno_value`, with its text and number.
  static IoError from_errno(int errno_value);

  const std::string& text() const { return message; }
  bool operator==(const IoError&) const = default;
};

}  // namespace tallowmere::common

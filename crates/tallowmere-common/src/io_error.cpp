#include "tallowmere/common/io_error.hpp"

#include <cerrno>
#include <cstring>

namespace tallowmere::common {

IoError IoError::fill_buffer() {
  return {IoErrorKind::UnexpectedEof, "failed to fill whole buffer", 0};
}

IoError IoError::not_enough_bytes() {
  return {IoErrorKind::UnexpectedEof, "not enough bytes in reader", 0};
}

IoError IoError::invalid_seek() {
  return {IoErrorKind::InvalidInput, "invalid seek to a negative or overflowing position", 0};
}

IoError IoError::not_regular_file(const std::string& what) {
  return {IoErrorKind::InvalidInput, "Not a regular file (" + what + ")", 0};
}

IoError IoError::from_errno(int errno_value) {
  IoErrorKind kind = IoErrorKind::Other;
  switch (errno_value) {
    case ENOENT:
      kind = IoErrorKind::NotFound;
      break;
    case EACCES:
    case EPERM:
      kind = IoErrorKind::PermissionDenied;
      break;
    case EINTR:
      kind = IoErrorKind::Interrupted;
      break;
    default:
      break;
  }
  std::string text = std::strerror(errno_value);
  text += " (os error ";
  text += std::to_string(errno_value);
  text += ')';
  return {kind, std::move(text), errno_value};
}

}  // namespace tallowmere::common

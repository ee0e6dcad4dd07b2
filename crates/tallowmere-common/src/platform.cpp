#include "tallowmere/common/platform.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tallowmere::common {

Expected<File, IoError> File::open_read_only(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return make_unexpected(IoError::from_errno(errno));
  return File(fd);
}

File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

Expected<void, IoError> File::read_exact_at(uint64_t offset, std::span<uint8_t> first,
                                            std::span<uint8_t> second) const {
  iovec parts[2] = {{first.data(), first.size()}, {second.data(), second.size()}};
  int index = first.empty() ? 1 : 0;
  while (index < 2) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return make_unexpected(IoError::fill_buffer());
    ssize_t got = ::preadv(fd_, parts + index, 2 - index, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return make_unexpected(IoError::from_errno(errno));
    }
    if (got == 0) return make_unexpected(IoError::fill_buffer());
    offset += static_cast<uint64_t>(got);
    auto left = static_cast<size_t>(got);
    while (index < 2 && left >= parts[index].iov_len) {
      left -= parts[index].iov_len;
      ++index;
    }
    if (index < 2) {
      parts[index].iov_base = static_cast<uint8_t*>(parts[index].iov_base) + left;
      parts[index].iov_len -= left;
      if (parts[index].iov_len == 0) ++index;
    }
  }
  return {};
}

Expected<size_t, IoError> File::read_at_most(uint64_t offset, std::span<uint8_t> buffer) const {
  size_t filled = 0;
  while (filled < buffer.size()) {
    if (offset + filled > static_cast<uint64_t>(INT64_MAX)) break;
    ssize_t got = ::pread(fd_, buffer.data() + filled, buffer.size() - filled,
                          static_cast<off_t>(offset + filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      return make_unexpected(IoError::from_errno(errno));
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  return filled;
}

Expected<uint64_t, IoError> File::size() const {
  struct stat info;
  if (::fstat(fd_, &info) != 0) return make_unexpected(IoError::from_errno(errno));
  return static_cast<uint64_t>(info.st_size);
}

bool path_exists(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

Expected<void, IoError> create_dir_all(const std::string& path) {
  if (path.empty()) return make_unexpected(IoError::from_errno(ENOENT));
  if (::mkdir(path.c_str(), 0777) == 0) return {};
  int error = errno;
  struct stat info;
  if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return {};
  if (error != ENOENT) return make_unexpected(IoError::from_errno(error));

  // A parent is missing: create it, then this directory.
  auto last = path.find_last_not_of('/');
  auto slash = last == std::string::npos ? std::string::npos : path.rfind('/', last);
  if (slash == std::string::npos || slash == 0) return make_unexpected(IoError::from_errno(error));
  auto parent = create_dir_all(path.substr(0, slash));
  if (!parent) return parent;
  if (::mkdir(path.c_str(), 0777) == 0) return {};
  error = errno;
  if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return {};
  return make_unexpected(IoError::from_errno(error));
}

Expected<void, IoError> write_file(const std::string& path, std::span<const uint8_t> bytes) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return make_unexpected(IoError::from_errno(errno));
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (put < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      return make_unexpected(IoError::from_errno(error));
    }
    written += static_cast<size_t>(put);
  }
  if (::close(fd) != 0) return make_unexpected(IoError::from_errno(errno));
  return {};
}

std::optional<std::string> read_env(const char* name) {
  const char* raw = std::getenv(name);
  if (raw == nullptr) return std::nullopt;
  return std::string(raw);
}

}  // namespace tallowmere::common

// The few services this project needs from the operating system, behind one small
// interface so that libraries, tools and tests never issue raw system calls.
//
// Paths are raw operating-system strings (bytes, no encoding check).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/io_error.hpp"

namespace tallowmere::common {

// A file opened read-only. Reads are positioned: they never move a file position, so
// a const File may serve any number of readers. Closed when destroyed. Movable only.
class File {
 public:
  [[nodiscard]] static Expected<File, IoError> open_read_only(const std::string& path);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Fills `first` and then `second` from the bytes at absolute `offset`, with as few
  // system calls as the kernel allows. A read interrupted by a signal is retried; end
  // of file before both are full fails with "failed to fill whole buffer".
  [[nodiscard]] Expected<void, IoError> read_exact_at(uint64_t offset, std::span<uint8_t> first,
                                                      std::span<uint8_t> second = {}) const;

  // Reads up to `buffer.size()` bytes at `offset`, stopping early only at end of file.
  // Returns the number of bytes read.
  [[nodiscard]] Expected<size_t, IoError> read_at_most(uint64_t offset,
                                                       std::span<uint8_t> buffer) const;

  // The file's length in bytes.
  [[nodiscard]] Expected<uint64_t, IoError> size() const;

 private:
  explicit File(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Whether the metadata of `path` can be read (symbolic links followed). Any failure,
// an empty path included, counts as absent.
bool path_exists(const std::string& path);

// Creates `path` and every missing parent; an existing directory is not an error.
[[nodiscard]] Expected<void, IoError> create_dir_all(const std::string& path);

// Writes `bytes` as the whole content of `path`, creating or truncating the file.
[[nodiscard]] Expected<void, IoError> write_file(const std::string& path,
                                                 std::span<const uint8_t> bytes);

// The value of environment variable `name` as raw bytes, or nothing when it is not set.
[[nodiscard]] std::optional<std::string> read_env(const char* name);

}  // namespace tallowmere::common

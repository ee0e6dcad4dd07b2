// Random-access sources of archive bytes: a file, bytes in memory, and a source that
// injects faults for tests.
//
// A source answers one positioned read at a time and may deliver fewer bytes than
// asked (a short read) or fail with an interrupted read; `read_exact_at` and
// `read_at_most` turn such single attempts into exact reads, retrying interrupted ones
// and going on after short ones. An archive is read only through them.
//
// Reads may come from several threads at once (opening an archive walks the halves of
// its directory side by side, and a caller may fetch files from many threads), so a
// source must answer concurrent calls of read_some_at.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tallowmere/common/expected.hpp"
#include "tallowmere/common/io_error.hpp"
#include "tallowmere/common/platform.hpp"

namespace tallowmere::dat {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // One attempt to fill `first` and then `second` with the bytes at `offset`. Returns
  // how many bytes it delivered: 0 at or past the end of the data, possibly fewer than
  // asked before it. An error of kind `Interrupted` means: try again.
  [[nodiscard]] virtual tallowmere::Expected<size_t, common::IoError> read_some_at(
      uint64_t offset, std::span<uint8_t> first, std::span<uint8_t> second) const = 0;

  // The length of the data in bytes.
  [[nodiscard]] virtual tallowmere::Expected<uint64_t, common::IoError> size() const = 0;
};

// Fills `first` and then `second` from the bytes at `offset`, or fails: with "failed
// to fill whole buffer" when the data ends first, with the source's error otherwise.
[[nodiscard]] tallowmere::Expected<void, common::IoError> read_exact_at(
    const ByteSource& source, uint64_t offset, std::span<uint8_t> first,
    std::span<uint8_t> second = {});

// Reads up to `buffer.size()` bytes at `offset`, stopping early only at the end of the
// data; returns the number read.
[[nodiscard]] tallowmere::Expected<size_t, common::IoError> read_at_most(const ByteSource& source,
                                                                         uint64_t offset,
                                                                         std::span<uint8_t> buffer);

// A file read with positioned reads (which never move a file position, so one source
// serves any number of readers).
class FileSource final : public ByteSource {
 public:
  explicit FileSource(common::File file) : file_(std::move(file)) {}
  // Opens `path` read-only (see common::File::open_read_only).
  [[nodiscard]] static tallowmere::Expected<std::unique_ptr<FileSource>, common::IoError> open(
      const std::string& path);

  tallowmere::Expected<size_t, common::IoError> read_some_at(
      uint64_t offset, std::span<uint8_t> first, std::span<uint8_t> second) const override;
  tallowmere::Expected<uint64_t, common::IoError> size() const override { return file_.size(); }

 private:
  common::File file_;
};

// Bytes in memory: owned (a copy or a moved vector), or borrowed from the caller, who
// keeps them alive for as long as the source is used.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : owned_(std::move(bytes)), view_(owned_) {}
  static std::unique_ptr<MemorySource> borrow(std::span<const uint8_t> bytes) {
    return std::unique_ptr<MemorySource>(new MemorySource(bytes));
  }

  tallowmere::Expected<size_t, common::IoError> read_some_at(
      uint64_t offset, std::span<uint8_t> first, std::span<uint8_t> second) const override;
  tallowmere::Expected<uint64_t, common::IoError> size() const override { return view_.size(); }

 private:
  explicit MemorySource(std::span<const uint8_t> bytes) : view_(bytes) {}
  std::vector<uint8_t> owned_;
  std::span<const uint8_t> view_;
};

// Wraps another source and disturbs chosen reads, counted from 0 over the calls of
// read_some_at: an interruption (the read fails with `Interrupted` and delivers
// nothing), a short read (at most `short_bytes` of it are delivered), or an error
// (`error` is returned). Reads from several threads at once are counted as they
// arrive: which read gets which number is then up to the scheduler.
class FaultySource final : public ByteSource {
 public:
  enum class Fault { Interrupt, Short, Error };
  struct Plan {
    uint64_t read_index = 0;
    Fault fault = Fault::Error;
    size_t short_bytes = 1;
    common::IoError error = common::IoError::from_errno(5);  // EIO
  };

  FaultySource(std::unique_ptr<ByteSource> inner, std::vector<Plan> plans)
      : inner_(std::move(inner)), plans_(std::move(plans)) {}

  tallowmere::Expected<size_t, common::IoError> read_some_at(
      uint64_t offset, std::span<uint8_t> first, std::span<uint8_t> second) const override;
  tallowmere::Expected<uint64_t, common::IoError> size() const override { return inner_->size(); }

  // Calls of read_some_at so far.
  uint64_t reads() const { return reads_.load(); }

 private:
  std::unique_ptr<ByteSource> inner_;
  std::vector<Plan> plans_;
  mutable std::atomic<uint64_t> reads_ = 0;
};

}  // namespace tallowmere::dat

#include "tallowmere/dat/source.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tallowmere::dat {

using common::IoError;
using common::IoErrorKind;

tallowmere::Expected<void, IoError> read_exact_at(const ByteSource& source, uint64_t offset,
                                                  std::span<uint8_t> first,
                                                  std::span<uint8_t> second) {
  while (!first.empty() || !second.empty()) {
    auto got = source.read_some_at(offset, first, second);
    if (!got) {
      if (got.error().kind == IoErrorKind::Interrupted) continue;
      return make_unexpected(std::move(got).error());
    }
    if (*got == 0) return make_unexpected(IoError::fill_buffer());
    offset += *got;
    size_t left = *got;
    const size_t from_first = std::min(left, first.size());
    first = first.subspan(from_first);
    left -= from_first;
    second = second.subspan(std::min(left, second.size()));
  }
  return {};
}

tallowmere::Expected<size_t, IoError> read_at_most(const ByteSource& source, uint64_t offset,
                                                   std::span<uint8_t> buffer) {
  size_t filled = 0;
  while (filled < buffer.size()) {
    auto got = source.read_some_at(offset + filled, buffer.subspan(filled), {});
    if (!got) {
      if (got.error().kind == IoErrorKind::Interrupted) continue;
      return make_unexpected(std::move(got).error());
    }
    if (*got == 0) break;
    filled += *got;
  }
  return filled;
}

tallowmere::Expected<std::unique_ptr<FileSource>, IoError> FileSource::open(
    const std::string& path) {
  auto file_or = common::File::open_read_only(path);
  if (!file_or) return make_unexpected(std::move(file_or).error());
  return std::make_unique<FileSource>(std::move(*file_or));
}

tallowmere::Expected<size_t, IoError> FileSource::read_some_at(uint64_t offset,
                                                               std::span<uint8_t> first,
                                                               std::span<uint8_t> second) const {
  return file_.read_some_at(offset, first, second);
}

tallowmere::Expected<size_t, IoError> MemorySource::read_some_at(uint64_t offset,
                                                                 std::span<uint8_t> first,
                                                                 std::span<uint8_t> second) const {
  size_t delivered = 0;
  for (std::span<uint8_t> part : {first, second}) {
    const uint64_t at = offset + delivered;
    if (at >= view_.size()) break;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(part.size(), view_.size() - at));
    if (n != 0) std::memcpy(part.data(), view_.data() + at, n);
    delivered += n;
    if (n < part.size()) break;
  }
  return delivered;
}

tallowmere::Expected<size_t, IoError> FaultySource::read_some_at(uint64_t offset,
                                                                 std::span<uint8_t> first,
                                                                 std::span<uint8_t> second) const {
  const uint64_t index = reads_++;
  for (const Plan& plan : plans_) {
    if (plan.read_index != index) continue;
    switch (plan.fault) {
      case Fault::Interrupt:
        return make_unexpected(IoError::from_errno(EINTR));
      case Fault::Error:
        return make_unexpected(plan.error);
      case Fault::Short: {
        const size_t keep_first = std::min(plan.short_bytes, first.size());
        const size_t keep_second = std::min(plan.short_bytes - keep_first, second.size());
        return inner_->read_some_at(offset, first.first(keep_first), second.first(keep_second));
      }
    }
  }
  return inner_->read_some_at(offset, first, second);
}

}  // namespace tallowmere::dat

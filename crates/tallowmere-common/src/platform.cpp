#include "tallowmere/common/platform.hpp"

#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "tallowmere/common/splitmix.hpp"

namespace tallowmere::common {

namespace {

// What a path names when it is neither a regular file nor a directory, or null. Such
// files cannot serve positioned reads of a fixed archive: a FIFO or a terminal would
// block or fail, a device would be read as endless bytes.
const char* special_file_kind(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return nullptr;
}

}  // namespace

Expected<File, IoError> File::open_read_only(const std::string& path) {
  // Special files are refused before they are opened (opening a FIFO waits for a
  // writer, opening a device may act on it), and again after, should the path have
  // been replaced in between. Their reads then fail at once, the way a directory's do.
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) {
    if (const char* kind = special_file_kind(info.st_mode)) return File(-1, kind);
  }
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return make_unexpected(IoError::from_errno(errno));
  if (::fstat(fd, &info) == 0) {
    if (const char* kind = special_file_kind(info.st_mode)) {
      ::close(fd);
      return File(-1, kind);
    }
  }
  return File(fd);
}

File::File(File&& other) noexcept : fd_(other.fd_), special_(other.special_) {
  other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    special_ = other.special_;
    other.fd_ = -1;
  }
  return *this;
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

Expected<size_t, IoError> File::read_some_at(uint64_t offset, std::span<uint8_t> first,
                                             std::span<uint8_t> second) const {
  if (special_) return make_unexpected(IoError::not_regular_file(special_));
  // Offsets beyond what off_t can name lie past the end of any file.
  if (offset > static_cast<uint64_t>(INT64_MAX)) return size_t{0};
  ssize_t got;
  if (first.empty() || second.empty()) {
    // One buffer: the plain positioned read.
    const std::span<uint8_t> only = first.empty() ? second : first;
    got = ::pread(fd_, only.data(), only.size(), static_cast<off_t>(offset));
  } else {
    iovec parts[2] = {{first.data(), first.size()}, {second.data(), second.size()}};
    got = ::preadv(fd_, parts, 2, static_cast<off_t>(offset));
  }
  if (got < 0) return make_unexpected(IoError::from_errno(errno));
  return static_cast<size_t>(got);
}

Expected<uint64_t, IoError> File::size() const {
  if (special_) return make_unexpected(IoError::not_regular_file(special_));
  struct stat info;
  if (::fstat(fd_, &info) != 0) return make_unexpected(IoError::from_errno(errno));
  return static_cast<uint64_t>(info.st_size);
}

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  return *this;
}

PageBuffer::~PageBuffer() {
  if (data_ != nullptr) ::munmap(data_, size_);
}

namespace {

// From this length on, a page buffer asks for large pages: a smaller block would spend
// more clearing a large page than it saves in faults.
constexpr size_t kLargePagesFrom = size_t{4} << 20;
// The large page of x86-64 (and of most arm64 systems); aligning to it elsewhere costs
// nothing.
constexpr size_t kLargePage = size_t{2} << 20;

}  // namespace

bool PageBuffer::reserve(size_t bytes) {
  if (data_ != nullptr || bytes < kLargePagesFrom || bytes > SIZE_MAX / 2) return false;
  const size_t length = (bytes + kLargePage - 1) / kLargePage * kLargePage;
  // Mapped one large page longer, then trimmed at both ends to start on a boundary.
  void* mapped = ::mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return false;
  const auto start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = (start + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t end = aligned + length;
  if (aligned > start) ::munmap(mapped, aligned - start);
  ::munmap(reinterpret_cast<void*>(end), start + length + kLargePage - end);  // never empty
#ifdef MADV_HUGEPAGE
  ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
#endif
  data_ = reinterpret_cast<uint8_t*>(aligned);
  size_ = length;
  return true;
}

bool PageBuffer::resize(size_t bytes) {
  static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  if (bytes > SIZE_MAX - page) return false;
  const size_t length = (bytes + page - 1) / page * page;
  if (length == size_) return true;
  if (length == 0) {
    ::munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
    return true;
  }
  void* block = data_ == nullptr ? ::mmap(nullptr, length, PROT_READ | PROT_WRITE,
                                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                                 : ::mremap(data_, size_, length, MREMAP_MAYMOVE);
  if (block == MAP_FAILED) return false;
#ifdef MADV_HUGEPAGE
  // A hint: where large pages are off or used up, the block simply keeps small ones.
  if (length >= kLargePagesFrom) ::madvise(block, length, MADV_HUGEPAGE);
#endif
  data_ = static_cast<uint8_t*>(block);
  size_ = length;
  return true;
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

namespace {

// Writes all of `bytes` to `fd`, retrying interrupted and partial writes.
Expected<void, IoError> write_all(int fd, std::span<const uint8_t> bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (put < 0) {
      if (errno == EINTR) continue;
      return make_unexpected(IoError::from_errno(errno));
    }
    written += static_cast<size_t>(put);
  }
  return {};
}

// A name for a temporary file beside `path`: hidden, and different for every call in
// every process (pid, a counter and the clock), so that concurrent writers rarely meet;
// the exclusive create settles the rest.
std::string temporary_name(const std::string& path, unsigned attempt) {
  static std::atomic<uint64_t> counter{0};
  const uint64_t mixed =
      mix64(static_cast<uint64_t>(::getpid()) << 32 ^ counter.fetch_add(1) ^
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            uint64_t{attempt} << 48);
  const size_t slash = path.rfind('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".tmp-%016llx", static_cast<unsigned long long>(mixed));
  return path.substr(0, base) + "." + path.substr(base) + suffix;
}

}  // namespace

Expected<PendingFile, IoError> PendingFile::create(const std::string& path) {
  // Created exclusively (O_EXCL with O_NOFOLLOW): never an existing file, never through
  // a link. A name that is taken is tried again with the next one.
  std::string temporary;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    temporary = temporary_name(path, attempt);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EINTR && (errno != EEXIST || attempt >= 100))
      return make_unexpected(IoError::from_errno(errno));
  }
  return PendingFile(fd, std::move(temporary), path);
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      stage_(std::exchange(other.stage_, Stage::Done)),
      temporary_(std::move(other.temporary_)),
      path_(std::move(other.path_)) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::exchange(other.fd_, -1);
    stage_ = std::exchange(other.stage_, Stage::Done);
    temporary_ = std::move(other.temporary_);
    path_ = std::move(other.path_);
  }
  return *this;
}

PendingFile::~PendingFile() {
  discard();
}

void PendingFile::discard() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  if (stage_ != Stage::Done) ::unlink(temporary_.c_str());
  stage_ = Stage::Done;
}

Expected<void, IoError> PendingFile::fill(std::span<const uint8_t> bytes) {
  if (stage_ != Stage::Open) return make_unexpected(IoError::from_errno(EBADF));
  auto written = write_all(fd_, bytes);
  if (::close(std::exchange(fd_, -1)) != 0 && written)
    written = make_unexpected(IoError::from_errno(errno));
  stage_ = Stage::Filled;
  if (!written) discard();
  return written;
}

Expected<void, IoError> PendingFile::place() {
  if (stage_ != Stage::Filled) return make_unexpected(IoError::from_errno(EBADF));
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    discard();
    return make_unexpected(IoError::from_errno(error));
  }
  stage_ = Stage::Done;
  return {};
}

Expected<void, IoError> PendingFile::commit(std::span<const uint8_t> bytes) {
  auto filled = fill(bytes);
  if (!filled) return filled;
  return place();
}

Expected<void, IoError> write_file(const std::string& path, std::span<const uint8_t> bytes) {
  auto file = PendingFile::create(path);
  if (!file) return make_unexpected(std::move(file).error());
  return file->commit(bytes);
}

Expected<void, IoError> create_private_dir(const std::string& path) {
  const size_t last = path.find_last_not_of('/');
  const size_t slash = last == std::string::npos ? std::string::npos : path.rfind('/', last);
  if (slash != std::string::npos && slash != 0) {
    auto parent = create_dir_all(path.substr(0, slash));
    if (!parent) return parent;
  }
  if (::mkdir(path.c_str(), 0700) == 0) return {};
  if (errno != EEXIST) return make_unexpected(IoError::from_errno(errno));

  // It exists: use it only if it is a real directory of ours, not a link or a folder
  // someone else made (in a shared temporary directory, either could steer our writes).
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return make_unexpected(IoError::from_errno(errno));
  auto refuse = [&](const std::string& why) {
    return make_unexpected(IoError{IoErrorKind::PermissionDenied,
                                   "refusing to use output directory " + path + ": " + why, 0});
  };
  if (S_ISLNK(info.st_mode)) return refuse("it is a symbolic link");
  if (!S_ISDIR(info.st_mode)) return refuse("it is not a directory");
  if (info.st_uid != ::geteuid())
    return refuse("it belongs to another user (uid " + std::to_string(info.st_uid) + ")");
  // Ours: make sure nobody else can add entries to it.
  if ((info.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
    return make_unexpected(IoError::from_errno(errno));
  return {};
}

std::optional<DirState> ensure_dir(const std::string& path, bool private_to_user) {
  if (path.empty()) return std::nullopt;
  if (::mkdir(path.c_str(), private_to_user ? 0700 : 0777) == 0) return DirState::Created;
  if (errno != EEXIST) return std::nullopt;
  struct stat info;
  if (private_to_user) {
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & 077) != 0)
      return std::nullopt;
  } else if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return std::nullopt;
  }
  return DirState::Existed;
}

bool remove_empty_dir(const std::string& path) {
  return ::rmdir(path.c_str()) == 0;
}

size_t open_file_limit() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > SIZE_MAX) return SIZE_MAX;
  return static_cast<size_t>(limit.rlim_cur);
}

void keep_freed_memory() {
#ifdef __GLIBC__
  // The largest values glibc accepts: below 32 MiB a block is never mapped on its own,
  // and the heap is trimmed only once 1 GiB lies free at its top.
  ::mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

std::optional<std::string> read_env(const char* name) {
  const char* raw = std::getenv(name);
  if (raw == nullptr) return std::nullopt;
  return std::string(raw);
}

std::optional<std::string> executable_dir() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return std::nullopt;
  path.resize(static_cast<size_t>(length));
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  path.resize(slash == 0 ? 1 : slash);
  return path;
}

}  // namespace tallowmere::common

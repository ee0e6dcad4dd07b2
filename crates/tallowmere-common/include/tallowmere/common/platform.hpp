// The few services this project needs from the operating system, behind one small
// interface so that libraries, tools and tests never issue raw system calls.
//
// Paths are raw operating-system strings (bytes, no encoding check).
#pragma once

#include <cstddef>
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
  // Opens `path` without ever blocking. A FIFO, socket or device is not opened: the
  // File is returned, and each of its reads fails at once with "Not a regular file
  // (a FIFO)" or the like, just as reads of a directory fail with the system's error.
  [[nodiscard]] static Expected<File, IoError> open_read_only(const std::string& path);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // One positioned read (pread; preadv when both buffers are nonempty) into `first` and
  // then `second` at absolute `offset`: the number of bytes read, 0 at the end of the
  // file, possibly fewer than asked. An interrupted read fails with kind `Interrupted`;
  // callers retry it.
  [[nodiscard]] Expected<size_t, IoError> read_some_at(uint64_t offset, std::span<uint8_t> first,
                                                       std::span<uint8_t> second = {}) const;

  // The file's length in bytes.
  [[nodiscard]] Expected<uint64_t, IoError> size() const;

 private:
  explicit File(int fd, const char* special = nullptr) : fd_(fd), special_(special) {}
  int fd_ = -1;
  const char* special_ = nullptr;  // what the path names when it is a special file
};

// Memory taken from the system in whole pages, for one large array that grows. Growing
// moves the pages, never their bytes; once the block is large it is backed by large
// pages where the system offers them, so that filling it costs a few page faults instead
// of one per 4 KiB page. Pages never written cost no memory; fresh pages read as zeros.
// Movable only.
class PageBuffer {
 public:
  PageBuffer() = default;
  PageBuffer(PageBuffer&& other) noexcept;
  PageBuffer& operator=(PageBuffer&& other) noexcept;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;
  ~PageBuffer();

  // Makes the block `bytes` long, rounded up to whole pages (0 gives everything back),
  // keeping the bytes both lengths share. False when the system refuses; the block is
  // then as it was.
  [[nodiscard]] bool resize(size_t bytes);

  // Maps room for `bytes` at once, starting on a large-page boundary and backed by large
  // pages from its first byte, for a block expected to grow towards that length: it then
  // grows in place (resize within the room remaps nothing) and fills with a few large
  // page faults. Room never written costs no memory. Only for an empty block, and only
  // from the length at which the block asks for large pages anyway; false, the block
  // unchanged, otherwise or when the system refuses.
  [[nodiscard]] bool reserve(size_t bytes);

  uint8_t* data() const { return data_; }
  // The block's length: whole pages.
  size_t size() const { return size_; }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Whether the metadata of `path` can be read (symbolic links followed). Any failure,
// an empty path included, counts as absent.
bool path_exists(const std::string& path);

// Creates `path` and every missing parent; an existing directory is not an error.
[[nodiscard]] Expected<void, IoError> create_dir_all(const std::string& path);

// A file on its way to replacing `path`: a new, exclusively created file in the same
// folder under a hidden temporary name, renamed over `path` once its content is
// complete. Creating a file is most of what writing a small one costs, so a writer that
// knows its files ahead can create them while it has nothing else to do and fill them
// later. Until it is committed, nobody sees anything of it under `path`; dropped
// uncommitted, it is removed. Movable only.
class PendingFile {
 public:
  // Creates the temporary file beside `path`; `path` itself is not looked at yet.
  [[nodiscard]] static Expected<PendingFile, IoError> create(const std::string& path);

  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&& other) noexcept;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();

  // The path the file replaces.
  const std::string& path() const { return path_; }

  // Writes `bytes` as the whole content and renames the file over `path`: a symbolic
  // link at `path` is replaced, never written through. On failure the temporary file is
  // removed and `path` is left as it was. Either way the file is done with.
  [[nodiscard]] Expected<void, IoError> commit(std::span<const uint8_t> bytes);

  // The same in two steps, for a writer that fills its files as their content comes and
  // puts them in place in an order of its own: writes `bytes` as the whole content...
  [[nodiscard]] Expected<void, IoError> fill(std::span<const uint8_t> bytes);
  // ...and renames the filled file over `path`. A failure of either removes the file.
  [[nodiscard]] Expected<void, IoError> place();

 private:
  PendingFile(int fd, std::string temporary, std::string path)
      : fd_(fd), temporary_(std::move(temporary)), path_(std::move(path)) {}
  void discard();

  enum class Stage { Open, Filled, Done };
  int fd_ = -1;  // open until filled
  Stage stage_ = Stage::Open;
  std::string temporary_;
  std::string path_;
};

// Writes `bytes` as the whole content of `path` through a PendingFile: readers never see
// half a file, a symbolic link at `path` is replaced, never written through, and on
// failure `path` is left as it was.
[[nodiscard]] Expected<void, IoError> write_file(const std::string& path,
                                                 std::span<const uint8_t> bytes);

// Creates `path` (its missing parents as usual) private to the user, mode 0700. An
// existing `path` is accepted only if it is a directory owned by the user (its mode is
// then narrowed to 0700); a symbolic link, anything else, or another user's directory
// fails with "refusing to use output directory <path>: <why>".
[[nodiscard]] Expected<void, IoError> create_private_dir(const std::string& path);

// Makes sure the directory `path` is there, for a caller that works ahead and may have
// to take back what it made; its parent must exist. `Created` when this call made it
// (mode 0777 less the umask, or 0700 when `private_to_user`), `Existed` when a directory
// was there already: with `private_to_user` only a real directory of the user's own
// that nobody else may change, otherwise symbolic links are followed. Nothing when
// neither: something else is there, or the system refused.
enum class DirState { Created, Existed };
[[nodiscard]] std::optional<DirState> ensure_dir(const std::string& path, bool private_to_user);

// Removes the directory `path` if it is empty; false when it is not removed.
bool remove_empty_dir(const std::string& path);

// The number of files this process may hold open at once (its soft limit).
[[nodiscard]] size_t open_file_limit();

// For a process that runs for a moment and ends: memory it frees is kept for reuse
// instead of being given back to the system, which would have to fault it in (and, with
// several threads, flush other cores' address translations) when it is taken again.
// Large blocks come from the same reused memory rather than from mappings of their own.
void keep_freed_memory();

// The value of environment variable `name` as raw bytes, or nothing when it is not set.
[[nodiscard]] std::optional<std::string> read_env(const char* name);

// The folder of the running program's own file (from /proc/self/exe), or nothing when it
// cannot be read. Installed tools find their data relative to it, so that an installed
// tree can be moved as a whole.
[[nodiscard]] std::optional<std::string> executable_dir();

}  // namespace tallowmere::common

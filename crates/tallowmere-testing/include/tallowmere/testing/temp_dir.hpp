// Temporary folders and whole-file helpers for tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <system_error>

namespace tallowmere::testing {

namespace fs = std::filesystem;

// A fresh, private directory under the system's temporary directory; the caller removes
// it. A failure to make one fails the current test and gives an empty path.
inline fs::path make_temp_dir() {
  std::string pattern = (fs::temp_directory_path() / "tallowmere-test-XXXXXX").string();
  const char* made = ::mkdtemp(pattern.data());
  EXPECT_NE(made, nullptr) << "cannot create a temporary directory";
  return made ? fs::path(made) : fs::path();
}

// A temporary directory removed with everything in it when destroyed.
class TempDir {
 public:
  TempDir() : path_(make_temp_dir()) {}
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  // The path of `name` inside the directory, as a string.
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// The whole content of `path` (empty when it cannot be read).
inline std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// File name -> content, for every entry of `dir` (none when `dir` does not exist).
inline std::map<std::string, std::string> directory_contents(const fs::path& dir) {
  std::map<std::string, std::string> files;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(dir, missing)) {
    files[entry.path().filename().string()] = read_all(entry.path());
  }
  return files;
}

// Writes `text` as the whole content of `path`, creating its parent directories.
inline void write_all(const fs::path& path, std::string_view text) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  EXPECT_TRUE(out.good()) << "cannot write " << path;
}

}  // namespace tallowmere::testing

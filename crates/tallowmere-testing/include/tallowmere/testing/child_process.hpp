// Runs a program as a child process in a controlled environment and captures its exit
// status, standard output and standard error byte for byte.
//
// The child sees only HOME, this process's sanitizer settings and the variables a test
// passes, so no TALLOWMERE_* variable of the caller's shell leaks into a run.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tallowmere/testing/temp_dir.hpp"

namespace tallowmere::testing {

using Env = std::vector<std::pair<std::string, std::string>>;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `argv` (argv[0] is the program's path) with HOME=`home`, the sanitizer settings of
// this process and `env`, standard input from /dev/null and the outputs captured through
// files in `scratch`. A non-empty `cwd` is the child's working directory.
inline ToolRun run_tool(const std::vector<std::string>& argv_strings, const Env& env,
                        const fs::path& home, const fs::path& scratch, const fs::path& cwd = {}) {
  Env full{{"HOME", home.string()}};
  for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(keep)) full.emplace_back(keep, value);
  }
  full.insert(full.end(), env.begin(), env.end());
  std::vector<std::string> env_strings;
  for (const auto& [name, value] : full) env_strings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::vector<std::string> args = argv_strings;
  std::vector<char*> argv;
  for (auto& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);

  const fs::path out_path = scratch / "stdout", err_path = scratch / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ToolRun result;
  EXPECT_EQ(spawned, 0) << "cannot start " << argv[0];
  if (spawned != 0) return result;
  int wait_status = 0;
  EXPECT_EQ(::waitpid(pid, &wait_status, 0), pid);
  EXPECT_TRUE(WIFEXITED(wait_status)) << "the tool did not exit normally";
  if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
  result.out = read_all(out_path);
  result.err = read_all(err_path);
  return result;
}

}  // namespace tallowmere::testing

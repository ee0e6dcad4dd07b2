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

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
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

// Starts `argv` (argv[0] is the program's path) with HOME=`home`, the sanitizer settings
// of this process and `env`, standard input from /dev/null and the outputs sent to files
// in `scratch`. A non-empty `cwd` is the child's working directory. Returns the child's
// pid, or -1 when it cannot be started.
inline pid_t start_tool(const std::vector<std::string>& argv_strings, const Env& env,
                        const fs::path& home, const fs::path& scratch, const fs::path& cwd = {}) {
  Env full{{"HOME", home.string()}};
  for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
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
  EXPECT_EQ(spawned, 0) << "cannot start " << argv[0];
  return spawned == 0 ? pid : -1;
}

// Waits for the child `pid` at most `limit`; kills it when the limit passes. Returns the
// raw wait status, or nothing when the child had to be killed.
inline std::optional<int> wait_tool(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int wait_status = 0;
    pid_t done = ::waitpid(pid, &wait_status, WNOHANG);
    if (done == pid) return wait_status;
    if (done < 0 || std::chrono::steady_clock::now() >= deadline) break;
    ::usleep(2000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return std::nullopt;
}

// Runs the tool as start_tool does and waits for it (at most `limit`, failing the test
// when it takes longer), capturing its exit status and both outputs.
inline ToolRun run_tool(const std::vector<std::string>& argv_strings, const Env& env,
                        const fs::path& home, const fs::path& scratch, const fs::path& cwd = {},
                        std::chrono::milliseconds limit = std::chrono::minutes(10)) {
  ToolRun result;
  const pid_t pid = start_tool(argv_strings, env, home, scratch, cwd);
  if (pid < 0) return result;
  const std::optional<int> wait_status = wait_tool(pid, limit);
  EXPECT_TRUE(wait_status) << "the tool did not finish within " << limit.count() << " ms";
  if (!wait_status) return result;
  EXPECT_TRUE(WIFEXITED(*wait_status)) << "the tool did not exit normally";
  if (WIFEXITED(*wait_status)) result.status = WEXITSTATUS(*wait_status);
  result.out = read_all(scratch / "stdout");
  result.err = read_all(scratch / "stderr");
  return result;
}

}  // namespace tallowmere::testing

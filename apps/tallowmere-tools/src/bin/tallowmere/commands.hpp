// The subcommands of `tallowmere`: each takes its parsed options and returns the exit
// status. Exit statuses: 0 fine, 1 a failure the command exists to find (a difference,
// a drift, a write that failed), 2 trouble before the work could be done (a usage error,
// an archive that cannot be opened, a folder that cannot be read).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitTrouble = 2;

struct BakeCommand {
  std::string portal;
  std::string cell;
  std::string landblocks = "ring";
  std::string out = ".";
  unsigned jobs = 0;  // 0: one per hardware thread
  bool slope = false;
  // Hand-out order ("request", "reversed" or "shuffled") and shuffle seed: set by `prove`
  // for the runs it starts in a child process.
  std::string order = "request";
  uint64_t shuffle_seed = 0;
};
int run_bake(const BakeCommand& command);

struct DigestCommand {
  std::string dir;
  std::optional<std::string> check;
};
int run_digest(const DigestCommand& command);

struct DiffCommand {
  std::string a;
  std::string b;
  bool json = false;
  size_t max = 10;
};
int run_diff(const DiffCommand& command);

struct ProveCommand {
  std::string portal;
  std::string cell;
  std::string landblocks = "ring";
  unsigned runs = 3;
  std::optional<std::string> golden;
  bool slope = false;
};
int run_prove(const ProveCommand& command);

// The inspection commands: 0 fine, 1 damage found or a record failed, 2 a usage error
// or an archive that cannot be opened.
struct InfoCommand {
  std::string archive;
  bool json = false;
};
int run_info(const InfoCommand& command);

struct LsCommand {
  std::string archive;
  std::optional<std::string> type;
  std::optional<std::string> ids;  // FROM..TO, both inclusive
  bool json = false;
};
int run_ls(const LsCommand& command);

struct CatCommand {
  std::string archive;
  std::string id;
  std::optional<std::string> out;
};
int run_cat(const CatCommand& command);

struct DumpCommand {
  std::string archive;
  std::string id;
  bool json = false;
};
int run_dump(const DumpCommand& command);

struct VerifyCommand {
  std::vector<std::string> archives;
  unsigned jobs = 1;
  bool json = false;
  bool read_only = false;  // read and expand every payload, check nothing (for timing)
};
int run_verify(const VerifyCommand& command);

struct RenderCommand {
  std::string portal;
  std::string cell;
  std::string landblocks;
  std::string out;
  unsigned px = 64;   // pixels per 24-unit cell
  unsigned jobs = 0;  // 0: one per hardware thread
  std::optional<std::string> compare;
};
int run_render(const RenderCommand& command);

}  // namespace tallowmere::tool

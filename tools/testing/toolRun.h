// Test support for the outside tools: temporary folders, running a built tool
// as a real process, and reading what it left behind.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/testMachine.h"

namespace pm::tooltest {

namespace fs = std::filesystem;
using pm::testing::readFile;
using pm::testing::shellQuote;

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& rel) const { return path_ / rel; }

 private:
  fs::path path_ = posix::makeTempFolder("pmtool");
};

inline void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  pm::testing::writeFile(p, bytes);
}

// Where the built executables are: $PM_BUILD_BIN.
inline fs::path buildBin() {
  const char* b = std::getenv("PM_BUILD_BIN");
  return b ? fs::path(b) : fs::path("bin");
}

struct ToolRun {
  int code = -1;  // exit code; 128 + signal number when killed by a signal
  std::string out, err;
};

// Runs `program` (a path, or a name looked up on PATH) with `args` in `cwd`,
// the environment extended by `env` (NAME=value entries), and collects its output.
inline ToolRun runTool(const fs::path& program, const std::vector<std::string>& args,
                       const fs::path& cwd, const std::vector<std::string>& env = {}) {
  TempDir capture;
  std::string command = "cd " + shellQuote(cwd.string()) + " && exec env";
  for (const auto& kv : env) command += " " + shellQuote(kv);
  command += " " + shellQuote(program.string());
  for (const auto& a : args) command += " " + shellQuote(a);
  command += " >" + shellQuote((capture / "out").string()) + " 2>" +
             shellQuote((capture / "err").string());
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
          readFile(capture / "out"), readFile(capture / "err")};
}

// Runs Cabarc: our Linux one, or with PM_CABARC_EXE the Windows Cabarc.exe
// under the Wine of PM_WINE_LOADER (scripts/wine-run --host).
inline ToolRun runCabarc(const std::vector<std::string>& args, const fs::path& cwd,
                         const std::vector<std::string>& env = {}) {
  if (const char* exe = std::getenv("PM_CABARC_EXE")) {
    std::vector<std::string> wineArgs = {exe};
    wineArgs.insert(wineArgs.end(), args.begin(), args.end());
    return runTool(std::getenv("PM_WINE_LOADER"), wineArgs, cwd, env);
  }
  return runTool(buildBin() / "Cabarc", args, cwd, env);
}
inline bool cabarcUnderWine() {
  return std::getenv("PM_CABARC_EXE") != nullptr;
}

// A host file's modification time, in seconds since the epoch (0 when missing).
inline void setMtime(const fs::path& p, std::time_t when) {
  fs::last_write_time(
      p, fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(when)));
}
inline std::time_t mtimeOf(const fs::path& p) {
  std::error_code ec;
  const auto t = fs::last_write_time(p, ec);
  return ec ? 0 : std::chrono::system_clock::to_time_t(fs::file_time_type::clock::to_sys(t));
}

// Every file below `root`, as paths relative to it, sorted.
inline std::vector<std::string> treeOf(const fs::path& root) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::end(it); it.increment(ec))
    if (it->is_regular_file()) out.push_back(fs::relative(it->path(), root).string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace pm::tooltest

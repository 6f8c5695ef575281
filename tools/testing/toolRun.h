// Test support for the outside tools: temporary folders, running a built tool
// as a real process, and reading what it left behind.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pm::tooltest {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "pmtool-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& rel) const { return path_ / rel; }

 private:
  fs::path path_;
};

struct ToolRun {
  int code = -1;  // exit code; 128 + signal number when killed by a signal
  std::string out;
  std::string err;
};

inline std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Where the built executables are: $PM_BUILD_BIN.
inline fs::path buildBin() {
  const char* b = std::getenv("PM_BUILD_BIN");
  return b ? fs::path(b) : fs::path("bin");
}

// The program on PATH, or empty.
inline fs::path onPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream s(path ? path : "");
  std::string dir;
  while (std::getline(s, dir, ':')) {
    const fs::path p = fs::path(dir) / name;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

// Runs `program` with `args` in `cwd`, the environment extended by `env`
// (NAME=value entries override), and collects its output.
inline ToolRun runTool(const fs::path& program, const std::vector<std::string>& args,
                       const fs::path& cwd, const std::vector<std::string>& env = {}) {
  TempDir capture;
  const fs::path outFile = capture / "out", errFile = capture / "err";
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    const int o = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(o, 1);
    ::dup2(e, 2);
    for (const auto& kv : env) {
      const auto eq = kv.find('=');
      ::setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
    }
    std::vector<char*> argv;
    std::string prog = program.string();
    argv.push_back(prog.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(prog.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ToolRun r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = readFile(outFile);
  r.err = readFile(errFile);
  return r;
}

// Sets a host file's modification time (seconds since the epoch).
inline void setMtime(const fs::path& p, std::time_t when) {
  struct timespec t[2];
  t[0].tv_sec = when;
  t[0].tv_nsec = 0;
  t[1] = t[0];
  ::utimensat(AT_FDCWD, p.c_str(), t, 0);
}

inline std::time_t mtimeOf(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mtim.tv_sec;
}

// Every file below `root`, as paths relative to it, sorted.
inline std::vector<std::string> treeOf(const fs::path& root) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file()) out.push_back(fs::relative(it->path(), root).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace pm::tooltest

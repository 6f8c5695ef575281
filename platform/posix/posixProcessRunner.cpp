#include "platform/posix/posixProcessRunner.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>
#include "platform/text.h"

extern char** environ;

namespace pm::posix {
namespace fs = std::filesystem;

namespace {

bool isExecutableFile(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}

// The names a program may go by: as given, then without or with ".exe".
std::vector<std::string> candidateNames(const std::string& name) {
  std::vector<std::string> names{name};
  const std::string l = toLower(name);
  if (l.size() > 4 && l.compare(l.size() - 4, 4, ".exe") == 0) {
    names.push_back(name.substr(0, name.size() - 4));
  } else {
    names.push_back(name + ".exe");
  }
  return names;
}

// A file in `folder` whose name is one of `names`: exact names first, then any
// letter case (the smallest such name, so the choice is stable).
std::optional<fs::path> findIn(const fs::path& folder, const std::vector<std::string>& names) {
  for (const std::string& n : names) {
    if (isExecutableFile(folder / n)) return folder / n;
  }
  for (const std::string& n : names) {
    const std::string wanted = toLower(n);
    std::error_code ec;
    std::optional<fs::path> best;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      const std::string found = it->path().filename().string();
      if (toLower(found) == wanted && isExecutableFile(it->path()) &&
          (!best || found < best->filename().string()))
        best = it->path();
    }
    if (best) return best;
  }
  return std::nullopt;
}

std::int32_t exitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

PosixProcessRunner::PosixProcessRunner(Machine machine, fs::path installerFolder)
    : machine_(std::move(machine)), installerFolder_(std::move(installerFolder)) {}

std::optional<fs::path> PosixProcessRunner::findProgram(const std::string& name) const {
  if (name.empty()) return std::nullopt;
  const bool isPath =
      name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
  if (isPath) {
    const fs::path host = machine_.toHost(name);
    return findIn(host.parent_path(), candidateNames(host.filename().string()));
  }
  const std::vector<std::string> names = candidateNames(name);
  if (!installerFolder_.empty()) {
    if (auto found = findIn(installerFolder_, names)) return found;
  }
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      if (auto found = findIn(dir, names)) return found;
    }
    start = end + 1;
  }
  return std::nullopt;
}

Result<int> PosixProcessRunner::spawn(const std::string& cmdline) {
  std::vector<std::string> args = splitWindowsCommandLine(cmdline);
  if (args.empty()) return Status::failure("Cannot start an empty command line");
  const auto program = findProgram(args[0]);
  if (!program)
    return Status::failure("Cannot start \"" + cmdline + "\": program \"" + args[0] +
                           "\" not found");

  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The environment, with this machine's folder for the tools.
  const std::string machineVar = "PMSETUP_MACHINE=" + machine_.root().string();
  std::vector<char*> envp;
  for (char** e = environ; e && *e; ++e) {
    if (std::strncmp(*e, "PMSETUP_MACHINE=", 16) != 0) envp.push_back(*e);
  }
  envp.push_back(const_cast<char*>(machineVar.c_str()));
  envp.push_back(nullptr);

  // The program starts with every signal at its default and none blocked,
  // whatever the installer (or its toolkit) has set for itself.
  posix_spawnattr_t attr;
  ::posix_spawnattr_init(&attr);
  sigset_t all, none;
  ::sigfillset(&all);
  ::sigemptyset(&none);
  ::posix_spawnattr_setsigdefault(&attr, &all);
  ::posix_spawnattr_setsigmask(&attr, &none);
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int err = ::posix_spawn(&pid, program->c_str(), nullptr, &attr, argv.data(), envp.data());
  ::posix_spawnattr_destroy(&attr);
  if (err != 0) {
    return Status::failure("Cannot start \"" + cmdline + "\": " + program->string() + ": " +
                           std::strerror(err));
  }
  return static_cast<int>(pid);
}

std::int32_t PosixProcessRunner::runAndWait(const std::string& cmdline) {
  const Result<int> pid = spawn(cmdline);
  if (!pid) return -1;
  int status = 0;
  for (;;) {
    if (::waitpid(pid.value(), &status, 0) == pid.value()) return exitCodeOf(status);
    if (errno != EINTR) return -1;
  }
}

Status PosixProcessRunner::start(const std::string& cmdline) {
  const Result<int> pid = spawn(cmdline);
  if (!pid) return pid.status();
  const pid_t child = pid.value();
  std::thread([child] {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return {};
}

}  // namespace pm::posix

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/posix/posixFileSystem.h"
#include "tools/cabarc/hostFiles.h"

namespace pm::cabarc {
namespace fs = std::filesystem;

const char kHostSeparator = '/';
bool isHostSeparator(char c) {
  return c == '/';
}

HostEntry hostEntry(const std::string& path) {
  std::error_code ec;
  HostEntry e;
  const fs::file_status own = fs::symlink_status(path, ec);
  e.exists = fs::exists(own);
  e.link = fs::is_symlink(own);
  const fs::file_status seen = e.link ? fs::status(path, ec) : own;
  e.file = fs::is_regular_file(seen);
  e.folder = fs::is_directory(seen);
  return e;
}

std::vector<HostEntry> listFolder(const std::string& path) {
  std::vector<HostEntry> entries;
  std::error_code ec;
  for (const auto& d : fs::directory_iterator(path, ec)) {
    HostEntry e;
    e.name = d.path().filename().string();
    e.exists = true;
    e.link = d.is_symlink(ec);
    e.file = d.is_regular_file(ec);
    e.folder = d.is_directory(ec);
    entries.push_back(std::move(e));
  }
  return entries;
}

std::optional<std::uint64_t> hostFileSize(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return std::nullopt;
  return size;
}

bool sameHostFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

Status makeHostFolder(const std::string& path, bool parents) {
  std::error_code ec;
  if (parents ? !fs::create_directories(path, ec) : !fs::create_directory(path, ec)) {
    if (ec) return Status::failure("cannot create the folder " + path + ": " + ec.message());
  }
  return {};
}

void removeHostFile(const std::string& path) {
  ::unlink(path.c_str());
}

std::string currentHostFolder() {
  std::error_code ec;
  return fs::current_path(ec).string();
}

Result<NewFile> createTemporaryIn(const std::string& folder) {
  static const std::string prefix = ".Cabarc-" + std::to_string(::getpid()) + "-";
  static unsigned counter = 0;
  for (;;) {
    std::string path = hostJoin(folder, prefix + std::to_string(++counter) + ".tmp");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return NewFile{std::move(path), fd};
    if (errno != EEXIST)
      return Status::failure("cannot create a file in " + folder + ": " + std::strerror(errno));
  }
}

void markExecutable(const std::string& path) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(path.c_str(), 0777 & ~mask);
}

bool setLocalModificationTime(std::intptr_t file, DateTime t) {
  const long long when = posix::toHostTime(t);
  // -1 is also the second before 1970 began; anything else that gives -1 has no host time.
  if (when == -1 && posix::fromHostTime(-1) != t) return false;
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(when);  // access time: the same
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return ::futimens(static_cast<int>(file), times) == 0;
}

Status moveInto(const std::string& from, const std::string& to, bool replace, bool& taken,
                std::intptr_t) {
  taken = false;
  int done = replace ? ::rename(from.c_str(), to.c_str())
                     : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (done != 0 && !replace && errno == EINVAL) {
    // A file system that cannot refuse for us: a link fails on a taken name too.
    done = ::link(from.c_str(), to.c_str());
    if (done == 0) ::unlink(from.c_str());
  }
  if (done == 0) return {};
  taken = errno == EEXIST;
  return Status::failure(std::string("cannot rename it into place: ") + std::strerror(errno));
}

}  // namespace pm::cabarc

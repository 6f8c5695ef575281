#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/posix/posixFileSystem.h"
#include "tools/cabarc/hostFiles.h"

namespace pm::cabarc {
namespace fs = std::filesystem;

Result<NewFile> createTemporaryIn(const fs::path& folder) {
  static const std::string prefix = ".Cabarc-" + std::to_string(::getpid()) + "-";
  static unsigned counter = 0;
  for (;;) {
    fs::path path = folder / (prefix + std::to_string(++counter) + ".tmp");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return NewFile{std::move(path), fd};
    if (errno != EEXIST)
      return Status::failure("cannot create a file in " + folder.string() + ": " +
                             std::strerror(errno));
  }
}

bool isLink(const fs::path& path) {
  std::error_code ec;
  return fs::is_symlink(fs::symlink_status(path, ec));
}

void markExecutable(const fs::path& path) {
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

Status moveInto(const fs::path& from, const fs::path& to, bool replace, bool& taken) {
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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "platform/posix/posixFileSystem.h"
#include "tools/cabarc/hostFiles.h"

namespace pm::cabarc {
namespace fs = std::filesystem;

unsigned long processId() {
  return static_cast<unsigned long>(::getpid());
}

bool entryExists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
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

bool setLocalModificationTime(const fs::path& path, DateTime t) {
  const long long when = posix::toHostTime(t);
  // -1 is also the second before 1970 began; anything else that gives -1 has no host time.
  if (when == -1 && posix::fromHostTime(-1) != t) return false;
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(when);  // access time: the same
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

Status replaceFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (ec) return Status::failure("cannot rename it into place: " + ec.message());
  return {};
}

}  // namespace pm::cabarc

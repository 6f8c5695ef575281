#include "platform/posix/posixInstallLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/leftoverRecord.h"
#include "platform/posix/temporaryFiles.h"

namespace pm::posix {

Status PosixInstallLock::acquire() {
  if (fd_ >= 0) return {};
  const std::filesystem::path file = machine_.root() / "PMSetup.lock";
  // A plan leaves no lock file on a machine that had none: it removes the one
  // it made while still holding it.
  struct stat st {};
  madeFile_ = recordLeftAlone() && ::lstat(file.c_str(), &st) != 0 && errno == ENOENT;
  if (madeFile_) ::stat(machine_.root().c_str(), &folderBefore_);
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  // A lock file that cannot be written still locks.
  if (fd < 0) fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0)
    return Status::failure("The install lock " + file.string() + " cannot be made (" +
                           std::strerror(errno) + "), so the install cannot start safely. " +
                           "Nothing has been changed.");
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return Status::failure(kAnotherInstallerRuns);
    return Status::failure("The install lock " + file.string() +
                           " cannot be taken: " + std::strerror(err));
  }
  // A lock file removed by a plan while this one waited is not the lock any
  // more: take the one at the name.
  struct stat held {};
  struct stat named {};
  if (::fstat(fd, &held) != 0 || ::stat(file.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
      held.st_dev != named.st_dev) {
    ::close(fd);
    return ++attempt_ < 8 ? acquire() : Status::failure(kAnotherInstallerRuns);
  }
  attempt_ = 0;
  fd_ = fd;
  sweepLeftovers(machine_);
  return {};
}

void PosixInstallLock::release() {
  if (fd_ < 0) return;
  sweepLeftovers(machine_);
  if (madeFile_) {
    ::unlink((machine_.root() / "PMSetup.lock").c_str());
    // ... and gives the machine folder back the times it had.
    const struct timespec times[2] = {folderBefore_.st_atim, folderBefore_.st_mtim};
    ::utimensat(AT_FDCWD, machine_.root().c_str(), times, 0);
  }
  ::close(fd_);
  fd_ = -1;
}

}  // namespace pm::posix

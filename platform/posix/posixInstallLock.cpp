#include "platform/posix/posixInstallLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/temporaryFiles.h"

namespace pm::posix {

Status PosixInstallLock::acquire() {
  if (fd_ >= 0) return {};
  const std::filesystem::path file = machine_.root() / "PMSetup.lock";
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
  fd_ = fd;
  sweepLeftovers(machine_);
  return {};
}

void PosixInstallLock::release() {
  if (fd_ < 0) return;
  sweepLeftovers(machine_);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace pm::posix

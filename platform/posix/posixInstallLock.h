// The install lock of a machine folder: an flock on "<machine>/PMSetup.lock",
// held through a descriptor that no child inherits (a program started at the
// end of the install must not keep the lock), and given up by the kernel when
// the process ends in any way. Taking and releasing it sweep the machine's
// leftover temporary files (temporaryFiles.h).
#pragma once

#include <sys/stat.h>

#include "platform/installLock.h"
#include "platform/posix/machine.h"

namespace pm::posix {

class PosixInstallLock : public InstallLock {
 public:
  explicit PosixInstallLock(Machine machine) : machine_(std::move(machine)) {}
  ~PosixInstallLock() override { release(); }
  PosixInstallLock(const PosixInstallLock&) = delete;
  PosixInstallLock& operator=(const PosixInstallLock&) = delete;

  Status acquire() override;
  void release() override;

 private:
  Machine machine_;
  int fd_ = -1;
  bool madeFile_ = false;        // by a plan, which removes it again
  struct stat folderBefore_ {};  // the machine folder before a plan made the file
  int attempt_ = 0;
};

}  // namespace pm::posix

// The machine's install lock on Windows: the named mutex
// "Global\Korrimel.Pelmora.PMSetup", owned by the thread that takes it.
//
// Global rather than Local: the install changes the whole machine (the system
// folder, Program Files, the libraries' registrations), so installers started
// in two sessions (another user switched in, a Remote Desktop session) must
// exclude each other as two in one session do. Creating a mutex in the global
// namespace needs no privilege (only file mappings do).
//
// The system gives the mutex up however its owner ends, a kill included (the
// next owner sees it "abandoned" and takes it); no child inherits it. It is
// taken and released on the same thread, the program's main one. Taking and
// releasing it sweep this user's leftover temporary files (temporaryFiles.h).
#pragma once

#include "platform/installLock.h"

namespace pm::win32 {

class Win32InstallLock : public InstallLock {
 public:
  static constexpr const wchar_t* kName = L"Global\\Korrimel.Pelmora.PMSetup";

  Win32InstallLock() = default;
  ~Win32InstallLock() override { release(); }
  Win32InstallLock(const Win32InstallLock&) = delete;
  Win32InstallLock& operator=(const Win32InstallLock&) = delete;

  Status acquire() override;
  void release() override;

 private:
  void* mutex_ = nullptr;  // HANDLE, owned while not null
};

}  // namespace pm::win32

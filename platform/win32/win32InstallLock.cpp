#include "platform/win32/win32InstallLock.h"

#include <windows.h>

#include "platform/win32/temporaryFiles.h"
#include "platform/win32/wideText.h"

namespace pm::win32 {

Status Win32InstallLock::acquire() {
  if (mutex_) return {};
  const HANDLE h = CreateMutexW(nullptr, FALSE, kName);
  if (!h) {
    // Someone made the name with rights that shut us out: it cannot be told
    // from another installer, and nothing may change.
    return Status::failure("The install lock " + narrow(kName) + " cannot be taken (" +
                           errorMessage(GetLastError()) +
                           "), so the install cannot start safely. Nothing has been changed.");
  }
  switch (WaitForSingleObject(h, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its owner ended without giving it up: a killed run
      break;
    case WAIT_TIMEOUT:
      CloseHandle(h);
      return Status::failure(kAnotherInstallerRuns);
    default: {
      const DWORD err = GetLastError();
      CloseHandle(h);
      return Status::failure("The install lock " + narrow(kName) +
                             " cannot be taken: " + errorMessage(err));
    }
  }
  mutex_ = h;
  sweepLeftovers();
  return {};
}

void Win32InstallLock::release() {
  if (!mutex_) return;
  sweepLeftovers();
  ReleaseMutex(static_cast<HANDLE>(mutex_));
  CloseHandle(static_cast<HANDLE>(mutex_));
  mutex_ = nullptr;
}

}  // namespace pm::win32

#include "platform/win32/systemLibrary.h"

#include <windows.h>

#include "platform/win32/wideText.h"

namespace pm::win32 {

void restrictDllSearch() {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

Status SystemLibrary::load() {
  if (!tried_) {
    tried_ = true;
    module_ = LoadLibraryExW(fileName_, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module_ == nullptr) {
      failure_ = "cannot load " + narrow(fileName_) +
                 " from the system folder: " + errorMessage(GetLastError());
    }
  }
  if (module_ == nullptr) return Status::failure(failure_);
  return {};
}

void* SystemLibrary::symbol(const char* name) {
  if (!load()) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

}  // namespace pm::win32

#include "platform/win32/systemLibrary.h"

#include <windows.h>

#include "platform/win32/wideText.h"

// The program's load configuration: the DLLs that the loader brings in for the
// program's imports and for theirs are searched for in the system folder only
// (its dependent-load flags, read by Windows 10 and later). GNU ld does not
// fill the directory entry itself: the structure sits in a section of its own,
// which cmake/windows/set-load-config points the entry at after each link. The
// 32-bit size is the one every Windows accepts; it ends before the SafeSEH
// table, which these programs do not have.
extern "C" {
extern const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used;
__attribute__((
    used, section(".lcfg"))) constinit const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = [] {
  IMAGE_LOAD_CONFIG_DIRECTORY c{};
  c.Size = sizeof(void*) == 8 ? sizeof c : 0x40;
  c.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;  // DependentLoadFlags in newer headers
  return c;
}();
}

namespace pm::win32 {

void restrictDllSearch() {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void preloadWindowLibraries() {
  for (const wchar_t* name :
       {L"uxtheme.dll", L"dwmapi.dll", L"msimg32.dll", L"version.dll", L"windowscodecs.dll"}) {
    LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);  // absent on some versions
  }
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

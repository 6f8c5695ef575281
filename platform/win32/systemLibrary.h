// Loading DLLs from the system folder only.
//
// An installer is often started from a downloads folder full of other files; a
// DLL planted there under the name of one we use must never be loaded. Every
// program calls restrictDllSearch() first thing; the system DLLs it uses are
// delay-loaded (cmake/PMWindowsLinking.cmake) or, where only a few functions
// are wanted (cabinet.dll, odbc32.dll...), loaded through SystemLibrary, so the
// loader never searches the program's folder for them.
#pragma once

#include <string>

#include "platform/result.h"

namespace pm::win32 {

// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32): later loads, ours and
// those the system makes for us, search only the system folder.
void restrictDllSearch();

// Loads the DLLs that the window program's system DLLs (Common Controls 6,
// visual styles, GDI+) bring in, from the system folder, before the first
// window: a later load by name then finds them already loaded.
void preloadWindowLibraries();

// One DLL of the system folder, loaded on first use and kept for the life of
// the process.
class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* fileName) : fileName_(fileName) {}
  // Loads the DLL; fails with a message naming it when it cannot be loaded.
  Status load();
  // The address of an exported function, or nullptr when the DLL or the
  // function is missing.
  void* symbol(const char* name);
  template <typename F>
  F function(const char* name) {
    return reinterpret_cast<F>(symbol(name));
  }

 private:
  const wchar_t* fileName_;
  void* module_ = nullptr;
  bool tried_ = false;
  std::string failure_;
};

}  // namespace pm::win32

// A DLL planted beside our programs under the name of one they or the system
// use, as a hostile downloads folder would hold it: when a process loads it,
// it leaves the marker "planted-NAME.loaded" beside that process's program.
// It exports nothing: a program that imported from it could not start, which
// the planted-DLL check sees too.
#include <windows.h>

#include <string>

namespace {

std::wstring folderOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring moduleName(HMODULE module) {
  wchar_t buffer[MAX_PATH];
  return std::wstring(buffer, GetModuleFileNameW(module, buffer, MAX_PATH));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    const std::wstring own = moduleName(self);
    const std::wstring marker =
        folderOf(moduleName(nullptr)) + L"planted-" + own.substr(folderOf(own).size()) + L".loaded";
    const HANDLE h = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  return TRUE;
}

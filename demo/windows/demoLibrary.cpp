// A shared library of the Windows demo (plmcal32.dll, plmgrid.ocx,
// plmrpt32.dll): a real DLL that the system's "regsvr32 /s" registers. Its
// registration is a key of its own,
//   HKEY_CLASSES_ROOT\PMSetup\Registered\<its file name>
// whose "Path" is where the library lies; unregistering removes the key.
// PM_LIBRARY_FILE names the library (a compile definition).
#include <windows.h>

#include <string>

namespace {

HMODULE self = nullptr;

std::wstring keyPath() {
  return std::wstring(L"PMSetup\\Registered\\") + PM_LIBRARY_FILE;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

extern "C" HRESULT __stdcall DllRegisterServer() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return HRESULT_FROM_WIN32(GetLastError());
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath().c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  rc = RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                      (length + 1) * sizeof(wchar_t));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  const LONG rc = RegDeleteKeyW(HKEY_CLASSES_ROOT, keyPath().c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}

// A cabinet.dll planted beside Cabarc.exe, as a hostile downloads folder
// would hold one: when loaded, it leaves a marker file beside the program.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring marker(exe, n);
    marker.resize(marker.find_last_of(L'\\') + 1);
    marker += L"planted-dll-was-loaded";
    const HANDLE h = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  return TRUE;
}

// What an ordinary importer of cabinet.dll asks for.
extern "C" __declspec(dllexport) void* __cdecl FDICreate(void*, void*, void*, void*, void*, void*,
                                                         void*, int, void*) {
  return nullptr;
}

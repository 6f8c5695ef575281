// A program planted where one of ours might look for it (a regsvr32.exe beside
// the installer), and the naive probe of the planted-file check: it leaves the
// marker "planted-NAME.ran" beside itself, then loads each DLL named on its
// command line by the ordinary search, which begins with its own folder.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t buffer[MAX_PATH];
  const std::wstring self(buffer, GetModuleFileNameW(nullptr, buffer, MAX_PATH));
  const HANDLE h =
      CreateFileW((self.substr(0, self.find_last_of(L'\\') + 1) + L"planted-" +
                   self.substr(self.find_last_of(L'\\') + 1) + L".ran")
                      .c_str(),
                  GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  for (int i = 1; i < argc; ++i) LoadLibraryW(argv[i]);
  return 0;
}

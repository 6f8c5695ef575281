#include "platform/win32/services.h"

#include <windows.h>

#include "platform/win32/wideText.h"

namespace pm {

namespace win32 {

namespace {

// The host's name of a file under Wine ("" on Windows): Wine's odbc32 hands
// every connection to the host's driver manager, whose drivers read host paths.
std::string wineHostPath(const std::string& file) {
  using Convert = char*(CDECL*)(LPCWSTR);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto convert = kernel ? reinterpret_cast<Convert>(reinterpret_cast<void*>(
                                    GetProcAddress(kernel, "wine_get_unix_file_name")))
                              : nullptr;
  if (!convert) return {};
  char* host = convert(widen(file).c_str());
  if (!host) return {};
  std::string out = host;
  HeapFree(GetProcessHeap(), 0, host);
  return out;
}

}  // namespace

std::unique_ptr<DataSession> Win32Services::openDatabaseFile(const std::string& file,
                                                             const std::string& connectionString) {
  if (file.empty()) return connectOdbc32(connectionString);
  try {
    return connectOdbc32("Driver={" + std::string(kAccessDriverName) + "};DBQ=" + file + ";");
  } catch (const Error&) {
    // Under Wine no Access driver is there: the data source's own (host)
    // driver, told the file by the host's name, which it takes over its own.
    const std::string host = wineHostPath(file);
    if (host.empty()) throw;
    return connectOdbc32(connectionString + "Database=" + host + ";");
  }
}

}  // namespace win32

std::unique_ptr<Platform> makePlatform() {
  return std::make_unique<win32::Win32Services>();
}

}  // namespace pm

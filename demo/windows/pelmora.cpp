// Pelmora.exe of the Windows demo: a small stand-in for the product that
// proves an upgrade end to end. It opens the data source Dorvane as the
// product does ("DSN=Dorvane;password=kelpfern;", through odbc32 and the data
// sources registered in the registry) and shows the name that the install
// stored in the Status table: in a message box, and on the standard output
// when there is one.
//
//   Pelmora.exe [--no-window]
//
// Exit codes: 0 the name was read (it may be empty), 1 the database could not
// be opened or read.
#include <windows.h>

#include <string>

#include "demo/registeredName.h"
#include "platform/result.h"
#include "platform/win32/services.h"
#include "platform/win32/wideText.h"

namespace {

using pm::demo::Outcome;

Outcome readRegisteredName() {
  pm::win32::RegistryDataSources dataSources;
  return pm::demo::readRegisteredName(dataSources);
}

void print(const std::string& line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int main() {
  pm::win32::restrictDllSearch();
  bool window = true;
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; args && i < count; ++i) {
    if (std::wstring(args[i]) == L"--no-window") window = false;
  }
  if (args) LocalFree(args);

  const Outcome outcome = readRegisteredName();
  print(outcome.text);
  if (window) {
    MessageBoxW(nullptr, pm::win32::widen(outcome.text).c_str(), L"Pelmora v.1.9.5",
                MB_OK | (outcome.ok ? MB_ICONINFORMATION : MB_ICONWARNING));
  }
  return outcome.ok ? 0 : 1;
}

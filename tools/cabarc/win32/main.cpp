// Cabarc.exe: the cabinet archiver that the installer runs from its folder,
// on the system's cabinet library.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/win32/systemLibrary.h"
#include "platform/win32/wideText.h"
#include "tools/cabarc/cabarc.h"

int main() {
  // Before anything can load a DLL: never from the program's own folder.
  pm::win32::restrictDllSearch();
  // The command line as UTF-16, split by the same rules as every Windows program's.
  std::vector<std::string> args = pm::splitWindowsCommandLine(pm::win32::narrow(GetCommandLineW()));
  if (!args.empty()) args.erase(args.begin());
  if (args.empty()) {
    std::fputs(pm::cabarc::usageText().c_str(), stdout);
    return pm::cabarc::kUsage;
  }
  // Standard output that is no console (a pipe, a file, NUL) is written in
  // blocks, as the C library does on Linux: written as it comes, each piece
  // costs the C run-time a console check per character (under Wine a
  // round trip to its server each), most of an extraction's time.
  DWORD mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  pm::cabarc::Writer out(stdout), err(stderr);
  const int code = pm::cabarc::run(
      args, [](const std::string& path) { return path; }, out, err);
  return code;
}

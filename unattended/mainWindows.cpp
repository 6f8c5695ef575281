// PMSetupUnattended for Windows: the same program as on Linux (see main.cpp),
// on the machine it runs on: the real registry, system folder, Program Manager
// and ODBC data sources. The answer file may be named with a Windows path.
// Exit codes are the Windows Installer's (exitCodes.h).
#include "platform/win32/systemLibrary.h"
#include "unattended/win32/quietRun.h"

int main() {
  // No library is taken from the installer folder (often a downloads folder).
  pm::win32::restrictDllSearch();
  namespace w = pm::unattended::win32;
  return w::runWithoutWindows(w::commandArguments(), pm::unattended::Program::Unattended);
}

#include "platform/win32/win32ProcessRunner.h"

#include <windows.h>

#include "platform/win32/wideText.h"

namespace pm::win32 {

Result<void*> Win32ProcessRunner::launch(const std::string& cmdline, bool minimisedWithFocus) {
  const std::vector<std::string> args = splitWindowsCommandLine(cmdline);
  if (args.empty()) return Status::failure("an empty command line");
  std::wstring application;
  const std::string& program = args.front();
  if (program.find_first_of("\\/:") == std::string::npos) {
    for (const std::string& name : {program, program + ".exe"}) {
      const std::wstring candidate = widen(installerFolder_ + "\\" + name);
      const DWORD a = GetFileAttributesW(candidate.c_str());
      if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        application = candidate;
        break;
      }
    }
  }
  std::wstring line = widen(cmdline);  // CreateProcessW may write into it
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (minimisedWithFocus) {
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINIMIZED;
  }
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                      nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return Status::failure("cannot start " + program + ": " + errorMessage(GetLastError()));
  }
  CloseHandle(pi.hThread);
  return static_cast<void*>(pi.hProcess);
}

std::int32_t Win32ProcessRunner::runAndWait(const std::string& cmdline) {
  auto process = launch(cmdline, false);
  if (!process) return -1;
  const HANDLE h = static_cast<HANDLE>(process.value());
  WaitForSingleObject(h, INFINITE);
  DWORD code = 0;
  const bool ok = GetExitCodeProcess(h, &code);
  CloseHandle(h);
  return ok ? static_cast<std::int32_t>(code) : -1;
}

Status Win32ProcessRunner::start(const std::string& cmdline) {
  auto process = launch(cmdline, true);
  if (!process) return process.status();
  CloseHandle(static_cast<HANDLE>(process.value()));
  return {};
}

}  // namespace pm::win32

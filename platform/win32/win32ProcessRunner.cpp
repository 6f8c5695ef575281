#include "platform/win32/win32ProcessRunner.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "platform/win32/wideText.h"

namespace pm::win32 {

namespace {

// The installer's own tools, shipped in the installer folder.
constexpr const char* kOwnTools[] = {"cabarc", "vbrun60"};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The system folder of this process, or a failure.
Result<std::string> systemFolder() {
  wchar_t buffer[MAX_PATH];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    return Status::failure("cannot find the system folder: " + errorMessage(GetLastError()));
  }
  return narrow(std::wstring_view(buffer, n));
}

// Whether this process has a console that the programs it starts can share.
bool hasConsole() {
  DWORD process = 0;
  return GetConsoleProcessList(&process, 1) != 0;
}

// Hands this process's standard handles to the program it starts, made
// inheritable so that they reach it whether or not it shares our console (a
// tool of the console program writes its messages to the standard error that
// the program was given).
void giveStandardHandles(STARTUPINFOW& si) {
  HANDLE* const slots[] = {&si.hStdInput, &si.hStdOutput, &si.hStdError};
  const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  bool any = false;
  for (int i = 0; i < 3; ++i) {
    const HANDLE h = GetStdHandle(ids[i]);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) continue;
    SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    *slots[i] = h;
    any = true;
  }
  if (any) si.dwFlags |= STARTF_USESTDHANDLES;
}

}  // namespace

Result<std::string> programPath(const std::string& program, const std::string& installerFolder,
                                const std::string& systemFolder) {
  if (program.empty()) return Status::failure("an empty program name");
  std::string path = program;
  if (program.find_first_of("\\/:") == std::string::npos) {
    std::string base = lower(program);
    if (base.ends_with(".exe")) base.resize(base.size() - 4);
    const bool own =
        std::find(std::begin(kOwnTools), std::end(kOwnTools), base) != std::end(kOwnTools);
    const std::string& folder = own ? installerFolder : systemFolder;
    if (folder.empty()) return Status::failure("cannot start " + program + ": no folder for it");
    path = folder + (folder.back() == '\\' ? "" : "\\") + program;
  }
  if (path.find('.', path.find_last_of("\\/:") + 1) == std::string::npos) path += ".exe";
  return path;
}

Result<void*> Win32ProcessRunner::launch(const std::string& cmdline, bool minimisedWithFocus) {
  const std::vector<std::string> args = splitWindowsCommandLine(cmdline);
  if (args.empty()) return Status::failure("an empty command line");
  const std::string& program = args.front();
  const Result<std::string> system = systemFolder();
  const Result<std::string> path =
      programPath(program, installerFolder_, system ? system.value() : std::string());
  if (!path) return path.status();
  const std::wstring application = widen(path.value());
  std::wstring line = widen(cmdline);  // CreateProcessW may write into it
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (minimisedWithFocus) {
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINIMIZED;
  }
  giveStandardHandles(si);
  // Without a console to share, a console tool would get one of its own, and
  // a window with it.
  const DWORD flags = NORMAL_PRIORITY_CLASS | (hasConsole() ? 0 : CREATE_NO_WINDOW);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                      nullptr, &si, &pi)) {
    return Status::failure("cannot start " + path.value() + ": " + errorMessage(GetLastError()));
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

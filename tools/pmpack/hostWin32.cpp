#include <windows.h>
//
#include <shellapi.h>

#include <cstdlib>

#include "tools/pmpack/host.h"

namespace pm::pmpack {

namespace {

// One argument as CommandLineToArgvW reads it back: in quotes, with the
// backslashes before a quote (or the closing one) doubled.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
  line += L'"';
  std::size_t slashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    line.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
    slashes = 0;
    line += c;
  }
  line.append(2 * slashes, L'\\');
  line += L'"';
}

std::wstring wide(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

}  // namespace

bool builtForWindows() {
  return true;
}

std::vector<std::string> programArguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    const std::u8string text = std::filesystem::path(wide[i]).u8string();
    args.emplace_back(text.begin(), text.end());
  }
  LocalFree(wide);
  return args;
}

std::filesystem::path ownFolder() {
  std::wstring name(32768, L'\0');
  name.resize(GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size())));
  return std::filesystem::path(name).parent_path();
}

int runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::filesystem::path& folder, std::string& error) {
  std::wstring line;
  appendQuoted(line, program.wstring());
  for (const std::string& a : args) {
    line += L' ';
    appendQuoted(line, wide(a));
  }
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = nul;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessW(program.wstring().c_str(), line.data(), nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW, nullptr, folder.wstring().c_str(), &si, &pi);
  const DWORD why = GetLastError();
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) {
    error = program.string() + ": cannot be started (error " + std::to_string(why) + ")";
    return -1;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

void setEnvironment(const char* name, const std::string& value) {
  SetEnvironmentVariableW(wide(name).c_str(), wide(value).c_str());
}

}  // namespace pm::pmpack

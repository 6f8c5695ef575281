// The process runner under Wine, with a display (Wine gives a console its
// window only when it has one).
#include "platform/win32/win32ProcessRunner.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

TEST(Win32ProcessRunner, OnlyTheInstallersOwnToolsComeFromItsFolder) {
  const struct {
    const char* program;
    const char* path;
  } cases[] = {
      {"regsvr32", "C:\\windows\\system32\\regsvr32.exe"},
      {"REGSVR32.EXE", "C:\\windows\\system32\\REGSVR32.EXE"},
      {"Cabarc", "D:\\setup\\Cabarc.exe"},
      {"vbrun60.exe", "D:\\setup\\vbrun60.exe"},
      {"C:\\Program Files\\Pelmora\\Pelmora", "C:\\Program Files\\Pelmora\\Pelmora.exe"},
  };
  for (const auto& c : cases) {
    const auto path = programPath(c.program, "D:\\setup", "C:\\windows\\system32\\");
    ASSERT_TRUE(path) << c.program;
    EXPECT_EQ(path.value(), c.path);
  }
}

// As the window program: no console of its own, and a standard error that its
// caller gave it (not inheritable, as a caller may give it).
TEST(Win32ProcessRunner, AConsoleToolGetsNoWindowAndSharesTheStandardError) {
  FreeConsole();
  wchar_t folder[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring log = std::wstring(folder) + L"probe-stderr.txt";
  const HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const HANDLE stderrBefore = GetStdHandle(STD_ERROR_HANDLE);
  SetStdHandle(STD_ERROR_HANDLE, file);

  wchar_t self[MAX_PATH];
  const std::string exe = narrow(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)));
  const std::string probe = exe.substr(0, exe.find_last_of('\\') + 1) + "process_probe.exe";
  Win32ProcessRunner runner("C:\\nowhere");
  const std::int32_t code = runner.runAndWait("\"" + probe + "\" 7");
  SetStdHandle(STD_ERROR_HANDLE, stderrBefore);
  CloseHandle(file);

  EXPECT_EQ(code, 7) << "100: the tool was given a console window";
  std::ifstream in(std::filesystem::path{log});
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "probe 7\n");
}

}  // namespace
}  // namespace pm::win32

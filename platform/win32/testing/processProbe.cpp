// Started by the process-runner test: writes "probe ARG" to its standard error
// and exits with ARG, or with 100 when it was given a console window.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const std::string line = std::string("probe ") + (argc > 1 ? argv[1] : "") + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
  if (GetConsoleWindow() != nullptr) return 100;
  return argc > 1 ? std::atoi(argv[1]) : 0;
}

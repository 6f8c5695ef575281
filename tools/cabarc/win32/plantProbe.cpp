// The way we must not load cabinet.dll: imported, so the loader searches the
// program's folder. It shows that the planted DLL is found when a program
// does not protect itself, so the planted-DLL check proves something.
#include <windows.h>
// after windows.h, whose types it uses
#include <fdi.h>

int main() {
  ERF erf{};
  HFDI h =
      FDICreate(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, cpuUNKNOWN, &erf);
  return h == nullptr ? 1 : 0;
}

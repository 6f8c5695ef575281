// The Pelmora.exe of the demo machine's earlier installation: the program that
// the upgrade replaces. It only says which version it is.
#include <cstdio>

int main() {
  std::puts("Pelmora v.1.9.4 (the earlier installation on the demo machine)");
  return 0;
}

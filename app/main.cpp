// PMSetup: the upgrade installer for Pelmora v.1.9.5.
#include <cstdio>

int main() {
  std::puts("PMSetup: the install window is being built.");
  return 0;
}

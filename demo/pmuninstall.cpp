// PMUninstall.exe of the demo: says what the real uninstaller would remove and
// removes nothing, so the demo machine can be looked at after a run.
#include <cstdio>
#include <cstdlib>

int main() {
  std::puts("PMUninstall (demo): the real uninstaller would remove");
  std::puts("  the program files in C:\\Program Files\\Pelmora (the database is kept),");
  std::puts("  the program group \"Pelmora\" and its items,");
  std::puts("  HKEY_CURRENT_USER\\Software\\Korrimel Software\\Pelmora,");
  std::puts("  the uninstall entry and the document types .pmh, .pmd and .pmg.");
  std::puts("Nothing has been removed: this is the demo.");
  return EXIT_SUCCESS;
}

#include "tests/fakeInstallWindow.h"

#include <stdexcept>

#include "install/modShell.h"

namespace pm::testing {

std::string FakeInstallWindow::rept(const std::string& inval, std::int16_t delayx) {
  lines.push_back(inval);
  state_.reportText += inval + "\r\n";
  ++state_.stepCount;
  pbar(state_.stepCount);
  pause(delayx < 1 ? 5 : delayx);
  return state_.reportText;
}

void FakeInstallWindow::dumpRpt() {
  ++dumps;
  (void)services_.fs.writeText(services_.installerFolder + "\\PMInstall.dbg", state_.reportText);
}

std::int32_t FakeInstallWindow::ExecCmd(const std::string& cmdline) {
  commands.push_back(cmdline);
  return pm::ExecCmd(cmdline, services_.processes, services_.toolkit);
}

DdeLink& FakeInstallWindow::lblDDE() {
  if (!ddeLink) throw std::logic_error("FakeInstallWindow: no DDE link set");
  return *ddeLink;
}

std::string FakeInstallWindow::askRegName(const std::string& preset) {
  regNamePresets.push_back(preset);
  return regNameAnswer(preset);
}

std::string FakeInstallWindow::askInstallDirectory() {
  const int index = installDirAsked++;
  if (index < static_cast<int>(installDirAnswers.size())) return installDirAnswers[index];
  return "C:\\Program Files\\Pelmora";
}

}  // namespace pm::testing

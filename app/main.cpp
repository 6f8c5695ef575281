// PMSetup: the upgrade installer for Pelmora v.1.9.5.
//
// The composition root: builds the platform services of this machine, the Qt
// form toolkit and the install window, and runs the window until it closes.
// PMSetup takes no command-line options. A second installer on the same
// machine, or a damaged installer, is refused with a message box before
// anything is changed (console/startUp.h).
#include <QApplication>

#include "console/startUp.h"
#include "platform/qt/qtToolkit.h"

int main(int argc, char** argv) {
  pm::qt::prepareEnvironment();
  QApplication app(argc, argv);
  QApplication::setApplicationName("PMSetup");
  pm::qt::prepareApplication(app);

  const auto platform = pm::makePlatform();
  pm::qt::QtToolkit toolkit;
  pm::WindowFrontEnd frontEnd(toolkit);
  return pm::startInstaller(*platform, frontEnd);
}

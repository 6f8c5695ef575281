// Pelmora.exe of the demo: a small stand-in for the product that proves an
// upgrade end to end. It opens the data source Dorvane exactly as the product
// does ("DSN=Dorvane;password=kelpfern;", through the driver manager and the
// data sources registered in the machine's registry) and shows the name that
// the install stored in the Status table: on stdout, and in a small window when
// a display is at hand.
//
//   Pelmora.exe [--no-window]
//
// Exit codes: 0 the name was read (it may be empty), 1 the database could not
// be opened or read.
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

#include <cstdlib>
#include <iostream>
#include <string>

#include "demo/registeredName.h"
#include "platform/posix/machine.h"
#include "platform/posix/odbcDataSources.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/result.h"

namespace {

constexpr const char* kTitle = "Pelmora v.1.9.5";

using pm::demo::Outcome;

Outcome readRegisteredName() {
  const pm::posix::Machine machine = pm::posix::Machine::fromEnvironment();
  pm::posix::PosixRegistryStore registry(machine);
  pm::posix::OdbcDataSources dataSources(machine, registry);
  return pm::demo::readRegisteredName(dataSources);
}

// A window only where a real display is reachable: not in the offscreen or
// minimal platforms that tests and headless runs use.
bool displayAvailable() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && (std::string(platform) == "offscreen" || std::string(platform) == "minimal"))
    return false;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
  bool window = true;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--no-window") window = false;
  }

  const Outcome outcome = readRegisteredName();
  (outcome.ok ? std::cout : std::cerr) << outcome.text << std::endl;

  if (window && displayAvailable()) {
    // A display that is named but cannot be reached gives no window instead of
    // ending the program.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb;offscreen", 0);
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != "offscreen") {
      const QString text = QString::fromStdString(outcome.text);
      if (outcome.ok) {
        QMessageBox::information(nullptr, kTitle, text);
      } else {
        QMessageBox::warning(nullptr, kTitle, text);
      }
    }
  }
  return outcome.ok ? 0 : 1;
}

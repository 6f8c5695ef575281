// e2e_window_driver: PMSetup's own window, played by a script instead of a
// person. It builds the installer as PMSetup does (the real services of
// $PMSETUP_MACHINE, the Qt form toolkit, the install window) except for the
// clock, whose waits return at once, and answers each window that appears by
// clicking and typing into its real widgets: it accepts the agreement and the
// options, types NAME as the registration name, and presses "Cancel" as soon as
// report line LINE has been written, answering Yes. The press waits in the
// queue until the install lets events through, and the program then ends
// there, as a user's press would.
//
//   e2e_window_driver NAME LINE
//
// Exit code: the installer's (0 after a confirmed cancel), 64 for bad arguments.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <iostream>
#include <string>

#include "console/frmUpgradeInstall.h"
#include "platform/posix/services.h"
#include "platform/qt/qtToolkit.h"
#include "unattended/unpacedClock.h"

namespace {

QWidget* visibleWindow(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->objectName() == name) return w;
  return nullptr;
}

template <typename T = QWidget>
T* child(QWidget* window, const char* name) {
  return window ? window->findChild<T*>(name) : nullptr;
}

// A press of the mouse: on a check box at its box, on anything else at its middle.
void press(QWidget* w) {
  if (qobject_cast<QCheckBox*>(w)) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(7, w->height() / 2));
  } else if (w) {
    QTest::mouseClick(w, Qt::LeftButton);
  }
}

// Watches the report and queues a press of Cancel once a line has been written.
class CancelAfter : public pm::ui::FormObserver {
 public:
  CancelAfter(std::string line, QWidget*& window)
      : line_("\r\n" + line + "\r\n"), window_(window) {}
  void controlChanged(pm::ui::Form&, const pm::ui::Control& c, pm::ui::Property) override {
    if (done_ || c.name != "txtReport" || ("\r\n" + c.text).find(line_) == std::string::npos)
      return;
    done_ = true;
    QTimer::singleShot(0, [this] { press(child(window_, "cmdCancelInstall")); });
  }
  void formChanged(pm::ui::Form&) override {}
  void formUnloaded(pm::ui::Form&) override {}

 private:
  std::string line_;
  QWidget*& window_;
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: e2e_window_driver NAME LINE\n";
    return 64;
  }
  const std::string name = argv[1], cancelAfter = argv[2];
  pm::qt::prepareEnvironment();
  QApplication app(argc, argv);
  pm::qt::prepareApplication(app);
  pm::posix::PosixServices platform(pm::posix::Machine::fromEnvironment(),
                                    pm::posix::executableFolder());
  pm::unattended::UnpacedClock clock(platform.clock);
  pm::qt::QtToolkit toolkit;
  pm::Services services{{platform.fs, clock, platform.processes, platform.registry,
                         platform.dataSources, platform.dde, platform.installerFolder},
                        toolkit};
  pm::frmUpgradeInstall form(services);
  QWidget* installWindow = nullptr;
  CancelAfter canceller(cancelAfter, installWindow);
  form.addObserver(&canceller);

  // Every 10 ms: answer the window that is up, once per showing (a window is
  // marked once answered), from the event loop, so that a click that opens a
  // modal window never holds up this timer.
  const auto once = [](QWidget* w, std::function<void(QWidget*)> action) {
    if (!w || w->property("pmAnswered").toBool()) return w != nullptr;
    w->setProperty("pmAnswered", true);
    QTimer::singleShot(0, [w, action] { action(w); });
    return true;
  };
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (once(visibleWindow("MsgBox"),
             [](QWidget* w) { press(qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)); }) ||
        once(visibleWindow("frmSplash"), press) ||
        once(visibleWindow("frmEULA"), [](QWidget* w) { press(child(w, "cmdIread")); }) ||
        once(visibleWindow("frmOptions"), [](QWidget* w) { press(child(w, "cmdAccept")); }) ||
        once(visibleWindow("frmRegName"), [&name](QWidget* w) {
          auto* edit = child<QLineEdit>(w, "txtRegName");
          edit->selectAll();
          QTest::keyClicks(edit, QString::fromStdString(name));
          press(child(w, "cmdSubmit"));
        }))
      return;
    if (!(installWindow = visibleWindow("frmUpgradeInstall"))) return;
    for (const char* button : {"cmdInstall", "cmdClose"})
      if (child(installWindow, button)->isEnabled()) once(child(installWindow, button), press);
  });
  poll.start(10);

  toolkit.run(form);
  return 0;
}

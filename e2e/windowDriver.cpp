// e2e_window_driver: PMSetup's own window, played by a script instead of a
// person. It builds the installer exactly as PMSetup does (the real services of
// $PMSETUP_MACHINE, the Qt form toolkit, the install window) except for the
// clock, whose waits return at once, and answers every window that appears by
// clicking and typing into its real widgets, from an answer file of
// PMSetupUnattended. Offscreen unless QT_QPA_PLATFORM says otherwise.
//
//   e2e_window_driver [--cancel-after LINE] ANSWER_FILE
//
// --cancel-after presses "Cancel" as soon as that report line has been written
// and answers Yes: the press waits in the queue until the install lets events
// through, and the program then ends there, as a user's press would.
// Exit code: the installer's (0 after "Complete" or a confirmed cancel), 64 for
// bad arguments, 70 when a window did not appear in time.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "console/frmUpgradeInstall.h"
#include "platform/posix/machine.h"
#include "platform/posix/services.h"
#include "platform/qt/qtToolkit.h"
#include "unattended/answerFile.h"
#include "unattended/unpacedClock.h"

namespace {

QWidget* visibleWindow(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->objectName() == name) return w;
  }
  return nullptr;
}

template <typename T>
T* child(QWidget* window, const char* name) {
  return window ? window->findChild<T*>(name) : nullptr;
}

// A press of the mouse: on a check box at its box, on anything else at its middle.
void press(QWidget* w) {
  if (!w) return;
  if (qobject_cast<QCheckBox*>(w)) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(7, w->height() / 2));
  } else {
    QTest::mouseClick(w, Qt::LeftButton);
  }
}

void type(QLineEdit* edit, const std::string& text) {
  if (!edit) return;
  edit->setFocus();
  edit->selectAll();
  if (text.empty()) {
    QTest::keyClick(edit, Qt::Key_Delete);
  } else {
    QTest::keyClicks(edit, QString::fromStdString(text));
  }
}

// Watches the report and presses Cancel once a line has been written.
class CancelAfter : public pm::ui::FormObserver {
 public:
  CancelAfter(std::string line, QWidget*& window)
      : line_("\r\n" + line + "\r\n"), window_(window) {}
  void controlChanged(pm::ui::Form&, const pm::ui::Control& c, pm::ui::Property) override {
    if (done_ || c.name != "txtReport") return;
    if (("\r\n" + c.text).find(line_) == std::string::npos) return;
    done_ = true;
    // Queued: it is handled when the install next lets events through.
    QTimer::singleShot(0, [this] { press(child<QPushButton>(window_, "cmdCancelInstall")); });
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
  std::string answerFile;
  std::string cancelAfter;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--cancel-after" && i + 1 < argc) {
      cancelAfter = argv[++i];
    } else if (answerFile.empty() && arg.rfind("--", 0) != 0) {
      answerFile = arg;
    } else {
      std::cerr << "usage: e2e_window_driver [--cancel-after LINE] ANSWER_FILE\n";
      return 64;
    }
  }
  const auto answers = pm::unattended::readAnswerFile(answerFile);
  if (!answers) {
    std::cerr << answers.message() << "\n";
    return 64;
  }
  const pm::unattended::Answers& a = answers.value();

  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  pm::qt::prepareEnvironment();
  QApplication app(argc, argv);
  QApplication::setApplicationName("PMSetup");
  pm::qt::prepareApplication(app);

  pm::posix::PosixServices platform(pm::posix::Machine::fromEnvironment(),
                                    pm::posix::executableFolder());
  pm::unattended::UnpacedClock clock(platform.clock);
  pm::qt::QtToolkit toolkit;
  pm::Services services{
      platform.fs,  clock,   platform.processes,      platform.registry, platform.dataSources,
      platform.dde, toolkit, platform.installerFolder};
  pm::frmUpgradeInstall form(services);

  QWidget* installWindow = nullptr;
  CancelAfter canceller(cancelAfter, installWindow);
  if (!cancelAfter.empty()) form.addObserver(&canceller);

  // Every 10 ms: answer the window that is up, once per showing. The answer is
  // given from the event loop, so a click that opens a modal window never
  // holds up this timer.
  // A window is marked once answered (a new window may reuse an old one's address).
  auto answered = [](QObject* w) { return w->property("pmAnswered").toBool(); };
  auto markAnswered = [](QObject* w) { w->setProperty("pmAnswered", true); };
  bool installPressed = false;
  int ticks = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (++ticks > 120 * 100) {
      std::cerr << "e2e_window_driver: windows shown:";
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
          std::cerr << " " << w->objectName().toStdString() << "(" << w->metaObject()->className()
                    << ")";
      }
      std::cerr << "\ne2e_window_driver: no progress for two minutes\n";
      std::_Exit(70);
    }
    auto once = [&](QWidget* w, auto action) {
      if (!w || answered(w)) return;
      markAnswered(w);
      QTimer::singleShot(0, action);
    };
    if (QWidget* box = visibleWindow("MsgBox")) {
      once(box, [box] {
        if (auto* m = qobject_cast<QMessageBox*>(box)) press(m->button(QMessageBox::Yes));
      });
      return;
    }
    if (QWidget* w = visibleWindow("frmSplash")) {
      once(w, [w] { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 5)); });
      return;
    }
    if (QWidget* w = visibleWindow("frmEULA")) {
      once(w, [w, &a] { press(child<QPushButton>(w, a.agree ? "cmdIread" : "cmdCancel")); });
      return;
    }
    if (QWidget* w = visibleWindow("frmOptions")) {
      once(w, [w, &a] {
        if (a.full) press(child<QCheckBox>(w, "chkInstallAll"));
        auto* help = child<QCheckBox>(w, "chkHelp");
        if (a.help && help && !help->isChecked()) press(help);
        press(child<QPushButton>(w, "cmdAccept"));
      });
      return;
    }
    if (QWidget* w = visibleWindow("frmInstallDirectory")) {
      once(w, [w, &a] {
        if (a.folder) type(child<QLineEdit>(w, "txtInstallDir"), *a.folder);
        press(child<QPushButton>(w, "cmdSubmit"));
      });
      return;
    }
    if (QWidget* w = visibleWindow("frmRegName")) {
      once(w, [w, &a] {
        if (a.name) type(child<QLineEdit>(w, "txtRegName"), *a.name);
        press(child<QPushButton>(w, "cmdSubmit"));
      });
      return;
    }
    QWidget* w = visibleWindow("frmUpgradeInstall");
    if (!w) return;
    installWindow = w;
    auto* install = child<QPushButton>(w, "cmdInstall");
    auto* close = child<QPushButton>(w, "cmdClose");
    if (!installPressed && install && install->isEnabled()) {
      installPressed = true;
      QTimer::singleShot(0, [w, install, &a] {
        if (a.validDates) {
          QTest::mousePress(child<QWidget>(w, "Image1"), Qt::LeftButton);
          press(child<QCheckBox>(w, "chkLibraryDate"));
        }
        press(install);
      });
    } else if (installPressed && close && close->isEnabled() && !answered(close)) {
      markAnswered(close);
      QTimer::singleShot(0, [w, close, &a] {
        if (a.launch) press(child<QCheckBox>(w, "chkLaunch"));
        press(close);
      });
    }
  });
  poll.start(10);

  toolkit.run(form);
  return 0;
}

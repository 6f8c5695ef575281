// The installer's real windows, drawn offscreen: each form's controls under
// their names, at their places in pixels (15 twips to the pixel), with their
// captions and states; and what only real widgets can show: fonts, colours,
// focus, the splash's keys, the message box. Clicking and typing through an
// install is played by the end-to-end window road.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>

#include "console/frmEULA.h"
#include "console/frmInstallDirectory.h"
#include "console/frmOptions.h"
#include "console/frmRegName.h"
#include "console/frmUpgradeInstall.h"
#include "platform/qt/qtToolkit.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

QRect twips(double left, double top, double width, double height) {
  return QRect(qt::toPixels(left), qt::toPixels(top), qt::toPixels(width), qt::toPixels(height));
}

struct Expected {
  const char* name;
  QRect geometry;
  std::string text;
};

void expectControls(QWidget& window, const std::vector<Expected>& table) {
  for (const Expected& e : table) {
    SCOPED_TRACE(e.name);
    auto* w = window.findChild<QWidget*>(e.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), e.geometry);
    const char* property = qobject_cast<QGroupBox*>(w)        ? "title"
                           : qobject_cast<QPlainTextEdit*>(w) ? "plainText"
                                                              : "text";
    EXPECT_EQ(w->property(property).toString().toStdString(), e.text);
  }
}

template <typename T = QWidget>
T* child(QWidget& window, const char* name) {
  auto* w = window.findChild<T*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

// Runs `steps` one after another from the event loop: each waits until its
// condition holds, then acts (later, so that an act that opens a modal window
// does not hold up the timer).
struct Step {
  std::function<bool()> ready;
  std::function<void()> act;
};
void schedule(std::vector<Step> steps) {
  auto* timer = new QTimer;
  auto remaining = std::make_shared<std::vector<Step>>(std::move(steps));
  auto at = std::make_shared<std::size_t>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, remaining, at] {
    if (*at >= remaining->size()) return timer->deleteLater();
    Step& step = (*remaining)[*at];
    if (step.ready && !step.ready()) return;
    ++*at;
    QTimer::singleShot(0, step.act);
  });
  timer->start(10);
}

QWidget* visible(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return w;
  return nullptr;
}

class QtWindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    qt::prepareEnvironment();
    qt::prepareApplication(*new QApplication(argc, argv));
  }
  // Shows a dialog modally; once its window is up, `look` looks at it; then it is closed.
  void showAndLook(ui::Form& form, const std::function<void(QWidget&)>& look) {
    bool looked = false;
    schedule({{[&] { return toolkit.windowOf(form) && toolkit.windowOf(form)->isVisible(); },
               [&] {
                 looked = true;
                 look(*toolkit.windowOf(form));
                 form.unload();
               }}});
    toolkit.showModal(form, nullptr);
    EXPECT_TRUE(looked) << form.name();
  }

  testing::WindowTestRig rig;
  qt::QtToolkit toolkit;
  Services services{{rig.fs, rig.clock, rig.processes, rig.registryStore, rig.dataSources, rig.dde,
                     rig.services.installerFolder},
                    toolkit};
};

TEST_F(QtWindowsTest, SplashThenInstallWindowAsDeclaredAndCancelAnsweredNo) {
  frmUpgradeInstall frm(services);
  QWidget* splash = nullptr;
  QWidget* main = nullptr;
  schedule({
      {[&] { return (splash = visible("frmSplash")) != nullptr; },
       [&] {
         EXPECT_EQ(splash->size(), QSize(321, 423));
         EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
         const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
         EXPECT_LE((splash->geometry().center() - screen.center()).manhattanLength(), 2);
         expectControls(*splash, {{"Label1", QRect(0, 376, 321, 41),
                                   "Pelmora v.1.9.5\nCopyright (C) Korrimel Software. All "
                                   "rights reserved."},
                                  {"Image1", QRect(24, 8, 283, 60), ""}});
         auto* label = child(*splash, "Label1");
         EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white));
         // The logo and the notice do not close it; a key does (and its surface, which
         // the window driver clicks).
         QTest::mouseClick(child(*splash, "Image1"), Qt::LeftButton);
         QTest::mouseClick(label, Qt::LeftButton);
         EXPECT_TRUE(splash->isVisible());
         QTest::keyClick(splash, Qt::Key_Space);
       }},
      {[&] { return (main = toolkit.windowOf(frm)) != nullptr && main->isVisible(); },
       [&] {
         EXPECT_EQ(main->windowTitle().toStdString(), "Upgrade Install");
         EXPECT_EQ(main->geometry(), QRect(298, 131, 608, 549));
         expectControls(*main,
                        {{"frmeLong", QRect(464, 8, 129, 41), "Long Install"},
                         {"chkLibraryDate", QRect(8, 16, 81, 17), "Valid Dates"},
                         {"cmdCancelInstall", QRect(504, 504, 89, 33), "Cancel"},
                         {"chkLaunch", QRect(448, 432, 153, 25), "Launch Pelmora"},
                         {"cmdClose", QRect(504, 464, 89, 33), "Complete"},
                         {"txtCurrent", QRect(8, 224, 577, 25), ""},
                         {"cmdInstall", QRect(520, 152, 73, 33), "Install"},
                         {"txtReport", QRect(8, 264, 369, 267), ""},
                         {"lblCurrent", QRect(400, 320, 185, 25), "Help Files"},
                         {"lblDDE", QRect(40, 32, 299, 17),
                          "This label is used for DDE connection to the Program Manager"},
                         {"shpProgress", QRect(8, 192, 1, 17), ""},
                         {"Image1", QRect(0, 0, 32, 32), ""},
                         {"Label1", QRect(40, 8, 241, 17), "Pelmora v.1.9.5 Install Program"},
                         {"shpBack", QRect(8, 192, 585, 17), ""}});
         const QFont install = child(*main, "cmdInstall")->font();
         EXPECT_EQ(install.family().toStdString(), "Arial");
         EXPECT_TRUE(install.bold());
         EXPECT_EQ(install.pointSizeF(), 9.75);
         EXPECT_EQ(QFontInfo(child(*main, "txtReport")->font()).family().toStdString(),
                   "Liberation Sans");
         // A check box shows the colour it was given, not the style's.
         const QColor windowColour(0xB7, 0xBB, 0xC6);
         auto* launch = child(*main, "chkLaunch");
         EXPECT_EQ(QColor(launch->grab().toImage().pixel(launch->width() - 3, 3)), windowColour);
         // The window follows the form: a report line, the bar, the frame.
         frm.state().stepCount = 1;
         frm.rept("Library File Check");
         EXPECT_EQ(child<QPlainTextEdit>(*main, "txtReport")->toPlainText(),
                   "Library File Check\n");
         EXPECT_EQ(child(*main, "shpProgress")->width(), 13);
         EXPECT_FALSE(child(*main, "cmdClose")->isEnabled());
         EXPECT_EQ(child(*main, "cmdClose")->toolTip().toStdString(), "Complete, Exit and Launch");
         for (Qt::MouseButton other : {Qt::RightButton, Qt::BackButton, Qt::ForwardButton})
           QTest::mousePress(child(*main, "Image1"), other);
         EXPECT_FALSE(child(*main, "frmeLong")->isVisible());  // until the logo is left-pressed
         QTest::mousePress(child(*main, "Image1"), Qt::LeftButton);
         EXPECT_TRUE(child(*main, "frmeLong")->isVisible());
         auto* dates = child(*main, "chkLibraryDate");
         QTest::mouseClick(dates, Qt::LeftButton, {}, QPoint(6, dates->height() / 2));
         EXPECT_TRUE(frm.libraryDateOption());
         QTest::mouseClick(child(*main, "cmdCancelInstall"), Qt::LeftButton);
       }},
      {[&] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
       [&] {
         auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
         EXPECT_EQ(box->windowTitle().toStdString(), "PMSetup");
         EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
         box->button(QMessageBox::No)->click();
       }},
      {[&] { return QApplication::activeModalWidget() == nullptr; },
       [&] {
         EXPECT_TRUE(frm.loaded());  // No keeps the window
         frm.unload();
       }},
  });
  toolkit.run(frm);
  EXPECT_NE(main, nullptr);
  EXPECT_FALSE(frm.loaded());
}

// Each dialog's size, caption and the controls where its layout is not a plain
// list of controls on the form: a frame's children, a text of many lines.
TEST_F(QtWindowsTest, DialogsAsDeclared) {
  ASSERT_TRUE(rig.fs.writeText("C:\\setup\\Eula.txt", "First line.\r\nSecond line.\r\n"));
  bool eulaAccepted = false;
  frmEULA eula(rig.fs, "C:\\setup", eulaAccepted);
  showAndLook(eula, [&](QWidget& w) {
    EXPECT_EQ(w.size(), QSize(457, 380));
    expectControls(w, {{"Label2", twips(0, 0, 6855, 255), "END USER LICENSE AGREEMENT"},
                       {"txtEULA", twips(480, 360, 5895, 3855), "First line.\nSecond line.\n"},
                       {"cmdIread", twips(5160, 4680, 975, 495), "I Agree"}});
    EXPECT_EQ(child(w, "Label2")->palette().color(QPalette::Window), QColor(0x42, 0x6F, 0xB0));
    EXPECT_TRUE(child<QPlainTextEdit>(w, "txtEULA")->isReadOnly());
    EXPECT_EQ(w.focusWidget(), child(w, "cmdCancel"));  // first in the tab order
  });

  frmOptions options;
  showAndLook(options, [&](QWidget& w) {
    EXPECT_EQ(w.windowTitle().toStdString(), "Install Options");
    EXPECT_EQ(w.size(), QSize(370, 437));
    EXPECT_EQ(child(w, "cmdAccept")->parentWidget(), child(w, "frmeOptions"));
    EXPECT_TRUE(child<QCheckBox>(w, "chkPLM")->isChecked());
    EXPECT_FALSE(child(w, "chkSamples")->isEnabled());
    expectControls(w, {{"frmeOptions", twips(240, 480, 4935, 3015), "Install Options"},
                       {"chkPLM", twips(240, 360, 4215, 255), "Install Pelmora Software"},
                       {"Image1", twips(720, 2160, 3495, 120), ""},
                       {"chkInstallAll", twips(240, 2520, 1575, 255), "Full Install"},
                       {"cmdAccept", twips(3600, 2400, 1095, 375), "Continue"}});
  });

  frmInstallDirectory folder;
  showAndLook(folder, [&](QWidget& w) {
    EXPECT_EQ(w.windowTitle().toStdString(), "Install Directory");
    EXPECT_EQ(w.size(), QSize(312, 157));
    expectControls(w,
                   {{"txtInstallDir", twips(120, 840, 4455, 390), "C:\\Program Files\\Pelmora"}});
  });

  frmRegName name;
  name.regName = "Ann";
  showAndLook(name, [&](QWidget& w) {
    EXPECT_EQ(w.windowTitle().toStdString(), "Registration Name");
    EXPECT_EQ(w.size(), QSize(312, 146));
    expectControls(w, {{"txtRegName", twips(120, 600, 4455, 390), "Ann"}});
    EXPECT_EQ(w.focusWidget(), child(w, "txtRegName"));
  });
}

}  // namespace
}  // namespace pm

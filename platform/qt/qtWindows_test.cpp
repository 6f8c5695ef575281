// The installer's real windows, drawn offscreen: every control is there under
// its name, at its place in pixels, with its caption, tooltip and state.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>

#include "console/frmSplash.h"
#include "console/frmUpgradeInstall.h"
#include "platform/qt/qtToolkit.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

QApplication& application() {
  static int argc = 1;
  static char name[] = "qt_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    // Another test of this program may have made it already: there is only one.
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
    qt::prepareEnvironment();
    auto* a = new QApplication(argc, argv);
    qt::prepareApplication(*a);
    return a;
  }();
  return *app;
}

// Runs `steps` one after another from the event loop: each waits until its
// condition holds, then acts.
struct Step {
  std::function<bool()> ready;
  std::function<void()> act;
};
void schedule(std::vector<Step> steps) {
  auto* timer = new QTimer;
  auto remaining = std::make_shared<std::vector<Step>>(std::move(steps));
  auto at = std::make_shared<std::size_t>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, remaining, at] {
    if (*at >= remaining->size()) {
      timer->deleteLater();
      return;
    }
    Step& step = (*remaining)[*at];
    if (step.ready && !step.ready()) return;
    ++*at;
    // Acted on later, from the event loop: an act that opens a modal window must
    // not hold up this timer.
    QTimer::singleShot(0, step.act);
  });
  timer->start(10);
}

struct Expected {
  const char* name;
  const char* widgetClass;
  QRect geometry;
  const char* text;
  const char* toolTip;
  bool shown;
  bool enabled;
};

void expectControls(QWidget* window, const std::vector<Expected>& table) {
  for (const Expected& e : table) {
    SCOPED_TRACE(e.name);
    auto* w = window->findChild<QWidget*>(e.name);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->inherits(e.widgetClass)) << w->metaObject()->className();
    EXPECT_EQ(w->geometry(), e.geometry);
    EXPECT_EQ(w->toolTip().toStdString(), e.toolTip);
    EXPECT_EQ(w->isVisibleTo(w->parentWidget()), e.shown);
    EXPECT_EQ(w->isEnabled(), e.enabled);
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
    if (auto* t = qobject_cast<QLineEdit*>(w)) text = t->text();
    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) text = t->toPlainText();
    EXPECT_EQ(text.toStdString(), e.text);
  }
}

class QtWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { application(); }
  testing::WindowTestRig rig;
  qt::QtToolkit toolkit;
  Services services{rig.fs,          rig.clock, rig.processes, rig.registryStore,
                    rig.dataSources, rig.dde,   toolkit,       rig.services.installerFolder};
};

TEST_F(QtWindowsTest, SplashThenInstallWindowAsDeclared) {
  frmUpgradeInstall frm(services);
  QWidget* splash = nullptr;
  QWidget* main = nullptr;
  auto splashShown = [&] {
    splash = qApp->findChild<QWidget*>("frmSplash");
    if (!splash) {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "frmSplash" && w->isVisible()) splash = w;
      }
    }
    return splash != nullptr;
  };
  schedule({
      {splashShown,
       [&] {
         EXPECT_EQ(splash->size(), QSize(321, 423));
         EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
         EXPECT_TRUE(splash->windowTitle().isEmpty());
         const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
         EXPECT_LE((splash->geometry().center() - screen.center()).manhattanLength(), 2);
         expectControls(splash,
                        {{"Label1",
                          "QLabel",
                          {0, 376, 321, 41},
                          "Pelmora v.1.9.5\nCopyright (C) Korrimel Software. All rights reserved.",
                          "",
                          true,
                          true},
                         {"Image1", "QWidget", {24, 8, 283, 60}, "", "", true, true}});
         auto* label = splash->findChild<QWidget*>("Label1");
         EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white));
         // The logo and the notice do not close it; its own surface does.
         QTest::mouseClick(splash->findChild<QWidget*>("Image1"), Qt::LeftButton);
         QTest::mouseClick(label, Qt::LeftButton);
         EXPECT_TRUE(splash->isVisible());
         QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(100, 200));
       }},
      {[&] { return (main = toolkit.windowOf(frm)) != nullptr && main->isVisible(); },
       [&] {
         EXPECT_EQ(main->windowTitle().toStdString(), "Upgrade Install");
         EXPECT_EQ(main->size(), QSize(608, 549));
         EXPECT_EQ(main->geometry().topLeft(), QPoint(298, 131));
         expectControls(
             main,
             {
                 {"frmeLong", "QGroupBox", {464, 8, 129, 41}, "Long Install", "", false, true},
                 {"chkLibraryDate", "QCheckBox", {8, 16, 81, 17}, "Valid Dates", "", true, true},
                 {"cmdCancelInstall",
                  "QPushButton",
                  {504, 504, 89, 33},
                  "Cancel",
                  "Cancel Install and Exit",
                  true,
                  true},
                 {"chkLaunch",
                  "QCheckBox",
                  {448, 432, 153, 25},
                  "Launch Pelmora",
                  "Select to Launch Pelmora when install is complete.",
                  true,
                  false},
                 {"cmdClose",
                  "QPushButton",
                  {504, 464, 89, 33},
                  "Complete",
                  "Complete, Exit and Launch",
                  true,
                  false},
                 {"txtCurrent", "QLineEdit", {8, 224, 577, 25}, "", "", true, true},
                 {"cmdInstall", "QPushButton", {520, 152, 73, 33}, "Install", "", true, true},
                 {"txtReport", "QPlainTextEdit", {8, 264, 369, 267}, "", "", true, true},
                 {"lblCurrent", "QLabel", {400, 320, 185, 25}, "Help Files", "", false, true},
                 {"lblDDE",
                  "QLabel",
                  {40, 32, 299, 17},
                  "This label is used for DDE connection to the Program Manager",
                  "",
                  false,
                  true},
                 {"shpProgress", "QWidget", {8, 192, 1, 17}, "", "", true, true},
                 {"Image1", "QWidget", {0, 0, 32, 32}, "", "", true, true},
                 {"Label1",
                  "QLabel",
                  {40, 8, 241, 17},
                  "Pelmora v.1.9.5 Install Program",
                  "",
                  true,
                  true},
                 {"shpBack", "QWidget", {8, 192, 585, 17}, "", "", true, true},
             });
         auto fontOf = [&](const char* name) { return main->findChild<QWidget*>(name)->font(); };
         EXPECT_EQ(fontOf("cmdInstall").family().toStdString(), "Arial");
         EXPECT_TRUE(fontOf("cmdInstall").bold());
         EXPECT_EQ(fontOf("cmdInstall").pointSizeF(), 9.75);
         EXPECT_EQ(fontOf("lblCurrent").pointSizeF(), 12);
         EXPECT_FALSE(fontOf("txtReport").bold());
         EXPECT_EQ(fontOf("Label1").family().toStdString(), "MS Sans Serif");
         EXPECT_EQ(QFontInfo(fontOf("txtReport")).family().toStdString(), "Liberation Sans");
         const QColor windowColour(0xB7, 0xBB, 0xC6);
         EXPECT_EQ(main->findChild<QWidget*>("cmdInstall")->palette().color(QPalette::Button),
                   windowColour);

         // A check box shows the colour it was given, not the style's.
         auto* launch = main->findChild<QWidget*>("chkLaunch");
         EXPECT_EQ(QColor(launch->grab().toImage().pixel(launch->width() - 3, 3)), windowColour);
         // The window follows the form: a report line, the bar, the frame.
         frm.state().stepCount = 1;
         frm.rept("Library File Check");
         EXPECT_EQ(main->findChild<QLineEdit*>("txtCurrent")->text(), "Library File Check");
         EXPECT_EQ(main->findChild<QPlainTextEdit*>("txtReport")->toPlainText(),
                   "Library File Check\n");
         EXPECT_EQ(main->findChild<QWidget*>("shpProgress")->width(), 13);
         QTest::mousePress(main->findChild<QWidget*>("Image1"), Qt::RightButton);
         EXPECT_FALSE(main->findChild<QWidget*>("frmeLong")->isVisible());
         QTest::mousePress(main->findChild<QWidget*>("Image1"), Qt::LeftButton);
         EXPECT_TRUE(main->findChild<QWidget*>("frmeLong")->isVisible());
         // A check box answers a click on its box.
         auto* validDates = main->findChild<QCheckBox*>("chkLibraryDate");
         QTest::mouseClick(validDates, Qt::LeftButton, {}, QPoint(6, validDates->height() / 2));
         EXPECT_TRUE(frm.libraryDateOption());
         EXPECT_TRUE(validDates->isChecked());
         frm.unload();
       }},
  });
  toolkit.run(frm);
  EXPECT_NE(main, nullptr);
  EXPECT_FALSE(frm.loaded());
}

TEST_F(QtWindowsTest, CancelAsksWithoutAnIconAndNoKeepsTheWindow) {
  frmUpgradeInstall frm(services);
  bool asked = false;
  schedule({
      {[&] {
         for (QWidget* w : QApplication::topLevelWidgets())
           if (w->objectName() == "frmSplash" && w->isVisible()) return true;
         return false;
       },
       [&] {
         QWidget* splash = nullptr;
         for (QWidget* w : QApplication::topLevelWidgets())
           if (w->objectName() == "frmSplash" && w->isVisible()) splash = w;
         QTest::keyClick(splash, Qt::Key_Space);
       }},
      {[&] { return toolkit.windowOf(frm) && toolkit.windowOf(frm)->isVisible(); },
       [&] {
         // Enter presses the focused button.
         auto* cancel = toolkit.windowOf(frm)->findChild<QPushButton*>("cmdCancelInstall");
         cancel->setFocus();
         QTest::keyClick(cancel, Qt::Key_Return);
       }},
      {[&] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
       [&] {
         auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
         asked = true;
         EXPECT_EQ(box->windowTitle().toStdString(), "PMSetup");
         EXPECT_EQ(box->text().toStdString(), "Are you sure you want to cancel this install?");
         EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
         EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
         box->button(QMessageBox::No)->click();
       }},
      {[&] { return QApplication::activeModalWidget() == nullptr; },
       [&] {
         EXPECT_TRUE(frm.loaded());
         frm.unload();
       }},
  });
  toolkit.run(frm);
  EXPECT_TRUE(asked);
}

}  // namespace
}  // namespace pm

// The installer's real windows, drawn offscreen: every control is there under
// its name, at its place in pixels (the dialogs' given in twips, 15 to the
// pixel), with its caption, tooltip and state, and the user's clicks, keys and
// typing reach the forms.
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

#include "console/frmEULA.h"
#include "console/frmInstallDirectory.h"
#include "console/frmOptions.h"
#include "console/frmRegName.h"
#include "console/frmSplash.h"
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
  const char* widgetClass;
  QRect geometry;
  std::string text;
  std::string toolTip = "";
  bool shown = true;
  bool enabled = true;
  bool checked = false;
};

void expectControls(QWidget& window, const std::vector<Expected>& table) {
  for (const Expected& e : table) {
    SCOPED_TRACE(e.name);
    auto* w = window.findChild<QWidget*>(e.name);
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
    if (auto* c = qobject_cast<QCheckBox*>(w)) {
      EXPECT_EQ(c->isChecked(), e.checked);
    }
  }
}

template <typename T = QWidget>
T* child(QWidget& window, const char* name) {
  auto* w = window.findChild<T*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

// Clicks a check box on its box, the way a user does.
void clickBox(QWidget& window, const char* name) {
  auto* box = child<QCheckBox>(window, name);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

QWidget* visibleSplash() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "frmSplash" && w->isVisible()) return w;
  return nullptr;
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
  // Shows a dialog modally; once its window is up, `act` looks at it and
  // answers it. Returns whether `act` ran.
  bool showAndAnswer(ui::Form& form, const std::function<void(QWidget&)>& act) {
    bool ran = false;
    schedule({{[&] { return toolkit.windowOf(form) && toolkit.windowOf(form)->isVisible(); },
               [&] {
                 ran = true;
                 act(*toolkit.windowOf(form));
                 if (form.loaded()) form.unload();  // whatever the answer, the show ends
               }}});
    toolkit.showModal(form, nullptr);
    return ran;
  }

  testing::WindowTestRig rig;
  qt::QtToolkit toolkit;
  Services services{rig.fs,          rig.clock, rig.processes, rig.registryStore,
                    rig.dataSources, rig.dde,   toolkit,       rig.services.installerFolder};
};

TEST_F(QtWindowsTest, SplashThenInstallWindowAsDeclared) {
  frmUpgradeInstall frm(services);
  QWidget* splash = nullptr;
  QWidget* main = nullptr;
  schedule({
      {[&] { return (splash = visibleSplash()) != nullptr; },
       [&] {
         EXPECT_EQ(splash->size(), QSize(321, 423));
         EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
         EXPECT_TRUE(splash->windowTitle().isEmpty());
         const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
         EXPECT_LE((splash->geometry().center() - screen.center()).manhattanLength(), 2);
         expectControls(*splash, {{"Label1", "QLabel", QRect(0, 376, 321, 41),
                                   "Pelmora v.1.9.5\nCopyright (C) Korrimel Software. All "
                                   "rights reserved."},
                                  {"Image1", "QWidget", QRect(24, 8, 283, 60), ""}});
         auto* label = child(*splash, "Label1");
         EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white));
         // The logo and the notice do not close it; its own surface does.
         QTest::mouseClick(child(*splash, "Image1"), Qt::LeftButton);
         QTest::mouseClick(label, Qt::LeftButton);
         EXPECT_TRUE(splash->isVisible());
         QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(100, 200));
       }},
      {[&] { return (main = toolkit.windowOf(frm)) != nullptr && main->isVisible(); },
       [&] {
         EXPECT_EQ(main->windowTitle().toStdString(), "Upgrade Install");
         EXPECT_EQ(main->geometry(), QRect(298, 131, 608, 549));
         expectControls(
             *main, {{"frmeLong", "QGroupBox", QRect(464, 8, 129, 41), "Long Install", "", false},
                     {"chkLibraryDate", "QCheckBox", QRect(8, 16, 81, 17), "Valid Dates"},
                     {"cmdCancelInstall", "QPushButton", QRect(504, 504, 89, 33), "Cancel",
                      "Cancel Install and Exit"},
                     {"chkLaunch", "QCheckBox", QRect(448, 432, 153, 25), "Launch Pelmora",
                      "Select to Launch Pelmora when install is complete.", true, false},
                     {"cmdClose", "QPushButton", QRect(504, 464, 89, 33), "Complete",
                      "Complete, Exit and Launch", true, false},
                     {"txtCurrent", "QLineEdit", QRect(8, 224, 577, 25), ""},
                     {"cmdInstall", "QPushButton", QRect(520, 152, 73, 33), "Install"},
                     {"txtReport", "QPlainTextEdit", QRect(8, 264, 369, 267), ""},
                     {"lblCurrent", "QLabel", QRect(400, 320, 185, 25), "Help Files", "", false},
                     {"lblDDE", "QLabel", QRect(40, 32, 299, 17),
                      "This label is used for DDE connection to the Program Manager", "", false},
                     {"shpProgress", "QWidget", QRect(8, 192, 1, 17), ""},
                     {"Image1", "QWidget", QRect(0, 0, 32, 32), ""},
                     {"Label1", "QLabel", QRect(40, 8, 241, 17), "Pelmora v.1.9.5 Install Program"},
                     {"shpBack", "QWidget", QRect(8, 192, 585, 17), ""}});
         const QFont install = child(*main, "cmdInstall")->font();
         EXPECT_EQ(install.family().toStdString(), "Arial");
         EXPECT_TRUE(install.bold());
         EXPECT_EQ(install.pointSizeF(), 9.75);
         EXPECT_EQ(child(*main, "lblCurrent")->font().pointSizeF(), 12);
         EXPECT_EQ(QFontInfo(child(*main, "txtReport")->font()).family().toStdString(),
                   "Liberation Sans");
         // A check box shows the colour it was given, not the style's.
         const QColor windowColour(0xB7, 0xBB, 0xC6);
         EXPECT_EQ(child(*main, "cmdInstall")->palette().color(QPalette::Button), windowColour);
         auto* launch = child(*main, "chkLaunch");
         EXPECT_EQ(QColor(launch->grab().toImage().pixel(launch->width() - 3, 3)), windowColour);
         // The window follows the form: a report line, the bar, the frame.
         frm.state().stepCount = 1;
         frm.rept("Library File Check");
         EXPECT_EQ(child<QLineEdit>(*main, "txtCurrent")->text(), "Library File Check");
         EXPECT_EQ(child<QPlainTextEdit>(*main, "txtReport")->toPlainText(),
                   "Library File Check\n");
         EXPECT_EQ(child(*main, "shpProgress")->width(), 13);
         QTest::mousePress(child(*main, "Image1"), Qt::RightButton);
         EXPECT_FALSE(child(*main, "frmeLong")->isVisible());
         QTest::mousePress(child(*main, "Image1"), Qt::LeftButton);
         EXPECT_TRUE(child(*main, "frmeLong")->isVisible());
         clickBox(*main, "chkLibraryDate");
         EXPECT_TRUE(frm.libraryDateOption());
         frm.unload();
       }},
  });
  toolkit.run(frm);
  EXPECT_NE(main, nullptr);
  EXPECT_FALSE(frm.loaded());
}

TEST_F(QtWindowsTest, AKeyClosesTheSplashAndCancelAsksWithoutAnIcon) {
  frmUpgradeInstall frm(services);
  bool asked = false;
  schedule({
      {[&] { return visibleSplash() != nullptr; },
       [&] { QTest::keyClick(visibleSplash(), Qt::Key_Space); }},
      {[&] { return toolkit.windowOf(frm) && toolkit.windowOf(frm)->isVisible(); },
       [&] {
         // Enter presses the focused button.
         auto* cancel = child<QPushButton>(*toolkit.windowOf(frm), "cmdCancelInstall");
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
         EXPECT_TRUE(frm.loaded());  // No keeps the window
         frm.unload();
       }},
  });
  toolkit.run(frm);
  EXPECT_TRUE(asked);
}

TEST_F(QtWindowsTest, AgreementShowsTheTextAndIAgreeAccepts) {
  ASSERT_TRUE(rig.fs.writeText("C:\\setup\\Eula.txt", "First line.\r\nSecond line.\r\n"));
  bool eulaAccepted = false;
  frmEULA dialog(rig.fs, "C:\\setup", eulaAccepted);
  EXPECT_TRUE(showAndAnswer(dialog, [&](QWidget& w) {
    EXPECT_EQ(w.objectName().toStdString(), "frmEULA");
    EXPECT_EQ(w.size(), QSize(457, 380));
    expectControls(
        w,
        {{"Label2", "QLabel", twips(0, 0, 6855, 255), "END USER LICENSE AGREEMENT"},
         {"txtEULA", "QPlainTextEdit", twips(480, 360, 5895, 3855), "First line.\nSecond line.\n"},
         {"cmdCancel", "QPushButton", twips(480, 4680, 1095, 495), "Cancel"},
         {"Label1", "QLabel", twips(1800, 4320, 3135, 1215),
          "Please read carefully.  If you agree to the terms of this agreement, please click "
          "'I Agree'.  Otherwise you may return the software for a full refund provided all "
          "copies are destroyed."},
         {"cmdIread", "QPushButton", twips(5160, 4680, 975, 495), "I Agree"}});
    auto* heading = child(w, "Label2");
    EXPECT_EQ(heading->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(heading->palette().color(QPalette::Window), QColor(0x42, 0x6F, 0xB0));
    EXPECT_TRUE(child<QPlainTextEdit>(w, "txtEULA")->isReadOnly());
    EXPECT_EQ(w.focusWidget(), child(w, "cmdCancel"));  // first in the tab order
    QTest::mouseClick(child(w, "cmdIread"), Qt::LeftButton);
    EXPECT_FALSE(dialog.loaded());
  }));
  EXPECT_TRUE(eulaAccepted);
}

TEST_F(QtWindowsTest, OptionsAsDeclaredAndFullInstallChecksEveryBox) {
  frmOptions dialog;
  EXPECT_TRUE(showAndAnswer(dialog, [&](QWidget& w) {
    EXPECT_EQ(w.windowTitle().toStdString(), "Install Options");
    EXPECT_EQ(w.size(), QSize(370, 437));
    for (const char* inside : {"chkPLM", "chkSamples", "Image1", "chkInstallAll", "cmdAccept"})
      EXPECT_EQ(child(w, inside)->parentWidget(), child(w, "frmeOptions")) << inside;
    expectControls(w, {{"frmeOptions", "QGroupBox", twips(240, 480, 4935, 3015), "Install Options"},
                       {"chkPLM", "QCheckBox", twips(240, 360, 4215, 255),
                        "Install Pelmora Software", "", true, true, true},
                       {"chkDatabase", "QCheckBox", twips(240, 600, 2535, 255), "Install Database",
                        "", true, false},
                       {"chkHelp", "QCheckBox", twips(240, 840, 4215, 255), "Install Help Files"},
                       {"chkDocumentation", "QCheckBox", twips(240, 1080, 4095, 255),
                        "Install Full Documentation", "", true, false},
                       {"chkSamples", "QCheckBox", twips(240, 1320, 3615, 255),
                        "Install Database Samples", "", true, false},
                       {"chkDictionaries", "QCheckBox", twips(240, 1560, 4455, 255),
                        "Install Occupation Dictionaries", "", true, false},
                       {"chkOtherSamples", "QCheckBox", twips(240, 1800, 4455, 255),
                        "Install Other Sample Files", "", true, false},
                       {"Image1", "QWidget", twips(720, 2160, 3495, 120), ""},
                       {"chkInstallAll", "QCheckBox", twips(240, 2520, 1575, 255), "Full Install"},
                       {"cmdAccept", "QPushButton", twips(3600, 2400, 1095, 375), "Continue"}});
    clickBox(w, "chkInstallAll");
    clickBox(w, "chkInstallAll");
    for (const char* box : {"chkPLM", "chkDatabase", "chkHelp", "chkDocumentation", "chkSamples",
                            "chkDictionaries", "chkOtherSamples"})
      EXPECT_TRUE(child<QCheckBox>(w, box)->isChecked()) << box;
    EXPECT_FALSE(child<QCheckBox>(w, "chkInstallAll")->isChecked());
    QTest::mouseClick(child(w, "cmdAccept"), Qt::LeftButton);
  }));
  EXPECT_TRUE(dialog.optHelp);
  EXPECT_TRUE(dialog.optSamples);
}

TEST_F(QtWindowsTest, FolderAndNameDialogsSubmitWhatIsTyped) {
  frmInstallDirectory folder;
  EXPECT_TRUE(showAndAnswer(folder, [&](QWidget& w) {
    EXPECT_EQ(w.windowTitle().toStdString(), "Install Directory");
    EXPECT_EQ(w.size(), QSize(312, 157));
    expectControls(w, {{"Label1", "QLabel", twips(240, 120, 4215, 615),
                        "Please enter your Install Directory or click submit to accept default."},
                       {"txtInstallDir", "QLineEdit", twips(120, 840, 4455, 390),
                        "C:\\Program Files\\Pelmora"},
                       {"cmdSubmit", "QPushButton", twips(1680, 1560, 1095, 495), "Submit",
                        "Click to submit Install Directory"}});
    auto* edit = child<QLineEdit>(w, "txtInstallDir");
    edit->selectAll();
    QTest::keyClicks(edit, "D:\\Pelmora ");
    QTest::mouseClick(child(w, "cmdSubmit"), Qt::LeftButton);
  }));
  EXPECT_EQ(folder.installDir, "D:\\Pelmora ");

  frmRegName name;
  name.regName = "Ann";
  EXPECT_TRUE(showAndAnswer(name, [&](QWidget& w) {
    EXPECT_EQ(w.windowTitle().toStdString(), "Registration Name");
    EXPECT_EQ(w.size(), QSize(312, 146));
    expectControls(
        w, {{"lblRegName", "QLabel", twips(1200, 120, 2175, 495), "Enter your Registration Name:"},
            {"txtRegName", "QLineEdit", twips(120, 600, 4455, 390), "Ann"},
            {"cmdSubmit", "QPushButton", twips(1680, 1320, 1095, 495), "Submit",
             "Click to submit Registration Name"}});
    auto* edit = child<QLineEdit>(w, "txtRegName");
    EXPECT_EQ(w.focusWidget(), edit);
    edit->end(false);
    QTest::keyClicks(edit, " O'Brien");
    QTest::mouseClick(child(w, "cmdSubmit"), Qt::LeftButton);
  }));
  EXPECT_EQ(name.regName, "Ann O'Brien");
}

}  // namespace
}  // namespace pm

// The four dialogs drawn offscreen: every control under its name, at its place
// (15 twips to the pixel), with its caption, state and font, and the user's
// clicks and typing reaching the dialog's results.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "console/frmEULA.h"
#include "console/frmInstallDirectory.h"
#include "console/frmOptions.h"
#include "console/frmRegName.h"
#include "console/installGlobals.h"
#include "platform/qt/qtToolkit.h"
#include "tests/fakeFileSystem.h"

namespace pm {
namespace {

void ensureApplication() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "qt_tests";
  static char* argv[] = {name, nullptr};
  qt::prepareEnvironment();
  auto* app = new QApplication(argc, argv);
  qt::prepareApplication(*app);
}

QRect twips(double left, double top, double width, double height) {
  return QRect(qt::toPixels(left), qt::toPixels(top), qt::toPixels(width), qt::toPixels(height));
}

struct Expected {
  const char* name;
  const char* widgetClass;
  QRect geometry;
  std::string text;
  bool enabled = true;
  bool checked = false;
};

void expectControls(QWidget* window, const std::vector<Expected>& table) {
  for (const Expected& e : table) {
    SCOPED_TRACE(e.name);
    auto* w = window->findChild<QWidget*>(e.name);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->inherits(e.widgetClass)) << w->metaObject()->className();
    EXPECT_EQ(w->geometry(), e.geometry);
    EXPECT_TRUE(w->isVisibleTo(window));
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

class DialogsQtTest : public ::testing::Test {
 protected:
  void SetUp() override { ensureApplication(); }

  // Shows the form modally; once its window is up, `act` looks at it and
  // answers it. Returns whether `act` ran.
  bool showAndAnswer(ui::Form& form, const std::function<void(QWidget&)>& act) {
    bool ran = false;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
      QWidget* window = toolkit.windowOf(form);
      if (!window || !window->isVisible()) return;
      timer->stop();
      timer->deleteLater();
      ran = true;
      act(*window);
      // Whatever the answer, the modal show must end.
      if (form.loaded()) form.unload();
    });
    timer->start(10);
    toolkit.showModal(form, nullptr);
    return ran;
  }

  template <typename T>
  static T* child(QWidget& window, const char* name) {
    auto* w = window.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // Clicks a check box on its box, the way a user does.
  static void clickBox(QWidget& window, const char* name) {
    auto* box = child<QCheckBox>(window, name);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  }

  qt::QtToolkit toolkit;
};

TEST_F(DialogsQtTest, AgreementShowsTheTextAndIAgreeAccepts) {
  testing::FakeFileSystem fs;
  fs.addFile("C:\\setup\\Eula.txt", "First line.\r\nSecond line.\r\n");
  frmEULA dialog(fs, "C:\\setup");
  eulaAccepted = false;
  EXPECT_TRUE(showAndAnswer(dialog, [&](QWidget& w) {
    EXPECT_EQ(w.objectName().toStdString(), "frmEULA");
    EXPECT_EQ(w.size(), QSize(457, 380));
    expectControls(
        &w,
        {{"Label2", "QLabel", twips(0, 0, 6855, 255), "END USER LICENSE AGREEMENT"},
         {"txtEULA", "QPlainTextEdit", twips(480, 360, 5895, 3855), "First line.\nSecond line.\n"},
         {"cmdCancel", "QPushButton", twips(480, 4680, 1095, 495), "Cancel"},
         {"Label1", "QLabel", twips(1800, 4320, 3135, 1215),
          "Please read carefully.  If you agree to the terms of this agreement, please click "
          "'I Agree'.  Otherwise you may return the software for a full refund provided all "
          "copies are destroyed."},
         {"cmdIread", "QPushButton", twips(5160, 4680, 975, 495), "I Agree"}});
    auto* heading = child<QLabel>(w, "Label2");
    EXPECT_EQ(heading->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(heading->palette().color(QPalette::Window), QColor(0x42, 0x6F, 0xB0));
    EXPECT_TRUE(heading->font().bold());
    EXPECT_TRUE(child<QLabel>(w, "Label1")->font().bold());
    auto* text = child<QPlainTextEdit>(w, "txtEULA");
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // "Cancel" is first in the tab order.
    EXPECT_EQ(w.focusWidget(), child<QWidget>(w, "cmdCancel"));
    QTest::mouseClick(child<QPushButton>(w, "cmdIread"), Qt::LeftButton);
    EXPECT_FALSE(dialog.loaded());
  }));
  EXPECT_TRUE(eulaAccepted);
}

TEST_F(DialogsQtTest, OptionsAsDeclaredAndFullInstallChecksEveryBox) {
  frmOptions dialog;
  EXPECT_TRUE(showAndAnswer(dialog, [&](QWidget& w) {
    EXPECT_EQ(w.windowTitle().toStdString(), "Install Options");
    EXPECT_EQ(w.size(), QSize(370, 437));
    auto* frame = child<QWidget>(w, "frmeOptions");
    for (const char* inside : {"chkPLM", "chkSamples", "Image1", "chkInstallAll", "cmdAccept"}) {
      EXPECT_EQ(child<QWidget>(w, inside)->parentWidget(), frame) << inside;
    }
    expectControls(
        &w, {{"frmeOptions", "QGroupBox", twips(240, 480, 4935, 3015), "Install Options"},
             {"chkPLM", "QCheckBox", twips(240, 360, 4215, 255), "Install Pelmora Software", true,
              true},
             {"chkDatabase", "QCheckBox", twips(240, 600, 2535, 255), "Install Database", false},
             {"chkHelp", "QCheckBox", twips(240, 840, 4215, 255), "Install Help Files"},
             {"chkDocumentation", "QCheckBox", twips(240, 1080, 4095, 255),
              "Install Full Documentation", false},
             {"chkSamples", "QCheckBox", twips(240, 1320, 3615, 255), "Install Database Samples",
              false},
             {"chkDictionaries", "QCheckBox", twips(240, 1560, 4455, 255),
              "Install Occupation Dictionaries", false},
             {"chkOtherSamples", "QCheckBox", twips(240, 1800, 4455, 255),
              "Install Other Sample Files", false},
             {"Image1", "QWidget", twips(720, 2160, 3495, 120), ""},
             {"chkInstallAll", "QCheckBox", twips(240, 2520, 1575, 255), "Full Install"},
             {"cmdAccept", "QPushButton", twips(3600, 2400, 1095, 375), "Continue"}});
    EXPECT_TRUE(child<QWidget>(w, "chkInstallAll")->font().bold());
    EXPECT_FALSE(child<QWidget>(w, "chkHelp")->font().bold());

    clickBox(w, "chkInstallAll");
    clickBox(w, "chkInstallAll");
    for (const char* box : {"chkPLM", "chkDatabase", "chkHelp", "chkDocumentation", "chkSamples",
                            "chkDictionaries", "chkOtherSamples"}) {
      EXPECT_TRUE(child<QCheckBox>(w, box)->isChecked()) << box;
    }
    EXPECT_FALSE(child<QCheckBox>(w, "chkInstallAll")->isChecked());
    EXPECT_FALSE(child<QWidget>(w, "chkSamples")->isEnabled());
    QTest::mouseClick(child<QPushButton>(w, "cmdAccept"), Qt::LeftButton);
  }));
  EXPECT_TRUE(dialog.optHelp);
  EXPECT_TRUE(dialog.optSamples);
}

TEST_F(DialogsQtTest, FolderDialogOffersTheDefaultAndSubmitsWhatIsTyped) {
  frmInstallDirectory dialog;
  EXPECT_TRUE(showAndAnswer(dialog, [&](QWidget& w) {
    EXPECT_EQ(w.windowTitle().toStdString(), "Install Directory");
    EXPECT_EQ(w.size(), QSize(312, 157));
    expectControls(&w, {{"Label1", "QLabel", twips(240, 120, 4215, 615),
                         "Please enter your Install Directory or click submit to accept default."},
                        {"txtInstallDir", "QLineEdit", twips(120, 840, 4455, 390),
                         "C:\\Program Files\\Pelmora"},
                        {"cmdSubmit", "QPushButton", twips(1680, 1560, 1095, 495), "Submit"}});
    auto* label = child<QLabel>(w, "Label1");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(child<QWidget>(w, "txtInstallDir")->font().pointSizeF(), 12);
    auto* edit = child<QLineEdit>(w, "txtInstallDir");
    edit->selectAll();
    QTest::keyClicks(edit, "D:\\Pelmora ");
    QTest::mouseClick(child<QPushButton>(w, "cmdSubmit"), Qt::LeftButton);
  }));
  EXPECT_EQ(dialog.installDir, "D:\\Pelmora ");
}

TEST_F(DialogsQtTest, NameDialogShowsThePresetWithTheFocusOnTheName) {
  frmRegName dialog;
  dialog.regName = "Ann";
  EXPECT_TRUE(showAndAnswer(dialog, [&](QWidget& w) {
    EXPECT_EQ(w.windowTitle().toStdString(), "Registration Name");
    EXPECT_EQ(w.size(), QSize(312, 146));
    expectControls(
        &w, {{"lblRegName", "QLabel", twips(1200, 120, 2175, 495), "Enter your Registration Name:"},
             {"txtRegName", "QLineEdit", twips(120, 600, 4455, 390), "Ann"},
             {"cmdSubmit", "QPushButton", twips(1680, 1320, 1095, 495), "Submit"}});
    EXPECT_EQ(child<QWidget>(w, "cmdSubmit")->toolTip().toStdString(),
              "Click to submit Registration Name");
    EXPECT_EQ(child<QWidget>(w, "txtRegName")->font().pointSizeF(), 12);
    auto* edit = child<QLineEdit>(w, "txtRegName");
    EXPECT_EQ(w.focusWidget(), edit);
    edit->end(false);
    QTest::keyClicks(edit, " O'Brien");
    QTest::mouseClick(child<QPushButton>(w, "cmdSubmit"), Qt::LeftButton);
  }));
  EXPECT_EQ(dialog.regName, "Ann O'Brien");
}

}  // namespace
}  // namespace pm

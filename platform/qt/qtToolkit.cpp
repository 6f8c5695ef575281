#include "platform/qt/qtToolkit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFont>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStyleFactory>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace pm::qt {

void prepareEnvironment() {
  // The layouts are in twips at 15 per pixel, i.e. 96 dots per inch: fonts are
  // sized for that and nothing is scaled.
  if (qEnvironmentVariableIsEmpty("QT_FONT_DPI")) qputenv("QT_FONT_DPI", "96");
  if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING")) {
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  }
}

namespace {

const char* noDisplayMessage = nullptr;
int noDisplayExit = 1;
QtMessageHandler qtHandler = nullptr;

[[noreturn]] void endWithoutDisplay() {
  std::fprintf(stderr, "%s\n", noDisplayMessage);
  std::_Exit(noDisplayExit);
}

// Qt ends a program it cannot give a display with a fatal message (after a
// warning that names the display), which would advise reinstalling: ours
// replaces it.
void fatalMeansNoDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) endWithoutDisplay();
  if (qtHandler) qtHandler(type, context, text);
}

}  // namespace

DisplayRequired::DisplayRequired(const char* message, int exitCode) {
  noDisplayMessage = message;
  noDisplayExit = exitCode;
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    endWithoutDisplay();
  qtHandler = qInstallMessageHandler(fatalMeansNoDisplay);
}

DisplayRequired::~DisplayRequired() {
  qInstallMessageHandler(qtHandler);
}

void prepareApplication(QApplication& app) {
  app.setStyle(QStyleFactory::create("Fusion"));
  // Arial's metric twin keeps captions inside the widths they were laid out for.
  QFont::insertSubstitutions("Arial", {"Liberation Sans", "Arimo", "DejaVu Sans"});
  QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "DejaVu Sans"});
  QFont::insertSubstitutions("Times New Roman", {"Liberation Serif", "DejaVu Serif"});
  QFont font("MS Sans Serif");
  font.setPointSizeF(8.25);
  app.setFont(font);
  app.setQuitOnLastWindowClosed(false);
}

void QtToolkit::doEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtToolkit::setMousePointer(int pointer) {
  const bool wasBusy = pointer_ != 0;
  pointer_ = pointer;
  if (pointer == 0) {
    if (wasBusy) QGuiApplication::restoreOverrideCursor();
    return;
  }
  const QCursor cursor(pointer == 11 ? Qt::WaitCursor : Qt::ArrowCursor);
  if (wasBusy) {
    QGuiApplication::changeOverrideCursor(cursor);
  } else {
    QGuiApplication::setOverrideCursor(cursor);
  }
}

QWidget* QtToolkit::activeParent() const {
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (it->second->isVisible()) return it->second;
  }
  return nullptr;
}

ui::MsgBoxResult QtToolkit::askYesNo(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, activeParent());
  box.setObjectName("MsgBox");
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes ? ui::MsgBoxResult::Yes : ui::MsgBoxResult::No;
}

void QtToolkit::notify(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, activeParent());
  box.setObjectName("MsgBox");
  box.exec();
}

void QtToolkit::endProgram() {
  std::fflush(nullptr);
  std::_Exit(0);
}

FormWindow* QtToolkit::windowOf(const ui::Form& form) const {
  auto it = windows_.find(&form);
  return it == windows_.end() ? nullptr : it->second;
}

void QtToolkit::show(ui::Form& form, ui::Form* owner, bool modal) {
  form.load();
  if (!form.loaded()) return;

  QWidget* ownerWindow = owner ? windowOf(*owner) : nullptr;
  auto window = std::make_unique<FormWindow>(form, ownerWindow);
  windows_[&form] = window.get();
  QEventLoop loop;
  window->onUnloaded = [&loop] { loop.quit(); };
  if (modal) window->setWindowModality(ownerWindow ? Qt::WindowModal : Qt::ApplicationModal);
  window->show();
  window->raise();
  window->activateWindow();
  // The new window takes the keyboard at once, so a key pressed right after it
  // appears reaches it (the window system confirms the activation later).
  if (!window->isActiveWindow()) QApplication::setActiveWindow(window.get());
  window->focusFirst();
  if (form.loaded()) loop.exec();
  windows_.erase(&form);
  window->onUnloaded = nullptr;
}

void QtToolkit::showModal(ui::Form& form, ui::Form* owner) {
  show(form, owner, true);
}

void QtToolkit::run(ui::Form& startForm) {
  show(startForm, nullptr, false);
}

}  // namespace pm::qt

#include "platform/qt/formWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <vector>

#include "platform/qt/pictures.h"

namespace pm::qt {

namespace {

QString toDisplay(const std::string& text) {
  QString s = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  s.replace("\r\n", "\n");
  s.replace('\r', '\n');
  return s;
}

std::string fromDisplay(const QString& text) {
  QString s = text;
  s.replace("\n", "\r\n");
  const QByteArray bytes = s.toLocal8Bit();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The form's button for a Qt button; the side buttons (back, forward) and any
// other have none, and a form never hears of them.
std::optional<ui::MouseButton> toButton(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton:
      return ui::MouseButton::Left;
    case Qt::RightButton:
      return ui::MouseButton::Right;
    case Qt::MiddleButton:
      return ui::MouseButton::Middle;
    default:
      return std::nullopt;
  }
}

Qt::Alignment toAlignment(ui::Alignment a) {
  switch (a) {
    case ui::Alignment::Center:
      return Qt::AlignHCenter;
    case ui::Alignment::Right:
      return Qt::AlignRight;
    default:
      return Qt::AlignLeft;
  }
}

bool isWindowed(ui::ControlKind kind) {
  return kind == ui::ControlKind::TextBox || kind == ui::ControlKind::Button ||
         kind == ui::ControlKind::CheckBox || kind == ui::ControlKind::Frame;
}

// A label or an image: takes its own presses (they do not reach the form's
// surface) and reports mouse-down and click to the form.
template <typename Base>
class PressableWidget : public Base {
 public:
  PressableWidget(ui::Form& form, std::string name, QWidget* parent)
      : Base(parent), form_(form), name_(std::move(name)) {}

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    e->accept();
    pressed_ = true;
    const std::string name = name_;
    if (const auto button = toButton(e->button())) form_.mouseDown(name, *button);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    e->accept();
    if (!pressed_) return;
    pressed_ = false;
    if (e->button() == Qt::LeftButton && this->rect().contains(e->position().toPoint())) {
      form_.click(name_);
    }
  }

 private:
  ui::Form& form_;
  std::string name_;
  bool pressed_ = false;
};

class ImageWidget : public PressableWidget<QWidget> {
 public:
  using PressableWidget::PressableWidget;
  QString picture;
  bool stretch = false;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    drawPicture(p, rect(), picture);
  }
};

// Shapes are drawn on the form and let the mouse through to it.
class ShapeWidget : public QWidget {
 public:
  explicit ShapeWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  bool filled = false;
  QColor fill, border;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    if (filled) p.fillRect(rect(), fill);
    p.setPen(border);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
};

// Text colours turn grey when the control is disabled;
// backgrounds are the same in every state.
void setPaletteColor(QWidget* w, QPalette::ColorRole role, const QColor& c) {
  QPalette pal = w->palette();
  const bool text =
      role == QPalette::WindowText || role == QPalette::ButtonText || role == QPalette::Text;
  if (text) {
    pal.setColor(QPalette::Active, role, c);
    pal.setColor(QPalette::Inactive, role, c);
    // Windows' grey text: readable on the window colours of the installer.
    pal.setColor(QPalette::Disabled, role, QColor(0x6D, 0x6D, 0x6D));
  } else {
    pal.setColor(QPalette::All, role, c);
  }
  w->setPalette(pal);
}

// Paints a widget (and what lies under it when it moved or vanished) at once,
// without handling any input, so a long click handler still shows its progress.
void repaintNow(QWidget* w, const QRect& before) {
  if (!w->window()->isVisible()) return;
  QWidget* parent = w->parentWidget();
  if (parent && before.isValid()) parent->repaint(before.united(w->geometry()));
  if (w->isVisible()) {
    w->repaint();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) edit->viewport()->repaint();
  }
}

}  // namespace

QColor toQColor(ui::Color color, const QPalette& palette) {
  if (ui::isSystemColor(color)) {
    switch (color) {
      case ui::kButtonText:
        return palette.color(QPalette::ButtonText);
      case ui::kWindowBackground:
        return palette.color(QPalette::Base);
      case ui::kWindowText:
        return palette.color(QPalette::Text);
      case ui::kButtonFace:
      default:
        return palette.color(QPalette::Button);
    }
  }
  return QColor(ui::redOf(color), ui::greenOf(color), ui::blueOf(color));
}

QFont toQFont(const ui::Font& font) {
  QFont f(QString::fromStdString(font.name));
  f.setPointSizeF(font.size);
  f.setBold(font.bold);
  f.setStyleHint(QFont::SansSerif);
  return f;
}

FormWindow::FormWindow(ui::Form& form, QWidget* owner)
    : QWidget(owner, owner ? Qt::Dialog : Qt::Window), form_(form) {
  setObjectName(QString::fromStdString(form.name()));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFocusPolicy(Qt::StrongFocus);
  if (!form.titleBar) {
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
  } else if (owner) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  } else {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
  }
  setWindowTitle(QString::fromStdString(form.caption));
  setAutoFillBackground(false);
  build();
  placeWindow();
  form_.addObserver(this);
}

FormWindow::~FormWindow() {
  form_.removeObserver(this);
}

void FormWindow::placeWindow() {
  const QSize size(toPixels(form_.width), toPixels(form_.height));
  setFixedSize(size);
  QPoint at(toPixels(form_.left), toPixels(form_.top));
  if (form_.centred) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    at = avail.center() - QPoint(size.width() / 2, size.height() / 2);
  }
  // The client area goes where the form says; the window system adds its frame.
  setGeometry(QRect(at, size));
}

void FormWindow::build() {
  // Creation order; windowed controls lie above the graphical ones (labels,
  // images, shapes), which are drawn on their container's surface.
  for (const ui::Control& c : form_.controls()) {
    if (c.kind == ui::ControlKind::Timer) {
      auto* timer = new QTimer(this);
      timer->setObjectName(QString::fromStdString(c.name));
      const std::string name = c.name;
      connect(timer, &QTimer::timeout, this, [this, name] { form_.timerTick(name); });
      timers_[c.name] = timer;
      applyTimer(c);
      continue;
    }
    QWidget* parent = this;
    if (!c.parent.empty()) parent = widgets_.at(c.parent);
    QWidget* w = create(c, parent);
    w->setObjectName(QString::fromStdString(c.name));
    widgets_[c.name] = w;
    apply(c, ui::Property::All);
  }
  std::vector<const ui::Control*> windowed;
  for (const ui::Control& c : form_.controls()) {
    if (isWindowed(c.kind)) {
      widgets_.at(c.name)->raise();
      windowed.push_back(&c);
    }
  }
  std::stable_sort(
      windowed.begin(), windowed.end(),
      [](const ui::Control* a, const ui::Control* b) { return a->tabIndex < b->tabIndex; });
  for (std::size_t i = 1; i < windowed.size(); ++i) {
    QWidget::setTabOrder(widgets_.at(windowed[i - 1]->name), widgets_.at(windowed[i]->name));
  }
}

QWidget* FormWindow::create(const ui::Control& c, QWidget* parent) {
  const std::string name = c.name;
  switch (c.kind) {
    case ui::ControlKind::Label: {
      auto* label = new PressableWidget<QLabel>(form_, name, parent);
      label->setWordWrap(true);
      label->setTextFormat(Qt::PlainText);
      return label;
    }
    case ui::ControlKind::TextBox:
      if (c.multiLine) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setTabChangesFocus(true);
        connect(edit, &QPlainTextEdit::textChanged, this,
                [this, name, edit] { form_.typeText(name, fromDisplay(edit->toPlainText())); });
        return edit;
      } else {
        auto* edit = new QLineEdit(parent);
        connect(edit, &QLineEdit::textEdited, this,
                [this, name](const QString& text) { form_.typeText(name, fromDisplay(text)); });
        return edit;
      }
    case ui::ControlKind::Button: {
      auto* button = new QPushButton(parent);
      // Enter presses the focused button, as Space does (the Windows way).
      button->setAutoDefault(true);
      connect(button, &QPushButton::clicked, this, [this, name] { form_.click(name); });
      return button;
    }
    case ui::ControlKind::CheckBox: {
      auto* box = new QCheckBox(parent);
      box->setAutoFillBackground(true);
      // Qt has toggled the box; the form toggles its value and the box follows it.
      connect(box, &QCheckBox::clicked, this, [this, name, box] {
        form_.click(name);
        if (form_.loaded()) {
          QSignalBlocker block(box);
          box->setChecked(form_.value(name) == 1);
        }
      });
      return box;
    }
    case ui::ControlKind::Frame: {
      auto* frame = new QGroupBox(parent);
      frame->setAutoFillBackground(true);
      return frame;
    }
    case ui::ControlKind::Image:
      return new ImageWidget(form_, name, parent);
    case ui::ControlKind::Shape:
      return new ShapeWidget(parent);
    case ui::ControlKind::Timer:
      break;
  }
  return new QWidget(parent);
}

void FormWindow::apply(const ui::Control& c, ui::Property property) {
  QWidget* w = widgets_.at(c.name);
  const bool all = property == ui::Property::All;
  const QString text = toDisplay(c.text);

  if (all || property == ui::Property::Geometry) {
    w->setGeometry(toPixels(c.left), toPixels(c.top), toPixels(c.width), toPixels(c.height));
  }
  if (all || property == ui::Property::Visible) w->setVisible(c.visible);
  if (all || property == ui::Property::Enabled) w->setEnabled(c.enabled);
  if (all || property == ui::Property::ToolTip) w->setToolTip(QString::fromStdString(c.toolTip));
  if (all || property == ui::Property::Font) w->setFont(toQFont(c.font));

  if (all || property == ui::Property::Colors) {
    const QPalette base = palette();
    const QColor fore = toQColor(c.foreColor, base);
    const QColor back = toQColor(c.backColor, base);
    switch (c.kind) {
      case ui::ControlKind::Label:
        setPaletteColor(w, QPalette::WindowText, fore);
        setPaletteColor(w, QPalette::Window, back);
        w->setAutoFillBackground(!c.transparent);
        break;
      case ui::ControlKind::TextBox:
        setPaletteColor(w, QPalette::Text, fore);
        setPaletteColor(w, QPalette::Base, back);
        break;
      case ui::ControlKind::Button:
        setPaletteColor(w, QPalette::ButtonText, fore);
        setPaletteColor(w, QPalette::Button, back);
        setPaletteColor(w, QPalette::Window, back);
        break;
      case ui::ControlKind::CheckBox:
        // A check box fills its background with the button colour.
        setPaletteColor(w, QPalette::WindowText, fore);
        setPaletteColor(w, QPalette::Window, back);
        setPaletteColor(w, QPalette::Button, back);
        break;
      case ui::ControlKind::Frame:
        setPaletteColor(w, QPalette::WindowText, fore);
        setPaletteColor(w, QPalette::Window, back);
        break;
      case ui::ControlKind::Shape: {
        auto* shape = static_cast<ShapeWidget*>(w);
        shape->filled = c.filled;
        shape->fill = toQColor(c.fillColor, base);
        shape->border = toQColor(c.borderColor, base);
        break;
      }
      default:
        break;
    }
  }

  if (all || property == ui::Property::Picture) {
    if (auto* image = dynamic_cast<ImageWidget*>(w)) {
      image->picture = QString::fromStdString(c.picture);
      image->stretch = c.stretch;
    }
  }

  if (all || property == ui::Property::Text || property == ui::Property::Value) {
    switch (c.kind) {
      case ui::ControlKind::Label: {
        auto* label = static_cast<QLabel*>(w);
        label->setText(text);
        label->setAlignment(toAlignment(c.alignment) | Qt::AlignTop);
        break;
      }
      case ui::ControlKind::TextBox:
        if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
          if (edit->toPlainText() != text) {
            QSignalBlocker block(edit);
            edit->setPlainText(text);  // shows the start of the text, as the report box does
          }
          edit->setReadOnly(c.locked);
          edit->setVerticalScrollBarPolicy(c.verticalScroll ? Qt::ScrollBarAlwaysOn
                                                            : Qt::ScrollBarAlwaysOff);
          edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
          if (line->text() != text) {
            QSignalBlocker block(line);
            line->setText(text);
            line->setCursorPosition(0);
          }
          line->setReadOnly(c.locked);
          line->setAlignment(toAlignment(c.alignment) | Qt::AlignVCenter);
        }
        break;
      case ui::ControlKind::Button:
        static_cast<QPushButton*>(w)->setText(text);
        break;
      case ui::ControlKind::CheckBox: {
        auto* box = static_cast<QCheckBox*>(w);
        box->setText(text);
        QSignalBlocker block(box);
        box->setChecked(c.value == 1);
        break;
      }
      case ui::ControlKind::Frame:
        static_cast<QGroupBox*>(w)->setTitle(text);
        break;
      default:
        break;
    }
  }
}

void FormWindow::applyTimer(const ui::Control& c) {
  QTimer* timer = timers_.at(c.name);
  timer->stop();
  if (c.enabled && c.interval > 0) timer->start(c.interval);
}

QWidget* FormWindow::widgetOf(const std::string& name) const {
  auto it = widgets_.find(name);
  return it == widgets_.end() ? nullptr : it->second;
}

void FormWindow::focusFirst() {
  QWidget* first = nullptr;
  int best = 0;
  for (const ui::Control& c : form_.controls()) {
    if (!isWindowed(c.kind) || c.kind == ui::ControlKind::Frame || !form_.reachable(c.name)) {
      continue;
    }
    if (!first || c.tabIndex < best) {
      first = widgets_.at(c.name);
      best = c.tabIndex;
    }
  }
  if (first) {
    first->setFocus(Qt::OtherFocusReason);
  } else {
    setFocus(Qt::OtherFocusReason);
  }
}

void FormWindow::controlChanged(ui::Form&, const ui::Control& control, ui::Property property) {
  if (control.kind == ui::ControlKind::Timer) {
    applyTimer(control);
    return;
  }
  QWidget* w = widgetOf(control.name);
  if (!w) return;
  const QRect before = (property == ui::Property::Geometry || property == ui::Property::Visible ||
                        property == ui::Property::All)
                           ? w->geometry()
                           : QRect();
  apply(control, property);
  repaintNow(w, before);
}

void FormWindow::formChanged(ui::Form& form) {
  setWindowTitle(QString::fromStdString(form.caption));
}

void FormWindow::formUnloaded(ui::Form&) {
  if (unloaded_) return;
  unloaded_ = true;
  for (auto& [name, timer] : timers_) timer->stop();
  hide();
  if (onUnloaded) onUnloaded();
}

void FormWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), toQColor(form_.backColor, palette()));
  if (!form_.picture.empty()) drawPicture(p, rect(), QString::fromStdString(form_.picture));
}

void FormWindow::mousePressEvent(QMouseEvent* e) {
  pressed_ = true;
  if (const auto button = toButton(e->button())) form_.mouseDown("", *button);
}

void FormWindow::mouseReleaseEvent(QMouseEvent* e) {
  if (!pressed_) return;
  pressed_ = false;
  if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) form_.click("");
}

void FormWindow::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
      QWidget::keyPressEvent(e);
      return;
    default:
      break;
  }
  const QString text = e->text();
  const int keyAscii = text.isEmpty() ? 0 : static_cast<unsigned char>(text.at(0).toLatin1());
  form_.keyPress(keyAscii);
}

void FormWindow::closeEvent(QCloseEvent* e) {
  // The form decides; when it unloads, formUnloaded hides the window.
  e->ignore();
  if (form_.loaded()) form_.requestClose();
}

}  // namespace pm::qt

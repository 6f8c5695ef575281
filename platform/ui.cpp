#include "platform/ui.h"

#include <algorithm>
#include <stdexcept>

namespace pm::ui {

Form::Form(std::string name) : name_(std::move(name)) {}

void Form::setCaption(const std::string& text) {
  caption = text;
  for (auto* o : std::vector<FormObserver*>(observers_)) o->formChanged(*this);
}

Control& Form::add(Control control) {
  if (control.name.empty() || has(control.name)) {
    throw std::logic_error("form " + name_ + ": control name \"" + control.name +
                           "\" is empty or declared twice");
  }
  if (!control.parent.empty() &&
      (!has(control.parent) || this->control(control.parent).kind != ControlKind::Frame)) {
    throw std::logic_error("form " + name_ + ": control " + control.name +
                           " sits in an undeclared frame " + control.parent);
  }
  control.tabIndex = static_cast<int>(controls_.size());
  index_[control.name] = controls_.size();
  controls_.push_back(std::move(control));
  return controls_.back();
}

namespace {

Control make(ControlKind kind, const std::string& name, const std::string& text, double left,
             double top, double width, double height) {
  Control c;
  c.kind = kind;
  c.name = name;
  c.text = text;
  c.left = left;
  c.top = top;
  c.width = width;
  c.height = height;
  return c;
}

}  // namespace

Control& Form::addLabel(const std::string& name, const std::string& caption, double left,
                        double top, double width, double height) {
  return add(make(ControlKind::Label, name, caption, left, top, width, height));
}

Control& Form::addTextBox(const std::string& name, const std::string& text, double left, double top,
                          double width, double height, bool multiLine) {
  Control c = make(ControlKind::TextBox, name, text, left, top, width, height);
  c.multiLine = multiLine;
  c.foreColor = kWindowText;
  c.backColor = kWindowBackground;
  return add(std::move(c));
}

Control& Form::addButton(const std::string& name, const std::string& caption, double left,
                         double top, double width, double height) {
  return add(make(ControlKind::Button, name, caption, left, top, width, height));
}

Control& Form::addCheckBox(const std::string& name, const std::string& caption, double left,
                           double top, double width, double height) {
  return add(make(ControlKind::CheckBox, name, caption, left, top, width, height));
}

Control& Form::addFrame(const std::string& name, const std::string& caption, double left,
                        double top, double width, double height) {
  return add(make(ControlKind::Frame, name, caption, left, top, width, height));
}

Control& Form::addImage(const std::string& name, const std::string& picture, double left,
                        double top, double width, double height) {
  Control c = make(ControlKind::Image, name, "", left, top, width, height);
  c.picture = picture;
  return add(std::move(c));
}

Control& Form::addShape(const std::string& name, double left, double top, double width,
                        double height) {
  return add(make(ControlKind::Shape, name, "", left, top, width, height));
}

Control& Form::addTimer(const std::string& name, int intervalMs) {
  Control c = make(ControlKind::Timer, name, "", 0, 0, 0, 0);
  c.interval = intervalMs;
  c.visible = false;
  return add(std::move(c));
}

const Control& Form::control(const std::string& name) const {
  auto it = index_.find(name);
  if (it == index_.end()) throw std::out_of_range("form " + name_ + " has no control " + name);
  return controls_[it->second];
}

Control& Form::mutableControl(const std::string& name) {
  return const_cast<Control&>(static_cast<const Form&>(*this).control(name));
}

bool Form::reachable(const std::string& name) const {
  const Control* c = &control(name);
  while (true) {
    if (!c->enabled || (c->kind != ControlKind::Timer && !c->visible)) return false;
    if (c->parent.empty()) return true;
    c = &control(c->parent);
  }
}

void Form::notify(const Control& control, Property property) {
  // A copy: an observer may remove itself while it is told.
  for (auto* o : std::vector<FormObserver*>(observers_))
    o->controlChanged(*this, control, property);
}

void Form::setText(const std::string& name, const std::string& text) {
  Control& c = mutableControl(name);
  c.text = text;
  notify(c, Property::Text);
}

void Form::setVisible(const std::string& name, bool visible) {
  Control& c = mutableControl(name);
  c.visible = visible;
  notify(c, Property::Visible);
}

void Form::setEnabled(const std::string& name, bool enabled) {
  Control& c = mutableControl(name);
  c.enabled = enabled;
  notify(c, c.kind == ControlKind::Timer ? Property::Timer : Property::Enabled);
}

void Form::setValue(const std::string& name, int value) {
  Control& c = mutableControl(name);
  c.value = value;
  notify(c, Property::Value);
}

void Form::setGeometry(const std::string& name, double left, double top, double width,
                       double height) {
  Control& c = mutableControl(name);
  c.left = left;
  c.top = top;
  c.width = width;
  c.height = height;
  notify(c, Property::Geometry);
}

void Form::setWidth(const std::string& name, double width) {
  Control& c = mutableControl(name);
  c.width = width;
  notify(c, Property::Geometry);
}

void Form::setToolTip(const std::string& name, const std::string& toolTip) {
  Control& c = mutableControl(name);
  c.toolTip = toolTip;
  notify(c, Property::ToolTip);
}

void Form::setTimerInterval(const std::string& name, int intervalMs) {
  Control& c = mutableControl(name);
  c.interval = intervalMs;
  notify(c, Property::Timer);
}

void Form::modify(const std::string& name, const std::function<void(Control&)>& change) {
  Control& c = mutableControl(name);
  const std::string keptName = c.name;
  const std::string keptParent = c.parent;
  const ControlKind keptKind = c.kind;
  change(c);
  // Identity is fixed at declaration.
  c.name = keptName;
  c.parent = keptParent;
  c.kind = keptKind;
  notify(c, Property::All);
}

void Form::load() {
  if (loaded_) return;
  loaded_ = true;
  onLoad();
}

void Form::unload() {
  if (!loaded_) return;
  onUnload();
  loaded_ = false;
  for (auto* o : std::vector<FormObserver*>(observers_)) o->formUnloaded(*this);
}

bool Form::click(const std::string& name) {
  if (!loaded_) return false;
  if (!name.empty()) {
    if (!reachable(name)) return false;
    Control& c = mutableControl(name);
    if (c.kind == ControlKind::Timer) return false;
    if (c.kind == ControlKind::CheckBox) setValue(name, c.value == 1 ? 0 : 1);
  }
  onClick(name);
  return true;
}

bool Form::mouseDown(const std::string& name, MouseButton button) {
  if (!loaded_) return false;
  if (!name.empty() && (!reachable(name) || control(name).kind == ControlKind::Timer)) {
    return false;
  }
  onMouseDown(name, button);
  return true;
}

bool Form::keyPress(int keyAscii) {
  if (!loaded_) return false;
  onKeyPress(keyAscii);
  return true;
}

bool Form::typeText(const std::string& name, const std::string& text) {
  if (!loaded_ || !reachable(name)) return false;
  Control& c = mutableControl(name);
  if (c.kind != ControlKind::TextBox || c.locked) return false;
  if (c.text == text) return true;
  setText(name, text);
  onChange(name);
  return true;
}

bool Form::timerTick(const std::string& name) {
  if (!loaded_) return false;
  const Control& c = control(name);
  if (c.kind != ControlKind::Timer || !c.enabled || c.interval <= 0) return false;
  onTimer(name);
  return true;
}

bool Form::requestClose() {
  if (!loaded_) return false;
  if (!onQueryClose()) return false;
  unload();
  return true;
}

void Form::addObserver(FormObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void Form::removeObserver(FormObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void Toolkit::showModal(Form& form, Form* owner) {
  (void)owner;
  form.load();
  if (form.loaded()) form.unload();
}

void Toolkit::run(Form& startForm) {
  startForm.load();
}

}  // namespace pm::ui

#include "unattended/reportEcho.h"

namespace pm::unattended {

void ReportEcho::controlChanged(ui::Form& form, const ui::Control& control, ui::Property property) {
  (void)form;
  if (control.name != control_ || (property != ui::Property::Text && property != ui::Property::All))
    return;
  const std::string& text = control.text;
  std::string fresh;
  if (text.compare(0, shown_.size(), shown_) == 0) {
    fresh = text.substr(shown_.size());
  } else {
    fresh = text;  // the box was emptied or replaced
  }
  shown_ = text;
  if (fresh.empty()) return;
  std::string lines;
  lines.reserve(fresh.size());
  for (std::size_t i = 0; i < fresh.size(); ++i) {
    if (fresh[i] == '\r' && i + 1 < fresh.size() && fresh[i + 1] == '\n') continue;
    lines += fresh[i];
  }
  out_ << lines;
}

}  // namespace pm::unattended

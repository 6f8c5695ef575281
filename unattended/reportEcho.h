// Prints the install report as it is written: watches the install window's
// report box and writes each new piece out, line endings as on this
// platform (LF). An emptied box starts the echo afresh.
#pragma once

#include <string>

#include "platform/ui.h"
#include "unattended/textWriter.h"

namespace pm::unattended {

class ReportEcho : public ui::FormObserver {
 public:
  ReportEcho(TextWriter& out, std::string control = "txtReport")
      : out_(out), control_(std::move(control)) {}

  void controlChanged(ui::Form& form, const ui::Control& control, ui::Property property) override;
  void formChanged(ui::Form&) override {}
  void formUnloaded(ui::Form&) override {}

 private:
  TextWriter& out_;
  std::string control_;
  std::string shown_;  // the report text printed so far
};

}  // namespace pm::unattended

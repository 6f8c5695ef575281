// Prints the install report as it is written: watches the install window's
// report box and writes each new piece to a stream, line endings as on this
// platform (LF). An emptied box starts the echo afresh.
#pragma once

#include <ostream>
#include <string>

#include "platform/ui.h"

namespace pm::unattended {

class ReportEcho : public ui::FormObserver {
 public:
  ReportEcho(std::ostream& out, std::string control = "txtReport")
      : out_(out), control_(std::move(control)) {}

  void controlChanged(ui::Form& form, const ui::Control& control, ui::Property property) override;
  void formChanged(ui::Form&) override {}
  void formUnloaded(ui::Form&) override {}

 private:
  std::ostream& out_;
  std::string control_;
  std::string shown_;  // the report text printed so far
};

}  // namespace pm::unattended

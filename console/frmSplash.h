// The splash window: the first thing the user sees. The install window shows it
// modally while it loads; it closes itself a quarter of a minute after its timer
// first ticks, or at once on a click on its own surface or any key.
#pragma once

#include <optional>

#include "platform/clock.h"
#include "platform/ui.h"

namespace pm {

class frmSplash : public ui::Form {
 public:
  explicit frmSplash(Clock& clock);

  // When the timer first ticked; empty before that.
  std::optional<DateTime> startTime;

  // The window closes once more than this many second boundaries have passed
  // since the first tick.
  static constexpr int kShownSeconds = 15;

 protected:
  void onLoad() override;
  void onTimer(const std::string& timer) override;
  void onClick(const std::string& control) override;
  void onKeyPress(int keyAscii) override;

 private:
  Clock& clock_;
};

}  // namespace pm

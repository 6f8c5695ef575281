#include "platform/ui.h"

#include <gtest/gtest.h>

#include <vector>

namespace pm::ui {
namespace {

using Events = std::vector<std::string>;

// A form that records what reaches its handlers.
class Probe : public Form {
 public:
  Probe() : Form("frmProbe") {
    addFrame("frme", "Frame", 0, 0, 1000, 1000);
    addCheckBox("chk", "Check", 10, 10, 100, 20).parent = "frme";
    addButton("cmd", "Button", 10, 10, 100, 20);
    addTextBox("txt", "", 0, 0, 100, 20);
    addTimer("tmr", 100);
  }
  Events events;
  bool allowClose = true;

 protected:
  void onLoad() override { events.push_back("load"); }
  void onUnload() override { events.push_back("unload"); }
  // A check box's handler sees the value the click gave it.
  void onClick(const std::string& c) override {
    events.push_back("click " + c + (c == "chk" ? "=" + std::to_string(value(c)) : ""));
  }
  void onChange(const std::string& c) override { events.push_back("change " + c); }
  void onTimer(const std::string& t) override { events.push_back("timer " + t); }
  bool onQueryClose() override { return allowClose; }
};

// What the user cannot reach, no event reaches: the dialogs rely on it to keep
// choices that are not on offer out of the results.
TEST(FormTest, ActionsReachOnlyALoadedFormAndControlsTheUserCanReach) {
  Probe form;
  EXPECT_FALSE(form.click("cmd"));  // not loaded yet
  form.load();
  EXPECT_TRUE(form.click("chk"));
  EXPECT_TRUE(form.click("chk"));
  form.setVisible("frme", false);  // hides the check box with it
  EXPECT_FALSE(form.click("chk"));
  form.setVisible("frme", true);
  form.setEnabled("frme", false);
  EXPECT_FALSE(form.click("chk"));
  EXPECT_EQ(form.value("chk"), 0);

  EXPECT_TRUE(form.typeText("txt", "abc"));
  EXPECT_TRUE(form.typeText("txt", "abc"));  // no change, no event
  form.modify("txt", [](Control& c) { c.locked = true; });
  EXPECT_FALSE(form.typeText("txt", "xyz"));
  EXPECT_EQ(form.text("txt"), "abc");

  EXPECT_TRUE(form.timerTick("tmr"));
  form.setTimerInterval("tmr", 0);
  EXPECT_FALSE(form.timerTick("tmr"));

  form.allowClose = false;
  EXPECT_FALSE(form.requestClose());
  EXPECT_TRUE(form.loaded());
  form.allowClose = true;
  EXPECT_TRUE(form.requestClose());
  EXPECT_FALSE(form.click(""));
  EXPECT_EQ(form.events,
            (Events{"load", "click chk=1", "click chk=0", "change txt", "timer tmr", "unload"}));
}

}  // namespace
}  // namespace pm::ui

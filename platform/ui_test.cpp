#include "platform/ui.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace pm::ui {
namespace {

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
  std::vector<std::string> events;
  bool allowClose = true;

 protected:
  void onLoad() override { events.push_back("load"); }
  void onUnload() override { events.push_back("unload"); }
  void onClick(const std::string& c) override { events.push_back("click " + c); }
  void onMouseDown(const std::string& c, MouseButton b) override {
    events.push_back("down " + c + " " + std::to_string(static_cast<int>(b)));
  }
  void onKeyPress(int key) override { events.push_back("key " + std::to_string(key)); }
  void onChange(const std::string& c) override { events.push_back("change " + c); }
  void onTimer(const std::string& t) override { events.push_back("timer " + t); }
  bool onQueryClose() override { return allowClose; }
};

class Recorder : public FormObserver {
 public:
  void controlChanged(Form&, const Control& c, Property p) override {
    changes.push_back(c.name + ":" + std::to_string(static_cast<int>(p)));
  }
  void formChanged(Form& f) override { changes.push_back("caption:" + f.caption); }
  void formUnloaded(Form&) override { ++unloads; }
  std::vector<std::string> changes;
  int unloads = 0;
};

TEST(FormTest, DeclarationRejectsDuplicateNamesAndUnknownFrames) {
  Probe form;
  EXPECT_THROW(form.addButton("cmd", "again", 0, 0, 1, 1), std::logic_error);
  Control orphan;
  orphan.name = "orphan";
  orphan.parent = "nowhere";
  EXPECT_THROW(form.add(orphan), std::logic_error);
  orphan.parent = "cmd";  // not a frame
  EXPECT_THROW(form.add(orphan), std::logic_error);
  EXPECT_THROW(form.control("missing"), std::out_of_range);
  // Creation order is the tab order until a form says otherwise.
  EXPECT_LT(form.control("chk").tabIndex, form.control("cmd").tabIndex);
}

TEST(FormTest, ActionsReachOnlyALoadedFormAndControlsTheUserCanReach) {
  Probe form;
  EXPECT_FALSE(form.click("cmd"));  // not loaded yet
  form.load();
  form.load();
  EXPECT_EQ(form.events, std::vector<std::string>{"load"});

  EXPECT_TRUE(form.click("chk"));
  EXPECT_EQ(form.value("chk"), 1);
  EXPECT_TRUE(form.click("chk"));
  EXPECT_EQ(form.value("chk"), 0);

  form.setVisible("frme", false);  // hides the check box with it
  EXPECT_FALSE(form.click("chk"));
  EXPECT_FALSE(form.mouseDown("chk", MouseButton::Left));
  form.setVisible("frme", true);
  form.setEnabled("frme", false);
  EXPECT_FALSE(form.click("chk"));
  EXPECT_EQ(form.value("chk"), 0);
  form.setEnabled("cmd", false);
  EXPECT_FALSE(form.click("cmd"));
  EXPECT_TRUE(form.click(""));  // the form's own surface
  EXPECT_TRUE(form.mouseDown("", MouseButton::Right));
  EXPECT_TRUE(form.keyPress(27));

  EXPECT_EQ(form.events, (std::vector<std::string>{"load", "click chk", "click chk", "click ",
                                                   "down  2", "key 27"}));
}

TEST(FormTest, TypingAndTimersFollowTheControlsState) {
  Probe form;
  form.load();
  EXPECT_TRUE(form.typeText("txt", "abc"));
  EXPECT_TRUE(form.typeText("txt", "abc"));  // no change, no event
  form.modify("txt", [](Control& c) { c.locked = true; });
  EXPECT_FALSE(form.typeText("txt", "xyz"));
  EXPECT_EQ(form.text("txt"), "abc");
  EXPECT_FALSE(form.typeText("cmd", "not a text box"));

  EXPECT_TRUE(form.timerTick("tmr"));
  form.setEnabled("tmr", false);
  EXPECT_FALSE(form.timerTick("tmr"));
  form.setEnabled("tmr", true);
  form.setTimerInterval("tmr", 0);
  EXPECT_FALSE(form.timerTick("tmr"));
  EXPECT_FALSE(form.timerTick("cmd"));
  EXPECT_EQ(form.events, (std::vector<std::string>{"load", "change txt", "timer tmr"}));
}

TEST(FormTest, ObserversHearEveryChangeAndTheUnload) {
  Probe form;
  Recorder recorder;
  form.addObserver(&recorder);
  form.addObserver(&recorder);  // once only
  form.load();
  form.setText("txt", "a");
  form.setWidth("cmd", 5);
  form.setEnabled("tmr", false);
  form.setCaption("New");
  // modify cannot change what a control is.
  form.modify("cmd", [](Control& c) {
    c.name = "renamed";
    c.kind = ControlKind::Label;
    c.text = "changed";
  });
  EXPECT_TRUE(form.has("cmd"));
  EXPECT_EQ(form.control("cmd").kind, ControlKind::Button);
  EXPECT_EQ(form.text("cmd"), "changed");
  const auto p = [](Property x) { return std::to_string(static_cast<int>(x)); };
  EXPECT_EQ(recorder.changes,
            (std::vector<std::string>{"txt:" + p(Property::Text), "cmd:" + p(Property::Geometry),
                                      "tmr:" + p(Property::Timer), "caption:New",
                                      "cmd:" + p(Property::All)}));

  form.allowClose = false;
  EXPECT_FALSE(form.requestClose());
  EXPECT_TRUE(form.loaded());
  form.allowClose = true;
  EXPECT_TRUE(form.requestClose());
  EXPECT_FALSE(form.loaded());
  EXPECT_EQ(recorder.unloads, 1);
  form.unload();
  EXPECT_EQ(recorder.unloads, 1);
  EXPECT_FALSE(form.click("cmd"));
  EXPECT_EQ(form.events.back(), "unload");
}

// Without a window system a modal show loads the form and closes it unanswered.
TEST(FormTest, TheDefaultModalShowLoadsAndClosesTheForm) {
  class Headless : public Toolkit {
   public:
    void doEvents() override {}
    void setMousePointer(int) override {}
    int mousePointer() const override { return 0; }
    MsgBoxResult askYesNo(const std::string&, const std::string&) override {
      return MsgBoxResult::No;
    }
    void notify(const std::string&, const std::string&) override {}
    [[noreturn]] void endProgram() override { throw std::runtime_error("end"); }
  } toolkit;
  Probe form;
  toolkit.showModal(form, nullptr);
  EXPECT_EQ(form.events, (std::vector<std::string>{"load", "unload"}));
}

}  // namespace
}  // namespace pm::ui

// Command routing and update-UI along a route of targets, and the QActions that follow it.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QObject>
#include <string>
#include <vector>

#include "platform/gui/CommandActions.h"
#include "platform/gui/Commands.h"
#include "platform/gui/ErrorHook.h"

namespace {

using gui::CmdTarget;
using gui::CmdUI;

std::vector<std::string> g_ran;

// A target that handles a list of commands, answers update-UI for another list (checking
// the command and naming itself in the text) and throws for one id.
class Target : public CmdTarget {
 public:
  Target(std::string name, std::vector<UINT> commands, std::vector<UINT> updates, UINT throwing = 0)
      : m_name(std::move(name)) {
    for (UINT id : commands)
      OnCommand(id, [this, id, throwing] {
        if (id == throwing) GTHROW(u"!handler failed");
        g_ran.push_back(m_name);
      });
    for (UINT id : updates)
      OnUpdateCommandUI(id, [this, throwing](CmdUI* ui) {
        if (ui->m_nID == throwing) GTHROW(u"!update failed");
        ui->SetCheck(1);
        ui->SetText(std::u16string(m_name.begin(), m_name.end()).c_str());
      });
  }

 private:
  std::string m_name;
};

// The paint space's way: its current tool first, then its own map.
class Space : public CmdTarget {
 public:
  Space() { OnCommandRange(32782, 32789, [](UINT) { g_ran.push_back("space-range"); }); }
  BOOL OnCmdMsg(UINT id, int code, void* extra, gui::CmdHandlerInfo* info) override {
    if (tool && tool->OnCmdMsg(id, code, extra, info)) return TRUE;
    return CmdTarget::OnCmdMsg(id, code, extra, info);
  }
  CmdTarget* tool = nullptr;
};

class Routing : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ran.clear();
    space.tool = &tool;
    route.SetTargets({&space, &list, &frame});
    gui::SetErrorHandler([this](GError* e) { reported.emplace_back(e->GetCondition()); });
  }
  void TearDown() override { gui::SetErrorHandler(nullptr); }

  Target tool{"tool", {32780, 32783}, {32780, 32777}};
  Space space;
  Target list{"list", {32797, 32780, 500}, {32797, 32782, 500}, 500};
  Target frame{"frame", {32829, 32797}, {32829}};
  gui::CommandRoute route;
  std::vector<std::u16string> reported;
};

TEST_F(Routing, TheFirstTargetThatHasTheCommandRunsIt) {
  const struct {
    UINT id;
    BOOL handled;
    const char* by;
  } cases[] = {
      {32780, TRUE, "tool"},          // the tool before the list
      {32783, TRUE, "tool"},          // the tool before the space's range
      {32784, TRUE, "space-range"},   // the space's own map
      {32797, TRUE, "list"},          // the list before the frame
      {32829, TRUE, "frame"},
      {12345, FALSE, nullptr},        // nobody
  };
  for (const auto& c : cases) {
    g_ran.clear();
    EXPECT_EQ(route.Execute(c.id), c.handled) << c.id;
    if (c.by) {
      ASSERT_EQ(g_ran.size(), 1u) << c.id;
      EXPECT_EQ(g_ran[0], c.by) << c.id;
    } else {
      EXPECT_TRUE(g_ran.empty()) << c.id;
    }
  }
  // Without a current tool its commands fall through to the next holder.
  space.tool = nullptr;
  g_ran.clear();
  EXPECT_TRUE(route.Execute(32780));
  EXPECT_EQ(g_ran, std::vector<std::string>{"list"});
  EXPECT_TRUE(reported.empty());
}

TEST_F(Routing, AThrowingHandlerIsReportedOnceAndAnswersFalse) {
  EXPECT_FALSE(route.Execute(500));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], u"!handler failed");
  EXPECT_TRUE(g_ran.empty());  // the frame behind it was not asked
  EXPECT_TRUE(route.Execute(32829));  // and routing goes on
}

TEST_F(Routing, UpdateUiTakesTheFirstAnswerAndDisablesWhatNobodyHandles) {
  const struct {
    UINT id;
    BOOL enabled;
    int check;
    const char16_t* text;  // null: not set
  } cases[] = {
      {32780, TRUE, 1, u"tool"},    // tool's update handler first
      {32777, TRUE, 1, u"tool"},    // an update handler without a command
      {32797, TRUE, 1, u"list"},    // the list's before the frame's command
      {32782, TRUE, 1, u"list"},    // the list's update for a command the space runs
      {32784, TRUE, 0, nullptr},    // a command without update handler stays enabled
      {12345, FALSE, 0, nullptr},   // nobody's command is disabled
  };
  for (const auto& c : cases) {
    CmdUI ui = route.UpdateUI(c.id);
    EXPECT_EQ(ui.m_bEnabled, c.enabled) << c.id;
    EXPECT_EQ(ui.m_nCheck, c.check) << c.id;
    EXPECT_EQ(ui.m_bTextChanged, c.text != nullptr) << c.id;
    if (c.text) {
      EXPECT_EQ(ui.m_text, c.text) << c.id;
    }
  }
  EXPECT_TRUE(g_ran.empty());  // asking never runs a command
  CmdUI failing = route.UpdateUI(500);
  EXPECT_FALSE(failing.m_bEnabled);
  EXPECT_EQ(reported.size(), 1u);
}

TEST_F(Routing, ActionsRunCommandsAndFollowUpdateUi) {
  QObject owner;
  gui::CommandActions actions(&owner, &route);
  QAction* paint = actions.Add(32780, u"绘画", u"Ctrl+P");
  QAction* unknown = actions.Add(12345, u"无");
  QAction* size = actions.Add(32784, u"1:1", nullptr, true);
  EXPECT_EQ(paint->shortcut().toString(), QStringLiteral("Ctrl+P"));
  QMenu menu;
  menu.addAction(paint);
  menu.addAction(unknown);
  menu.addAction(size);
  actions.WatchMenu(&menu);
  emit menu.aboutToShow();
  EXPECT_TRUE(paint->isEnabled());
  EXPECT_TRUE(paint->isCheckable());  // the update handler checked it
  EXPECT_TRUE(paint->isChecked());
  EXPECT_EQ(paint->text(), QStringLiteral("tool"));
  EXPECT_FALSE(unknown->isEnabled());
  EXPECT_TRUE(size->isEnabled());
  size->trigger();
  EXPECT_EQ(g_ran, std::vector<std::string>{"space-range"});
  // The command's own answer decides the check, not the toggle of the click.
  EXPECT_FALSE(size->isChecked());
  paint->trigger();
  EXPECT_EQ(g_ran.back(), "tool");
  EXPECT_TRUE(paint->isChecked());
}

}  // namespace

// Command routing through the frame: which level handles which command (the current tool,
// the paint space, the document, the frame, the application), errors thrown by a handler,
// and update-UI (the first answer wins; a command nobody handles is disabled).
#include <QAction>
#include <QDockWidget>
#include <QToolBar>
#include <algorithm>

#include "AppHarness.h"
#include "core/TavrikView.h"
#include "frame/Resource.h"
#include "odata/OData.h"
#include "panels/MyListLayer.h"
#include "platform/gui/CommandActions.h"

namespace {

constexpr UINT kNobody = 32999;  // a command id no part of the program answers

// A tool that claims some commands: it runs them (throwing for one) and answers their
// update-UI with its own state.
class ProbeTool final : public COperation {
 public:
  // A button without a tool of its own: no real tool answers it.
  UINT GetID() override { return ID_OPER_RESERVED; }
  BOOL OnCmdMsg(UINT id, CmdUIState* ui) override {
    if (std::find(claims.begin(), claims.end(), id) == claims.end()) return FALSE;
    if (ui) {
      if (id == throwingUpdate) GTHROW(u"!tool update failed");
      ui->Enable(enable);
      ui->SetCheck(TRUE);
      return TRUE;
    }
    ran.push_back(id);
    routedBy = CMainFrame::GetRoutingFrame();
    if (id == throwing) GTHROW(u"!tool command failed");
    return TRUE;
  }
  std::vector<UINT> claims;
  std::vector<UINT> ran;
  UINT throwing = 0;
  UINT throwingUpdate = 0;
  BOOL enable = TRUE;
  CMainFrame* routedBy = nullptr;
};

class RoutingTest : public AppTest {
 protected:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_MASK, 64, 48);
  }
  ProbeTool* InstallTool(std::vector<UINT> claims) {
    auto* tool = new ProbeTool();
    tool->claims = std::move(claims);
    Space()->AddOperator(tool);
    Space()->SelectOperator(tool->GetID());
    EXPECT_EQ(Space()->GetCurOperator(), tool);
    return tool;
  }
  float Scale() { return Space()->m_pTransform->scale; }
  uint32_t UndoSteps() { return Space()->GetUndoStore()->GetStepCount(); }
};

TEST_F(RoutingTest, EachCommandReachesTheLevelThatHandlesIt) {
  const struct {
    UINT id;
    const char* level;
    std::u16string logged;             // what the handler showed or asked, if anything
    std::function<bool()> effect;      // what it changed, if anything
  } cases[] = {
      // (New and open come first: with changes made they would ask to save them.)
      {ID_FILE_NEW, "application", u"dialog:新建", nullptr},
      {ID_FILE_OPEN, "application", u"open", nullptr},
      {ID_APP_ABOUT, "application", u"dialog:关于 Tavrik", nullptr},
      {ID_APP_HELP, "application", u"box:帮助", nullptr},
      {ID_VIEW_ZOOM_IN, "space", u"", [&] { return Scale() == 2.0f; }},
      {ID_SPACE_BACKGROUND, "space", u"", [&] { return UndoSteps() == 1; }},
      {ID_EDIT_UNDO, "space", u"", [&] { return UndoSteps() == 0; }},
      {ID_FILE_SAVE, "document", u"save", nullptr},
      {ID_SPACE_RESIZE, "document", u"dialog:空间尺寸", nullptr},
      {ID_LAYER_BLUR, "document", u"dialog:模糊", nullptr},
      {ID_APP_CONFIGURE, "frame", u"dialog:配置", nullptr},
      {ID_BAR_COLOR, "frame", u"", [&] { return Frame()->GetToolBar(ID_BAR_COLOR)->isHidden(); }},
  };
  for (const auto& c : cases) {
    log.clear();
    EXPECT_TRUE(Run(c.id)) << c.id << " by the " << c.level;
    const std::vector<std::u16string> logged = c.logged.empty() ? std::vector<std::u16string>{}
                                                                : std::vector<std::u16string>{c.logged};
    EXPECT_EQ(log, logged) << c.id << " by the " << c.level;
    if (c.effect) {
      EXPECT_TRUE(c.effect()) << c.id << " by the " << c.level;
    }
  }
  log.clear();
  EXPECT_FALSE(Run(kNobody));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(app->GetSystem()->GetErrorCount(), 0u);
}

// Menu items and option toolbar buttons send their command to the frame as WM_COMMAND; a
// control's notification (a code in the high word, or the control in lParam) is no command.
TEST_F(RoutingTest, CommandMessagesToTheFrameTakeTheCommandRoute) {
  ProbeTool* tool = InstallTool({ID_VIEW_FLIP});
  Frame()->SendMessage(WM_COMMAND, MAKEWPARAM(ID_VIEW_FLIP, 0), 0);
  EXPECT_EQ(tool->ran, std::vector<UINT>{ID_VIEW_FLIP});
  EXPECT_EQ(tool->routedBy, Frame());
  Frame()->SendMessage(WM_COMMAND, MAKEWPARAM(ID_VIEW_FLIP, 1), 0);
  Frame()->SendMessage(WM_COMMAND, MAKEWPARAM(ID_VIEW_FLIP, 0), LPARAM(Frame()->GetSafeHwnd()));
  EXPECT_EQ(tool->ran.size(), 1u);
}

TEST_F(RoutingTest, TheCurrentToolIsOfferedEveryCommandFirst) {
  ProbeTool* tool = InstallTool({ID_VIEW_ZOOM_IN, ID_FILE_SAVE, ID_APP_CONFIGURE, ID_APP_ABOUT});
  for (UINT id : {ID_VIEW_ZOOM_IN, ID_FILE_SAVE, ID_APP_CONFIGURE, ID_APP_ABOUT}) EXPECT_TRUE(Run(id));
  EXPECT_EQ(tool->ran, (std::vector<UINT>{ID_VIEW_ZOOM_IN, ID_FILE_SAVE, ID_APP_CONFIGURE, ID_APP_ABOUT}));
  EXPECT_TRUE(log.empty()) << "no other level ran them";
  EXPECT_EQ(tool->routedBy, Frame()) << "the frame routes while the command runs";
  EXPECT_EQ(CMainFrame::GetRoutingFrame(), nullptr) << "and only then";
  EXPECT_EQ(Scale(), 1.0f);
  // What the tool leaves goes on to the others.
  EXPECT_TRUE(Run(ID_VIEW_ZOOM_OUT));
  EXPECT_EQ(Scale(), 0.5f);
}

TEST_F(RoutingTest, WithoutAViewOnlyTheFrameAndTheApplicationAreOffered) {
  InstallTool({ID_APP_ABOUT});
  Frame()->GetView()->DestroyWindow();
  EXPECT_FALSE(Run(ID_SPACE_BACKGROUND));
  EXPECT_EQ(UndoSteps(), 0u);
  EXPECT_TRUE(Run(ID_APP_ABOUT));
  EXPECT_TRUE(Logged(u"dialog:关于 Tavrik")) << "the tool is not asked";
  EXPECT_TRUE(Run(ID_APP_CONFIGURE));
}

TEST_F(RoutingTest, AnErrorInAHandlerIsReportedOnceAndTheCommandCountsAsNotHandled) {
  ProbeTool* tool = InstallTool({ID_APP_ABOUT, ID_BAR_LAYER});
  tool->throwing = ID_APP_ABOUT;
  CSystem* system = app->GetSystem();
  app->m_clipboard.cpData = GNewData(16);
  EXPECT_FALSE(Run(ID_APP_ABOUT));
  ASSERT_EQ(system->GetErrorCount(), 1u);
  auto* record = dynamic_cast<GErrRecord*>(system->GetError(0));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::u16string(record->GetCondition()), u"!tool command failed");
  EXPECT_FALSE(app->m_clipboard.cpData.IsValid()) << "an escaping error empties the clipboard";
  EXPECT_FALSE(Logged(u"dialog:关于 Tavrik")) << "the routing stopped at the error";
  // The same through the menu's action; other commands still run.
  Frame()->GetActions()->Get(ID_APP_ABOUT)->trigger();
  EXPECT_EQ(system->GetErrorCount(), 2u);
  EXPECT_TRUE(Run(ID_BAR_LAYER));
  EXPECT_EQ(tool->ran.back(), UINT(ID_BAR_LAYER));
  // A failing update handler: reported once, the command shown disabled.
  tool->throwingUpdate = ID_BAR_LAYER;
  EXPECT_FALSE(Update(ID_BAR_LAYER).m_bEnabled);
  EXPECT_EQ(system->GetErrorCount(), 3u);
}

TEST_F(RoutingTest, UpdateUiTakesTheFirstAnswerAndDisablesWhatNobodyHandles) {
  const struct {
    UINT id;
    BOOL enabled;
    int checked;
  } plain[] = {
      {ID_EDIT_UNDO, FALSE, 0},      // the space: no step to undo
      {ID_VIEW_ZOOM_ONE, FALSE, 0},  // the space: the scale is 1 already
      {ID_VIEW_ZOOM_IN, TRUE, 0},    // the space
      {ID_LAYER_BLUR, TRUE, 0},      // the document: a mask layer can be blurred
      {ID_LAYER_BRIGHT, FALSE, 0},   // the document: but not brightened
      {ID_BAR_LAYER, TRUE, 1},       // the frame: the layer bar shows
      {ID_APP_ABOUT, TRUE, 0},       // the application runs it, with no update handler
      {kNobody, FALSE, 0},           // nobody
  };
  for (const auto& c : plain) {
    const gui::CmdUI ui = Update(c.id);
    EXPECT_EQ(ui.m_bEnabled, c.enabled) << c.id;
    EXPECT_EQ(ui.m_nCheck, c.checked) << c.id;
  }
  ASSERT_TRUE(Run(ID_SPACE_BACKGROUND));
  EXPECT_TRUE(Update(ID_EDIT_UNDO).m_bEnabled);
  Frame()->GetDock(ID_BAR_LAYER)->hide();
  EXPECT_EQ(Update(ID_BAR_LAYER).m_nCheck, 0);

  // The actions follow update-UI.
  gui::CommandActions* actions = Frame()->GetActions();
  actions->UpdateAll();
  EXPECT_TRUE(actions->Get(ID_EDIT_UNDO)->isEnabled());
  EXPECT_FALSE(actions->Get(ID_EDIT_REDO)->isEnabled());
  EXPECT_FALSE(actions->Get(ID_BAR_LAYER)->isChecked());
  ASSERT_TRUE(Run(ID_VIEW_FLIP));
  actions->UpdateAll();
  EXPECT_TRUE(actions->Get(ID_VIEW_FLIP)->isChecked());
  EXPECT_FALSE(actions->Get(ID_EDIT_UNDO)->isCheckable()) << "a plain command stays a plain button";

  // The tool answers first, over the space and the frame alike.
  ProbeTool* tool = InstallTool({ID_EDIT_UNDO, ID_BAR_LAYER});
  tool->enable = FALSE;
  EXPECT_FALSE(Update(ID_EDIT_UNDO).m_bEnabled);
  EXPECT_FALSE(Update(ID_BAR_LAYER).m_bEnabled);
  EXPECT_EQ(Update(ID_BAR_LAYER).m_nCheck, 1);
}

}  // namespace

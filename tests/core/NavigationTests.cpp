// The paint space's tools and view navigation without a screen: the view commands and their
// update-UI, the change of tool, the message hook, flip, rotate-and-zoom, panning, the scroll
// bars, the wheel and a tool's drags, and picking a layer under the cursor.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ToolFixture.h"
#include "tools/OperSucker.h"

namespace {

constexpr float kPi = 3.14159265f;

// A tool that logs the messages and commands it sees and consumes the chosen ones.
class LogTool final : public COperation {
 public:
  explicit LogTool(UINT id) : m_id(id) {}
  UINT GetID() override { return m_id; }
  int Activate() override {
    log.push_back("activate");
    return 1;
  }
  void Deactivate() override { log.push_back("deactivate"); }
  void FinishWork() override { log.push_back("finish"); }
  BOOL OnWndMsg(UINT msg, WPARAM, LPARAM, LRESULT* result) override {
    messages.push_back(msg);
    if (msg != consumeMsg) return FALSE;
    *result = 77;
    return TRUE;
  }
  BOOL OnCmdMsg(UINT id, CmdUIState* ui) override {
    // Its own button shows checked.
    if (ui && id == m_id) {
      ui->Enable(TRUE);
      ui->SetCheck(TRUE);
      return TRUE;
    }
    return FALSE;
  }

  std::vector<std::string> log;
  std::vector<UINT> messages;
  UINT consumeMsg = 0;

 private:
  UINT m_id;
};

// Navigation through a real tool: the eyedropper unless a test brings its own.
class Navigation : public ToolFixture {
 protected:
  void Init(UINT w, UINT h, COperation* first = nullptr) { ToolFixture::Init(w, h, first ? first : new COperSucker()); }
  CmdUIState Update(UINT id) {
    CmdUIState ui;
    EXPECT_TRUE(space->OnCmdMsg(id, &ui)) << id;
    return ui;
  }
};

// ---- the view commands -------------------------------------------------------------------------

struct ViewCase {
  const char* name;
  UINT id;
  uint32_t flags;
  float scale, angle;
  uint32_t wantFlags;
  float wantScale, wantAngle;
  // The command's update-UI afterwards.
  BOOL wantEnabled, wantChecked;
};

TEST_F(Navigation, ViewCommandsAndTheirUpdate) {
  constexpr float step = 0.261799f, turn = 6.283185f;
  const ViewCase cases[] = {
      {"zoom in 8 to 16, then grey", ID_VIEW_ZOOM_IN, 0, 8, 0, 0, 16, 0, FALSE, FALSE},
      {"zoom in at 16 stays", ID_VIEW_ZOOM_IN, 0, 16, 0, 0, 16, 0, FALSE, FALSE},
      {"zoom in past 16 stops at 16", ID_VIEW_ZOOM_IN, 0, 12, 0, 0, 16, 0, FALSE, FALSE},
      {"zoom in 1", ID_VIEW_ZOOM_IN, 0, 1, 0, 0, 2, 0, TRUE, FALSE},
      {"zoom out 1", ID_VIEW_ZOOM_OUT, 0, 1, 0, 0, 0.5f, 0, TRUE, FALSE},
      {"zoom out 0.0625 stays", ID_VIEW_ZOOM_OUT, 0, 0.0625f, 0, 0, 0.0625f, 0, FALSE, FALSE},
      {"scale 1", ID_VIEW_ZOOM_ONE, 0, 4, 0.5f, 0, 1, 0.5f, FALSE, FALSE},
      {"angle 0", ID_VIEW_ANGLE_ZERO, 1, 2, 1.5f, 1, 2, 0, TRUE, FALSE},
      {"rotate left wraps below 0", ID_VIEW_ROTATE_LEFT, 0, 1, 0, 0, 1, turn - step, TRUE, FALSE},
      {"rotate left mirrored turns the other way", ID_VIEW_ROTATE_LEFT, 1, 1, 0, 1, 1, step, TRUE, FALSE},
      {"rotate right", ID_VIEW_ROTATE_RIGHT, 0, 1, 1.0f, 0, 1, 1.0f + step, TRUE, FALSE},
      {"rotate right wraps past a turn", ID_VIEW_ROTATE_RIGHT, 0, 1, 6.2f, 0, 1, 6.2f + step - turn, TRUE, FALSE},
      {"rotate right mirrored wraps below 0", ID_VIEW_ROTATE_RIGHT, 1, 1, 0.1f, 1, 1, 0.1f - step + turn, TRUE, FALSE},
      {"flip on", ID_VIEW_FLIP, 0, 1, 0, 1, 1, 0, TRUE, TRUE},
      {"flip off", ID_VIEW_FLIP, 1, 1, 0, 0, 1, 0, TRUE, FALSE},
      {"flip keeps only the mirror bit", ID_VIEW_FLIP, 6, 1, 0, 1, 1, 0, TRUE, TRUE},
  };
  Init(300, 200);
  for (const ViewCase& c : cases) {
    SCOPED_TRACE(c.name);
    ViewTransform& v = View();
    v.flags = c.flags;
    v.scale = c.scale;
    v.angle = c.angle;
    const int syncs = win.syncs, invalidated = win.invalidated;
    // Make the composite valid: the command must drop it.
    space->RefreshDraw(nullptr, nullptr);
    ASSERT_TRUE(space->IsCompositeValid());
    EXPECT_TRUE(space->OnCmdMsg(c.id, nullptr));
    EXPECT_EQ(v.flags, c.wantFlags);
    EXPECT_FLOAT_EQ(v.scale, c.wantScale);
    EXPECT_NEAR(v.angle, c.wantAngle, 1e-5f);
    EXPECT_GE(v.angle, 0.0f);
    EXPECT_LE(v.angle, turn);
    EXPECT_GT(win.syncs, syncs);
    EXPECT_GT(win.invalidated, invalidated);
    EXPECT_FALSE(space->IsCompositeValid());
    const CmdUIState ui = Update(c.id);
    EXPECT_EQ(ui.bEnabled, c.wantEnabled);
    EXPECT_EQ(ui.bChecked, c.wantChecked);
  }
}

TEST_F(Navigation, ResetRoundsTheCentreAndKeepsTheMirror) {
  Init(300, 200);
  ViewTransform& v = View();
  v = ViewTransform{1, 300, 200, 0xFFFFFF, 400, 300, 10.4f, 20.6f, 1.2f, 4.0f};
  EXPECT_TRUE(space->OnCmdMsg(ID_VIEW_RESET, nullptr));
  EXPECT_EQ(v.angle, 0.0f);
  EXPECT_EQ(v.scale, 1.0f);
  EXPECT_EQ(v.centreX, 10.0f);
  EXPECT_EQ(v.centreY, 21.0f);
  EXPECT_EQ(v.flags, 1u);
  EXPECT_TRUE(Update(ID_VIEW_RESET).bEnabled);
}

// ---- tools and the message hook ----------------------------------------------------------------

TEST_F(Navigation, SelectOperatorSwitchesOnlyToAnotherListedTool) {
  auto* paint = new LogTool(ID_OPER_PAINT);
  Init(100, 100, paint);
  auto* move = new LogTool(ID_OPER_MOVE);
  space->AddOperator(move);
  paint->log.clear();

  // The current tool's own id changes nothing; an id nobody has is not even taken.
  EXPECT_TRUE(space->OnCmdMsg(ID_OPER_PAINT, nullptr));
  EXPECT_FALSE(space->OnCmdMsg(ID_OPER_CROP, nullptr));
  EXPECT_EQ(space->GetCurOperator(), paint);
  EXPECT_EQ(paint->log, (std::vector<std::string>{"finish"}));
  paint->log.clear();

  const int invalidated = win.invalidated;
  EXPECT_TRUE(space->OnCmdMsg(ID_OPER_MOVE, nullptr));
  EXPECT_EQ(space->GetCurOperator(), move);
  EXPECT_EQ(space->GetPrevOperatorID(), ID_OPER_PAINT);
  EXPECT_EQ(paint->log, (std::vector<std::string>{"finish", "deactivate"}));
  EXPECT_EQ(move->log, (std::vector<std::string>{"activate"}));
  EXPECT_GT(win.invalidated, invalidated);

  // Update-UI: the current tool checks its own button first; the space unchecks and enables
  // the other listed tools, and the button without a tool.
  const CmdUIState own = Update(ID_OPER_MOVE);
  EXPECT_TRUE(own.bEnabled && own.bChecked);
  for (UINT id : {ID_OPER_PAINT, ID_OPER_RESERVED}) {
    CmdUIState ui;
    ui.bChecked = TRUE;
    EXPECT_TRUE(space->OnCmdMsg(id, &ui));
    EXPECT_TRUE(ui.bEnabled);
    EXPECT_FALSE(ui.bChecked);
  }
  // The button without a tool has no command.
  EXPECT_FALSE(space->OnCmdMsg(ID_OPER_RESERVED, nullptr));
  // A tool nobody made is nobody's command: neither its update nor its command is taken, so
  // the frame shows it disabled.
  for (UINT id : {ID_OPER_SUCKER, ID_OPER_FLOOD}) {
    CmdUIState ui;
    EXPECT_FALSE(space->OnCmdMsg(id, &ui)) << id;
    EXPECT_FALSE(space->OnCmdMsg(id, nullptr)) << id;
  }
  EXPECT_EQ(space->GetCurOperator(), move);
}

TEST_F(Navigation, CommandsOthersCarryOutShowEnabledButAreLeftToThem) {
  Init(100, 100);
  for (UINT id : {57601u, 32812u, 32820u, 32827u, 32840u, 32853u, 32854u}) {
    EXPECT_TRUE(Update(id).bEnabled) << id;
    EXPECT_FALSE(space->OnCmdMsg(id, nullptr)) << id;
  }
  // Not the space's: the space size and the filters.
  CmdUIState ui;
  for (UINT id : {32828u, 32838u, 32845u, 32846u}) EXPECT_FALSE(space->OnCmdMsg(id, &ui)) << id;
}

TEST_F(Navigation, ViewMessagesReachTheCurrentToolFirst) {
  auto* tool = new LogTool(ID_OPER_PAINT);
  Init(100, 100, tool);
  const ViewTransform before = View();

  // Consumed by the tool: the space does nothing more with it.
  tool->consumeMsg = WM_SIZE;
  LRESULT result = 0;
  EXPECT_TRUE(space->OnWndMsg(WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480), &result));
  EXPECT_EQ(result, 77);
  EXPECT_EQ(View().clientWidth, before.clientWidth);

  // Left to the space: the client size, the bars, and a full composition next time.
  tool->consumeMsg = 0;
  space->RefreshDraw(nullptr, nullptr);
  const int syncs = win.syncs;
  EXPECT_FALSE(space->OnWndMsg(WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480), &result));
  EXPECT_EQ(View().clientWidth, 640);
  EXPECT_EQ(View().clientHeight, 480);
  EXPECT_GT(win.syncs, syncs);
  EXPECT_FALSE(space->IsCompositeValid());

  // Minimised: the size stays, the composite still goes.
  space->RefreshDraw(nullptr, nullptr);
  EXPECT_FALSE(space->OnWndMsg(WM_SIZE, SIZE_MINIMIZED, 0, &result));
  EXPECT_EQ(View().clientWidth, 640);
  EXPECT_FALSE(space->IsCompositeValid());

  EXPECT_EQ(tool->messages, (std::vector<UINT>{WM_SIZE, WM_SIZE, WM_SIZE}));
}

// ---- flip, rotate-and-zoom, panning ------------------------------------------------------------

TEST_F(Navigation, FlipViewAtKeepsTheSpacePointUnderTheCursor) {
  Init(1000, 800);
  ViewTransform& v = View();
  v.angle = 0.7f;
  v.scale = 2.5f;
  for (POINT at : {POINT{10, 20}, POINT{399, 299}, POINT{-30, 150}}) {
    const auto before = SpaceAt(float(at.x) + 0.5f, float(at.y) + 0.5f);
    const uint32_t flags = v.flags;
    space->FlipViewAt(at.x, at.y);
    EXPECT_EQ(v.flags, (flags ^ 1u) & 1u);
    const auto after = SpaceAt(float(at.x) + 0.5f, float(at.y) + 0.5f);
    EXPECT_NEAR(after.first, before.first, 1e-2f);
    EXPECT_NEAR(after.second, before.second, 1e-2f);
    EXPECT_FALSE(space->IsCompositeValid());
  }
}

struct RotateCase {
  const char* name;
  uint32_t flags;
  POINT start, to;  // relative to the client centre
  float startAngle, startScale;
  float wantAngle, wantScale;
};

TEST_F(Navigation, RotateZoomByTurnsAndScalesWithinItsLimits) {
  const RotateCase cases[] = {
      {"a quarter turn", 0, {100, 0}, {0, 100}, 0, 1, kPi / 2, 1},
      {"mirrored turns the other way", 1, {100, 0}, {0, 100}, 1, 1, 1 - kPi / 2 + 2 * kPi, 1},
      {"twice the distance", 0, {50, 0}, {100, 0}, 0, 2, 0, 4},
      {"zoom stops at 16", 0, {10, 0}, {190, 0}, 0, 1, 0, 16},
      {"zoom stops at 1/16", 0, {150, 0}, {1, 0}, 0, 1, 0, 0.0625f},
      {"a start at the centre counts as 1", 0, {0, 0}, {3, 0}, 0, 1, 0, 3},
      {"the turn wraps into a turn", 0, {100, 0}, {0, 100}, 6.0f, 1, 6.0f + kPi / 2 - 6.2832f, 1},
      {"the difference stays within half a turn", 0, {-100, 1}, {-100, -1}, 3.0f, 1, 3.0f + 0.02f, 1},
  };
  auto* tool = new LogTool(ID_OPER_PAINT);
  Init(500, 500, tool);
  const int cx = win.client.cx / 2, cy = win.client.cy / 2;
  for (const RotateCase& c : cases) {
    SCOPED_TRACE(c.name);
    ViewTransform& v = View();
    v.flags = c.flags;
    v.angle = c.startAngle;
    v.scale = c.startScale;
    space->BeginGesture();
    tool->m_ptMButton = POINT{cx + c.start.x, cy + c.start.y};
    const int begins = device->begins;
    space->RotateZoomBy(cx + c.to.x, cy + c.to.y, 0, 0, TRUE);
    EXPECT_NEAR(v.angle, c.wantAngle, 1e-3f);
    EXPECT_NEAR(v.scale, c.wantScale, 1e-4f);
    EXPECT_EQ(device->begins, begins) << "left to the caller";
    // The same drag again measures from the gesture's start, not from the last step.
    space->RotateZoomBy(cx + c.to.x, cy + c.to.y, 0, 0, FALSE);
    EXPECT_NEAR(v.angle, c.wantAngle, 1e-3f);
    EXPECT_EQ(device->begins, begins + 1);
    EXPECT_TRUE(space->IsCompositeValid());
  }
}

TEST_F(Navigation, ScrollByDropsWhatPushesTheSpaceFurtherOut) {
  Init(200, 100);
  ViewTransform& v = View();
  // The view centre right of the space: the space lies left, out of view.
  v.centreX = 2000;
  v.centreY = 50;
  RECT r;
  GetSpaceClientRect(&r, realDevice, &v);
  ASSERT_LT(r.right, 0);
  POINT kept{99, 99};
  space->ScrollBy(0, 0, -5, 3, &kept);
  EXPECT_EQ(kept.x, 0);
  EXPECT_EQ(kept.y, 3);
  space->ScrollBy(0, 0, 5, 0, &kept);
  EXPECT_EQ(kept.x, 5);
  EXPECT_EQ(v.centreX, 2000.0f) << "with an out point the caller moves the view";

  // The space below, out of view: moving it down is dropped, up is kept.
  v.centreX = 100;
  v.centreY = -1000;
  space->ScrollBy(0, 0, 4, 6, &kept);
  EXPECT_EQ(kept.x, 4);
  EXPECT_EQ(kept.y, 0);
  space->ScrollBy(0, 0, 0, -6, &kept);
  EXPECT_EQ(kept.y, -6);

  // Without one the space moves the view and composes it.
  v.scale = 2;
  v.centreY = 50;
  const int begins = device->begins;
  space->ScrollBy(0, 0, 10, -4, nullptr);
  EXPECT_FLOAT_EQ(v.centreX, 95.0f);
  EXPECT_FLOAT_EQ(v.centreY, 52.0f);
  EXPECT_EQ(device->begins, begins + 1);
  EXPECT_TRUE(space->IsCompositeValid());
  // Then the back buffer moves with the view.
  space->ScrollBy(0, 0, -10, 4, nullptr);
  EXPECT_FLOAT_EQ(v.centreX, 100.0f);
  EXPECT_FLOAT_EQ(v.centreY, 50.0f);
  EXPECT_EQ(device->begins, begins + 2);
}

// ---- scroll bars -----------------------------------------------------------------------------

TEST_F(Navigation, ScrollBarsAtTenThousandPixelsAndZoomSixteen) {
  win.client = SIZE{800, 600};
  Init(10000, 10000);
  ViewTransform& v = View();
  v.scale = 16;
  space->SyncScrollBars(nullptr);
  // The extent: the space at zoom 16 and half a client on each side.
  const int64_t w = 10000 * 16 + 800;
  EXPECT_EQ(win.horz.nPage, int(800 * 0x4000 / w));
  EXPECT_EQ(win.horz.nPos, int(5000 * 16 * int64_t(0x4000) / w));

  // Far to either end and back, also turned, where the products pass 32 bits.
  for (float angle : {0.0f, 0.785398f}) {
    SCOPED_TRACE(angle);
    v.angle = angle;
    space->SyncScrollBars(nullptr);
    const int maxPos = 0x4000 - (win.horz.nPage - 1);
    space->OnHScroll(MAKEWPARAM(SB_RIGHT, 0));
    EXPECT_EQ(win.horz.nPos, maxPos);
    space->SyncScrollBars(nullptr);
    EXPECT_NEAR(win.horz.nPos, maxPos, 1);
    space->OnVScroll(MAKEWPARAM(SB_TOP, 0));
    EXPECT_EQ(win.vert.nPos, 0);
    space->SyncScrollBars(nullptr);
    EXPECT_NEAR(win.vert.nPos, 0, 1);
    if (angle == 0.0f) {
      EXPECT_NEAR(v.centreX, 10000.0f, 2.0f);
      EXPECT_NEAR(v.centreY, 0.0f, 2.0f);
    }
    space->OnHScroll(MAKEWPARAM(SB_THUMBTRACK, WORD(0x2000)));
    space->SyncScrollBars(nullptr);
    EXPECT_NEAR(win.horz.nPos, 0x2000, 1);
  }

  // A line and a page from the middle; the position never leaves the range.
  v.angle = 0;
  space->OnHScroll(MAKEWPARAM(SB_THUMBPOSITION, WORD(0x2000)));
  space->OnHScroll(MAKEWPARAM(SB_LINERIGHT, 0));
  EXPECT_NEAR(win.horz.nPos, 0x2000 + 128, 1);
  const int beforePage = win.horz.nPos;
  space->OnHScroll(MAKEWPARAM(SB_PAGELEFT, 0));
  EXPECT_NEAR(win.horz.nPos, beforePage - win.horz.nPage, 1);
  space->OnHScroll(MAKEWPARAM(SB_LEFT, 0));
  space->OnHScroll(MAKEWPARAM(SB_LINELEFT, 0));
  EXPECT_EQ(win.horz.nPos, 0);
  EXPECT_NEAR(v.centreX, 0.0f, 2.0f);
  EXPECT_FALSE(space->IsCompositeValid());
}

// ---- a real tool's drags (the eyedropper's: a right drag beyond 12 pixels) ------------------

TEST_F(Navigation, ToolPansWithTheRightButton) {
  Init(400, 300);
  ViewTransform& v = View();
  EXPECT_TRUE(Send(WM_RBUTTONDOWN, MK_RBUTTON, 100, 100));
  EXPECT_TRUE(win.captured);
  // Within the threshold nothing moves.
  EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_RBUTTON, 102, 98));
  EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_RBUTTON, 112, 88));
  EXPECT_EQ(v.centreX, 200.0f);
  EXPECT_EQ(v.centreY, 150.0f);
  EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_RBUTTON, 113, 95));
  EXPECT_FLOAT_EQ(v.centreX, 187.0f);
  EXPECT_FLOAT_EQ(v.centreY, 155.0f);
  // Each move pans by the step since the last.
  EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_RBUTTON, 118, 95));
  EXPECT_FLOAT_EQ(v.centreX, 182.0f);
  EXPECT_TRUE(space->IsCompositeValid());
  EXPECT_TRUE(Send(WM_RBUTTONUP, 0, 118, 95));
  EXPECT_FALSE(win.captured);
  EXPECT_EQ(space->GetCaptureMask(), 0u);
  // No button: moves pan nothing.
  EXPECT_TRUE(Send(WM_MOUSEMOVE, 0, 200, 200));
  EXPECT_FLOAT_EQ(v.centreX, 182.0f);
}

TEST_F(Navigation, ToolRotatesAndZoomsWithTheMiddleButton) {
  Init(400, 300);
  ViewTransform& v = View();
  const int cx = win.client.cx / 2, cy = win.client.cy / 2;
  EXPECT_TRUE(Send(WM_MBUTTONDOWN, MK_MBUTTON, cx + 50, cy));
  EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_MBUTTON, cx, cy + 100));
  EXPECT_NEAR(v.angle, kPi / 2, 1e-3f);
  EXPECT_NEAR(v.scale, 2.0f, 1e-4f);
  EXPECT_TRUE(Send(WM_MBUTTONUP, 0, cx, cy + 100));
  // A new drag starts from the view as it is now.
  EXPECT_TRUE(Send(WM_MBUTTONDOWN, MK_MBUTTON, cx + 100, cy));
  EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_MBUTTON, cx + 50, cy));
  EXPECT_NEAR(v.angle, kPi / 2, 1e-3f);
  EXPECT_NEAR(v.scale, 1.0f, 1e-4f);
  // The button went up outside the view: the next move ends the drag and the capture.
  EXPECT_TRUE(win.captured);
  EXPECT_TRUE(Send(WM_MOUSEMOVE, 0, cx + 20, cy));
  EXPECT_FALSE(win.captured);
  EXPECT_EQ(space->GetCurOperator()->m_nMButton, int(COperation::myUP));
  EXPECT_NEAR(v.scale, 1.0f, 1e-4f);
}

TEST_F(Navigation, ToolEndsADragWhenTheCaptureGoes) {
  Init(400, 300);
  EXPECT_TRUE(Send(WM_RBUTTONDOWN, MK_RBUTTON, 10, 10));
  EXPECT_TRUE(Send(WM_MBUTTONDOWN, MK_RBUTTON | MK_MBUTTON, 10, 10));
  EXPECT_EQ(space->GetCaptureMask(), CAPTURE_RBUTTON | CAPTURE_MBUTTON);
  EXPECT_TRUE(Send(WM_CAPTURECHANGED, 0, 0, 0));
  EXPECT_EQ(space->GetCaptureMask(), 0u);
  EXPECT_FALSE(win.captured);
  COperation* op = space->GetCurOperator();
  EXPECT_EQ(op->m_nLButton + op->m_nRButton + op->m_nMButton, 0);
  // The scroll bars scroll through the tool.
  const float x = View().centreX;
  EXPECT_TRUE(Send(WM_HSCROLL, MAKEWPARAM(SB_LINERIGHT, 0), 0, 0));
  EXPECT_GT(View().centreX, x);
}

TEST_F(Navigation, WheelPansAndZoomsAtTheCursor) {
  Init(400, 300);
  ViewTransform& v = View();
  EXPECT_TRUE(Send(WM_MOUSEMOVE, 0, 50, 60));
  LRESULT result = 0;
  // Away from the user: the view goes up, the space down.
  EXPECT_TRUE(space->OnWndMsg(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(int16_t(120))), 0, &result));
  EXPECT_FLOAT_EQ(v.centreY, 150.0f - VIEW_WHEEL_PIXELS);
  EXPECT_TRUE(space->OnWndMsg(WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, WORD(int16_t(-240))), 0, &result));
  EXPECT_FLOAT_EQ(v.centreX, 200.0f + 2 * VIEW_WHEEL_PIXELS);
  EXPECT_TRUE(space->OnWndMsg(WM_MOUSEHWHEEL, MAKEWPARAM(0, WORD(int16_t(120))), 0, &result));
  EXPECT_FLOAT_EQ(v.centreX, 200.0f + 3 * VIEW_WHEEL_PIXELS);

  // Ctrl zooms a step a notch, keeping the point under the cursor.
  const auto before = SpaceAt(50.5f, 60.5f);
  EXPECT_TRUE(space->OnWndMsg(WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WORD(int16_t(240))), 0, &result));
  EXPECT_FLOAT_EQ(v.scale, 4.0f);
  const auto after = SpaceAt(50.5f, 60.5f);
  EXPECT_NEAR(after.first, before.first, 1e-2f);
  EXPECT_NEAR(after.second, before.second, 1e-2f);
  for (int i = 0; i < 4; ++i)
    space->OnWndMsg(WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WORD(int16_t(120))), 0, &result);
  EXPECT_FLOAT_EQ(v.scale, 16.0f);
  for (int i = 0; i < 12; ++i)
    space->OnWndMsg(WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WORD(int16_t(-120))), 0, &result);
  EXPECT_FLOAT_EQ(v.scale, 0.0625f);
}

// ---- picking and snap lines ------------------------------------------------------------------

TEST_F(Navigation, FlowerSelectLayerPicksTheTopmostLayerThatShows) {
  Init(200, 200);
  // At scale 1 the view shows space x + 100 at client x, the client being 400 x 300 and the
  // centre (100, 100): client (x, y) is space (x - 100, y - 50).
  EXPECT_FALSE(space->OnFlowerSelectLayer(150, 150)) << "no layers";
  AddLayer(40, 40, OLayer::myFORMAT_C32, 1, 10, 10, 0xFF2040A0);   // top: opaque
  AddLayer(40, 40, OLayer::myFORMAT_C32, 2, 0, 0, 0x00000000);     // transparent
  AddLayer(100, 100, OLayer::myFORMAT_C32, 3, 0, 0, 0xFF808080);   // bottom: opaque
  list->SetCurSelect(2);
  // Over the top layer: it shows there.
  EXPECT_TRUE(space->OnFlowerSelectLayer(100 + 20, 50 + 20));
  EXPECT_EQ(list->GetCurSel(), 0);
  // Where only the bottom layer shows.
  EXPECT_TRUE(space->OnFlowerSelectLayer(100 + 80, 50 + 80));
  EXPECT_EQ(list->GetCurSel(), 2);
  // Again over the selected one: nothing changes.
  EXPECT_FALSE(space->OnFlowerSelectLayer(100 + 80, 50 + 80));
  // Outside every layer.
  EXPECT_FALSE(space->OnFlowerSelectLayer(100 + 150, 50 + 150));
  EXPECT_EQ(list->GetCurSel(), 2);
}

TEST_F(Navigation, AddSpaceEdgesFillsWhileThereIsRoom) {
  Init(640, 480);
  float xs[3] = {}, ys[1] = {};
  FloatList x{xs, 1, 3}, y{ys, 0, 1};
  space->AddSpaceEdges(&x, &y);
  EXPECT_EQ(x.nCount, 3);
  EXPECT_EQ(xs[1], 0.0f);
  EXPECT_EQ(xs[2], 640.0f);
  EXPECT_EQ(y.nCount, 1);
  EXPECT_EQ(ys[0], 0.0f);
  space->AddSpaceEdges(nullptr, &y);
  EXPECT_EQ(y.nCount, 1);
}

}  // namespace

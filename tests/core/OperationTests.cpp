// The tool base driven through the paint space by synthesised view messages: each tool's drag
// thresholds, the ring menu on a right click and on a SPACE tap, a drag ended by a release
// outside the view or by capture loss, the hand-over of option windows, the ring-menu icons,
// the tools' undo steps, and the default tool that edits and navigates nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ToolFixture.h"
#include "common/Thrown.h"
#include "frame/ResourceIds.h"
#include "odata/GText.h"
#include "platform/gui/Resources.h"
#include "tools/FunctionMenu.h"
#include "tools/OperDefault.h"
#include "tools/OperSucker.h"
#include "tools/ToolUndo.h"

namespace {

// A window with a handle of its own and no widget: an option window as the bar sees it.
class FakeOptionWnd final : public gui::GWindow {
 public:
  explicit FakeOptionWnd(uintptr_t handle) { m_hWnd = reinterpret_cast<HWND>(handle); }
  ~FakeOptionWnd() override { m_hWnd = nullptr; }
};

// A tool on the shared skeleton with the default thresholds: its left button only drags,
// SPACE taps open its ring menu, and its steps carry one field and one data block.
class SkeletonTool final : public COperation {
 public:
  explicit SkeletonTool(UINT id = ID_OPER_PAINT) : m_id(id) {}
  UINT GetID() override { return m_id; }
  const char16_t* GetClassName() const override { return u"SkeletonTool"; }
  BOOL IsReady() override { return ready; }
  void FinishWork() override { ++finished; }
  CFunctionMenu* GetFunctionMenu() override { return &menu; }
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
    switch (msg) {
      case WM_LBUTTONDOWN:
        ButtonDown(myLEFT, MsgPoint(lParam));
        return TRUE;
      case WM_LBUTTONUP:
        ButtonUp(myLEFT);
        return TRUE;
      case WM_MOUSEMOVE:
        moves.push_back(MouseMove(wParam, MsgPoint(lParam)));
        return TRUE;
      case WM_KEYDOWN:
        if (wParam == VK_SPACE) SpaceDown(lParam);
        return TRUE;
      case WM_KEYUP:
        if (wParam == VK_SPACE && SpaceUp()) SpaceTapRingMenu();
        return TRUE;
      default:
        return NavigationMsg(msg, wParam, lParam, result);
    }
  }
  BOOL CreateOptionWindows(gui::GWindow*) override {
    ++built;
    m_apOptionWnd[0] = new FakeOptionWnd(0x7770);
    m_apOptionWnd[1] = new FakeOptionWnd(0x7780);
    return TRUE;
  }
  BOOL ApplyUndoStep(CToolUndoReplay& step) override {
    if (step.GetTag() != 1) return FALSE;
    Applied a{step.IsRedo(), step.GetSel(), step.GetLayer(), step.ReadInt(), step.ReadFloat(), 0};
    OData* data = step.NextData();
    a.data = *reinterpret_cast<const uint32_t*>(data->GetBuffer());
    applied.push_back(a);
    // The inverse carries the next number, so each direction shows which block it got.
    step.AddInverse(Block(a.data + 1));
    return TRUE;
  }
  // Records a step of the current layer.
  void Record(OLayer* layer, uint32_t tag, int32_t field, float f, uint32_t data) {
    CToolUndoWriter(m_pPaintSpace, layer, u"!m_cpLayer==GetLayer(nSel)", 64)
        .WriteInt(field)
        .WriteFloat(f)
        .AddData(Block(data))
        .Commit(&parts.m_xUndoInner, tag, u"测试");
  }
  static OData* Block(uint32_t v) {
    OData* block = GNewData(16);
    block->Write(&v, sizeof v);
    return block;
  }

  using COperation::GetDragThresholds;

  struct Applied {
    BOOL redo;
    int sel;
    OLayer* layer;
    int32_t field;
    float f;
    uint32_t data;
  };
  CFunctionMenu menu{IDB_RING_PAINT};
  CToolUndoParts parts{this};
  BOOL ready = TRUE;
  int finished = 0;
  int built = 0;
  std::vector<DWORD> moves;
  std::vector<Applied> applied;

 private:
  UINT m_id;
};

DWORD g_now = 0;
DWORD FakeTicks() { return g_now; }

// The fake clock for the length of a test.
struct FakeClock {
  FakeClock() { COperation::SetTickSource(FakeTicks); }
  ~FakeClock() { COperation::SetTickSource(nullptr); }
};

class Operation : public ToolFixture {
 protected:
  // The skeleton tool current, the eyedropper listed, the shell attached.
  SkeletonTool* Start(UINT w = 400, UINT h = 300) {
    win.shell = &shell;
    auto* tool = new SkeletonTool();
    sucker = new COperSucker();
    Init(w, h, tool, {sucker});
    return tool;
  }
  static WPARAM HeldBit(COperation::ButtonId b) {
    return b == COperation::myLEFT ? MK_LBUTTON : b == COperation::myMIDDLE ? MK_MBUTTON : MK_RBUTTON;
  }
  static UINT DownMsg(COperation::ButtonId b) {
    return b == COperation::myLEFT ? WM_LBUTTONDOWN : b == COperation::myMIDDLE ? WM_MBUTTONDOWN : WM_RBUTTONDOWN;
  }
  static int StateOf(COperation* op, COperation::ButtonId b) {
    return b == COperation::myLEFT ? op->m_nLButton : b == COperation::myMIDDLE ? op->m_nMButton : op->m_nRButton;
  }

  RecordingShell shell;
  COperSucker* sucker = nullptr;
};

// ---- drag thresholds ---------------------------------------------------------------------------

struct ThresholdCase {
  bool eyedropper;
  COperation::ButtonId button;
  int dx, dy;
  int wantState;
};

TEST_F(Operation, EachToolStartsItsDragsAtItsOwnThresholds) {
  using B = COperation;
  const ThresholdCase cases[] = {
      // The eyedropper: left beyond 1 pixel in x or y, middle at any movement, right beyond 12.
      {true, B::myLEFT, 1, -1, B::myPRESSED},
      {true, B::myLEFT, 2, 0, B::myDRAGGING},
      {true, B::myLEFT, 0, -2, B::myDRAGGING},
      {true, B::myMIDDLE, 0, 0, B::myPRESSED},
      {true, B::myMIDDLE, 1, 0, B::myDRAGGING},
      {true, B::myRIGHT, 12, -12, B::myPRESSED},
      {true, B::myRIGHT, 13, 0, B::myDRAGGING},
      {true, B::myRIGHT, 0, -13, B::myDRAGGING},
      // The skeleton's own: left and middle at any movement, right beyond 8 pixels away.
      {false, B::myLEFT, 0, 0, B::myPRESSED},
      {false, B::myLEFT, 0, 1, B::myDRAGGING},
      {false, B::myMIDDLE, -1, 0, B::myDRAGGING},
      {false, B::myRIGHT, -8, 0, B::myPRESSED},
      {false, B::myRIGHT, 5, 6, B::myPRESSED},  // 7.8 pixels
      {false, B::myRIGHT, 6, 6, B::myDRAGGING},  // 8.5 pixels
      {false, B::myRIGHT, 0, 9, B::myDRAGGING},
  };
  SkeletonTool* tool = Start();
  for (const ThresholdCase& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.eyedropper ? "eyedropper " : "skeleton ") << c.button << " by " << c.dx
                                    << "," << c.dy);
    space->SelectOperator(c.eyedropper ? ID_OPER_SUCKER : ID_OPER_PAINT);
    COperation* op = space->GetCurOperator();
    ASSERT_EQ(op, c.eyedropper ? static_cast<COperation*>(sucker) : tool);
    EXPECT_TRUE(Send(DownMsg(c.button), HeldBit(c.button), 200, 150));
    EXPECT_EQ(StateOf(op, c.button), B::myPRESSED);
    EXPECT_TRUE(Send(WM_MOUSEMOVE, HeldBit(c.button), 200 + c.dx, 150 + c.dy));
    EXPECT_EQ(StateOf(op, c.button), c.wantState);
    // Let go without a release message, so that no click acts.
    EXPECT_TRUE(Send(WM_CAPTURECHANGED, 0, 0, 0));
    EXPECT_EQ(StateOf(op, c.button), B::myUP);
  }
  // The skeleton reports which drag started on which move.
  EXPECT_EQ(tool->moves.back(), DWORD(0x8));
}

TEST_F(Operation, ARightClickWithinEightPixelsOpensTheRingAtTheReleasePoint) {
  SkeletonTool* tool = Start();
  const ViewTransform before = View();
  EXPECT_TRUE(Send(WM_RBUTTONDOWN, MK_RBUTTON, 100, 100));
  EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_RBUTTON, 108, 100));
  EXPECT_TRUE(Send(WM_RBUTTONUP, 0, 108, 100));
  ASSERT_EQ(shell.rings.size(), 1u);
  EXPECT_EQ(shell.rings[0].x, ToolHost::kScreen.x + 108);
  EXPECT_EQ(shell.rings[0].y, ToolHost::kScreen.y + 100);
  EXPECT_EQ(shell.rings[0].menu, &tool->menu);
  EXPECT_EQ(View().centreX, before.centreX);
  EXPECT_FALSE(win.captured);

  // Beyond 8 pixels it pans, and the release opens nothing.
  EXPECT_TRUE(Send(WM_RBUTTONDOWN, MK_RBUTTON, 100, 100));
  EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_RBUTTON, 109, 100));
  EXPECT_FLOAT_EQ(View().centreX, before.centreX - 9);
  EXPECT_TRUE(Send(WM_RBUTTONUP, 0, 109, 100));
  EXPECT_EQ(shell.rings.size(), 1u);
  EXPECT_EQ(tool->m_nRButton, int(COperation::myUP));

  // Not while another button holds the capture, nor while the tool is busy.
  EXPECT_TRUE(Send(WM_LBUTTONDOWN, MK_LBUTTON, 50, 50));
  EXPECT_TRUE(Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 50, 50));
  EXPECT_TRUE(Send(WM_RBUTTONUP, MK_LBUTTON, 50, 50));
  EXPECT_TRUE(Send(WM_LBUTTONUP, 0, 50, 50));
  tool->ready = FALSE;
  EXPECT_TRUE(Send(WM_RBUTTONDOWN, MK_RBUTTON, 50, 50));
  EXPECT_TRUE(Send(WM_RBUTTONUP, 0, 50, 50));
  EXPECT_EQ(shell.rings.size(), 1u);
  EXPECT_EQ(space->GetCaptureMask(), 0u);
}

TEST_F(Operation, AReleaseOutsideTheViewEndsTheDragThroughFinishWork) {
  SkeletonTool* tool = Start();
  for (COperation::ButtonId b : {COperation::myLEFT, COperation::myRIGHT, COperation::myMIDDLE}) {
    SCOPED_TRACE(b);
    tool->finished = 0;
    EXPECT_TRUE(Send(DownMsg(b), HeldBit(b), 100, 100));
    EXPECT_TRUE(Send(WM_MOUSEMOVE, HeldBit(b), 130, 100));
    EXPECT_EQ(StateOf(tool, b), int(COperation::myDRAGGING));
    const float centreX = View().centreX;
    // The button went up elsewhere: the next move holds none.
    EXPECT_TRUE(Send(WM_MOUSEMOVE, 0, 160, 100));
    EXPECT_EQ(tool->moves.back(), DWORD(1));
    EXPECT_EQ(tool->finished, 1);
    EXPECT_EQ(space->GetCaptureMask(), 0u);
    EXPECT_FALSE(win.captured);
    EXPECT_EQ(StateOf(tool, b), int(COperation::myUP));
    EXPECT_EQ(View().centreX, centreX) << "the ending move moves nothing";
  }
  // A move holding only the buttons captured is part of the drag.
  EXPECT_TRUE(Send(WM_LBUTTONDOWN, MK_LBUTTON, 100, 100));
  EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, 101, 100));
  EXPECT_EQ(tool->finished, 1);
  EXPECT_TRUE(win.captured);
  EXPECT_TRUE(Send(WM_LBUTTONUP, 0, 101, 100));
  EXPECT_FALSE(win.captured);
}

TEST_F(Operation, LosingTheCaptureEndsTheDragOnce) {
  SkeletonTool* tool = Start();
  EXPECT_TRUE(Send(WM_LBUTTONDOWN, MK_LBUTTON, 10, 10));
  EXPECT_TRUE(Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 10, 10));
  EXPECT_EQ(space->GetCaptureMask(), CAPTURE_LBUTTON | CAPTURE_RBUTTON);
  EXPECT_TRUE(Send(WM_CAPTURECHANGED, 0, 0, 0));
  EXPECT_EQ(tool->finished, 1);
  EXPECT_EQ(space->GetCaptureMask(), 0u);
  EXPECT_FALSE(win.captured);
  EXPECT_EQ(tool->m_nLButton + tool->m_nRButton + tool->m_nMButton, 0);
  // Nothing held: nothing to end.
  EXPECT_TRUE(Send(WM_CAPTURECHANGED, 0, 0, 0));
  EXPECT_EQ(tool->finished, 1);
  // The release that follows opens no ring menu: the click was lost with the capture.
  EXPECT_TRUE(Send(WM_RBUTTONUP, 0, 10, 10));
  EXPECT_TRUE(shell.rings.empty());
}

// ---- the SPACE tap -------------------------------------------------------------------------------

struct TapCase {
  const char* name;
  POINT cursor;
  DWORD down, repeat, up;  // repeat 0: none
  bool wantRing;
};

TEST_F(Operation, ASpaceTapOfAtMost249MillisecondsOpensTheRing) {
  const TapCase cases[] = {
      {"249 ms", {50, 40}, 1000, 0, 1249, true},
      {"250 ms", {50, 40}, 2000, 0, 2250, false},
      {"a repeat does not restart the tap", {60, 70}, 3000, 3100, 3300, false},
      {"timed across the clock's wrap", {60, 70}, 0xFFFFFFA0u, 0, 0x50, true},
      {"the cursor outside the view", {-5, 40}, 4000, 0, 4010, false},
      {"the cursor past the view's edge", {400, 40}, 5000, 0, 5010, false},
  };
  FakeClock clock;
  SkeletonTool* tool = Start();
  auto key = [&](UINT msg, LPARAM lParam) {
    LRESULT result = 0;
    space->OnWndMsg(msg, VK_SPACE, lParam, &result);
  };
  for (const TapCase& c : cases) {
    SCOPED_TRACE(c.name);
    shell.rings.clear();
    EXPECT_TRUE(Send(WM_MOUSEMOVE, 0, c.cursor.x, c.cursor.y));
    g_now = c.down;
    key(WM_KEYDOWN, 1);
    if (c.repeat) {
      g_now = c.repeat;
      key(WM_KEYDOWN, 1 | (1 << 30));
    }
    g_now = c.up;
    key(WM_KEYUP, LPARAM(0xC0000001u));
    ASSERT_EQ(shell.rings.size(), c.wantRing ? 1u : 0u);
    if (c.wantRing) {
      EXPECT_EQ(shell.rings[0].x, ToolHost::kScreen.x + c.cursor.x);
      EXPECT_EQ(shell.rings[0].y, ToolHost::kScreen.y + c.cursor.y);
      EXPECT_EQ(tool->m_ptRButton.x, c.cursor.x);
      EXPECT_EQ(tool->m_ptRButton.y, c.cursor.y);
    }
  }
}

// ---- option windows ------------------------------------------------------------------------------

TEST_F(Operation, OptionWindowsAreBuiltOnceAndHandedOverOnEveryActivation) {
  win.shell = &shell;
  shell.withBar = false;
  auto* tool = new SkeletonTool(ID_OPER_MOVE);
  sucker = new COperSucker();
  Init(100, 100, sucker, {tool});
  // Without an option bar nothing is built and nothing sent.
  space->SelectOperator(ID_OPER_MOVE);
  EXPECT_EQ(tool->built, 0);
  shell.withBar = true;
  space->SelectOperator(ID_OPER_SUCKER);
  space->SelectOperator(ID_OPER_MOVE);
  space->SelectOperator(ID_OPER_SUCKER);
  space->SelectOperator(ID_OPER_MOVE);
  EXPECT_EQ(tool->built, 1);
  const std::vector<HWND> mine{reinterpret_cast<HWND>(0x7770), reinterpret_cast<HWND>(0x7780)};
  const auto& calls = shell.bar.calls;
  ASSERT_EQ(calls.size(), 4u);
  for (size_t i : {1u, 3u}) {
    EXPECT_EQ(calls[i].handles, mine);
    EXPECT_EQ(calls[i].count, 2);
  }
  // The eyedropper shows nothing on the bar.
  for (size_t i : {0u, 2u}) {
    EXPECT_TRUE(calls[i].handles.empty());
    EXPECT_EQ(calls[i].count, 0);
  }
}

// ---- ring-menu icons ----------------------------------------------------------------------------

TEST(FunctionMenu, DrawsACellOfItsStripAndNothingForIndexTwelve) {
  constexpr UINT kStrip = 987700;
  gui::RegisterBitmapResource(kStrip, [] {
    auto bitmap = gui::CreateCompatibleBitmap(12 * 26, 3 * 26);
    // Row 0 the image (red), row 1 the highlighted mask (keeps all), row 2 the normal mask
    // (keeps green and blue only).
    for (int y = 0; y < 3 * 26; ++y)
      for (int x = 0; x < 12 * 26; ++x)
        bitmap->Bits()[y * 12 * 26 + x] = 0xFF000000u | (y < 26 ? 0xFF0000u : y < 52 ? 0xFFFFFFu : 0x00FFFFu);
    return bitmap;
  });
  CFunctionMenu menu(kStrip);
  ASSERT_TRUE(menu.HasIcons());
  EXPECT_EQ(menu.GetCellWidth(), 26);
  gui::ScreenImage image;
  image.Resize(60, 60, 0x404040);
  gui::DeviceContext dc(&image);
  auto unchanged = [&] {
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 60; ++x)
        if ((image.Pixel(x, y) & 0xFFFFFF) != 0x404040) return false;
    return true;
  };
  for (int index : {12, 13, -1}) {
    menu.Draw(&dc, 30, 30, index, TRUE);
    EXPECT_TRUE(unchanged()) << index;
  }
  menu.Draw(nullptr, 30, 30, 0, TRUE);
  // A cell: its top left 13 pixels up and left of the point.
  menu.Draw(&dc, 30, 30, 11, TRUE);
  EXPECT_EQ(image.Pixel(17, 17) & 0xFFFFFF, 0xFF4040u);
  EXPECT_EQ(image.Pixel(42, 42) & 0xFFFFFF, 0xFF4040u);
  EXPECT_EQ(image.Pixel(16, 17) & 0xFFFFFF, 0x404040u);
  EXPECT_EQ(image.Pixel(43, 42) & 0xFFFFFF, 0x404040u);
  menu.Draw(&dc, 30, 30, 0, FALSE);
  EXPECT_EQ(image.Pixel(17, 17) & 0xFFFFFF, 0x004040u);
  // Without its strip the menu draws nothing.
  CFunctionMenu bare(987701);
  EXPECT_FALSE(bare.HasIcons());
  image.Fill(0x404040);
  bare.Draw(&dc, 30, 30, 0, TRUE);
  EXPECT_TRUE(unchanged());
}

// ---- the tools' undo steps ------------------------------------------------------------------------

TEST_F(Operation, AToolStepGoesToItsPartsAndBack) {
  SkeletonTool* tool = Start();
  AddLayer(8, 8, OLayer::myFORMAT_C32, 5, 0, 0, 0);
  OLayer* edited = AddLayer(8, 8, OLayer::myFORMAT_C32, 7, 0, 0, 0);
  list->SetCurSelect(1);
  const int refs = tool->AddRef() - 1;
  tool->Release();
  tool->Record(edited, 1, -3, 2.5f, 100);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 1u);
  const char16_t* label = nullptr;
  space->GetUndoStore()->CopyStepList(&label, 1);
  EXPECT_EQ(std::u16string(label), u"测试");

  space->Undo(1);
  space->Redo(1);
  ASSERT_EQ(tool->applied.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const SkeletonTool::Applied& a = tool->applied[i];
    EXPECT_EQ(a.redo, i == 1 ? TRUE : FALSE);
    EXPECT_EQ(a.sel, 1);
    EXPECT_EQ(a.layer, edited);
    EXPECT_EQ(a.field, -3);
    EXPECT_EQ(a.f, 2.5f);
  }
  // The undo got the recorded block, the redo the inverse the undo wrote.
  EXPECT_EQ(tool->applied[0].data, 100u);
  EXPECT_EQ(tool->applied[1].data, 101u);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 1u);
  EXPECT_EQ(space->GetRedoStore()->GetStepCount(), 0u);

  // A new step clears the redo store.
  space->Undo(1);
  EXPECT_EQ(space->GetRedoStore()->GetStepCount(), 1u);
  tool->Record(edited, 1, 0, 0.0f, 7);
  EXPECT_EQ(space->GetRedoStore()->GetStepCount(), 0u);
  // The steps hold the tool through its parts; they go with the stores.
  EXPECT_GT(tool->AddRef() - 1, refs);
  tool->Release();
}

TEST_F(Operation, AToolStepRefusesAnotherLayerAndAnUnknownTag) {
  SkeletonTool* tool = Start();
  OLayer* edited = AddLayer(8, 8, OLayer::myFORMAT_C32, 7, 0, 0, 0);
  OLayer* other = AddLayer(8, 8, OLayer::myFORMAT_C32, 8, 0, 0, 0);
  // Only the current row's layer may be recorded, under the tool's own assertion.
  list->SetCurSelect(0);
  EXPECT_EQ(ThrownCondition([&] { tool->Record(other, 1, 0, 0, 0); }), u"!m_cpLayer==GetLayer(nSel)");
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);

  tool->Record(edited, 2, 0, 0, 0);
  EXPECT_EQ(ThrownCondition([&] { space->Undo(1); }), u"Should not get here!");

  space->GetUndoStore()->Clear();
  tool->Record(edited, 1, 0, 0, 0);
  // Another layer has taken the row.
  GCompRef<OLayer> moved;
  moved.m_ptr = list->DetachLayer(0);
  ASSERT_EQ(list->GetLayer(0), other);
  const Thrown t = CatchError([&] { space->Undo(1); });
  EXPECT_EQ(t.condition, u"!(UINT)nID==poLayer->GetID()");
  EXPECT_TRUE(tool->applied.empty());
  EXPECT_EQ(space->GetRedoStore()->GetStepCount(), 0u) << "no inverse step was written";
}

TEST_F(Operation, AToolStepTraceNamesTheToolsPart) {
  SkeletonTool* tool = Start();
  OLayer* edited = AddLayer(8, 8, OLayer::myFORMAT_C32, 7, 0, 0, 0);
  list->SetCurSelect(0);
  tool->Record(edited, 9, 0, 0, 0);
  std::vector<std::u16string> pieces;
  try {
    space->Undo(1);
  } catch (GErrRecord* e) {
    e->AddRef();
    for (uint32_t i = 0; i < e->GetPieceCount(); ++i) pieces.emplace_back(e->GetPiece(i)->GetText());
    e->Release();
  }
  bool named = false;
  for (const std::u16string& p : pieces)
    named = named || (p.find(u"SkeletonTool") != p.npos && p.find(u"::XUndoInner::Execute()") != p.npos);
  EXPECT_TRUE(named);
}

// ---- the default tool -----------------------------------------------------------------------------

TEST_F(Operation, TheDefaultToolNeitherNavigatesNorCaptures) {
  auto* idle = new COperDefault();
  Init(400, 300, idle);
  const ViewTransform before = View();
  // Scroll bars are swallowed: handled, and nothing moves.
  EXPECT_TRUE(Send(WM_HSCROLL, MAKEWPARAM(SB_LINERIGHT, 0), 0, 0));
  EXPECT_TRUE(Send(WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0, 0));
  EXPECT_EQ(View().centreX, before.centreX);
  EXPECT_EQ(View().centreY, before.centreY);
  // Buttons are only remembered: pressed, never dragging, no capture, no pan.
  for (UINT down : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
    const UINT up = down + 1;
    const WPARAM held = down == WM_LBUTTONDOWN ? MK_LBUTTON : down == WM_RBUTTONDOWN ? MK_RBUTTON : MK_MBUTTON;
    int* state = down == WM_LBUTTONDOWN ? &idle->m_nLButton : down == WM_RBUTTONDOWN ? &idle->m_nRButton : &idle->m_nMButton;
    EXPECT_TRUE(Send(down, held, 10, 20));
    for (int x : {15, 60, 200}) {
      EXPECT_TRUE(Send(WM_MOUSEMOVE, held, x, 20));
      EXPECT_EQ(*state, int(COperation::myPRESSED));
    }
    EXPECT_FALSE(win.captured);
    EXPECT_EQ(space->GetCaptureMask(), 0u);
    EXPECT_TRUE(Send(up, 0, 200, 20));
    EXPECT_EQ(*state, int(COperation::myUP));
  }
  EXPECT_EQ(idle->m_ptMouse.x, 200);
  EXPECT_EQ(idle->m_ptRButton.x, 10);
  EXPECT_EQ(View().centreX, before.centreX);
  EXPECT_EQ(View().scale, before.scale);
  EXPECT_EQ(View().angle, before.angle);
  // It draws the view through the space, and leaves everything else alone.
  const int begins = device->begins;
  EXPECT_TRUE(Send(WM_PAINT, 0, 0, 0));
  EXPECT_EQ(device->begins, begins + 1);
  LRESULT result = 0;
  EXPECT_FALSE(space->OnWndMsg(WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WORD(int16_t(120))), 0, &result));
  EXPECT_EQ(View().scale, before.scale);
  EXPECT_TRUE(Send(WM_KEYUP, VK_SPACE, 0, 0));
  EXPECT_FALSE(Send(WM_KEYDOWN, VK_SPACE, 0, 0));
  EXPECT_EQ(idle->GetID(), 0u);
}

}  // namespace

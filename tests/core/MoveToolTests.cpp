// The move tool through synthesised view messages: a drag moves the current layer by whole
// space pixels with one undoable step; its edges snap to a neighbour's within 4 view pixels at
// any zoom and not beyond; a grab without a net motion leaves the layer exactly in place; a
// capture loss puts the layer back, and a drag ended any other way keeps its step.
#include <gtest/gtest.h>

#include "LayoutToolFixture.h"

namespace {

class MoveTool : public LayoutToolFixture {
 protected:
  // The moving layer A (40 x 30 at 10, 20) on top, its neighbour B (30 x 30 at 150, 100);
  // A is current. Snap lines x: 10 50 150 180 0 300, y: 20 50 100 130 0 200.
  void SetUp() override {
    LayoutToolFixture::SetUp();
    a = AddLayer(40, 30, OLayer::myFORMAT_C32, 1, 10, 20, 0xFF804020);
    b = AddLayer(30, 30, OLayer::myFORMAT_C32, 2, 150, 100, 0xFF204080);
    list->SetCurSelect(0);
    Select(ID_OPER_MOVE);
  }
  // A drag with the left button from a point inside A by (dx, dy) view pixels.
  void DragA(int dx, int dy) {
    const POINT from = ClientOf(20, 30);
    LeftDrag(from, POINT{from.x + dx, from.y + dy});
  }
  OLayer* a = nullptr;
  OLayer* b = nullptr;
};

TEST_F(MoveTool, MovesByTheDragWithOneUndoableStep) {
  move->m_bNoMagnet = TRUE;
  struct Case {
    int dx, dy;
  };
  for (const Case c : {Case{13, 7}, Case{-8, 61}, Case{0, 2}}) {
    SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
    const POINT before = Position(a);
    DragA(c.dx, c.dy);
    EXPECT_EQ(Position(a).x, before.x + c.dx);
    EXPECT_EQ(Position(a).y, before.y + c.dy);
    EXPECT_EQ(Labels(space->GetUndoStore()).front(), u"移动");
    EXPECT_FALSE(win.captured);
    EXPECT_TRUE(move->IsReady());

    space->Undo(1);
    EXPECT_EQ(Position(a).x, before.x);
    EXPECT_EQ(Position(a).y, before.y);
    space->Redo(1);
    EXPECT_EQ(Position(a).x, before.x + c.dx);
    EXPECT_EQ(Position(a).y, before.y + c.dy);
  }
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 3u);
  // B never moved.
  EXPECT_EQ(Position(b).x, 150);
  EXPECT_EQ(Position(b).y, 100);
}

// A's right edge (50) brought near B's left edge (150): the left edge lands at 110 within 4
// view pixels of it, and follows the pointer beyond. Nothing snaps in y on the way.
TEST_F(MoveTool, SnapsToANeighboursEdgeWithinFourViewPixels) {
  struct Case {
    float scale;
    int spaceGap;  // the right edge's distance from 150 in space pixels (negative: past it)
    bool snaps;
  };
  const Case cases[] = {{1, 4, true}, {1, -4, true}, {1, 5, false}, {1, -5, false},
                        {4, 1, true}, {4, -1, true}, {4, 2, false}, {0.5f, 8, true}, {0.5f, 10, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "zoom " << c.scale << " gap " << c.spaceGap);
    a->SetPosition(10, 20, FALSE);
    Zoom(c.scale, 100, 60);
    const POINT from = ClientOf(20.25f, 30.25f);
    const int dx = 100 - c.spaceGap;  // space pixels
    const POINT to{from.x + LONG(std::lround(dx * c.scale)), from.y + LONG(std::lround(40 * c.scale))};
    LeftDrag(from, to);
    EXPECT_EQ(Position(a).x, c.snaps ? 110 : 10 + dx);
    EXPECT_EQ(Position(a).y, 60);
  }
}

// A's leading edges brought near B's far edges: the left edge near 180 lands on it, the top
// edge near 130 lands on it, within 4 view pixels and not beyond (the trailing edges then lie
// far from every line).
TEST_F(MoveTool, TheLeadingEdgeSnapsWithinFourViewPixels) {
  struct Case {
    float scale;
    bool vertical;  // the top edge towards 130, else the left edge towards 180
    int spaceGap;   // the leading edge's distance from the line in space pixels
    bool snaps;
  };
  const Case cases[] = {{1, false, 4, true},  {1, false, -4, true}, {1, false, 5, false}, {1, false, -5, false},
                        {1, true, 4, true},   {1, true, -4, true},  {1, true, 5, false},  {1, true, -5, false},
                        {4, false, 1, true},  {4, false, -1, true}, {4, false, 2, false}, {4, true, -1, true},
                        {0.5f, true, 8, true}, {0.5f, false, -8, true}, {0.5f, false, 10, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "zoom " << c.scale << (c.vertical ? " top" : " left") << " gap " << c.spaceGap);
    a->SetPosition(10, 20, FALSE);
    Zoom(c.scale, 100, 60);
    const POINT from = ClientOf(20.25f, 30.25f);
    // Space pixels: the edge that is not tried stays clear of every line.
    const int dx = c.vertical ? 50 : 170 + c.spaceGap, dy = c.vertical ? 110 + c.spaceGap : 60;
    const POINT to{from.x + LONG(std::lround(dx * c.scale)), from.y + LONG(std::lround(dy * c.scale))};
    LeftDrag(from, to);
    EXPECT_EQ(Position(a).x, c.vertical ? 60 : c.snaps ? 180 : 10 + dx);
    EXPECT_EQ(Position(a).y, c.vertical ? (c.snaps ? 130 : 20 + dy) : 80);
  }
}

TEST_F(MoveTool, MagnetOffFollowsThePointerOnly) {
  move->m_bNoMagnet = TRUE;
  DragA(96, 40);
  EXPECT_EQ(Position(a).x, 106);
  EXPECT_EQ(Position(a).y, 60);
}

// The grab and the pointer map through one mapping: at zoom 4, with space pixel edges falling
// inside client pixels, every client pixel of a space pixel, dragged away and back, puts the
// layer exactly where it was and records nothing.
TEST_F(MoveTool, AGrabWithoutNetMotionChangesNothing) {
  for (BOOL noMagnet : {TRUE, FALSE}) {
    move->m_bNoMagnet = noMagnet;
    Zoom(4, 30.15f, 35.15f);
    const POINT base = ClientOf(20, 30);
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(testing::Message() << "magnet off " << noMagnet << " pixel " << i);
      const POINT p{base.x + i, base.y + i};
      Send(WM_LBUTTONDOWN, MK_LBUTTON, p.x, p.y);
      Send(WM_MOUSEMOVE, MK_LBUTTON, p.x + 9, p.y + 5);
      Send(WM_MOUSEMOVE, MK_LBUTTON, p.x, p.y);
      Send(WM_LBUTTONUP, 0, p.x, p.y);
      EXPECT_EQ(Position(a).x, 10);
      EXPECT_EQ(Position(a).y, 20);
      // A plain click too.
      Send(WM_LBUTTONDOWN, MK_LBUTTON, p.x, p.y);
      Send(WM_LBUTTONUP, 0, p.x, p.y);
      EXPECT_EQ(Position(a).x, 10);
      EXPECT_EQ(Position(a).y, 20);
    }
  }
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
}

TEST_F(MoveTool, APressPicksTheLayerUnderThePointer) {
  const POINT onB = ClientOf(160, 110);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, onB.x, onB.y);
  Send(WM_LBUTTONUP, 0, onB.x, onB.y);
  EXPECT_EQ(list->GetCurSel(), 1);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
  // With the layer kept, a press inside the current layer over another keeps the current one.
  a->SetPosition(140, 90, FALSE);
  list->SetCurSelect(1);
  move->m_bKeepLayer = TRUE;
  const POINT onBoth = ClientOf(155, 105);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, onBoth.x, onBoth.y);
  Send(WM_LBUTTONUP, 0, onBoth.x, onBoth.y);
  EXPECT_EQ(list->GetCurSel(), 1);
  move->m_bKeepLayer = FALSE;
  Send(WM_LBUTTONDOWN, MK_LBUTTON, onBoth.x, onBoth.y);
  Send(WM_LBUTTONUP, 0, onBoth.x, onBoth.y);
  EXPECT_EQ(list->GetCurSel(), 0);
}

// A capture loss, a right click or SPACE in the middle of a drag put the layer back without a
// step; a drag ended by the tool's FinishWork or by a button let go outside the view keeps
// the layer where it is, with its step.
TEST_F(MoveTool, ADragEndedEarlyIsPutBackOrCommittedNeverLeftWithoutAStep) {
  move->m_bNoMagnet = TRUE;
  const POINT from = ClientOf(20, 30);
  auto start = [&] {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, from.x, from.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, from.x + 30, from.y + 10);
    ASSERT_EQ(Position(a).x, 40);
    ASSERT_FALSE(move->IsReady());
  };
  auto expectBack = [&] {
    EXPECT_EQ(Position(a).x, 10);
    EXPECT_EQ(Position(a).y, 20);
    EXPECT_TRUE(move->IsReady());
    EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
  };
  start();
  Send(WM_CAPTURECHANGED, 0, 0, 0);
  expectBack();
  EXPECT_FALSE(win.captured);
  // The release that follows finds nothing to end.
  Send(WM_LBUTTONUP, 0, from.x + 30, from.y + 10);
  expectBack();

  start();
  Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, from.x + 30, from.y + 10);
  Send(WM_RBUTTONUP, MK_LBUTTON, from.x + 30, from.y + 10);
  expectBack();
  EXPECT_TRUE(shell.rings.empty());
  Send(WM_LBUTTONUP, 0, from.x + 30, from.y + 10);
  expectBack();
  EXPECT_FALSE(win.captured);

  start();
  space->FinishWork();
  EXPECT_EQ(Position(a).x, 40);
  EXPECT_TRUE(move->IsReady());
  EXPECT_EQ(Labels(space->GetUndoStore()), std::vector<std::u16string>{u"移动"});
  Send(WM_LBUTTONUP, 0, from.x + 30, from.y + 10);

  // Released outside the view: the next move comes with no button held.
  Send(WM_LBUTTONDOWN, MK_LBUTTON, from.x + 30, from.y + 10);
  Send(WM_MOUSEMOVE, MK_LBUTTON, from.x + 50, from.y + 10);
  Send(WM_MOUSEMOVE, 0, from.x + 55, from.y + 10);
  EXPECT_EQ(Position(a).x, 60);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 2u);
  EXPECT_FALSE(win.captured);
  space->Undo(2);
  EXPECT_EQ(Position(a).x, 10);
}

// The step is the moved layer's even when the selection moved on before the drag ended.
TEST_F(MoveTool, AStepFollowsTheMovedLayerNotTheSelection) {
  move->m_bNoMagnet = TRUE;
  const POINT from = ClientOf(20, 30);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, from.x, from.y);
  Send(WM_MOUSEMOVE, MK_LBUTTON, from.x + 30, from.y);
  // The selection moves on, and the layer bar tells the tool, which ends the move.
  list->SetCurSelect(1);
  space->NotifyOperator(CMyListLayer::GetClassName(), myNOTIFY_SELECT, list->GetLayer(1));
  EXPECT_TRUE(move->IsReady());
  Send(WM_LBUTTONUP, 0, from.x + 30, from.y);
  EXPECT_EQ(Position(a).x, 40);
  space->Undo(1);
  EXPECT_EQ(Position(a).x, 10);
  EXPECT_EQ(Position(b).x, 150);
}

TEST_F(MoveTool, ARightClickWhenReadyOpensTheRingMenu) {
  Send(WM_RBUTTONDOWN, MK_RBUTTON, 50, 60);
  Send(WM_RBUTTONUP, 0, 50, 60);
  ASSERT_EQ(shell.rings.size(), 1u);
  EXPECT_EQ(shell.rings[0].menu, move->GetFunctionMenu());
  EXPECT_EQ(std::u16string(move->GetFunctionMenu()->GetLabel(9, 1)), u"操作切换");
  EXPECT_EQ(std::u16string(move->GetFunctionMenu()->GetLabel(4, 1)), u"");
}

TEST_F(MoveTool, TheOptionButtonsToggleTheirFlags) {
  for (UINT id : {ID_MOVE_NOMAGNET, ID_MOVE_KEEPLAYER}) {
    BOOL& flag = id == ID_MOVE_NOMAGNET ? move->m_bNoMagnet : move->m_bKeepLayer;
    CmdUIState ui;
    ASSERT_TRUE(space->OnCmdMsg(id, &ui));
    EXPECT_TRUE(ui.bEnabled);
    EXPECT_FALSE(ui.bChecked);
    ASSERT_TRUE(space->OnCmdMsg(id, nullptr));
    EXPECT_TRUE(flag);
    ui = CmdUIState{};
    space->OnCmdMsg(id, &ui);
    EXPECT_TRUE(ui.bChecked);
  }
}

}  // namespace

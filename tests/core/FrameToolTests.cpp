// The create-layer and trim tools through synthesised view messages: the dragged rectangle
// with its snapping, the size the dialog proposes and the place of the typed size in all four
// drag directions; the new layer; trimming the space and the layer (trim, tile, mirror) with
// undo and redo bit-exact and the layer's ID kept; a release with the right button held or
// without a drag asks nothing.
#include <gtest/gtest.h>

#include "LayoutToolFixture.h"
#include "tools/FrameDrag.h"

namespace {

bool Same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(FrameRect, CornersAndTheTypedSizeAnchoredAtTheStart) {
  const RECT r = RectFromCorners({10.2f, 5.7f}, {3.9f, 20.1f});
  EXPECT_TRUE(Same(r, RECT{3, 5, 11, 21}));
  struct Case {
    POINTF start, end;
    int w, h;
    RECT expected;
  };
  const Case cases[] = {
      {{100.3f, 80.6f}, {40.2f, 30.9f}, 20, 10, {81, 71, 101, 81}},   // up and left: the right and bottom stay
      {{100.3f, 80.6f}, {140.2f, 90.9f}, 20, 10, {100, 80, 120, 90}}, // down and right
      {{100.3f, 80.6f}, {140.2f, 30.9f}, 20, 10, {100, 71, 120, 81}}, // up and right
      {{100.3f, 80.6f}, {40.2f, 90.9f}, 20, 10, {81, 80, 101, 90}},   // down and left
      {{100.0f, 80.0f}, {40.0f, 30.0f}, 7, 9, {93, 71, 100, 80}},
  };
  for (const Case& c : cases) EXPECT_TRUE(Same(RectFromCorner(c.start, c.end, c.w, c.h), c.expected)) << c.w;
}

class FrameTool : public LayoutToolFixture {
 protected:
  // At zoom 1 space pixel (x, y) shows at client (50 + x, 50 + y); magnet off unless a test
  // turns it on, so the corners are the client points' own.
  void SetUp() override {
    LayoutToolFixture::SetUp();
    Zoom(1, 150, 100);
    create->m_bNoMagnet = TRUE;
    crop->m_bNoMagnet = TRUE;
  }
  POINT At(int sx, int sy) { return POINT{50 + sx, 50 + sy}; }
};

// ---- create layer ------------------------------------------------------------------------

TEST_F(FrameTool, ANewLayerTakesTheTypedSizeAtTheDragsStartInEveryDirection) {
  Select(ID_OPER_NEW);
  const POINT mapped = At(50, 40);
  ASSERT_EQ(SpaceAt(float(mapped.x), float(mapped.y)), std::make_pair(50.0f, 40.0f));
  struct Case {
    POINT end;  // space
    const char16_t* proposed;
    RECT expected;
  };
  const Case cases[] = {{{80, 60}, u"new 新图层 30x20", {50, 40, 65, 52}},
                        {{20, 10}, u"new 新图层 30x30", {35, 28, 50, 40}},
                        {{80, 10}, u"new 新图层 30x30", {50, 28, 65, 40}},
                        {{20, 60}, u"new 新图层 30x20", {35, 40, 50, 52}}};
  int made = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.end.x << "," << c.end.y);
    ask.asked.clear();
    ask.newLayers.push_back({made % 2 ? 2 : 1, u"层", 15, 12});
    LeftDrag(At(50, 40), At(c.end.x, c.end.y));
    ASSERT_EQ(ask.asked.size(), 1u);
    EXPECT_EQ(ask.asked[0], c.proposed);
    ASSERT_EQ(list->GetCount(), ++made);
    OLayer* layer = list->GetLayer(0);
    EXPECT_EQ(list->GetCurSel(), 0);
    EXPECT_TRUE(Same(Rect(layer), c.expected));
    EXPECT_EQ(layer->GetFormat(), made % 2 ? OLayer::myFORMAT_C32 : OLayer::myFORMAT_A16);
    EXPECT_EQ(std::u16string(layer->GetName()), u"层");
    EXPECT_TRUE(create->IsReady());
  }
  EXPECT_EQ(Labels(space->GetUndoStore()).front(), u"创建");
  space->Undo(4);
  EXPECT_EQ(list->GetCount(), 0);
  space->Redo(4);
  EXPECT_EQ(list->GetCount(), 4);
}

TEST_F(FrameTool, TheProposedSizeIsTheDraggedOneWithinTheLimits) {
  Select(ID_OPER_NEW);
  LeftDrag(At(10, 10), At(71, 61));
  LeftDrag(At(10, 10), At(10, 12));  // a line: the width becomes 1
  // At the smallest zoom a long drag covers more than 10000 space pixels.
  Zoom(VIEW_SCALE_MIN, 150, 100);
  LeftDrag(POINT{-300, 100}, POINT{500, 110});
  ASSERT_EQ(ask.asked.size(), 3u);
  EXPECT_EQ(ask.asked[0], u"new 新图层 61x51");
  EXPECT_EQ(ask.asked[1], u"new 新图层 1x2");
  EXPECT_EQ(ask.asked[2], u"new 新图层 10000x160");
  // Every one cancelled: no layer, nothing recorded, the outline gone with a redraw.
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
  EXPECT_FALSE(space->IsCompositeValid());
}

TEST_F(FrameTool, WithTheMagnetACornerStartsOnANearEdge) {
  AddLayer(40, 30, OLayer::myFORMAT_C32, 1, 100, 60, 0xFF000000);
  Select(ID_OPER_NEW);
  create->m_bNoMagnet = FALSE;
  // The press 2.5 space pixels left of and above the layer's corner starts on it; the release
  // 1.5 inside the space's right edge snaps to it, 4.5 above its bottom does not.
  LeftDrag(At(97, 57), At(298, 195));
  ASSERT_EQ(ask.asked.size(), 1u);
  EXPECT_EQ(ask.asked[0], u"new 新图层 200x136");  // 100..300 by 60..ceil(195.5)
  // At zoom 4 the reach is one space pixel: the press 0.625 left of x = 100 snaps, 1.125 above
  // y = 60 does not.
  Zoom(4, 100, 60);
  const POINT corner{200, 150};  // space (100, 60)
  LeftDrag(POINT{corner.x - 3, corner.y - 5}, POINT{corner.x + 40, corner.y + 40});
  ASSERT_EQ(ask.asked.size(), 2u);
  EXPECT_EQ(ask.asked[1], u"new 新图层 11x13");  // 100..ceil(110.125) by floor(58.875)..ceil(70.125)
}

TEST_F(FrameTool, NoDialogWithoutADragOrWithTheRightButtonHeld) {
  for (UINT id : {ID_OPER_NEW, ID_OPER_CROP}) {
    Select(id);
    const POINT p = At(20, 20);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, p.x, p.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, p.x + 1, p.y + 1);  // within the left threshold
    Send(WM_LBUTTONUP, 0, p.x + 1, p.y + 1);

    Send(WM_LBUTTONDOWN, MK_LBUTTON, p.x, p.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, p.x + 40, p.y + 30);
    Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, p.x + 40, p.y + 30);
    Send(WM_LBUTTONUP, MK_RBUTTON, p.x + 40, p.y + 30);
    EXPECT_TRUE(space->GetCurOperator()->IsReady());
    // The right button let go without a drag, with nothing pending: a plain right click.
    Send(WM_RBUTTONUP, 0, p.x + 40, p.y + 30);
    EXPECT_EQ(shell.rings.size(), id == ID_OPER_NEW ? 1u : 2u);
    EXPECT_FALSE(win.captured);

    // A right click while dragging drops the rectangle; capture loss too.
    Send(WM_LBUTTONDOWN, MK_LBUTTON, p.x, p.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, p.x + 40, p.y + 30);
    Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, p.x + 40, p.y + 30);
    Send(WM_RBUTTONUP, MK_LBUTTON, p.x + 40, p.y + 30);
    EXPECT_TRUE(space->GetCurOperator()->IsReady());
    Send(WM_LBUTTONUP, 0, p.x + 40, p.y + 30);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, p.x, p.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, p.x + 40, p.y + 30);
    Send(WM_CAPTURECHANGED, 0, 0, 0);
    EXPECT_TRUE(space->GetCurOperator()->IsReady());
    Send(WM_LBUTTONUP, 0, p.x + 40, p.y + 30);
    EXPECT_FALSE(win.captured);
  }
  EXPECT_TRUE(ask.asked.empty());
  EXPECT_TRUE(shell.asked.empty());
  EXPECT_EQ(shell.rings.size(), 2u);
}

// An error of the release's question (here the dialog) drops the rectangle all the same: a
// later click without a drag asks nothing.
TEST_F(FrameTool, AFailedReleaseLeavesTheToolReady) {
  Select(ID_OPER_NEW);
  ask.newLayers.push_back({-1, u"", 0, 0});
  const POINT p = At(20, 20);
  const POINT end = At(60, 50);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, p.x, p.y);
  Send(WM_MOUSEMOVE, MK_LBUTTON, end.x, end.y);
  EXPECT_TRUE(SendFailing(WM_LBUTTONUP, 0, end.x, end.y));
  EXPECT_TRUE(create->IsReady());
  EXPECT_FALSE(win.captured);
  ask.asked.clear();
  Send(WM_LBUTTONDOWN, MK_LBUTTON, p.x, p.y);
  Send(WM_LBUTTONUP, 0, p.x, p.y);
  EXPECT_TRUE(ask.asked.empty()) << "a click without a drag asks nothing";
  EXPECT_EQ(list->GetCount(), 0);
}

// The outline is XORed over the view: while dragging exactly the edges of the latest
// rectangle show, the earlier ones erased; a repaint forgets it and draws it afresh.
TEST_F(FrameTool, TheOutlineShowsTheLatestRectangleOnly) {
  Select(ID_OPER_NEW);
  const POINT a = At(20, 20);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, a.x, a.y);
  Send(WM_MOUSEMOVE, MK_LBUTTON, a.x + 30, a.y + 30);
  Send(WM_MOUSEMOVE, MK_LBUTTON, a.x + 40, a.y + 20);
  auto outlined = [&] {
    std::vector<POINT> marked;
    const gui::ScreenImage& image = win.feedback;
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x)
        if ((image.Bits()[y * image.Pitch() + x] & 0xFFFFFF) != 0xFFFFFF) marked.push_back(POINT{x, y});
    return marked;
  };
  // The rectangle of space 20..60 by 20..40 is client 70..110 by 70..90.
  auto onEdge = [](POINT p) {
    const bool x = p.x >= 70 && p.x <= 110, y = p.y >= 70 && p.y <= 90;
    return (x && (p.y == 70 || p.y == 90)) || (y && (p.x == 70 || p.x == 110));
  };
  std::vector<POINT> marked = outlined();
  EXPECT_GE(marked.size(), 2u * 40 + 2u * 20 - 4);
  for (POINT p : marked) EXPECT_TRUE(onEdge(p)) << p.x << "," << p.y;
  EXPECT_EQ(win.feedback.Bits()[80 * win.feedback.Pitch() + 70] & 0xFFFFFF, 0xFFFFFFu ^ 0x909090u);
  // A repaint: the view is drawn anew, then the same outline.
  win.feedback.Resize(0, 0);
  Send(WM_PAINT, 0, 0, 0);
  EXPECT_EQ(outlined().size(), marked.size());
  Send(WM_LBUTTONUP, 0, a.x + 40, a.y + 20);
  EXPECT_TRUE(create->IsReady());
}

// ---- trim ----------------------------------------------------------------------------------

class TrimTool : public FrameTool {
 protected:
  // A patterned layer 40 x 30 at (20, 10), ID 7, named, nested into the layer below it.
  void SetUp() override {
    FrameTool::SetUp();
    layer = AddPatterned(40, 30, 7, 20, 10);
    layer->SetName(u"甲");
    layer->SetFlags(LYR_FLAG_NEST);
    AddLayer(300, 200, OLayer::myFORMAT_C32, 3, 0, 0, 0xFFFFFFFF);
    list->SetCurSelect(0);
    Select(ID_OPER_CROP);
  }
  OLayer* layer = nullptr;
};

// Each layer action gives the layer of the rectangle the layer itself would make of it, in
// the same row with the same ID, name and flags; undo brings back the old layer bit for bit,
// redo the trimmed one, and the steps of other tools on the layer still find it.
TEST_F(TrimTool, TrimTileAndMirrorTheLayerUndoably) {
  struct Case {
    int action;
    POINT from, to;  // space
    int typedW, typedH;
    RECT rect;
  };
  const Case cases[] = {
      {myCROP_LAYER, {30, 15}, {50, 35}, 0, 0, {30, 15, 50, 35}},
      {myCROP_TILE, {10, 5}, {90, 70}, 0, 0, {10, 5, 90, 70}},
      {myCROP_MIRROR, {90, 70}, {50, 40}, 100, 0, {-10, 40, 90, 70}},  // typed wider: grows left
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    const Shot before = Snap(list->GetLayer(0));
    GCompRef<OLayer> reference(list->GetLayer(0)->Clip(&c.rect, c.action - myCROP_LAYER));
    shell.answers.push_back({c.action, c.typedW, c.typedH});
    LeftDrag(At(c.from.x, c.from.y), At(c.to.x, c.to.y));
    ASSERT_EQ(shell.asked.size(), 1u);
    EXPECT_TRUE(shell.asked[0].bWritable);
    EXPECT_FALSE(shell.asked[0].bEqualsLayer);
    shell.asked.clear();

    Shot expected = Snap(reference);
    expected.id = 7;
    expected.name = u"甲";
    expected.flags = LYR_FLAG_NEST;
    const Shot after = Snap(list->GetLayer(0));
    EXPECT_TRUE(Same(after.rect, c.rect));
    EXPECT_TRUE(after == expected);
    EXPECT_EQ(list->GetCurSel(), 0);
    EXPECT_EQ(Labels(space->GetUndoStore()).front(), u"修剪>图层");

    // Another tool's step on the trimmed layer, undone and redone across the trim.
    move->m_bNoMagnet = TRUE;
    Select(ID_OPER_MOVE);
    const POINT grab = At(c.rect.left + 1 + 5, c.rect.top + 1);
    LeftDrag(grab, POINT{grab.x + 6, grab.y + 2});
    Select(ID_OPER_CROP);
    EXPECT_EQ(Labels(space->GetUndoStore()).front(), u"移动");
    space->Undo(2);
    EXPECT_TRUE(Snap(list->GetLayer(0)) == before);
    space->Redo(2);
    Shot moved = expected;
    moved.rect = RECT{c.rect.left + 6, c.rect.top + 2, c.rect.right + 6, c.rect.bottom + 2};
    EXPECT_TRUE(Snap(list->GetLayer(0)) == moved);
    space->Undo(1);
    EXPECT_TRUE(Snap(list->GetLayer(0)) == expected);
    space->Undo(1);
    EXPECT_TRUE(Snap(list->GetLayer(0)) == before);
    space->Redo(1);
    EXPECT_TRUE(Snap(list->GetLayer(0)) == expected);
  }
}

TEST_F(TrimTool, TrimTheSpaceUndoably) {
  OLayer* below = list->GetLayer(1);
  shell.answers.push_back({myCROP_SPACE, 0, 0});
  LeftDrag(At(10, 5), At(150, 80));
  ASSERT_EQ(shell.asked.size(), 1u);
  EXPECT_EQ(shell.asked[0].nWidth, 140);
  EXPECT_EQ(shell.asked[0].nHeight, 75);
  EXPECT_FALSE(shell.asked[0].bEqualsSpace);
  EXPECT_EQ(space->GetWidth(), 140u);
  EXPECT_EQ(space->GetHeight(), 75u);
  EXPECT_EQ(Position(layer).x, 10);
  EXPECT_EQ(Position(layer).y, 5);
  EXPECT_EQ(Position(below).x, -10);
  EXPECT_EQ(Labels(space->GetUndoStore()).front(), u"修剪>空间");
  space->Undo(1);
  EXPECT_EQ(space->GetWidth(), kWidth);
  EXPECT_EQ(space->GetHeight(), kHeight);
  EXPECT_EQ(Position(layer).x, 20);
  EXPECT_EQ(Position(below).y, 0);
  space->Redo(1);
  EXPECT_EQ(space->GetWidth(), 140u);
  EXPECT_EQ(Position(layer).y, 5);
}

// The rectangle of the layer itself or of the whole space is told to the dialog; the action
// the dialog would not offer there changes nothing.
TEST_F(TrimTool, ARectangleEqualToTheLayerOrTheSpaceChangesNothing) {
  const Shot before = Snap(layer);
  shell.answers.push_back({myCROP_LAYER, 0, 0});
  LeftDrag(At(20, 10), At(60, 40));
  shell.answers.push_back({myCROP_SPACE, 0, 0});
  LeftDrag(At(0, 0), At(300, 200));
  ASSERT_EQ(shell.asked.size(), 2u);
  EXPECT_TRUE(shell.asked[0].bEqualsLayer);
  EXPECT_FALSE(shell.asked[0].bEqualsSpace);
  EXPECT_TRUE(shell.asked[1].bEqualsSpace);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
  EXPECT_EQ(space->GetWidth(), kWidth);
  EXPECT_TRUE(Snap(list->GetLayer(0)) == before);
  // A protected layer is not offered, and not trimmed when asked anyway.
  layer->SetFlags(LYR_FLAG_PROTECT);
  shell.answers.push_back({myCROP_LAYER, 0, 0});
  LeftDrag(At(25, 15), At(45, 25));
  ASSERT_EQ(shell.asked.size(), 3u);
  EXPECT_FALSE(shell.asked[2].bWritable);
  EXPECT_EQ(list->GetLayer(0), layer);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
}

}  // namespace

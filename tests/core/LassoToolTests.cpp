// The surgery tool through synthesised view messages on a headless paint space: the lasso
// lifts exactly the pixels it encloses (its coverage against a point-in-polygon count of the
// same sub-samples), a piece moved by whole pixels lands bit for bit, a quarter turn of the
// frame equals the layer engine's quarter turn of the piece, pieces go between layers by cut,
// copy and paste, a pasted piece outlives the clipboard it came from, a cancelled final
// mapping leaves the piece shown once, and every step undoes and redoes bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "LassoKernels.h"
#include "MorvaneUtility.h"
#include "ScriptedLayerAsk.h"
#include "ToolFixture.h"
#include "XLasso.h"
#include "core/LayerClipboard.h"
#include "Corbish.h"
#include "odata/GError.h"
#include "tools/OperLasso.h"

namespace {

using Image = std::vector<uint32_t>;
using Polygon = std::vector<POINT>;

// The tool the space starts with, so that the surgery tool is selected like any other.
class StandIn final : public COperation {
 public:
  UINT GetID() override { return ID_OPER_PAINT; }
  int Activate() override { return 0; }
};

// An opaque pattern in which a pixel one place off shows.
uint32_t Pattern(int x, int y) { return 0xFF000000u | uint32_t(x * 7 + y) << 16 | uint32_t(y * 5 + x) << 8 | uint32_t(x ^ y); }

// Runs the job on the worker and reports it cancelled: the cancel arrives after rows of the
// mapping are drawn (here all of them, the latest a cancel can come).
class CancelLate final : public CJobRunner {
 public:
  int32_t Run(OWorker* worker, JobRecord* job, const char16_t*, int, uint32_t* flags) override {
    JobControl control;
    if (!worker->Launch(job, &control)) return 0;
    worker->Wait(FALSE);
    control.flags |= JOB_ABORT;
    if (control.pObj) control.pObj->Release();
    if (flags) *flags = control.flags;
    ++runs;
    rowsDrawn = control.progress;
    return job->result;
  }
  int runs = 0;
  int32_t rowsDrawn = 0;
};

class LassoTool : public ToolFixture {
 protected:
  // Space 400 x 300 in the 400 x 300 view at scale 1: client points are space points.
  void SetUp() override {
    sys.Register(u"Corbish", GCreateComponent<Corbish>);
    sys.Register(u"XLasso", GCreateComponent<XLasso>);
    win.shell = &shell;
    list->SetAsk(&ask);
    list->SetClipboard(&clipboard);
    tool = new COperLasso();
    Init(400, 300, new StandIn(), {tool});
    a = AddLayer(400, 300, OLayer::myFORMAT_C32, 1, 0, 0, 0);
    b = AddLayer(400, 300, OLayer::myFORMAT_C32, 2, 0, 0, 0xFF204060u);
    Paint(a, [](int x, int y) { return Pattern(x, y); });
    list->SetCurSelect(0);
    space->SelectOperator(ID_OPER_LASSO);
    ASSERT_EQ(space->GetCurOperator(), tool);
    const auto at = SpaceAt(100, 80);
    ASSERT_FLOAT_EQ(at.first, 100.0f);
    ASSERT_FLOAT_EQ(at.second, 80.0f);
  }
  void TearDown() override {
    space->GetWorker()->Wait(FALSE);
    clipboard.Clear();
    ToolFixture::TearDown();
  }

  template <class F>
  void Paint(OLayer* layer, F pixel) {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(layer, 0));
    for (int y = 0; y < lock.nHeight; ++y)
      for (int x = 0; x < lock.nWidth; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = pixel(x, y);
    lock.Unlock();
    layer->MipRefresh(nullptr);
  }
  static Image Pixels(OLayer* layer) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(layer, 0));
    Image out;
    for (int y = 0; y < lock.nHeight; ++y)
      out.insert(out.end(), reinterpret_cast<uint32_t*>(lock.Row(y)),
                 reinterpret_cast<uint32_t*>(lock.Row(y)) + lock.nWidth);
    return out;
  }
  static std::vector<uint16_t> Values(OLayer* layer) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(layer, 0));
    std::vector<uint16_t> out;
    for (int y = 0; y < lock.nHeight; ++y)
      out.insert(out.end(), reinterpret_cast<uint16_t*>(lock.Row(y)),
                 reinterpret_cast<uint16_t*>(lock.Row(y)) + lock.nWidth);
    return out;
  }
  static uint32_t& At(Image& image, int x, int y) { return image[size_t(y) * 400 + size_t(x)]; }

  // The outline through the points: pressed at the first, dragged through the others and back.
  void Lasso(const Polygon& points) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, points[0].x, points[0].y);
    for (size_t i = 1; i < points.size(); ++i) Send(WM_MOUSEMOVE, MK_LBUTTON, points[i].x, points[i].y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, points[0].x, points[0].y);
    Send(WM_LBUTTONUP, 0, points[0].x, points[0].y);
  }
  // A left drag from one client point to another through a point past the threshold.
  void Drag(POINT from, POINT to) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, from.x, from.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, from.x + 3, from.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, to.x, to.y);
    Send(WM_LBUTTONUP, 0, to.x, to.y);
  }
  void RightClick(int x, int y) {
    Send(WM_RBUTTONDOWN, MK_RBUTTON, x, y);
    Send(WM_RBUTTONUP, 0, x, y);
  }
  BOOL Command(UINT id) { return space->OnCmdMsg(id, nullptr); }
  CmdUIState Update(UINT id) {
    CmdUIState ui;
    EXPECT_TRUE(space->OnCmdMsg(id, &ui));
    return ui;
  }
  UINT UndoSteps() { return space->GetUndoStore()->GetStepCount(); }
  std::u16string LastLabel() {
    const char16_t* newest = nullptr;
    return space->GetUndoStore()->CopyStepList(&newest, 1) && newest ? std::u16string(newest) : u"";
  }
  // The layer with the hole the lifted piece's mask makes in it.
  Image WithHole(Image image) {
    const std::vector<uint16_t> mask = Values(tool->m_cpLayerAlpha);
    RECT rc;
    tool->m_cpLayerAlpha->GetRect(&rc);
    const int w = int(rc.right - rc.left);
    for (int y = rc.top; y < rc.bottom; ++y)
      for (int x = rc.left; x < rc.right; ++x) {
        const uint32_t m = mask[size_t(y - rc.top) * w + size_t(x - rc.left)] >> 8;
        uint32_t& p = At(image, x, y);
        if (m) p = (p & 0xFFFFFFu) | (((256 - m) * (p >> 24)) >> 8) << 24;
      }
    return image;
  }
  // The image with the piece's pixels laid over it from (x, y) on.
  static Image WithPiece(Image image, OLayer* piece, int x, int y) {
    const Image px = Pixels(piece);
    const int w = piece->GetWidth(), h = piece->GetHeight();
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i) At(image, x + i, y + j) = lasso::CompositeOver(px[size_t(j) * w + i], At(image, x + i, y + j));
    return image;
  }

  RecordingShell shell;
  ScriptedLayerAsk ask;
  LayerClipboard clipboard;
  COperLasso* tool = nullptr;
  OLayer* a = nullptr;
  OLayer* b = nullptr;
};

// Even-odd crossing test of a point against the closed polygon.
bool InsidePolygon(const Polygon& poly, double x, double y) {
  bool in = false;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    const double xi = poly[i].x, yi = poly[i].y, xj = poly[j].x, yj = poly[j].y;
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
  }
  return in;
}

// The distance from a point to the nearest edge of the closed polygon.
double DistanceToOutline(const Polygon& poly, double x, double y) {
  double best = 1e9;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    const double ax = poly[j].x, ay = poly[j].y, bx = poly[i].x, by = poly[i].y;
    const double t = std::clamp(((x - ax) * (bx - ax) + (y - ay) * (by - ay)) / ((bx - ax) * (bx - ax) + (by - ay) * (by - ay)), 0.0, 1.0);
    best = std::min(best, std::hypot(ax + t * (bx - ax) - x, ay + t * (by - ay) - y));
  }
  return best;
}

// The sub-samples of an 8 x 8 grid inside the pixel that lie inside the polygon.
int CountInside(const Polygon& poly, int px, int py) {
  int n = 0;
  for (int j = 0; j < 8; ++j)
    for (int i = 0; i < 8; ++i) n += InsidePolygon(poly, px + (i + 0.5) / 8, py + (j + 0.5) / 8);
  return n;
}

TEST_F(LassoTool, TheLiftTakesTheEnclosedPixelsAndLeavesTheLayerAsItWas) {
  const Polygon poly{{50, 40}, {150, 30}, {171, 121}, {100, 163}, {40, 110}};
  const Image before = Pixels(a);
  Lasso(poly);
  ASSERT_EQ(tool->m_myState, COperLasso::myLIFT);
  EXPECT_EQ(Pixels(a), before) << "lifting never changes the layer";
  EXPECT_EQ(UndoSteps(), 0u);

  RECT rc;
  tool->m_cpLayerAlpha->GetRect(&rc);
  EXPECT_EQ(rc.left, 40);
  EXPECT_EQ(rc.top, 30);
  EXPECT_EQ(rc.right, 171);
  EXPECT_EQ(rc.bottom, 163);
  const std::vector<uint16_t> mask = Values(tool->m_cpLayerAlpha);
  const Image piece = Pixels(tool->m_cpLayerLift);
  const int w = int(rc.right - rc.left);
  int64_t filler = 0, counted = 0;
  int worst = 0;
  for (int y = rc.top; y < rc.bottom; ++y)
    for (int x = rc.left; x < rc.right; ++x) {
      const size_t k = size_t(y - rc.top) * w + size_t(x - rc.left);
      // The coverage the mask holds: the mask value is (c * 1020) & 0xFF00, one for each c.
      int c = -1;
      for (int v = 0; v <= 64; ++v)
        if (((v * 1020) & 0xFF00) == mask[k]) c = v;
      ASSERT_GE(c, 0) << x << "," << y;
      const int expect = CountInside(poly, x, y);
      filler += c;
      counted += expect;
      worst = std::max(worst, std::abs(c - expect));
      // Pixels the outline does not come near are exact: wholly in or wholly out.
      if (DistanceToOutline(poly, x + 0.5, y + 0.5) > 1.0) {
        ASSERT_EQ(c, expect) << x << "," << y;
      }
      ASSERT_EQ(piece[k] >> 24, 255u * uint32_t(c) / 64) << x << "," << y;
      ASSERT_EQ(piece[k] & 0xFFFFFFu, before[size_t(y) * 400 + size_t(x)] & 0xFFFFFFu);
    }
  // Crossed pixels may differ by where an edge meets a sub-row: one row of sub-samples.
  EXPECT_LE(worst, 8);
  EXPECT_NEAR(double(filler), double(counted), double(counted) * 0.002);

  // Put down unmoved: no step and the layer as it was.
  RightClick(300, 250);
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
  EXPECT_EQ(Pixels(a), before);
  EXPECT_EQ(UndoSteps(), 0u);
}

TEST_F(LassoTool, APieceMovedByWholePixelsLandsBitForBitAndUndoesBitForBit) {
  Paint(a, [](int x, int y) { return (Pattern(x, y) & 0xFFFFFFu) | uint32_t(128 + (x + y) % 128) << 24; });
  const Image before = Pixels(a);
  Lasso({{60, 50}, {140, 45}, {150, 130}, {70, 140}});
  ASSERT_EQ(tool->m_myState, COperLasso::myLIFT);
  RECT rc;
  tool->m_cpLayerLift->GetRect(&rc);
  const Image expected = WithPiece(WithHole(before), tool->m_cpLayerLift, rc.left + 37, rc.top + 21);

  Drag(POINT{100, 90}, POINT{137, 111});
  EXPECT_EQ(Pixels(a), expected) << "the live mapping shows the piece moved";
  ASSERT_TRUE(Update(ID_EDIT_UNDO).bEnabled == FALSE) << "no undo while a piece is lifted";
  RightClick(350, 250);
  ASSERT_EQ(tool->m_myState, COperLasso::myREADY);
  EXPECT_EQ(Pixels(a), expected);
  ASSERT_EQ(UndoSteps(), 1u);
  EXPECT_EQ(LastLabel(), u"手术");

  space->Undo(1);
  EXPECT_EQ(Pixels(a), before);
  space->Redo(1);
  EXPECT_EQ(Pixels(a), expected);
}

TEST_F(LassoTool, AQuarterTurnOfTheFrameEqualsTheLayerEnginesQuarterTurn) {
  // Edges on pixel lines: every pixel wholly in or out, the piece 64 x 64 and opaque.
  Lasso({{200, 100}, {264, 100}, {264, 164}, {200, 164}});
  ASSERT_EQ(tool->m_myState, COperLasso::myLIFT);
  GCompRef<OLayer> piece = tool->m_cpLayerLift;
  GCompRef<OLayer> turned = NewLayer(64, 64, OLayer::myFORMAT_C32, 9);
  GCompRef<OLayerUtility> utility = static_cast<OLayerUtility*>(
      GCreateComponent<MorvaneUtility>(nullptr, nullptr, nullptr)->GetInterface(u"OLayerUtility"));
  ASSERT_TRUE(utility->Rotate90(turned, piece));

  // Corner 3 of the frame (265, 165) grabbed just outside it turns and scales about corner 0
  // (199, 99); dragged to (199 - 66, 99 + 66) it turns a quarter clockwise.
  Drag(POINT{268, 168}, POINT{268 - 132, 168});
  EXPECT_TRUE(tool->m_bRotate);
  EXPECT_NEAR(tool->m_rrFrame.angle, 3 * std::acos(-1.0) / 2, 1e-5);
  RightClick(380, 280);
  ASSERT_EQ(UndoSteps(), 1u);

  const Image after = Pixels(a);
  const Image expect = Pixels(turned);
  // The turned piece covers x 134..197 (199 - 65 .. 199 - 2), y 100..163.
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      ASSERT_EQ(after[size_t(100 + y) * 400 + size_t(134 + x)], expect[size_t(y) * 64 + x]) << x << "," << y;
  // Where the piece was, the hole: transparent.
  for (int y = 100; y < 164; ++y)
    for (int x = 200; x < 264; ++x) ASSERT_EQ(after[size_t(y) * 400 + size_t(x)] >> 24, 0u) << x << "," << y;
}

TEST_F(LassoTool, PiecesGoBetweenLayersByCutCopyAndPasteEachUndoable) {
  const Image beforeA = Pixels(a), beforeB = Pixels(b);
  Lasso({{20, 20}, {90, 25}, {80, 90}, {25, 80}});
  ASSERT_EQ(tool->m_myState, COperLasso::myLIFT);
  ASSERT_TRUE(Update(ID_EDIT_COPY).bEnabled);
  ASSERT_TRUE(Command(ID_EDIT_COPY));
  ASSERT_TRUE(clipboard.HasLayer());
  const Image hole = WithHole(beforeA);
  GCompRef<OLayer> piece = tool->m_cpLayerLift;
  RECT rc;
  piece->GetRect(&rc);

  // Cut: the hole with its own step.
  ASSERT_TRUE(Command(ID_EDIT_CUT));
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
  EXPECT_EQ(Pixels(a), hole);
  EXPECT_EQ(LastLabel(), u"手术>剪切");

  // Paste into the other layer: centred on the view, mapped at once.
  list->SetCurSelect(1);
  ASSERT_TRUE(Update(ID_EDIT_PASTE).bEnabled);
  ASSERT_TRUE(Command(ID_EDIT_PASTE));
  ASSERT_EQ(tool->m_myState, COperLasso::myLIFT);
  EXPECT_TRUE(tool->m_bFromPaste);
  EXPECT_FALSE(Update(ID_EDIT_COPY).bEnabled) << "a pasted piece is copied from the clipboard already";
  const int w = int(rc.right - rc.left), h = int(rc.bottom - rc.top);
  const Image pasted = WithPiece(beforeB, piece, 200 - w / 2, 150 - h / 2);
  EXPECT_EQ(Pixels(b), pasted);
  RightClick(390, 290);
  EXPECT_EQ(Pixels(b), pasted);
  ASSERT_EQ(UndoSteps(), 2u);
  EXPECT_EQ(LastLabel(), u"手术>粘贴");

  space->Undo(1);
  EXPECT_EQ(Pixels(b), beforeB);
  EXPECT_EQ(Pixels(a), hole);
  space->Undo(1);
  EXPECT_EQ(Pixels(a), beforeA);
  space->Redo(2);
  EXPECT_EQ(Pixels(a), hole);
  EXPECT_EQ(Pixels(b), pasted);

  // Cutting a pasted piece takes it away without a trace.
  const UINT steps = UndoSteps();
  ASSERT_TRUE(Command(ID_EDIT_PASTE));
  ASSERT_EQ(tool->m_myState, COperLasso::myLIFT);
  EXPECT_NE(Pixels(b), pasted);
  ASSERT_TRUE(Command(ID_EDIT_CUT));
  EXPECT_EQ(Pixels(b), pasted);
  EXPECT_EQ(UndoSteps(), steps);
  EXPECT_EQ(space->GetRedoStore()->GetStepCount(), 0u);
}

TEST_F(LassoTool, APastedPieceOutlivesTheClipboardItCameFrom) {
  Lasso({{20, 20}, {90, 25}, {80, 90}, {25, 80}});
  ASSERT_TRUE(Command(ID_EDIT_COPY));
  GCompRef<OLayer> piece = tool->m_cpLayerLift;
  RECT rc;
  piece->GetRect(&rc);
  RightClick(390, 290);
  list->SetCurSelect(1);
  const Image beforeB = Pixels(b);
  ASSERT_TRUE(Command(ID_EDIT_PASTE));
  ASSERT_EQ(tool->m_myState, COperLasso::myLIFT);

  // The clipboard lets go of its block (as an error reaching the message loop makes it).
  clipboard.Clear();
  EXPECT_FALSE(Update(ID_EDIT_PASTE).bEnabled);
  // The piece is mapped again from its pixels: a move of (10, 5).
  Drag(POINT{200, 150}, POINT{210, 155});
  const int w = int(rc.right - rc.left), h = int(rc.bottom - rc.top);
  EXPECT_EQ(Pixels(b), WithPiece(beforeB, piece, 200 - w / 2 + 10, 150 - h / 2 + 5));
  RightClick(390, 290);
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
  EXPECT_EQ(LastLabel(), u"手术>粘贴");
}

TEST_F(LassoTool, ACancelledFinalMappingLeavesThePieceShownOnce) {
  // Half-transparent, so that a piece laid over itself shows.
  Paint(a, [](int x, int y) { return (Pattern(x, y) & 0xFFFFFFu) | 0x80000000u; });
  const Image before = Pixels(a);
  Lasso({{30, 30}, {330, 40}, {320, 260}, {40, 250}});
  Drag(POINT{150, 150}, POINT{157, 154});
  const Image live = Pixels(a);
  ASSERT_NE(live, before);

  CancelLate cancel;
  ask.runner = &cancel;
  ASSERT_TRUE(Update(ID_LASSO_DOWN).bEnabled);
  ASSERT_TRUE(Command(ID_LASSO_DOWN));
  ASSERT_EQ(cancel.runs, 1);
  ASSERT_GT(cancel.rowsDrawn, 200) << "the job drew before the cancel";
  EXPECT_EQ(tool->m_myState, COperLasso::myLIFT) << "the piece stays lifted";
  EXPECT_EQ(Pixels(a), live) << "the fast mapping alone, the piece once";
  EXPECT_EQ(UndoSteps(), 0u);

  // Uncancelled, the final mapping puts the piece down with one step.
  ask.runner = nullptr;
  ASSERT_TRUE(Command(ID_LASSO_DOWN));
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
  ASSERT_EQ(UndoSteps(), 1u);
  const Image done = Pixels(a);
  space->Undo(1);
  EXPECT_EQ(Pixels(a), before);
  space->Redo(1);
  EXPECT_EQ(Pixels(a), done);
}

TEST_F(LassoTool, EdgeCasesOfLiftDragAndMode) {
  const Image before = Pixels(a);
  // Too few points, or an outline wholly off the layer, lifts nothing.
  Lasso({{10, 10}, {14, 10}});
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
  a->SetPosition(200, 0, FALSE);
  Lasso({{10, 10}, {100, 10}, {100, 100}, {10, 100}});
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
  a->SetPosition(0, 0, FALSE);

  // A right click during a frame drag puts the frame back; a degenerate frame is refused.
  Lasso({{100, 100}, {160, 100}, {160, 160}, {100, 160}});
  ASSERT_EQ(tool->m_myState, COperLasso::myLIFT);
  const RotatedRect frame = tool->m_rrFrame;
  Send(WM_LBUTTONDOWN, MK_LBUTTON, 130, 130);
  Send(WM_MOUSEMOVE, MK_LBUTTON, 150, 140);
  EXPECT_FLOAT_EQ(tool->m_rrFrame.x, frame.x + 20);
  Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 150, 140);
  Send(WM_RBUTTONUP, MK_LBUTTON, 150, 140);
  Send(WM_LBUTTONUP, 0, 150, 140);
  EXPECT_FLOAT_EQ(tool->m_rrFrame.x, frame.x);
  EXPECT_EQ(tool->m_myState, COperLasso::myLIFT);
  tool->m_rrFrame.width = 0.5f;
  Drag(POINT{161, 161}, POINT{190, 175});
  EXPECT_FLOAT_EQ(tool->m_rrFrame.width, 0.5f) << "a frame thinner than a pixel is not dragged";
  EXPECT_FALSE(tool->Impress(FALSE));
  tool->m_rrFrame = frame;
  RightClick(390, 290);
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
  EXPECT_EQ(Pixels(a), before);

  // Cut mode: every lasso is a cut at once, one step.
  ASSERT_TRUE(Command(ID_LASSO_CUTMODE));
  EXPECT_TRUE(Update(ID_LASSO_CUTMODE).bChecked);
  Lasso({{100, 100}, {160, 100}, {160, 160}, {100, 160}});
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
  EXPECT_EQ(LastLabel(), u"手术>剪切");
  const Image cut = Pixels(a);
  EXPECT_EQ(cut[130 * 400 + 130] >> 24, 0u);
  EXPECT_EQ(cut[130 * 400 + 170], before[130 * 400 + 170]);
  space->Undo(1);
  EXPECT_EQ(Pixels(a), before);

  // A paste onto a mask layer of a colour piece is refused.
  ASSERT_TRUE(Command(ID_LASSO_CUTMODE));
  Lasso({{100, 100}, {160, 100}, {160, 160}, {100, 160}});
  ASSERT_TRUE(Command(ID_EDIT_COPY));
  RightClick(390, 290);
  AddLayer(50, 50, OLayer::myFORMAT_A16, 3, 0, 0, 0);
  list->SetCurSelect(2);
  EXPECT_FALSE(Update(ID_EDIT_PASTE).bEnabled);
  Command(ID_EDIT_PASTE);
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
}

TEST_F(LassoTool, AnotherLayerChosenWhileAPieceIsLiftedPutsItDownOnItsOwnLayer) {
  const Image before = Pixels(a);
  Lasso({{60, 50}, {140, 45}, {150, 130}, {70, 140}});
  Drag(POINT{100, 90}, POINT{110, 95});
  const Image moved = Pixels(a);
  // The tool hears of a new current layer after the selection has moved on (as the layer
  // bar tells it): the step is still the lifted layer's, and nothing is lost.
  list->SetCurSelect(1);
  space->NotifyOperator(CMyListLayer::GetClassName(), myNOTIFY_SELECT, list->GetCurLayer());
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
  ASSERT_EQ(UndoSteps(), 1u);
  EXPECT_EQ(LastLabel(), u"手术");
  EXPECT_EQ(Pixels(a), moved);
  EXPECT_EQ(sys.ErrorCount(), 0u);
  space->Undo(1);
  EXPECT_EQ(Pixels(a), before);
}

TEST_F(LassoTool, TheRingMenuOpensWhenReadyAndSwitchesTheCutMode) {
  RightClick(120, 80);
  ASSERT_EQ(shell.rings.size(), 1u);
  CFunctionMenu* menu = shell.rings.back().menu;
  EXPECT_EQ(std::u16string(menu->GetLabel(206, 1)), u"模式切换");
  EXPECT_EQ(std::u16string(menu->GetLabel(206, 0)), u"");
  EXPECT_EQ(std::u16string(menu->GetLabel(5, 1)), u"");
  menu->Run(0, 0, 206, 0);
  EXPECT_TRUE(tool->m_bCutMode);
  // Lifted, a right click puts the piece down instead of opening the ring.
  menu->Run(0, 0, 206, 0);
  Lasso({{60, 50}, {140, 45}, {150, 130}, {70, 140}});
  RightClick(120, 80);
  EXPECT_EQ(shell.rings.size(), 1u);
  EXPECT_EQ(tool->m_myState, COperLasso::myREADY);
}

}  // namespace

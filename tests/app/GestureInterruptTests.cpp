// Every tool in the middle of its gesture meets every command that changes the layers or the
// document, then the gesture goes on (a move, the release). Whatever the pair: nothing crashes,
// the tool is idle again, and the document's history holds together: undoing every step and
// redoing them all gives back the same layers, pixel for pixel.
#include <QDialog>

#include <cstring>
#include <ostream>
#include <functional>
#include <string>
#include <vector>

#include "AppHarness.h"
#include "core/TavrikView.h"
#include "frame/Dialogs.h"
#include "frame/DlgLayerNew.h"
#include "frame/LayerBar.h"
#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Messages.h"
#include "tools/OperDistort.h"
#include "tools/OperLasso.h"
#include "tools/OperPaint.h"
#include "tools/OperShape.h"

namespace {

constexpr int kWidth = 160, kHeight = 120;

// What the layers are: identity, place, format, flags and every pixel.
struct LayerState {
  UINT id;
  RECT rect;
  int format;
  uint32_t flags;
  std::vector<uint8_t> pixels;
  bool operator==(const LayerState& o) const {
    return id == o.id && std::memcmp(&rect, &o.rect, sizeof rect) == 0 && format == o.format && flags == o.flags &&
           pixels == o.pixels;
  }
};

class GestureInterrupt;
struct ToolRow {
  const char* name;
  UINT tool;
  void (GestureInterrupt::*begin)();
};
void PrintTo(const ToolRow& row, std::ostream* os) { *os << row.name; }
struct CommandColumn {
  const char* name;
  void (GestureInterrupt::*run)();
};

class GestureInterrupt : public AppTest, public ::testing::WithParamInterface<ToolRow> {
 public:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    onBox = [](const char16_t*, const char16_t*, UINT) { return gui::IDNO; };
    onDialog = [](QDialog* d) {
      if (auto* create = dynamic_cast<CDlgNewLayer*>(d)) create->SetSize(30, 20);
      else if (auto* size = dynamic_cast<CDlgSpaceSize*>(d)) size->SetValues(kWidth - 20, kHeight + 10);
      else if (auto* filter = dynamic_cast<CDlgFilter*>(d)) {
        filter->SetValue(0, 2);
        EXPECT_TRUE(filter->WaitIdle(10000));
      } else if (!dynamic_cast<CDlgNew*>(d) && !dynamic_cast<CDlgMerge*>(d)) {
        return int(QDialog::Rejected);
      }
      return int(QDialog::Accepted);
    };
    // A document to open in the middle of a gesture.
    saved = folder + u"/saved.kelv";
    onPath = [this](bool, const std::u16string&) { return saved; };
    NewDocument(CTavrikDoc::myNEW_COLOR, 40, 30);
    ASSERT_TRUE(Run(ID_FILE_SAVE));
  }

  // The document every case starts from: a colour layer of white with three coloured blocks
  // under a mask layer, the colour layer current, a copy on the clipboard and one step to
  // redo.
  void Prepare() {
    NewDocument(CTavrikDoc::myNEW_COLOR, kWidth, kHeight);
    OLayer* colour = List()->GetLayer(0);
    {
      LayerLock lock;
      ASSERT_TRUE(lock.Lock(colour, 0));
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          uint32_t& p = reinterpret_cast<uint32_t*>(lock.Row(y))[x];
          p = 0xFFFFFFFFu;
          if (y >= 40 && y < 80) p = x < 50 ? 0xFFFF0000u : x < 100 ? 0xFF00FF00u : 0xFF0000FFu;
        }
    }
    colour->MipRefresh(nullptr);
    const RECT rc{20, 10, 140, 110};
    ASSERT_NE(List()->CreateLayer(u"遮罩", &rc, OLayer::myFORMAT_A16, 0, TRUE), nullptr);
    List()->SetCurSelect(1);
    ASSERT_TRUE(Run(ID_EDIT_COPY));
    ASSERT_TRUE(Run(ID_LAYER_FLIP_H));
    ASSERT_TRUE(Run(ID_EDIT_UNDO));
    ASSERT_EQ(Space()->GetRedoStore()->GetStepCount(), 1u);
  }

  POINT Client(float sx, float sy) {
    const float in[2] = {sx + 0.5f, sy + 0.5f};
    float out[2];
    app->GetShowDevice()->SpaceToClient(out, in, Space()->m_pTransform);
    return POINT{LONG(std::floor(out[0])), LONG(std::floor(out[1]))};
  }
  void Send(UINT msg, WPARAM keys, POINT pt) {
    Frame()->GetView()->SendMessage(msg, keys, MakePointLParam(pt.x, pt.y));
  }
  void Press(POINT pt) { Send(WM_LBUTTONDOWN, MK_LBUTTON, pt); }
  void DragTo(POINT pt) { Send(WM_MOUSEMOVE, MK_LBUTTON, pt); }
  void Click(POINT pt) {
    Press(pt);
    Send(WM_LBUTTONUP, 0, pt);
  }

  // ---- the gestures, each left in its middle ------------------------------------------------
  // A press at space point a dragged through b to c, the button still down.
  void PressAndDrag(POINTF a, POINTF b, POINTF c) {
    Press(Client(a.x, a.y));
    DragTo(Client(b.x, b.y));
    DragTo(Client(c.x, c.y));
  }
  void Stroke() { PressAndDrag({30, 20}, {60, 30}, {90, 50}); }
  void Arc() {
    auto* paint = dynamic_cast<COperPaint*>(Space()->GetCurOperator());
    ASSERT_NE(paint, nullptr);
    paint->m_bArcMode = 1;
    Click(Client(30, 20));
    Press(Client(100, 60));
    DragTo(Client(90, 90));
  }
  // Across the three blocks: one mask of three regions.
  void Bucket() { PressAndDrag({20, 60}, {75, 60}, {120, 60}); }
  void Outline() {
    Click(Client(20, 20));
    Click(Client(120, 30));
    Press(Client(100, 100));
    DragTo(Client(80, 110));
  }
  void ShapeHandle() {
    auto* shape = dynamic_cast<COperShape*>(Space()->GetCurOperator());
    ASSERT_NE(shape, nullptr);
    const ViewTransform* t = Space()->m_pTransform;
    const POINT handle{LONG(t->clientWidth / 2 + shape->m_ptHandle.x), LONG(t->clientHeight / 2 + shape->m_ptHandle.y)};
    Press(handle);
    DragTo(POINT{handle.x + 6, handle.y - 4});
    ASSERT_FALSE(shape->IsReady()) << "the handle is dragged";
  }
  void LiftedPiece() {
    const POINT corners[] = {Client(30, 30), Client(110, 35), Client(100, 95), Client(35, 90)};
    Press(corners[0]);
    for (const POINT& c : corners) DragTo(c);
    DragTo(corners[0]);
    Send(WM_LBUTTONUP, 0, corners[0]);
    auto* lasso = dynamic_cast<COperLasso*>(Space()->GetCurOperator());
    ASSERT_NE(lasso, nullptr);
    ASSERT_TRUE(lasso->m_cpLayerLift) << "the piece is lifted";
    Press(Client(70, 60));
    DragTo(Client(80, 66));
  }
  void Lattice() {
    List()->SetCurSelect(0);
    List()->SetCurLayerAsSource();
    List()->SetCurSelect(1);
    auto* distort = dynamic_cast<COperDistort*>(Space()->GetCurOperator());
    ASSERT_NE(distort, nullptr);
    distort->Refresh(TRUE);
    ASSERT_TRUE(distort->m_cpLayerSrc) << "the mask layer is the source";
    const ViewTransform* t = Space()->m_pTransform;
    const DistortPoint& p = distort->m_args.Point(0, 0);
    const POINT at{LONG(t->clientWidth / 2 + p.x), LONG(t->clientHeight / 2 + p.y)};
    Press(at);
    DragTo(POINT{at.x + 10, at.y + 7});
  }
  void FrameDrag() { PressAndDrag({20, 20}, {60, 50}, {90, 70}); }
  void Drag() { PressAndDrag({60, 60}, {64, 62}, {70, 68}); }

  // ---- the commands ---------------------------------------------------------------------------
  void Undo() { Run(ID_EDIT_UNDO); }
  void Redo() { Run(ID_EDIT_REDO); }
  void HistoryUndo() { Space()->Undo(2); }
  void HistoryRedo() { Space()->Redo(2); }
  void Cut() { Run(ID_EDIT_CUT); }
  void Copy() { Run(ID_EDIT_COPY); }
  void Paste() { Run(ID_EDIT_PASTE); }
  void Delete() { Run(ID_LAYER_DELETE); }
  void Merge() { Run(ID_LAYER_MERGE); }
  void Create() { Run(ID_LAYER_ADD); }
  void LayerMenu() { Run(ID_LAYER_FLIP_V); }
  void Filter() { Run(ID_LAYER_BLUR); }
  void SpaceSize() { Run(ID_SPACE_RESIZE); }
  void NewDoc() { Run(ID_FILE_NEW); }
  void OpenDoc() { Run(ID_FILE_OPEN); }
  void ToolSwitch() {
    const UINT other = Space()->GetCurOperator()->GetID() == ID_OPER_SUCKER ? ID_OPER_MOVE : ID_OPER_SUCKER;
    Run(other);
  }
  void FocusLoss() { Frame()->GetView()->SendMessage(WM_KILLFOCUS, 0, 0); }
  void Escape() { Frame()->GetView()->SendMessage(WM_KEYDOWN, VK_ESCAPE, 1); }
  // The layer list, as the mouse reaches it: a click on a flag, a row dragged to another place.
  void FlagClick() { BarClick(0, CLayerBar::COL_HIDDEN); }
  void Reorder() {
    CLayerBar* bar = Frame()->GetLayerBar();
    bar->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, BarPoint(0, CLayerBar::COL_NAME, 0));
    bar->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, BarPoint(1, CLayerBar::COL_NAME, 6));
    bar->SendMessage(WM_LBUTTONUP, 0, BarPoint(1, CLayerBar::COL_NAME, 6));
  }
  LPARAM BarPoint(int row, int column, int dy) {
    CLayerBar* bar = Frame()->GetLayerBar();
    return MakePointLParam(bar->GetColumnLeft(column) + bar->GetColumnWidth(column) / 2,
                           (row - bar->GetTopIndex()) * CLayerBar::kRowHeight + CLayerBar::kRowHeight / 2 + dy);
  }
  void BarClick(int row, int column) {
    CLayerBar* bar = Frame()->GetLayerBar();
    bar->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, BarPoint(row, column, 0));
    bar->SendMessage(WM_LBUTTONUP, 0, BarPoint(row, column, 0));
  }

  std::vector<LayerState> Layers() {
    std::vector<LayerState> out;
    for (int i = 0; i < List()->GetCount(); ++i) {
      OLayer* l = List()->GetLayer(i);
      LayerState s{l->GetID(), {}, l->GetFormat(), l->GetFlags(), {}};
      l->GetRect(&s.rect);
      LayerLock lock;
      EXPECT_TRUE(lock.Lock(l, 0));
      const size_t row = size_t(l->GetWidth()) * size_t(lock.nPixelSize);
      for (int y = 0; y < l->GetHeight(); ++y) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(lock.Row(y));
        s.pixels.insert(s.pixels.end(), p, p + row);
      }
      out.push_back(std::move(s));
    }
    return out;
  }

  std::u16string saved;
};

const CommandColumn kCommands[] = {
    {"undo", &GestureInterrupt::Undo},         {"redo", &GestureInterrupt::Redo},
    {"history undo", &GestureInterrupt::HistoryUndo}, {"history redo", &GestureInterrupt::HistoryRedo},
    {"cut", &GestureInterrupt::Cut},           {"copy", &GestureInterrupt::Copy},
    {"paste", &GestureInterrupt::Paste},       {"delete", &GestureInterrupt::Delete},
    {"merge", &GestureInterrupt::Merge},       {"create", &GestureInterrupt::Create},
    {"flag click", &GestureInterrupt::FlagClick}, {"reorder", &GestureInterrupt::Reorder},
    {"layer menu", &GestureInterrupt::LayerMenu}, {"filter", &GestureInterrupt::Filter},
    {"space size", &GestureInterrupt::SpaceSize}, {"new", &GestureInterrupt::NewDoc},
    {"open", &GestureInterrupt::OpenDoc},      {"tool switch", &GestureInterrupt::ToolSwitch},
    {"focus loss", &GestureInterrupt::FocusLoss}, {"escape", &GestureInterrupt::Escape},
};

TEST_P(GestureInterrupt, EveryCommandInTheMiddleLeavesTheToolIdleAndTheHistoryWhole) {
  const ToolRow& row = GetParam();
  for (const CommandColumn& column : kCommands) {
    SCOPED_TRACE(std::string(row.name) + " x " + column.name);
    Prepare();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(Run(row.tool));
    (this->*row.begin)();
    if (HasFatalFailure()) return;
    EXPECT_TRUE(!Space()->GetCurOperator()->IsReady() || Space()->GetCaptureMask()) << "the gesture is under way";
    (this->*column.run)();
    // The gesture goes on in whatever document is open now.
    DragTo(Client(100, 100));
    Send(WM_LBUTTONUP, 0, Client(100, 100));
    WaitFor([] { return true; });
    gui::RunPostedMessages();

    // A piece still lifted or a lattice still shown is the tool's own state between gestures;
    // the commands that change layers put it down first, as this does.
    Space()->FinishWork();
    COperation* tool = Space()->GetCurOperator();
    EXPECT_TRUE(tool->IsReady()) << "the tool is idle";
    EXPECT_EQ(Space()->GetCaptureMask(), 0u) << "no button is held";
    EXPECT_EQ(app->GetSystem()->GetErrorCount(), 0u) << "no error reached the report";

    const std::vector<LayerState> now = Layers();
    const UINT steps = Space()->GetUndoStore()->GetStepCount();
    Space()->Undo(int(steps));
    EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), 0u);
    Space()->Redo(int(steps));
    EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), steps);
    EXPECT_TRUE(Layers() == now) << "undoing everything and redoing it gives the same layers";
  }
}

const ToolRow kTools[] = {
    {"paint", ID_OPER_PAINT, &GestureInterrupt::Stroke},
    {"paint arc", ID_OPER_PAINT, &GestureInterrupt::Arc},
    {"bucket", ID_OPER_FLOOD, &GestureInterrupt::Bucket},
    {"outline", ID_OPER_POLYGON, &GestureInterrupt::Outline},
    {"shape fill", ID_OPER_SHAPE, &GestureInterrupt::ShapeHandle},
    {"surgery", ID_OPER_LASSO, &GestureInterrupt::LiftedPiece},
    {"free mapping", ID_OPER_DISTORT, &GestureInterrupt::Lattice},
    {"move", ID_OPER_MOVE, &GestureInterrupt::Drag},
    {"trim", ID_OPER_CROP, &GestureInterrupt::FrameDrag},
    {"create layer", ID_OPER_NEW, &GestureInterrupt::FrameDrag},
    {"eyedropper", ID_OPER_SUCKER, &GestureInterrupt::Drag},
};

INSTANTIATE_TEST_SUITE_P(Tools, GestureInterrupt, ::testing::ValuesIn(kTools),
                         [](const ::testing::TestParamInfo<ToolRow>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == ' ') c = '_';
                           return name;
                         });

}  // namespace

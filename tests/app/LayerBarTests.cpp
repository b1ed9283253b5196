// The layer side bar as the user meets it in the running frame: its rows drawn through our
// device context (names, colours, flag pictures, grid), the mouse on its widget (a click on
// the hidden column, on the rest of a row, hovering), and the list's changes it follows.
#include <QApplication>
#include <QDockWidget>
#include <QMenu>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <thread>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>

#include "AppHarness.h"
#include "core/ScriptedLayerAsk.h"
#include "core/Hsv.h"
#include "core/ShellServices.h"
#include "frame/ColorWheel.h"
#include "gui/DragAndDrop.h"
#include "frame/LayerBar.h"
#include "frame/LayerThumbPopup.h"
#include "frame/MainFrame.h"
#include "panels/MyListProperty.h"
#include "panels/MyVertBar.h"
#include "panels/VertBarMessages.h"
#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Dc.h"

namespace {

constexpr int kRow = CLayerBar::kRowHeight;
constexpr COLORREF kRowFace = 0xE8ECEC, kEmptyFace = 0xF4F8F8, kGrid = 0xDCE0E0;
constexpr COLORREF kPlainFace = 0xF4F8F8, kPlainText = 0x444848;
constexpr COLORREF kSelectedFace = 0x6C7070, kSelectedText = 0xFFFFFF;
constexpr COLORREF kHotFace = 0xFFFFFF, kHotText = 0x000000;

QRgb Shown(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)) & 0xFFFFFF; }

class LayerBarTest : public AppTest {
 protected:
  LayerBarTest() { show = true; }

  // A colour layer under two mask layers: rows "Fog", "Hills", "彩色图层"; the colour layer
  // stays selected.
  void MakeLayers() {
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_COLOR, 64, 48);
    bar = Frame()->GetLayerBar();
    AddMask(u"Hills", RGB(40, 160, 70));
    AddMask(u"Fog", RGB(200, 40, 60));
    ASSERT_EQ(bar->RowCount(), 3);
    ASSERT_EQ(List()->GetCurSel(), 2);
  }
  OLayer* AddMask(const char16_t* name, COLORREF colour, int at = 0) {
    GCompRef<OLayer> layer = app->GetShowDevice()->CreateLayer(32, 32, OLayer::myFORMAT_A16, List()->NewLayerID());
    layer->SetName(name);
    layer->SetColor(colour);
    List()->AddLayer(at, layer);
    return layer;
  }

  QWidget* Widget() { return bar->GetWidget(); }
  // The middle of a row's column, in the list's client.
  QPoint At(int row, int column) {
    return QPoint(bar->GetColumnLeft(column) + bar->GetColumnWidth(column) / 2,
                  (row - bar->GetTopIndex()) * kRow + kRow / 2);
  }
  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, Widget()->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(Widget(), &event);
  }
  void Click(QPoint at) {
    Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
  }
  void Hover(QPoint at) { Mouse(QEvent::MouseMove, at, Qt::NoButton); }
  // What the list shows, after whatever repaint was pending.
  QImage Shot() {
    gui::RunPostedMessages();
    return Widget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  // The pixels of a row's column as shown.
  QImage Cell(const QImage& shot, int row, int column) {
    return shot.copy(bar->GetColumnLeft(column), (row - bar->GetTopIndex()) * kRow, bar->GetColumnWidth(column), kRow);
  }
  // The face of a row's name column, at its right end where no name reaches.
  QRgb NameFace(const QImage& shot, int row) {
    const int x = bar->GetColumnLeft(CLayerBar::COL_NAME) + bar->GetColumnWidth(CLayerBar::COL_NAME) - 2;
    return shot.pixel(x, (row - bar->GetTopIndex()) * kRow + kRow - 3) & 0xFFFFFF;
  }
  // The name column as it must look: the name in the program's row font from (1, 2), over
  // the face, the grid line below it.
  QImage ExpectedName(const std::u16string& name, COLORREF face, COLORREF text) {
    const int w = bar->GetColumnWidth(CLayerBar::COL_NAME);
    auto bitmap = gui::CreateCompatibleBitmap(w, kRow);
    gui::DeviceContext dc;
    dc.SelectBitmap(bitmap.get());
    dc.FillSolidRect(RECT{0, 0, w, kRow - 1}, face);
    dc.FillSolidRect(RECT{0, kRow - 1, w, kRow}, kGrid);
    gui::HFONT font = gui::CreateFont(13, gui::FW_NORMAL, u"Tahoma");
    dc.SelectFont(font);
    dc.SetBkMode(gui::TRANSPARENT);
    dc.SetTextColor(text);
    RECT rc{1, 2, w, kRow - 1};
    dc.DrawText(name.c_str(), int(name.size()), &rc, gui::DT_SINGLELINE | gui::DT_NOPREFIX);
    dc.SelectFont(gui::GetStockFont());
    gui::DeleteObject(font);
    QImage image(w, kRow, QImage::Format_RGB32);
    for (int y = 0; y < kRow; ++y)
      for (int x = 0; x < w; ++x) image.setPixel(x, y, bitmap->Pixel(x, y) | 0xFF000000u);
    return image;
  }
  static int Inked(const QImage& image, COLORREF face) {
    int n = 0;
    for (int y = 0; y < image.height() - 1; ++y)
      for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & 0xFFFFFF) != Shown(face);
    return n;
  }

  CLayerBar* bar = nullptr;
};

TEST_F(LayerBarTest, TheRowsShowTheLayersTopFirstWithTheirNamesFlagsAndGrid) {
  MakeLayers();
  ASSERT_TRUE(Widget()->isVisible());
  EXPECT_EQ(bar->GetColumnWidth(CLayerBar::COL_NAME),
            Widget()->width() - (12 + 12 + 16 + 16 + 16)) << "the name takes what the flag columns leave";
  List()->GetLayer(1)->SetFlags(LYR_FLAG_NEST | LYR_FLAG_PROTECT | LYR_FLAG_SOURCE);
  List()->RedrawItem(1);
  const QImage shot = Shot();

  // Each row's name in its row, in the colours of its state; the selected row stands out.
  const std::u16string names[] = {u"Fog", u"Hills", u"彩色图层"};
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(bar->RowName(row), names[row]);
    const bool selected = row == 2;
    const COLORREF face = selected ? kSelectedFace : kPlainFace;
    const QImage expected = ExpectedName(names[row], face, selected ? kSelectedText : kPlainText);
    EXPECT_GT(Inked(expected, face), 10) << "the font draws the name";
    EXPECT_EQ(Cell(shot, row, CLayerBar::COL_NAME), expected) << "row " << row;
  }
  EXPECT_EQ(bar->CurrentRow(), 2);

  // A mask layer shows its colour as a dot; the colour layer its picture.
  for (int row : {0, 1}) {
    const COLORREF colour = List()->GetLayer(row)->GetColor(nullptr, nullptr) & 0xFFFFFF;
    const int x = bar->GetColumnLeft(CLayerBar::COL_COLOR);
    for (QPoint p : {QPoint(x + 5, 8), QPoint(x + 2, 8), QPoint(x + 5, 12)})
      EXPECT_EQ(shot.pixel(p + QPoint(0, row * kRow)) & 0xFFFFFF, Shown(colour)) << row;
    EXPECT_EQ(shot.pixel(x + 2, row * kRow + 6) & 0xFFFFFF, Shown(kPlainFace)) << "round, not square";
  }
  EXPECT_GT(Inked(Cell(shot, 2, CLayerBar::COL_COLOR), kSelectedFace), 20);

  // The flag columns show a set flag apart from a clear one.
  for (int column : {CLayerBar::COL_NEST, CLayerBar::COL_PROTECT, CLayerBar::COL_SOURCE}) {
    EXPECT_NE(Cell(shot, 1, column), Cell(shot, 0, column)) << column;
    EXPECT_EQ(Cell(shot, 0, column), Cell(shot, 2, column)) << column;
  }

  // The grid: under every row, right of the nest column and left of the hidden column; the
  // client below the rows in the row face.
  const int hidden = bar->GetColumnLeft(CLayerBar::COL_HIDDEN);
  for (int row = 0; row < 3; ++row) {
    for (int x : {0, Widget()->width() / 2, Widget()->width() - 1})
      EXPECT_EQ(shot.pixel(x, row * kRow + kRow - 1) & 0xFFFFFF, Shown(kGrid)) << row << " " << x;
    EXPECT_EQ(shot.pixel(hidden, row * kRow + 3) & 0xFFFFFF, Shown(kGrid)) << row;
    EXPECT_EQ(shot.pixel(bar->GetColumnWidth(CLayerBar::COL_NEST) - 1, row * kRow + 3) & 0xFFFFFF, Shown(kGrid));
  }
  for (int x : {0, Widget()->width() - 1})
    EXPECT_EQ(shot.pixel(x, 3 * kRow + 5) & 0xFFFFFF, Shown(kRowFace));
}

TEST_F(LayerBarTest, AClickOnTheHiddenColumnTogglesTheFlagAndItsPicture) {
  MakeLayers();
  OLayer* hills = List()->GetLayer(1);
  const QImage shown = Cell(Shot(), 1, CLayerBar::COL_HIDDEN);
  ASSERT_TRUE(WaitFor([&] { return Space()->IsCompositeValid() != FALSE; })) << "the view composed the layers";

  Click(At(1, CLayerBar::COL_HIDDEN));
  EXPECT_TRUE(hills->GetFlags() & LYR_FLAG_HIDDEN);
  EXPECT_FALSE(bar->RowVisible(1));
  EXPECT_TRUE(bar->RowVisible(0));
  EXPECT_FALSE(Space()->IsCompositeValid()) << "the view composes again";
  EXPECT_EQ(List()->GetCurSel(), 2) << "the hidden column does not select";
  const QImage hiddenCell = Cell(Shot(), 1, CLayerBar::COL_HIDDEN);
  EXPECT_NE(hiddenCell, shown);
  EXPECT_EQ(Cell(Shot(), 0, CLayerBar::COL_HIDDEN), shown) << "only that row";

  Click(At(1, CLayerBar::COL_HIDDEN));
  EXPECT_FALSE(hills->GetFlags() & LYR_FLAG_HIDDEN);
  EXPECT_EQ(Cell(Shot(), 1, CLayerBar::COL_HIDDEN), shown);
}

TEST_F(LayerBarTest, AClickOnTheNameSelectsTheRowAndAFlagColumnDoesNot) {
  MakeLayers();
  List()->SetCurSelect(2);
  ASSERT_EQ(NameFace(Shot(), 0), Shown(kPlainFace));
  Click(At(0, CLayerBar::COL_PROTECT));
  EXPECT_EQ(List()->GetCurSel(), 2);
  EXPECT_EQ(List()->GetLayer(0)->GetFlags(), LYR_FLAG_PROTECT);
  Click(At(0, CLayerBar::COL_NAME));
  EXPECT_EQ(List()->GetCurSel(), 0);
  EXPECT_EQ(bar->CurrentRow(), 0);
  EXPECT_EQ(List()->GetLayer(0)->GetFlags(), LYR_FLAG_PROTECT);
  const QImage shot = Shot();
  EXPECT_EQ(NameFace(shot, 0), Shown(kSelectedFace));
  EXPECT_EQ(NameFace(shot, 2), Shown(kPlainFace));
  // Below the last row a click selects nothing.
  Click(QPoint(At(0, CLayerBar::COL_NAME).x(), 3 * kRow + 10));
  EXPECT_EQ(List()->GetCurSel(), 0);

  // The list's own selection shows, scrolled into view when the rows overflow the bar.
  for (int i = 0; i < 40; ++i) AddMask(u"Mask", RGB(10, 20, 30), List()->GetCount());
  const int last = List()->GetCount() - 1;
  List()->SetCurSelect(last);
  EXPECT_EQ(bar->CurrentRow(), last);
  EXPECT_GT(bar->GetTopIndex(), 0);
  RECT rc, client;
  bar->GetItemRect(last, &rc);
  bar->GetClientRect(&client);
  EXPECT_LE(rc.bottom, client.bottom);
  EXPECT_EQ(NameFace(Shot(), last), Shown(kSelectedFace));
}

TEST_F(LayerBarTest, TheRowUnderTheMouseIsHighlightedUntilTheMouseLeaves) {
  MakeLayers();
  Hover(At(1, CLayerBar::COL_NAME));
  EXPECT_EQ(bar->HotRow(), 1);
  QImage shot = Shot();
  EXPECT_EQ(Cell(shot, 1, CLayerBar::COL_NAME), ExpectedName(u"Hills", kHotFace, kHotText));
  EXPECT_EQ(NameFace(shot, 0), Shown(kPlainFace));

  Hover(At(0, CLayerBar::COL_HIDDEN));
  EXPECT_EQ(bar->HotRow(), 0);
  shot = Shot();
  EXPECT_EQ(NameFace(shot, 0), Shown(kHotFace));
  EXPECT_EQ(NameFace(shot, 1), Shown(kPlainFace)) << "the old hot row goes back";
  Hover(At(2, CLayerBar::COL_COLOR));
  EXPECT_EQ(NameFace(Shot(), 2), Shown(kSelectedFace)) << "the selection shows over the hover";

  // The mouse leaves the list: the leave it asked for clears the highlight.
  Hover(At(0, CLayerBar::COL_NAME));
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(Widget(), &leave);
  gui::RunPostedMessages();
  EXPECT_EQ(bar->HotRow(), -1);
  EXPECT_EQ(NameFace(Shot(), 0), Shown(kPlainFace));

  // Below the rows nothing is hot.
  Hover(At(1, CLayerBar::COL_NAME));
  Hover(QPoint(At(1, CLayerBar::COL_NAME).x(), 3 * kRow + 10));
  EXPECT_EQ(bar->HotRow(), -1);
  EXPECT_EQ(NameFace(Shot(), 1), Shown(kPlainFace));
}

TEST_F(LayerBarTest, AnEmptyListShowsItsOwnBackground) {
  MakeLayers();
  while (List()->GetCount()) {
    GCompRef<OLayer> gone;
    gone.m_ptr = List()->DetachLayer(0);
  }
  EXPECT_EQ(bar->RowCount(), 0);
  const QImage shot = Shot();
  ASSERT_FALSE(shot.isNull());
  for (int y = 0; y < shot.height(); y += 3)
    for (int x = 0; x < shot.width(); x += 3)
      ASSERT_EQ(shot.pixel(x, y) & 0xFFFFFF, Shown(kEmptyFace)) << x << "," << y;
  Click(QPoint(20, 10));  // nothing to click on
  EXPECT_EQ(List()->GetCurSel(), -1);
}

TEST_F(LayerBarTest, TheFlagColumnsGiveWayAsTheBarNarrows) {
  MakeLayers();
  struct Case {
    int width;
    int widths[CLayerBar::COL_COUNT];
  };
  const Case cases[] = {
      {31, {0, 0, 31, 0, 0, 0}},   {40, {0, 12, 28, 0, 0, 0}},   {47, {0, 12, 35, 0, 0, 0}},
      {48, {12, 12, 24, 0, 0, 0}}, {64, {12, 12, 24, 16, 0, 0}}, {80, {12, 12, 24, 16, 16, 0}},
      {96, {12, 12, 24, 16, 16, 16}}, {208, {12, 12, 136, 16, 16, 16}},
  };
  for (const Case& c : cases) {
    bar->MoveWindow(RECT{0, 0, c.width, 200});
    int left = 0;
    for (int k = 0; k < CLayerBar::COL_COUNT; ++k) {
      EXPECT_EQ(bar->GetColumnWidth(k), c.widths[k]) << c.width << " column " << k;
      EXPECT_EQ(bar->GetColumnLeft(k), left) << c.width << " column " << k;
      if (c.widths[k]) {
        EXPECT_EQ(bar->HitColumn(left), k) << c.width;
      }
      left += c.widths[k];
    }
    EXPECT_EQ(bar->HitColumn(-1), -1);
    EXPECT_EQ(bar->HitColumn(c.width), -1);
  }
  // Narrowed to 40, a click on the first pixels hits the colour column and selects.
  bar->MoveWindow(RECT{0, 0, 40, 200});
  List()->SetCurSelect(0);
  Click(QPoint(2, At(2, 0).y()));
  EXPECT_EQ(List()->GetCurSel(), 2);
}


// The bar driven through its window messages, as the platform delivers them.
class LayerBarMouseTest : public LayerBarTest {
 protected:
  LPARAM P(int row, int column, int dx = 0, int dy = 0) {
    const QPoint at = At(row, column);
    return MakePointLParam(at.x() + dx, at.y() + dy);
  }
  void Press(LPARAM at) { bar->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at); }
  void Move(LPARAM at, WPARAM keys = MK_LBUTTON) { bar->SendMessage(WM_MOUSEMOVE, keys, at); }
  void Release(LPARAM at) { bar->SendMessage(WM_LBUTTONUP, 0, at); }
  void Drag(LPARAM from, LPARAM to) {
    Press(from);
    Move(to);
    Release(to);
  }
  std::u16string Names() {
    std::u16string s;
    for (int i = 0; i < List()->GetCount(); ++i) s += std::u16string(List()->GetLayer(i)->GetName()) + u"|";
    return s;
  }
  std::u16string LastLabel() {
    const char16_t* label = nullptr;
    return Space()->GetUndoStore()->CopyStepList(&label, 1) ? std::u16string(label) : u"";
  }
  // A layer with pixels: its thumbnail is not empty.
  void Paint(OLayer* layer) {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(layer, 0));
    for (int y = 0; y < layer->GetHeight(); ++y)
      for (int x = 0; x < layer->GetWidth(); ++x) reinterpret_cast<uint16_t*>(lock.Row(y))[x] = 0xFF00;
    lock.Unlock();
    layer->MipRefresh(nullptr);
  }
};

TEST_F(LayerBarMouseTest, FlagClicksAreStepsAndTheSourceMarkMovesAndComesBack) {
  MakeLayers();
  Click(At(0, CLayerBar::COL_SOURCE));
  Click(At(1, CLayerBar::COL_SOURCE));
  EXPECT_EQ(List()->GetLayer(0)->GetFlags(), 0u);
  EXPECT_EQ(List()->GetLayer(1)->GetFlags(), LYR_FLAG_SOURCE);
  EXPECT_EQ(LastLabel(), u"标记");
  const QImage marked = Shot();
  EXPECT_NE(Cell(marked, 0, CLayerBar::COL_SOURCE), Cell(marked, 1, CLayerBar::COL_SOURCE));
  Space()->Undo(1);
  EXPECT_EQ(List()->GetLayer(0)->GetFlags(), LYR_FLAG_SOURCE);
  EXPECT_EQ(List()->GetLayer(1)->GetFlags(), 0u);
  const QImage undone = Shot();
  EXPECT_EQ(Cell(undone, 0, CLayerBar::COL_SOURCE), Cell(marked, 1, CLayerBar::COL_SOURCE)) << "the picture follows";
  Space()->Redo(1);
  EXPECT_EQ(List()->GetLayer(1)->GetFlags(), LYR_FLAG_SOURCE);

  // Nest: refused above a mask layer and on the bottom row, taken above the colour layer.
  Click(At(0, CLayerBar::COL_NEST));
  Click(At(2, CLayerBar::COL_NEST));
  EXPECT_EQ(List()->GetLayer(0)->GetFlags() & LYR_FLAG_NEST, 0u);
  EXPECT_EQ(List()->GetLayer(2)->GetFlags() & LYR_FLAG_NEST, 0u);
  Click(At(1, CLayerBar::COL_NEST));
  EXPECT_EQ(List()->GetLayer(1)->GetFlags(), LYR_FLAG_SOURCE | LYR_FLAG_NEST);
  Space()->Undo(1);
  EXPECT_EQ(List()->GetLayer(1)->GetFlags(), LYR_FLAG_SOURCE);
  EXPECT_EQ(List()->GetCurSel(), 2) << "flag clicks leave the selection";
}

TEST_F(LayerBarMouseTest, ANameDraggedToAGapReordersTheRows) {
  MakeLayers();
  EXPECT_EQ(Names(), u"Fog|Hills|彩色图层|");
  // Row 0 into the lower half of the last row: it goes to the bottom, and stays selected.
  Drag(P(0, CLayerBar::COL_NAME), P(2, CLayerBar::COL_NAME, 0, 6));
  EXPECT_EQ(Names(), u"Hills|彩色图层|Fog|");
  EXPECT_EQ(List()->GetCurSel(), 2);
  EXPECT_EQ(bar->CurrentRow(), 2);
  EXPECT_EQ(LastLabel(), u"排序");
  EXPECT_EQ(bar->GetMode(), CLayerBar::myNORMAL);
  // And back into the upper half of the first row.
  Drag(P(2, CLayerBar::COL_NAME), P(0, CLayerBar::COL_NAME, 0, -6));
  EXPECT_EQ(Names(), u"Fog|Hills|彩色图层|");
  EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), 2u);
  // Dropped onto the gaps next to itself, or off the rows, nothing moves.
  Drag(P(1, CLayerBar::COL_NAME), P(1, CLayerBar::COL_NAME, 0, -6));
  Drag(P(1, CLayerBar::COL_NAME), P(0, CLayerBar::COL_NAME, 0, 6));
  Drag(P(1, CLayerBar::COL_NAME), MakePointLParam(At(0, CLayerBar::COL_NAME).x(), 3 * kRow + 30));
  EXPECT_EQ(Names(), u"Fog|Hills|彩色图层|");
  EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), 2u);
  // A right click cancels a drag.
  Press(P(0, CLayerBar::COL_NAME));
  Move(P(2, CLayerBar::COL_NAME, 0, 6));
  EXPECT_EQ(bar->GetMode(), CLayerBar::myDRAG);
  bar->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, P(2, CLayerBar::COL_NAME));
  bar->SendMessage(WM_RBUTTONUP, MK_LBUTTON, P(2, CLayerBar::COL_NAME));
  EXPECT_EQ(bar->GetMode(), CLayerBar::myNORMAL);
  Release(P(2, CLayerBar::COL_NAME, 0, 6));
  EXPECT_EQ(Names(), u"Fog|Hills|彩色图层|");
}

TEST_F(LayerBarMouseTest, ALongPressRenamesAShortClickOrAMoveDoesNot) {
  MakeLayers();
  const auto hold = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  bar->SetClickInterval(40);
  // Short: released within the interval.
  bar->SetClickInterval(100000);
  Press(P(1, CLayerBar::COL_NAME));
  Release(P(1, CLayerBar::COL_NAME));
  EXPECT_EQ(bar->GetMode(), CLayerBar::myNORMAL);
  EXPECT_EQ(List()->GetCurSel(), 1) << "a short click selects only";
  // Moved 5 pixels: a drag, no rename.
  bar->SetClickInterval(40);
  Press(P(1, CLayerBar::COL_NAME));
  hold(60);
  Move(P(1, CLayerBar::COL_NAME, 5, 0));
  Release(P(1, CLayerBar::COL_NAME, 5, 0));
  EXPECT_EQ(bar->GetMode(), CLayerBar::myNORMAL);
  // Released on another row: no rename.
  Press(P(1, CLayerBar::COL_NAME));
  hold(60);
  Release(P(0, CLayerBar::COL_NAME, 0, 3));
  EXPECT_NE(bar->GetMode(), CLayerBar::myRENAME);

  // Long: the edit opens over the colour and name columns with the name.
  Press(P(1, CLayerBar::COL_NAME));
  hold(60);
  Release(P(1, CLayerBar::COL_NAME));
  ASSERT_EQ(bar->GetMode(), CLayerBar::myRENAME);
  CMyEdit* edit = bar->GetRenameEdit();
  EXPECT_TRUE(edit->IsWindowVisible());
  EXPECT_EQ(edit->GetWindowText(), u"Hills");
  // Escape discards the text.
  edit->SetWindowText(u"Valley");
  bar->SendMessage(WM_MYEDITDONE, 0, 0);
  EXPECT_EQ(bar->RowName(1), u"Hills");
  EXPECT_FALSE(edit->IsWindowVisible());
  EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), 0u);

  // Enter keeps it, as one step "名称" that undo takes back.
  Press(P(1, CLayerBar::COL_NAME));
  hold(60);
  Release(P(1, CLayerBar::COL_NAME));
  ASSERT_EQ(bar->GetMode(), CLayerBar::myRENAME);
  edit->SetWindowText(u"Valley");
  bar->SendMessage(WM_MYEDITDONE, 1, 0);
  EXPECT_EQ(bar->RowName(1), u"Valley");
  EXPECT_EQ(LastLabel(), u"名称");
  EXPECT_EQ(Frame()->GetVertBar(ID_BAR_LAYER)->GetTitle(1), u"Valley") << "the page's title follows";
  Space()->Undo(1);
  EXPECT_EQ(bar->RowName(1), u"Hills");
  EXPECT_EQ(Frame()->GetVertBar(ID_BAR_LAYER)->GetTitle(1), u"Hills") << "and goes back with the undo";

  // A click elsewhere keeps what was typed; an empty text keeps the old name.
  for (const char16_t* typed : {u"Meadow", u""}) {
    Press(P(1, CLayerBar::COL_NAME));
    hold(60);
    Release(P(1, CLayerBar::COL_NAME));
    ASSERT_EQ(bar->GetMode(), CLayerBar::myRENAME);
    edit->SetWindowText(typed);
    Click(At(0, CLayerBar::COL_PROTECT));
    EXPECT_EQ(bar->GetMode(), CLayerBar::myNORMAL);
    EXPECT_EQ(bar->RowName(1), u"Meadow");
  }
}

// The rename edit takes 32 typed units; a longer name that a document brought opens whole and,
// left as it is, stays.
TEST_F(LayerBarMouseTest, TheRenameEditTakesThirtyTwoTypedUnitsAndKeepsALongerName) {
  MakeLayers();
  bar->SetClickInterval(40);
  CMyEdit* edit = bar->GetRenameEdit();
  const auto openRename = [&] {
    Press(P(1, CLayerBar::COL_NAME));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    Release(P(1, CLayerBar::COL_NAME));
    ASSERT_EQ(bar->GetMode(), CLayerBar::myRENAME);
  };
  openRename();
  for (int i = 0; i < 40; ++i) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QCoreApplication::sendEvent(edit->GetWidget()->focusProxy(), &key);  // the line edit inside
  }
  EXPECT_EQ(edit->GetWindowText(), std::u16string(32, u'x'));
  bar->SendMessage(WM_MYEDITDONE, 1, 0);
  EXPECT_EQ(bar->RowName(1), std::u16string(32, u'x'));

  const std::u16string stored(50, u'L');
  List()->GetLayer(1)->SetName(stored.c_str());
  const UINT steps = Space()->GetUndoStore()->GetStepCount();
  openRename();
  EXPECT_EQ(edit->GetWindowText(), stored);
  bar->SendMessage(WM_MYEDITDONE, 1, 0);
  EXPECT_EQ(bar->RowName(1), stored);
  EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), steps) << "an untouched name records nothing";
}

TEST_F(LayerBarMouseTest, TheThumbnailShowsOnTheThirdTickAndOutlivesItsLayer) {
  MakeLayers();
  CLayerThumbPopup* popup = bar->GetThumbPopup();
  ASSERT_TRUE(popup);
  popup->SetFrameWindow(nullptr);
  Paint(List()->GetLayer(0));
  const auto tick = [&](int n) {
    for (int i = 0; i < n; ++i) popup->SendMessage(WM_TIMER, CLayerThumbPopup::kTimer, 0);
  };
  Move(P(0, CLayerBar::COL_NAME), 0);
  EXPECT_TRUE(popup->HasPending());
  tick(2);
  EXPECT_FALSE(popup->IsWindowVisible());
  tick(1);
  ASSERT_TRUE(popup->IsWindowVisible());
  ASSERT_TRUE(popup->HasPreview());
  EXPECT_EQ(popup->GetRowNumber(), 1);
  // Staying on the row does not start over; another row does.
  Move(P(0, CLayerBar::COL_NAME, 2, 0), 0);
  EXPECT_TRUE(popup->IsWindowVisible());
  Move(P(1, CLayerBar::COL_NAME), 0);
  EXPECT_FALSE(popup->IsWindowVisible());
  EXPECT_EQ(popup->GetTicks(), 0);
  tick(3);
  EXPECT_TRUE(popup->IsWindowVisible());
  EXPECT_FALSE(popup->HasPreview()) << "an empty layer shows only its texts";
  // A key or a button hides it at once; over a flag column there is none.
  bar->SendMessage(WM_KEYDOWN, 'A', 0);
  EXPECT_FALSE(popup->IsWindowVisible());
  Move(P(0, CLayerBar::COL_HIDDEN), 0);
  EXPECT_FALSE(popup->HasPending());

  // The layer goes while its preview shows: the preview is the popup's own copy.
  Move(P(1, CLayerBar::COL_HIDDEN), 0);
  Move(P(0, CLayerBar::COL_NAME), 0);
  tick(3);
  ASSERT_TRUE(popup->HasPreview());
  const uint32_t first = popup->GetPreview()[64 * CLayerThumbPopup::kSide + 64];
  {
    GCompRef<OLayer> gone;
    gone.m_ptr = List()->DetachLayer(0);
  }
  popup->Invalidate();
  popup->UpdateWindow();
  EXPECT_EQ(popup->GetPreview()[64 * CLayerThumbPopup::kSide + 64], first);
  // It goes on the tick that finds the counter at 33.
  tick(30);
  EXPECT_EQ(popup->GetTicks(), 33);
  EXPECT_TRUE(popup->IsWindowVisible());
  tick(1);
  EXPECT_FALSE(popup->IsWindowVisible());
  EXPECT_FALSE(popup->HasPreview());
}

// Floating, the layer bar is a window of its own: while the user works in it the preview
// shows as it does in the frame, and another window in front takes it away.
TEST_F(LayerBarMouseTest, TheThumbnailShowsWhileTheFloatingLayerBarIsActive) {
  MakeLayers();
  CLayerThumbPopup* popup = bar->GetThumbPopup();
  ASSERT_TRUE(popup);
  const auto tick = [&](int n) {
    for (int i = 0; i < n; ++i) popup->SendMessage(WM_TIMER, CLayerThumbPopup::kTimer, 0);
  };
  QDockWidget* dock = Frame()->GetDock(ID_BAR_LAYER);
  dock->setFloating(true);
  dock->show();
  dock->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == dock; }));
  Move(P(0, CLayerBar::COL_NAME), 0);
  tick(3);
  EXPECT_TRUE(popup->IsWindowVisible());

  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &other; }));
  tick(1);
  EXPECT_FALSE(popup->IsWindowVisible());
}

TEST_F(LayerBarMouseTest, EachColumnHasItsTip) {
  MakeLayers();
  const std::u16string tips[CLayerBar::COL_COUNT] = {u"嵌套", u"颜色", u"要编辑名称，按键时间稍长", u"不可见", u"保护", u"源"};
  for (int column = 0; column < CLayerBar::COL_COUNT; ++column) {
    std::u16string text;
    RECT area{};
    const QPoint at = At(1, column);
    ASSERT_TRUE(bar->OnToolHitTest(POINT{at.x(), at.y()}, &text, &area)) << column;
    EXPECT_EQ(text, tips[column]);
    EXPECT_EQ(area.left, bar->GetColumnLeft(column));
    EXPECT_EQ(area.right, bar->GetColumnLeft(column) + bar->GetColumnWidth(column));
    EXPECT_EQ(area.top, kRow);
  }
  std::u16string text;
  EXPECT_FALSE(bar->OnToolHitTest(POINT{10, 3 * kRow + 5}, &text, nullptr)) << "below the rows";
  Press(P(1, CLayerBar::COL_PROTECT));
  EXPECT_FALSE(bar->OnToolHitTest(POINT{10, 5}, &text, nullptr)) << "while a button is down";
  Release(P(1, CLayerBar::COL_PROTECT));
}

TEST_F(LayerBarMouseTest, TheSelectedLayersPropertyPageWaitsBehindTheForwardTab) {
  MakeLayers();
  CMyVertBar* pages = Frame()->GetVertBar(ID_BAR_LAYER);
  Click(At(1, CLayerBar::COL_NAME));
  CMyListProperty* page = bar->GetPropertyPage();
  ASSERT_TRUE(page);
  EXPECT_EQ(pages->GetPage(1), page->GetSafeHwnd());
  EXPECT_EQ(pages->GetTitle(1), u"Hills");
  EXPECT_EQ(pages->GetPagePos(), 0u);
  // A double click on the name goes there, with the layer's values on the page.
  bar->SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, P(1, CLayerBar::COL_NAME));
  EXPECT_EQ(pages->GetPagePos(), 1u);
  EXPECT_GT(page->GetCount(), 0);
  // Another selection takes the bar home and registers the page under the new name.
  pages->SendMessage(WM_MYVB_NAVIGATE, VB_NAV_HOME, 0);
  Click(At(2, CLayerBar::COL_NAME));
  EXPECT_EQ(pages->GetPagePos(), 0u);
  EXPECT_EQ(pages->GetTitle(1), u"彩色图层");

  // An edit on the page is the step "属性", undone like any other.
  OLayer* layer = List()->GetCurLayer();
  auto* set = static_cast<OProperty*>(layer->GetInterface(u"OProperty"));
  ASSERT_TRUE(set);
  UINT index = 0;
  PropertyItem* alpha = set->FindByName(&index, u"ALPHA");
  ASSERT_TRUE(alpha);
  const int32_t before = alpha->value;
  XModifyNotify* notify = List()->GetModifyNotify();
  notify->BeginModify(alpha, index, set);
  set->SetValue(index, alpha->minimum);
  notify->EndModify(set->GetItem(index), FALSE);
  EXPECT_EQ(LastLabel(), u"属性");
  Space()->Undo(1);
  EXPECT_EQ(set->GetItem(index)->value, before);

  // Without a selection the page is refused, and no tab leads to it.
  List()->SetCurSelect(-1);
  EXPECT_EQ(pages->GetPage(1), nullptr);
  EXPECT_EQ(gui::SendMessage(bar->GetHostWindow(), WM_MYVB_PAGENOTIFY, VB_PAGE_MAYFORWARD, 0), 0);
}

TEST_F(LayerBarMouseTest, ARightClickSelectsTheRowAndPopsUpTheLayerMenu) {
  MakeLayers();
  std::vector<std::u16string> items;
  QTimer::singleShot(50, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* a : menu->actions())
      if (!a->isSeparator()) items.push_back(reinterpret_cast<const char16_t*>(a->text().utf16()));
    menu->close();
  });
  bar->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, P(0, CLayerBar::COL_NAME));
  bar->SendMessage(WM_RBUTTONUP, 0, P(0, CLayerBar::COL_NAME));
  EXPECT_EQ(List()->GetCurSel(), 0);
  ASSERT_EQ(items.size(), 7u);
  EXPECT_EQ(items[0].substr(items[0].size() - 4), u"(&C)");
  EXPECT_EQ(items[2], u"水平翻转(&H)");
  EXPECT_EQ(items[5], u"缩放(&Z)");
  EXPECT_EQ(items[6], u"保存图像(&S)...");
}

// The main menu's Layer menu writes the current layer to an image file, as the strip's button
// does.
TEST_F(LayerBarTest, TheLayerMenuSavesTheCurrentLayerAsAnImage) {
  MakeLayers();
  QMenu* layerMenu = nullptr;
  for (QAction* a : Frame()->GetMainWindow()->menuBar()->actions())
    if (a->menu() && a->text() == QStringLiteral("图层(&L)")) layerMenu = a->menu();
  ASSERT_TRUE(layerMenu);
  QAction* save = nullptr;
  for (QAction* a : layerMenu->actions())
    if (a->data().toUInt() == ID_LAYER_SAVE_IMAGE) save = a;
  ASSERT_TRUE(save);
  ScriptedLayerAsk ask;
  List()->SetAsk(&ask);
  const std::u16string path = folder + u"/彩色图层.png";
  ask.paths.push_back(path);
  Frame()->UpdateAll();
  EXPECT_TRUE(save->isEnabled());
  save->trigger();
  EXPECT_TRUE(plat::FileExists(path));
  List()->SetAsk(nullptr);
}

TEST_F(LayerBarMouseTest, DroppedDocumentsOpenAndEachFileIsOfferedInTurn) {
  MakeLayers();
  std::vector<std::u16string> opened;
  bar->SetOpenDocument([&](const std::u16string& path) { opened.push_back(path); });
  std::vector<QUrl> urls;
  for (const char16_t* path : {u"/tmp/图层/画.kelv", u"/tmp/photo.png", u"/tmp/Old.KELV"})
    urls.push_back(QUrl::fromLocalFile(QString::fromUtf16(path)));
  ASSERT_TRUE(guitest::DragAndDrop(Widget(), urls, QPointF(20, 10)));
  gui::RunPostedMessages();
  EXPECT_EQ(opened, (std::vector<std::u16string>{u"/tmp/图层/画.kelv", u"/tmp/Old.KELV"}));
  EXPECT_EQ(List()->GetCount(), 3) << "an image is not taken yet";
}

TEST_F(LayerBarMouseTest, TheWheelsAnswerColoursTheCurrentMaskLayer) {
  MakeLayers();
  // The colour column of a mask layer selects it and opens the wheel at the press.
  Press(P(1, CLayerBar::COL_COLOR));
  Release(P(1, CLayerBar::COL_COLOR));
  EXPECT_EQ(List()->GetCurSel(), 1);
  if (CColorWheel* wheel = Frame()->GetColorWheel()) wheel->ShowWindow(SW_HIDE);
  const HSVCOLOR chosen = RgbToHsv(0x2050F0);  // 0x00RRGGBB
  const uint32_t rgb = HsvToRgb(chosen);  // within a step of what was chosen
  const COLORREF expected = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  bar->SendMessage(WM_MYCOLORPICKED, chosen, 0);
  EXPECT_EQ(List()->GetLayer(1)->GetColor(nullptr, nullptr) & 0xFFFFFF, uint32_t(expected));
  EXPECT_EQ(LastLabel(), u"颜色");
  const QImage shot = Shot();
  const int x = bar->GetColumnLeft(CLayerBar::COL_COLOR) + 5;
  EXPECT_EQ(shot.pixel(x, kRow + 9) & 0xFFFFFF, Shown(expected)) << "the dot shows the new colour";
  Space()->Undo(1);
  EXPECT_EQ(List()->GetLayer(1)->GetColor(nullptr, nullptr) & 0xFFFFFF, uint32_t(RGB(40, 160, 70)));
}

}  // namespace

// The brush list in the running program with the plug-in folder's brushes: the stock brushes
// when there is no presets file, the property page behind the forward tab, the preselection
// marks and switching, clone and delete, a preset recalled by a click, the radius ratio, and
// the presets file written at the end and read at the next start, a record of a missing brush
// component included.
#include <QCoreApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMainWindow>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "AppHarness.h"
#include "common/PresetsFileBytes.h"
#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "panels/BrushPresets.h"
#include "panels/MyListBrush.h"
#include "panels/MyListProperty.h"
#include "panels/MyVertBar.h"
#include "panels/VertBarMessages.h"
#include "platform/gui/Messages.h"
#include "tools/Operation.h"

namespace {

using namespace presets_bytes;

Bytes ReadAll(const std::u16string& path) {
  std::ifstream in(U8(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::u16string& path, const Bytes& b) {
  std::ofstream out(U8(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// The record at `at` of a body under another name, all else as it was (the check made right).
Bytes Renamed(const Bytes& body, size_t at, const std::u16string& name) {
  const size_t n = Get32(body, at + 12), d = Get32(body, at + 16), e = Get32(body, at + 20);
  const size_t rest = d + 20 * size_t(Get32(body, at + 8));
  Bytes r(body.begin() + long(at), body.begin() + long(at + 36 + e));
  PutText(r, name);
  const auto tail = body.begin() + long(at + 36 + e + n);
  r.insert(r.end(), tail, tail + long(rest));
  Set32(r, 12, uint32_t(2 * name.size() + 2));
  Set32(r, 4, uint32_t(r.size()));
  Recheck(r, 0);
  return r;
}

// Records [from, to) of a body, cycling past its end.
Bytes Records(const Bytes& body, size_t count) {
  const std::vector<size_t> starts = RecordStarts(body);
  Bytes out;
  for (size_t i = 0; i < count; ++i) {
    const size_t k = i % starts.size(), end = k + 1 < starts.size() ? starts[k + 1] : body.size();
    out.insert(out.end(), body.begin() + long(starts[k]), body.begin() + long(end));
  }
  return out;
}

// The names of a body's records, at most `most`.
std::vector<std::u16string> NamesInBody(const Bytes& body, size_t most) {
  std::vector<std::u16string> names;
  for (size_t at : RecordStarts(body)) {
    if (names.size() == most) break;
    const size_t from = at + 36 + Get32(body, at + 20), to = from + Get32(body, at + 12) - 2;
    std::u16string name;
    for (size_t i = from; i < to && i + 1 < body.size(); i += 2) name += char16_t(body[i] | body[i + 1] << 8);
    names.push_back(name);
  }
  return names;
}

// The brush names of a presets file, read with zlib directly; the header must add up.
std::vector<std::u16string> NamesIn(const Bytes& file) {
  EXPECT_GT(file.size(), 32u);
  if (file.size() <= 32) return {};
  EXPECT_EQ(Get32(file, 0), 0x00424643u);
  EXPECT_EQ(Get32(file, 4), file.size());
  EXPECT_EQ(Get32(file, 8), 150u);
  EXPECT_EQ(Get32(file, 12), Get32(file, 16) + Get32(file, 20) + Get32(file, 24));
  const Bytes body = Unpack(file);
  EXPECT_EQ(RecordStarts(body).size(), Get32(file, 20));
  return NamesInBody(body, SIZE_MAX);
}

class BrushListTest : public AppTest {
 protected:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_COLOR, 32, 32);
    list = Frame()->GetBrushList();
    ASSERT_NE(list, nullptr);
    // A first run leaves the brush bar collapsed to its title row: a click opens it.
    CMyVertBar* bar = Frame()->GetVertBar(ID_BAR_BRUSH);
    bar->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 10));
    bar->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(40, 10));
    QCoreApplication::processEvents();
    ASSERT_GT(bar->GetWidget()->height(), 100);
  }
  std::u16string PresetsFile() const { return folder + u"/BRUSH/Config.cfb"; }
  // Files in the BRUSH folder other than the presets file: the ones kept aside.
  std::vector<std::u16string> KeptAside() const {
    std::vector<std::u16string> kept;
    for (const auto& e : std::filesystem::directory_iterator(U8(folder) + "/BRUSH"))
      if (e.path().filename() != "Config.cfb") kept.push_back(plat::FromUtf8(e.path().string()));
    return kept;
  }
  std::vector<std::u16string> Names() const {
    std::vector<std::u16string> names;
    for (int i = 0; i < list->GetCount(); ++i) names.push_back(list->GetEntry(i)->GetName());
    return names;
  }

  // A presets file as the user left it, and what start-up makes of it.
  struct PresetsCase {
    const char* name;
    std::function<Bytes(const Bytes& file, const Bytes& body)> make;  // from the user's file
    int rows;     // rows after start-up
    bool whole;   // read whole: no notice, nothing kept aside
    int current = -1;
    uint32_t firstFlags = 0xFFFFFFFF;  // row 0's flags as stored, where the case sets them
  };
  // The user's file: the stock brushes under names of the user's own, so that rows read from
  // it cannot be mistaken for the stock brushes. After a start the rows are the file's first
  // ones; after the exit the file on disk is the user's own, or a readable file with the rows
  // that were read; a file not read whole is kept aside byte for byte, and the user is told
  // once, with the window up, where.
  void CheckPresetsFiles(const PresetsCase* cases, size_t count) {
    Stop();
    const Bytes stock = Unpack(ReadAll(PresetsFile()));
    const std::vector<size_t> starts = RecordStarts(stock);
    ASSERT_EQ(starts.size(), 6u);
    Bytes body;
    for (size_t k = 0; k < starts.size(); ++k) {
      const Bytes r = Renamed(stock, starts[k], u"我的笔" + plat::Widen(std::to_string(k)));
      body.insert(body.end(), r.begin(), r.end());
    }
    const Bytes users = Pack(body, 6, 0);
    bool visible = false;
    onBox = [&](const char16_t*, const char16_t*, UINT) {
      visible = Frame()->GetMainWindow()->isVisible();
      return gui::IDOK;
    };
    for (size_t k = 0; k < count; ++k) {
      const PresetsCase& c = cases[k];
      SCOPED_TRACE(c.name);
      Shell("rm -rf '" + U8(folder) + "/BRUSH' && mkdir '" + U8(folder) + "/BRUSH'");
      const Bytes mine = c.make(users, body);
      WriteAll(PresetsFile(), mine);
      log.clear();
      visible = false;
      ASSERT_TRUE(Start());
      list = Frame()->GetBrushList();
      EXPECT_EQ(list->GetCount(), c.rows);
      if (c.rows > 0) {
        EXPECT_EQ(Names(), NamesInBody(Unpack(mine), size_t(c.rows))) << "the file's own rows";
      }
      EXPECT_EQ(list->GetCurSel(), c.current);
      if (c.firstFlags != 0xFFFFFFFF) {
        EXPECT_EQ(list->GetEntry(0)->m_dwFlags, c.firstFlags);
      }
      const std::vector<std::u16string> names = Names();
      const size_t boxes = size_t(std::count(log.begin(), log.end(), u"box:画笔预设"));
      Stop();

      const std::vector<std::u16string> kept = KeptAside();
      if (c.whole) {
        EXPECT_EQ(boxes, 0u);
        EXPECT_TRUE(kept.empty());
      } else {
        EXPECT_EQ(boxes, 1u) << "told once";
        EXPECT_TRUE(visible) << "after the window shows";
        EXPECT_EQ(kept.size(), 1u);
        if (kept.size() == 1) {
          EXPECT_EQ(ReadAll(kept[0]), mine) << "kept byte for byte";
          EXPECT_NE(lastBoxText.find(kept[0]), std::u16string::npos) << U8(lastBoxText);
        }
      }
      if (!plat::FileExists(PresetsFile())) {
        EXPECT_EQ(c.rows, 0) << "rows are saved at exit";
        continue;
      }
      const Bytes now = ReadAll(PresetsFile());
      if (now == mine) continue;  // the user's own file
      EXPECT_EQ(NamesIn(now), names) << "a readable file with the rows";
    }
  }

  uint32_t Flags(int row) { return list->GetEntry(row)->m_dwFlags & (BRUSH_FLAG_FLOATING | BRUSH_FLAG_FIXED); }
  // A press on a row's column and a release on another row's column.
  void Drag(int row, int column, int toRow, int toColumn) {
    const LPARAM from = At(row, column), to = At(toRow, toColumn);
    list->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, from);
    list->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, to);
    list->SendMessage(WM_LBUTTONUP, 0, to);
  }
  LPARAM At(int row, int column) {
    RECT client;
    list->GetClientRect(&client);
    int x = 0;
    while (x < client.right && list->HitColumn(x) != column) ++x;
    EXPECT_EQ(list->HitColumn(x), column);
    RECT rc{};
    list->GetItemRect(row, &rc);
    return MakePointLParam(x + 1, (rc.top + rc.bottom) / 2);
  }
  // A click on a row's column.
  void Click(int row, int column) {
    RECT client;
    list->GetClientRect(&client);
    int x = 0;
    while (x < client.right && list->HitColumn(x) != column) ++x;
    ASSERT_EQ(list->HitColumn(x), column);
    list->SetTopIndex(row);  // the row in view, wherever the list was scrolled
    RECT rc;
    ASSERT_NE(list->GetItemRect(row, &rc), gui::LB_ERR);
    const LPARAM at = MakePointLParam(x + 1, (rc.top + rc.bottom) / 2);
    list->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    list->SendMessage(WM_LBUTTONUP, 0, at);
  }
  PropertyItem* Radius() {
    UINT at = 0;
    return list->GetEntry(list->GetCurSel())->FindByName(&at, u"RADIUS");
  }

  CMyListBrush* list = nullptr;
};

TEST_F(BrushListTest, WithoutAPresetsFileTheStockBrushesComeWithTheirPropertyPage) {
  ASSERT_EQ(list->GetCount(), 6);
  EXPECT_EQ(list->GetCurSel(), 0);
  ASSERT_NE(list->GetCurBrush(), nullptr);
  CMyVertBar* bar = Frame()->GetVertBar(ID_BAR_BRUSH);
  ASSERT_NE(list->GetPropertyPage(), nullptr);
  EXPECT_EQ(bar->GetPage(0), list->GetSafeHwnd());
  EXPECT_EQ(bar->GetPage(1), list->GetPropertyPage()->GetSafeHwnd()) << "behind the forward tab";
  EXPECT_EQ(bar->GetTitle(1), list->GetEntry(0)->GetName());
  EXPECT_EQ(list->GetPropertyPage()->GetCount(), int(list->GetEntry(0)->GetCount()));
  // The forward tab leads there.
  ASSERT_TRUE(bar->Navigate(VB_NAV_FORWARD));
  EXPECT_EQ(bar->GetPagePos(), 1u);
}

TEST_F(BrushListTest, MarksFollowTheLastTwoBrushesOrTheFixedOneAndSwitchBrushAlternates) {
  list->SelectBrush(1);
  list->SelectBrush(2);
  EXPECT_EQ(Flags(0), 0u);
  EXPECT_EQ(Flags(1), BRUSH_FLAG_FLOATING);
  EXPECT_EQ(Flags(2), BRUSH_FLAG_FLOATING);
  ASSERT_NE(list->SwitchBrush(), nullptr);
  EXPECT_EQ(list->GetCurSel(), 1);
  list->SwitchBrush();
  EXPECT_EQ(list->GetCurSel(), 2);

  // A click on a marked row's mark fixes it; later selections keep it and the current one.
  Click(1, 0);
  EXPECT_EQ(Flags(1), BRUSH_FLAG_FLOATING | BRUSH_FLAG_FIXED);
  list->SelectBrush(3);
  list->SelectBrush(4);
  EXPECT_EQ(Flags(1), BRUSH_FLAG_FLOATING | BRUSH_FLAG_FIXED);
  EXPECT_EQ(Flags(2), 0u);
  EXPECT_EQ(Flags(3), 0u);
  EXPECT_EQ(Flags(4), BRUSH_FLAG_FLOATING);
  list->SwitchBrush();
  EXPECT_EQ(list->GetCurSel(), 1);
  // A second click on the fixed mark makes it floating again (the row left keeps its mark).
  Click(1, 0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Flags(i), i == 1 || i == 4 ? BRUSH_FLAG_FLOATING : 0u) << "row " << i;
}

TEST_F(BrushListTest, CloneAsksForANameAndDeleteAsksFirst) {
  list->SelectBrush(2);
  Radius()->value = 77;
  list->GetEntry(2)->StoreValues(0);
  onDialog = [](QDialog* d) {
    d->findChildren<QLineEdit*>()[0]->setText(QStringLiteral("我的笔"));
    return int(QDialog::Accepted);
  };
  ASSERT_TRUE(Run(ID_BRUSH_ADD));
  ASSERT_EQ(list->GetCount(), 7);
  EXPECT_EQ(list->GetCurSel(), 0);
  EXPECT_EQ(list->GetEntry(0)->GetName(), u"我的笔");
  EXPECT_EQ(list->GetEntry(0)->GetEngine(), list->GetEntry(3)->GetEngine());
  EXPECT_EQ(Radius()->value, 77) << "the clone has the values";

  onBox = [](const char16_t*, const char16_t*, UINT) { return gui::IDCANCEL; };
  ASSERT_TRUE(Run(ID_BRUSH_DELETE));
  EXPECT_EQ(list->GetCount(), 7);
  EXPECT_NE(lastBoxText.find(u"我的笔"), std::u16string::npos);
  onBox = [](const char16_t*, const char16_t*, UINT) { return gui::IDOK; };
  ASSERT_TRUE(Run(ID_BRUSH_DELETE));
  EXPECT_EQ(list->GetCount(), 6);
  EXPECT_EQ(list->GetEntry(list->GetCurSel())->GetName(), list->GetEntry(0)->GetName());
  // Deleting every row leaves no current brush.
  while (list->GetCount() > 0) ASSERT_TRUE(Run(ID_BRUSH_DELETE));
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_EQ(list->GetCurBrush(), nullptr);
  EXPECT_EQ(list->GetRadius(), 0.0f);
  EXPECT_FALSE(Update(ID_BRUSH_DELETE).m_bEnabled);
  // Finding brushes gives them back.
  ASSERT_TRUE(Run(ID_BRUSH_FIND));
  EXPECT_EQ(list->GetCount(), 6);
  EXPECT_EQ(lastBoxText, u"找到 6 支新画笔");
}

// An exit without rows writes nothing: the file of the last run with brushes stays.
TEST_F(BrushListTest, AnEmptiedListLeavesThePresetsFileAsItWas) {
  list->SelectBrush(4);
  Stop();
  const Bytes saved = ReadAll(PresetsFile());
  ASSERT_FALSE(saved.empty());
  ASSERT_TRUE(Start());
  list = Frame()->GetBrushList();
  onBox = [](const char16_t*, const char16_t*, UINT) { return gui::IDOK; };
  while (list->GetCount() > 0) ASSERT_TRUE(Run(ID_BRUSH_DELETE));
  Stop();
  EXPECT_EQ(ReadAll(PresetsFile()), saved);
  ASSERT_TRUE(Start());
  list = Frame()->GetBrushList();
  EXPECT_EQ(list->GetCount(), 6);
  EXPECT_EQ(list->GetCurSel(), 4);
}

TEST_F(BrushListTest, APresetStoredIsRecalledByAClickOnItsMark) {
  XBrushProperty* e = list->GetEntry(0);
  Radius()->value = 40;
  e->StoreValues(0);
  e->StoreValues(2);
  Radius()->value = 90;
  e->StoreValues(0);
  e->UpdatePresetFlags();
  EXPECT_FALSE(e->m_dwFlags & (1u << 2));
  Click(0, 3);  // column 3: preset 2
  EXPECT_EQ(Radius()->value, 40);
  EXPECT_TRUE(e->m_dwFlags & (1u << 2)) << "preset 2 now equals the values";
  Radius()->value = 90;
  e->StoreValues(0);
  EXPECT_EQ(list->RecallPreset(2), 2);
  EXPECT_EQ(Radius()->value, 40);
}

TEST_F(BrushListTest, DraggingStoresAndMovesPresetsAndReordersBrushes) {
  list->SetTopIndex(0);
  XBrushProperty* e = list->GetEntry(0);
  Radius()->value = 61;
  e->StoreValues(0);
  Drag(0, 1, 0, 4);  // the name onto preset 3
  Radius()->value = 5;
  e->StoreValues(0);
  list->RecallPreset(3);
  EXPECT_EQ(Radius()->value, 61);
  Drag(0, 4, 0, 2);  // preset 3 onto preset 1: it becomes preset 1
  Radius()->value = 5;
  e->StoreValues(0);
  list->RecallPreset(1);
  EXPECT_EQ(Radius()->value, 61);

  const std::u16string first = list->GetEntry(0)->GetName(), second = list->GetEntry(1)->GetName();
  Drag(0, 1, 2, 1);  // the first brush's name to the boundary above the third row
  EXPECT_EQ(list->GetEntry(0)->GetName(), second);
  EXPECT_EQ(list->GetEntry(1)->GetName(), first);
  EXPECT_EQ(list->GetCurSel(), 1);
}

// Step 3 of every release: whatever the press did, the paint tool is current afterwards.
TEST_F(BrushListTest, LettingGoOfTheMouseInTheListSwitchesToThePaintTool) {
  for (int column : {0, 1, 3}) {
    SCOPED_TRACE(column);
    Space()->SelectOperator(ID_OPER_FLOOD);
    ASSERT_EQ(Space()->GetCurOperator()->GetID(), ID_OPER_FLOOD);
    Click(2, column);
    EXPECT_EQ(Space()->GetCurOperator()->GetID(), ID_OPER_PAINT);
  }
  Space()->SelectOperator(ID_OPER_FLOOD);
  Drag(0, 1, 2, 1);
  EXPECT_EQ(Space()->GetCurOperator()->GetID(), ID_OPER_PAINT) << "after a drag too";
}

TEST_F(BrushListTest, ADoubleClickOnANameOpensItsPropertyPage) {
  CMyVertBar* bar = Frame()->GetVertBar(ID_BAR_BRUSH);
  const auto doubleClick = [&](int row, int column) {
    const LPARAM at = At(row, column);
    list->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    list->SendMessage(WM_LBUTTONUP, 0, at);
    list->SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    list->SendMessage(WM_LBUTTONUP, 0, at);
  };
  list->SetTopIndex(0);
  doubleClick(1, 3);
  EXPECT_EQ(bar->GetPagePos(), 0u) << "not on a preset mark";
  doubleClick(2, 1);
  EXPECT_EQ(list->GetCurSel(), 2);
  EXPECT_EQ(bar->GetPagePos(), 1u);
  EXPECT_EQ(bar->GetTitle(1), list->GetEntry(2)->GetName());
}

TEST_F(BrushListTest, TheRowUnderTheMouseIsLitAndEachColumnHasItsTip) {
  list->SetTopIndex(0);
  QWidget* widget = list->GetWidget();
  const auto hover = [&](LPARAM at) {
    const QPoint p(GET_X_LPARAM(at), GET_Y_LPARAM(at));
    QMouseEvent e(QEvent::MouseMove, p, widget->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &e);
  };
  // The face of a row's name, right of any text.
  int nameRight = 0;
  while (list->HitColumn(nameRight + 1) == 1 || list->HitColumn(nameRight) != 1) ++nameRight;
  const auto face = [&](int row) {
    RECT rc{};
    list->GetItemRect(row, &rc);
    return widget->grab().toImage().pixel(nameRight - 1, rc.top + 2) & 0xFFFFFF;
  };
  const QRgb plain = face(1);
  hover(At(1, 1));
  EXPECT_EQ(list->GetHotRow(), 1);
  EXPECT_EQ(face(1), 0xFFFFFFu) << "lit";
  EXPECT_NE(face(1), plain);
  hover(At(2, 1));
  EXPECT_EQ(list->GetHotRow(), 2);
  EXPECT_EQ(face(1), plain) << "the row left goes back";
  // The mouse leaves the list: the leave the list asked for puts the light out.
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(widget, &leave);
  gui::RunPostedMessages();
  EXPECT_EQ(list->GetHotRow(), -1);
  EXPECT_EQ(face(2), plain);
  hover(At(2, 1));
  list->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(2, 1));
  EXPECT_EQ(list->GetHotRow(), -1) << "a press puts the light out";
  list->SendMessage(WM_LBUTTONUP, 0, At(2, 1));

  const struct {
    int column;
    std::u16string tip;
  } cases[] = {{0, u"预选"}, {1, list->GetEntry(1)->GetDescription()}, {2, u"笔设"}, {5, u"笔设"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    ASSERT_FALSE(c.tip.empty());
    const LPARAM at = At(1, c.column);
    std::u16string text;
    RECT area{};
    ASSERT_TRUE(list->OnToolHitTest(POINT{GET_X_LPARAM(at), GET_Y_LPARAM(at)}, &text, &area));
    EXPECT_EQ(text, c.tip);
    EXPECT_EQ(list->HitColumn(area.left), c.column);
    EXPECT_EQ(list->HitColumn(area.right - 1), c.column);
    EXPECT_EQ(area.bottom - area.top, CMyListBox::kRowHeight);
  }
  std::u16string text;
  EXPECT_FALSE(list->OnToolHitTest(POINT{20, LONG(list->GetCount() * CMyListBox::kRowHeight + 5)}, &text, nullptr))
      << "below the rows";
  // None while a row is dragged.
  list->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(0, 1));
  list->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(2, 1));
  const LPARAM over = At(2, 1);
  EXPECT_FALSE(list->OnToolHitTest(POINT{GET_X_LPARAM(over), GET_Y_LPARAM(over)}, &text, nullptr));
  list->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(0, 1));
  list->SendMessage(WM_LBUTTONUP, 0, At(0, 1));
}

// The presets file holds 100 brushes: with 96 rows and 5 components unlisted, finding adds 4
// and says so, and the exit writes all 100.
TEST_F(BrushListTest, FindingNeverTakesTheListPastWhatThePresetsFileHolds) {
  onBox = [](const char16_t*, const char16_t*, UINT) { return gui::IDOK; };
  while (list->GetCount() > 1) ASSERT_TRUE(Run(ID_BRUSH_DELETE));
  list->SetAskName([](std::u16string*, std::u16string*) { return TRUE; });
  while (list->GetCount() < 96) list->OnAddBrush();
  ASSERT_EQ(list->GetCount(), 96);
  ASSERT_TRUE(Run(ID_BRUSH_FIND));
  EXPECT_EQ(list->GetCount(), CMyListBrush::kMaxRows);
  EXPECT_NE(lastBoxText.find(u"找到 4 支新画笔"), std::u16string::npos) << U8(lastBoxText);
  EXPECT_NE(lastBoxText.find(u"100"), std::u16string::npos) << "the limit is said: " << U8(lastBoxText);
  ASSERT_TRUE(Run(ID_BRUSH_FIND));
  EXPECT_EQ(list->GetCount(), CMyListBrush::kMaxRows);
  EXPECT_EQ(lastBoxText.find(u"没有找到"), std::u16string::npos) << "full, not none found: " << U8(lastBoxText);
  log.clear();
  Stop();
  EXPECT_FALSE(Logged(u"box:画笔预设"));
  EXPECT_EQ(NamesIn(ReadAll(PresetsFile())).size(), size_t(CMyListBrush::kMaxRows));
}

// A save that fails at exit is told, not only logged; the old file stays.
TEST_F(BrushListTest, APresetsSaveThatFailsAtExitIsTold) {
  Shell("mkdir -p '" + U8(PresetsFile()) + "/in-the-way'");
  log.clear();
  Stop();
  EXPECT_TRUE(Logged(u"box:画笔预设"));
  EXPECT_NE(lastBoxText.find(u"无法保存画笔预设"), std::u16string::npos) << U8(lastBoxText);
  EXPECT_NE(lastBoxText.find(PresetsFile()), std::u16string::npos) << U8(lastBoxText);
  EXPECT_TRUE(std::filesystem::is_directory(U8(PresetsFile())));
}

TEST_F(BrushListTest, TheRadiusRatioCoversTheItemsRange) {
  PropertyItem* r = Radius();
  const float largest = list->SetRadiusRatio(1.0f);
  EXPECT_GT(largest, list->SetRadiusRatio(0.0f));
  EXPECT_EQ(r->value, r->minimum);
  list->SetRadiusRatio(1.0f);
  EXPECT_EQ(r->value, r->maximum);
  EXPECT_EQ(list->GetRadiusRatio(), 1.0f);
  list->SetRadiusRatio(5.0f);
  EXPECT_EQ(r->value, r->maximum) << "clamped";
}

TEST_F(BrushListTest, ThePresetsFileKeepsTheBrushesAndARecordOfAMissingComponent) {
  list->SelectBrush(3);
  Radius()->value = 33;
  list->GetEntry(3)->StoreValues(0);
  const std::u16string name3 = list->GetEntry(3)->GetName();
  Stop();
  ASSERT_TRUE(plat::FileExists(PresetsFile()));

  // A record of a brush whose plug-in is gone is added to the file (by a run that ends
  // without saving).
  ASSERT_TRUE(Start());
  BrushPresetsLoad load = LoadPresets(PresetsFile(), app->GetSystem());
  ASSERT_EQ(load.status, PresetsStatus::Loaded) << U8(load.error);
  BrushPresetRecord gone = load.presets.brushes[0];
  gone.engine = u"GoneBrush";
  gone.name = u"走了";
  load.presets.brushes.push_back(gone);
  ASSERT_TRUE(SavePresets(PresetsFile(), load.presets, app->GetSystem()).ok);
  Frame()->SetQuiet(true);
  Frame()->Close();
  app.reset();

  ASSERT_TRUE(Start());
  list = Frame()->GetBrushList();
  ASSERT_EQ(list->GetCount(), 6);
  EXPECT_EQ(list->GetCurSel(), 3);
  EXPECT_EQ(list->GetEntry(3)->GetName(), name3);
  EXPECT_EQ(Radius()->value, 33);
  Stop();
  ASSERT_TRUE(Start());
  load = LoadPresets(PresetsFile(), app->GetSystem());
  ASSERT_EQ(load.status, PresetsStatus::Loaded);
  ASSERT_EQ(load.presets.brushes.size(), 7u);
  EXPECT_EQ(load.presets.brushes[6], gone) << "written back as it was read";
}

// A stored name ends at its first 0: the row shows what is before it, and the next save
// writes that.
TEST_F(BrushListTest, ABrushNameEndsAtItsFirstZero) {
  Stop();
  const Bytes stock = Unpack(ReadAll(PresetsFile()));
  const size_t second = RecordStarts(stock)[1];
  Bytes body = Renamed(stock, 0, std::u16string(u"我的\0笔", 4));
  body.insert(body.end(), stock.begin() + long(second), stock.end());
  WriteAll(PresetsFile(), Pack(body, 6, 0));
  ASSERT_TRUE(Start());
  list = Frame()->GetBrushList();
  ASSERT_EQ(list->GetCount(), 6);
  EXPECT_EQ(list->GetEntry(0)->GetName(), u"我的");
  Stop();
  const std::vector<std::u16string> saved = NamesIn(ReadAll(PresetsFile()));
  ASSERT_EQ(saved.size(), 6u);
  EXPECT_EQ(saved[0], u"我的");
}

// Files the format refuses or that are damaged: never replaced unseen.
TEST_F(BrushListTest, ADamagedPresetsFileIsKeptAsideAndTheUserTold) {
  const PresetsCase cases[] = {
      {"truncated", [](const Bytes& f, const Bytes&) { return Bytes(f.begin(), f.end() - 7); }, 0, false},
      {"a flipped body byte", [](Bytes f, const Bytes&) { return f[40] ^= 0x10, f; }, 0, false},
      {"count 0xFFFFFFFF",
       [](Bytes f, const Bytes&) { return Set32(f, 20, 0xFFFFFFFF), RecheckHeader(f), f; }, 6, false},
      {"body size 0x7FFFFFFF",
       [](Bytes f, const Bytes&) { return Set32(f, 16, 0x7FFFFFFF), RecheckHeader(f), f; }, 0, false},
      {"empty", [](const Bytes&, const Bytes&) { return Bytes(); }, 0, false},
      {"random bytes",
       [](const Bytes&, const Bytes&) {
         Bytes b(300);
         uint32_t x = 12345;
         for (uint8_t& v : b) v = uint8_t((x = x * 1103515245u + 12345u) >> 24);
         return b;
       },
       0, false},
      {"one bit of the version", [](Bytes f, const Bytes&) { return f[8] ^= 1, f; }, 0, false},
      {"a body larger than the stream gives",
       [](Bytes f, const Bytes&) { return Set32(f, 16, Get32(f, 16) + 1000), RecheckHeader(f), f; }, 0, false},
      {"a bad second record: its first row kept",
       [](const Bytes&, Bytes b) {
         const size_t at = RecordStarts(b)[1];
         Set32(b, at, Get32(b, at) + 1);
         return Pack(b, 6, 0);
       },
       1, false},
  };
  CheckPresetsFiles(cases, std::size(cases));
}

// Files the format accepts: read whole (or, past 100 brushes, the first 100 and kept aside).
TEST_F(BrushListTest, PresetsFilesTheFormatAcceptsAreRead) {
  const PresetsCase cases[] = {
      {"as saved", [](const Bytes& f, const Bytes&) { return f; }, 6, true, 0},
      {"names of 256 characters",
       [](const Bytes&, const Bytes& b) {
         Bytes body = Renamed(b, 0, std::u16string(256, u'名'));
         const Bytes rest = Records(Bytes(b.begin() + long(RecordStarts(b)[1]), b.end()), 5);
         body.insert(body.end(), rest.begin(), rest.end());
         return Pack(body, 6, 0);
       },
       6, true, 0},
      {"101 brushes", [](const Bytes&, const Bytes& b) { return Pack(Records(b, 101), 101, 0); }, 100, false},
      {"4 bytes after the zlib stream",
       [](Bytes f, const Bytes&) { return f.insert(f.end(), {9, 9, 9, 9}), Set32(f, 4, uint32_t(f.size())), f; }, 6,
       true, 0},
      {"a record-size word off while its check adds up",
       [](const Bytes&, Bytes b) { return Set32(b, 4, Get32(b, 4) + 8), Recheck(b, 0), Pack(b, 6, 0); }, 6, true, 0},
      {"no current row stored", [](const Bytes&, const Bytes& b) { return Pack(b, 6, -1); }, 6, true, -1},
      {"a current row past the rows", [](const Bytes&, const Bytes& b) { return Pack(b, 6, 6); }, 6, true, -1},
      {"flags used as read", [](const Bytes&, Bytes b) { return Set32(b, 32, 0x200), Pack(b, 6, 0); }, 6, true, 0,
       0x200},
  };
  CheckPresetsFiles(cases, std::size(cases));
}

}  // namespace

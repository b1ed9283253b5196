// The brush list in the running program with the plug-in folder's brushes: the stock brushes
// when there is no presets file, the property page behind the forward tab, the preselection
// marks and switching, clone and delete, a preset recalled by a click, the radius ratio, and
// the presets file written at the end and read at the next start, a record of a missing brush
// component included.
#include <QLineEdit>

#include "AppHarness.h"
#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "panels/BrushPresets.h"
#include "panels/MyListBrush.h"
#include "panels/MyListProperty.h"
#include "panels/MyVertBar.h"
#include "panels/VertBarMessages.h"
#include "platform/gui/Messages.h"

namespace {

class BrushListTest : public AppTest {
 protected:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_COLOR, 32, 32);
    list = Frame()->GetBrushList();
    ASSERT_NE(list, nullptr);
  }
  std::u16string PresetsFile() const { return folder + u"/BRUSH/Config.cfb"; }
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
  // The deletion is kept: the next start has no brush until the user finds them again.
  Stop();
  ASSERT_TRUE(Start());
  list = Frame()->GetBrushList();
  EXPECT_EQ(list->GetCount(), 0);
  ASSERT_TRUE(Run(ID_BRUSH_FIND));
  EXPECT_EQ(list->GetCount(), 6);
  EXPECT_EQ(lastBoxText, u"找到 6 支新画笔");
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

}  // namespace

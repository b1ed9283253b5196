// The undo and redo history drop-downs of the main toolbar: the arrow of each button lists
// its store's steps by label, newest first, and choosing the k-th runs k steps at once.
#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include "AppHarness.h"
#include "frame/Resource.h"
#include "platform/gui/CommandActions.h"

namespace {

using Labels = std::vector<std::u16string>;

class HistoryTest : public AppTest {
 protected:
  HistoryTest() { show = true; }

  QToolButton* Button(UINT id) {
    QToolBar* bar = Frame()->GetToolBar(ID_BAR_MAIN);
    return qobject_cast<QToolButton*>(bar->widgetForAction(Frame()->GetActions()->Get(id)));
  }
  // Opens the button's drop-down as its arrow would and reads the entries.
  Labels Open(UINT id) {
    Labels texts;
    QMenu* menu = Button(id)->menu();
    if (!menu) return texts;
    menu->popup(QPoint(0, 0));
    QCoreApplication::processEvents();
    for (QAction* a : menu->actions())
      texts.emplace_back(reinterpret_cast<const char16_t*>(a->text().utf16()), size_t(a->text().size()));
    return texts;
  }
  // Chooses the k-th entry (from 1) of the open drop-down.
  void Choose(UINT id, int k) {
    QMenu* menu = Button(id)->menu();
    ASSERT_TRUE(menu && menu->isVisible());
    ASSERT_LE(k, int(menu->actions().size()));
    menu->actions()[k - 1]->trigger();
    menu->hide();
  }
  Labels StepLabels(OUndoRecorder* store) {
    std::vector<const char16_t*> texts(store->GetStepCount());
    texts.resize(store->CopyStepList(texts.data(), UINT(texts.size())));
    return Labels(texts.begin(), texts.end());
  }
  void Resize(int width, int height) {
    onDialog = [width, height](QDialog* d) {
      auto* size = dynamic_cast<CDlgSpaceSize*>(d);
      if (!size) return int(QDialog::Rejected);
      size->SetValues(width, height);
      return int(QDialog::Accepted);
    };
    ASSERT_TRUE(Run(ID_SPACE_RESIZE));
  }
};

TEST_F(HistoryTest, ChoosingTheKthStepUndoesAndRedoesThatManyAtOnce) {
  ASSERT_TRUE(Start());
  NewDocument(CTavrikDoc::myNEW_COLOR, 100, 80);
  for (UINT id : {ID_EDIT_UNDO, ID_EDIT_REDO}) {
    ASSERT_TRUE(Button(id)) << id;
    EXPECT_EQ(Button(id)->popupMode(), QToolButton::MenuButtonPopup) << id;
  }
  Space()->GetUndoStore()->Clear();
  const COLORREF before = Space()->GetBackground();
  ASSERT_TRUE(Run(ID_SPACE_BACKGROUND));
  const COLORREF after = Space()->GetBackground();
  ASSERT_NE(after, before);
  Resize(60, 50);
  Resize(40, 30);
  Frame()->UpdateAll();

  EXPECT_EQ(Open(ID_EDIT_UNDO), (Labels{u"空间>尺寸", u"空间>尺寸", u"空间>颜色"}));
  Choose(ID_EDIT_UNDO, 2);
  EXPECT_EQ(Space()->GetWidth(), 100u);
  EXPECT_EQ(Space()->GetHeight(), 80u);
  EXPECT_EQ(Space()->GetBackground(), after) << "only two steps go";
  EXPECT_EQ(StepLabels(Space()->GetUndoStore()), (Labels{u"空间>颜色"}));
  EXPECT_EQ(StepLabels(Space()->GetRedoStore()), (Labels{u"空间>尺寸", u"空间>尺寸"}));
  EXPECT_TRUE(Frame()->GetActions()->Get(ID_EDIT_REDO)->isEnabled()) << "the frame's update ran";

  EXPECT_EQ(Open(ID_EDIT_UNDO), (Labels{u"空间>颜色"}));
  Choose(ID_EDIT_UNDO, 1);
  EXPECT_EQ(Space()->GetBackground(), before);
  EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), 0u);
  EXPECT_FALSE(Frame()->GetActions()->Get(ID_EDIT_UNDO)->isEnabled());

  // The redo side lists the last undone first.
  EXPECT_EQ(Open(ID_EDIT_REDO), (Labels{u"空间>颜色", u"空间>尺寸", u"空间>尺寸"}));
  Choose(ID_EDIT_REDO, 2);
  EXPECT_EQ(Space()->GetBackground(), after);
  EXPECT_EQ(Space()->GetWidth(), 60u);
  EXPECT_EQ(Space()->GetHeight(), 50u);
  EXPECT_EQ(StepLabels(Space()->GetUndoStore()), (Labels{u"空间>尺寸", u"空间>颜色"}));
  EXPECT_EQ(StepLabels(Space()->GetRedoStore()), (Labels{u"空间>尺寸"}));
  EXPECT_EQ(Open(ID_EDIT_REDO), (Labels{u"空间>尺寸"}));
  Choose(ID_EDIT_REDO, 1);
  EXPECT_EQ(Space()->GetWidth(), 40u);
  EXPECT_EQ(Space()->GetRedoStore()->GetStepCount(), 0u);

  // The button itself still takes one step back.
  Frame()->UpdateAll();
  Button(ID_EDIT_UNDO)->click();
  EXPECT_EQ(Space()->GetWidth(), 60u);
  EXPECT_EQ(Space()->GetRedoStore()->GetStepCount(), 1u);
}

}  // namespace

// What the layer bar's clicks and edits do to the rows: the flag toggles with their undo step
// and the tool's notice, the nest refusals, a dropped row, a rename cut to its limit, a mask
// layer's colour and the property page's edits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ToolFixture.h"
#include "common/Thrown.h"
#include "odata/GText.h"
#include "odata/OProperty.h"

namespace {

// The current tool: it hears what the list tells it.
class ListeningTool final : public COperation {
 public:
  UINT GetID() override { return 1; }
  void OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void* param) override {
    if (std::u16string(sender) == u"CMyListLayer" && code != myNOTIFY_SELECT)
      heard.push_back({code, static_cast<OLayer*>(param)});
  }
  void FinishWork() override { ++finished; }
  struct Notice {
    DWORD code;
    OLayer* layer;
  };
  std::vector<Notice> heard;
  int finished = 0;
};

class LayerRowsTest : public ToolFixture {
 protected:
  // Rows from the top: mask "A", mask "B", colour "C", mask "D", colour "E".
  void SetUp() override {
    tool = new ListeningTool;
    Init(64, 64, tool);
    const int formats[] = {OLayer::myFORMAT_A16, OLayer::myFORMAT_A16, OLayer::myFORMAT_C32, OLayer::myFORMAT_A16,
                           OLayer::myFORMAT_C32};
    const char16_t* names[] = {u"A", u"B", u"C", u"D", u"E"};
    for (int i = 0; i < 5; ++i) AddLayer(8, 8, formats[i], UINT(i + 1), 0, 0, 0)->SetName(names[i]);
    list->SetCurSelect(0);
  }
  uint32_t Flags(int row) { return list->GetLayer(row)->GetFlags(); }
  UINT Steps() { return space->GetUndoStore()->GetStepCount(); }
  std::u16string LastLabel() {
    const char16_t* label = nullptr;
    return space->GetUndoStore()->CopyStepList(&label, 1) ? std::u16string(label) : u"";
  }
  std::u16string Names() {
    std::u16string s;
    for (int i = 0; i < list->GetCount(); ++i) s += list->GetLayer(i)->GetName();
    return s;
  }

  ListeningTool* tool = nullptr;
};

TEST_F(LayerRowsTest, EachFlagColumnTogglesItsFlagWithAStepAndTellsTheTool) {
  struct Case {
    int row;
    uint32_t flag;
    bool viewInvalidated;
  };
  const Case cases[] = {{1, LYR_FLAG_NEST, true}, {3, LYR_FLAG_HIDDEN, true}, {4, LYR_FLAG_PROTECT, false}};
  for (const Case& c : cases) {
    const int invalidated = win.invalidated;
    const UINT steps = Steps();
    list->ToggleFlag(c.row, c.flag);
    EXPECT_EQ(Flags(c.row), c.flag) << c.flag;
    EXPECT_EQ(Steps(), steps + 1) << c.flag;
    EXPECT_EQ(LastLabel(), u"标记");
    ASSERT_FALSE(tool->heard.empty());
    EXPECT_EQ(tool->heard.back().code, myNOTIFY_FLAGS | c.flag);
    EXPECT_EQ(tool->heard.back().layer, list->GetLayer(c.row));
    EXPECT_EQ(win.invalidated > invalidated, c.viewInvalidated) << c.flag;
  }
  // Undone in turn, the flags go; redone, they come back.
  space->Undo(3);
  for (const Case& c : cases) EXPECT_EQ(Flags(c.row), 0u) << c.flag;
  space->Redo(3);
  for (const Case& c : cases) EXPECT_EQ(Flags(c.row), c.flag) << c.flag;
  list->ToggleFlag(3, LYR_FLAG_HIDDEN);
  EXPECT_EQ(Flags(3), 0u) << "a second click clears";
}

TEST_F(LayerRowsTest, TheSourceMarkMovesBetweenRowsAndUndoGivesItBack) {
  list->ToggleFlag(0, LYR_FLAG_SOURCE);
  EXPECT_EQ(list->GetSourceLayer(), list->GetLayer(0));
  list->ToggleFlag(3, LYR_FLAG_SOURCE);
  EXPECT_EQ(Flags(0), 0u) << "one row carries the mark";
  EXPECT_EQ(Flags(3), LYR_FLAG_SOURCE);
  list->ToggleFlag(3, LYR_FLAG_SOURCE);
  EXPECT_EQ(list->GetSourceLayer(), nullptr) << "a click on the marked row removes it";
  EXPECT_EQ(tool->heard.back().code, myNOTIFY_FLAGS | LYR_FLAG_SOURCE);

  space->Undo(1);
  EXPECT_EQ(list->GetSourceLayer(), list->GetLayer(3));
  space->Undo(1);
  EXPECT_EQ(Flags(0), LYR_FLAG_SOURCE) << "the row that lost the mark gets it back";
  EXPECT_EQ(Flags(3), 0u);
  space->Undo(1);
  EXPECT_EQ(list->GetSourceLayer(), nullptr);
  space->Redo(2);
  EXPECT_EQ(Flags(0), 0u);
  EXPECT_EQ(Flags(3), LYR_FLAG_SOURCE);

  // The make-source command works on the current mask layer only.
  list->SetCurSelect(2);
  const UINT steps = Steps();
  list->SetCurLayerAsSource();
  EXPECT_EQ(Steps(), steps) << "a colour layer is no source";
  list->SetCurSelect(1);
  list->SetCurLayerAsSource();
  EXPECT_EQ(list->GetSourceLayer(), list->GetLayer(1));
  EXPECT_EQ(Flags(3), 0u);
}

TEST_F(LayerRowsTest, ANestIsRefusedOnTheBottomRowAndAboveAMaskLayer) {
  const UINT steps = Steps();
  list->ToggleFlag(0, LYR_FLAG_NEST);  // above mask B
  list->ToggleFlag(2, LYR_FLAG_NEST);  // colour C above mask D
  list->ToggleFlag(4, LYR_FLAG_NEST);  // the bottom row
  for (int row : {0, 2, 4}) EXPECT_EQ(Flags(row), 0u) << row;
  EXPECT_EQ(Steps(), steps) << "a refused toggle writes nothing";
  EXPECT_TRUE(tool->heard.empty());
  list->ToggleFlag(3, LYR_FLAG_NEST);  // mask D above colour E
  EXPECT_EQ(Flags(3), LYR_FLAG_NEST);
  // Reordered so that it sits on the bottom row, a set nest can still be taken off.
  list->MoveLayer(3, 4);
  list->ToggleFlag(4, LYR_FLAG_NEST);
  EXPECT_EQ(Flags(4), 0u);
}

// A nest clips into the first layer below that is not nested itself, so a layer may nest over
// a nested mask as long as a colour layer ends the run; the merge sees the same run.
TEST_F(LayerRowsTest, ANestOverANestedRunClipsIntoTheColourLayerBelowTheRun) {
  list->ToggleFlag(3, LYR_FLAG_NEST);  // mask D into colour E
  list->ToggleFlag(2, LYR_FLAG_NEST);  // colour C over the nested D
  list->ToggleFlag(1, LYR_FLAG_NEST);  // mask B over C and D
  for (int row : {1, 2, 3}) EXPECT_EQ(Flags(row), LYR_FLAG_NEST) << row;
  EXPECT_EQ(list->GetNestBaseRow(1), 4);
  list->SetCurSelect(1);
  EXPECT_TRUE(list->GetMergeOptions() & LYR_MERGE_NEST);
  space->Undo(3);
  for (int row : {1, 2, 3}) EXPECT_EQ(Flags(row), 0u) << row;

  // A nested run that ends on a mask layer has nothing to clip into.
  list->GetLayer(2)->SetFlags(LYR_FLAG_NEST);  // as a document may bring it, over mask D
  const UINT steps = Steps();
  list->ToggleFlag(1, LYR_FLAG_NEST);
  EXPECT_EQ(Flags(1), 0u);
  EXPECT_EQ(Steps(), steps);
  EXPECT_EQ(list->GetNestBaseRow(1), -1);
  list->SetCurSelect(2);
  EXPECT_FALSE(list->GetMergeOptions() & LYR_MERGE_NEST);
}

TEST_F(LayerRowsTest, ADroppedRowMovesToItsGapWithAnOrderStep) {
  EXPECT_FALSE(list->MoveRowToGap(0, 0)) << "the gap above itself";
  EXPECT_FALSE(list->MoveRowToGap(0, 1)) << "the gap below itself";
  EXPECT_FALSE(list->MoveRowToGap(0, 6));
  EXPECT_EQ(Steps(), 0u);
  EXPECT_TRUE(list->MoveRowToGap(0, 5));
  EXPECT_EQ(Names(), u"BCDEA");
  EXPECT_EQ(list->GetCurSel(), 4) << "the selection follows the moved layer";
  EXPECT_EQ(LastLabel(), u"排序");
  EXPECT_TRUE(list->MoveRowToGap(4, 0));
  EXPECT_EQ(Names(), u"ABCDE");
  EXPECT_EQ(Steps(), 2u);

  // Undone, the rows go back step by step (the executor of the order step lives with the
  // other row records).
  const Thrown undone = CatchError([&] { space->Undo(1); });
  if (undone.thrown && undone.condition == u"Should not get here!")
    GTEST_SKIP() << "the row records are not in this tree yet";
  ASSERT_FALSE(undone.thrown);
  EXPECT_EQ(Names(), u"BCDEA");
  space->Undo(1);
  EXPECT_EQ(Names(), u"ABCDE");
  EXPECT_EQ(list->GetCurSel(), 0);
  space->Redo(1);
  EXPECT_EQ(Names(), u"BCDEA");
}

TEST_F(LayerRowsTest, ARenameKeepsSixtyThreeUnitsAndNeverHalfAPair) {
  const std::u16string pair = u"\U0001F600";  // two units
  struct Case {
    std::u16string typed;
    std::u16string kept;  // empty: nothing changes
  };
  const Case cases[] = {
      {std::u16string(63, u'n'), std::u16string(63, u'n')},
      {std::u16string(70, u'm'), std::u16string(63, u'm')},
      {std::u16string(62, u'p') + pair, std::u16string(62, u'p')},  // the pair would be cut: it goes whole
      {std::u16string(61, u'q') + pair, std::u16string(61, u'q') + pair},
      {u"", u""},
  };
  for (const Case& c : cases) {
    list->GetLayer(1)->SetName(u"B");
    const UINT steps = Steps();
    EXPECT_EQ(list->RenameLayer(1, c.typed), !c.kept.empty());
    EXPECT_EQ(list->GetLayer(1)->GetName(), c.kept.empty() ? u"B" : c.kept);
    EXPECT_EQ(Steps(), steps + (c.kept.empty() ? 0 : 1));
  }
  list->GetLayer(1)->SetName(u"B");
  EXPECT_FALSE(list->RenameLayer(1, u"B")) << "the same text records nothing";
  EXPECT_TRUE(list->RenameLayer(1, u"山丘"));
  EXPECT_EQ(LastLabel(), u"名称");
  space->Undo(1);
  EXPECT_EQ(std::u16string(list->GetLayer(1)->GetName()), u"B");
  space->Redo(1);
  EXPECT_EQ(std::u16string(list->GetLayer(1)->GetName()), u"山丘");
}

TEST_F(LayerRowsTest, AMaskLayersColourIsAStepAColourLayerHasNone) {
  list->SetCurSelect(1);
  const uint32_t old = list->GetLayer(1)->GetColor(nullptr, nullptr);
  list->SetCurLayerColor(RGB(10, 200, 30));
  EXPECT_EQ(list->GetLayer(1)->GetColor(nullptr, nullptr) & 0xFFFFFF, uint32_t(RGB(10, 200, 30)));
  EXPECT_EQ(LastLabel(), u"颜色");
  space->Undo(1);
  EXPECT_EQ(list->GetLayer(1)->GetColor(nullptr, nullptr), old);
  list->SetCurSelect(2);
  list->SetCurLayerColor(RGB(1, 2, 3));
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
}

TEST_F(LayerRowsTest, ThePropertyPagesEditsAreStepsAndOutOfOrderCallsFail) {
  list->SetCurSelect(2);
  auto* set = static_cast<OProperty*>(list->GetLayer(2)->GetInterface(u"OProperty"));
  ASSERT_TRUE(set);
  UINT index = 0;
  PropertyItem* alpha = set->FindByName(&index, u"ALPHA");
  ASSERT_TRUE(alpha);
  const int32_t before = alpha->value;
  const int32_t after = before == alpha->minimum ? alpha->maximum : alpha->minimum;
  XModifyNotify* notify = list->GetModifyNotify();
  EXPECT_EQ(notify, list->GetModifyNotify());

  EXPECT_EQ(ThrownCondition([&] { notify->Modifying(alpha); }), u"!m_myState==myMODIFING");
  EXPECT_EQ(ThrownCondition([&] { notify->EndModify(alpha, FALSE); }), u"!m_myState==myMODIFING");
  notify->BeginModify(alpha, index, set);
  EXPECT_EQ(ThrownCondition([&] { notify->BeginModify(alpha, index, set); }), u"!m_myState==myMODIFYEND");
  set->SetValue(index, after);
  notify->EndModify(set->GetItem(index), FALSE);
  EXPECT_EQ(LastLabel(), u"属性");
  EXPECT_EQ(Steps(), 1u);
  space->Undo(1);
  EXPECT_EQ(set->GetItem(index)->value, before);
  space->Redo(1);
  EXPECT_EQ(set->GetItem(index)->value, after);

  // A cancelled edit and one that leaves the value write nothing.
  notify->BeginModify(set->GetItem(index), index, set);
  notify->EndModify(set->GetItem(index), TRUE);
  notify->BeginModify(set->GetItem(index), index, set);
  notify->EndModify(set->GetItem(index), FALSE);
  EXPECT_EQ(Steps(), 1u);

  // The selection moved away during the edit: the set is not the current layer's.
  notify->BeginModify(set->GetItem(index), index, set);
  set->SetValue(index, before);
  list->SetCurSelect(4);
  EXPECT_EQ(ThrownCondition([&] { notify->EndModify(set->GetItem(index), FALSE); }), u"!poProperty==m_poProperty");
  notify->BeginModify(set->GetItem(index), index, set);  // the state went back all the same
  notify->EndModify(set->GetItem(index), TRUE);
}

}  // namespace

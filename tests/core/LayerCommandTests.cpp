// The layer commands and the row records on a headless paint space: each command's change,
// then undo, redo and undo again back to bit-identical rows, also with every large step
// swapped out to a file and read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ScriptedLayerAsk.h"
#include "ToolFixture.h"
#include "core/DataBlocks.h"
#include "odata/LayerRecordHeader.h"
#include "odata/OProperty.h"
#include "panels/LayerUndoType.h"
#include "tools/OperDefault.h"

namespace {

// What the list told the user.
struct Messages final : ILayerListObserver {
  std::vector<std::u16string> texts;
  void OnMessage(const char16_t* text) override { texts.push_back(text); }
};

// Everything a row holds that an undo must bring back.
struct RowState {
  UINT id;
  uint32_t flags;
  std::u16string name;
  int format;
  RECT rect;
  uint32_t colour;  // as GetColor shows it, the opacity on top
  uint32_t stored;  // as the saved record holds it
  std::vector<int32_t> properties;
  std::vector<BYTE> pixels;
  bool operator==(const RowState& o) const {
    return id == o.id && flags == o.flags && name == o.name && format == o.format && rect.left == o.rect.left &&
           rect.top == o.rect.top && rect.right == o.rect.right && rect.bottom == o.rect.bottom && colour == o.colour &&
           stored == o.stored && properties == o.properties && pixels == o.pixels;
  }
};

std::string Describe(const std::vector<RowState>& rows) {
  std::string s;
  for (const RowState& r : rows)
    s += "[id " + std::to_string(r.id) + " f" + std::to_string(r.format) + " " + std::to_string(r.rect.left) + "," +
         std::to_string(r.rect.top) + "," + std::to_string(r.rect.right) + "," + std::to_string(r.rect.bottom) +
         " flags " + std::to_string(r.flags) + "]";
  return s;
}

// The colour field of the layer's saved record.
uint32_t StoredColour(OLayer* layer) {
  GCompRef<OData> record(layer->Backup(nullptr));
  BYTE head[LayerRecordHeader::kBytes];
  record->Rewind();
  record->Read(head, sizeof head);
  return LayerRecordHeader::Parse(head).dwColor;
}

// A runner that asks the job to stop before it starts: the job ends cancelled.
class CancellingRunner final : public CJobRunner {
 public:
  int32_t Run(OWorker* worker, JobRecord* job, const char16_t*, int total, uint32_t* flags) override {
    ++runs;
    JobControl control;
    control.total = total;
    control.flags = JOB_ABORT;
    int32_t result = 0;
    if (worker->Launch(job, &control)) {
      worker->Wait(FALSE);
      result = job->result;
    }
    if (flags) *flags = control.flags;
    return result;
  }
  int runs = 0;
};

struct Layer {
  int w, h, format;
  UINT id;
  int x, y;
  uint32_t flags;
  const char16_t* name;
  bool mask;  // the "MASK" property set
};

class LayerCommandTest : public ToolFixture {
 public:
  void SetUp() override {
    Init(90, 70, new COperDefault());
    list->SetAsk(&ask);
    list->SetClipboard(&clipboard);
    list->SetObserver(&messages);
  }
  void TearDown() override {
    clipboard.Clear();
    ToolFixture::TearDown();
  }

  // Rows from the top; each layer's pixels from its ID, scaled by `scale`.
  void Rows(std::initializer_list<Layer> layers, int scale = 1) {
    for (const Layer& s : layers) {
      GCompRef<OLayer> l = NewLayer(s.w * scale, s.h * scale, s.format, s.id);
      l->SetPosition(s.x * scale, s.y * scale, FALSE);
      l->SetFlags(s.flags);
      l->SetName(s.name);
      l->SetColor(0x203040u * s.id);
      if (s.mask) {
        auto* set = static_cast<OProperty*>(l->GetInterface(u"OProperty"));
        UINT at = 0;
        ASSERT_TRUE(set->FindByName(&at, u"MASK"));
        set->SetValue(at, 1);
      }
      LayerLock lock;
      ASSERT_TRUE(lock.Lock(l, 0));
      for (int y = 0; y < lock.nHeight; ++y)
        for (int i = 0; i < lock.nWidth * lock.nPixelSize; ++i)
          lock.Row(y)[i] = BYTE((s.id * 2654435761u + uint32_t(i) * 31 + uint32_t(y) * 17) >> 5);
      lock.Unlock();
      l->MipRefresh(nullptr);
      list->AddLayer(-1, l);
    }
  }

  // Both stores empty and the rows as given, one of them selected.
  void StartFrom(std::initializer_list<Layer> rows, int select, int scale = 1) {
    Undos()->Clear();
    Redos()->Clear();
    while (list->GetCount()) list->DelLayer(0);
    Rows(rows, scale);
    list->SetCurSelect(select);
  }

  std::vector<RowState> Snap() {
    std::vector<RowState> rows;
    for (int i = 0; i < list->GetCount(); ++i) {
      OLayer* l = list->GetLayer(i);
      RowState r{l->GetID(),    l->GetFlags(), l->GetName(), l->GetFormat(), {}, l->GetColor(nullptr, nullptr),
                 StoredColour(l), {},           {}};
      l->GetRect(&r.rect);
      auto* set = static_cast<OProperty*>(l->GetInterface(u"OProperty"));
      for (UINT k = 0; set && k < set->GetCount(); ++k) r.properties.push_back(set->GetItem(k)->value);
      LayerLock lock;
      EXPECT_TRUE(lock.Lock(l, 0));
      for (int y = 0; y < lock.nHeight; ++y)
        r.pixels.insert(r.pixels.end(), lock.Row(y), lock.Row(y) + size_t(lock.nWidth) * size_t(lock.nPixelSize));
      rows.push_back(std::move(r));
    }
    return rows;
  }

  CPaintSpace* Space() { return space.get(); }
  OUndoRecorder* Undos() { return space->GetUndoStore(); }
  OUndoRecorder* Redos() { return space->GetRedoStore(); }

  // A step without data on top of a store, so that the step below it may be swapped out.
  void PushFiller(OUndoRecorder* store, bool redoSide) {
    GCompRef<GText> label = GNewText(u"");
    store->Begin(list->GetUndoHandler(redoSide), LYR_UNDO_CREATE2, label);
    store->End(FALSE);
  }
  // Swaps out every step below the top that is large enough.
  void SwapBelowTop(OUndoRecorder* store) {
    store->SetLimits(SPACE_UNDO_DEPTH, 0);
    store->ManageMemoryFile(u"qvtest");
  }

  // Every file in the stores' folder: the space's flush thread may swap a step out under its
  // own prefix before the test's call does.
  int SwapFiles() {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(plat::ToUtf8(folder))) n += e.is_regular_file();
    return n;
  }

  ScriptedLayerAsk ask;
  int swapFiles = 0;  // swap files seen before the undos and redos
  LayerClipboard clipboard;
  Messages messages;
};

// The rows the cases start from, at scale 1 (positions and sizes grow with the scale).
const std::initializer_list<Layer> kMixed = {
    {37, 23, OLayer::myFORMAT_C32, 3, -5, 7, 0, u"top", false},
    {29, 41, OLayer::myFORMAT_A16, 1, 10, -3, LYR_FLAG_PROTECT, u"middle", false},
    {50, 31, OLayer::myFORMAT_C32, 2, 0, 0, LYR_FLAG_HIDDEN, u"base", false},
};
const std::initializer_list<Layer> kMask = {
    {33, 17, OLayer::myFORMAT_C32, 1, -4, 5, 0, u"colour", false},
    {33, 17, OLayer::myFORMAT_A16, 2, -4, 5, 0, u"mask", true},
    {21, 19, OLayer::myFORMAT_A16, 3, 3, 3, 0, u"other", false},
};
const std::initializer_list<Layer> kNest = {
    {21, 13, OLayer::myFORMAT_A16, 5, -3, 2, LYR_FLAG_NEST, u"nest a", false},
    {19, 11, OLayer::myFORMAT_C32, 6, 4, 4, LYR_FLAG_NEST | LYR_FLAG_HIDDEN, u"nest b", false},
    {70, 45, OLayer::myFORMAT_C32, 7, -2, -1, 0, u"base", false},
};
const std::initializer_list<Layer> kSource = {
    {25, 15, OLayer::myFORMAT_A16, 4, -1, 3, LYR_FLAG_SOURCE, u"regions", false},
    {40, 30, OLayer::myFORMAT_C32, 8, 0, 0, 0, u"paint", false},
};

struct Case {
  const char* name;
  std::initializer_list<Layer> rows;
  int select;
  bool large;  // a step holds a whole layer: large enough to be swapped at the swap test's scale
  std::function<void(LayerCommandTest&, CMyListLayer*, ScriptedLayerAsk&)> act;
};

const Case kCases[] = {
    {"create colour layer", kMixed, 1, false,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk& a) {
       a.newLayers.push_back({1, u"新的", 31, 19});
       l->OnTbvcLyrAdd();
     }},
    {"create mask layer", kMixed, 2, false,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk& a) {
       a.newLayers.push_back({2, u"", 7, 9});
       l->OnTbvcLyrAdd();
     }},
    {"delete a middle row", kMixed, 1, true,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk&) { l->OnTbvcLyrDel(); }},
    {"delete the last row", kMixed, 2, true,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk&) { l->OnTbvcLyrDel(); }},
    {"reorder", kMixed, 0, false,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk&) {
       const UINT id = l->GetLayer(0)->GetID();
       ASSERT_TRUE(l->MoveItemDataPtr(2, 0));
       l->WriteStep(LYR_UNDO_ORDER, u"排序", {NewBlock(128, {2, 0, id})});
     }},
    {"plain merge", kMixed, 0, true,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk& a) {
       a.merges.push_back(LYR_MERGE_PLAIN);
       l->OnTbvcLyrMerge();
     }},
    {"plain merge of a mask onto a colour layer", kMixed, 1, true,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk& a) {
       a.merges.push_back(LYR_MERGE_PLAIN);
       l->OnTbvcLyrMerge();
     }},
    {"mask merge", kMask, 0, true, [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk&) { l->OnTbvcLyrMerge(); }},
    {"nested merge", kNest, 0, true,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk& a) {
       a.merges.push_back(LYR_MERGE_NEST);
       l->OnTbvcLyrMerge();
     }},
    {"cut", kMixed, 1, true, [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk&) { l->OnEditCut(); }},
    {"copy and paste", kMixed, 2, true,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk&) {
       l->OnEditCopy();
       l->OnEditPaste();
     }},
    {"cut and paste", kMask, 1, true,
     [](LayerCommandTest& t, CMyListLayer* l, ScriptedLayerAsk&) {
       l->OnEditCut();
       l->OnEditPaste();
       // Two steps: the paste's undo first, then the cut's.
       ASSERT_EQ(t.Undos()->GetStepCount(), 2u);
     }},
    {"partition mask", kSource, 1, false,
     [](LayerCommandTest&, CMyListLayer* l, ScriptedLayerAsk&) {
       int row = -1;
       ASSERT_TRUE(l->GetDestLayerByColor(0x0000F0, &row));
       EXPECT_EQ(row, 1);
     }},
};

// Each command changes the rows; undo, redo and undo again give back exactly the rows before
// and after. With swap set, every step below the top is swapped out to a file first, so
// that each record is read back from its file.
void RunCase(LayerCommandTest& t, CMyListLayer* list, ScriptedLayerAsk& ask, const Case& c, bool swap) {
  const std::vector<RowState> before = t.Snap();
  c.act(t, list, ask);
  const std::vector<RowState> after = t.Snap();
  ASSERT_FALSE(after == before) << "nothing changed";
  const UINT steps = t.Undos()->GetStepCount();
  ASSERT_GE(steps, 1u);

  auto undo = [&](bool redo) {
    OUndoRecorder* from = redo ? t.Redos() : t.Undos();
    if (swap) {
      t.PushFiller(from, redo);
      t.SwapBelowTop(from);
      t.swapFiles += t.SwapFiles();
      redo ? t.Space()->Redo(int(steps) + 1) : t.Space()->Undo(int(steps) + 1);
    } else {
      redo ? t.Space()->Redo(int(steps)) : t.Space()->Undo(int(steps));
    }
    EXPECT_EQ(from->GetStepCount(), 0u);
  };
  undo(false);
  EXPECT_TRUE(t.Snap() == before) << Describe(t.Snap()) << " != " << Describe(before);
  undo(true);
  EXPECT_TRUE(t.Snap() == after) << Describe(t.Snap()) << " != " << Describe(after);
  undo(false);
  EXPECT_TRUE(t.Snap() == before) << Describe(t.Snap()) << " != " << Describe(before);
  EXPECT_TRUE(list->VerifyUniqueID());
}

TEST_F(LayerCommandTest, EachCommandUndoesAndRedoesToIdenticalRows) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartFrom(c.rows, c.select);
    RunCase(*this, list.get(), ask, c, false);
  }
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

TEST_F(LayerCommandTest, RecordsReadBackFromSwapFilesUndoAndRedoAlike) {
  static_cast<XUndoRecorder*>(Undos())->SetSwapFolder(folder + u"/");
  static_cast<XUndoRecorder*>(Redos())->SetSwapFolder(folder + u"/");
  // Large enough that each layer's backup is swapped.
  constexpr int kScale = 45;
  space->SetSpaceSize(90 * kScale, 70 * kScale);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartFrom(c.rows, c.select, kScale);
    const int seen = swapFiles;
    RunCase(*this, list.get(), ask, c, true);
    if (c.large) {
      EXPECT_GT(swapFiles, seen) << "no step was swapped";
    }
  }
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

// Delete and the merges keep the layers that leave the rows in the step: the undo, also after
// a redo, puts those very layers back rather than copies rebuilt from their pixels.
TEST_F(LayerCommandTest, TheLayersThatLeftTheRowsThemselvesComeBack) {
  for (const Case& c : kCases) {
    const std::string name = c.name;
    if (name.rfind("delete", 0) != 0 && name.find("merge") == std::string::npos) continue;
    SCOPED_TRACE(c.name);
    StartFrom(c.rows, c.select);
    std::vector<GCompRef<OLayer>> before;
    for (int i = 0; i < list->GetCount(); ++i) before.emplace_back(list->GetLayer(i));
    c.act(*this, list.get(), ask);
    ASSERT_NE(list->GetCount(), int(before.size()));
    for (int pass = 0; pass < 2; ++pass) {
      space->Undo(1);
      ASSERT_EQ(list->GetCount(), int(before.size()));
      for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(list->GetLayer(int(i)), before[i].get()) << i;
      if (pass == 0) space->Redo(1);
    }
  }
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

// Another program cuts a swapped step's file short: undoing everything undoes the newer
// steps, stops at that one, drops it with the older ones and says so once; redo and undo
// then move between the states that are left.
TEST_F(LayerCommandTest, AnUnreadableSwapFileEndsTheUndoThereAndSaysSoOnce) {
  RecordingShell shell;
  win.shell = &shell;
  static_cast<XUndoRecorder*>(Undos())->SetSwapFolder(folder + u"/");
  static_cast<XUndoRecorder*>(Redos())->SetSwapFolder(folder + u"/");
  constexpr int kScale = 45;  // the deleted layer's backup is swapped
  space->SetSpaceSize(90 * kScale, 70 * kScale);
  Rows(kMixed, kScale);
  list->SetCurSelect(0);
  ASSERT_TRUE(list->RenameLayer(0, u"older"));  // behind the lost step
  list->OnTbvcLyrDel();                          // the step whose file is cut
  const std::vector<RowState> deleted = Snap();
  ASSERT_TRUE(list->RenameLayer(0, u"newer"));
  ASSERT_TRUE(list->RenameLayer(0, u"newest"));
  const std::vector<RowState> newest = Snap();
  ASSERT_EQ(Undos()->GetStepCount(), 4u);

  SwapBelowTop(Undos());
  // The space's flush thread may be the one writing the file: cut it only once written,
  // or the rest of the write lands past the cut.
  auto* recorder = static_cast<XUndoRecorder*>(Undos());
  for (int i = 0; i < 500 && recorder->IsMovingAStep(); ++i) plat::Sleep(10);
  ASSERT_FALSE(recorder->IsMovingAStep());
  ASSERT_EQ(SwapFiles(), 1);
  for (const auto& e : std::filesystem::directory_iterator(plat::ToUtf8(folder)))
    std::filesystem::resize_file(e.path(), 100);

  space->Undo(4);
  EXPECT_TRUE(Snap() == deleted) << Describe(Snap());
  EXPECT_EQ(Undos()->GetStepCount(), 0u);
  EXPECT_EQ(Undos()->GetLostSteps(), 2u);
  ASSERT_EQ(shell.statuses.size(), 1u);
  EXPECT_NE(shell.statuses[0].find(u"交换文件"), std::u16string::npos);
  EXPECT_EQ(SwapFiles(), 0) << "the cut file went with its step";
  space->Undo(1);
  EXPECT_EQ(shell.statuses.size(), 1u) << "said once";

  ASSERT_EQ(Redos()->GetStepCount(), 2u);
  space->Redo(2);
  EXPECT_TRUE(Snap() == newest);
  space->Undo(2);
  EXPECT_TRUE(Snap() == deleted);
  EXPECT_EQ(shell.statuses.size(), 1u);
  EXPECT_EQ(sys.ErrorCount(), 0u);
  win.shell = nullptr;
}

}  // namespace

namespace {

std::vector<UINT> Ids(CMyListLayer* list) {
  std::vector<UINT> ids;
  for (int i = 0; i < list->GetCount(); ++i) ids.push_back(list->GetLayer(i)->GetID());
  return ids;
}

TEST_F(LayerCommandTest, MergeOptionsFollowTheRowsBelowTheSelection) {
  struct OptionCase {
    const char* name;
    std::initializer_list<Layer> rows;
    int select;
    int options;
  };
  const OptionCase cases[] = {
      {"nothing selected", kMixed, -1, 0},
      {"the last row", kMixed, 2, 0},
      {"a row above another", kMixed, 0, LYR_MERGE_PLAIN},
      {"colour over a mask of its rectangle", kMask, 0, LYR_MERGE_PLAIN | LYR_MERGE_MASK},
      {"mask over a mask", kMask, 1, LYR_MERGE_PLAIN},
      {"colour over a mask elsewhere",
       {{33, 17, OLayer::myFORMAT_C32, 1, -4, 5, 0, u"", false},
        {33, 17, OLayer::myFORMAT_A16, 2, -3, 5, 0, u"", true}},
       0,
       LYR_MERGE_PLAIN},
      {"colour over a mask without the MASK property",
       {{33, 17, OLayer::myFORMAT_C32, 1, -4, 5, 0, u"", false},
        {33, 17, OLayer::myFORMAT_A16, 2, -4, 5, 0, u"", false}},
       0,
       LYR_MERGE_PLAIN},
      {"nested rows over a colour layer", kNest, 0, LYR_MERGE_PLAIN | LYR_MERGE_NEST},
      {"the last nested row", kNest, 1, LYR_MERGE_PLAIN | LYR_MERGE_NEST},
      {"nested rows over a mask layer",
       {{9, 9, OLayer::myFORMAT_C32, 1, 0, 0, LYR_FLAG_NEST, u"", false},
        {9, 9, OLayer::myFORMAT_A16, 2, 0, 0, 0, u"", false}},
       0,
       LYR_MERGE_PLAIN},
      {"nested rows down to the end",
       {{9, 9, OLayer::myFORMAT_C32, 1, 0, 0, 0, u"", false},
        {9, 9, OLayer::myFORMAT_C32, 2, 0, 0, LYR_FLAG_NEST, u"", false}},
       1,
       0},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    while (list->GetCount()) list->DelLayer(0);
    Rows(c.rows);
    list->SetCurSelect(c.select);
    EXPECT_EQ(list->GetMergeOptions(), c.options);
  }
}

TEST_F(LayerCommandTest, CancelledMergeDialogChangesNothingAndKeepsTheTool) {
  Rows(kNest);
  list->SetCurSelect(0);
  COperation* tool = space->GetCurOperator();
  const std::vector<RowState> before = Snap();
  clipboard.cpData = GNewData(16);
  list->OnTbvcLyrMerge();
  EXPECT_EQ(ask.asked, std::vector<std::u16string>{u"merge 5"});
  EXPECT_TRUE(Snap() == before);
  EXPECT_EQ(Undos()->GetStepCount(), 0u);
  EXPECT_EQ(space->GetCurOperator(), tool);
  EXPECT_TRUE(list->IsRedraw());
  EXPECT_FALSE(clipboard.HasLayer()) << "merge down frees the clipboard first";
}

TEST_F(LayerCommandTest, AFailedPlainMergeLeavesTheRowsTheRedrawAndTheTool) {
  Rows(kMixed);
  list->SetCurSelect(0);
  COperation* tool = space->GetCurOperator();
  const std::vector<RowState> before = Snap();
  const std::vector<UINT> ids = Ids(list.get());
  ask.merges.push_back(LYR_MERGE_PLAIN);
  {
    // A locked upper layer cannot be read: the merge fails on its way.
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(list->GetLayer(0), 0));
    EXPECT_EQ(ThrownCondition([&] { list->OnTbvcLyrMerge(); }), u"!m_myState==myREADY");
  }
  EXPECT_EQ(Ids(list.get()), ids);
  EXPECT_TRUE(Snap() == before);
  EXPECT_EQ(Undos()->GetStepCount(), 0u);
  EXPECT_TRUE(list->IsRedraw());
  EXPECT_EQ(space->GetCurOperator(), tool);
}

TEST_F(LayerCommandTest, PlainMergeCoversBothRectanglesWithTheLowerLayersIdentity) {
  Rows({{50, 50, OLayer::myFORMAT_C32, 4, 200, 200, 0, u"upper", false},
        {100, 100, OLayer::myFORMAT_A16, 9, 0, 0, LYR_FLAG_PROTECT, u"lower", false}});
  list->SetCurSelect(0);
  ask.merges.push_back(LYR_MERGE_PLAIN);
  list->OnTbvcLyrMerge();
  ASSERT_EQ(list->GetCount(), 1);
  OLayer* merged = list->GetLayer(0);
  RECT r;
  merged->GetRect(&r);
  EXPECT_EQ(std::vector<int>({int(r.left), int(r.top), int(r.right), int(r.bottom)}),
            std::vector<int>({0, 0, 250, 250}));
  EXPECT_EQ(merged->GetFormat(), OLayer::myFORMAT_C32);
  EXPECT_EQ(merged->GetID(), 9u);
  EXPECT_EQ(std::u16string(merged->GetName()), u"lower");
  EXPECT_EQ(merged->GetFlags(), LYR_FLAG_PROTECT);
  EXPECT_EQ(list->GetCurSel(), 0);
}

TEST_F(LayerCommandTest, DeleteSelectsTheRowThatTookItsPlace) {
  Rows(kMixed);
  list->SetCurSelect(2);
  list->OnTbvcLyrDel();
  EXPECT_EQ(list->GetCurSel(), 1);
  list->SetCurSelect(0);
  list->OnTbvcLyrDel();
  EXPECT_EQ(list->GetCurSel(), 0);
  list->OnTbvcLyrDel();
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(list->GetCurSel(), -1);
  list->OnTbvcLyrDel();  // nothing selected: nothing happens
  EXPECT_EQ(Undos()->GetStepCount(), 3u);
  space->Undo(3);
  EXPECT_EQ(Ids(list.get()), std::vector<UINT>({3, 1, 2}));
}

TEST_F(LayerCommandTest, PasteNamesTheLayerAndPastesOnce) {
  struct NameCase {
    const char16_t* name;
    const char16_t* pasted;
  };
  const NameCase cases[] = {{u"sky", u"sky_"},
                            {u"sky_", u"sky_"},
                            {u"base_2_x", u"base_2_"},
                            {u"_lead", u"_lead_"},
                            {u"abcdefghijklmnopqrst", u"abcdefghijklmnop_"},
                            // A character of two units across the cut goes whole.
                            {u"abcdefghijklmno\U0001F600z", u"abcdefghijklmno_"},
                            {u"abcdefghijklmn\U0001F600z", u"abcdefghijklmn\U0001F600_"}};
  Rows({{13, 7, OLayer::myFORMAT_C32, 1, -2, 1, LYR_FLAG_SOURCE | LYR_FLAG_HIDDEN, u"", false}});
  list->SetCurSelect(0);
  for (const NameCase& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.name));
    list->GetLayer(list->GetCount() - 1)->SetName(c.name);
    list->SetCurSelect(list->GetCount() - 1);
    list->OnEditCopy();
    ASSERT_TRUE(clipboard.HasLayer());
    EXPECT_EQ(clipboard.info.nWidth, 13);
    EXPECT_EQ(clipboard.info.nPixelSize, 4);
    list->OnEditPaste();
    EXPECT_FALSE(clipboard.HasLayer());
    OLayer* pasted = list->GetLayer(0);
    EXPECT_EQ(std::u16string(pasted->GetName()), c.pasted);
    EXPECT_EQ(pasted->GetFlags(), 0u);
    EXPECT_EQ(list->GetCurSel(), 0);
    EXPECT_TRUE(list->VerifyUniqueID());
  }
  const int rows = list->GetCount();
  list->OnEditPaste();
  EXPECT_EQ(list->GetCount(), rows) << "the clipboard was emptied by the paste";
}

TEST_F(LayerCommandTest, FiftyRowsRefuseThePasteAndEmptyTheClipboard) {
  for (UINT id = 1; id <= 50; ++id) Rows({{3, 2, OLayer::myFORMAT_A16, id, 0, 0, 0, u"", false}});
  list->SetCurSelect(4);
  list->OnEditCopy();
  ASSERT_TRUE(clipboard.HasLayer());
  list->OnEditPaste();
  EXPECT_EQ(messages.texts, std::vector<std::u16string>{u"容量不足"});
  EXPECT_FALSE(clipboard.HasLayer());
  EXPECT_EQ(list->GetCount(), 50);
  EXPECT_EQ(Undos()->GetStepCount(), 0u);
  // 49 rows: the paste goes through.
  list->DelLayer(0);
  list->OnEditCopy();
  list->OnEditPaste();
  EXPECT_EQ(list->GetCount(), 50);
}

TEST_F(LayerCommandTest, CancelledNestedRedoKeepsItsStepAndTheRows) {
  Rows(kNest);
  list->SetCurSelect(0);
  ask.merges.push_back(LYR_MERGE_NEST);
  list->OnTbvcLyrMerge();
  ASSERT_EQ(list->GetCount(), 1);
  const std::vector<RowState> merged = Snap();
  space->Undo(1);
  const std::vector<RowState> before = Snap();
  ASSERT_EQ(list->GetCount(), 3);

  CancellingRunner cancelling;
  ask.runner = &cancelling;
  space->Redo(1);
  EXPECT_EQ(cancelling.runs, 1);
  EXPECT_TRUE(Snap() == before) << "the base's blocks are put back";
  EXPECT_EQ(Redos()->GetStepCount(), 1u);
  EXPECT_EQ(Undos()->GetStepCount(), 0u);

  // A cancelled merge command leaves everything too.
  ask.merges.push_back(LYR_MERGE_NEST);
  list->OnTbvcLyrMerge();
  EXPECT_TRUE(Snap() == before);
  EXPECT_EQ(Redos()->GetStepCount(), 1u);

  ask.runner = nullptr;
  space->Redo(1);
  EXPECT_TRUE(Snap() == merged);
  EXPECT_EQ(Undos()->GetStepCount(), 1u);
}

TEST_F(LayerCommandTest, NestedMergeShowsTheNestedLayersOnlyInsideTheBase) {
  // A base with a transparent right half under an opaque nested colour layer covering it all.
  Rows({{8, 4, OLayer::myFORMAT_C32, 1, 0, 0, LYR_FLAG_NEST, u"nested", false},
        {8, 4, OLayer::myFORMAT_C32, 2, 0, 0, 0, u"base", false}});
  for (int row = 0; row < 2; ++row) {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(list->GetLayer(row), 0));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x)
        reinterpret_cast<uint32_t*>(lock.Row(y))[x] = row == 0 ? 0xFF0000FFu : (x < 4 ? 0xFF00FF00u : 0x0000FF00u);
  }
  list->SetCurSelect(0);
  ask.merges.push_back(LYR_MERGE_NEST);
  list->OnTbvcLyrMerge();
  ASSERT_EQ(list->GetCount(), 1);
  LayerLock lock;
  ASSERT_TRUE(lock.Lock(list->GetLayer(0), 0));
  const auto* px = reinterpret_cast<const uint32_t*>(lock.Row(2));
  EXPECT_EQ(px[1], 0xFF0000FFu) << "the nested layer inside the base";
  EXPECT_EQ(px[6] >> 24, 0u) << "the base's transparency stays";
}

TEST_F(LayerCommandTest, RecordsThatNoLongerMatchTheRowsChangeNothing) {
  struct Mismatch {
    const char* name;
    std::function<void(CMyListLayer*)> act;
    std::function<void(CMyListLayer*)> spoil;
    const char16_t* condition;
  };
  const Mismatch cases[] = {
      {"plain merge", [](CMyListLayer* l) { l->OnTbvcLyrMerge(); }, [](CMyListLayer* l) { l->GetLayer(0)->SetID(77); },
       u"!poLayerNew->GetID()==(UINT)nID2"},
      {"delete", [](CMyListLayer* l) { l->OnTbvcLyrDel(); },
       [](CMyListLayer* l) {
         for (int i = 0; i < 14; ++i) l->AddLayer(-1, l->GetShowDevice()->CreateLayer(2, 2, 2, UINT(100 + i)));
       },
       u"!nIndex==pOuter->InsertString(nIndex,_T(\"\"))"},
      {"paste",
       [](CMyListLayer* l) {
         l->OnEditCopy();
         l->OnEditPaste();
       },
       [](CMyListLayer* l) { l->MoveItemDataPtr(1, 0); }, u"!poLayer->GetID()==(UINT)nID"},
  };
  for (const Mismatch& c : cases) {
    SCOPED_TRACE(c.name);
    Undos()->Clear();
    while (list->GetCount()) list->DelLayer(0);
    Rows(kMixed);
    list->SetCurSelect(0);
    ask.merges.push_back(LYR_MERGE_PLAIN);
    c.act(list.get());
    c.spoil(list.get());
    if (std::string(c.name) == "delete") {
      // Sixty-four rows: the deleted layer has no place to come back to.
      while (list->GetCount() < LYR_MAX_SUM)
        list->AddLayer(-1, realDevice->CreateLayer(2, 2, 2, UINT(200 + list->GetCount())));
    }
    const std::vector<RowState> before = Snap();
    EXPECT_EQ(ThrownCondition([&] { space->Undo(1); }), c.condition);
    EXPECT_TRUE(Snap() == before);
  }
}

TEST_F(LayerCommandTest, PartitionLayersAreFoundByColourAndMadeBelowTheSource) {
  Rows({{20, 10, OLayer::myFORMAT_C32, 1, 0, 0, 0, u"paint", false},
        {25, 15, OLayer::myFORMAT_A16, 4, -1, 3, LYR_FLAG_SOURCE, u"regions", false},
        {40, 30, OLayer::myFORMAT_C32, 8, 0, 0, 0, u"other", false}});
  list->SetCurSelect(2);
  int row = -1;
  OLayer* first = list->GetDestLayerByColor(0x0000F0, &row);
  ASSERT_TRUE(first);
  EXPECT_EQ(row, 2);
  EXPECT_EQ(std::u16string(first->GetName()), u"regi_分区_");
  EXPECT_EQ(list->GetCurSel(), 3) << "the selected layer stays selected";
  EXPECT_EQ(list->GetDestLayerByColor(0x0000FE, &row), first);
  EXPECT_EQ(row, 2);
  OLayer* second = list->GetDestLayerByColor(0x000000, &row);
  EXPECT_NE(second, first);
  EXPECT_EQ(row, 2) << "below the source, above the first partition";
  EXPECT_EQ(Undos()->GetStepCount(), 2u);
  // The row selected when the masks were made is the row of a partition now: undo puts the
  // selection back on the layer that had it.
  space->Undo(2);
  EXPECT_EQ(Ids(list.get()), std::vector<UINT>({1, 4, 8}));
  EXPECT_EQ(list->GetCurSel(), 2);
  // Each redo on its own keeps that layer selected; the first puts a partition at the very row
  // it had.
  for (int step = 1; step <= 2; ++step) {
    space->Redo(1);
    EXPECT_EQ(list->GetCount(), 3 + step);
    EXPECT_EQ(list->GetCurLayer()->GetID(), 8u) << "redo " << step;
  }
  space->Undo(2);
  space->Redo(2);
  EXPECT_EQ(list->GetCount(), 5);
  EXPECT_EQ(list->GetCurLayer()->GetID(), 8u);
  // Not a mask as the source: refused loudly.
  list->GetLayer(0)->SetFlags(LYR_FLAG_SOURCE);
  EXPECT_EQ(ThrownCondition([&] { list->GetDestLayerByColor(0, &row); }),
            u"!pSrcLayer->GetFormat()==OLayer::myFORMAT_A16");
}

// A partition takes the source's first four units for its name, never half a character.
TEST_F(LayerCommandTest, PartitionNamesKeepCharactersWhole) {
  struct NameCase {
    const char16_t* source;
    const char16_t* partition;
  };
  const NameCase cases[] = {{u"abc\U0001F600", u"abc_分区_"},
                            {u"ab\U0001F600c", u"ab\U0001F600_分区_"},
                            {u"\U0001F600\U0001F600x", u"\U0001F600\U0001F600_分区_"},
                            {u"a\U0001F600\U0001F600", u"a\U0001F600_分区_"}};
  for (const NameCase& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.source));
    while (list->GetCount()) list->DelLayer(0);
    Rows({{25, 15, OLayer::myFORMAT_A16, 4, -1, 3, LYR_FLAG_SOURCE, c.source, false}});
    int row = -1;
    OLayer* made = list->GetDestLayerByColor(0x0000F0, &row);
    ASSERT_TRUE(made);
    EXPECT_EQ(std::u16string(made->GetName()), c.partition);
    // The same name finds the same layer again.
    EXPECT_EQ(list->GetDestLayerByColor(0x0000F0, &row), made);
  }
}

// The colour step and the partition step, done, undone and redone: every row's saved record
// holds the colour it held before the undo or after the step, not the opacity GetColor adds.
TEST_F(LayerCommandTest, ColourStepsLeaveTheSavedColourAsItWas) {
  struct ColourCase {
    const char* name;
    std::function<void()> step;
  };
  const ColourCase cases[] = {
      {"colour", [this] { list->SetCurLayerColor(0x00123456); }},
      {"partition", [this] { ASSERT_TRUE(list->GetDestLayerByColor(0x0000FF00, nullptr)); }},
  };
  for (const ColourCase& c : cases) {
    SCOPED_TRACE(c.name);
    Undos()->Clear();
    Redos()->Clear();
    while (list->GetCount()) list->DelLayer(0);
    Rows({{25, 15, OLayer::myFORMAT_A16, 4, -1, 3, LYR_FLAG_SOURCE, u"regions", false},
          {20, 10, OLayer::myFORMAT_C32, 1, 0, 0, 0, u"paint", false}});
    list->SetCurSelect(0);
    // An opacity that shows in GetColor's top byte.
    auto* set = static_cast<OProperty*>(list->GetLayer(0)->GetInterface(u"OProperty"));
    UINT alpha = 0;
    ASSERT_TRUE(set->FindByName(&alpha, u"ALPHA"));
    set->SetValue(alpha, 90);
    ASSERT_EQ(list->GetLayer(0)->GetColor(nullptr, nullptr) >> 24, 0xE5u);

    const std::vector<RowState> before = Snap();
    c.step();
    const std::vector<RowState> done = Snap();
    ASSERT_FALSE(done == before);
    for (int round = 0; round < 2; ++round) {
      space->Undo(1);
      EXPECT_TRUE(Snap() == before) << "undo " << round;
      space->Redo(1);
      EXPECT_TRUE(Snap() == done) << "redo " << round;
    }
    for (const RowState& r : done) EXPECT_EQ(r.stored >> 24, 0u) << "row " << r.id;
  }
}

TEST_F(LayerCommandTest, AddLayerAsksForTheSpaceSizeAndCentresTheLayer) {
  ask.newLayers.push_back({1, u"", 30, 20});
  ask.newLayers.push_back({0, u"", 0, 0});
  list->OnTbvcLyrAdd();
  EXPECT_EQ(ask.asked[0], u"new 新图层 90x70");
  ASSERT_EQ(list->GetCount(), 1);
  RECT r;
  list->GetLayer(0)->GetRect(&r);
  EXPECT_EQ(std::vector<int>({int(r.left), int(r.top), int(r.right), int(r.bottom)}),
            std::vector<int>({30, 25, 60, 45}));
  EXPECT_EQ(list->GetLayer(0)->GetFormat(), OLayer::myFORMAT_C32);
  list->OnTbvcLyrAdd();  // cancelled
  EXPECT_EQ(list->GetCount(), 1);
  EXPECT_EQ(Undos()->GetStepCount(), 1u);
}

}  // namespace

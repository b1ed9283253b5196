// The per-format layer operations through their menus, their undo records both ways (also
// through swap files), the Layer menu's commands and update-UI, and the source toggle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "MorvaneUtility.h"
#include "ScriptedLayerAsk.h"
#include "ToolFixture.h"
#include "common/Thrown.h"
#include "core/DataBlocks.h"
#include "frame/ResourceIds.h"
#include "odata/OProperty.h"
#include "panels/HeldLayerBlock.h"
#include "panels/LayerRecords.h"
#include "panels/LayerReshape.h"
#include "platform/base/Sync.h"
#include "platform/gui/Application.h"

namespace {

constexpr int A16 = OLayer::myFORMAT_A16;
constexpr int C32 = OLayer::myFORMAT_C32;

// ---- what is compared -------------------------------------------------------------------------

struct LayerState {
  UINT id;
  int format, width, height;
  int x, y, savedX, savedY;
  uint32_t flags;
  std::u16string name;
  uint32_t colour;
  int alpha, mode, mask;
  // Colour pixels whole; of a mask the coverage's high byte (the low byte is not part of the
  // image: it is cleared before a save and no operation reads it).
  std::vector<uint32_t> pixels;
  bool operator==(const LayerState&) const = default;
};

struct DocState {
  std::vector<LayerState> rows;
  int selected;
};

int Property(OLayer* l, const char16_t* key) {
  auto* set = static_cast<OProperty*>(l->GetInterface(u"OProperty"));
  UINT at = 0;
  PropertyItem* item = set ? set->FindByName(&at, key) : nullptr;
  return item ? item->value : -1;
}

LayerState StateOf(OLayer* l) {
  POINT at, saved;
  l->GetPosition(&at, FALSE);
  l->GetPosition(&saved, TRUE);
  LayerState s{l->GetID(), l->GetFormat(), l->GetWidth(),    l->GetHeight(),
               at.x,       at.y,           saved.x,          saved.y,
               l->GetFlags(), l->GetName(), l->GetColor(nullptr, nullptr), Property(l, u"ALPHA"),
               Property(l, u"MODE"), Property(l, u"MASK"), {}};
  LayerLock lock;
  EXPECT_TRUE(lock.Lock(l, 0));
  for (int y = 0; y < lock.nHeight; ++y)
    for (int x = 0; x < lock.nWidth; ++x)
      s.pixels.push_back(lock.nPixelSize == 4 ? reinterpret_cast<uint32_t*>(lock.Row(y))[x]
                                              : reinterpret_cast<uint16_t*>(lock.Row(y))[x] >> 8);
  return s;
}

// "" when the states are the same, else the first difference.
std::string Diff(const DocState& a, const DocState& b) {
  if (a.selected != b.selected) return "selection " + std::to_string(a.selected) + " / " + std::to_string(b.selected);
  if (a.rows.size() != b.rows.size())
    return "rows " + std::to_string(a.rows.size()) + " / " + std::to_string(b.rows.size());
  for (size_t i = 0; i < a.rows.size(); ++i) {
    const LayerState &x = a.rows[i], &y = b.rows[i];
    if (x == y) continue;
    std::string what = "row " + std::to_string(i) + ": ";
    if (x.id != y.id) return what + "ID " + std::to_string(x.id) + " / " + std::to_string(y.id);
    if (x.format != y.format || x.width != y.width || x.height != y.height) return what + "format or size";
    if (x.x != y.x || x.y != y.y || x.savedX != y.savedX || x.savedY != y.savedY)
      return what + "position (" + std::to_string(x.x) + "," + std::to_string(x.y) + ") / (" + std::to_string(y.x) +
             "," + std::to_string(y.y) + ")";
    if (x.flags != y.flags) return what + "flags " + std::to_string(x.flags) + " / " + std::to_string(y.flags);
    if (x.name != y.name || x.colour != y.colour) return what + "name or colour";
    if (x.alpha != y.alpha || x.mode != y.mode || x.mask != y.mask)
      return what + "ALPHA " + std::to_string(x.alpha) + " / " + std::to_string(y.alpha) + " or MODE or MASK";
    for (size_t p = 0; p < x.pixels.size(); ++p)
      if (x.pixels[p] != y.pixels[p]) return what + "pixel " + std::to_string(p);
  }
  return "";
}

// ---- the fixture's stand-ins ------------------------------------------------------------------

// The current tool: counts how often it was made current and left.
class IdleTool final : public COperation {
 public:
  UINT GetID() override { return ID_OPER_PAINT; }
  int Activate() override { return ++activated; }
  void Deactivate() override { ++deactivated; }
  int activated = 0, deactivated = 0;
};

struct Messages final : ILayerListObserver {
  std::vector<std::u16string> texts;
  void OnMessage(const char16_t* t) override { texts.push_back(t); }
};

// Runs jobs as the program does, but the user cancels as each begins; or throws.
class CancellingRunner final : public CJobRunner {
 public:
  int32_t Run(OWorker* worker, JobRecord* job, const char16_t* caption, int total, uint32_t* flags) override {
    captions.push_back(caption);
    if (fail) GTHROW(u"!runner");
    m_object = std::exchange(job->object, this);
    m_proc = std::exchange(job->proc, &Cancelled);
    return CHeadlessJobRunner().Run(worker, job, caption, total, flags);
  }
  std::vector<std::u16string> captions;
  bool fail = false;

 private:
  static int32_t Cancelled(void* self, JobRecord* job, JobControl* control) {
    control->flags |= JOB_ABORT;
    auto* runner = static_cast<CancellingRunner*>(self);
    return runner->m_proc(runner->m_object, job, control);
  }
  void* m_object = nullptr;
  JobProc m_proc = nullptr;
};

// An undo recorder whose every block goes out to a file and comes back as a new block of
// the same kind before the real recorder keeps it: every step is then executed from what a
// swap file held, never from the objects its writer made.
class SwappingRecorder final : public GComponent<OUndoRecorder> {
 public:
  static inline std::u16string folder;
  static inline int swapped = 0;

  void InitInstance() override {
    m_inner = static_cast<OUndoRecorder*>(
        GCreateComponent<XUndoRecorder>(GetSystem(), nullptr, nullptr)->GetInterface(u"OUndoRecorder"));
  }
  void Begin(OUndoHandler* owner, uint32_t tag, GText* label) override { m_inner->Begin(owner, tag, label); }
  size_t SetData(OData* data) override {
    if (!data) return m_inner->SetData(nullptr);
    GCompRef<OData> copy = ThroughFile(data);
    return m_inner->SetData(copy);
  }
  void SetObj(OBeing* obj) override { m_inner->SetObj(obj); }
  void End(BOOL newBranch) override { m_inner->End(newBranch); }
  UINT GetStepCount() override { return m_inner->GetStepCount(); }
  UINT CopyStepList(const char16_t** out, UINT n) override { return m_inner->CopyStepList(out, n); }
  void SetLimits(UINT maxSteps, UINT inMemory) override { m_inner->SetLimits(maxSteps, inMemory); }
  void ManageMemoryFile(const char16_t* prefix) override { m_inner->ManageMemoryFile(prefix); }
  void Clear() override { m_inner->Clear(); }
  void ResetCounter() override { m_inner->ResetCounter(); }
  int32_t GetCounter() override { return m_inner->GetCounter(); }
  UINT Undo(UINT steps, OUndoStore* opposite) override { return m_inner->Undo(steps, opposite); }
  UINT GetLostSteps() override { return m_inner->GetLostSteps(); }

 protected:
  void* FindInterface(const char16_t* name) override {
    if (plat::StrCmp(name, u"OUndoRecorder") == 0 || plat::StrCmp(name, u"OUndoStore") == 0)
      return static_cast<OUndoRecorder*>(this);
    return nullptr;
  }

 private:
  static GCompRef<OData> ThroughFile(OData* data) {
    const std::string path = plat::ToUtf8(folder) + "/qvswap" + std::to_string(++swapped);
    const UINT fragments = data->GetFragmentCount();
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_TRUE(f);
    if (fragments)
      for (UINT i = 0; i < fragments; ++i) std::fwrite(data->GetFragment(i), 1, NUVREL_FRAGMENT, f);
    else
      std::fwrite(data->GetBuffer(), 1, data->GetSize(), f);
    std::fclose(f);
    GCompRef<OData> copy = fragments ? static_cast<OData*>((new NuvrelFragmented())->Init(data->GetSize()))
                                     : GNewData(data->GetSize());
    f = std::fopen(path.c_str(), "rb");
    EXPECT_TRUE(f);
    if (fragments)
      for (UINT i = 0; i < fragments; ++i) EXPECT_EQ(std::fread(copy->GetFragment(i), 1, NUVREL_FRAGMENT, f), NUVREL_FRAGMENT);
    else
      EXPECT_EQ(std::fread(copy->GetBuffer(), 1, data->GetSize(), f), data->GetSize());
    std::fclose(f);
    std::remove(path.c_str());
    return copy;
  }
  GCompRef<OUndoRecorder> m_inner;
};

// ---- the fixture ------------------------------------------------------------------------------

class LayerFormat : public ToolFixture {
 protected:
  LayerFormat() { sys.Register(u"MorvaneUtility", GCreateComponent<MorvaneUtility>); }
  void TearDown() override {
    gui::SetMessageBoxAnswer(nullptr);
    ToolFixture::TearDown();
    EXPECT_EQ(sys.Entry(u"MorvaneUtility")->Refs(), 0);
  }

  // Every undo and redo store from now on goes through swap files.
  void SwapEveryStep() {
    FakeEntry* old = sys.Entry(u"XUndoRecorder");
    sys.Register(u"XUndoRecorder", GCreateComponent<SwappingRecorder>);
    delete old;
    SwappingRecorder::folder = folder;
    SwappingRecorder::swapped = 0;
  }

  // A fresh space over four layers of both formats, odd sizes and negative positions:
  // 0 colour (hidden), 1 mask (nested), 2 colour, 3 mask (the source).
  void Start() {
    space.reset();
    list = std::make_unique<CMyListLayer>(&sys, device.get());
    list->SetAsk(&ask);
    list->SetObserver(&messages);
    tool = new IdleTool();
    Init(400, 300, tool);
    Add(37, 23, C32, 3, -5, -7, LYR_FLAG_HIDDEN, 11);
    Add(29, 41, A16, 7, -13, 4, LYR_FLAG_NEST, 12);
    Add(17, 9, C32, 5, 3, -2, 0, 13);
    Add(11, 13, A16, 9, -1, -1, LYR_FLAG_SOURCE, 14);
  }
  // A layer appended with every pixel from the seed: colours of every alpha, mask coverage
  // with a clear low byte.
  OLayer* Add(int w, int h, int format, UINT id, int x, int y, uint32_t flags, uint32_t seed) {
    OLayer* l = AddLayer(w, h, format, id, x, y, 0);
    l->SetFlags(flags);
    l->SetName(format == C32 ? u"彩色" : u"单色");
    l->SetColor(0x203040 * seed);
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(l, 0));
    for (int row = 0; row < h; ++row)
      for (int col = 0; col < w; ++col) {
        const uint32_t v = (uint32_t(row * 131 + col) * 2654435761u) ^ (seed * 40503u);
        if (format == C32)
          reinterpret_cast<uint32_t*>(lock.Row(row))[col] = (v >> 3) ^ (v << 7);
        else
          reinterpret_cast<uint16_t*>(lock.Row(row))[col] = uint16_t((v >> 11) & 0xFF00);
      }
    lock.Unlock();
    l->MipRefresh(nullptr);
    return l;
  }

  DocState Snap() {
    DocState d{{}, list->GetCurSel()};
    for (int i = 0; i < list->GetCount(); ++i) d.rows.push_back(StateOf(list->GetLayer(i)));
    return d;
  }
  std::u16string TopLabel(OUndoRecorder* store) {
    const char16_t* label = nullptr;
    return store->CopyStepList(&label, 1) == 1 ? label : u"";
  }
  UINT Undos() { return space->GetUndoStore()->GetStepCount(); }
  UINT Redos() { return space->GetRedoStore()->GetStepCount(); }
  void Hit(int row) { list->GetAppendixMenu(list->GetCurLayer()->GetFormat())->OnHit(row); }
  // Every operation of the table, then undo, redo and undo again.
  void RunTable();

  ScriptedLayerAsk ask;
  Messages messages;
  IdleTool* tool = nullptr;
};

// One operation of the table: the row selected, what the dialogs answer, the menu row hit (-1:
// the source toggle) and the step's label.
struct Operation {
  const char* name;
  int row;
  std::function<void(ScriptedLayerAsk&, OLayer*)> prepare;
  int menuRow;
  const char16_t* label;
};

const Operation kOperations[] = {
    {"mask to colour", 1, {}, 0, u"转换"},
    {"colour to mask, brightness", 0, [](ScriptedLayerAsk& a, OLayer*) { a.converts = {0}; }, 0, u"转换"},
    {"colour to mask, transparency", 2, [](ScriptedLayerAsk& a, OLayer*) { a.converts = {1}; }, 0, u"转换"},
    {"clear colour", 0, {}, 1, u"清空/淡化"},
    {"fade colour", 2, [](ScriptedLayerAsk&, OLayer* l) { SetLayerAlpha(l, 40); }, 1, u"清空/淡化"},
    {"fade mask", 1, [](ScriptedLayerAsk&, OLayer* l) { SetLayerAlpha(l, 40); }, 1, u"清空/淡化"},
    {"invert mask", 1, {}, 2, u"反像"},
    {"invert colour", 0, {}, 2, u"反色"},
    {"flip mask", 3, {}, 3, u"水平翻转"},
    {"flip colour", 0, {}, 4, u"垂直翻转"},
    {"rotate colour 30", 0, [](ScriptedLayerAsk& a, OLayer*) { a.rotates = {{LYR_ROTATE_ANGLE, 30}}; }, 5, u"旋转"},
    {"rotate mask 359", 1, [](ScriptedLayerAsk& a, OLayer*) { a.rotates = {{LYR_ROTATE_ANGLE, 359}}; }, 5, u"旋转"},
    {"rotate colour 90", 0, [](ScriptedLayerAsk& a, OLayer*) { a.rotates = {{LYR_ROTATE_90, 0}}; }, 5, u"旋转>90"},
    {"rotate mask 270", 1, [](ScriptedLayerAsk& a, OLayer*) { a.rotates = {{LYR_ROTATE_270, 0}}; }, 5, u"旋转>270"},
    {"rotate colour 180", 2, [](ScriptedLayerAsk& a, OLayer*) { a.rotates = {{LYR_ROTATE_180, 0}}; }, 5, u"旋转>180"},
    {"scale colour up", 0, [](ScriptedLayerAsk& a, OLayer*) { a.scales = {{TRUE, 50, 31}}; }, 6, u"缩放"},
    {"scale mask down", 1, [](ScriptedLayerAsk& a, OLayer*) { a.scales = {{TRUE, 8, 17}}; }, 6, u"缩放"},
    {"mask from transparency", 2, {}, 7, u"蒙板"},
    {"mask becomes the source", 1, {}, -1, u"标记"},
};

// Each operation, then undo, redo and undo again: the undos give back the state before bit for
// bit, the redo the state after.
void LayerFormat::RunTable() {
  for (const Operation& op : kOperations) {
    SCOPED_TRACE(op.name);
    Start();
    list->SetCurSelect(op.row);
    if (op.prepare) op.prepare(ask, list->GetCurLayer());
    const DocState before = Snap();
    if (op.menuRow >= 0)
      Hit(op.menuRow);
    else
      list->SetCurLayerAsSource();
    ASSERT_EQ(Undos(), 1u);
    EXPECT_EQ(TopLabel(space->GetUndoStore()), op.label);
    EXPECT_EQ(Redos(), 0u);
    EXPECT_EQ(space->GetCurOperator(), tool) << "the tool is current again";
    const DocState after = Snap();
    ASSERT_NE(Diff(before, after), "") << "the operation changed nothing";
    if (op.menuRow >= 0) {
      // The row keeps its layer's identity and flags, whatever took its place.
      EXPECT_EQ(after.rows[size_t(op.row)].id, before.rows[size_t(op.row)].id);
      EXPECT_EQ(after.rows[size_t(op.row)].flags, before.rows[size_t(op.row)].flags);
    }

    space->Undo(1);
    EXPECT_EQ(Diff(before, Snap()), "") << "undo";
    EXPECT_EQ(Redos(), 1u);
    space->Redo(1);
    EXPECT_EQ(Diff(after, Snap()), "") << "redo";
    space->Undo(1);
    EXPECT_EQ(Diff(before, Snap()), "") << "undo again";
    EXPECT_EQ(Undos(), 0u);
    EXPECT_EQ(Redos(), 1u);
    EXPECT_EQ(sys.ErrorCount(), 0u);
    EXPECT_TRUE(ask.converts.empty() && ask.rotates.empty() && ask.scales.empty()) << "every answer used";
  }
}

TEST_F(LayerFormat, EveryOperationUndoesAndRedoesBitForBit) { RunTable(); }

TEST_F(LayerFormat, EveryOperationUndoesAndRedoesFromSwapFiles) {
  SwapEveryStep();
  RunTable();
  EXPECT_GT(SwappingRecorder::swapped, int(std::size(kOperations)) * 4);
}

// Rotate, scale and convert to a mask make a new layer: the step keeps the old one itself, and
// the undo puts that very layer back rather than a copy rebuilt from its pixels.
TEST_F(LayerFormat, TheReplacedLayerItselfComesBack) {
  const Operation* kept[] = {&kOperations[1], &kOperations[11], &kOperations[15]};
  for (const Operation* op : kept) {
    SCOPED_TRACE(op->name);
    Start();
    list->SetCurSelect(op->row);
    op->prepare(ask, list->GetCurLayer());
    OLayer* old = list->GetCurLayer();
    Hit(op->menuRow);
    ASSERT_NE(list->GetLayer(op->row), old);
    space->Undo(1);
    EXPECT_EQ(list->GetLayer(op->row), old);
  }
}

// The held block reads as the layer's backup, byte for byte and of the size it announced
// before its bytes were made; from then on it keeps the bytes and no longer the layer.
TEST_F(LayerFormat, AHeldLayerReadsAsItsBackup) {
  Start();
  for (int row = 0; row < list->GetCount(); ++row) {
    OLayer* layer = list->GetLayer(row);
    SCOPED_TRACE(row);
    GCompRef<OData> backup(layer->Backup(nullptr));
    GCompRef<OData> held(CHeldLayerBlock::Hold(layer));
    EXPECT_EQ(CHeldLayerBlock::HeldLayer(held), layer);
    EXPECT_EQ(CHeldLayerBlock::HeldLayer(backup), nullptr);
    ASSERT_EQ(held->GetSize(), backup->GetSize());
    ASSERT_EQ(held->GetFragmentCount(), backup->GetFragmentCount());
    EXPECT_EQ(CHeldLayerBlock::HeldLayer(held), nullptr);
    for (UINT i = 0; i < backup->GetFragmentCount(); ++i) {
      const size_t n = std::min(NUVREL_FRAGMENT, backup->GetSize() - size_t(i) * NUVREL_FRAGMENT);
      EXPECT_EQ(std::memcmp(held->GetFragment(i), backup->GetFragment(i), n), 0) << i;
    }
  }
}

// ---- the operations' own results ------------------------------------------------------------

TEST_F(LayerFormat, ClearEmptiesFadeKeepsItsShareAndUndoBringsAlphaBack) {
  Start();
  list->SetCurSelect(0);
  OLayer* l = list->GetCurLayer();
  const LayerState was = StateOf(l);
  Hit(1);  // ALPHA 100: clear
  for (uint32_t p : StateOf(l).pixels) ASSERT_EQ(p >> 24, 0u);
  space->Undo(1);
  SetLayerAlpha(list->GetCurLayer(), 40);
  Hit(1);
  const LayerState faded = StateOf(list->GetCurLayer());
  EXPECT_EQ(faded.alpha, 100);
  for (size_t i = 0; i < was.pixels.size(); ++i) {
    ASSERT_EQ(faded.pixels[i] >> 24, (was.pixels[i] >> 24) * 40 / 100) << i;
    ASSERT_EQ(faded.pixels[i] & 0xFFFFFF, was.pixels[i] & 0xFFFFFF) << i;
  }
  space->Undo(1);
  EXPECT_EQ(StateOf(list->GetCurLayer()).alpha, 40);
}

TEST_F(LayerFormat, AQuarterTurnCentresOnTheOldCentreTruncatingTowardZero) {
  Start();
  Add(101, 50, C32, 21, -120, -9, 0, 5);
  list->SetCurSelect(list->GetCount() - 1);
  ask.rotates = {{LYR_ROTATE_90, 0}};
  Hit(5);
  RECT r;
  list->GetCurLayer()->GetRect(&r);
  // Centre (-139 / 2, 32 / 2) = (-69, 16), toward zero; the halves 25 and 50 likewise.
  EXPECT_EQ(r.left, -94);
  EXPECT_EQ(r.top, -34);
  EXPECT_EQ(r.right - r.left, 50);
  EXPECT_EQ(r.bottom - r.top, 101);
  for (int i = 0; i < 3; ++i) {
    space->Undo(1);
    list->GetCurLayer()->GetRect(&r);
    EXPECT_EQ(r.left, -120);
    EXPECT_EQ(r.top, -9);
    space->Redo(1);
    list->GetCurLayer()->GetRect(&r);
    EXPECT_EQ(r.left, -94) << "no drift";
    EXPECT_EQ(r.top, -34);
  }
}

TEST_F(LayerFormat, TransparencyModeTakesTheAlphaAndTheMaskTakesANewID) {
  Start();
  list->SetCurSelect(2);
  const LayerState colour = StateOf(list->GetCurLayer());
  ask.converts = {1};
  Hit(0);
  const LayerState mask = StateOf(list->GetCurLayer());
  ASSERT_EQ(mask.format, A16);
  for (size_t i = 0; i < colour.pixels.size(); ++i) ASSERT_EQ(mask.pixels[i], colour.pixels[i] >> 24) << i;

  list->SetCurSelect(0);
  Hit(7);
  ASSERT_EQ(list->GetCount(), 5);
  OLayer* made = list->GetLayer(1);
  EXPECT_EQ(made->GetFormat(), A16);
  EXPECT_EQ(std::u16string(made->GetName()), u"蒙板");
  EXPECT_EQ(list->GetLayer(0)->GetID(), 3u);
  EXPECT_TRUE(list->VerifyUniqueID());
  EXPECT_EQ(list->GetCurSel(), 0);
}

TEST_F(LayerFormat, WhatChangesNothingWritesNoStep) {
  Start();
  struct Case {
    const char* name;
    int row, menuRow;
    std::function<void()> script;
  };
  const Case cases[] = {
      {"rotate by 0", 0, 5, [&] { ask.rotates = {{LYR_ROTATE_ANGLE, 0}}; }},
      {"rotate by 360", 0, 5, [&] { ask.rotates = {{LYR_ROTATE_ANGLE, 360}}; }},
      {"rotate cancelled", 1, 5, [&] { ask.rotates = {{0, 45}}; }},
      {"scale to the same size", 0, 6, [&] { ask.scales = {{TRUE, 37, 23}}; }},
      {"scale cancelled", 0, 6, [&] { ask.scales = {{FALSE, 50, 50}}; }},
      {"scale beyond the limit", 1, 6, [&] { ask.scales = {{TRUE, 10001, 5}}; }},
      {"convert cancelled", 0, 0, [&] { ask.converts = {-1}; }},
      {"the mask menu's eighth row", 1, 7, [] {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    list->SetCurSelect(c.row);
    c.script();
    const DocState before = Snap();
    Hit(c.menuRow);
    EXPECT_EQ(Diff(before, Snap()), "");
    EXPECT_EQ(Undos(), 0u);
    EXPECT_EQ(space->GetCurOperator(), tool);
  }
  // A colour layer is never the source: the toggle does nothing.
  list->SetCurSelect(0);
  list->SetCurLayerAsSource();
  EXPECT_EQ(Undos(), 0u);
}

TEST_F(LayerFormat, TheSourceMovesToTheMaskAndUndoGivesItBack) {
  Start();
  list->SetCurSelect(1);
  list->SetCurLayerAsSource();
  EXPECT_TRUE(list->GetLayer(1)->GetFlags() & LYR_FLAG_SOURCE);
  EXPECT_FALSE(list->GetLayer(3)->GetFlags() & LYR_FLAG_SOURCE);
  // Toggling the source again takes the mark away altogether.
  list->SetCurLayerAsSource();
  EXPECT_EQ(list->GetSourceLayer(), nullptr);
  space->Undo(2);
  EXPECT_EQ(list->GetSourceLayer(), list->GetLayer(3));
  EXPECT_FALSE(list->GetLayer(1)->GetFlags() & LYR_FLAG_SOURCE);
}

// ---- refusals, cancellations and failures ---------------------------------------------------------

TEST_F(LayerFormat, AProtectedLayerIsRefusedWithItsMessage) {
  Start();
  std::vector<std::u16string> shown;
  gui::SetMessageBoxAnswer([&](const char16_t* text, const char16_t*, UINT) {
    shown.push_back(text);
    return gui::IDOK;
  });
  list->SetCurSelect(0);
  list->GetCurLayer()->SetFlags(LYR_FLAG_PROTECT);
  const DocState before = Snap();
  ask.rotates = {{LYR_ROTATE_90, 0}};
  Hit(5);
  EXPECT_TRUE(list->OnCmdMsg(ID_LAYER_FLIP_H, nullptr));
  EXPECT_EQ(shown, (std::vector<std::u16string>{u"图层有写保护", u"图层有写保护"}));
  EXPECT_TRUE(ask.asked.empty());
  EXPECT_EQ(Diff(before, Snap()), "");
  EXPECT_EQ(Undos(), 0u);
}

TEST_F(LayerFormat, ARotationBeyondTheLimitIsRefusedBeforeTheMemoryCheck) {
  Start();
  // Turned by one degree, 10000 x 200 needs 10002 columns; 10000 x 80 needs 10000 exactly.
  Add(10000, 200, A16, 31, 0, 0, 0, 1);
  list->SetCurSelect(4);
  const DocState before = Snap();
  ask.rotates = {{LYR_ROTATE_ANGLE, 1}};
  Hit(5);
  EXPECT_EQ(messages.texts, std::vector<std::u16string>{u"旋转后的图层超出 10000 x 10000"});
  EXPECT_EQ(Diff(before, Snap()), "");
  EXPECT_EQ(Undos(), 0u);

  list->DelLayer(4);
  Add(10000, 80, A16, 31, 0, 0, 0, 1);
  list->SetCurSelect(4);
  ask.rotates = {{LYR_ROTATE_ANGLE, 1}};
  Hit(5);
  EXPECT_EQ(Undos(), 1u);
  EXPECT_EQ(list->GetCurLayer()->GetWidth(), 10000);
  EXPECT_EQ(messages.texts.size(), 1u);
}

TEST_F(LayerFormat, ACancelledJobLeavesTheLayerAndACancelledRedoLeavesTheStep) {
  struct Case {
    const char* name;
    int row;
    ScriptedLayerAsk::Rotate rotate;
    ScriptedLayerAsk::Size size;
    const char16_t* caption;
  };
  const Case cases[] = {
      {"rotate", 0, {LYR_ROTATE_ANGLE, 30}, {}, u"正在旋转..."},
      {"scale", 1, {}, {TRUE, 40, 60}, u"正在缩放..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    CancellingRunner cancel;
    list->SetCurSelect(c.row);
    auto script = [&] {
      if (c.rotate.choice) ask.rotates = {c.rotate};
      else ask.scales = {c.size};
    };
    const int menuRow = c.rotate.choice ? 5 : 6;
    const DocState before = Snap();
    // Cancelled at once: nothing changes.
    ask.runner = &cancel;
    script();
    Hit(menuRow);
    EXPECT_EQ(Diff(before, Snap()), "");
    EXPECT_EQ(Undos(), 0u);
    EXPECT_EQ(cancel.captions, std::vector<std::u16string>{c.caption});

    ask.runner = nullptr;
    script();
    Hit(menuRow);
    const DocState after = Snap();
    ASSERT_EQ(Undos(), 1u);
    space->Undo(1);
    // The redo's job is cancelled: the layers stay as undone and the step stays for later.
    ask.runner = &cancel;
    space->Redo(1);
    EXPECT_EQ(cancel.captions.size(), 2u);
    EXPECT_EQ(Diff(before, Snap()), "");
    EXPECT_EQ(Redos(), 1u);
    EXPECT_EQ(Undos(), 0u);
    ask.runner = nullptr;
    space->Redo(1);
    EXPECT_EQ(Diff(after, Snap()), "");
    EXPECT_EQ(Undos(), 1u);
    EXPECT_EQ(Redos(), 0u);
    EXPECT_EQ(sys.ErrorCount(), 0u);
  }
}

TEST_F(LayerFormat, AFailingOperationLeavesThePreviousToolCurrent) {
  Start();
  CancellingRunner failing;
  failing.fail = true;
  ask.runner = &failing;
  list->SetCurSelect(0);
  const DocState before = Snap();
  const int activated = tool->activated;
  ask.rotates = {{LYR_ROTATE_ANGLE, 45}};
  const Thrown t = CatchError([&] { Hit(5); });
  EXPECT_EQ(t.condition, u"!runner");
  EXPECT_NE(t.piece.find(u"CMyListLayer::XAppendixMenuC32 ::OnHit()"), std::u16string::npos) << U8(t.piece);
  EXPECT_EQ(space->GetCurOperator(), tool);
  EXPECT_EQ(tool->activated, activated + 1) << "it was held aside and came back";
  EXPECT_EQ(Diff(before, Snap()), "");
  EXPECT_EQ(Undos(), 0u);
}

// A redraw pass still on the worker ends first: neither the operation nor its redo is lost.
TEST_F(LayerFormat, AWorkerStillBusyIsWaitedFor) {
  Start();
  static auto sleepy = [](void*, JobRecord*, JobControl*) -> int32_t {
    plat::Sleep(150);
    return 1;
  };
  GCompRef<OData> args = GNewData(16);
  JobRecord busy{args, u"busy", 6, -1, nullptr, sleepy};
  JobControl control;
  list->SetCurSelect(0);
  ask.scales = {{TRUE, 20, 20}};
  ASSERT_TRUE(space->GetWorker()->Launch(&busy, &control));
  Hit(6);
  EXPECT_EQ(Undos(), 1u);
  space->Undo(1);
  ASSERT_TRUE(space->GetWorker()->Launch(&busy, &control));
  space->Redo(1);
  EXPECT_EQ(Undos(), 1u);
  EXPECT_EQ(list->GetCurLayer()->GetWidth(), 20);
}

// A step that no longer fits the rows raises its condition before anything changes.
TEST_F(LayerFormat, AStepThatDoesNotFitTheRowsChangesNothing) {
  struct Case {
    const char* name;
    uint32_t type;
    std::function<std::vector<GCompRef<OData>>(CMyListLayer*)> blocks;
    const char16_t* condition;
  };
  auto fields = [](std::initializer_list<uint32_t> f) { return NewBlock(LYR_RECORD_BLOCK, f); };
  const Case cases[] = {
      {"row out of range", LYR_UNDO_FLIPH, [&](CMyListLayer*) { return std::vector<GCompRef<OData>>{fields({9, 3})}; },
       u"!(UINT)nID==poLayer->GetID()"},
      {"another layer's ID", LYR_UNDO_INVERT,
       [&](CMyListLayer*) { return std::vector<GCompRef<OData>>{fields({0, 7})}; }, u"!(UINT)nID==poLayer->GetID()"},
      {"a quarter turn of another size", LYR_UNDO_ROTATE90,
       [&](CMyListLayer*) { return std::vector<GCompRef<OData>>{fields({0, 3, 0, 0, 30, 30})}; },
       u"!cpLayerNew->GetWidth()==nHeight"},
      {"a fade block of another layer", LYR_UNDO_CLEAR,
       [&](CMyListLayer* l) {
         return std::vector<GCompRef<OData>>{fields({0, 3, 40}), GCompRef<OData>(l->GetLayer(2)->ProcessImpair(100))};
       },
       u"!poData->GetSize()==(UINT)nDataSize"},
      {"a mask that is not the recorded one", LYR_UNDO_MASK,
       [&](CMyListLayer*) { return std::vector<GCompRef<OData>>{fields({0, 3, 99})}; },
       u"!(UINT)nMaskID==poLayerMask->GetID()"},
      {"a mask of another size", LYR_UNDO_MASK,
       [&](CMyListLayer*) { return std::vector<GCompRef<OData>>{fields({0, 3, 7})}; },
       u"!lkMask.nWidth==m_nWidth && lkMask.nHeight==m_nHeight"},
      {"a backup of another layer", LYR_UNDO_TOA16,
       [&](CMyListLayer* l) {
         return std::vector<GCompRef<OData>>{fields({1, 7, 0}), GCompRef<OData>(l->GetLayer(0)->Backup(nullptr))};
       },
       u"!cpLayer->GetID()==(UINT)nID"},
      {"a colour step on a mask", LYR_UNDO_TOC32,
       [&](CMyListLayer*) { return std::vector<GCompRef<OData>>{fields({1, 7, 0})}; },
       u"!poLayer->GetFormat()==OLayer::myFORMAT_C32"},
      {"a record cut short", LYR_UNDO_ROTATE,
       [&](CMyListLayer*) {
         GCompRef<OData> b = GNewData(8);
         b->Write("\0\0\0\0\3\0\0\0", 8);
         return std::vector<GCompRef<OData>>{b};
       },
       u"!cbSize<=m_cbSize-m_cbSite"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    list->SetCurSelect(0);
    const DocState before = Snap();
    std::vector<GCompRef<OData>> blocks = c.blocks(list.get());
    if (blocks.size() == 1)
      list->WriteStep(c.type, u"测试", {blocks[0]});
    else
      list->WriteStep(c.type, u"测试", {blocks[0], blocks[1]});
    const Thrown t = CatchError([&] { space->Undo(1); });
    EXPECT_EQ(t.condition, c.condition);
    EXPECT_EQ(Diff(before, Snap()), "");
  }
}

// ---- the command route --------------------------------------------------------------------------

TEST_F(LayerFormat, TheRouteEnablesByTheListsState) {
  Start();
  LayerClipboard clipboard;
  list->SetClipboard(&clipboard);
  struct Probe {
    UINT id;
    BOOL enabled;
    const char16_t* text;
  };
  auto check = [&](const char* state, std::initializer_list<Probe> probes) {
    SCOPED_TRACE(state);
    for (const Probe& p : probes) {
      CmdUIState ui;
      EXPECT_TRUE(list->OnCmdMsg(p.id, &ui)) << p.id;
      EXPECT_EQ(ui.bEnabled, p.enabled) << p.id;
      EXPECT_EQ(ui.pszText ? std::u16string(ui.pszText) : u"", p.text ? p.text : u"") << p.id;
    }
  };
  list->SetCurSelect(0);
  check("colour layer", {{ID_LAYER_CONVERT, TRUE, u"转换到单色图层(&C)"},
                         {ID_LAYER_CLEAR_FADE, TRUE, nullptr},
                         {ID_LAYER_FLIP_H, TRUE, nullptr},
                         {ID_LAYER_FLIP_V, TRUE, nullptr},
                         {ID_LAYER_ROTATE, TRUE, nullptr},
                         {ID_LAYER_SCALE, TRUE, nullptr},
                         {ID_LAYER_ADD, TRUE, nullptr},
                         {ID_LAYER_DELETE, TRUE, nullptr},
                         {ID_LAYER_MERGE, TRUE, nullptr},
                         {ID_LAYER_OPEN_IMAGE, TRUE, nullptr},
                         {ID_LAYER_SAVE_IMAGE, TRUE, nullptr},
                         {ID_EDIT_COPY, TRUE, nullptr},
                         {ID_EDIT_CUT, TRUE, nullptr},
                         {ID_EDIT_PASTE, FALSE, nullptr}});
  list->SetCurSelect(1);
  clipboard.cpData = GNewData(16);
  check("mask layer, a layer to paste", {{ID_LAYER_CONVERT, TRUE, u"转换到彩色图层(&C)"},
                                         {ID_LAYER_SCALE, TRUE, nullptr},
                                         {ID_EDIT_PASTE, TRUE, nullptr}});
  list->SetCurSelect(-1);
  check("nothing selected", {{ID_LAYER_CONVERT, FALSE, u"格式转换"},
                             {ID_LAYER_CLEAR_FADE, FALSE, nullptr},
                             {ID_LAYER_FLIP_H, FALSE, nullptr},
                             {ID_LAYER_FLIP_V, FALSE, nullptr},
                             {ID_LAYER_ROTATE, FALSE, nullptr},
                             {ID_LAYER_SCALE, FALSE, nullptr},
                             {ID_LAYER_ADD, TRUE, nullptr},
                             {ID_EDIT_COPY, FALSE, nullptr},
                             {ID_EDIT_CUT, FALSE, nullptr}});
  while (list->GetCount()) list->DelLayer(0);
  check("an empty list", {{ID_LAYER_CONVERT, FALSE, u"格式转换"},
                          {ID_LAYER_ROTATE, FALSE, nullptr},
                          {ID_LAYER_MERGE, TRUE, nullptr},
                          {ID_EDIT_PASTE, TRUE, nullptr}});
  // Nothing runs on an empty list.
  for (UINT id : {ID_LAYER_CONVERT, ID_LAYER_FLIP_H, ID_LAYER_ROTATE, ID_LAYER_SCALE, ID_LAYER_CLEAR_FADE})
    EXPECT_TRUE(list->OnCmdMsg(id, nullptr));
  EXPECT_TRUE(ask.asked.empty());
  EXPECT_EQ(Undos(), 0u);

  // Without a space only the Layer menu's own state counts.
  space.reset();
  check("no space", {{ID_LAYER_ADD, FALSE, nullptr},
                     {ID_LAYER_OPEN_IMAGE, FALSE, nullptr},
                     {ID_EDIT_PASTE, FALSE, nullptr}});
  // The image commands are the list's (they do nothing without a space); others are not.
  EXPECT_TRUE(list->OnCmdMsg(ID_LAYER_OPEN_IMAGE, nullptr));
  EXPECT_TRUE(list->OnCmdMsg(ID_LAYER_SAVE_IMAGE, nullptr));
  EXPECT_TRUE(ask.asked.empty());
  EXPECT_FALSE(list->OnCmdMsg(ID_EDIT_UNDO, nullptr));
  CmdUIState ui;
  EXPECT_FALSE(list->OnCmdMsg(ID_OPER_PAINT, &ui));
}

TEST_F(LayerFormat, TheLayerMenuRunsTheRowOfTheCurrentLayersFormat) {
  Start();
  struct Case {
    UINT id;
    int row;
    const char16_t* label;
  };
  const Case cases[] = {
      {ID_LAYER_CONVERT, 0, u"转换"},        {ID_LAYER_CONVERT, 1, u"转换"},  {ID_LAYER_CLEAR_FADE, 3, u"清空/淡化"},
      {ID_LAYER_FLIP_H, 1, u"水平翻转"},     {ID_LAYER_FLIP_V, 2, u"垂直翻转"}, {ID_LAYER_ROTATE, 1, u"旋转>180"},
      {ID_LAYER_SCALE, 0, u"缩放"},
  };
  ask.converts = {4};
  ask.rotates = {{LYR_ROTATE_180, 0}};
  ask.scales = {{TRUE, 5, 5}};
  UINT steps = 0;
  for (const Case& c : cases) {
    list->SetCurSelect(c.row);
    EXPECT_TRUE(list->OnCmdMsg(c.id, nullptr));
    EXPECT_EQ(Undos(), ++steps) << c.id;
    EXPECT_EQ(TopLabel(space->GetUndoStore()), c.label);
  }
  EXPECT_EQ(list->GetLayer(0)->GetFormat(), A16) << "the colour layer became a mask";
  EXPECT_EQ(list->GetLayer(1)->GetFormat(), C32) << "the mask became a colour layer";
  EXPECT_EQ(list->GetLayer(0)->GetWidth(), 5);
}

TEST_F(LayerFormat, TheMenusNameTheirRows) {
  Start();
  OAppendixMenu* mask = list->GetAppendixMenu(A16);
  OAppendixMenu* colour = list->GetAppendixMenu(C32);
  EXPECT_EQ(list->GetAppendixMenu(3), nullptr);
  EXPECT_EQ(list->GetAppendixMenu(A16), mask);
  EXPECT_EQ(mask->GetCount(), 7);
  EXPECT_EQ(colour->GetCount(), 8);
  EXPECT_EQ(std::u16string(mask->GetLabel(0)), u"转换到彩色图层");
  EXPECT_EQ(std::u16string(colour->GetLabel(8)), u"转换到单色图层") << "the index is taken modulo 8";
  EXPECT_EQ(std::u16string(colour->GetHelp(7)), u"蒙板：提取像素透明度生成新蒙板");
  EXPECT_EQ(std::u16string(mask->GetLabel(7)), u"");
  EXPECT_EQ(std::u16string(mask->GetLabel(2)), u"反像");
  EXPECT_EQ(std::u16string(colour->GetLabel(2)), u"反色");
  // A menu of the other format refuses the current layer.
  list->SetCurSelect(0);
  EXPECT_EQ(ThrownCondition([&] { mask->OnHit(3); }), u"!nFormat==OLayer::myFORMAT_A16");
}

}  // namespace

// The layer list as a model: the layers of a document from the top of the list down, the
// selected row, the document file's layer section, and the services the paint space calls.
// The owner-drawn layer list window shows this model and turns clicks into its calls.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/LayerClipboard.h"
#include "core/MyFile.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"
#include "odata/OLayer.h"
#include "odata/OShowDevice.h"
#include "odata/OUndo.h"
#include "panels/AppendixMenu.h"
#include "panels/LayerAsk.h"
#include "panels/LayerUndoType.h"
#include "panels/ModifyNotify.h"

class CPaintSpace;
struct CmdUIState;

// What the list tells the paint space's current tool (sender "CMyListLayer"), besides
// myNOTIFY_SELECT: a flag of a layer was toggled by a click.
constexpr DWORD LYR_NOTIFY_HIDDEN = 0x10001;
constexpr DWORD LYR_NOTIFY_NEST = 0x10002;
constexpr DWORD LYR_NOTIFY_PROTECT = 0x10004;
constexpr DWORD LYR_NOTIFY_SOURCE = 0x10008;

// A layer keeps at most this many UTF-16 units of its name, as the document stores it; a
// rename keeps as many (the layer bar's edit takes fewer when they are typed).
constexpr size_t LYR_NAME_MAX = 63;

// What the list tells whoever shows it (the window, the property page, tests).
struct ILayerListObserver {
  virtual ~ILayerListObserver() = default;
  // Rows were added, removed, reordered or changed: redraw (when redrawing is on).
  virtual void OnRowsChanged() {}
  // One row changed (its pixels, name, flags ...).
  virtual void OnRowChanged(int /*index*/) {}
  // The selection moved from old to now (-1: none). Also sent when the index stays but the
  // row now holds another layer, so the current tool always hears of a new current layer.
  virtual void OnSelChanged(int /*old*/, int /*now*/) {}
  // A message for the user ("内存不足", "容量不足").
  virtual void OnMessage(const char16_t* /*text*/) {}
};

// Creation commands stop at this many rows; undo, redo and loading reach LYR_MAX_SUM.
constexpr int LYR_CREATE_MAX_ROWS = 50;

// The layer section of the document file: a 32-byte header, then one layer record per row.
struct LayerSectionHeader {
  uint32_t dwCheck;       // dwSize + dwLayerCount + dwCurSel
  uint32_t dwSize;        // 32 plus the bytes of all layer records
  uint32_t dwLayerCount;  // at most LYR_MAX_SUM
  uint32_t dwCurSel;      // 0xFFFFFFFF: no row selected
  static constexpr size_t kBytes = 32;
  void Store(BYTE out[kBytes]) const;
  static LayerSectionHeader Parse(const BYTE in[kBytes]);
  uint32_t Sum() const { return dwSize + dwLayerCount + dwCurSel; }
};

class CMyListLayer {
 public:
  CMyListLayer(GSystem* system, OShowDevice* device);
  ~CMyListLayer();
  CMyListLayer(const CMyListLayer&) = delete;
  CMyListLayer& operator=(const CMyListLayer&) = delete;

  static const char16_t* GetClassName() { return u"CMyListLayer"; }
  void SetObserver(ILayerListObserver* observer) { m_pObserver = observer; }

  // The list box's own count and selection.
  int GetCount() const { return int(m_rows.size()); }
  int GetCurSel() const { return m_nCurSel; }
  // Selects a row (-1: none; out of range is none) and announces it, even when the index
  // is the same (a new layer may have taken the row).
  void SetCurSelect(int index);
  // Inserts a layer at index (-1 or past the end: appended); the row takes a reference.
  // Returns the row's index; -1 for a null layer or when LYR_MAX_SUM rows exist. The
  // selected layer stays selected.
  int AddLayer(int index, OLayer* layer);
  // Takes a row out; the caller receives the row's reference. Null for a bad index. When
  // the selected row goes, nothing is selected (announced).
  OLayer* DetachLayer(int index);
  // Moves a row to another index, shifting the rows between; the selected layer stays
  // selected. FALSE for a bad index or from == to.
  BOOL MoveLayer(int from, int to);

  // Throws "!GetCount()==0" unless the list is empty.
  void AttachSpace(CPaintSpace* space);
  // Releases every row (last first) and forgets the space; the selection goes without an
  // announcement, since the space is on its way out.
  void DetachSpace();
  CPaintSpace* GetSpace() const { return m_pSpace; }
  GSystem* GetSystem() const { return m_pSystem; }
  OShowDevice* GetShowDevice() const { return m_pDevice; }

  // The layer of a row without a reference; null for a bad index.
  OLayer* GetLayer(int index) const;
  OLayer* GetCurLayer() const;
  // The last row's layer that carries LYR_FLAG_SOURCE; null when none does.
  OLayer* GetSourceLayer() const;
  // FALSE without a current layer, and for a write-protected one (with showMessage the user is
  // told "图层有写保护"); tools ask before they change the layer.
  BOOL CheckWritable(BOOL showMessage) const;
  // The selection moved away from oldIndex: both rows are redrawn and the change announced.
  void OnSelectionChanged(int oldIndex);
  void RedrawItem(int index);
  // Redrawing of the rows off and on (the paint space turns it off while it undoes). Row
  // changes while it is off are announced as one OnRowsChanged when it comes back on.
  void SetRedraw(BOOL on);
  BOOL IsRedraw() const { return m_bRedraw; }

  // Remembers the selection and clears every layer's refresh marks.
  void BeginSpaceUndo();
  // Restores the selection (clamped) and refreshes the changed rows; throws
  // "!VerifyUniqueID()" when two layers carry the same ID.
  void EndSpaceUndo();
  // Tells the list a row's layer changed during an undo.
  void MarkChanged(int index);
  // Whether memory allows one more layer of that size (the row left out: exclude, or -1);
  // tells the user "内存不足" or "容量不足" on refusal.
  BOOL CheckMemory(int width, int height, int format, int exclude);
  // CheckMemory's rule on its figures, all in bytes: the new layer, the new layer plus the
  // rows, and the machine's physical memory (0 when unknown).
  static BOOL MemoryAllows(uint64_t layerBytes, uint64_t allBytes, uint64_t totalPhysical);
  // The bytes one layer, and all layers together, must stay below by that rule.
  static uint64_t LayerLimit(uint64_t totalPhysical);
  static uint64_t AllLayersLimit(uint64_t totalPhysical);
  BOOL VerifyUniqueID() const;
  // The smallest ID from 1 up that no row carries yet (10000 when the search reaches it).
  UINT NewLayerID() const;

  // The document file's layer section (the second unit).
  OFileSave* GetFileSave() { return &m_xFileSave; }
  OFileLoad* GetFileLoad() { return &m_xFileLoad; }

  // Who answers the commands' questions (dialogs, progress) and where cut layers go. Without
  // an asker the commands that need one do nothing; without a clipboard nothing is cut,
  // copied or pasted.
  void SetAsk(ILayerAsk* ask) { m_pAsk = ask; }
  ILayerAsk* GetAsk() const { return m_pAsk; }
  void SetClipboard(LayerClipboard* clipboard) { m_pClipboard = clipboard; }
  LayerClipboard* GetClipboard() const { return m_pClipboard; }

  // ---- Services of the rows (panels/LayerServices.cpp) ----
  // Deletes the row and releases its layer; FALSE for a bad index.
  BOOL DelLayer(int index);
  // Puts another layer into the row (the old one is released); nothing for a bad index.
  void SetLayer(int index, OLayer* layer);
  // The row at `from` moves to `to`, the rows between shift by one.
  BOOL MoveItemDataPtr(int to, int from) { return MoveLayer(from, to); }
  // Clears the source flag of the last row that carries it (redrawn when asked); its row, or
  // -1 when none does.
  int ClearSourceMark(BOOL redraw);
  // The row of the colour layer that a nested layer at row is clipped by: the first row below
  // it that is not nested itself (a run of nested layers, masks too, nests into one base, as
  // the display composes it), when that row holds a colour layer; -1 otherwise.
  int GetNestBaseRow(int row) const;
  // The row to select once the selected row is gone: min(sel, count - 2), -1 when negative.
  int GetRowAfterDelete() const;
  UINT GetNewLayerID() const { return NewLayerID(); }
  // A new empty layer of the rectangle on a new top row, selected; with record, the undo step
  // "创建". Null without a space, at LYR_MAX_SUM rows, or for a side outside 1..10000. No
  // memory check and no view invalidation: the callers do those.
  OLayer* CreateLayer(const char16_t* name, const RECT* rect, int format, UINT id, BOOL record);
  // The mask layer below the source layer that collects one colour's regions, found or made
  // (with the step "分区"); its row goes to outRow. Null when there is none to make.
  OLayer* GetDestLayerByColor(COLORREF colour, int* outRow);
  // The edges of every row's layer that is current or shown, for snapping; the row count.
  int GetLayerEdges(std::vector<int>* xs, std::vector<int>* ys) const;
  // Clears the unused low bytes of every mask layer (before a save).
  void CleanupMaskLowBytes();
  // The space's composite is stale: recomposed at the view's next paint.
  void InvalidateSpace();
  // Tells the space's current tool (sender "CMyListLayer").
  void NotifySpace(DWORD code, OLayer* layer);

  // ---- What the bar's clicks and edits do, each with its undo step (panels/LayerRows.cpp) ----
  // A click on a flag column: LYR_FLAG_NEST, _HIDDEN, _PROTECT or _SOURCE toggled (the
  // source mark moves to the row, or leaves it), step "标记", the tool told, the view
  // invalidated for hidden and nest. A nest flag is set only where GetNestBaseRow finds a
  // colour layer to clip into.
  void ToggleFlag(int row, uint32_t flag);
  // A dragged row dropped before gap (0..count): step "排序"; FALSE when nothing moved.
  BOOL MoveRowToGap(int from, int gap);
  // A new name (at most LYR_NAME_MAX units, not cutting a surrogate pair; empty keeps the
  // old): step "名称"; FALSE when nothing changed.
  BOOL RenameLayer(int row, const std::u16string& name);
  // The current mask layer's display colour: step "颜色".
  void SetCurLayerColor(COLORREF colour);
  // Toggles the source flag of the current mask layer: step "标记".
  void SetCurLayerAsSource();
  // The observer of the property page's edits (step "属性").
  XModifyNotify* GetModifyNotify();

  // ---- Layer commands (panels/LayerCommands.cpp) ----
  // LYR_MERGE_* bits possible for the selected row; 0 without one.
  int GetMergeOptions() const;
  void OnTbvcLyrAdd();
  void OnTbvcLyrDel();
  void OnTbvcLyrMerge();
  void OnEditCut();
  void OnEditCopy();
  void OnEditPaste();

  // ---- Image import and export (panels/LayerImage.cpp) ----
  // Loads a PNG, JPEG or BMP file as a new top row, selected, with the step "载入". FALSE
  // when nothing was loaded: silently for 64 rows or a name no codec reads, else the user
  // was told why.
  BOOL LoadImage(const char16_t* path);
  // Command 32797: asks for an image file and loads it.
  void OnTbvcLyrOpen();
  // Command 32798: writes the current layer to a PNG, JPEG or BMP file the user names.
  void OnTbvcLyrSave();

  // ---- Per-format operations and the Layer menu (panels/LayerFormatOps.cpp) ----
  // The command rows of the property page for a layer format (A16 or C32); null for others.
  OAppendixMenu* GetAppendixMenu(int format);
  // Commands and update-UI of the layer bar, the Edit menu's cut/copy/paste and the Layer
  // menu (ui null: run it). FALSE when the id is not the list's.
  BOOL OnCmdMsg(UINT id, CmdUIState* ui);

  // ---- Undo steps (panels/LayerRecords.cpp) ----
  // Clears the redo store and writes one step of the list's into the undo store.
  void WriteStep(uint32_t type, const char16_t* label, std::initializer_list<OData*> blocks);
  void WriteStep(uint32_t type, const char16_t* label, const std::vector<OData*>& blocks);
  OUndoHandler* GetUndoHandler(bool redo) { return redo ? static_cast<OUndoHandler*>(&m_xRedoInner) : &m_xUndoInner; }

 private:
  // The two executors of the list's steps: the undo side and the redo side.
  class XUndoInner final : public OUndoHandler {
   public:
    XUndoInner(CMyListLayer* list, bool redo) : m_pList(list), m_bRedo(redo) {}
    int32_t AddRef() override { return 0; }
    int32_t Release() override { return 0; }
    void* GetInterface(const char16_t*) override { return nullptr; }
    int32_t Execute(OUndoRestore* restore, OUndoStore* opposite) override;
    void AfterUndo() override;

   private:
    CMyListLayer* m_pList;
    bool m_bRedo;
  };
  friend class XUndoInner;
  // The per-format operations behind both command menus (LayerFormatOps.cpp).
  class XAppendixMenu;
  // One step being undone or redone: its blocks come in order, its inverse goes out.
  struct StepRun;
  int32_t ExecuteRowStep(StepRun& run);        // 1-8, 28 (LayerRecordsRows.cpp)
  int32_t ExecuteFormatStep(StepRun& run);     // 9, 13-23 (LayerRecordsFormat.cpp)
  int32_t ExecuteAttributeStep(StepRun& run);  // 24-27 (LayerRecords.cpp)
  // The three merge-down variants of OnTbvcLyrMerge (LayerCommands.cpp).
  void MergeMaskDown();
  void MergePlainDown();
  void MergeNestDown();
  // The layer at the row, which must carry the ID; throws the condition otherwise.
  OLayer* CheckedLayer(int index, UINT id, const char16_t* condition) const;
  // A new layer rebuilt from a backup block (or the layer a held block keeps), with
  // LYR_CHANGE_NEW and every block marked.
  GCompRef<OLayer> Rebuild(OData* backup);
  // A new empty layer through the display device (a reference for the caller).
  GCompRef<OLayer> NewLayer(int width, int height, int format, UINT id);
  class XFileSave final : public OFileSave {
   public:
    explicit XFileSave(CMyListLayer* list) : m_pList(list) {}
    BOOL Begin(UINT* progressTotal) override;
    BOOL Save(OFileOut* file, uint64_t* pBytes, JobControl* control) override;
    BOOL End() override;

   private:
    CMyListLayer* m_pList;
    OLayer* m_apLayers[LYR_MAX_SUM] = {};  // borrowed: the list does not change during a save
    UINT m_nLayerCount = 0;
    uint32_t m_dwSelected = 0;
  };
  class XFileLoad final : public OFileLoad {
   public:
    explicit XFileLoad(CMyListLayer* list) : m_pList(list) {}
    ~XFileLoad() override;
    BOOL Begin() override;
    BOOL Load(OFileIn* file, uint64_t* pBytes, JobControl* control) override;
    BOOL End(BOOL bFailed) override;

   private:
    BOOL ReadSection(OFileIn* file, uint64_t* pBytes, JobControl* control);
    // Whether layers of these sizes (from their records' heads) may be loaded, the paint
    // tool's first copy of the selected one besides; notes the reason when not.
    static BOOL MemoryAllowsLoad(const uint64_t* layerBytes, uint32_t count, uint64_t paintBytes);
    void DropLoaded();
    CMyListLayer* m_pList;
    OLayer* m_apLayers[LYR_MAX_SUM] = {};  // each holds one reference while loaded
    UINT m_nLayerCount = 0;
    uint32_t m_dwSelected = 0;
  };

  void RowsChanged();
  void Announce(int oldIndex, int newIndex);
  // Gives every later row whose ID an earlier row carries a new ID.
  void RenumberDuplicateIDs();
  // A document may come with several rows marked as the source: the lowest keeps the mark, the
  // one GetSourceLayer finds, so the tools take the same source as before the others went.
  void KeepOneSourceMark();

  GSystem* m_pSystem;
  OShowDevice* m_pDevice;
  CPaintSpace* m_pSpace = nullptr;
  ILayerAsk* m_pAsk = nullptr;
  LayerClipboard* m_pClipboard = nullptr;
  XUndoInner m_xUndoInner{this, false};
  XUndoInner m_xRedoInner{this, true};
  // The property page's edit in progress and the two per-format menus (made on first use).
  std::unique_ptr<XModifyNotify> m_pModifyNotify;
  std::unique_ptr<OAppendixMenu> m_pMenuA16;
  std::unique_ptr<OAppendixMenu> m_pMenuC32;
  ILayerListObserver* m_pObserver = nullptr;
  std::vector<GCompRef<OLayer>> m_rows;  // row 0 is the top of the list
  std::vector<OLayer*> m_changed;        // layers an undo changed (compared only)
  int m_nCurSel = -1;
  int m_nUndoSel = -1;
  GCompRef<OLayer> m_cpUndoLayer;  // the current layer when the undo began
  BOOL m_bRedraw = TRUE;
  BOOL m_bRedrawPending = FALSE;
  XFileSave m_xFileSave{this};
  XFileLoad m_xFileLoad{this};
};

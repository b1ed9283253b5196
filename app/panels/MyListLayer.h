// The layer list as a model: the layers of a document from the top of the list down, the
// selected row, the document file's layer section, and the services the paint space calls.
// The owner-drawn layer list window shows this model and turns clicks into its calls.
#pragma once
#include <cstdint>
#include <vector>

#include "core/MyFile.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"
#include "odata/OLayer.h"
#include "odata/OShowDevice.h"

class CPaintSpace;

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
  BOOL VerifyUniqueID() const;
  // The smallest ID from 1 up that no row carries yet (10000 when the search reaches it).
  UINT NewLayerID() const;

  // The document file's layer section (the second unit).
  OFileSave* GetFileSave() { return &m_xFileSave; }
  OFileLoad* GetFileLoad() { return &m_xFileLoad; }

 private:
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

  GSystem* m_pSystem;
  OShowDevice* m_pDevice;
  CPaintSpace* m_pSpace = nullptr;
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

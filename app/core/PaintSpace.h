// The paint space: the heart of an open document. It owns the space size and background,
// the view transform, the tools and the current tool, the undo and redo stores with their
// flush thread, the worker that runs the document's long jobs, and the drawing lock that
// serialises every use of the display device's back buffer.
#pragma once
#include <atomic>
#include <cstdint>

#include "core/MyFile.h"
#include "core/PaintSpaceHost.h"
#include "odata/GCompRef.h"
#include "odata/GList.h"
#include "odata/GLock.h"
#include "odata/GSystem.h"
#include "odata/OData.h"
#include "odata/OLayer.h"
#include "odata/OShowDevice.h"
#include "odata/OUndo.h"
#include "odata/OWorker.h"
#include "platform/base/Sync.h"
#include "tools/Operation.h"

class CMyListLayer;
class CColorBar;
class IShellServices;
namespace gui {
class GWindow;
}

constexpr UINT LYR_MAX_WIDTH = 10000;
constexpr UINT LYR_MAX_HEIGHT = 10000;
constexpr UINT SPACE_UNDO_DEPTH = 24;
constexpr COLORREF SPACE_WHITE = 0xFFFFFF;

// Command ids the space answers itself.
constexpr UINT ID_EDIT_UNDO = 57643;
constexpr UINT ID_EDIT_REDO = 57644;
constexpr UINT ID_SPACE_BACKGROUND = 32817;

// The view commands.
constexpr UINT ID_VIEW_ZOOM_IN = 32782;
constexpr UINT ID_VIEW_ZOOM_OUT = 32783;
constexpr UINT ID_VIEW_ZOOM_ONE = 32784;
constexpr UINT ID_VIEW_RESET = 32785;
constexpr UINT ID_VIEW_ANGLE_ZERO = 32786;
constexpr UINT ID_VIEW_ROTATE_LEFT = 32787;   // 15 degrees; the other way while mirrored
constexpr UINT ID_VIEW_ROTATE_RIGHT = 32788;
constexpr UINT ID_VIEW_FLIP = 32789;

// The tool commands: each makes the tool of its id current.
constexpr UINT ID_OPER_MOVE = 32771;
constexpr UINT ID_OPER_NEW = 32772;
constexpr UINT ID_OPER_CROP = 32773;
constexpr UINT ID_OPER_LASSO = 32774;
constexpr UINT ID_OPER_DISTORT = 32775;
constexpr UINT ID_OPER_SHAPE = 32776;
constexpr UINT ID_OPER_RESERVED = 32777;  // a button without a tool: shown, never checked
constexpr UINT ID_OPER_FLOOD = 32778;
constexpr UINT ID_OPER_PAINT = 32780;
constexpr UINT ID_OPER_POLYGON = 32821;
constexpr UINT ID_OPER_SUCKER = 32843;

// The view's zoom range and steps.
constexpr float VIEW_SCALE_MIN = 0.0625f;
constexpr float VIEW_SCALE_MAX = 16.0f;
constexpr float VIEW_ANGLE_STEP = 0.261799f;  // 15 degrees
constexpr float VIEW_TURN = 6.283185f;
// Scroll-bar line step in bar units; a wheel notch pans this many client pixels.
constexpr int VIEW_SCROLL_LINE = 128;
constexpr int VIEW_WHEEL_PIXELS = 64;

// Buttons of the capture mask: the view holds the mouse capture while any is set.
constexpr DWORD CAPTURE_LBUTTON = 1;
constexpr DWORD CAPTURE_RBUTTON = 2;
constexpr DWORD CAPTURE_MBUTTON = 16;

// A bounded list of coordinates (the snap lines of a tool).
struct FloatList {
  float* pItems;
  int nCount;
  int nCapacity;
  BOOL Add(float v) {
    if (!pItems || nCount >= nCapacity) return FALSE;
    pItems[nCount++] = v;
    return TRUE;
  }
};

// Type codes of the space's own undo records.
constexpr uint32_t SPACE_UNDO_RESIZE = 1;
constexpr uint32_t SPACE_UNDO_BACKGROUND = 2;
constexpr uint32_t SPACE_UNDO_LAYER = 3;

// The space's section of the document file: 32 little-endian bytes, the first unit.
struct SpaceSection {
  uint32_t dwCheck;  // width + height + background, wrapping
  uint32_t dwWidth;
  uint32_t dwHeight;
  uint32_t dwBackground;  // 0x00RRGGBB
  uint32_t dwReserved[4];

  static constexpr size_t kBytes = 32;
  void Store(BYTE out[kBytes]) const;
  static SpaceSection Parse(const BYTE in[kBytes]);
  static uint32_t CheckOf(uint32_t w, uint32_t h, uint32_t bg) { return w + h + bg; }
};
static_assert(sizeof(SpaceSection) == SpaceSection::kBytes);

// The size a new space gets, kept by the application in its settings; the space's size
// command remembers the last size chosen.
struct NewSpaceSize {
  int nSpaceWidth = 1000;
  int nSpaceHeight = 1000;
};

// The scroll extent of the view in client pixels: the rotated, scaled space grown by half a
// client on each side.
void GetSpaceClientRect(RECT* out, OShowDevice* device, const ViewTransform* transform);

class CPaintSpace {
 public:
  enum State : int32_t { myNULL = 0, myREADY = 1 };

  // The components come through the system object; the display device is the application's
  // and outlives the space.
  CPaintSpace(GSystem* system, OShowDevice* device);
  ~CPaintSpace();
  CPaintSpace(const CPaintSpace&) = delete;
  CPaintSpace& operator=(const CPaintSpace&) = delete;

  static const char16_t* GetClassName() { return u"CPaintSpace"; }

  // Attaches the layer list, makes pFirst the current tool, fills the view transform, creates
  // the stores, the flush thread and the worker. Returns what pFirst's Activate answers.
  // Throws on a size outside 1..10000 or when a component cannot be made; the space then
  // stays myNULL and can still be destroyed.
  int Initialize(UINT nSpaceWidth, UINT nSpaceHeight, IPaintSpaceHost* host, CMyListLayer* list,
                 COperation* pFirst);
  int GetState() const { return m_myState; }
  // The host, null unless the space is ready (tools ask it for the windows of the frame).
  IPaintSpaceHost* GetHost() const { return m_myState == myREADY ? m_pHost : nullptr; }
  // The main frame's services through the host; null unless the space is ready.
  IShellServices* GetShell() const;
  // A short notice in the frame's status bar; nothing without a frame.
  void ShowStatus(const char16_t* text) const;
  // The window a tool hands its option windows to (WM_MYSETOPTIONS); null unless the space
  // is ready and the frame has one.
  gui::GWindow* GetOptionBar() const;
  // The document's colour bar, where picked colours go (null: none).
  void SetColorBar(CColorBar* bar) { m_pColorBar = bar; }
  CColorBar* GetColorBar() const { return m_pColorBar; }

  // The palette's colour of a slot (0: the current colour).
  COLORREF GetColor(int index);
  UINT GetWidth() const { return m_uWidth; }
  UINT GetHeight() const { return m_uHeight; }
  COLORREF GetBackground() const { return m_dwBackground; }
  // Sets the size and puts the view centre on the middle; no redraw, no undo record.
  void SetSpaceSize(UINT uWidth, UINT uHeight);
  // Sets the background of the space and both view transforms; no redraw, no undo record.
  void SetBackground(COLORREF colour);
  // The view's client area changed (the view's WM_SIZE).
  void SetClientSize(int cx, int cy);
  // Centres a layer (its position) or a rectangle on the view centre; a side as long as the
  // space's stays where it is.
  void CenterOnView(OLayer* layer, RECT* rect);
  // TRUE when there are edits since the last save and the list holds a layer.
  BOOL IsModified();
  void SetNewSpaceSize(NewSpaceSize* setting) { m_pNewSize = setting; }

  ViewTransform* m_pTransform = &m_transform;
  const ViewTransform& GetSpareTransform() const { return m_transSpare; }
  BOOL IsCompositeValid() const { return m_bCompositeValid.load(); }
  void InvalidateComposite() { m_bCompositeValid = FALSE; }
  // A tool that drew the whole view itself (RefreshSpace) marks the back buffer current.
  void ValidateComposite() { m_bCompositeValid = TRUE; }
  void InvalidateView(BOOL erase = FALSE);

  // Redraw. OnDraw is the view's paint; RefreshDraw composes and presents on the calling
  // thread; RefreshInWorker composes on the worker, merging requests that arrive while a
  // pass runs into one more pass with the latest state. A request the busy worker cannot
  // take waits (HasPendingRefresh) until the next call launches it.
  void OnDraw(HDC dc);
  void RefreshDraw(HDC dc, const POINT* scroll);
  int RefreshInWorker(const ViewTransform* transform);
  BOOL HasPendingRefresh();
  // The frame marks of a layer XOR-drawn over the view (dc null: the view's own context).
  void DrawLayerFrame(gui::DeviceContext* dc, OLayer* layer);
  // Both scroll bars from the scroll extent of the transform (null: the live one).
  void SyncScrollBars(const ViewTransform* transform);
  // The bars as last synced or moved (SB_HORZ 0, SB_VERT 1).
  ScrollBarState GetScrollBar(int bar) const { return bar == 0 ? m_sbHorz : m_sbVert; }

  // Undo and redo.
  void Undo(int steps);
  void Redo(int steps);
  // Resizes the space by {dx, dy, width, height} (rect.left, top, right, bottom) with an undo
  // record of type 1 under the label.
  void Reposition(const RECT& delta, const char16_t* label);
  // The background becomes the current colour (white when it is that already), undoably.
  void SetBackgroundUndoable();
  // Records the change of one layer's pixels: the patch is what the layer's transaction gave
  // (PAT_Backup), the layer the one at row index of the list.
  void RecordLayerPatch(int index, OLayer* layer, OData* patch, const char16_t* label);

  // Tools and commands.
  void AddOperator(COperation* op);
  COperation* GetCurOperator() const { return m_pCurOperator; }
  COperation* GetDefaultOperator() const { return m_pDefaultOperator; }
  // The id of the tool that was current before the last change of tool.
  UINT GetPrevOperatorID() const { return m_nPrevOperator; }
  // Makes the first listed tool with the id current (not the current one itself); nothing
  // happens when there is none.
  void SelectOperator(UINT id);
  // Makes the default tool current (the current one finished and deactivated) for a command
  // that changes layers under the tools; COperatorSuspend puts the old tool back.
  void SuspendOperator();
  // TRUE when a listed tool has the id (the current one included).
  BOOL HasOperator(UINT id);
  // Commands in the middle of a gesture. A tool's gesture holds layers, rows and pixels in a
  // state between two events; every command that can change the layer set, the rows, the
  // current layer or the document (undo and redo, the history lists, cut, copy, paste,
  // delete, merge, create, the layer list's clicks, the layer menu, filters, the space size,
  // new, open and close, a change of tool) calls FinishWork first, and so do a loss of focus
  // in the middle of a drag and Escape. FinishWork ends the panels' edits and then the
  // current tool's gesture: the tool commits or drops it (COperation::FinishWork) and is idle
  // afterwards, and the buttons still held go up, so that the rest of the drag reaches the
  // tool as plain moves. A tool that wants a command refused while it works (the surgery
  // tool's lifted piece refuses undo and redo) disables it in its own OnCmdMsg, which the
  // route asks first. A tool that throws in the middle of a gesture is ended the same way
  // (OnWndMsg) before the error goes on.
  void FinishWork();
  void NotifyOperator(const char16_t* sender, DWORD code, void* param);
  // A command (ui null) or its update-UI: the current tool first, then the space's own.
  BOOL OnCmdMsg(UINT id, CmdUIState* ui);
  // A view message: the current tool first (TRUE: it took it), then the space's own
  // handling of WM_SIZE. *result is the message's answer.
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // The mouse capture of the view, shared by the buttons of a drag: the view takes it with
  // the first bit and lets it go with the last. Each returns the mask after the change.
  DWORD CaptureButton(DWORD bit);
  DWORD ReleaseButton(DWORD bit);
  // Every bit cleared and the capture let go (a button went up outside the view).
  void ReleaseAllButtons();
  DWORD GetCaptureMask() const { return m_dwCaptureMask; }

  // View navigation. Client points are view pixels.
  // A request of a scroll bar (WM_HSCROLL / WM_VSCROLL's wParam).
  void OnHScroll(WPARAM wParam, LPARAM lParam = 0);
  void OnVScroll(WPARAM wParam, LPARAM lParam = 0);
  // Pans by (dx, dy) client pixels, dropping a component that would push the space further
  // out of view. With applied, the kept offset goes there and the caller redraws (its
  // RefreshDraw moves the view); without, the space moves the view and redraws.
  void ScrollBy(int x, int y, int dx, int dy, POINT* applied);
  // Takes the view's angle and scale as the base of a rotate-and-zoom drag; the current
  // tool's m_ptMButton is its start point.
  void BeginGesture();
  // Rotates and zooms from the gesture's base by the drag to (x, y) around the client
  // centre; redraws unless bNoRedraw.
  void RotateZoomBy(int x, int y, int dx, int dy, BOOL bNoRedraw);
  // Scales the view by factor (within the zoom range) keeping the space point under (x, y).
  void ZoomAt(int x, int y, float factor);
  // Mirrors the view keeping the space point under (x, y).
  void FlipViewAt(int x, int y);
  // The wheel (WM_MOUSEWHEEL or WM_MOUSEHWHEEL) at the client point: pans up and down,
  // with Shift (or the horizontal wheel) left and right, with Ctrl zooms at the point.
  void OnMouseWheel(UINT msg, WPARAM wParam, POINT at);
  // Selects the topmost layer that shows at the client point; FALSE when the selection
  // stays as it is.
  BOOL OnFlowerSelectLayer(int x, int y);
  // The row of the topmost layer that shows at the client point (the current row counts even
  // when hidden), or -1; the space pixel there goes to spacePoint when given.
  int PickLayerAt(int x, int y, POINT* spacePoint);
  // The space's edges as snap lines: 0 and the width, 0 and the height.
  void AddSpaceEdges(FloatList* xList, FloatList* yList);

  // The document file's first unit.
  OFileSave* GetFileSave() { return &m_xFileSave; }
  OFileLoad* GetFileLoad() { return &m_xFileLoad; }

  OWorker* GetWorker() const { return m_cpWorker.get(); }
  OUndoRecorder* GetUndoStore() const { return m_cpUndo.get(); }
  OUndoRecorder* GetRedoStore() const { return m_cpRedo.get(); }
  GLock& GetDrawLock() { return m_lockDraw; }
  OShowDevice* GetShowDevice() const { return m_pDevice; }
  GSystem* GetSystem() const { return m_pSystem; }
  CMyListLayer* m_pwndListLayer = nullptr;
  // One job record shared by the space and its tools (argument block of 4096 bytes).
  JobRecord m_job{};

 private:
  class XUndoInner final : public OUndoHandler {
   public:
    XUndoInner(CPaintSpace* space, bool redo) : m_pSpace(space), m_bRedo(redo) {}
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    void* GetInterface(const char16_t*) override { return nullptr; }
    int32_t Execute(OUndoRestore* record, OUndoStore* opposite) override;
    void AfterUndo() override;
    const char16_t* GetClassName() const { return m_bRedo ? u"CPaintSpace::XRedoInner" : u"CPaintSpace::XUndoInner"; }

    uint32_t m_dwFlags = 0;  // bit 0: a resize record was applied

   private:
    CPaintSpace* m_pSpace;
    bool m_bRedo;
  };

  class XFileSave final : public OFileSave {
   public:
    explicit XFileSave(CPaintSpace* space) : m_pSpace(space) {}
    BOOL Begin(UINT*) override { return TRUE; }
    BOOL Save(OFileOut* file, uint64_t* pBytes, JobControl* control) override;
    BOOL End() override { return TRUE; }

   private:
    CPaintSpace* m_pSpace;
  };

  class XFileLoad final : public OFileLoad {
   public:
    explicit XFileLoad(CPaintSpace* space) : m_pSpace(space) {}
    BOOL Begin() override;
    BOOL Load(OFileIn* file, uint64_t* pBytes, JobControl* control) override;
    BOOL End(BOOL bFailed) override;

   private:
    CPaintSpace* m_pSpace;
    SpaceSection m_section{};
    BOOL m_bRead = FALSE;
  };

  // The worker's redraw: the latest requested view and layers, merged while a pass runs.
  class RefreshJob {
   public:
    enum State : int32_t { myIDLE = 0, myRUNNING = 1, myEXITING = 2 };
    explicit RefreshJob(CPaintSpace* space) : m_pSpace(space) {}
    ~RefreshJob() { DropLayers(); }
    int32_t ____Refresh(JobRecord* job, JobControl* control);
    // Under m_lock: the request's layers, each with a reference.
    void TakeLayers(CMyListLayer* list, int count);
    void DropLayers();

    GLock m_lock;
    ViewTransform m_transform{};
    BOOL m_bDirty = FALSE;
    State m_state = myIDLE;
    int m_nLayerCount = 0;
    int m_nSelected = -1;
    OLayer* m_apLayers[LYR_MAX_SUM] = {};

   private:
    CPaintSpace* m_pSpace;
  };

  // One screen pass of the given layers, under the drawing lock.
  void ComposeAndPresent(const ViewTransform& view, OLayer* const* layers, int count, int selected);
  void RunFlushThread();
  // Moves every layer of the list by (dx, dy).
  void MoveLayers(int dx, int dy, bool mipRefresh);
  void UndoOrRedo(int steps, bool redo);
  void SetCentre(float x, float y);
  // A view command and its update-UI.
  void OnViewCommand(UINT id);
  void OnViewUpdate(UINT id, CmdUIState* ui);
  // The view changed: bars, a full composition on the next paint.
  void ViewChanged(BOOL erase);
  // Both bars' positions and pages from the scroll extent of the transform.
  void ComputeScrollBars(const ViewTransform* transform);
  // The bar's position after a scroll request; the view centre follows it.
  void ScrollBarTo(int bar, int pos);
  OLayer* CurrentLayer();

  GSystem* m_pSystem;
  OShowDevice* m_pDevice;
  IPaintSpaceHost* m_pHost = nullptr;
  CColorBar* m_pColorBar = nullptr;
  NewSpaceSize* m_pNewSize = nullptr;
  XUndoInner m_xUndoInner{this, false};
  XUndoInner m_xRedoInner{this, true};
  RefreshJob m_refresh{this};
  XFileLoad m_xFileLoad{this};
  XFileSave m_xFileSave{this};
  std::atomic<int32_t> m_myState{myNULL};
  UINT m_uWidth = 0;
  UINT m_uHeight = 0;
  COLORREF m_dwBackground = 0;
  ViewTransform m_transform{};
  ViewTransform m_transSpare{};
  std::atomic<BOOL> m_bCompositeValid{FALSE};
  std::atomic<BOOL> m_bRunning{TRUE};
  GCompRef<OWorker> m_cpWorker;
  GLock m_lockDraw;
  GCompRef<OData> m_cpJobArgs;
  COperation* m_pDefaultOperator = nullptr;
  GList<COperation> m_listOperators;
  COperation* m_pCurOperator = nullptr;
  UINT m_nPrevOperator = 0;
  float m_fGestureAngle = 0.0f;
  float m_fGestureScale = 1.0f;
  DWORD m_dwCaptureMask = 0;
  ScrollBarState m_sbHorz{0, SPACE_SCROLL_RANGE};
  ScrollBarState m_sbVert{0, SPACE_SCROLL_RANGE};
  std::atomic<BOOL> m_bFlushBusy{FALSE};
  // Set while undo or redo steps run: they hold the drawing lock, and a redraw request waits
  // for their end rather than starting a pass the worker would block on.
  BOOL m_bStepsRunning = FALSE;
  plat::Event m_evStop;  // wakes the flush thread early when the space goes
  plat::Thread m_threadFlush;
  GCompRef<OUndoRecorder> m_cpUndo;
  GCompRef<OUndoRecorder> m_cpRedo;
  bool m_bAttached = false;
};

// Holds the current tool aside for the length of a layer command: the default tool is
// current meanwhile, and the remembered tool is selected again however the command ends.
class COperatorSuspend {
 public:
  explicit COperatorSuspend(CPaintSpace* space);
  ~COperatorSuspend();
  COperatorSuspend(const COperatorSuspend&) = delete;
  COperatorSuspend& operator=(const COperatorSuspend&) = delete;

 private:
  CPaintSpace* m_pSpace;
  UINT m_nID = 0;
};

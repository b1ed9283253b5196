// The free-mapping tool: bends the layer marked as the source over the current layer (the
// destination) through a 3 x 3 Bezier control lattice. The lattice lives in view client
// pixels relative to the client centre, so it stays put on the screen while the view scrolls,
// turns and zooms. The distortion component draws the live preview of the warped source over
// the destination; command ID_DISTORT_DOWN renders the warp into the destination as a worker
// job behind the progress display and records the step "自由帖图". While the tool is current
// it draws the view itself: the destination alone, the preview and the lattice.
#pragma once
#include <cstdint>

#include "frame/ResourceIds.h"
#include "odata/GCompRef.h"
#include "odata/ODistort.h"
#include "odata/OLayer.h"
#include "tools/FunctionMenu.h"
#include "tools/Operation.h"
#include "tools/ToolUndo.h"

namespace gui {
class DeviceContext;
}

// Lattice kinds of GetCtrlPoint: (columns - 2) * 3 + (rows - 2); the tool lays out 3 x 3.
constexpr UINT myCTRLPT_3X3 = 4;
constexpr UINT myCTRLPTCNT = 9;
// A lattice point is held within this many pixels of the client centre: far enough for any
// view, near enough that the renderer's fixed-point mesh keeps it exactly (it holds its own
// points to the same reach).
constexpr float DISTORT_LATTICE_REACH = 1048576.0f;

class COperDistort final : public COperation {
 public:
  enum State : int32_t { myDRAG = 2 };
  // The undo tag of a render.
  static constexpr uint32_t kTagDistort = 1;
  // A press this close to a control point (client pixels) drags that point.
  static constexpr float kHitRadius = 12.0f;

  COperDistort();

  const char16_t* GetClassName() const override { return u"COperDistort"; }
  UINT GetID() override;
  int Activate() override;
  void Deactivate() override;
  BOOL IsReady() override { return m_myState == myREADY; }
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  BOOL OnCmdMsg(UINT id, CmdUIState* ui) override;
  BOOL RefreshSpace() override;
  void OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void* param) override;
  void FinishWork() override { m_myState = myREADY; }
  CFunctionMenu* GetFunctionMenu() override { return &m_menu; }
  BOOL ApplyUndoStep(CToolUndoReplay& step) override;

  // Takes the layers again; lays the lattice out anew when the source changed or reset is
  // asked; re-renders the preview and asks for a full redraw.
  void Refresh(BOOL reset);
  // Renders the warp into the destination (the command ID_DISTORT_DOWN). FALSE when it was
  // refused, failed or cancelled: the destination is then as it was and no step is written.
  BOOL OnDistortDown();
  // The view: the destination alone (moved by scroll), the preview and the lattice.
  void RefreshDraw(const POINT* scroll);

  // The initial lattice of the kind for a client and a source size: centred on the view,
  // fitted to the source's aspect, half the client in its larger fitting direction and never
  // under 256 x 256 before fitting. Throws "!(UINT)myCTRLPT<myCTRLPTCNT" for a kind of 9 up.
  static void GetCtrlPoint(DistortArgs* args, UINT kind, int clientWidth, int clientHeight, int srcWidth,
                           int srcHeight);
  // Tells why the tool cannot work: without a source the view shows this line over it.
  const char16_t* GetNotice() const;

  int32_t m_myState = myREADY;
  GCompRef<OLayer> m_cpLayerDst;
  GCompRef<OLayer> m_cpLayerSrc;
  GCompRef<ODistort> m_cpDistort;
  // The lattice (centre-relative client pixels), density, facing and the source's colour and
  // mode; the image head is filled each time the source is locked.
  DistortArgs m_args{};
  // The lattice at the last left press, for a cancelling right click.
  DistortArgs m_argsSaved{};
  // The dragged point (row * 4 + column), or -1 while the whole lattice moves.
  int m_nCtrlPt = -1;

 protected:
  ~COperDistort() override;
  // A left drag starts beyond 1 pixel, a right or middle drag beyond 2.
  DragThresholds GetDragThresholds() const override;
  BOOL DrawsViewItself() const override { return TRUE; }
  void RedrawView(const POINT* scroll) override;

 private:
  class XMenu final : public CFunctionMenu {
   public:
    explicit XMenu(COperDistort* tool);
    const char16_t* GetLabel(UINT item, int state) override;
    void Run(int x, int y, UINT item, DWORD popupTick) override;

   private:
    COperDistort* m_pTool;
  };

  // The layer list's current and source layers; TRUE when the source is another one.
  BOOL TakeLayers();
  BOOL HasDestination() const { return m_cpLayerDst && m_cpLayerDst.get() != m_cpLayerSrc.get(); }
  BOOL CanRender() const { return m_cpLayerSrc && HasDestination(); }
  // Re-rasterises the preview from the lattice moved into client pixels (the source locked
  // meanwhile).
  void RenderPreview();
  // The preview no longer fits the back buffer (a new client size): rasterise it again.
  void EnsurePreview();
  // The view without recomposing the destination: the preview over the back buffer, the
  // lattice, the destination's frame (or the back buffer and the notice without a source).
  void DrawOverlay();
  void DrawLattice(gui::DeviceContext* dc);
  void OnDraw();
  void OnLButtonDown(POINT pt);
  void OnLButtonUp();
  void OnMouseMove(WPARAM wParam, POINT pt);
  // A right click or a SPACE tap at pt: the ring menu, or during a left drag its cancel.
  void OnRButtonUp_Function(POINT pt) override;
  // Moves the dragged point, or the whole lattice, by (dx, dy); points stay within reach.
  void MoveLattice(float dx, float dy);
  // The render copy of the lattice: space coordinates, the facing the view shows.
  DistortArgs SpaceArgs();

  XMenu m_menu{this};
  CToolUndoParts m_parts{this};
  // The back-buffer size the preview was rasterised for; 0 x 0: none yet.
  SIZE m_szPreview{0, 0};
  // The source the lattice was laid out for (by ID: it outlasts the tool's references).
  BOOL m_bLaidOut = FALSE;
  UINT m_nSourceID = 0;
};

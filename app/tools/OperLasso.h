// The surgery tool: the user draws a free-hand outline (the lasso) on the current layer; on
// release the enclosed part is lifted as an anti-aliased piece inside a frame, a turned
// rectangle with four corner handles. The frame moves, resizes along its own axes or turns
// and scales; every finished drag maps the piece into the layer again with the fast mapping,
// and command ID_LASSO_DOWN maps it once more, supersampled, as a worker job before putting
// it down ("手术"). A lifted piece can be cut or copied to the internal layer clipboard, a
// clipboard piece pasted into a new frame ("手术>粘贴"), a cut leaves the hole ("手术>剪切"),
// and the cut mode turns every lasso into a cut at once.
//
// While a piece is lifted the edited layer's paint transaction stays open: its backup surface
// holds the layer as it was at the lift, so that each mapping first turns back the blocks the
// previous frame touched, and the put-down records exactly those blocks.
#pragma once
#include <cstdint>
#include <deque>

#include "frame/ResourceIds.h"
#include "odata/GCompRef.h"
#include "odata/OLasso.h"
#include "odata/OLayer.h"
#include "tools/FunctionMenu.h"
#include "tools/Geometry.h"
#include "tools/Operation.h"
#include "tools/ToolUndo.h"

namespace gui {
class DeviceContext;
}

class COperLasso final : public COperation {
 public:
  enum State : int32_t { myLASSO = 2, myLIFT = 3 };
  static constexpr uint32_t kTagSurgery = 1;
  // Hit-test bits: a corner (its index in the low 16 bits) and the inside of the frame.
  static constexpr int kHitCorner = 0x10000;
  static constexpr int kHitInside = 0x20000;
  // A press this close to a corner (client pixels) grabs it.
  static constexpr float kCornerReach = 13.5f;
  // WM_PAINT draws at most this many of the newest outline points.
  static constexpr int kPaintedPoints = 1024;

  COperLasso();

  const char16_t* GetClassName() const override { return u"COperLasso"; }
  UINT GetID() override;
  int Activate() override;
  void Deactivate() override;
  BOOL IsReady() override { return m_myState == myREADY; }
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  BOOL OnCmdMsg(UINT id, CmdUIState* ui) override;
  void OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void* param) override;
  // Puts a lifted piece down; an error there returns the tool to ready with both stores
  // emptied (the open transaction can no longer be recorded) and goes to the error report.
  void FinishWork() override;
  CFunctionMenu* GetFunctionMenu() override { return &m_menu; }
  BOOL ApplyUndoStep(CToolUndoReplay& step) override;

  // The steps, public for the commands and the tests.
  // The outline's enclosed part of the current layer becomes the lifted piece.
  void LiftUp();
  // The clipboard's piece, centred on the view, becomes the lifted piece.
  void LiftUpFromPaste();
  // Maps the piece into the frame: withJob the supersampled mapping as a worker job behind
  // the progress display. FALSE when that job was cancelled or failed (the fast mapping is
  // then in place).
  BOOL Impress(BOOL withJob);
  // The put-down with its step (none when the piece was never mapped).
  void PutDown();
  // Removes the piece: a lifted one leaves its hole with the step "手术>剪切", a pasted one
  // leaves nothing.
  void PutDownFromCut();
  void OnLassoDown();
  void OnEditCut();
  void OnEditCopy();
  void OnEditPaste();
  // Which part of the frame a client point hits (kHitCorner | index, kHitInside).
  int HitTest(POINT pt) const;

  int32_t m_myState = myREADY;
  GCompRef<OLayer> m_cpLayer;
  GCompRef<OLayer> m_cpLayerLift;
  GCompRef<OLayer> m_cpLayerAlpha;
  // The pasted piece's pixels stay in the clipboard's block: held here while it is lifted, so
  // that a copy or a clear of the clipboard meanwhile cannot free them.
  GCompRef<OData> m_cpPasteData;
  // The source of every mapping: the piece's description and its pixels.
  LayerLock m_imgLift;
  POINTF m_aptLast[4] = {};
  POINTF m_aptDown[4] = {};
  int m_nHit = 0;
  BOOL m_bImpressed = FALSE;
  BOOL m_bFromPaste = FALSE;
  BOOL m_bFrameShown = FALSE;
  BOOL m_bCutMode = FALSE;
  // Newest point first, space coordinates.
  std::deque<POINTF> m_qLasso;
  GCompRef<OLasso> m_cpLasso;
  RotatedRect m_rrFrame;
  RotatedRect m_rrFrameSaved;
  BOOL m_bRotate = FALSE;
  // The press point in space pixels, set when a left drag starts.
  POINTF m_ptDownSpace{0, 0};

 protected:
  ~COperLasso() override;
  // Left beyond 1 pixel, right and middle beyond 8.
  DragThresholds GetDragThresholds() const override;

 private:
  class XMenu final : public CFunctionMenu {
   public:
    explicit XMenu(COperLasso* tool);
    const char16_t* GetLabel(UINT item, int state) override;
    void Run(int x, int y, UINT item, DWORD popupTick) override;

   private:
    COperLasso* m_pTool;
  };

  void OnLButtonDown(POINT pt);
  void OnLButtonUp();
  void OnMouseMove(WPARAM wParam, POINT pt);
  void OnRButtonUp_Function(POINT pt) override;
  void OnCaptureChanged();
  // Moves the frame with the left drag at the client point.
  void DragFrame(POINT pt);
  POINTF ClientToSpace(float x, float y) const;
  POINTF SpaceToClient(const POINTF& p) const;
  // The piece at (left, top) of the given size becomes lifted on the layer: its frame (the
  // rectangle grown by a pixel) and the layer's transaction with the backup of the lift.
  void BeginLift(OLayer* layer, LONG left, LONG top, LONG width, LONG height, BOOL fromPaste);
  // The row that holds the edited layer; throws when it is gone from the list.
  int EditedRow() const;
  // Turns back the blocks of rc (marked anew) to their state at the lift and makes the hole
  // again inside them. Returns the marked block rectangle.
  RECT TurnBack(const RECT& rc);
  // The supersampled mapping into dest as a worker job behind the progress display; FALSE
  // when it was cancelled or failed.
  BOOL RunMappingJob(const LayerLock& dest, const float quad[8]);
  // Ends the lift: the transaction closed, the pieces released.
  void DropLift();
  // The step of the marked blocks as they were at the lift.
  void WriteStep(int row, const char16_t* label);
  // Every pixel of the view again, the overlays after it.
  void FullRedraw();
  void OnDraw();
  // The XOR frame: the one shown erased, then (show) the current one drawn.
  void DrawFrame(gui::DeviceContext* dc, BOOL show);
  // The newest count outline points joined in XOR.
  void DrawOutline(gui::DeviceContext* dc, int count);

  XMenu m_menu{this};
  CToolUndoParts m_parts{this};
  // The client corners of the XOR frame on the screen.
  POINTF m_aptShown[4] = {};
};

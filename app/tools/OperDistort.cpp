#include "OperDistort.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/DataBlocks.h"
#include "core/JobRunner.h"
#include "core/PaintSpace.h"
#include "core/ViewDC.h"
#include "odata/GError.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Resources.h"

namespace {

const char16_t* const kNotCurrent = u"!m_cpLayerDst.m_ptr==m_pPaintSpace->m_pwndListLayer->GetLayer(nSel)";
const char16_t* const kLabel = u"自由帖图";
// The first line of the tool's prompt: what it needs.
const char16_t* const kNoSource = u"自由贴图，该功能需要在图层栏指定一个源";
constexpr COLORREF kSolidPen = 0x606060;
constexpr COLORREF kDottedPen = 0x202020;
constexpr int kPointRadius = 8;
constexpr int kMinHalfSide = 256;

float ClampReach(float v) { return std::clamp(v, -DISTORT_LATTICE_REACH, DISTORT_LATTICE_REACH); }

// Calls f(row, column) for every point the lattice uses.
template <class F>
void ForEachPoint(const DistortArgs& args, F f) {
  const int rows = std::clamp(args.Density.y, 0, 4), cols = std::clamp(args.Density.x, 0, 4);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) f(i, j);
}

}  // namespace

COperDistort::COperDistort() { m_nOptionToolBar = IDR_OPT_DISTORT; }

COperDistort::~COperDistort() = default;

UINT COperDistort::GetID() { return ID_OPER_DISTORT; }

DragThresholds COperDistort::GetDragThresholds() const {
  return {{DragThreshold::myAXIS, 1}, {DragThreshold::myAXIS, 2}, {DragThreshold::myAXIS, 2}};
}

const char16_t* COperDistort::GetNotice() const { return m_cpLayerSrc ? nullptr : kNoSource; }

// ---------------------------------------------------------------------------------------------
// Activation and the lattice

int COperDistort::Activate() {
  try {
    if (!m_cpDistort) {
      m_cpDistort = NewInterface<ODistort>(m_pPaintSpace->GetSystem(), u"Talvene", u"ODistort");
      GVERIFY(m_cpDistort, u"!m_cpDistort.IsValid()");
    }
    HandOverOptions();
    m_myState = myREADY;
    Refresh(FALSE);
    return 0;
  }
  GCATCH(GetClassName(), u"::Activate()")
}

void COperDistort::Deactivate() {
  try {
    m_cpDistort = nullptr;
    m_cpLayerSrc = nullptr;
    m_cpLayerDst = nullptr;
    m_szPreview = SIZE{0, 0};
    m_myState = myREADY;
    // The back buffer holds this tool's picture, not the space's.
    m_pPaintSpace->InvalidateComposite();
  }
  GCATCH(GetClassName(), u"::Deactivate()")
}

BOOL COperDistort::TakeLayers() {
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  m_cpLayerDst = list ? list->GetCurLayer() : nullptr;
  m_cpLayerSrc = list ? list->GetSourceLayer() : nullptr;
  if (!m_cpLayerSrc) return FALSE;
  // By identity, so that the lattice survives the tool's deactivation with the same source.
  const UINT id = m_cpLayerSrc->GetID();
  const BOOL changed = !m_bLaidOut || id != m_nSourceID;
  m_nSourceID = id;
  return changed;
}

void COperDistort::Refresh(BOOL reset) {
  try {
    if (TakeLayers() || (reset && m_cpLayerSrc)) {
      m_args = DistortArgs{};
      m_args.Density = DistortDensity{3, 3};
      RECT rc;
      m_cpLayerSrc->GetRect(&rc);
      const ViewTransform* t = m_pPaintSpace->m_pTransform;
      GetCtrlPoint(&m_args, myCTRLPT_3X3, t->clientWidth, t->clientHeight, int(rc.right - rc.left),
                   int(rc.bottom - rc.top));
      m_bLaidOut = TRUE;
    }
    RenderPreview();
    m_pPaintSpace->InvalidateComposite();
    m_pPaintSpace->InvalidateView();
  }
  GCATCH(GetClassName(), u"::Refresh()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(reset)))
}

void COperDistort::GetCtrlPoint(DistortArgs* args, UINT kind, int clientWidth, int clientHeight, int srcWidth,
                                int srcHeight) {
  try {
    GVERIFY(kind < myCTRLPTCNT, u"!(UINT)myCTRLPT<myCTRLPTCNT");
    const int cols = int(kind / 3) + 2, rows = int(kind % 3) + 2;
    int64_t a = std::max(clientWidth / 2, kMinHalfSide), b = std::max(clientHeight / 2, kMinHalfSide);
    const int64_t w = std::max(srcWidth, 1), h = std::max(srcHeight, 1);
    if (double(a) / double(b) > double(w) / double(h)) a = w * b / h;
    else b = h * a / w;
    a = std::max<int64_t>(a, 4);
    b = std::max<int64_t>(b, 4);
    const int64_t f = a / 2, g = b / 2;
    args->Density = DistortDensity{cols, rows};
    for (int i = 0; i < rows; ++i)
      for (int j = 0; j < cols; ++j)
        args->Point(i, j) = DistortPoint{float(a * j / (cols - 1) - f), float(b * i / (rows - 1) - g)};
  }
  GCATCH(u"COperDistort", u"::GetCtrlPoint()", ->AppendArg(GArgUint(kind)))
}

void COperDistort::MoveLattice(float dx, float dy) {
  const auto clamp = [](DistortPoint& p) {
    p.x = ClampReach(p.x);
    p.y = ClampReach(p.y);
  };
  if (m_nCtrlPt >= 0 && m_nCtrlPt < 16) {
    DistortPoint& p = m_args.lattice[m_nCtrlPt];
    p.x += dx;
    p.y += dy;
    clamp(p);
    return;
  }
  m_cpDistort->Offset(&m_args, dx, dy);
  ForEachPoint(m_args, [&](int i, int j) { clamp(m_args.Point(i, j)); });
}

DistortArgs COperDistort::SpaceArgs() {
  const ViewTransform* t = m_pPaintSpace->m_pTransform;
  OShowDevice* device = m_pPaintSpace->GetShowDevice();
  DistortArgs copy = m_args;
  const float cx = float(t->clientWidth / 2), cy = float(t->clientHeight / 2);
  ForEachPoint(copy, [&](int i, int j) {
    DistortPoint& p = copy.Point(i, j);
    const float client[2] = {cx + p.x, cy + p.y};
    float space[2];
    device->ClientToSpace(space, client, t);
    p = DistortPoint{space[0], space[1]};
  });
  // A mirrored view shows the other winding as the front; the layer gets what the view shows.
  if (t->flags & VIEW_FLAG_FLIP) copy.dwFlags ^= DISTORT_F_FACING;
  return copy;
}

// ---------------------------------------------------------------------------------------------
// Preview and view

void COperDistort::RenderPreview() {
  if (!m_cpDistort || !m_cpLayerSrc) return;
  OLayer* source = m_cpLayerSrc;
  m_cpDistort->ShowRefreshLayerColorMode(&m_args, source);
  CPaintSpace* space = m_pPaintSpace;
  GAutoLock lock(space->GetDrawLock());
  LayerLock image;
  if (!image.Lock(source, LYR_LOCK_READ)) return;
  const uint32_t colour = m_args.dwColor;
  m_args.SetImage(image);
  m_args.dwColor = colour;
  DistortArgs copy = m_args;
  const ViewTransform* t = space->m_pTransform;
  m_cpDistort->Offset(&copy, float(t->clientWidth / 2), float(t->clientHeight / 2));
  OShowDevice* device = space->GetShowDevice();
  m_cpDistort->ShowRefresh(device, &copy);
  LayerLock back;
  device->GetBackBuffer(&back);
  m_szPreview = SIZE{back.nWidth, back.nHeight};
}

void COperDistort::EnsurePreview() {
  LayerLock back;
  m_pPaintSpace->GetShowDevice()->GetBackBuffer(&back);
  if (back.nWidth != m_szPreview.cx || back.nHeight != m_szPreview.cy) RenderPreview();
}

BOOL COperDistort::RefreshSpace() {
  RefreshDraw(nullptr);
  return TRUE;
}

void COperDistort::RefreshDraw(const POINT* scroll) {
  try {
    CPaintSpace* space = m_pPaintSpace;
    if (space->GetState() != CPaintSpace::myREADY) return;
    GAutoLock lock(space->GetDrawLock());
    OShowDevice* device = space->GetShowDevice();
    ViewTransform* t = space->m_pTransform;
    if (HasDestination()) {
      device->DrawSingleLayer(t, m_cpLayerDst, nullptr, scroll);
    } else if (device->DrawBegin(t, TRUE)) {
      device->DrawEnd(nullptr, scroll);
    }
    if (scroll) device->ScrollView(t, scroll->x, scroll->y);
    space->ValidateComposite();
    DrawOverlay();
  }
  GCATCH(GetClassName(), u"::RefreshDraw()", ->AppendArg(GArgInt(m_myState)))
}

void COperDistort::DrawOverlay() {
  CPaintSpace* space = m_pPaintSpace;
  IPaintSpaceHost* host = space->GetHost();
  OShowDevice* device = space->GetShowDevice();
  const ViewTransform* t = space->m_pTransform;
  if (m_cpLayerSrc && m_cpDistort) {
    EnsurePreview();
    m_cpDistort->ShowRefreshLayerColorMode(&m_args, m_cpLayerSrc);
    const RECT client{0, 0, t->clientWidth, t->clientHeight};
    {
      DcScope target(host, nullptr);
      m_cpDistort->Show(device, target.Get(), &client, TRUE);
    }
    CViewDC dc(host);
    DrawLattice(dc.Get());
  } else {
    {
      DcScope target(host, nullptr);
      if (target.Get()) device->Preset(target.Get(), nullptr);
    }
    CViewDC dc(host);
    if (dc) {
      dc->SetBkMode(gui::OPAQUE);
      dc->SetBkColor(0xFFFFFF);
      dc->SetTextColor(0x000000);
      dc->TextOut(8, 8, kNoSource);
    }
  }
  if (HasDestination()) space->DrawLayerFrame(nullptr, m_cpLayerDst);
}

void COperDistort::DrawLattice(gui::DeviceContext* dc) {
  if (!dc) return;
  const ViewTransform* t = m_pPaintSpace->m_pTransform;
  DistortArgs copy = m_args;
  m_cpDistort->Offset(&copy, float(t->clientWidth / 2), float(t->clientHeight / 2));
  const int rows = copy.Density.y, cols = copy.Density.x;
  const auto at = [&](int i, int j) {
    const DistortPoint& p = copy.Point(i, j);
    return POINT{LONG(p.x), LONG(p.y)};
  };
  const int oldRop = dc->SetROP2(gui::R2_NOTXORPEN);
  // The border solid, the inner lines dotted.
  const auto line = [&](POINT a, POINT b, bool border) {
    dc->SetPen(border ? gui::PS_SOLID : gui::PS_DOT, border ? kSolidPen : kDottedPen);
    dc->MoveTo(a.x, a.y);
    dc->LineTo(b.x, b.y);
  };
  ForEachPoint(copy, [&](int i, int j) {
    const POINT p = at(i, j);
    dc->SetPen(gui::PS_SOLID, kSolidPen);
    dc->MoveTo(p.x + kPointRadius, p.y);
    dc->AngleArc(p.x, p.y, kPointRadius, 0.0f, 360.0f);
    if (j > 0) line(at(i, j - 1), p, i == 0 || i == rows - 1);
    if (i > 0) line(at(i - 1, j), p, j == 0 || j == cols - 1);
  });
  dc->SetROP2(oldRop);
}

void COperDistort::OnDraw() {
  try {
    CPaintSpace* space = m_pPaintSpace;
    GAutoLock lock(space->GetDrawLock());
    if (!space->IsCompositeValid()) RefreshDraw(nullptr);
    else DrawOverlay();
  }
  GCATCH(GetClassName(), u"::OnDraw()", ->AppendArg(GArgInt(m_myState)))
}

void COperDistort::RedrawView(const POINT* scroll) {
  CPaintSpace* space = m_pPaintSpace;
  GAutoLock lock(space->GetDrawLock());
  if (scroll && !space->IsCompositeValid()) {
    // The back buffer holds no current view to move: compose the whole moved view.
    space->GetShowDevice()->ScrollView(space->m_pTransform, scroll->x, scroll->y);
    RefreshDraw(nullptr);
  } else {
    RefreshDraw(scroll);
  }
}

// ---------------------------------------------------------------------------------------------
// The render

BOOL COperDistort::OnDistortDown() {
  try {
    CPaintSpace* space = m_pPaintSpace;
    CMyListLayer* list = space->m_pwndListLayer;
    if (!list || !list->CheckWritable(FALSE)) return FALSE;
    if (list->GetCurLayer() != m_cpLayerDst.get() || list->GetSourceLayer() != m_cpLayerSrc.get()) Refresh(FALSE);
    OWorker* worker = space->GetWorker();
    if (!m_cpDistort || !CanRender() || !worker) return FALSE;
    worker->Wait(FALSE);
    if (!worker->IsReady()) return FALSE;

    OLayer* dest = m_cpLayerDst;
    OLayer* source = m_cpLayerSrc;
    DistortArgs args = SpaceArgs();
    m_cpDistort->ShowRefreshLayerColorMode(&args, source);
    LayerLock image;
    GCHECK(image.Lock(source, LYR_LOCK_READ));
    const uint32_t colour = args.dwColor;
    args.SetImage(image);
    args.dwColor = colour;

    // Only the blocks the mesh may reach are kept for undo.
    RECT bound;
    m_cpDistort->GetBound(&bound, &args);
    GCompRef<OData> before;
    {
      GAutoLock lock(space->GetDrawLock());
      dest->PAT_MarkClear();
      dest->PAT_MarkSet(&bound, nullptr);
      before = dest->PAT_Backup(FALSE);
    }

    int32_t result = 0;
    {
      LayerLock target;
      GCHECK(target.Lock(dest, LYR_LOCK_MARKED));  // the mesh stays inside bound
      try {
        JobRecord& job = space->m_job;
        m_cpDistort->Impress(&target, &args, &job);
        ILayerAsk* ask = list->GetAsk();
        CJobRunner* runner = RunnerOrHeadless(ask ? ask->GetJobRunner() : nullptr);
        uint32_t flags = 0;
        result = runner->Run(worker, &job, kLabel, 0, &flags);
        if (flags & (JOB_ABORT | JOB_FAILED)) result = 0;
      } catch (...) {
        target.Unlock();
        GAutoLock lock(space->GetDrawLock());
        dest->PAT_Restore(before);
        throw;
      }
    }
    image.Unlock();

    {
      GAutoLock lock(space->GetDrawLock());
      if (result == 1) {
        dest->PAT_MarkMipRefresh();
        dest->AddChangeFlags(LYR_CHANGE_PIXELS);
      } else {
        // Cancelled or failed: the tiles drawn so far go.
        dest->PAT_Restore(before);
      }
    }
    if (result == 1) {
      CToolUndoWriter step(space, dest, kNotCurrent, 88);
      step.AddData(before);
      step.Commit(&m_parts.m_xUndoInner, kTagDistort, kLabel);
    }
    space->InvalidateComposite();
    space->InvalidateView();
    return result == 1;
  }
  GCATCH(GetClassName(), u"::OnDistortDown()", ->AppendArg(GArgInt(m_myState)))
}

BOOL COperDistort::ApplyUndoStep(CToolUndoReplay& step) {
  if (step.GetTag() != kTagDistort) return FALSE;
  step.ReplayBlocks();
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Commands and notifications

BOOL COperDistort::OnCmdMsg(UINT id, CmdUIState* ui) {
  switch (id) {
    case ID_DISTORT_DOWN:
      if (ui) ui->Enable(m_cpDistort && CanRender() ? TRUE : FALSE);
      else OnDistortDown();
      return TRUE;
    case ID_DISTORT_INVERT:
      if (ui) {
        ui->Enable(m_cpLayerSrc ? TRUE : FALSE);
        ui->SetCheck((m_args.dwFlags & DISTORT_F_FACING) != 0);
      } else if (m_cpLayerSrc) {
        try {
          m_args.dwFlags ^= DISTORT_F_FACING;
          Refresh(FALSE);
        }
        GCATCH(GetClassName(), u"::OnDistortInvert()", ->AppendArg(GArgInt(m_myState)))
      }
      return TRUE;
    case ID_DISTORT_RESET:
      if (ui) ui->Enable(m_cpLayerSrc ? TRUE : FALSE);
      else if (m_cpLayerSrc) {
        try {
          Refresh(TRUE);
        }
        GCATCH(GetClassName(), u"::OnDistortReset()", ->AppendArg(GArgInt(m_myState)))
      }
      return TRUE;
    default:
      return COperation::OnCmdMsg(id, ui);
  }
}

void COperDistort::OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void*) {
  try {
    FinishWork();
    const std::u16string from = sender ? sender : u"";
    if ((from == u"CPaintSpace" && (code == myNOTIFY_UNDO || code == myNOTIFY_REDO)) ||
        (from == u"CMyListLayer" && (code == myNOTIFY_SELECT || code == (myNOTIFY_FLAGS | LYR_FLAG_SOURCE))))
      Refresh(FALSE);
  }
  GCATCH(GetClassName(), u"::OnEnvironmentVaryNotify()", ->AppendArg(GArgUint(code)))
}

// ---------------------------------------------------------------------------------------------
// Messages

BOOL COperDistort::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    switch (msg) {
      case WM_SIZE:
        // The space takes the new size after this; the preview follows at the next drawing.
        return FALSE;
      case WM_PAINT:
        OnDraw();
        return TRUE;
      case WM_SETCURSOR:
        return SetToolCursor(lParam, result, IDC_MOVE);
      case WM_TIMER:
        return TRUE;
      case WM_KEYUP:
        return SpaceUpAsRightClick(wParam);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        OnLButtonDown(MsgPoint(lParam));
        return TRUE;
      case WM_LBUTTONUP:
        OnLButtonUp();
        return TRUE;
      case WM_MOUSEMOVE:
        OnMouseMove(wParam, MsgPoint(lParam));
        return TRUE;
      case WM_RBUTTONUP:
        RightButtonUp(lParam);
        return TRUE;
      case WM_CAPTURECHANGED:
        // The lattice keeps where the drag left it.
        if (DropButtons(FALSE)) m_myState = myREADY;
        return TRUE;
      default:
        // The wheel does nothing here: the paint space's wheel scroll would compose every layer
        // over the tool's own view of the destination under the warped source.
        return SwallowWheel(msg, result) || NavigationMsg(msg, wParam, lParam, result);
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg))->AppendArg(GArgInt(m_myState)))
}

void COperDistort::OnLButtonDown(POINT pt) {
  if (m_cpLayerSrc && m_cpDistort && m_myState == myREADY) {
    m_myState = myDRAG;
    m_argsSaved = m_args;
    m_nCtrlPt = -1;
    const ViewTransform* t = m_pPaintSpace->m_pTransform;
    const float cx = float(t->clientWidth / 2), cy = float(t->clientHeight / 2);
    // Rows first to last, the first point within reach in each: the lowest row's wins.
    for (int i = 0; i < m_args.Density.y; ++i)
      for (int j = 0; j < m_args.Density.x; ++j) {
        const DistortPoint& p = m_args.Point(i, j);
        if (std::hypot(cx + p.x - float(pt.x), cy + p.y - float(pt.y)) < kHitRadius) {
          m_nCtrlPt = i * 4 + j;
          break;
        }
      }
  }
  ButtonDown(myLEFT, pt);
}

void COperDistort::OnLButtonUp() {
  ButtonUp(myLEFT);
  if (m_myState == myDRAG) m_myState = myREADY;
}

void COperDistort::OnMouseMove(WPARAM wParam, POINT pt) {
  try {
    const DWORD moved = MouseMove(wParam, pt);
    if (moved & myMOVE_DROPPED) return;
    if (m_nLButton == myDRAGGING && m_myState == myDRAG && m_cpLayerSrc) {
      const float dx = float(pt.x - m_ptLButton.x), dy = float(pt.y - m_ptLButton.y);
      m_ptLButton = pt;
      if (dx == 0.0f && dy == 0.0f) return;
      MoveLattice(dx, dy);
      // Only the preview follows the pointer; the destination under it stays composed.
      RenderPreview();
      OnDraw();
    } else if (m_nLButton == myUP && m_nRButton == myUP && m_nMButton == myUP) {
      // SPACE reaches the tool only through the view.
      if (IPaintSpaceHost* host = m_pPaintSpace->GetHost()) host->TakeFocus();
    }
  }
  GCATCH(GetClassName(), u"::OnMouseMove()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperDistort::OnRButtonUp_Function(POINT pt) {
  try {
    if (m_myState == myDRAG) {
      // Back to the lattice of the press.
      m_args = m_argsSaved;
      m_myState = myREADY;
      RenderPreview();
      m_pPaintSpace->InvalidateComposite();
      RefreshDraw(nullptr);
      return;
    }
    ShowRingMenu(pt);
  }
  GCATCH(GetClassName(), u"::OnRButtonUp_Function()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

// ---------------------------------------------------------------------------------------------
// Ring menu

COperDistort::XMenu::XMenu(COperDistort* tool) : CFunctionMenu(IDB_RING_DISTORT), m_pTool(tool) {}

const char16_t* COperDistort::XMenu::GetLabel(UINT item, int state) {
  if (state <= 0) return u"";
  switch (item) {
    case 9: return u"操作切换";
    case FLOWER_SECTOR_TOPLEFT: return u"辙消";
    case FLOWER_SECTOR_BOTTOMRIGHT: return u"视觉翻转";
    default: return u"";
  }
}

void COperDistort::XMenu::Run(int, int, UINT item, DWORD) {
  CPaintSpace* space = m_pTool->m_pPaintSpace;
  const POINT at = m_pTool->m_ptRButton;
  switch (item) {
    case 9: space->SelectOperator(space->GetPrevOperatorID()); break;
    case FLOWER_SECTOR_TOPLEFT: space->Undo(1); break;
    case FLOWER_SECTOR_BOTTOMRIGHT: space->FlipViewAt(at.x, at.y); break;
    default: break;
  }
}

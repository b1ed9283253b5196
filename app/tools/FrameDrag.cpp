#include "FrameDrag.h"

#include <cmath>
#include <optional>

#include "core/PaintSpace.h"
#include "core/ViewDC.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "platform/gui/Dc.h"

namespace {
constexpr COLORREF kOutlinePen = 0x909090;
}  // namespace

RECT RectFromCorners(POINTF a, POINTF b) {
  return RECT{LONG(std::floor(std::min(a.x, b.x))), LONG(std::floor(std::min(a.y, b.y))),
              LONG(std::ceil(std::max(a.x, b.x))), LONG(std::ceil(std::max(a.y, b.y)))};
}

RECT RectFromCorner(POINTF start, POINTF end, int width, int height) {
  RECT r;
  r.left = end.x >= start.x ? LONG(std::floor(start.x)) : LONG(std::ceil(start.x)) - width;
  r.top = end.y >= start.y ? LONG(std::floor(start.y)) : LONG(std::ceil(start.y)) - height;
  r.right = r.left + width;
  r.bottom = r.top + height;
  return r;
}

COperFrameDrag::COperFrameDrag(UINT ringBitmap, BOOL selectLayer, UINT optionToolBar, UINT noMagnetId)
    : COperLeftDrag(IDC_FRAME), m_menu(this, ringBitmap, selectLayer), m_nNoMagnetId(noMagnetId) {
  m_nOptionToolBar = optionToolBar;
}

COperFrameDrag::~COperFrameDrag() = default;

DragThresholds COperFrameDrag::GetDragThresholds() const {
  return {{DragThreshold::myAXIS, 1}, {DragThreshold::myAXIS, 8}, {DragThreshold::myAXIS, 8}};
}

BOOL COperFrameDrag::OnCmdMsg(UINT id, CmdUIState* ui) {
  if (id != m_nNoMagnetId) return COperation::OnCmdMsg(id, ui);
  if (ui) {
    ui->Enable(TRUE);
    ui->SetCheck(m_bNoMagnet);
  } else {
    m_bNoMagnet = !m_bNoMagnet;
  }
  return TRUE;
}

void COperFrameDrag::Deactivate() {
  if (m_myState == myFRAME) DropFrame();
}

void COperFrameDrag::FinishWork() {
  if (m_myState == myFRAME) DropFrame();
}

void COperFrameDrag::OnPaint() {
  m_pPaintSpace->OnDraw(nullptr);
  // The repaint took the outline away.
  m_bFrameShown = FALSE;
  UpdateFrame(nullptr);
}

void COperFrameDrag::OnCaptureLost() {
  if (m_myState == myFRAME) DropFrame();
}

POINTF COperFrameDrag::PointAt(POINT pt) const {
  const ViewTransform* view = m_pPaintSpace->m_pTransform;
  OShowDevice* device = m_pPaintSpace->GetShowDevice();
  float out[2];
  if (m_bNoMagnet) {
    const float in[2] = {float(pt.x), float(pt.y)};
    device->ClientToSpace(out, in, view);
    return POINTF{out[0], out[1]};
  }
  const float in[2] = {float(pt.x) + 0.5f, float(pt.y) + 0.5f};
  device->ClientToSpace(out, in, view);
  const float t = CSnapLines::Tolerance(m_pPaintSpace);
  return POINTF{CSnapLines::Snap(m_snap.m_aSnapX, out[0], t), CSnapLines::Snap(m_snap.m_aSnapY, out[1], t)};
}

void COperFrameDrag::OnLButtonDown(POINT pt) {
  try {
    m_bFrameShown = FALSE;
    m_snap.Fill(m_pPaintSpace);
    m_ptStart = m_ptEnd = PointAt(pt);
    ButtonDown(myLEFT, pt);
  }
  GCATCH(GetClassName(), u"::OnLButtonDown()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperFrameDrag::OnMouseMove(WPARAM wParam, POINT pt) {
  try {
    const DWORD moved = MouseMove(wParam, pt);
    if (moved & myMOVE_DROPPED) return;
    if (moved & myMOVE_LDRAG) m_myState = myFRAME;
    if (m_nLButton != myDRAGGING || m_myState != myFRAME) return;
    m_ptEnd = PointAt(pt);
    UpdateFrame(nullptr);
  }
  GCATCH(GetClassName(), u"::OnMouseMove()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperFrameDrag::OnLButtonUp() {
  try {
    if (m_myState != myFRAME) return;
    // The rectangle goes however the tool's answer ends, also by an error.
    struct Drop {
      COperFrameDrag* tool;
      ~Drop() { tool->DropFrame(); }
    } drop{this};
    // Another button still held: the rectangle is dropped without asking.
    if (!m_pPaintSpace->GetCaptureMask()) OnFrameDone();
  }
  GCATCH(GetClassName(), u"::OnLButtonUp()", ->AppendArg(GArgInt(m_myState)))
}

void COperFrameDrag::OnRButtonUp_Function(POINT pt) {
  try {
    if (m_myState == myREADY) ShowRingMenu(pt);
    else DropFrame();
  }
  GCATCH(GetClassName(), u"::OnRButtonUp_Function()", ->AppendArg(GArgInt(m_myState)))
}

void COperFrameDrag::DropFrame() {
  m_myState = myREADY;
  m_bFrameShown = FALSE;
  m_pPaintSpace->InvalidateComposite();
  m_pPaintSpace->InvalidateView();
}

void COperFrameDrag::RedrawView(const POINT* scroll) {
  COperation::RedrawView(scroll);
  m_bFrameShown = FALSE;
  UpdateFrame(nullptr);
}

void COperFrameDrag::UpdateFrame(gui::DeviceContext* dc) {
  if (m_myState != myFRAME) return;
  std::optional<CViewDC> own;
  if (!dc) {
    own.emplace(m_pPaintSpace->GetHost());
    dc = own->Get();
  }
  if (!dc) return;
  if (m_bFrameShown) DrawOutline(dc, m_aShown[0], m_aShown[1]);
  m_aShown[0] = m_ptStart;
  m_aShown[1] = m_ptEnd;
  DrawOutline(dc, m_ptStart, m_ptEnd);
  m_bFrameShown = TRUE;
}

void COperFrameDrag::DrawOutline(gui::DeviceContext* dc, POINTF a, POINTF b) {
  const RECT r = RectFromCorners(a, b);
  const float corners[4][2] = {{float(r.left), float(r.top)},
                               {float(r.right), float(r.top)},
                               {float(r.right), float(r.bottom)},
                               {float(r.left), float(r.bottom)}};
  // The view may be turned: each corner is mapped, and the edges follow.
  POINTF c[4];
  for (int i = 0; i < 4; ++i) {
    float out[2];
    m_pPaintSpace->GetShowDevice()->SpaceToClient(out, corners[i], m_pPaintSpace->m_pTransform);
    c[i] = POINTF{out[0], out[1]};
  }
  const ViewTransform* view = m_pPaintSpace->m_pTransform;
  // A line on the client's first row or column is inside: the clip counts its edges out.
  const RECT clip{-1, -1, LONG(view->clientWidth), LONG(view->clientHeight)};
  const int oldRop = dc->SetROP2(gui::R2_XORPEN);
  dc->SetPen(gui::PS_SOLID, kOutlinePen);
  for (int i = 0; i < 4; ++i) {
    POINTF p0 = c[i], p1 = c[(i + 1) % 4];
    if (!ClipSegmentToRect(&p0, &p1, &clip)) continue;
    dc->MoveTo(int(std::lround(p0.x)), int(std::lround(p0.y)));
    dc->LineTo(int(std::lround(p1.x)), int(std::lround(p1.y)));
  }
  dc->SetROP2(oldRop);
}

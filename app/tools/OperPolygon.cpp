#include "OperPolygon.h"

#include <cmath>
#include <optional>

#include "core/PaintSpace.h"
#include "core/ViewDC.h"
#include "odata/GError.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Resources.h"
#include "tools/FillKernels.h"

int COperPolygon::s_nClickInterval = 300;

namespace {

constexpr COLORREF kOutlinePen = 0x909090;

// The point of the quadratic segment from a to b bent towards q, at t.
POINTF QuadPoint(const POINTF& a, const POINTF& b, const POINTF& q, float t) {
  const float u = 1.0f - t;
  return POINTF{u * u * a.x + 2 * t * u * q.x + t * t * b.x, u * u * a.y + 2 * t * u * q.y + t * t * b.y};
}

}  // namespace

COperPolygon::COperPolygon() = default;

COperPolygon::~COperPolygon() = default;

UINT COperPolygon::GetID() { return ID_OPER_POLYGON; }

DragThresholds COperPolygon::GetDragThresholds() const {
  return {{DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 12}};
}

// ---------------------------------------------------------------------------------------------
// Options

BOOL COperPolygon::CreateOptionWindows(gui::GWindow* optionBar) { return m_options.Create(optionBar, m_apOptionWnd); }

void COperPolygon::SwitchFill() {
  if (m_options.GetFillMode() == fill::myERASE) {
    m_nEraseOpacity = m_options.GetOpacity();
    m_options.SetFillMode(m_nSavedMode);
    m_options.SetOpacity(m_nFillOpacity);
  } else {
    m_nFillOpacity = m_options.GetOpacity();
    m_nSavedMode = m_options.GetFillMode();
    m_options.SetFillMode(fill::myERASE);
    m_options.SetOpacity(m_nEraseOpacity);
  }
}

// ---------------------------------------------------------------------------------------------
// Outline

POINTF COperPolygon::ClientToSpace(float x, float y) const {
  const float in[2] = {x, y};
  float out[2];
  m_pPaintSpace->GetShowDevice()->ClientToSpace(out, in, m_pPaintSpace->m_pTransform);
  return POINTF{out[0], out[1]};
}

BOOL COperPolygon::SnapPoint(POINT pt, POINTF* out) const {
  *out = ClientToSpace(float(pt.x) + 0.5f, float(pt.y) + 0.5f);
  if (m_nStage == mySTAGE_NONE || m_dequeArcPoints.empty()) return FALSE;
  const POINTF& p0 = m_dequeArcPoints.front();
  const float reach = kSnapPixels / m_pPaintSpace->m_pTransform->scale;
  if (std::hypot(out->x - p0.x, out->y - p0.y) >= reach) return FALSE;
  *out = p0;
  return TRUE;
}

void COperPolygon::OnLButtonDown(POINT pt) {
  try {
    POINTF p;
    m_bSnap = SnapPoint(pt, &p);
    switch (m_nStage) {
      case mySTAGE_NONE: {
        GVERIFY(m_dequeArcPoints.empty(), u"!m_dequeArcPoints.size()==0");
        CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
        if (!list->GetCurLayer() || !list->CheckWritable(FALSE)) break;
        m_ptA = p;
        m_nStage = mySTAGE_OPEN;
        m_dequeArcPoints.push_back(p);
        m_pPaintSpace->InvalidateView();
        break;
      }
      case mySTAGE_OPEN:
        m_ptB = p;
        m_nStage = mySTAGE_SHAPING;
        m_ptQ = POINTF{(m_ptA.x + m_ptB.x) * 0.5f, (m_ptA.y + m_ptB.y) * 0.5f};
        DrawPreview(nullptr, TRUE);
        break;
      default: GTHROW(u"Should not get here!");
    }
    ButtonDown(myLEFT, pt);
  }
  GCATCH(GetClassName(), u"::OnLButtonDown()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperPolygon::OnLButtonUp() {
  try {
    switch (m_nStage) {
      case mySTAGE_NONE: break;
      case mySTAGE_OPEN: m_pPaintSpace->InvalidateView(); break;
      case mySTAGE_SHAPING:
        m_dequeArcPoints.push_back(m_ptB);
        m_dequeArcPoints.push_back(m_ptQ);
        if (m_bSnap) {
          CloseOutline();
        } else {
          m_ptA = m_ptB;
          m_nStage = mySTAGE_OPEN;
          m_pPaintSpace->InvalidateView();
        }
        break;
      default: GTHROW(u"Should not get here!");
    }
  }
  GCATCH(GetClassName(), u"::OnLButtonUp()")
}

void COperPolygon::CloseOutline() {
  OLayer* layer = m_pPaintSpace->m_pwndListLayer->GetCurLayer();
  const std::deque<POINTF>& q = m_dequeArcPoints;
  // One segment back to its start encloses nothing, nor do two that run between the same
  // ends with the same bend.
  const bool flat = q.size() == 5 && std::hypot(q[2].x - q[4].x, q[2].y - q[4].y) <= 0.5f;
  try {
    if (q.size() > 4 && layer && !flat) Fill(layer, q, m_options.Colour(m_pPaintSpace), m_options.GetFillMode());
  } catch (...) {
    DropOutline();
    throw;
  }
  DropOutline();
  m_pPaintSpace->InvalidateComposite();
}

void COperPolygon::DropOutline() {
  m_dequeArcPoints.clear();
  m_nStage = mySTAGE_NONE;
  m_bPreviewShown = FALSE;
  m_pPaintSpace->InvalidateView(TRUE);
}

BOOL COperPolygon::Fill(OLayer* layer, const std::deque<POINTF>& arcs, uint32_t colour, int mode) {
  try {
    std::deque<POINTF> samples;
    POINTF a = arcs.front();
    for (size_t i = 1; i + 1 < arcs.size(); i += 2) {
      const POINTF& b = arcs[i];
      const POINTF& q = arcs[i + 1];
      for (int s = 0; s < kSegmentSamples; ++s) samples.push_back(QuadPoint(a, b, q, float(s) / kSegmentSamples));
      a = b;
    }
    if (samples.size() < 3) return FALSE;
    const int maskOp = mode == fill::myERASE  ? fill::myMASK_ERASE
                       : mode == fill::myFILL ? fill::myMASK_FILL
                                              : fill::myMASK_MAX;
    return FillSpaceOutline(layer, &samples, colour, mode, maskOp, mode == fill::myERASE ? u"描边>掏空" : u"描边>填充");
  }
  GCATCH(GetClassName(), u"::Fill()")
}

void COperPolygon::TakeBackSegment() {
  std::deque<POINTF>& q = m_dequeArcPoints;
  if (q.empty()) GTHROW(u"Should not be here 0");
  if (q.size() == 2) GTHROW(u"Should not be here 2");
  if (q.size() == 1) {
    q.clear();
    m_nStage = mySTAGE_NONE;
    return;
  }
  q.pop_back();
  q.pop_back();
  // The outline goes on from the end of the last segment left (P0 when none is).
  m_ptA = q.size() == 1 ? q.front() : q[q.size() - 2];
}

void COperPolygon::OnRButtonUp_Function(POINT pt) {
  try {
    if (m_nRButton != myUP) return;
    const DWORD now = GetTickCount();
    if (m_nStage > mySTAGE_NONE && DWORD(now - m_dwLastRight) < DWORD(s_nClickInterval)) {
      DropOutline();
      return;
    }
    m_dwLastRight = now;
    switch (m_nStage) {
      case mySTAGE_NONE:
        if (m_myState == myREADY && m_pPaintSpace->GetCaptureMask() == 0) ShowRingMenu(pt);
        return;
      case mySTAGE_OPEN: TakeBackSegment(); break;
      default: m_nStage = mySTAGE_OPEN; break;
    }
    m_bPreviewShown = FALSE;
    m_pPaintSpace->InvalidateView(TRUE);
  }
  GCATCH(GetClassName(), u"::OnRButtonUp_Function()")
}

void COperPolygon::OnMouseMove(WPARAM wParam, POINT pt) {
  try {
    const DWORD moved = MouseMove(wParam, pt);
    if (moved & myMOVE_DROPPED) return;
    // Navigation recomposes the view, and its paint draws the outline again.
    if (m_nMButton == myDRAGGING || m_nRButton == myDRAGGING) {
      m_bPreviewShown = FALSE;
      return;
    }
    if (m_nLButton == myDRAGGING && m_nStage > mySTAGE_OPEN) {
      const POINTF m = ClientToSpace(float(pt.x), float(pt.y));
      m_ptQ = POINTF{(m_ptA.x + m_ptB.x) * 0.5f + m.x - m_ptB.x, (m_ptA.y + m_ptB.y) * 0.5f + m.y - m_ptB.y};
      m_nStage = mySTAGE_SHAPING;
      DrawPreview(nullptr, TRUE);
      return;
    }
    if (m_myState == myREADY) {
      // SPACE reaches the tool only through the view.
      if (IPaintSpaceHost* host = m_pPaintSpace->GetHost()) host->TakeFocus();
    }
  }
  GCATCH(GetClassName(), u"::OnMouseMove()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperPolygon::FinishWork() {
  m_dequeArcPoints.clear();
  m_nStage = mySTAGE_NONE;
  m_myState = myREADY;
}

// ---------------------------------------------------------------------------------------------
// Messages

BOOL COperPolygon::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    switch (msg) {
      case WM_PAINT: OnDraw(); return TRUE;
      case WM_SETCURSOR: return OnSetCursor(lParam, result);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: OnLButtonDown(MsgPoint(lParam)); return TRUE;
      case WM_LBUTTONUP:
        ReleaseButtonBit(myLEFT);
        OnLButtonUp();
        m_nLButton = myUP;
        return TRUE;
      case WM_MOUSEMOVE: OnMouseMove(wParam, MsgPoint(lParam)); return TRUE;
      case WM_CAPTURECHANGED:
        if (m_pPaintSpace->GetCaptureMask()) {
          // A segment being shaped is dropped; the outline stays open.
          if (m_nStage > mySTAGE_NONE) {
            m_nStage = mySTAGE_OPEN;
            m_bPreviewShown = FALSE;
            m_pPaintSpace->InvalidateView(TRUE);
          }
          DropButtons(FALSE);
          m_myState = myREADY;
        }
        return TRUE;
      default: return CommonMsg(msg, wParam, lParam, result) || NavigationMsg(msg, wParam, lParam, result);
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg)))
}

BOOL COperPolygon::OnSetCursor(LPARAM lParam, LRESULT* result) {
  if (LOWORD(lParam) != HTCLIENT) return FALSE;
  const bool erase = m_options.GetFillMode() == fill::myERASE;
  UINT id = m_nStage == mySTAGE_NONE ? (erase ? IDC_POLY_START_ERASE : IDC_POLY_START_FILL)
                                     : (erase ? IDC_POLY_OPEN_ERASE : IDC_POLY_OPEN_FILL);
  POINTF p;
  if (m_dequeArcPoints.size() > 2 && SnapPoint(m_ptMouse, &p)) id = IDC_POLY_CLOSE;
  gui::SetCursor(gui::LoadCursorResource(id));
  if (result) *result = TRUE;
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void COperPolygon::OnDraw() {
  m_pPaintSpace->OnDraw(nullptr);
  m_bPreviewShown = FALSE;
  CViewDC dc(m_pPaintSpace->GetHost());
  DrawOutline(dc.Get());
  if (m_nStage == mySTAGE_SHAPING) DrawPreview(dc.Get(), TRUE);
}

void COperPolygon::DrawPreview(gui::DeviceContext* dc, BOOL show) {
  std::optional<CViewDC> own;
  if (!dc) {
    own.emplace(m_pPaintSpace->GetHost());
    dc = own->Get();
  }
  const ViewTransform* view = m_pPaintSpace->m_pTransform;
  const RECT client{0, 0, LONG(view->clientWidth), LONG(view->clientHeight)};
  OShowDevice* device = m_pPaintSpace->GetShowDevice();
  const auto curve = [&](const POINTF* p) {
    if (!dc) return;
    const int oldRop = dc->SetROP2(gui::R2_XORPEN);
    dc->SetPen(gui::PS_SOLID, kOutlinePen);
    POINTF prev{};
    for (int i = 0; i <= kSegmentSamples; ++i) {
      const POINTF s = QuadPoint(p[0], p[1], p[2], float(i) * 0.02f);
      const float in[2] = {s.x, s.y};
      float c[2];
      device->SpaceToClient(c, in, view);
      POINTF now{c[0], c[1]};
      if (i > 0) {
        POINTF from = prev, to = now;
        if (ClipSegmentToRect(&from, &to, &client)) {
          dc->MoveTo(int(from.x), int(from.y));
          dc->LineTo(int(to.x), int(to.y));
        }
      }
      prev = now;
    }
    dc->SetROP2(oldRop);
  };
  if (m_bPreviewShown) {
    curve(m_aShown);
    m_bPreviewShown = FALSE;
  }
  if (!show) return;
  m_aShown[0] = m_ptA;
  m_aShown[1] = m_ptB;
  m_aShown[2] = m_ptQ;
  curve(m_aShown);
  m_bPreviewShown = TRUE;
}

void COperPolygon::DrawOutline(gui::DeviceContext* dc) {
  if (!dc || m_dequeArcPoints.empty()) return;
  const ViewTransform* view = m_pPaintSpace->m_pTransform;
  OShowDevice* device = m_pPaintSpace->GetShowDevice();
  const auto toClient = [&](const POINTF& s) {
    const float in[2] = {s.x, s.y};
    float c[2];
    device->SpaceToClient(c, in, view);
    return POINTF{c[0], c[1]};
  };
  const auto inView = [&](const POINTF& c) {
    return c.x >= 0 && c.y >= 0 && c.x < float(view->clientWidth) && c.y < float(view->clientHeight);
  };
  const int oldRop = dc->SetROP2(gui::R2_XORPEN);
  dc->SetPen(gui::PS_SOLID, kOutlinePen);
  const std::deque<POINTF>& q = m_dequeArcPoints;
  POINTF a = q.front();
  for (size_t i = 1; i + 1 < q.size(); i += 2) {
    const POINTF ca = toClient(a), cb = toClient(q[i]), cq = toClient(q[i + 1]);
    if (inView(ca) || inView(cb) || inView(cq)) {
      POINT line[kSegmentSamples + 1];
      for (int s = 0; s <= kSegmentSamples; ++s) {
        const POINTF c = QuadPoint(ca, cb, cq, float(s) / kSegmentSamples);
        line[s] = POINT{LONG(c.x), LONG(c.y)};
      }
      dc->Polyline(line, kSegmentSamples + 1);
    }
    a = q[i];
  }
  const POINTF ca = toClient(m_ptA);
  if (m_nStage > mySTAGE_NONE && inView(ca)) {
    const int x = int(ca.x), y = int(ca.y);
    dc->MoveTo(x - 4, y + 4);
    dc->LineTo(x + 5, y - 5);
    dc->MoveTo(x - 4, y - 4);
    dc->LineTo(x + 5, y + 5);
  }
  dc->SetROP2(oldRop);
}

// ---------------------------------------------------------------------------------------------
// Ring menu

COperPolygon::XMenu::XMenu(COperPolygon* tool) : CFillToolMenu(IDB_RING_POLYGON, tool), m_pPolygon(tool) {}

const char16_t* COperPolygon::XMenu::GetLabel(UINT item, int state) {
  if (item == FLOWER_SECTOR_BOTTOMLEFT && state > 0) return u"填充切换";
  return CFillToolMenu::GetLabel(item, state);
}

void COperPolygon::XMenu::Run(int x, int y, UINT item, DWORD popupTick) {
  if (item == FLOWER_SECTOR_BOTTOMLEFT) m_pPolygon->SwitchFill();
  else CFillToolMenu::Run(x, y, item, popupTick);
}

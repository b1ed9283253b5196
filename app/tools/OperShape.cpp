#include "OperShape.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "core/PaintSpace.h"
#include "core/ViewDC.h"
#include "odata/GError.h"
#include "panels/MyListLayer.h"
#include "platform/gui/ComboBox.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Dc.h"
#include "platform/gui/ListBox.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Resources.h"
#include "tools/FillKernels.h"
#include "tools/Geometry.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr COLORREF kTemplatePen = 0x808080;
constexpr COLORREF kHandleBrush = 0x0000FF;
// The handle is a square of twice this around its centre.
constexpr int kHandleHalf = 8;
const char16_t* const kShapeLabels[3] = {u"方形", u"圆形", u"星形"};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Templates

namespace shape_template {

int MakeEllipse(float* xy, int capacity, float aspect, float r) {
  if (capacity < 256) return 0;
  aspect = std::clamp(aspect, 0.01f, 1.0f);
  for (int i = 0; i < 256; ++i) {
    const double t = i * 0.024543692606170234;
    xy[2 * i] = float(std::cos(t) * r);
    xy[2 * i + 1] = float(std::sin(t) * aspect * r);
  }
  return 256;
}

int MakeRectangle(float* xy, int capacity, float aspect, float r, float h) {
  if (capacity < 4) return 0;
  aspect = std::clamp(aspect, 0.01f, 1.0f);
  const float half = h > 0 ? h / 2 : aspect * r;
  const float corners[8] = {-r, -half, r, -half, r, half, -r, half};
  std::copy(corners, corners + 8, xy);
  return 4;
}

int MakeStar(float* xy, int capacity, float a, float q, float r) {
  a = std::max(a, 0.02f);
  q = std::clamp(q, 0.02f, 1.0f);
  int n = int(kTwoPi / a + 0.5) & ~1;
  n = std::min(std::clamp(n, 6, 64), capacity);
  for (int i = 0; i < n; ++i) {
    const double t = i * (kTwoPi / n) - kTwoPi / 4;
    const double f = (i & 1) ? q : 1.0;
    xy[2 * i] = float(std::cos(t) * f * r);
    xy[2 * i + 1] = float(std::sin(t) * f * r);
  }
  return n;
}

void HandleToStar(POINT* handle, int R, float* a, float* q) {
  handle->x = std::clamp<LONG>(handle->x, 0, R);
  handle->y = std::clamp<LONG>(handle->y, -R, 0);
  double angle = std::atan2(double(handle->x), double(-handle->y));
  if (angle < 0) angle += kTwoPi;
  *a = float(angle);
  *q = R > 0 ? float(std::hypot(double(handle->x), double(handle->y)) / R) : 1.0f;
}

}  // namespace shape_template

COperShape::COperShape() { m_nOptionToolBar = IDR_OPT_SHAPE; }

COperShape::~COperShape() = default;

UINT COperShape::GetID() { return ID_OPER_SHAPE; }

int COperShape::HalfClientWidth() const { return int(m_pPaintSpace->m_pTransform->clientWidth) / 2; }

int COperShape::HalfClientHeight() const { return int(m_pPaintSpace->m_pTransform->clientHeight) / 2; }

void COperShape::MakeTemplate(int hy) {
  using namespace shape_template;
  const int S = m_nHalfW;
  const float r = float(S) * 0.5f;
  switch (m_nShapeType) {
    case myRECTANGLE: {
      m_ptHandle.y = hy;
      // A template at most one pixel high stays one space pixel high.
      const float h = hy <= 1 ? m_pPaintSpace->m_pTransform->scale : 0.0f;
      m_nPoints = MakeRectangle(m_afPoints, kMaxPoints, 2.0f * float(hy) / float(S), r, h);
      break;
    }
    case myELLIPSE:
      m_ptHandle.y = hy;
      m_nPoints = MakeEllipse(m_afPoints, kMaxPoints, 2.0f * float(hy) / float(S), r);
      break;
    default: {
      float a, q;
      HandleToStar(&m_ptHandle, int(float(S) * 0.5f), &a, &q);
      m_nPoints = MakeStar(m_afPoints, kMaxPoints, a, q, r);
      break;
    }
  }
}

void COperShape::SetShape(int type) {
  m_nShapeType = std::clamp(type, 0, 2);
  m_nHalfW = std::max(HalfClientWidth(), 100);
  m_nHalfH = std::max(HalfClientHeight(), 100);
  m_nHalfW = m_nHalfH = std::min(m_nHalfW, m_nHalfH);
  const int S = m_nHalfW;
  if (m_nShapeType == mySTAR) m_ptHandle = POINT{S / 8, -(S / 8)};
  MakeTemplate(S / 2);
}

void COperShape::DragHandle(int dx, int dy) {
  const int S = m_nHalfW;
  if (m_nShapeType == mySTAR) {
    m_ptHandle = POINT{m_ptHandleAtPress.x + dx, m_ptHandleAtPress.y + dy};
    MakeTemplate(0);
  } else {
    MakeTemplate(std::clamp(int(m_ptHandleAtPress.y) - dy, 1, std::max(S / 2, 1)));
  }
}

POINT COperShape::HandleCentre() const {
  const int cx = HalfClientWidth(), cy = HalfClientHeight();
  if (m_nShapeType == mySTAR) return POINT{cx + m_ptHandle.x, cy + m_ptHandle.y};
  return POINT{cx, cy - m_ptHandle.y};
}

BOOL COperShape::HitHandle(int x, int y) const {
  const POINT c = HandleCentre();
  return x >= c.x - kHandleHalf && x < c.x + kHandleHalf && y >= c.y - kHandleHalf && y < c.y + kHandleHalf;
}

// ---------------------------------------------------------------------------------------------
// Activation and options

int COperShape::Activate() {
  try {
    if (m_myState == myNULL) {
      SetShape(mySTAR);
      m_myState = myREADY;
    }
    return COperation::Activate();
  }
  GCATCH(GetClassName(), u"::Activate()")
}

BOOL COperShape::CreateOptionWindows(gui::GWindow* optionBar) {
  if (!m_apOptionWnd[0] && !COperation::CreateOptionWindows(optionBar)) return FALSE;
  if (!m_pShapeList) {
    auto* shapes = new CMyComboBox();
    // Its choice goes to the view, which offers it to the tool.
    auto* view = dynamic_cast<gui::GWindow*>(m_pPaintSpace->GetHost());
    if (!shapes->Create(optionBar, 80, 21, nullptr, view ? view->GetSafeHwnd() : nullptr)) {
      delete shapes;
      return FALSE;
    }
    for (const char16_t* label : kShapeLabels) shapes->GetListWindow()->AddString(label);
    shapes->SetCurSel(m_nShapeType);
    m_pShapeList = shapes;
    m_apOptionWnd[1] = shapes;
  }
  return m_options.Create(optionBar, m_apOptionWnd + 2);
}

BOOL COperShape::OnCmdMsg(UINT id, CmdUIState* ui) {
  if (id == ID_SHAPE_FILL) {
    if (ui) ui->Enable(TRUE);
    else OnFillShape();
    return TRUE;
  }
  return COperation::OnCmdMsg(id, ui);
}

// ---------------------------------------------------------------------------------------------
// Filling

void COperShape::OnFillShape() {
  try {
    CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
    OLayer* layer = list->GetCurLayer();
    if (!layer || !list->CheckWritable(FALSE)) return;
    Fill(layer, m_options.Colour(m_pPaintSpace), m_options.GetFillMode());
    m_pPaintSpace->InvalidateComposite();
    m_pPaintSpace->InvalidateView(TRUE);
  }
  GCATCH(GetClassName(), u"::OnFillShape()")
}

BOOL COperShape::Fill(OLayer* layer, uint32_t colour, int mode) {
  try {
    if (m_nPoints < 4) return FALSE;
    const ViewTransform* view = m_pPaintSpace->m_pTransform;
    const float cx = std::floor(float(view->clientWidth) * 0.5f) + 0.5f;
    const float cy = std::floor(float(view->clientHeight) * 0.5f) + 0.5f;
    OShowDevice* device = m_pPaintSpace->GetShowDevice();
    std::deque<POINTF> outline;
    for (int i = 0; i <= m_nPoints; ++i) {
      const int at = i % m_nPoints;
      const float client[2] = {m_afPoints[2 * at] + cx, m_afPoints[2 * at + 1] + cy};
      float space[2];
      device->ClientToSpace(space, client, view);
      outline.push_front(POINTF{space[0], space[1]});
    }
    // Mask layers know only erasing and filling here.
    return FillSpaceOutline(layer, &outline, colour, mode, mode == fill::myERASE ? fill::myMASK_ERASE : fill::myMASK_FILL,
                            mode == fill::myERASE ? u"形状>掏空" : u"形状>填充");
  }
  GCATCH(GetClassName(), u"::Fill()")
}

DragThresholds COperShape::GetDragThresholds() const {
  return {{DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 0}};
}

// ---------------------------------------------------------------------------------------------
// Messages

BOOL COperShape::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    switch (msg) {
      case WM_PAINT: OnDraw(); return TRUE;
      case WM_SETCURSOR:
        return SetToolCursor(lParam, result, IDC_MOVE);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: OnLButtonDown(MsgPoint(lParam)); return TRUE;
      case WM_LBUTTONUP:
        ButtonUp(myLEFT);
        m_myState = myREADY;
        return TRUE;
      case WM_MOUSEMOVE: OnMouseMove(wParam, MsgPoint(lParam)); return TRUE;
      case WM_CAPTURECHANGED:
        if (DropButtons(FALSE)) m_myState = myREADY;
        return TRUE;
      case WM_MYCOMBOCHANGED:
        if (!m_pShapeList || HWND(lParam) != m_pShapeList->GetSafeHwnd()) return FALSE;
        SetShape(int(wParam));
        m_pPaintSpace->InvalidateComposite();
        m_pPaintSpace->InvalidateView(FALSE);
        return TRUE;
      default: return CommonMsg(msg, wParam, lParam, result) || NavigationMsg(msg, wParam, lParam, result);
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg)))
}

void COperShape::OnLButtonDown(POINT pt) {
  try {
    m_ptHandleAtPress = m_ptHandle;
    if (HitHandle(pt.x, pt.y)) {
      m_myState = myHANDLE;
    } else if (IsInsideByWinding(double(pt.x - HalfClientWidth()), double(pt.y - HalfClientHeight()), m_afPoints,
                                 m_nPoints)) {
      OnFillShape();
    }
    ButtonDown(myLEFT, pt);
  }
  GCATCH(GetClassName(), u"::OnLButtonDown()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperShape::OnMouseMove(WPARAM wParam, POINT pt) {
  try {
    const DWORD moved = MouseMove(wParam, pt);
    if (moved & myMOVE_DROPPED) return;
    // Navigation recomposes the view; its paint draws the template again.
    if (m_nMButton == myDRAGGING || m_nRButton == myDRAGGING) return;
    if (m_nLButton == myDRAGGING && m_myState == myHANDLE) {
      DragHandle(int(pt.x - m_ptLButton.x), int(pt.y - m_ptLButton.y));
      m_pPaintSpace->InvalidateView(FALSE);
      return;
    }
    if (m_myState == myREADY) {
      if (IPaintSpaceHost* host = m_pPaintSpace->GetHost()) host->TakeFocus();
    }
  }
  GCATCH(GetClassName(), u"::OnMouseMove()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperShape::OnRButtonUp_Function(POINT pt) {
  try {
    if (m_myState == myHANDLE) {
      // The handle goes back to where the drag took it from.
      m_myState = myREADY;
      DragHandle(0, 0);
      m_pPaintSpace->InvalidateView(FALSE);
      return;
    }
    if (m_myState == myREADY && m_pPaintSpace->GetCaptureMask() == 0) ShowRingMenu(pt);
  }
  GCATCH(GetClassName(), u"::OnRButtonUp_Function()")
}

// ---------------------------------------------------------------------------------------------
// Drawing

void COperShape::OnDraw() {
  try {
    m_pPaintSpace->OnDraw(nullptr);
    CViewDC dc(m_pPaintSpace->GetHost());
    DrawShape(dc.Get());
  }
  GCATCH(GetClassName(), u"::OnDraw()")
}

void COperShape::DrawShape(gui::DeviceContext* dc) {
  if (!dc || m_nPoints < 2) return;
  const int cx = HalfClientWidth(), cy = HalfClientHeight();
  POINT line[kMaxPoints + 1];
  for (int i = 0; i <= m_nPoints; ++i) {
    const int at = i % m_nPoints;
    line[i] = POINT{LONG(std::floor(m_afPoints[2 * at] + 0.5f)) + cx, LONG(std::floor(m_afPoints[2 * at + 1] + 0.5f)) + cy};
  }
  const int oldRop = dc->SetROP2(gui::R2_XORPEN);
  dc->SetPen(gui::PS_SOLID, kTemplatePen);
  dc->Polyline(line, m_nPoints + 1);
  dc->SetROP2(oldRop);
  const POINT c = HandleCentre();
  dc->FillSolidRect(RECT{c.x - kHandleHalf, c.y - kHandleHalf, c.x + kHandleHalf, c.y + kHandleHalf}, kHandleBrush);
}

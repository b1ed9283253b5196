#include "OperFlood.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/PaintSpace.h"
#include "core/ViewDC.h"
#include "odata/GError.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Slider.h"
#include "tools/BucketBlend.h"
#include "tools/FloodOutline.h"
#include "tools/OutlineFill.h"
#include "tools/SizeGesture.h"

namespace {

constexpr COLORREF kCursorPen = 0x808080;
// The polygon filler's grid: 16 x 16 sub-samples, coverage 0..256.
constexpr int kSubSamples = 16;
constexpr const char16_t* kNotTarget = u"!m_poLayer==m_pPaintSpace->m_pwndListLayer->GetLayer(m_nTarget)";

struct OptionSpec {
  const char16_t* label;
  int min, max;
};
constexpr OptionSpec kOptions[COperFlood::myOPTION_COUNT] = {{u"容差", 0, 100}, {u"平滑", 1, 10}, {u"扩张", 0, 10}};

// The filler goes back to its ready state however the fill ends.
struct FillReset {
  OShape* filler;
  ~FillReset() { filler->Reset(); }
};

}  // namespace

COperFlood::COperFlood() { m_nOptionToolBar = IDR_OPT_FLOOD; }

COperFlood::~COperFlood() = default;

UINT COperFlood::GetID() { return ID_OPER_FLOOD; }

DragThresholds COperFlood::GetDragThresholds() const {
  return {{DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 12}};
}

// ---------------------------------------------------------------------------------------------
// Activation and options

void COperFlood::CreateComponents() {
  if (!m_cpShape) m_cpShape = NewShapeFiller(m_pPaintSpace);
  if (!m_cpFlood)
    m_cpFlood = static_cast<OFlood*>(NewToolComponent(m_pPaintSpace, u"XFlood", u"OFlood", u"!m_cpFlood.IsValid()"));
  if (!m_cpTracer)
    m_cpTracer = static_cast<OCreateShapeFromBitmap*>(NewToolComponent(
        m_pPaintSpace, u"XCreateShapeFromBitmap", u"OCreateShapeFromBitmap", u"!m_cpTracer.IsValid()"));
}

int COperFlood::Activate() {
  try {
    CreateComponents();
    if (m_fMaxRadius == 0) {
      const ViewTransform* v = m_pPaintSpace->m_pTransform;
      m_fMaxRadius = float(std::max(int(std::max(v->clientWidth, v->clientHeight)) / 2, 1));
      m_fRadius = m_fMaxRadius / 2;
    }
    return COperation::Activate();
  }
  GCATCH(GetClassName(), u"::Activate()")
}

void COperFlood::Deactivate() {
  DropFlooding();
  m_mask.Free();
  m_cpShape.Release();
  m_cpFlood.Release();
  m_cpTracer.Release();
  m_qOutline.clear();
  m_qSmooth.clear();
}

BOOL COperFlood::CreateOptionWindows(gui::GWindow* optionBar) {
  if (!m_apOptionWnd[0] && !COperation::CreateOptionWindows(optionBar)) return FALSE;
  for (int i = 0; i < myOPTION_COUNT; ++i) {
    if (m_apSlider[i]) continue;
    auto* slider = new CMySlider();
    if (!slider->Create(optionBar, 64, 21)) {
      delete slider;
      return FALSE;
    }
    slider->SetLabel(kOptions[i].label);
    slider->SetRange(kOptions[i].min, kOptions[i].max);
    slider->SetValue(m_anOption[i]);
    m_apSlider[i] = slider;
    m_apOptionWnd[1 + i] = slider;
  }
  return TRUE;
}

int COperFlood::GetOption(int option) const {
  const int v = m_apSlider[option] ? m_apSlider[option]->GetValue() : m_anOption[option];
  return std::clamp(v, kOptions[option].min, kOptions[option].max);
}

void COperFlood::SetOption(int option, int value) {
  m_anOption[option] = std::clamp(value, kOptions[option].min, kOptions[option].max);
  if (m_apSlider[option]) m_apSlider[option]->SetValue(m_anOption[option]);
}

void COperFlood::SwitchTolerance() {
  const int now = GetOption(myTOLERANCE);
  if (now < 100) {
    m_nSavedTolerance = now;
    SetOption(myTOLERANCE, 100);
  } else {
    SetOption(myTOLERANCE, m_nSavedTolerance > 99 ? 10 : m_nSavedTolerance);
  }
}

BOOL COperFlood::OnCmdMsg(UINT id, CmdUIState* ui) {
  if (id != ID_FLOOD_AUTOLAYER) return COperation::OnCmdMsg(id, ui);
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  OLayer* layer = list ? list->GetCurLayer() : nullptr;
  if (ui) {
    const BOOL mask = layer && layer->GetFormat() == OLayer::myFORMAT_A16;
    ui->Enable(mask);
    ui->SetCheck(mask && (layer->GetFlags() & LYR_FLAG_SOURCE));
  } else if (list) {
    list->SetCurLayerAsSource();
  }
  return TRUE;
}

void COperFlood::OnEnvironmentVaryNotify(const char16_t*, DWORD, void*) {
  // A change of the layers ends a flooding. (The layer the list makes for the auto-layer
  // mode announces itself while FloodBegin runs, before the flooding starts.)
  try {
    FinishWork();
  }
  GCATCH(GetClassName(), u"::OnEnvironmentVaryNotify()")
}

// ---------------------------------------------------------------------------------------------
// Radii

int COperFlood::FloodRadius() const {
  const float scale = m_pPaintSpace->m_pTransform->scale;
  const float r = std::clamp(m_fRadius / scale - float(GetOption(myEXPAND)), 10.0f, float(CFloodMask::kMaxReach));
  return int(std::floor(r));
}

int COperFlood::CursorRadius() const {
  const float scale = m_pPaintSpace->m_pTransform->scale;
  return int(std::floor(std::clamp(m_fRadius / scale, 10.0f, float(CFloodMask::kMaxReach)) * scale));
}

// ---------------------------------------------------------------------------------------------
// Flooding

void COperFlood::Status(const char16_t* text) {
  m_pPaintSpace->ShowStatus(text);
}

void COperFlood::DropFlooding() {
  m_myState = myREADY;
  m_nFloods = 0;
  m_cpLayer = nullptr;
  m_cpSource = nullptr;
}

BOOL COperFlood::FloodBegin() {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
    if (!list) return FALSE;
    m_nFloods = 0;
    m_nTarget = list->GetCurSel();
    OLayer* current = list->GetCurLayer();
    if (!current) {
      Status(u"没有图层可填充");
      return FALSE;
    }
    m_cpSource = list->GetSourceLayer();
    m_bAutoLayer = m_cpSource.get() == current && current->GetFormat() == OLayer::myFORMAT_A16;
    OLayer* target = current;
    if (m_bAutoLayer) {
      // The list keeps colours as 0x00BBGGRR.
      const uint32_t rgb = m_pPaintSpace->GetColor(0);
      const COLORREF bgr = ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
      target = list->GetDestLayerByColor(bgr, &m_nTarget);
      if (!target) return FALSE;
    }
    const uint32_t flags = target->GetFlags();
    if (flags & LYR_FLAG_HIDDEN) {
      Status(u"图层不可见，未填充");
      return FALSE;
    }
    if (flags & LYR_FLAG_PROTECT) {
      Status(u"图层有写保护");
      return FALSE;
    }
    RECT rc;
    target->GetRect(&rc);
    if (m_cpSource) {
      RECT s;
      m_cpSource->GetRect(&s);
      rc = RECT{std::max(rc.left, s.left), std::max(rc.top, s.top), std::min(rc.right, s.right),
                std::min(rc.bottom, s.bottom)};
    }
    if (!m_mask.Prepare(rc)) return FALSE;
    m_cpLayer = target;
    m_rcLimit = RECT{20000, 20000, -20000, -20000};
    m_cpLayer->PAT_MarkClear();
    m_myState = myFLOODING;
    return TRUE;
  }
  GCATCH(GetClassName(), u"::FloodBegin()")
}

BOOL COperFlood::Flood(POINT client) {
  try {
    GVERIFY(m_myState == myFLOODING, u"!m_myState==myFLOODING");
    const float c[2] = {float(client.x) + 0.5f, float(client.y) + 0.5f};
    float s[2];
    m_pPaintSpace->GetShowDevice()->ClientToSpace(s, c, m_pPaintSpace->m_pTransform);
    const POINT seed{LONG(std::floor(s[0])), LONG(std::floor(s[1]))};
    const int r = FloodRadius();
    if (!m_mask.PrepareBox(seed, GetOption(myEXPAND) + r)) return FALSE;
    DWORD* box = m_mask.Box();
    const RECT& rcBox = m_mask.BoxRect();
    // The box starts from the mask (every other bit cleared): a press inside an earlier
    // region floods nothing.
    if (!m_cpFlood->CopyBitmapToBitbox(box, &rcBox, m_mask.Mask(), &m_mask.MaskRect())) return FALSE;
    OLayer* compared = m_cpSource ? m_cpSource.get() : m_cpLayer.get();
    RECT out;
    if (!m_cpFlood->Flood(box, &rcBox, &m_mask.End(), &seed, unsigned(GetOption(myTOLERANCE)), compared, &out))
      return FALSE;
    m_cpLayer->PAT_MarkSet(&out, nullptr);
    ++m_nFloods;
    m_cpFlood->MergeBitboxToBitmap(m_mask.Mask(), &m_mask.MaskRect(), box, &rcBox, &seed, r);
    m_rcLimit = RECT{std::min(m_rcLimit.left, out.left), std::min(m_rcLimit.top, out.top),
                     std::max(m_rcLimit.right, out.right), std::max(m_rcLimit.bottom, out.bottom)};
    return TRUE;
  }
  GCATCH(GetClassName(), u"::Flood()", ->AppendArg(GArgInt(client.x))->AppendArg(GArgInt(client.y)))
}

void COperFlood::FloodEnd() {
  if (m_myState != myFLOODING) return;
  // However the fill ends, the tool is ready for the next press and holds no layer.
  struct Ready {
    COperFlood* tool;
    ~Ready() { tool->DropFlooding(); }
  } ready{this};
  if (m_nFloods == 0) return;
  try {
    m_myState = myFLOODED;
    OLayer* layer = m_cpLayer;
    CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
    // The step holds the marked blocks as they were; it is written even when nothing traced.
    CToolUndoWriter step(m_pPaintSpace, m_nTarget, layer, kNotTarget, 64);
    step.WriteInt(list->GetCurSel());
    // The pushed-out, smoothed edge may pass a flood's own blocks anywhere in the floods'
    // bounding box, where Fill writes: the step holds all of it, so undo takes all of it back.
    layer->PAT_MarkSet(&m_rcLimit, nullptr);
    GCompRef<OData> old = layer->PAT_Backup(FALSE);
    step.AddData(old);
    Fill(m_pPaintSpace->GetColor(0) | 0xFF000000u, 2 * GetOption(mySMOOTH), float(GetOption(myEXPAND)));
    step.Commit(&m_parts.m_xUndoInner, OUTLINE_FILL_TAG, u"油漆桶填充");
    layer->MipRefresh(&m_rcLimit);
  }
  GCATCH(GetClassName(), u"::OnLButtonUp()")
}

BOOL COperFlood::Fill(uint32_t colour, int smooth, float expand) {
  try {
    m_myState = myREADY;
    FillReset reset{m_cpShape};
    const int n = m_cpTracer->Begin(m_mask.Mask(), &m_mask.MaskRect(), &m_rcLimit);
    if (n <= 3) {
      m_cpTracer->End();
      return FALSE;
    }
    RECT rc = m_rcLimit;
    m_qOutline.clear();
    m_qSmooth.clear();
    m_cpShape->CollectBegin(kSubSamples);
    POINT p;
    int fresh = 0;
    while (m_cpTracer->GetPoint(&p, &fresh)) {
      if (fresh) CompleteContour(smooth, expand);
      flood_outline::AddPoint(&m_qOutline, POINTF{float(p.x), float(p.y)});
    }
    CompleteContour(smooth, expand);
    const BOOL ok = m_cpShape->CollectEnd();
    m_cpTracer->End();
    if (!ok || rc.right <= rc.left || rc.bottom <= rc.top) return FALSE;

    RECT layerRc;
    m_cpLayer->GetRect(&layerRc);
    rc = RECT{std::max(rc.left, layerRc.left), std::max(rc.top, layerRc.top), std::min(rc.right, layerRc.right),
              std::min(rc.bottom, layerRc.bottom)};
    if (rc.right <= rc.left || rc.bottom <= rc.top) return FALSE;
    // rc lies in the floods' bounding box, marked before the step's backup (FloodEnd).
    LayerLock lock;
    GCHECK(lock.Lock(m_cpLayer, LYR_LOCK_MARKED));
    const bool colourLayer = lock.nPixelSize == 4;
    ScanIntoLayer(m_cpShape, rc, layerRc, lock, [&](BYTE* line, const uint16_t* k, int n) {
      if (colourLayer) bucket::BlendRowC32(reinterpret_cast<uint32_t*>(line), k, n, colour);
      else bucket::BlendRowA16(reinterpret_cast<uint16_t*>(line), k, n);
    });
    return TRUE;
  }
  GCATCH(GetClassName(), u"::Fill()",
         ->AppendArg(GArgInt(m_rcLimit.left))
             ->AppendArg(GArgInt(m_rcLimit.top))
             ->AppendArg(GArgInt(m_rcLimit.right))
             ->AppendArg(GArgInt(m_rcLimit.bottom)))
}

BOOL COperFlood::CompleteContour(int smooth, float expand) {
  try {
    BOOL ok = FALSE;
    if (m_qOutline.size() > size_t(4 * smooth)) {
      flood_outline::AddPoint(&m_qOutline, m_qOutline.front());
      flood_outline::Smooth(m_qOutline, smooth, &m_qSmooth);
      ok = flood_outline::Expand(&m_qSmooth, expand);
      if (ok) {
        bool first = true;
        for (const POINTF& q : m_qSmooth) {
          const float xy[2] = {q.x, q.y};
          m_cpShape->Collect(xy, first ? TRUE : FALSE);
          first = false;
        }
      }
    }
    m_qOutline.clear();
    return ok;
  }
  GCATCH(GetClassName(), u"::CompleteCircle()")
}

// The fill's step has the outline tools' form; another tag makes the replay throw
// "Should not get here!".
BOOL COperFlood::ApplyUndoStep(CToolUndoReplay& step) { return ReplayOutlineFill(step); }

// ---------------------------------------------------------------------------------------------
// Messages

BOOL COperFlood::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    switch (msg) {
      case WM_PAINT: OnDraw(); return TRUE;
      case WM_SETCURSOR: return SetToolCursor(lParam, result, IDC_FLOOD);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: OnLButtonDown(MsgPoint(lParam)); return TRUE;
      case WM_LBUTTONUP:
        ReleaseButtonBit(myLEFT);
        FloodEnd();
        m_nLButton = myUP;
        m_pPaintSpace->InvalidateComposite();
        m_pPaintSpace->InvalidateView(TRUE);
        return TRUE;
      case WM_MOUSEMOVE: OnMouseMove(wParam, MsgPoint(lParam)); return TRUE;
      case WM_RBUTTONDOWN:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDOWN:
      case WM_MBUTTONDBLCLK:
        EndGesture();
        return NavigationMsg(msg, wParam, lParam, result);
      case WM_RBUTTONUP:
        RightButtonUp(lParam);
        return TRUE;
      case WM_MOUSEWHEEL:
        EndGesture();
        if (OnMouseWheel(wParam)) {
          if (result) *result = TRUE;
          return TRUE;
        }
        return NavigationMsg(msg, wParam, lParam, result);
      case WM_KEYDOWN:
        if (wParam != VK_SPACE) return FALSE;
        if (SpaceDown(lParam) && m_myState == myREADY) BeginGesture(m_ptMouse);
        return TRUE;
      case WM_KEYUP:
        if (wParam != VK_SPACE) return FALSE;
        EndGesture();
        if (SpaceUp()) {
          // A tap: the radius as it was at the key press, then the ring menu.
          m_fRadius = m_fMaxRadius * std::clamp(m_fGestureRatio, 0.0f, 1.0f);
          m_ptRButton = m_ptMouse;
          OnRButtonUp_Function(m_ptMouse);
        }
        return TRUE;
      case WM_SIZE:
        m_fMaxRadius = float(std::max(std::max(int(LOWORD(lParam)), int(HIWORD(lParam))) / 2, 1));
        m_fRadius = std::min(m_fRadius, m_fMaxRadius);
        return FALSE;  // the space sizes its view too
      case WM_HSCROLL:
      case WM_VSCROLL:
        EndGesture();
        return NavigationMsg(msg, wParam, lParam, result);
      case WM_TIMER: return TRUE;
      case WM_CAPTURECHANGED:
        // An interrupted flooding is dropped without a fill.
        if (DropButtons(FALSE)) DropFlooding();
        return TRUE;
      case WM_MOUSELEAVE:
        EndGesture();
        DrawCursorCircle(nullptr, nullptr, FALSE);
        return TRUE;
      default: return NavigationMsg(msg, wParam, lParam, result);
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg)))
}

void COperFlood::OnLButtonDown(POINT pt) {
  try {
    EndGesture();
    ButtonDown(myLEFT, pt);
    if (m_myState == myREADY && FloodBegin()) Flood(pt);
  }
  GCATCH(GetClassName(), u"::OnLButtonDown()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperFlood::OnMouseMove(WPARAM wParam, POINT pt) {
  try {
    const DWORD moved = MouseMove(wParam, pt);
    if (moved & myMOVE_DROPPED) {
      DropFlooding();
      return;
    }
    if (m_nMButton == myDRAGGING || m_nRButton == myDRAGGING) return;
    if (m_nLButton == myDRAGGING) {
      DrawCursorCircle(nullptr, &pt, TRUE);
      if (m_myState == myFLOODING) Flood(pt);
      return;
    }
    if (m_myState == myREADY && !(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) {
      if (m_bGesture) TrackGesture(pt);
      DrawCursorCircle(nullptr, &pt, TRUE);
      if (IPaintSpaceHost* host = m_pPaintSpace->GetHost()) host->TakeFocus();
    }
  }
  GCATCH(GetClassName(), u"::OnMouseMove()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperFlood::OnRButtonUp_Function(POINT pt) {
  try {
    if (m_myState != myREADY) {
      // A right click while flooding drops the flooding: no fill, no step.
      DropFlooding();
      return;
    }
    if (m_pPaintSpace->GetCaptureMask() == 0) ShowRingMenu(pt);
  }
  GCATCH(GetClassName(), u"::OnRButtonUp_Function()")
}

BOOL COperFlood::OnMouseWheel(WPARAM wParam) {
  // Ctrl and Shift keep their view meaning (zoom, sideways scroll).
  if ((wParam & (MK_CONTROL | MK_SHIFT)) || m_nLButton || m_nMButton || m_nRButton || m_myState != myREADY)
    return FALSE;
  if (!IsCursorOverView()) return FALSE;
  const int delta = int16_t(HIWORD(wParam));
  m_fRadius = delta > 0 ? m_fRadius - m_fRadius * 0.2f : m_fRadius * 1.2f;
  m_fRadius = std::max(std::min(m_fRadius, m_fMaxRadius), 1.0f);
  DrawCursorCircle(nullptr, &m_ptMouse, TRUE);
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Drawing and the SPACE gesture

void COperFlood::OnDraw() {
  try {
    m_pPaintSpace->OnDraw(nullptr);
    // The repaint has erased every overlay.
    m_bCursorShown = FALSE;
    if (m_bGesture) {
      CViewDC dc(m_pPaintSpace->GetHost());
      DrawSizeGesture(dc.Get(), m_ptGesture, kCursorPen);
    }
  }
  GCATCH(GetClassName(), u"::OnDraw()")
}

void COperFlood::DrawCursorCircle(gui::DeviceContext* dc, const POINT* pt, BOOL show) {
  std::optional<CViewDC> own;
  if (!dc) {
    own.emplace(m_pPaintSpace->GetHost());
    dc = own->Get();
  }
  if (!dc) return;
  const auto circle = [&] { DrawSizeCircle(dc, m_ptCursor, m_nCursorShown, kCursorPen); };
  if (m_bCursorShown) {
    circle();
    m_bCursorShown = FALSE;
  }
  if (!show) return;
  m_nCursorShown = CursorRadius();
  if (pt) m_ptCursor = *pt;
  circle();
  m_bCursorShown = TRUE;
}

void COperFlood::BeginGesture(POINT pt) {
  if (m_bGesture) return;
  m_bGesture = TRUE;
  m_fGestureMax = -1.0f;
  m_ptGesture = pt;
  m_fGestureRatio = m_fRadius / m_fMaxRadius;
  m_pPaintSpace->InvalidateView(FALSE);
}

void COperFlood::EndGesture() {
  if (!m_bGesture) return;
  m_bGesture = FALSE;
  m_pPaintSpace->InvalidateView(TRUE);
}

void COperFlood::TrackGesture(POINT pt) {
  const float v = SizeGestureValue(int(pt.x - m_ptGesture.x), int(pt.y - m_ptGesture.y), m_fGestureRatio);
  m_fGestureMax = std::max(m_fGestureMax, v);
  if (v >= 0.0f && v <= 1.0f) {
    m_fRadius = m_fMaxRadius * v;
  } else if (v == 10.0f || v == 20.0f) {
    m_fRadius = m_fMaxRadius * SizeGestureFlick(v, m_fGestureRatio);
    EndGesture();
  } else if (v == 30.0f) {
    EndGesture();
  }
}

// ---------------------------------------------------------------------------------------------
// Ring menu

const char16_t* COperFlood::XMenu::GetLabel(UINT item, int state) {
  if (item == FLOWER_SECTOR_BOTTOMLEFT) return state > 0 ? u"容差切换" : u"";
  return CFillToolMenu::GetLabel(item, state);
}

void COperFlood::XMenu::Run(int x, int y, UINT item, DWORD popupTick) {
  if (item == FLOWER_SECTOR_BOTTOMLEFT) m_pFlood->SwitchTolerance();
  else CFillToolMenu::Run(x, y, item, popupTick);
}

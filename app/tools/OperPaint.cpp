#include "OperPaint.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "Dorvil/BrushContext.h"
#include "core/ColorBar.h"
#include "core/PaintSpace.h"
#include "core/ShellServices.h"
#include "core/ViewDC.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "odata/GSystem.h"
#include "panels/MyListBrush.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Resources.h"
#include "platform/gui/Tablet.h"
#include "tools/OperSucker.h"
#include "tools/SizeGesture.h"

BrushContext g_BrushContext{};
int COperPaint::s_nTabletPressure = 75;

namespace {

const char16_t* const kNotCurrent = u"!m_cpLayer.m_ptr==m_pPaintSpace->m_pwndListLayer->GetLayer(nSel)";
constexpr COLORREF kCursorPen = 0x808080;
constexpr COLORREF kArcPen = 0x909090;
constexpr DWORD kNoMoveFlags = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL;

// The right and middle drags navigate; a left press draws. What counts as a drag.
constexpr DragThresholds kThresholds{{DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 0}, {DragThreshold::myDISTANCE, 8}};

// A stroke sample's per-byte mean of two colours.
uint32_t MeanColour(uint32_t a, uint32_t b) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8)
    out |= ((((a >> shift) & 255u) * 128u + ((b >> shift) & 255u) * 128u) >> 8) << shift;
  return out;
}

}  // namespace

COperPaint::COperPaint() { m_nOptionToolBar = IDR_OPT_PAINT; }

COperPaint::~COperPaint() = default;

UINT COperPaint::GetID() { return ID_OPER_PAINT; }

DragThresholds COperPaint::GetDragThresholds() const { return kThresholds; }

CMyListBrush* COperPaint::ListBrush() const {
  if (m_pwndListBrush) return m_pwndListBrush;
  IShellServices* shell = m_pPaintSpace ? m_pPaintSpace->GetShell() : nullptr;
  return shell ? shell->GetBrushList() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Activation and status

int COperPaint::Activate() {
  try {
    COperation::Activate();
    if (!m_cpPaint) {
      OComponent* c = m_pPaintSpace->GetSystem()->NewObj(u"Dorvil", nullptr);
      if (c) m_cpPaint = static_cast<ODorvil*>(c->GetInterface(u"ODorvil"));
      GVERIFY(m_cpPaint, u"!m_cpPaint.IsValid()");
    }
    m_cpPaint->Bind(&g_BrushContext, 0);
    ActivateBrush();
    m_cpLayer = m_pPaintSpace->m_pwndListLayer->GetCurLayer();
    UpdatePaintStatus();
    if (CMyListBrush* brushes = ListBrush()) {
      m_fRadiusRatio = brushes->GetRadiusRatio();
      m_bArcMode = brushes->GetOperateMode() != 0;
    }
    return 0;
  }
  GCATCH(GetClassName(), u"::Activate()")
}

void COperPaint::Deactivate() {
  try {
    FinishWork();
    ShowSizeGesture(FALSE);
    if (m_cpBrush) m_cpBrush->Deactivate();
    m_cpBrush = nullptr;
    if (m_cpLayer) m_cpLayer->PAT_Deactivate();
    m_cpLayer = nullptr;
    m_cpGlass = nullptr;
  }
  GCATCH(GetClassName(), u"::Deactivate()")
}

void COperPaint::ActivateBrush() {
  try {
    CMyListBrush* brushes = ListBrush();
    m_cpBrush = brushes ? brushes->GetCurBrush() : nullptr;
    if (!m_cpBrush) return;
    OWorker* worker = m_pPaintSpace->GetWorker();
    if (worker && worker->IsReady()) {
      JobRecord& job = m_pPaintSpace->m_job;
      m_cpBrush->Activate(&g_BrushContext, &job);
      job.name = u"ActivateBrush";
      job.kind = 1;
      // A worker that is busy after all: the brush is prepared here.
      if (worker->Launch(&job, nullptr)) return;
    }
    m_cpBrush->Activate(&g_BrushContext, nullptr);
  }
  GCATCH(GetClassName(), u"::ActivateBrush()")
}

int COperPaint::UpdatePaintStatus() {
  try {
    if (!m_cpBrush || !m_cpLayer) return 0;
    if (m_cpBrush->NeedsGlass()) {
      RECT rc;
      m_cpLayer->GetRect(&rc);
      const int w = int(rc.right - rc.left), h = int(rc.bottom - rc.top);
      if (!m_cpGlass || m_cpGlass->GetWidth() != w || m_cpGlass->GetHeight() != h) {
        GCompRef<OLayer> glass = m_pPaintSpace->GetShowDevice()->CreateLayer(w, h, OLayer::myFORMAT_A16, 0);
        GCHECK(glass);
        glass->SetName(u"glass");
        m_cpGlass = glass;
      }
      m_cpGlass->SetPosition(int(rc.left), int(rc.top), FALSE);
    } else {
      m_cpGlass = nullptr;
    }
    m_cpLayer->PAT_PrepareActivate(10, nullptr);
    return 1;
  }
  GCATCH(GetClassName(), u"::UpdatePaintStatus()")
}

int COperPaint::UpdateGlassStatus() {
  try {
    if (!m_cpGlass || !m_cpLayer || !m_cpBrush) return 0;
    RECT rc;
    m_cpLayer->GetRect(&rc);
    m_cpGlass->SetPosition(int(rc.left), int(rc.top), FALSE);
    m_cpGlass->PAT_MarkClear();
    m_cpGlass->SetFlags(0);
    const int sel = m_nSelLayer;
    const auto nested = [&](int i) {
      return i >= 0 && i < m_nLayerCount && m_apLayer[i] && (m_apLayer[i]->GetFlags() & LYR_FLAG_NEST);
    };
    if ((sel > 0 && nested(sel - 1)) || nested(sel)) m_cpGlass->SetFlags(LYR_FLAG_NEST);
    uint32_t colour;
    if (m_cpLayer->GetFormat() == OLayer::myFORMAT_A16) {
      colour = m_cpLayer->GetColor(nullptr, nullptr);
    } else {
      const uint32_t rgb = m_pPaintSpace->GetColor(0);
      colour = ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
    }
    m_cpGlass->SetColor(colour);
    auto* glassItems = static_cast<OProperty*>(m_cpGlass->GetInterface(u"OProperty"));
    auto* brushItems = static_cast<OProperty*>(m_cpBrush->GetInterface(u"OProperty"));
    UINT iAlpha = 0, iMode = 0, iOpacity = 0, iRaster = 0;
    PropertyItem* alpha = glassItems ? glassItems->FindByName(&iAlpha, u"ALPHA") : nullptr;
    GVERIFY(alpha, u"!pItemAlpha");
    PropertyItem* mode = glassItems->FindByName(&iMode, u"MODE");
    GVERIFY(mode, u"!pItemMode");
    PropertyItem* opacity = brushItems ? brushItems->FindByName(&iOpacity, u"OPACITY") : nullptr;
    GVERIFY(opacity, u"!pItemOpacity");
    PropertyItem* raster = brushItems->FindByName(&iRaster, u"RASTER");
    GVERIFY(raster, u"!pItemRaster");
    glassItems->SetValue(iAlpha, ClampPropertyValue(*alpha, opacity->value));
    glassItems->SetValue(iMode, ClampPropertyValue(*mode, raster->value));
    return 1;
  }
  GCATCH(GetClassName(), u"::UpdateGlassStatus()")
}

BOOL COperPaint::ReadyToPaint(BOOL askWorker) {
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  if (list->GetCount() < 1) return FALSE;
  if (askWorker && (!m_pPaintSpace->GetWorker() || !m_pPaintSpace->GetWorker()->IsReady())) return FALSE;
  if (!list->CheckWritable(FALSE)) return FALSE;
  if (!m_cpLayer || !m_cpBrush) return FALSE;
  if (!m_cpBrush->AcceptsFormat(m_cpLayer->GetFormat()) || !m_cpBrush->IsReady()) return FALSE;
  return m_cpPaint && m_cpPaint->IsReady();
}

void COperPaint::CaptureLayers() {
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  m_nSelLayer = list->GetCurSel();
  m_nLayerCount = std::min(list->GetCount(), LYR_MAX_SUM);
  for (int i = 0; i < m_nLayerCount; ++i) m_apLayer[i] = list->GetLayer(i);
}

void COperPaint::ReleaseLayers() {
  for (int i = 0; i < m_nLayerCount; ++i) m_apLayer[i] = nullptr;
  m_nLayerCount = 0;
}

PaintTarget COperPaint::MakeTarget(BOOL* glassUsed) {
  *glassUsed = UpdateGlassStatus() != 0;
  PaintTarget target{m_cpLayer, m_pPaintSpace->m_pwndListLayer->GetSourceLayer(), *glassUsed ? m_cpGlass.get() : nullptr, 0};
  m_cpLayer->PAT_MarkClear();
  return target;
}

PaintSample COperPaint::SampleAt(POINT pt, float weight) {
  const float client[2] = {float(pt.x) + 0.5f, float(pt.y) + 0.5f};
  float space[2];
  m_pPaintSpace->GetShowDevice()->ClientToSpace(space, client, m_pPaintSpace->m_pTransform);
  PaintSample s{};
  s.x = space[0];
  s.y = space[1];
  s.weight = weight;
  s.angle = m_pPaintSpace->m_pTransform->angle;
  s.color = m_pPaintSpace->GetColor(0) | 0xFF000000u;
  return s;
}

// ---------------------------------------------------------------------------------------------
// Strokes and arcs

void COperPaint::OnLButtonDown(POINT pt) {
  try {
    if (m_myState != myREADY) return;
    ShowSizeGesture(FALSE);
    CMyListBrush* brushes = ListBrush();
    if (!m_bArcMode) {
      // A press while the worker finishes a redraw pass waits for it: a stroke begun a moment
      // after an undo or a scroll must not be lost.
      if (OWorker* worker = m_pPaintSpace->GetWorker(); worker && !worker->IsReady()) worker->Wait(FALSE);
      m_cpBrush = brushes ? brushes->GetCurBrush() : nullptr;
      // The values may have changed since the brush was prepared (the wheel, the property
      // page): the idle worker leaves time to prepare it again, here, from the current ones.
      if (m_cpBrush && m_cpBrush->IsReady() && m_pPaintSpace->GetWorker() && m_pPaintSpace->GetWorker()->IsReady())
        m_cpBrush->Activate(&g_BrushContext, nullptr);
      if (ReadyToPaint(TRUE)) {
        if (CTabletContext* tablet = g_pTabletContext)
          tablet->m_fPressureFactor = std::clamp((float(s_nTabletPressure) * 0.01f + 1.0f) * 0.5f, 0.5f, 1.0f);
        DrawBrushCursor(nullptr, nullptr, FALSE);
        CaptureLayers();
        BOOL glass = FALSE;
        PaintTarget target = MakeTarget(&glass);
        m_bGlassInStroke = glass;
        PaintSample first = SampleAt(pt, 1.0f);
        m_samplePrev = first;
        m_fWeight = 1.0f;
        if (m_cpPaint->BeginStroke(m_cpBrush, &target, &m_sink, &m_pPaintSpace->m_job)) {
          m_cpPaint->AddSample(&first);
          m_pPaintSpace->GetWorker()->Launch(&m_pPaintSpace->m_job, nullptr);
          m_myState = mySTROKE;
        }
      }
    } else if (m_nArcStep == myARC_NONE) {
      m_nArcCount = 0;
      // As for a stroke: the brush with its current values.
      m_cpBrush = brushes ? brushes->GetCurBrush() : nullptr;
      if (m_cpBrush && m_cpBrush->IsReady()) m_cpBrush->Activate(&g_BrushContext, nullptr);
      if (ReadyToPaint(FALSE) && brushes) {
        CaptureLayers();
        m_sampleStart = SampleAt(pt, brushes->GetRadius());
        m_nArcStep = myARC_START;
        DrawArcMark(nullptr, FALSE);
      }
    } else if (m_nArcStep == myARC_START) {
      m_sampleEnd = SampleAt(pt, brushes ? brushes->GetRadius() : m_sampleStart.weight);
      PaintSample& c = m_sampleControl;
      c.x = (m_sampleStart.x + m_sampleEnd.x) * 0.5f;
      c.y = (m_sampleStart.y + m_sampleEnd.y) * 0.5f;
      c.weight = (m_sampleStart.weight + m_sampleEnd.weight) * 0.5f;
      c.speed = (m_sampleStart.speed + m_sampleEnd.speed) * 0.5f;
      c.slope = (m_sampleStart.slope + m_sampleEnd.slope) * 0.5f;
      c.pressure = (m_sampleStart.pressure + m_sampleEnd.pressure) * 0.5f;
      c.angle = m_sampleStart.angle;
      c.color = MeanColour(m_sampleStart.color, m_sampleEnd.color);
      m_nArcStep = myARC_END;
      DrawArcPreview(nullptr, TRUE);
    } else {
      GTHROW(u"Should not be here!");
    }
    ButtonDown(myLEFT, pt);
  }
  GCATCH(GetClassName(), u"::OnLButtonDown()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperPaint::OnMouseMove(WPARAM wParam, POINT pt) {
  try {
    const DWORD moved = MouseMove(wParam, pt);
    if (moved & myMOVE_DROPPED) return;
    if ((m_nMButton == myDRAGGING || m_nRButton == myDRAGGING)) {
      // Navigation redrew the view (RedrawView): the overlays went with it.
      if (m_bArcMode && m_nArcStep == myARC_END && m_nLButton == myUP) DrawArcPreview(nullptr, TRUE);
      return;
    }
    if (m_nLButton == myDRAGGING && !m_bArcMode && m_myState == mySTROKE) {
      PaintSample s = SampleAt(pt, m_fWeight);
      float prev[2], now[2];
      const float a[2] = {m_samplePrev.x, m_samplePrev.y}, b[2] = {s.x, s.y};
      OShowDevice* device = m_pPaintSpace->GetShowDevice();
      device->SpaceToClient(prev, a, m_pPaintSpace->m_pTransform);
      device->SpaceToClient(now, b, m_pPaintSpace->m_pTransform);
      const float dx = now[0] - prev[0], dy = now[1] - prev[1];
      const float d = std::max(std::sqrt(dx * dx + dy * dy), 1e-7f);
      s.speed = std::min(float(m_pPaintSpace->m_pTransform->clientWidth) / (d * 200.0f), 1.0f);
      s.slope = std::fabs(dy) / d;
      m_fWeight *= 0.94f;
      s.pressure = 1.0f;
      if (CTabletContext* tablet = g_pTabletContext) {
        if (tablet->m_nMovesSincePacket < 4) {
          ++tablet->m_nMovesSincePacket;
          PenTilt(tablet->m_sample, &s.xtilt, &s.ytilt);
        } else {
          tablet->m_sample = PenSample{1.0f, 0.0f, 0.0f, 0.0f};
        }
        s.pressure = tablet->m_sample.fPressure;
      }
      m_cpPaint->AddSample(&s);
      m_samplePrev = s;
      return;
    }
    if (m_nLButton == myDRAGGING && m_bArcMode && m_nArcStep == myARC_END) {
      ArcDrag(pt);
      return;
    }
    if (m_myState == myREADY) {
      IPaintSpaceHost* host = m_pPaintSpace->GetHost();
      if (!(wParam & kNoMoveFlags)) {
        // The brush cursor is erased when the pointer leaves the view.
        if (host) host->TrackMouseLeave();
        if (m_bGestureShown) UpdateSizeGesture(pt);
        else DrawBrushCursor(nullptr, &pt, TRUE);
      }
      // SPACE reaches the tool only through the view.
      if (host) host->TakeFocus();
    }
  }
  GCATCH(GetClassName(), u"::OnMouseMove()", ->AppendArg(GArgInt(pt.x))->AppendArg(GArgInt(pt.y)))
}

void COperPaint::ArcDrag(POINT pt) {
  const PaintSample b = SampleAt(pt, m_sampleEnd.weight);
  m_sampleControl.x = b.x - (m_sampleEnd.x - m_sampleStart.x) * 0.5f;
  m_sampleControl.y = b.y - (m_sampleEnd.y - m_sampleStart.y) * 0.5f;
  DrawArcPreview(nullptr, TRUE);
}

void COperPaint::OnLButtonUp() {
  try {
    const BOOL pressed = m_nLButton != myUP;
    ReleaseButtonBit(myLEFT);
    if (pressed) {
      if (!m_bArcMode) FinishWork();
      else if (m_nArcStep == myARC_END) PaintArcSegment();
    }
    ButtonUp(myLEFT);
  }
  GCATCH(GetClassName(), u"::OnLButtonUp()")
}

void COperPaint::PaintArcSegment() {
  DrawArcPreview(nullptr, FALSE);
  DrawArcMark(nullptr, TRUE);
  BOOL glass = FALSE;
  PaintTarget target = MakeTarget(&glass);
  if (m_cpPaint->BeginArc(m_cpBrush, &target, &m_sink, m_nArcCount > 0)) {
    m_cpPaint->Arc(&m_sampleStart, &m_sampleEnd, &m_sampleControl);
    m_cpPaint->EndArc();
    CommitPaint(glass, u"绘画>弧线");
  }
  ++m_nArcCount;
  m_sampleStart = m_sampleEnd;
  m_nArcStep = myARC_START;
  DrawArcMark(nullptr, FALSE);
}

void COperPaint::CommitPaint(BOOL glassUsed, const char16_t* label) {
  OLayer* layer = m_cpLayer;
  try {
    if (glassUsed) m_cpGlass->PAT_MarkCopyTo(layer);
    GCompRef<OData> data = layer->PAT_Backup(TRUE);
    CToolUndoWriter step(m_pPaintSpace, layer, kNotCurrent);
    step.AddData(data);
    step.Commit(&m_parts.m_xUndoInner, kTagPaint, label);
  } catch (...) {
    // No step: the layer goes back to how it was, and the glass is emptied.
    if (glassUsed) m_cpGlass->Cleanup();
    else layer->PAT_Turn(TRUE);
    m_pPaintSpace->InvalidateComposite();
    m_pPaintSpace->InvalidateView();
    throw;
  }
  if (glassUsed) {
    m_cpGlass->PAT_GlassMergeTo(layer);
    m_cpGlass->Cleanup();
  }
  // The mip levels follow the changed blocks (also of a stroke painted straight in).
  layer->PAT_MarkMipRefresh();
  layer->PAT_Turn(FALSE);
  layer->AddChangeFlags(LYR_CHANGE_PIXELS);
  m_pPaintSpace->InvalidateComposite();
  m_pPaintSpace->InvalidateView();
}

void COperPaint::FinishWork() {
  try {
    if (m_bArcMode) {
      m_nArcStep = myARC_NONE;
      ReleaseLayers();
      return;
    }
    if (m_myState != mySTROKE) return;
    m_myState = myREADY;
    // The shown layers go however the stroke ends.
    struct Release {
      COperPaint* tool;
      ~Release() { tool->ReleaseLayers(); }
    } release{this};
    m_cpPaint->EndStroke();
    CommitPaint(m_bGlassInStroke, u"绘画");
  }
  GCATCH(GetClassName(), u"::FinishWork()")
}

void COperPaint::Clear(int percent) {
  try {
    FinishWork();
    CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
    if (list->GetCurSel() >= 0 && list->CheckWritable(TRUE)) {
      OLayer* layer = list->GetCurLayer();
      GCompRef<OData> data = layer->ProcessImpair(percent);
      // The step first: nothing after it may leave the layer changed without one.
      CToolUndoWriter step(m_pPaintSpace, layer, kNotCurrent, 64);
      step.WriteInt(percent).AddData(data);
      step.Commit(&m_parts.m_xUndoInner, kTagClear, u"清空/淡化");
      layer->MipRefresh(nullptr);
      layer->PAT_MarkSet(nullptr, nullptr);
      if (layer->PAT_GetActiveFlags() & PAT_F_BACKUP) layer->PAT_Turn(FALSE);
    }
    m_pPaintSpace->InvalidateComposite();
    m_pPaintSpace->InvalidateView();
  }
  GCATCH(GetClassName(), u"::Clear()", ->AppendArg(GArgInt(percent)))
}

BOOL COperPaint::ApplyUndoStep(CToolUndoReplay& step) {
  OLayer* layer = step.GetLayer();
  switch (step.GetTag()) {
    case kTagPaint: {
      layer->AddChangeFlags(LYR_CHANGE_PIXELS);
      OData* data = step.NextData();
      GCompRef<OData> inverse = step.IsRedo() ? layer->PAT_Redo(data) : layer->PAT_Undo(data);
      step.AddInverse(inverse);
      return TRUE;
    }
    case kTagClear: {
      const int percent = step.ReadInt();
      if (!step.IsRedo()) {
        layer->ProcessImpairRestore(step.NextData());
      } else {
        GCompRef<OData> data = layer->ProcessImpair(percent);
        step.AddInverse(data);
      }
      layer->AddChangeFlags(8);
      layer->PAT_MarkSet(nullptr, nullptr);
      layer->MipRefresh(nullptr);
      return TRUE;
    }
    default: GTHROW(u"Should not get here!");
  }
}

// ---------------------------------------------------------------------------------------------
// Messages

BOOL COperPaint::OnCmdMsg(UINT id, CmdUIState* ui) {
  if (id == ID_PAINT_CLEAR || id == ID_PAINT_FADE || id == ID_PAINT_FADE75) {
    if (ui) ui->Enable(TRUE);
    else Clear(id == ID_PAINT_CLEAR ? 0 : id == ID_PAINT_FADE ? 50 : 25);
    return TRUE;
  }
  return COperation::OnCmdMsg(id, ui);
}

void COperPaint::OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void* param) {
  try {
    FinishWork();
    const std::u16string from = sender ? sender : u"";
    CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
    if (from == u"CPaintSpace" && (code == myNOTIFY_UNDO || code == myNOTIFY_REDO)) {
      OLayer* cur = list->GetCurLayer();
      if (cur != m_cpLayer.get()) {
        if (m_cpLayer) m_cpLayer->PAT_Deactivate();
        m_cpLayer = cur;
        UpdatePaintStatus();
      } else if (cur && (cur->GetChangeFlags() & (LYR_CHANGE_PIXELS | 8)) && cur->PAT_MarkRecall() &&
                 (cur->PAT_GetActiveFlags() & PAT_F_BACKUP)) {
        // The step changed the pixels under the transaction: its copy follows them, so the
        // next stroke's undo data is what the layer shows now.
        cur->PAT_Turn(FALSE);
      }
    } else if (from == u"CMyListLayer" && code == myNOTIFY_SELECT) {
      auto* layer = param ? static_cast<OLayer*>(static_cast<OComponent*>(param)->GetInterface(u"OLayer")) : nullptr;
      if (layer != m_cpLayer.get()) {
        if (m_cpLayer) m_cpLayer->PAT_Deactivate();
        m_cpLayer = layer;
        UpdatePaintStatus();
      }
    } else if (from == u"CMyListBrush") {
      if (static_cast<OBrush*>(param) != m_cpBrush.get()) {
        // The worker may be storing the kind of the job it ends: read atomically.
        const int32_t kind = std::atomic_ref<int32_t>(m_pPaintSpace->m_job.kind).load();
        if (OWorker* worker = m_pPaintSpace->GetWorker()) worker->Wait(kind < 3);
        if (m_cpBrush) m_cpBrush->Deactivate();
        ActivateBrush();
        UpdatePaintStatus();
      }
      if (CMyListBrush* brushes = ListBrush()) {
        m_fRadiusRatio = brushes->GetRadiusRatio();
        m_bArcMode = brushes->GetOperateMode() != 0;
      }
      DrawArcMark(nullptr, TRUE);
    }
  }
  GCATCH(GetClassName(), u"::OnEnvironmentVaryNotify()")
}

BOOL COperPaint::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    switch (msg) {
      case WM_PAINT: OnDraw(); return TRUE;
      case WM_SETCURSOR: return OnSetCursor(lParam, result);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: OnLButtonDown(MsgPoint(lParam)); return TRUE;
      case WM_LBUTTONUP: OnLButtonUp(); return TRUE;
      case WM_MOUSEMOVE: OnMouseMove(wParam, MsgPoint(lParam)); return TRUE;
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        ShowSizeGesture(FALSE);
        DrawBrushCursor(nullptr, nullptr, FALSE);
        return NavigationMsg(msg, wParam, lParam, result);
      case WM_RBUTTONUP:
        RightButtonUp(lParam);
        return TRUE;
      case WM_MBUTTONUP:
        ReleaseButtonBit(myMIDDLE);
        m_nMButton = myUP;
        return TRUE;
      case WM_MOUSEWHEEL: {
        const BOOL took = OnMouseWheel(wParam);
        if (result) *result = took;
        return took ? TRUE : NavigationMsg(msg, wParam, lParam, result);
      }
      case WM_MOUSELEAVE:
        ShowSizeGesture(FALSE);
        DrawBrushCursor(nullptr, nullptr, FALSE);
        return TRUE;
      case WM_KEYDOWN:
        if (wParam != VK_SPACE) return FALSE;
        if (SpaceDown(lParam) && m_myState == myREADY) {
          m_ptGesture = m_ptMouse;
          m_fGestureStart = m_fRadiusRatio;
          DrawBrushCursor(nullptr, nullptr, FALSE);
          ShowSizeGesture(TRUE);
        }
        return TRUE;
      case WM_KEYUP:
        if (wParam != VK_SPACE) return FALSE;
        if (SpaceUp()) {
          // A tap: the size as it was, then the ring menu (or a step back in arc mode).
          ShowSizeGesture(FALSE);
          if (CMyListBrush* brushes = ListBrush()) brushes->SetRadiusRatio(m_fGestureStart);
          m_fRadiusRatio = m_fGestureStart;
          m_ptRButton = m_ptMouse;
          OnRButtonUp_Function(m_ptMouse);
        } else {
          ShowSizeGesture(FALSE);
        }
        return TRUE;
      case WM_HSCROLL:
      case WM_VSCROLL:
        ShowSizeGesture(FALSE);
        return NavigationMsg(msg, wParam, lParam, result);
      case WM_TIMER: return TRUE;
      case WM_CAPTURECHANGED:
        DropButtons(TRUE);
        return TRUE;
      default: return NavigationMsg(msg, wParam, lParam, result);
    }
  }
  GCATCH(GetClassName(), u"::OnWndMsg()", ->AppendArg(GArgUint(msg)))
}

void COperPaint::OnRButtonUp_Function(POINT pt) {
  try {
    if (m_bArcMode) {
      if (m_nArcStep == myARC_START) {
        DrawArcMark(nullptr, TRUE);
        m_nArcStep = myARC_NONE;
        return;
      }
      if (m_nArcStep == myARC_END) {
        DrawArcPreview(nullptr, FALSE);
        m_nArcStep = myARC_START;
        m_pPaintSpace->InvalidateView();
        return;
      }
    }
    if (m_myState == myREADY && m_pPaintSpace->GetCaptureMask() == 0) ShowRingMenu(pt);
  }
  GCATCH(GetClassName(), u"::OnRButtonUp_Function()")
}

BOOL COperPaint::OnMouseWheel(WPARAM wParam) {
  // Ctrl and Shift keep their view meaning (zoom, sideways scroll).
  if ((wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_CONTROL | MK_SHIFT)) || m_myState != myREADY) return FALSE;
  // Over the view only (the last move's point, as the navigation takes it).
  const POINT client = m_ptMouse;
  const ViewTransform& v = *m_pPaintSpace->m_pTransform;
  if (client.x < 0 || client.y < 0 || client.x >= v.clientWidth || client.y >= v.clientHeight) return FALSE;
  float r = m_fRadiusRatio;
  const int delta = int16_t(HIWORD(wParam));
  r = delta > 0 ? r - (r * 0.1f + 0.01f) : r * 1.1f + 0.01f;
  r = std::clamp(r, 0.0f, 1.0f);
  m_fRadiusRatio = r;
  if (CMyListBrush* brushes = ListBrush()) brushes->SetRadiusRatio(r);
  DrawBrushCursor(nullptr, &client, TRUE);
  return TRUE;
}

BOOL COperPaint::OnSetCursor(LPARAM lParam, LRESULT* result) {
  if (LOWORD(lParam) != HTCLIENT || !m_cpBrush) return FALSE;
  const int kind = m_cpBrush->GetCursorKind() & 3;
  const int row = !m_bArcMode ? 0 : m_nArcStep == myARC_NONE ? 1 : 2;
  gui::SetCursor(gui::LoadCursorResource(IDC_PAINT[row][kind]));
  if (result) *result = TRUE;
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void COperPaint::XDirtySink::Reset(ViewTransform* out) {
  // The lock first: the view transform may change under the UI thread until then.
  m_pTool->m_pPaintSpace->GetDrawLock().Enter();
  m_view = *m_pTool->m_pPaintSpace->m_pTransform;
  if (out) *out = m_view;
  m_nDabs = 0;
  m_rcDirty = RECT{100000, 100000, -100000, -100000};
}

void COperPaint::XDirtySink::AddDab(const float point[2], float radius) {
  float c[2];
  m_pTool->m_pPaintSpace->GetShowDevice()->SpaceToClient(c, point, &m_view);
  const float half = (radius + 1.9999f) * m_view.scale + 1.0f;
  m_rcDirty.left = std::min<LONG>(m_rcDirty.left, LONG(std::floor(c[0] - half)));
  m_rcDirty.top = std::min<LONG>(m_rcDirty.top, LONG(std::floor(c[1] - half)));
  m_rcDirty.right = std::max<LONG>(m_rcDirty.right, LONG(std::ceil(c[0] + half)));
  m_rcDirty.bottom = std::max<LONG>(m_rcDirty.bottom, LONG(std::ceil(c[1] + half)));
  ++m_nDabs;
}

void COperPaint::XDirtySink::Flush() {
  CPaintSpace* space = m_pTool->m_pPaintSpace;
  const int dabs = m_nDabs;
  m_nDabs = 0;
  try {
    // Zoomed out the view shows the mip levels: the batch's blocks get theirs now, not when
    // the stroke ends, so the stroke shows as it is drawn.
    OLayer* painted = m_pTool->m_bGlassInStroke ? m_pTool->m_cpGlass.get() : m_pTool->m_cpLayer.get();
    if (painted && dabs > 0) painted->PAT_MarkMipRefreshPending();
    IPaintSpaceHost* host = space->GetHost();
    if (host && m_pTool->m_nLayerCount > 0 && dabs > 0) {
      OShowDevice* device = space->GetShowDevice();
      if (device->DrawBegin(&m_view, TRUE)) {
        for (int i = 0; i < m_pTool->m_nLayerCount; ++i) {
          const bool sel = i == m_pTool->m_nSelLayer;
          device->DrawLayer(m_pTool->m_apLayer[i].get(), LYR_TIDY_CURRENT,
                            sel && m_pTool->m_bGlassInStroke ? m_pTool->m_cpGlass.get() : nullptr);
        }
        device->DrawEnd(&m_rcDirty, nullptr);
        HDC dc = host->GetDC();
        if (dc) {
          device->Preset(dc, &m_rcDirty);
          host->ReleaseDC(dc);
        }
      }
    }
  } catch (GError* e) {
    if (GSystem* system = space->GetSystem()) {
      system->ReportError(e);
    } else {
      // Owned by nobody yet: take it, then drop it.
      e->AddRef();
      e->Release();
    }
  } catch (...) {
  }
  space->GetDrawLock().Leave();
}

void COperPaint::RefreshDraw(gui::DeviceContext* dc, const POINT* scroll) {
  try {
    CPaintSpace* space = m_pPaintSpace;
    GAutoLock lock(space->GetDrawLock());
    OShowDevice* device = space->GetShowDevice();
    if (!device->DrawBegin(space->m_pTransform, TRUE)) return;
    CMyListLayer* list = space->m_pwndListLayer;
    const int selected = list->GetCurSel();
    for (int i = 0; i < list->GetCount(); ++i) {
      OLayer* glass = m_myState == mySTROKE && i == selected && m_bGlassInStroke ? m_cpGlass.get() : nullptr;
      device->DrawLayer(list->GetLayer(i), LYR_TIDY_CURRENT, glass);
    }
    device->DrawEnd(nullptr, scroll);
    if (scroll) device->ScrollView(space->m_pTransform, scroll->x, scroll->y);
    if (IPaintSpaceHost* host = space->GetHost()) {
      if (HDC target = host->GetDC()) {
        device->Preset(target, nullptr);
        host->ReleaseDC(target);
      }
    }
    space->DrawLayerFrame(dc, list->GetCurLayer());
  }
  GCATCH(GetClassName(), u"::RefreshDraw()")
}

void COperPaint::RedrawView(const POINT* scroll) {
  RefreshDraw(nullptr, scroll);
  OverlaysErased();
  DrawArcMark(nullptr, FALSE);
}

void COperPaint::OnDraw() {
  // A stroke in progress lives in the glass, which only this tool composes.
  if (m_myState == mySTROKE && !m_pPaintSpace->IsCompositeValid()) RefreshDraw(nullptr, nullptr);
  else m_pPaintSpace->OnDraw(nullptr);
  OverlaysErased();
  CViewDC dc(m_pPaintSpace->GetHost());
  if (m_bGestureShown) DrawSizeGesture(dc.Get(), m_ptGesture, kCursorPen);
  DrawArcMark(dc.Get(), FALSE);
}

void COperPaint::OverlaysErased() {
  m_bCursorShown = FALSE;
  m_bArcPreviewShown = FALSE;
  m_bArcMarkShown = FALSE;
}

void COperPaint::DrawBrushCursor(gui::DeviceContext* dc, const POINT* pt, BOOL show) {
  if (m_myState != myREADY) return;
  std::optional<CViewDC> own;
  if (!dc) {
    own.emplace(m_pPaintSpace->GetHost());
    dc = own->Get();
  }
  CMyListBrush* brushes = ListBrush();
  const auto circle = [&] {
    if (!dc || !brushes) return;
    int r = int(brushes->GetRadius() * m_pPaintSpace->m_pTransform->scale);
    if (r > 4096) r = 0;
    DrawSizeCircle(dc, m_ptCursor, r, kCursorPen);
  };
  if (m_bCursorShown) {
    circle();
    m_bCursorShown = FALSE;
  }
  if (!show) return;
  if (pt) m_ptCursor = *pt;
  circle();
  m_bCursorShown = TRUE;
}

void COperPaint::DrawArcMark(gui::DeviceContext* dc, BOOL erase) {
  if (erase ? !m_bArcMarkShown : !(m_bArcMode && m_nArcStep > 0)) return;
  std::optional<CViewDC> own;
  if (!dc) {
    own.emplace(m_pPaintSpace->GetHost());
    dc = own->Get();
  }
  if (!dc) return;
  float c[2];
  const float s[2] = {m_sampleStart.x, m_sampleStart.y};
  m_pPaintSpace->GetShowDevice()->SpaceToClient(c, s, m_pPaintSpace->m_pTransform);
  const int x = int(c[0]), y = int(c[1]);
  const int oldRop = dc->SetROP2(gui::R2_XORPEN);
  dc->SetPen(gui::PS_SOLID, kArcPen);
  dc->MoveTo(x - 4, y + 4);
  dc->LineTo(x + 5, y - 5);
  dc->MoveTo(x - 4, y - 4);
  dc->LineTo(x + 5, y + 5);
  dc->SetROP2(oldRop);
  m_bArcMarkShown = !m_bArcMarkShown;
}

void COperPaint::DrawArcPreview(gui::DeviceContext* dc, BOOL show) {
  std::optional<CViewDC> own;
  if (!dc) {
    own.emplace(m_pPaintSpace->GetHost());
    dc = own->Get();
  }
  PaintSample* shown = m_aShownArc;
  const auto curve = [&](const PaintSample* p) {
    if (!dc) return;
    OShowDevice* device = m_pPaintSpace->GetShowDevice();
    const int oldRop = dc->SetROP2(gui::R2_XORPEN);
    dc->SetPen(gui::PS_SOLID, kArcPen);
    for (int i = 0; i <= 50; ++i) {
      const float t = float(i) * 0.02f, u = 1.0f - t;
      const float s[2] = {u * u * p[0].x + t * t * p[1].x + 2 * t * u * p[2].x,
                          u * u * p[0].y + t * t * p[1].y + 2 * t * u * p[2].y};
      float c[2];
      device->SpaceToClient(c, s, m_pPaintSpace->m_pTransform);
      if (i == 0) dc->MoveTo(int(c[0]), int(c[1]));
      else dc->LineTo(int(c[0]), int(c[1]));
    }
    dc->SetROP2(oldRop);
  };
  if (m_bArcPreviewShown) {
    curve(shown);
    m_bArcPreviewShown = FALSE;
  }
  if (!show) return;
  shown[0] = m_sampleStart;
  shown[1] = m_sampleEnd;
  shown[2] = m_sampleControl;
  curve(shown);
  m_bArcPreviewShown = TRUE;
}

void COperPaint::ShowSizeGesture(BOOL show) {
  if (m_bGestureShown == show) return;
  m_bGestureShown = show;
  m_pPaintSpace->InvalidateView();
}

void COperPaint::UpdateSizeGesture(POINT pt) {
  const float v = SizeGestureValue(int(pt.x - m_ptGesture.x), int(pt.y - m_ptGesture.y), m_fGestureStart);
  CMyListBrush* brushes = ListBrush();
  if (v >= 0.0f && v <= 1.0f) {
    m_fRadiusRatio = v;
  } else if (v >= 10.0f) {
    m_fRadiusRatio = SizeGestureFlick(v, m_fGestureStart);
    ShowSizeGesture(FALSE);
  } else {
    return;
  }
  if (brushes) brushes->SetRadiusRatio(m_fRadiusRatio);
}

// ---------------------------------------------------------------------------------------------
// Ring menu

COperPaint::XMenu::XMenu(COperPaint* tool) : CFunctionMenu(IDB_RING_PAINT), m_pTool(tool) {}

const char16_t* COperPaint::XMenu::GetLabel(UINT item, int state) {
  if (state <= 0) return u"";
  switch (item) {
    case 3: return u"调色板";
    case 4: return u"选择图层";
    case 7: return u"笔设2";
    case 8: return u"笔设1";
    case 9: return u"操作切换";
    case 10: return u"画笔2";
    case 11: return u"画笔1";
    case FLOWER_SECTOR_TOPLEFT: return u"辙消";
    case FLOWER_SECTOR_TOPRIGHT: return u"取色";
    case FLOWER_SECTOR_BOTTOMRIGHT: return u"视觉翻转";
    case FLOWER_SECTOR_BOTTOMLEFT: return u"画笔切换";
    default: return u"";
  }
}

void COperPaint::XMenu::Run(int x, int y, UINT item, DWORD) {
  CPaintSpace* space = m_pTool->m_pPaintSpace;
  CMyListBrush* brushes = m_pTool->ListBrush();
  const POINT at = m_pTool->m_ptRButton;
  switch (item) {
    case 3:
      if (IShellServices* shell = space->GetShell()) shell->PopupPalette(x, y);
      break;
    case 4: space->OnFlowerSelectLayer(at.x, at.y); break;
    case 7:
      if (brushes) brushes->RecallPreset(2);
      break;
    case 8:
      if (brushes) brushes->RecallPreset(1);
      break;
    case 9: space->SelectOperator(space->GetPrevOperatorID()); break;
    case 10:
      if (brushes) brushes->SelectBrush(1);
      break;
    case 11:
      if (brushes) brushes->SelectBrush(0);
      break;
    case FLOWER_SECTOR_TOPLEFT: space->Undo(1); break;
    case FLOWER_SECTOR_TOPRIGHT:
      if (CColorBar* bar = space->GetColorBar()) bar->PushRgb(COperSucker::ColorAt(space, at.x, at.y) & 0xFFFFFFu);
      break;
    case FLOWER_SECTOR_BOTTOMRIGHT: space->FlipViewAt(at.x, at.y); break;
    case FLOWER_SECTOR_BOTTOMLEFT:
      if (brushes) brushes->SwitchBrush();
      break;
    default: break;
  }
}

#include "PaintSpace.h"

#include "FileRefusal.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>

#include "odata/GError.h"
#include "odata/GText.h"
#include "odata/LittleEndian.h"
#include "core/DataBlocks.h"
#include "core/ShellServices.h"
#include "core/ViewDC.h"
#include "panels/MyListLayer.h"
#include "tools/OperDefault.h"
#include "platform/gui/Messages.h"

namespace {

constexpr const char16_t* kClass = u"CPaintSpace";
constexpr DWORD kFlushMs = 25;
// A refresh job past its last look at the dirty flag leaves the worker within moments; a
// request waits this many milliseconds for it before it counts the worker as busy elsewhere.
constexpr int kExitPolls = 200;
constexpr int kStartPolls = 2000;
constexpr COLORREF kFramePen = 0x808080;
// Said when an undo or redo stops at a step whose swap file could not be read back.
constexpr const char16_t* kUndoLost = u"撤销记录的交换文件无法读回：撤销到此为止，更早的步骤已丢失";
constexpr const char16_t* kRedoLost = u"重做记录的交换文件无法读回：重做到此为止，其余的步骤已丢失";

// Truncates a client coordinate; views far out of any sensible range stay inside LONG.
LONG ToLong(float v) {
  constexpr float kLimit = float(1 << 30);
  if (!(v > -kLimit)) return -(1 << 30);
  return v < kLimit ? LONG(v) : (1 << 30);
}

// Drops an error that must not stop a closing step.
void Swallow(GErrRecord* e) {
  e->AddRef();
  e->Release();
}

// Clips the segment a-b to the closed rectangle [0, w] x [0, h]; false when nothing is left.
bool ClipSegment(double& ax, double& ay, double& bx, double& by, double w, double h) {
  double t0 = 0, t1 = 1;
  const double dx = bx - ax, dy = by - ay;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {ax, w - ax, ay, h - ay};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const double x0 = ax, y0 = ay;
  ax = x0 + t0 * dx;
  ay = y0 + t0 * dy;
  bx = x0 + t1 * dx;
  by = y0 + t1 * dy;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The size section

void SpaceSection::Store(BYTE out[kBytes]) const {
  const uint32_t fields[8] = {dwCheck, dwWidth, dwHeight, dwBackground,
                              dwReserved[0], dwReserved[1], dwReserved[2], dwReserved[3]};
  for (int i = 0; i < 8; ++i) PutLE32(out + 4 * i, fields[i]);
}

SpaceSection SpaceSection::Parse(const BYTE in[kBytes]) {
  SpaceSection s{};
  s.dwCheck = GetLE32(in);
  s.dwWidth = GetLE32(in + 4);
  s.dwHeight = GetLE32(in + 8);
  s.dwBackground = GetLE32(in + 12);
  for (int i = 0; i < 4; ++i) s.dwReserved[i] = GetLE32(in + 16 + 4 * i);
  return s;
}

BOOL CPaintSpace::XFileSave::Save(OFileOut* file, uint64_t* pBytes, JobControl*) {
  SpaceSection s{};
  s.dwWidth = m_pSpace->m_uWidth;
  s.dwHeight = m_pSpace->m_uHeight;
  s.dwBackground = m_pSpace->m_dwBackground;
  s.dwCheck = SpaceSection::CheckOf(s.dwWidth, s.dwHeight, s.dwBackground);
  BYTE buf[SpaceSection::kBytes];
  s.Store(buf);
  if (!file || file->Write(buf, sizeof buf, 1) != 1) return FALSE;
  if (pBytes) *pBytes += sizeof buf;
  return TRUE;
}

BOOL CPaintSpace::XFileLoad::Begin() {
  m_bRead = FALSE;
  return TRUE;
}

// Everything is checked here, so that End, which every unit gets, cannot fail on the bytes.
BOOL CPaintSpace::XFileLoad::Load(OFileIn* file, uint64_t* pBytes, JobControl*) {
  BYTE buf[SpaceSection::kBytes];
  if (!file || file->Read(buf, sizeof buf, 1) != 1) return FALSE;
  const SpaceSection s = SpaceSection::Parse(buf);
  if (s.dwCheck != SpaceSection::CheckOf(s.dwWidth, s.dwHeight, s.dwBackground)) {
    file_refusal::Note(file_refusal::Damaged(u"画布区"));
    return FALSE;
  }
  if (s.dwWidth < 1 || s.dwWidth > LYR_MAX_WIDTH || s.dwHeight < 1 || s.dwHeight > LYR_MAX_HEIGHT) {
    file_refusal::Note(file_refusal::TooLarge(s.dwWidth, s.dwHeight));
    return FALSE;
  }
  m_section = s;
  // The background is a colour: the top byte means nothing and is ignored.
  m_section.dwBackground &= SPACE_WHITE;
  m_bRead = TRUE;
  if (pBytes) *pBytes += sizeof buf;
  return TRUE;
}

BOOL CPaintSpace::XFileLoad::End(BOOL bFailed) {
  BOOL ok = !bFailed && m_bRead;
  m_bRead = FALSE;
  if (ok) {
    try {
      m_pSpace->SetSpaceSize(m_section.dwWidth, m_section.dwHeight);
      m_pSpace->SetBackground(m_section.dwBackground);
      m_pSpace->m_bCompositeValid = FALSE;
    } catch (GErrRecord* e) {
      // The other units still get their End; the error goes to the report.
      e->AddRef();
      GTrace(e, u"CPaintSpace::XFileLoad", u"::End()");
      if (m_pSpace->m_pSystem) m_pSpace->m_pSystem->ReportError(e);
      e->Release();
      ok = FALSE;
    }
  }
  if (m_pSpace->m_pHost) m_pSpace->m_pHost->InvalidateFrame();
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Lifetime

CPaintSpace::CPaintSpace(GSystem* system, OShowDevice* device) : m_pSystem(system), m_pDevice(device) {
  m_cpJobArgs = GNewData(4096);
  m_job = JobRecord{m_cpJobArgs.get(), u"unknown", 6, -1, nullptr, nullptr};
  m_pDefaultOperator = new COperDefault();
  m_pDefaultOperator->AddRef();
  m_pDefaultOperator->m_pPaintSpace = this;
  m_pCurOperator = m_pDefaultOperator;
}

CPaintSpace::~CPaintSpace() {
  m_bRunning = FALSE;
  m_evStop.Set();
  m_threadFlush.Join();
  try {
    if (m_cpWorker) m_cpWorker->Wait(TRUE);
  } catch (GErrRecord* e) {
    Swallow(e);
  }
  m_refresh.DropLayers();
  try {
    if (m_bAttached) m_pwndListLayer->DetachSpace();
  } catch (GErrRecord* e) {
    Swallow(e);
  }
  m_cpRedo.Release();
  m_cpUndo.Release();
  m_pCurOperator = nullptr;
  m_listOperators.RemoveAll();
  m_pDefaultOperator->Release();
  m_job.pArgs = nullptr;
  m_cpJobArgs.Release();
  m_cpWorker.Release();
}

int CPaintSpace::Initialize(UINT nSpaceWidth, UINT nSpaceHeight, IPaintSpaceHost* host, CMyListLayer* list,
                            COperation* pFirst) {
  try {
    GVERIFY(nSpaceWidth <= LYR_MAX_WIDTH, u"!nSpaceWidth <=LYR_MAX_WIDTH");
    GVERIFY(nSpaceHeight <= LYR_MAX_HEIGHT, u"!nSpaceHeight<=LYR_MAX_HEIGHT");
    GVERIFY(nSpaceWidth >= 1, u"!nSpaceWidth>=1");
    GVERIFY(nSpaceHeight >= 1, u"!nSpaceHeight>=1");
    // Once only: a space that failed half-way is destroyed, not initialised again.
    GVERIFY(m_myState == myNULL && !m_bAttached && !m_cpUndo.IsValid(), u"!m_myState==myNULL");
    GCHECK(host && list && pFirst && m_pSystem && m_pDevice);

    m_pHost = host;
    list->AttachSpace(this);
    m_pwndListLayer = list;
    m_bAttached = true;
    const SIZE client = host->GetClientSize();

    m_nPrevOperator = pFirst->GetID();
    m_listOperators.Append(pFirst);
    m_pCurOperator = pFirst;
    pFirst->m_pPaintSpace = this;

    m_transform = ViewTransform{0,        nSpaceWidth, nSpaceHeight, SPACE_WHITE, client.cx, client.cy,
                                float(nSpaceWidth / 2), float(nSpaceHeight / 2), 0.0f, 1.0f};
    m_transSpare = m_transform;
    m_uWidth = nSpaceWidth;
    m_uHeight = nSpaceHeight;
    m_dwBackground = SPACE_WHITE;

    m_cpUndo = NewInterface<OUndoRecorder>(m_pSystem, u"XUndoRecorder", u"OUndoRecorder");
    GVERIFY(m_cpUndo.IsValid(), u"!m_cpUndo.IsValid()");
    m_cpRedo = NewInterface<OUndoRecorder>(m_pSystem, u"XUndoRecorder", u"OUndoRecorder");
    GVERIFY(m_cpRedo.IsValid(), u"!m_cpRedo.IsValid()");
    m_cpUndo->SetLimits(SPACE_UNDO_DEPTH, 1);
    m_cpRedo->SetLimits(SPACE_UNDO_DEPTH, 1);

    GVERIFY(m_threadFlush.Start([this] { RunFlushThread(); }), u"!m_hFlushThread");

    m_cpWorker = NewInterface<OWorker>(m_pSystem, u"XWorker", u"OWorker");
    GVERIFY(m_cpWorker.IsValid(), u"!m_cpWorker.IsValid()");
    // A new worker's thread takes a moment to start; the first redraw must find it ready.
    for (int i = 0; i < kStartPolls && !m_cpWorker->IsReady(); ++i) plat::Sleep(1);

    m_myState = myREADY;
    return m_pCurOperator->Activate();
  }
  GCATCH(kClass, u"::Initialize()", ->AppendArg(GArgUint(nSpaceWidth))->AppendArg(GArgUint(nSpaceHeight)))
}

void CPaintSpace::RunFlushThread() {
  for (;;) {
    m_bFlushBusy = TRUE;
    m_evStop.Wait(int(kFlushMs));
    const BOOL running = m_bRunning;
    m_bFlushBusy = FALSE;
    if (!running) break;
    if (m_myState != myREADY || !m_cpUndo || !m_cpRedo) continue;
    try {
      m_cpUndo->ManageMemoryFile(u"qvundo");
      m_cpRedo->ManageMemoryFile(u"qvredo");
    } catch (GErrRecord* e) {
      e->AddRef();
      try {
        m_cpUndo->Clear();
        m_cpRedo->Clear();
      } catch (GErrRecord* e2) {
        Swallow(e2);
      }
      if (m_pSystem) m_pSystem->ReportError(e);
      e->Release();
    } catch (...) {
      // Out of memory while moving a step: the history goes, the thread stays.
      try {
        m_cpUndo->Clear();
        m_cpRedo->Clear();
      } catch (GErrRecord* e2) {
        Swallow(e2);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Size, background, view

IShellServices* CPaintSpace::GetShell() const {
  IPaintSpaceHost* host = GetHost();
  return host ? host->GetShell() : nullptr;
}

void CPaintSpace::ShowStatus(const char16_t* text) const {
  if (IShellServices* shell = GetShell()) shell->ShowStatus(text);
}

gui::GWindow* CPaintSpace::GetOptionBar() const {
  IShellServices* shell = GetShell();
  return shell ? shell->GetOptionBar() : nullptr;
}

COLORREF CPaintSpace::GetColor(int index) { return m_pHost ? m_pHost->GetColor(index) & SPACE_WHITE : 0; }

void CPaintSpace::SetSpaceSize(UINT uWidth, UINT uHeight) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    GVERIFY(uWidth <= LYR_MAX_WIDTH, u"!uWidth<=LYR_MAX_WIDTH");
    GVERIFY(uHeight <= LYR_MAX_HEIGHT, u"!uHeight<=LYR_MAX_HEIGHT");
    GVERIFY(uWidth >= 1, u"!uWidth>=1");
    GVERIFY(uHeight >= 1, u"!uHeight>=1");
    for (ViewTransform* t : {&m_transform, &m_transSpare}) {
      t->spaceWidth = uWidth;
      t->spaceHeight = uHeight;
      t->centreX = float(uWidth / 2);
      t->centreY = float(uHeight / 2);
    }
    m_uWidth = uWidth;
    m_uHeight = uHeight;
  }
  GCATCH(kClass, u"::SetSpaceSize()", ->AppendArg(GArgUint(uWidth))->AppendArg(GArgUint(uHeight)))
}

void CPaintSpace::SetBackground(COLORREF colour) {
  m_dwBackground = colour;
  m_transform.background = colour;
  m_transSpare.background = colour;
}

void CPaintSpace::SetCentre(float x, float y) {
  m_transform.centreX = x;
  m_transform.centreY = y;
}

void CPaintSpace::SetClientSize(int cx, int cy) {
  m_transform.clientWidth = cx;
  m_transform.clientHeight = cy;
  m_bCompositeValid = FALSE;
  SyncScrollBars(nullptr);
}

void CPaintSpace::CenterOnView(OLayer* layer, RECT* rect) {
  auto clampCentre = [](float c, UINT side) {
    if (!(c >= 0.0f)) return 0;  // also NaN
    const int max = int(side) - 1;
    return c >= float(max) ? max : int(c);
  };
  const int cx = clampCentre(m_transform.centreX, m_uWidth);
  const int cy = clampCentre(m_transform.centreY, m_uHeight);
  if (layer) {
    const int w = layer->GetWidth(), h = layer->GetHeight();
    layer->SetPosition(w == int(m_uWidth) ? 0 : cx - w / 2, h == int(m_uHeight) ? 0 : cy - h / 2, FALSE);
  }
  if (rect) {
    const int w = rect->right - rect->left, h = rect->bottom - rect->top;
    if (w != int(m_uWidth)) {
      rect->left = cx - w / 2;
      rect->right = cx + w - w / 2;
    }
    if (h != int(m_uHeight)) {
      rect->top = cy - h / 2;
      rect->bottom = cy + h - h / 2;
    }
  }
}

BOOL CPaintSpace::IsModified() {
  return m_cpUndo && m_cpUndo->GetCounter() != 0 && m_pwndListLayer && m_pwndListLayer->GetCount() >= 1;
}

void CPaintSpace::InvalidateView(BOOL erase) {
  if (m_pHost) m_pHost->InvalidateView(erase);
}

void GetSpaceClientRect(RECT* out, OShowDevice* device, const ViewTransform* t) {
  const float w = float(t->spaceWidth), h = float(t->spaceHeight);
  const float corners[4][2] = {{0, 0}, {w, 0}, {0, h}, {w, h}};
  float minX = 0, minY = 0, maxX = 0, maxY = 0;
  for (int i = 0; i < 4; ++i) {
    float p[2];
    device->SpaceToClient(p, corners[i], t);
    if (i == 0 || p[0] < minX) minX = p[0];
    if (i == 0 || p[0] > maxX) maxX = p[0];
    if (i == 0 || p[1] < minY) minY = p[1];
    if (i == 0 || p[1] > maxY) maxY = p[1];
  }
  out->left = ToLong(minX) - t->clientWidth / 2;
  out->top = ToLong(minY) - t->clientHeight / 2;
  out->right = ToLong(maxX) + t->clientWidth / 2;
  out->bottom = ToLong(maxY) + t->clientHeight / 2;
}

void CPaintSpace::SyncScrollBars(const ViewTransform* transform) {
  if (!m_pHost || !m_pDevice) return;
  ComputeScrollBars(transform ? transform : m_pTransform);
  m_pHost->SyncScrollBars(m_sbHorz, m_sbVert);
}

void CPaintSpace::ComputeScrollBars(const ViewTransform* t) {
  RECT r;
  GetSpaceClientRect(&r, m_pDevice, t);
  const int64_t w = std::max<int64_t>(1, int64_t(r.right) - r.left);
  const int64_t h = std::max<int64_t>(1, int64_t(r.bottom) - r.top);
  auto bar = [](int64_t near, int64_t extent, int64_t client) {
    const int64_t pos = std::max<int64_t>(0, -near * SPACE_SCROLL_RANGE / extent);
    const int64_t page = std::clamp<int64_t>(client * SPACE_SCROLL_RANGE / extent, 1, SPACE_SCROLL_RANGE);
    return ScrollBarState{int(std::min<int64_t>(pos, SPACE_SCROLL_RANGE)), int(page)};
  };
  m_sbHorz = bar(r.left, w, t->clientWidth);
  m_sbVert = bar(r.top, h, t->clientHeight);
}

// ---------------------------------------------------------------------------------------------
// Redraw

OLayer* CPaintSpace::CurrentLayer() { return m_pwndListLayer ? m_pwndListLayer->GetCurLayer() : nullptr; }

void CPaintSpace::OnDraw(HDC dc) {
  try {
    if (m_myState != myREADY) return;
    GAutoLock lock(m_lockDraw);
    if (m_bCompositeValid) {
      {
        DcScope target(m_pHost, dc);
        if (target.Get()) m_pDevice->Preset(target.Get(), nullptr);
      }
      DrawLayerFrame(nullptr, CurrentLayer());
    } else {
      RefreshDraw(dc, nullptr);
    }
  }
  GCATCH(kClass, u"::OnDraw()")
}

void CPaintSpace::RefreshDraw(HDC dc, const POINT* scroll) {
  try {
    if (m_myState != myREADY) return;
    GAutoLock lock(m_lockDraw);
    if (!m_pDevice->DrawBegin(m_pTransform, TRUE)) return;
    const int count = m_pwndListLayer->GetCount();
    const int selected = m_pwndListLayer->GetCurSel();
    for (int i = 0; i < count; ++i)
      m_pDevice->DrawLayer(m_pwndListLayer->GetLayer(i), i == selected ? LYR_TIDY_CURRENT : 0, nullptr);
    m_pDevice->DrawEnd(nullptr, scroll);
    m_bCompositeValid = TRUE;
    if (scroll) m_pDevice->ScrollView(m_pTransform, scroll->x, scroll->y);
    {
      DcScope target(m_pHost, dc);
      if (target.Get()) m_pDevice->Preset(target.Get(), nullptr);
    }
    DrawLayerFrame(nullptr, CurrentLayer());
  }
  GCATCH(kClass, u"::RefreshDraw()")
}

void CPaintSpace::RefreshJob::DropLayers() {
  for (int i = 0; i < m_nLayerCount; ++i)
    if (m_apLayers[i]) m_apLayers[i]->Release();
  m_nLayerCount = 0;
}

void CPaintSpace::RefreshJob::TakeLayers(CMyListLayer* list, int count) {
  DropLayers();
  for (int i = 0; i < count; ++i) {
    OLayer* l = list->GetLayer(i);
    if (l) l->AddRef();
    m_apLayers[i] = l;
  }
  m_nLayerCount = count;
  m_nSelected = list->GetCurSel();
}

int CPaintSpace::RefreshInWorker(const ViewTransform* transform) {
  try {
    // Undo or redo steps are running under the drawing lock; the view is redrawn after them.
    if (m_bStepsRunning) return 0;
    if (BOOL drawn = m_pCurOperator ? m_pCurOperator->RefreshSpace() : 0) return drawn;
    if (m_myState != myREADY) return 0;
    const int count = m_pwndListLayer->GetCount();
    GVERIFY(count <= LYR_MAX_SUM, u"!m_nLayerCount<=LYR_MAX_SUM");
    RefreshJob& job = m_refresh;
    {
      // The running pass looks at the flag under this lock before it ends, so a request
      // made while it runs is never missed.
      GAutoLock lock(job.m_lock);
      job.m_transform = transform ? *transform : *m_pTransform;
      job.m_bDirty = TRUE;
      job.TakeLayers(m_pwndListLayer, count);
      if (job.m_state == RefreshJob::myRUNNING) return 0;
    }
    for (int i = 0; i < kExitPolls && !m_cpWorker->IsReady(); ++i) {
      {
        GAutoLock lock(job.m_lock);
        if (job.m_state != RefreshJob::myEXITING) break;
      }
      plat::Sleep(1);
    }
    GAutoLock lock(job.m_lock);
    job.m_state = RefreshJob::myIDLE;
    // Busy with another job: the request waits for the next call.
    if (!m_cpWorker->IsReady()) return 0;
    job.m_state = RefreshJob::myRUNNING;
    m_job.object = &job;
    m_job.proc = JobThunk<RefreshJob, &RefreshJob::____Refresh>;
    m_job.kind = 6;
    m_job.name = u"unknown";
    m_job.result = 0;
    m_job.pArgs->Rewind();
    lock.Release();
    const BOOL launched = m_cpWorker->Launch(&m_job, nullptr);
    if (!launched) {
      GAutoLock again(job.m_lock);
      job.m_state = RefreshJob::myIDLE;
    }
    return launched;
  }
  GCATCH(kClass, u"::RefreshInWorker()")
}

BOOL CPaintSpace::HasPendingRefresh() {
  GAutoLock lock(m_refresh.m_lock);
  return m_refresh.m_bDirty && m_refresh.m_state != RefreshJob::myRUNNING;
}

int32_t CPaintSpace::RefreshJob::____Refresh(JobRecord*, JobControl* control) {
  // The layers of one pass, each with the reference the request took.
  struct Pass {
    OLayer* layers[LYR_MAX_SUM] = {};
    int count = 0;
    ~Pass() {
      for (int i = 0; i < count; ++i)
        if (layers[i]) layers[i]->Release();
    }
  };
  for (;;) {
    Pass pass;
    ViewTransform view;
    int selected;
    {
      GAutoLock lock(m_lock);
      if (!m_bDirty || (control && (control->flags & JOB_ABORT))) {
        m_state = myEXITING;
        return 0;
      }
      m_bDirty = FALSE;
      view = m_transform;
      selected = m_nSelected;
      std::copy(m_apLayers, m_apLayers + m_nLayerCount, pass.layers);
      pass.count = m_nLayerCount;
      m_nLayerCount = 0;
    }
    try {
      m_pSpace->ComposeAndPresent(view, pass.layers, pass.count, selected);
    } catch (...) {
      GAutoLock lock(m_lock);
      m_state = myEXITING;
      throw;
    }
  }
}

void CPaintSpace::ComposeAndPresent(const ViewTransform& view, OLayer* const* layers, int count, int selected) {
  GAutoLock lock(m_lockDraw);
  if (!m_pDevice->DrawBegin(&view, TRUE)) return;
  for (int i = 0; i < count; ++i) m_pDevice->DrawLayer(layers[i], i == selected ? LYR_TIDY_CURRENT : 0, nullptr);
  m_pDevice->DrawEnd(nullptr, nullptr);
  {
    DcScope target(m_pHost, nullptr);
    if (target.Get()) m_pDevice->Preset(target.Get(), nullptr);
  }
  m_bCompositeValid = TRUE;
}

void CPaintSpace::DrawLayerFrame(gui::DeviceContext* dc, OLayer* layer) {
  if (!layer || !m_pHost || !m_pDevice) return;
  RECT r;
  layer->GetRect(&r);
  const float m = 3.0f / m_transform.scale;
  const float space[4][2] = {{float(r.left) - m, float(r.top) - m},
                             {float(r.right) + m, float(r.top) - m},
                             {float(r.left) - m, float(r.bottom) + m},
                             {float(r.right) + m, float(r.bottom) + m}};
  POINT c[4];
  for (int i = 0; i < 4; ++i) {
    float p[2];
    m_pDevice->SpaceToClient(p, space[i], m_pTransform);
    c[i] = POINT{ToLong(std::floor(p[0])), ToLong(std::floor(p[1]))};
  }
  enum { TL, TR, BL, BR };
  static constexpr int kTicks[8][2] = {{TL, TR}, {TL, BL}, {TR, TL}, {TR, BR},
                                       {BL, TL}, {BL, BR}, {BR, TR}, {BR, BL}};
  const double clipW = m_transform.clientWidth, clipH = m_transform.clientHeight;
  std::optional<CViewDC> own;
  if (!dc) {
    own.emplace(m_pHost);
    dc = own->Get();
  }
  if (!dc) return;
  const int oldRop = dc->SetROP2(gui::R2_XORPEN);
  dc->SetPen(gui::PS_SOLID, kFramePen);
  for (const auto& tick : kTicks) {
    const POINT a = c[tick[0]], b = c[tick[1]];
    // From the inner end, a tenth of the side away, to the corner.
    double ix = double(a.x + (int64_t(b.x) - a.x) / 10), iy = double(a.y + (int64_t(b.y) - a.y) / 10);
    double cx = a.x, cy = a.y;
    if (!ClipSegment(ix, iy, cx, cy, clipW, clipH)) continue;
    const POINT from{LONG(std::lround(ix)), LONG(std::lround(iy))};
    const POINT to{LONG(std::lround(cx)), LONG(std::lround(cy))};
    if (from.x == to.x && from.y == to.y) continue;
    dc->MoveTo(from.x, from.y);
    dc->LineTo(to.x, to.y);
  }
  dc->SetROP2(oldRop);
}

// ---------------------------------------------------------------------------------------------
// Tools and commands

void CPaintSpace::AddOperator(COperation* op) {
  if (!op) return;
  m_listOperators.Append(op);
  op->m_pPaintSpace = this;
}

void CPaintSpace::SelectOperator(UINT id) {
  try {
    FinishWork();
    if (m_cpWorker) m_cpWorker->Wait(FALSE);
    COperation* found = nullptr;
    m_listOperators.ForEach([&](COperation* op) {
      if (!found && op != m_pCurOperator && op->GetID() == id) found = op;
    });
    if (!found) return;
    // A drag of the old tool ends with it.
    ReleaseAllButtons();
    m_nPrevOperator = m_pCurOperator ? m_pCurOperator->GetID() : 0;
    if (m_pCurOperator) m_pCurOperator->Deactivate();
    m_pCurOperator = found;
    found->Activate();
    m_bCompositeValid = FALSE;
    InvalidateView(FALSE);
  }
  GCATCH(kClass, u"::SelectOperator()", ->AppendArg(GArgUint(id)))
}

void CPaintSpace::SuspendOperator() {
  try {
    FinishWork();
    if (!m_pDefaultOperator || m_pCurOperator == m_pDefaultOperator) return;
    ReleaseAllButtons();
    if (m_pCurOperator) m_pCurOperator->Deactivate();
    m_pCurOperator = m_pDefaultOperator;
    m_pCurOperator->Activate();
  }
  GCATCH(kClass, u"::SuspendOperator()")
}

COperatorSuspend::COperatorSuspend(CPaintSpace* space) : m_pSpace(space) {
  if (!m_pSpace) return;
  COperation* cur = m_pSpace->GetCurOperator();
  m_nID = cur ? cur->GetID() : 0;
  m_pSpace->SuspendOperator();
}

COperatorSuspend::~COperatorSuspend() {
  if (!m_pSpace) return;
  // An error of the command is already on its way out; one of the re-selection goes to the
  // error report instead of ending the program.
  try {
    m_pSpace->SelectOperator(m_nID);
  } catch (GErrRecord* e) {
    e->AddRef();
    if (m_pSpace->GetSystem()) m_pSpace->GetSystem()->ReportError(e);
    e->Release();
  }
}

BOOL CPaintSpace::HasOperator(UINT id) {
  BOOL found = FALSE;
  m_listOperators.ForEach([&](COperation* op) { found = found || op->GetID() == id; });
  return found;
}

void CPaintSpace::FinishWork() {
  if (m_pHost) m_pHost->FinishListWork();
  if (m_pCurOperator) m_pCurOperator->EndGesture();
}

void CPaintSpace::NotifyOperator(const char16_t* sender, DWORD code, void* param) {
  if (m_pCurOperator) m_pCurOperator->OnEnvironmentVaryNotify(sender, code, param);
}

namespace {

constexpr UINT kToolCommands[] = {ID_OPER_MOVE,  ID_OPER_NEW,   ID_OPER_CROP,    ID_OPER_LASSO,
                                  ID_OPER_DISTORT, ID_OPER_SHAPE, ID_OPER_FLOOD, ID_OPER_PAINT,
                                  ID_OPER_POLYGON, ID_OPER_SUCKER};
// Commands other handlers carry out, shown enabled whatever the tool.
constexpr UINT kAlwaysEnabled[] = {57601, 32812, 32820, 32827, 32840, 32853, 32854};

bool IsOneOf(UINT id, const UINT* ids, size_t n) { return std::find(ids, ids + n, id) != ids + n; }

}  // namespace

BOOL CPaintSpace::OnCmdMsg(UINT id, CmdUIState* ui) {
  try {
    if (m_pCurOperator && m_pCurOperator->OnCmdMsg(id, ui)) return TRUE;
    if (IsOneOf(id, kToolCommands, std::size(kToolCommands)) || id == ID_OPER_RESERVED) {
      // A tool not made (yet) is nobody's command: its button shows disabled.
      if (id != ID_OPER_RESERVED && !HasOperator(id)) return FALSE;
      // The current tool checks its own entry in its own handler, which ran first.
      if (ui) {
        ui->SetCheck(FALSE);
        ui->Enable(TRUE);
        return TRUE;
      }
      if (id == ID_OPER_RESERVED) return FALSE;
      SelectOperator(id);
      return TRUE;
    }
    if (id >= ID_VIEW_ZOOM_IN && id <= ID_VIEW_FLIP) {
      if (ui) OnViewUpdate(id, ui);
      else OnViewCommand(id);
      return TRUE;
    }
    if (IsOneOf(id, kAlwaysEnabled, std::size(kAlwaysEnabled))) {
      if (!ui) return FALSE;
      ui->Enable(TRUE);
      return TRUE;
    }
    switch (id) {
      case ID_EDIT_UNDO:
      case ID_EDIT_REDO: {
        OUndoRecorder* store = id == ID_EDIT_UNDO ? m_cpUndo.get() : m_cpRedo.get();
        if (ui) ui->Enable(store && store->GetStepCount() > 0);
        else if (id == ID_EDIT_UNDO) Undo(1);
        else Redo(1);
        return TRUE;
      }
      case ID_SPACE_BACKGROUND:
        if (ui) ui->Enable(TRUE);
        else SetBackgroundUndoable();
        return TRUE;
      default:
        return FALSE;
    }
  }
  GCATCH(kClass, u"::OnCmdMsg()", ->AppendArg(GArgUint(id)))
}

BOOL CPaintSpace::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  try {
    LRESULT ignored = 0;
    if (!result) result = &ignored;
    if (m_pCurOperator) {
      BOOL taken = FALSE;
      try {
        taken = m_pCurOperator->OnWndMsg(msg, wParam, lParam, result);
      } catch (GErrRecord*) {
        m_pCurOperator->EndGestureAfterError();
        throw;
      }
      if (taken) return TRUE;
    }
    // A drag that loses the focus, and Escape, end the gesture (see FinishWork).
    if ((msg == WM_KILLFOCUS && m_dwCaptureMask) || (msg == WM_KEYDOWN && wParam == VK_ESCAPE)) {
      FinishWork();
      InvalidateView(FALSE);
      return TRUE;
    }
    if (msg == WM_SIZE) {
      if (wParam != SIZE_MINIMIZED) {
        m_transform.clientWidth = LOWORD(lParam);
        m_transform.clientHeight = HIWORD(lParam);
        SyncScrollBars(nullptr);
      }
      m_bCompositeValid = FALSE;
    }
    return FALSE;
  }
  GCATCH(kClass, u"::OnWndMsg()", ->AppendArg(GArgUint(msg)))
}

// ---------------------------------------------------------------------------------------------
// Capture

DWORD CPaintSpace::CaptureButton(DWORD bit) {
  if (!(m_dwCaptureMask & bit)) {
    const bool first = m_dwCaptureMask == 0;
    m_dwCaptureMask |= bit;
    if (first && m_pHost) m_pHost->SetCapture();
  }
  return m_dwCaptureMask;
}

// The mask is cleared before the capture goes, so the capture-lost message that follows
// finds no drag to end.
DWORD CPaintSpace::ReleaseButton(DWORD bit) {
  if (m_dwCaptureMask & bit) {
    m_dwCaptureMask &= ~bit;
    if (!m_dwCaptureMask && m_pHost) m_pHost->ReleaseCapture();
  }
  return m_dwCaptureMask;
}

void CPaintSpace::ReleaseAllButtons() {
  if (!m_dwCaptureMask) return;
  m_dwCaptureMask = 0;
  if (m_pHost) m_pHost->ReleaseCapture();
}

// ---------------------------------------------------------------------------------------------
// View commands and navigation

void CPaintSpace::ViewChanged(BOOL erase) {
  SyncScrollBars(nullptr);
  m_bCompositeValid = FALSE;
  InvalidateView(erase);
}

void CPaintSpace::OnViewCommand(UINT id) {
  if (m_myState != myREADY) return;
  ViewTransform& t = m_transform;
  const bool mirrored = (t.flags & VIEW_FLAG_FLIP) != 0;
  auto turn = [&](float step) {
    float a = t.angle + step;
    if (a < 0.0f) a += VIEW_TURN;
    else if (a > VIEW_TURN) a -= VIEW_TURN;
    t.angle = a;
  };
  switch (id) {
    case ID_VIEW_ZOOM_IN: t.scale = std::min(t.scale * 2.0f, VIEW_SCALE_MAX); break;
    case ID_VIEW_ZOOM_OUT: t.scale = std::max(t.scale * 0.5f, VIEW_SCALE_MIN); break;
    case ID_VIEW_ZOOM_ONE: t.scale = 1.0f; break;
    case ID_VIEW_RESET:
      t.angle = 0.0f;
      t.scale = 1.0f;
      t.centreX = std::floor(t.centreX + 0.5f);
      t.centreY = std::floor(t.centreY + 0.5f);
      break;
    case ID_VIEW_ANGLE_ZERO: t.angle = 0.0f; break;
    case ID_VIEW_ROTATE_LEFT: turn(mirrored ? VIEW_ANGLE_STEP : -VIEW_ANGLE_STEP); break;
    case ID_VIEW_ROTATE_RIGHT: turn(mirrored ? -VIEW_ANGLE_STEP : VIEW_ANGLE_STEP); break;
    case ID_VIEW_FLIP: t.flags = (t.flags ^ VIEW_FLAG_FLIP) & VIEW_FLAG_FLIP; break;
    default: return;
  }
  ViewChanged(TRUE);
}

void CPaintSpace::OnViewUpdate(UINT id, CmdUIState* ui) {
  const ViewTransform& t = m_transform;
  switch (id) {
    case ID_VIEW_ZOOM_IN: ui->Enable(t.scale < VIEW_SCALE_MAX); break;
    case ID_VIEW_ZOOM_OUT: ui->Enable(t.scale > VIEW_SCALE_MIN); break;
    case ID_VIEW_ZOOM_ONE: ui->Enable(t.scale != 1.0f); break;
    case ID_VIEW_FLIP:
      ui->Enable(TRUE);
      ui->SetCheck((t.flags & VIEW_FLAG_FLIP) != 0);
      break;
    default: ui->Enable(TRUE); break;
  }
}

void CPaintSpace::OnHScroll(WPARAM wParam, LPARAM) {
  try {
    if (m_myState != myREADY) return;
    // From where the view is now.
    ComputeScrollBars(m_pTransform);
    int pos = m_sbHorz.nPos;
    switch (LOWORD(wParam)) {
      case SB_LINELEFT: pos -= VIEW_SCROLL_LINE; break;
      case SB_LINERIGHT: pos += VIEW_SCROLL_LINE; break;
      case SB_PAGELEFT: pos -= m_sbHorz.nPage; break;
      case SB_PAGERIGHT: pos += m_sbHorz.nPage; break;
      case SB_THUMBPOSITION:
      case SB_THUMBTRACK: pos = HIWORD(wParam); break;
      case SB_LEFT: pos = 0; break;
      case SB_RIGHT: pos = SPACE_SCROLL_RANGE; break;
      default: return;
    }
    ScrollBarTo(SB_HORZ, pos);
  }
  GCATCH(kClass, u"::OnHScroll()", ->AppendArg(GArgUint(UINT(wParam))))
}

void CPaintSpace::OnVScroll(WPARAM wParam, LPARAM) {
  try {
    if (m_myState != myREADY) return;
    ComputeScrollBars(m_pTransform);
    int pos = m_sbVert.nPos;
    switch (LOWORD(wParam)) {
      case SB_LINEUP: pos -= VIEW_SCROLL_LINE; break;
      case SB_LINEDOWN: pos += VIEW_SCROLL_LINE; break;
      case SB_PAGEUP: pos -= m_sbVert.nPage; break;
      case SB_PAGEDOWN: pos += m_sbVert.nPage; break;
      case SB_THUMBPOSITION:
      case SB_THUMBTRACK: pos = HIWORD(wParam); break;
      case SB_TOP: pos = 0; break;
      case SB_BOTTOM: pos = SPACE_SCROLL_RANGE; break;
      default: return;
    }
    ScrollBarTo(SB_VERT, pos);
  }
  GCATCH(kClass, u"::OnVScroll()", ->AppendArg(GArgUint(UINT(wParam))))
}

// The bar's position is a point of the scroll extent: that point, half a client in, becomes
// the view centre. Products of positions and extents reach beyond 32 bits at zoom 16.
void CPaintSpace::ScrollBarTo(int bar, int pos) {
  ScrollBarState& b = bar == SB_HORZ ? m_sbHorz : m_sbVert;
  const int maxPos = SPACE_SCROLL_RANGE - std::max(b.nPage - 1, 0);
  pos = std::clamp(pos, 0, std::max(maxPos, 0));
  RECT r;
  GetSpaceClientRect(&r, m_pDevice, m_pTransform);
  const int cw = m_transform.clientWidth, ch = m_transform.clientHeight;
  double client[2];
  if (bar == SB_HORZ) {
    client[0] = double(r.left) + double(int64_t(pos) * (int64_t(r.right) - r.left) / SPACE_SCROLL_RANGE) + cw / 2;
    client[1] = ch / 2;
  } else {
    client[0] = cw / 2;
    client[1] = double(r.top) + double(int64_t(pos) * (int64_t(r.bottom) - r.top) / SPACE_SCROLL_RANGE) + ch / 2;
  }
  const float in[2] = {float(client[0]), float(client[1])};
  float s[2];
  m_pDevice->ClientToSpace(s, in, m_pTransform);
  {
    GAutoLock lock(m_lockDraw);
    SetCentre(s[0], s[1]);
  }
  b.nPos = pos;
  if (m_pHost) m_pHost->SyncScrollBars(m_sbHorz, m_sbVert);
  m_bCompositeValid = FALSE;
  InvalidateView(FALSE);
}

void CPaintSpace::ScrollBy(int /*x*/, int /*y*/, int dx, int dy, POINT* applied) {
  try {
    if (m_myState != myREADY) return;
    GAutoLock lock(m_lockDraw);
    RECT r;
    GetSpaceClientRect(&r, m_pDevice, m_pTransform);
    const ViewTransform& t = m_transform;
    if ((dx > 0 && t.clientWidth < r.left) || (dx < 0 && r.right < 0)) dx = 0;
    if ((dy > 0 && t.clientHeight < r.top) || (dy < 0 && r.bottom < 0)) dy = 0;
    // The bars show where the view goes.
    ViewTransform moved = t;
    m_pDevice->ScrollView(&moved, dx, dy);
    SyncScrollBars(&moved);
    if (applied) {
      *applied = POINT{dx, dy};
      return;
    }
    const POINT delta{dx, dy};
    if (m_bCompositeValid) {
      RefreshDraw(nullptr, &delta);
    } else {
      // The back buffer holds no current view to move: compose the whole moved view.
      m_pDevice->ScrollView(m_pTransform, dx, dy);
      RefreshDraw(nullptr, nullptr);
    }
  }
  GCATCH(kClass, u"::ScrollBy()", ->AppendArg(GArgInt(dx))->AppendArg(GArgInt(dy)))
}

void CPaintSpace::BeginGesture() {
  m_fGestureAngle = m_transform.angle;
  m_fGestureScale = m_transform.scale;
}

void CPaintSpace::RotateZoomBy(int x, int y, int /*dx*/, int /*dy*/, BOOL bNoRedraw) {
  try {
    if (m_myState != myREADY) return;
    constexpr double kPi = 3.14159265358979323846;
    constexpr float kTurn = 6.2832f;
    GAutoLock lock(m_lockDraw);
    ViewTransform& t = m_transform;
    const int hw = t.clientWidth / 2, hh = t.clientHeight / 2;
    const POINT start = m_pCurOperator ? m_pCurOperator->m_ptMButton : POINT{hw, hh};
    double vx = x - hw, vy = y - hh;
    double ux = start.x - hw, uy = start.y - hh;
    if (t.flags & VIEW_FLAG_FLIP) {
      vx = -vx;
      ux = -ux;
    }
    double turn = std::atan2(vy, vx) - std::atan2(uy, ux);
    if (turn > kPi) turn -= 2 * kPi;
    else if (turn < -kPi) turn += 2 * kPi;
    const double factor = std::hypot(vx, vy) / std::max(std::hypot(ux, uy), 1.0);
    t.scale = float(std::clamp(double(m_fGestureScale) * factor, double(VIEW_SCALE_MIN), double(VIEW_SCALE_MAX)));
    float angle = float(turn) + m_fGestureAngle;
    if (angle > kTurn) angle -= kTurn;
    else if (angle < 0.0f) angle += kTurn;
    t.angle = angle;
    m_bCompositeValid = FALSE;
    SyncScrollBars(nullptr);
    if (!bNoRedraw) RefreshDraw(nullptr, nullptr);
  }
  GCATCH(kClass, u"::RotateZoomBy()", ->AppendArg(GArgInt(x))->AppendArg(GArgInt(y)))
}

void CPaintSpace::ZoomAt(int x, int y, float factor) {
  if (m_myState != myREADY) return;
  ViewTransform& t = m_transform;
  const float scale = std::clamp(t.scale * factor, VIEW_SCALE_MIN, VIEW_SCALE_MAX);
  if (scale == t.scale) return;
  const float at[2] = {float(x) + 0.5f, float(y) + 0.5f};
  float before[2], after[2];
  m_pDevice->ClientToSpace(before, at, m_pTransform);
  {
    GAutoLock lock(m_lockDraw);
    t.scale = scale;
    m_pDevice->ClientToSpace(after, at, m_pTransform);
    SetCentre(t.centreX - (after[0] - before[0]), t.centreY - (after[1] - before[1]));
  }
  ViewChanged(TRUE);
}

void CPaintSpace::FlipViewAt(int x, int y) {
  if (m_myState != myREADY) return;
  ViewTransform& t = m_transform;
  const float at[2] = {float(x) + 0.5f, float(y) + 0.5f};
  float before[2], after[2];
  m_pDevice->ClientToSpace(before, at, m_pTransform);
  {
    GAutoLock lock(m_lockDraw);
    t.flags = (t.flags ^ VIEW_FLAG_FLIP) & VIEW_FLAG_FLIP;
    m_pDevice->ClientToSpace(after, at, m_pTransform);
    SetCentre(t.centreX - (after[0] - before[0]), t.centreY - (after[1] - before[1]));
  }
  ViewChanged(FALSE);
}

void CPaintSpace::OnMouseWheel(UINT msg, WPARAM wParam, POINT at) {
  const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
  if (!notches || m_myState != myREADY) return;
  const WORD keys = GET_KEYSTATE_WPARAM(wParam);
  if (msg == WM_MOUSEWHEEL && (keys & MK_CONTROL)) {
    // Away from the user zooms in, one zoom step a notch.
    ZoomAt(at.x, at.y, std::ldexp(1.0f, std::clamp(notches, -8, 8)));
    return;
  }
  const int pixels = std::clamp(notches, -100, 100) * VIEW_WHEEL_PIXELS;
  if (msg == WM_MOUSEHWHEEL) ScrollBy(at.x, at.y, -pixels, 0, nullptr);
  else if (keys & MK_SHIFT) ScrollBy(at.x, at.y, pixels, 0, nullptr);
  else ScrollBy(at.x, at.y, 0, pixels, nullptr);
}

BOOL CPaintSpace::OnFlowerSelectLayer(int x, int y) {
  try {
    if (m_myState != myREADY || !m_pwndListLayer) return FALSE;
    CMyListLayer* list = m_pwndListLayer;
    const int count = list->GetCount();
    if (count < 1) return FALSE;
    POINT p;
    int found = PickLayerAt(x, y, &p);
    auto holds = [&p](const RECT& r) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; };
    const int selected = list->GetCurSel();
    RECT current{0, 0, 0, 0};
    if (OLayer* l = CurrentLayer()) l->GetRect(&current);
    if (found < 0) {
      if (holds(current)) return FALSE;
      for (int i = 0; i < count && found < 0; ++i) {
        OLayer* l = list->GetLayer(i);
        if (i == selected || !l || (l->GetFlags() & LYR_FLAG_HIDDEN)) continue;
        RECT r;
        l->GetRect(&r);
        if (holds(r)) found = i;
      }
      if (found < 0) return FALSE;
    }
    if (found == selected) return FALSE;
    list->SetCurSelect(found);
    InvalidateView(FALSE);
    return TRUE;
  }
  GCATCH(kClass, u"::OnFlowerSelectLayer()", ->AppendArg(GArgInt(x))->AppendArg(GArgInt(y)))
}

int CPaintSpace::PickLayerAt(int x, int y, POINT* spacePoint) {
  try {
    const float at[2] = {float(x) + 0.5f, float(y) + 0.5f};
    float s[2];
    m_pDevice->ClientToSpace(s, at, m_pTransform);
    const POINT p{LONG(std::floor(s[0])), LONG(std::floor(s[1]))};
    if (spacePoint) *spacePoint = p;
    if (m_myState != myREADY || !m_pwndListLayer) return -1;
    CMyListLayer* list = m_pwndListLayer;
    const int count = list->GetCount();
    if (count < 1) return -1;
    const int selected = list->GetCurSel();
    // The pass uses the device's pass state, which the view's passes share.
    GAutoLock lock(m_lockDraw);
    if (!m_pDevice->DrawBegin(m_pTransform, FALSE)) return -1;
    for (int i = 0; i < count; ++i)
      m_pDevice->DrawLayer(list->GetLayer(i), i == selected ? LYR_TIDY_CURRENT : 0, nullptr);
    return m_pDevice->DrawEnd(&p);
  }
  GCATCH(kClass, u"::PickLayerAt()", ->AppendArg(GArgInt(x))->AppendArg(GArgInt(y)))
}

void CPaintSpace::AddSpaceEdges(FloatList* xList, FloatList* yList) {
  if (xList) {
    xList->Add(0.0f);
    xList->Add(float(m_uWidth));
  }
  if (yList) {
    yList->Add(0.0f);
    yList->Add(float(m_uHeight));
  }
}

// ---------------------------------------------------------------------------------------------
// Undo and redo

void CPaintSpace::Undo(int steps) { UndoOrRedo(steps, false); }

void CPaintSpace::Redo(int steps) { UndoOrRedo(steps, true); }

void CPaintSpace::UndoOrRedo(int steps, bool redo) {
  try {
    (redo ? m_xRedoInner : m_xUndoInner).m_dwFlags = 0;
    FinishWork();
    OUndoRecorder* from = redo ? m_cpRedo.get() : m_cpUndo.get();
    OUndoRecorder* to = redo ? m_cpUndo.get() : m_cpRedo.get();
    if (!from || !to || steps < 1 || from->GetStepCount() == 0 || m_bStepsRunning) return;
    // A tool that could not end its gesture keeps its layers: nothing is undone under it.
    if (m_pCurOperator && !m_pCurOperator->IsReady()) return;
    // Every step, of whatever owner, changes layers the worker's pass reads: the pass running
    // now ends first, and the whole run holds the drawing lock, so that no pass starts in the
    // middle of it; a redraw asked for meanwhile waits for the end (RefreshInWorker).
    if (m_cpWorker) m_cpWorker->Wait(FALSE);
    GAutoLock runLock(m_lockDraw);
    m_bStepsRunning = TRUE;
    struct RunEnd {
      BOOL& running;
      ~RunEnd() { running = FALSE; }
    } runEnd{m_bStepsRunning};
    CMyListLayer* list = m_pwndListLayer;
    list->SetRedraw(FALSE);
    {
      // The list resets and refreshes the layers' marks and mip levels, which a pass reads.
      GAutoLock lock(m_lockDraw);
      list->BeginSpaceUndo();
    }
    // The closing steps run however the run ends; an error of the run goes before one of
    // the list's closing check.
    auto close = [&](bool rethrowList) {
      GErrRecord* listError = nullptr;
      try {
        GAutoLock lock(m_lockDraw);
        list->EndSpaceUndo();
      } catch (GErrRecord* e) {
        listError = e;
      }
      try {
        NotifyOperator(kClass, redo ? myNOTIFY_REDO : myNOTIFY_UNDO, nullptr);
      } catch (GErrRecord* e) {
        if (!listError) listError = e;
        else Swallow(e);
      }
      m_bCompositeValid = FALSE;
      InvalidateView(FALSE);
      list->SetRedraw(TRUE);
      if (listError) {
        if (rethrowList) throw listError;
        Swallow(listError);
      }
    };
    try {
      from->Undo(UINT(steps), to);
    } catch (...) {
      close(false);
      throw;
    }
    close(true);
    if (from->GetLostSteps()) ShowStatus(redo ? kRedoLost : kUndoLost);
  }
  GCATCH(kClass, redo ? u"::Redo()" : u"::Undo()", ->AppendArg(GArgInt(steps)))
}

void CPaintSpace::MoveLayers(int dx, int dy, bool mipRefresh) {
  // The worker's pass reads the positions.
  GAutoLock lock(m_lockDraw);
  const int count = m_pwndListLayer->GetCount();
  for (int i = 0; i < count; ++i) {
    OLayer* l = m_pwndListLayer->GetLayer(i);
    if (!l) continue;
    POINT pt;
    l->GetPosition(&pt, FALSE);
    l->SetPosition(pt.x + dx, pt.y + dy, FALSE);
    if (mipRefresh) l->MipRefresh(nullptr);
    else l->AddChangeFlags(LYR_CHANGE_POSITION);
  }
}

void CPaintSpace::Reposition(const RECT& delta, const char16_t* label) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    const int dx = delta.left, dy = delta.top;
    const UINT width = UINT(std::clamp<LONG>(delta.right, 1, LONG(LYR_MAX_WIDTH)));
    const UINT height = UINT(std::clamp<LONG>(delta.bottom, 1, LONG(LYR_MAX_HEIGHT)));
    if (m_pNewSize) {
      m_pNewSize->nSpaceWidth = int(width);
      m_pNewSize->nSpaceHeight = int(height);
    }
    m_cpRedo->Clear();
    GCompRef<OData> block = NewBlock(128, {m_uWidth, m_uHeight, uint32_t(dx), uint32_t(dy), width, height});
    GCompRef<GText> text = GNewText(label ? label : u"");
    m_cpUndo->Begin(&m_xUndoInner, SPACE_UNDO_RESIZE, text);
    m_cpUndo->SetData(block);
    m_cpUndo->End(TRUE);
    const float cx = m_transform.centreX, cy = m_transform.centreY;
    SetSpaceSize(width, height);
    SetCentre(cx - float(dx), cy - float(dy));
    MoveLayers(-dx, -dy, true);
    m_bCompositeValid = FALSE;
    SyncScrollBars(nullptr);
  }
  GCATCH(kClass, u"::Reposition()", ->AppendMemory({sizeof delta, &delta}))
}

void CPaintSpace::SetBackgroundUndoable() {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    COLORREF colour = GetColor(0);
    if (colour == m_dwBackground) colour = SPACE_WHITE;
    m_cpRedo->Clear();
    GCompRef<OData> block = NewBlock(64, {m_dwBackground, colour});
    GCompRef<GText> text = GNewText(u"空间>颜色");
    m_cpUndo->Begin(&m_xUndoInner, SPACE_UNDO_BACKGROUND, text);
    m_cpUndo->SetData(block);
    m_cpUndo->End(TRUE);
    SetBackground(colour);
    m_bCompositeValid = FALSE;
    InvalidateView(FALSE);
  }
  GCATCH(kClass, u"::SetBackgroundUndoable()")
}

// The patch goes in as a data block, not an object, so that the flush thread can swap a large
// one out to a file like every other large step.
void CPaintSpace::RecordLayerPatch(int index, OLayer* layer, OData* patch, const char16_t* label) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    GVERIFY(layer && layer == m_pwndListLayer->GetLayer(index), u"!poLayer==m_pwndListLayer->GetLayer(nIndex)");
    GVERIFY(patch, u"!poData");
    m_cpRedo->Clear();
    GCompRef<OData> block = NewBlock(64, {uint32_t(index), layer->GetID()});
    GCompRef<GText> text = GNewText(label ? label : u"");
    m_cpUndo->Begin(&m_xUndoInner, SPACE_UNDO_LAYER, text);
    m_cpUndo->SetData(block);
    m_cpUndo->SetData(patch);
    m_cpUndo->End(TRUE);
  }
  GCATCH(kClass, u"::RecordLayerPatch()", ->AppendArg(GArgInt(index)))
}

int32_t CPaintSpace::XUndoInner::Execute(OUndoRestore* record, OUndoStore* opposite) {
  try {
    CPaintSpace* s = m_pSpace;
    OUndoHandler* other = m_bRedo ? static_cast<OUndoHandler*>(&s->m_xUndoInner) : &s->m_xRedoInner;
    const uint32_t tag = record->Begin();
    switch (tag) {
      case SPACE_UNDO_RESIZE: {
        GCompRef<OData> block = Adopt(record->GetData());
        uint32_t f[6];
        ReadFields(block, f, 6);
        const int dx = int32_t(f[2]), dy = int32_t(f[3]);
        // The delta applies to the centre as it was before the size changed, so that undoing
        // and redoing bring back exactly the centre the user had.
        const float cx = s->m_transform.centreX, cy = s->m_transform.centreY;
        const int sign = m_bRedo ? -1 : 1;
        s->SetSpaceSize(m_bRedo ? f[4] : f[0], m_bRedo ? f[5] : f[1]);
        s->SetCentre(cx + float(sign * dx), cy + float(sign * dy));
        s->MoveLayers(sign * dx, sign * dy, false);
        opposite->Begin(other, tag, record->GetStepObject());
        opposite->SetData(block);
        opposite->End(FALSE);
        m_dwFlags |= 1;
        break;
      }
      case SPACE_UNDO_BACKGROUND: {
        GCompRef<OData> block = Adopt(record->GetData());
        uint32_t f[2];
        ReadFields(block, f, 2);
        s->SetBackground(m_bRedo ? f[1] : f[0]);
        opposite->Begin(other, tag, record->GetStepObject());
        opposite->SetData(block);
        opposite->End(FALSE);
        break;
      }
      case SPACE_UNDO_LAYER: {
        GCompRef<OData> block = Adopt(record->GetData());
        uint32_t f[2];
        ReadFields(block, f, 2);
        const int index = int32_t(f[0]);
        const UINT nID = f[1];
        OLayer* poLayer = s->m_pwndListLayer->GetLayer(index);
        GVERIFY(poLayer && nID == poLayer->GetID(), u"!(UINT)nID==poLayer->GetID()");
        GCompRef<OData> patch = Adopt(record->GetData());
        GVERIFY(patch, u"!poData");
        poLayer->AddChangeFlags(LYR_CHANGE_PIXELS);
        // The run holds the drawing lock (UndoOrRedo).
        GCompRef<OData> inverse = m_bRedo ? poLayer->PAT_Redo(patch) : poLayer->PAT_Undo(patch);
        s->m_pwndListLayer->MarkChanged(index);
        opposite->Begin(other, tag, record->GetStepObject());
        opposite->SetData(block);
        opposite->SetData(inverse);
        opposite->End(FALSE);
        break;
      }
      default:
        GTHROW(u"Should not get here!");
    }
    record->End();
    return 0;
  }
  GCATCH(GetClassName(), u"::Execute()")
}

void CPaintSpace::XUndoInner::AfterUndo() {
  if (m_dwFlags & 1) m_pSpace->SyncScrollBars(nullptr);
}

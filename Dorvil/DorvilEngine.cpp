#include "DorvilEngine.h"

#include <algorithm>
#include <cmath>

#include "BrushStroke.h"
#include "odata/GError.h"
#include "platform/base/Text.h"

namespace {

constexpr auto kBatch = std::chrono::milliseconds(8);
// libmypaint needs time between samples; samples that arrive together still get this much.
constexpr double kMinDtime = 0.001;
constexpr double kPlaceDtime = 10.0;
// Steps the smoothing gets at the end of a stroke to reach the pen's last point.
constexpr int kCatchUpSteps = 24;
constexpr double kCatchUpDtime = 0.01;

void RgbToHsv(uint32_t rgb, float* h, float* s, float* v) {
  const float r = float((rgb >> 16) & 255u) / 255.0f, g = float((rgb >> 8) & 255u) / 255.0f,
              b = float(rgb & 255u) / 255.0f;
  const float mx = std::max({r, g, b}), mn = std::min({r, g, b}), d = mx - mn;
  *v = mx;
  *s = mx > 0.0f ? d / mx : 0.0f;
  float hue = 0.0f;
  if (d > 0.0f) {
    if (mx == r) hue = (g - b) / d;
    else if (mx == g) hue = 2.0f + (b - r) / d;
    else hue = 4.0f + (r - g) / d;
    hue /= 6.0f;
    if (hue < 0.0f) hue += 1.0f;
  }
  *h = hue;
}

}  // namespace

DorvilEngine::DorvilEngine() {
  MyPaintSurface& parent = m_surface.parent;
  parent.draw_dab = &DorvilEngine::DrawDab;
  parent.get_color = &DorvilEngine::GetColor;
  parent.begin_atomic = &DorvilEngine::BeginAtomic;
  parent.end_atomic = &DorvilEngine::EndAtomic;
  parent.destroy = nullptr;
  parent.save_png = nullptr;
  parent.refcount = 1;
  m_surface.draw_dab_pigment = &DorvilEngine::DrawDab2;
  m_surface.get_color_pigment = &DorvilEngine::GetColor2;
  m_surface.end_atomic_multi = &DorvilEngine::EndAtomic2;
  m_surface.owner = this;
}

DorvilEngine::~DorvilEngine() {
  // A stroke left open is ended: the job must not run on a freed engine.
  bool open;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    open = m_runner != Runner::NONE;
  }
  if (open) {
    try {
      EndStroke();
    } catch (...) {
    }
  }
  ReleaseTarget();
}

void* DorvilEngine::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"ODorvil") == 0 ? static_cast<ODorvil*>(this) : nullptr;
}

void DorvilEngine::Bind(BrushContext* context, UINT) { m_pContext = context; }

BOOL DorvilEngine::IsReady() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_pContext && m_runner == Runner::NONE && !m_bArcOpen;
}

size_t DorvilEngine::QueuedSamples() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_queue.size();
}

// ---------------------------------------------------------------------------------------------
// Target

BOOL DorvilEngine::OpenTarget(PaintTarget* target, OBrush* brush) {
  if (!m_pContext || !m_pContext->brush || !target || !target->pLayer || !brush || !brush->IsReady()) return FALSE;
  m_target = *target;
  m_target.pLayer->AddRef();
  if (m_target.pSource) m_target.pSource->AddRef();
  if (m_target.pGlass) m_target.pGlass->AddRef();
  m_pBrush = m_pContext->brush;
  mypaint_brush_ref(m_pBrush);
  m_strokeOpacity = 1.0f;
  if (m_target.pGlass) {
    m_pPainted = m_target.pGlass;
    m_mode = m_pContext->buildUp ? dorvil::DabMode::BUILD : dorvil::DabMode::GLASS;
    m_strokeOpacity = std::clamp(m_pContext->opacity, 0.0f, 1.0f);
  } else {
    m_pPainted = m_target.pLayer;
    m_mode = m_pContext->eraser ? dorvil::DabMode::ERASE : dorvil::DabMode::OVER;
  }
  return TRUE;
}

void DorvilEngine::ReleaseTarget() {
  m_dabs.Close();
  if (m_pBrush) mypaint_brush_unref(m_pBrush);
  m_pBrush = nullptr;
  for (OLayer* l : {m_target.pLayer, m_target.pSource, m_target.pGlass})
    if (l) l->Release();
  m_target = PaintTarget{};
  m_pPainted = nullptr;
  m_pSink = nullptr;
}

void DorvilEngine::BeginBatch() {
  if (m_bInBatch) return;
  m_view = ViewTransform{};
  m_view.scale = 1.0f;
  if (m_pSink) m_pSink->Reset(&m_view);
  m_bInBatch = true;
  m_dabs.Open(m_pPainted, m_mode, m_last.sample.color & 0xFFFFFFu, m_strokeOpacity);
}

void DorvilEngine::EndBatch() {
  if (!m_bInBatch) return;
  m_dabs.Close();
  m_bInBatch = false;
  if (m_pSink) m_pSink->Flush();
}

float DorvilEngine::BrushHardness() const {
  return m_pBrush ? mypaint_brush_get_base_value(m_pBrush, MYPAINT_BRUSH_SETTING_HARDNESS) : 1.0f;
}

float DorvilEngine::DabStrength(float opacity) const {
  if (m_mode != dorvil::DabMode::GLASS && m_mode != dorvil::DabMode::BUILD) return opacity;
  return m_strokeOpacity > 0.0f ? std::min(opacity / m_strokeOpacity, 1.0f) : 0.0f;
}

void DorvilEngine::StrokeTo(const PaintSample& s, float pressure, double dtime) {
  // libmypaint measures speed in view pixels and turns dab and tilt angles with the view.
  const float zoom = m_view.scale > 0.0f && std::isfinite(m_view.scale) ? m_view.scale : 1.0f;
  mypaint_brush_stroke_to_2(m_pBrush, &m_surface, s.x, s.y, pressure, s.xtilt, s.ytilt, dtime, zoom, s.angle, 0.0f);
}

void DorvilEngine::PrimeMotion(const PaintSample& next, double dtime) {
  // The pen already moves as the first segment does: libmypaint's filtered speed and direction
  // start there instead of at rest (a resting start paints a blob: slow dabs are wide).
  const float zoom = m_view.scale > 0.0f && std::isfinite(m_view.scale) ? m_view.scale : 1.0f;
  const float dx = (next.x - m_first.sample.x) * zoom, dy = (next.y - m_first.sample.y) * zoom;
  const float vx = dx / float(dtime), vy = dy / float(dtime), speed = std::hypot(vx, vy);
  const std::pair<MyPaintBrushState, float> states[] = {
      {MYPAINT_BRUSH_STATE_NORM_SPEED1_SLOW, speed}, {MYPAINT_BRUSH_STATE_NORM_SPEED2_SLOW, speed},
      {MYPAINT_BRUSH_STATE_NORM_DX_SLOW, vx},        {MYPAINT_BRUSH_STATE_NORM_DY_SLOW, vy},
      {MYPAINT_BRUSH_STATE_DIRECTION_DX, dx},        {MYPAINT_BRUSH_STATE_DIRECTION_DY, dy},
      {MYPAINT_BRUSH_STATE_DIRECTION_ANGLE_DX, dx},  {MYPAINT_BRUSH_STATE_DIRECTION_ANGLE_DY, dy}};
  for (const auto& [state, value] : states) mypaint_brush_set_state(m_pBrush, state, value);
}

void DorvilEngine::PaintDab(float x, float y, const dab::Shape& shape) {
  if (m_dabs.Paint(x, y, shape) && m_pSink) {
    const float point[2] = {x, y};
    m_pSink->AddDab(point, shape.radius);
  }
}

int DorvilEngine::DrawDab(MyPaintSurface* self, float x, float y, float radius, float r, float g, float b,
                          float opaque, float hardness, float alphaEraser, float aspect, float angle, float, float) {
  // The parent interface is the first member: libmypaint hands either pointer.
  DorvilEngine* e = reinterpret_cast<Surface*>(self)->owner;
  if (opaque <= 0.0f || radius <= 0.0f) return 0;
  const auto byte = [](float c) { return uint32_t(std::clamp(c, 0.0f, 1.0f) * 255.0f + 0.5f); };
  e->m_dabs.SetColour((byte(r) << 16) | (byte(g) << 8) | byte(b));
  // An eraser setting below 1 erases that share of the dab (glass: it simply paints less).
  const float strength = e->m_mode == dorvil::DabMode::ERASE ? opaque : opaque * std::clamp(alphaEraser, 0.0f, 1.0f);
  e->PaintDab(x, y, dab::MakeShape(radius, hardness, aspect, angle, e->DabStrength(strength)));
  return 1;
}

int DorvilEngine::DrawDab2(MyPaintSurface2* self, float x, float y, float radius, float r, float g, float b,
                           float opaque, float hardness, float alphaEraser, float aspect, float angle, float lockAlpha,
                           float colorize, float, float, float) {
  return DrawDab(&self->parent, x, y, radius, r, g, b, opaque, hardness, alphaEraser, aspect, angle, lockAlpha,
                 colorize);
}

void DorvilEngine::GetColor2(MyPaintSurface2* self, float x, float y, float radius, float* r, float* g, float* b,
                             float* a, float) {
  GetColor(&self->parent, x, y, radius, r, g, b, a);
}

void DorvilEngine::GetColor(MyPaintSurface* self, float, float, float, float* r, float* g, float* b, float* a) {
  // Smudging reads back the stroke's own colour: the pixels under the pen are not mixed.
  DorvilEngine* e = reinterpret_cast<Surface*>(self)->owner;
  const uint32_t c = e->m_last.sample.color;
  *r = float((c >> 16) & 255u) / 255.0f;
  *g = float((c >> 8) & 255u) / 255.0f;
  *b = float(c & 255u) / 255.0f;
  *a = 1.0f;
}

// ---------------------------------------------------------------------------------------------
// Strokes

BOOL DorvilEngine::BeginStroke(OBrush* brush, PaintTarget* target, PaintDirtySink* sink, JobRecord* job) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_runner != Runner::NONE || m_bArcOpen) return FALSE;
  }
  if (!OpenTarget(target, brush)) return FALSE;
  m_pSink = sink;
  m_bHaveFirst = false;
  m_bStarted = false;
  dorvil::StartBrushStroke(m_pBrush);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
    m_bClosed = false;
    m_runner = Runner::QUEUED;
  }
  if (job) {
    job->name = u"Stroke";
    job->kind = 2;
    job->result = -1;
    job->object = this;
    job->proc = JobThunk<DorvilEngine, &DorvilEngine::____Stroke>;
  }
  return TRUE;
}

void DorvilEngine::AddSample(const PaintSample* sample) {
  if (!sample) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_runner == Runner::NONE || m_runner == Runner::DONE || m_bClosed) return;
    m_queue.push_back(Queued{*sample, m_clock()});
  }
  m_cv.notify_all();
}

int32_t DorvilEngine::____Stroke(JobRecord*, JobControl* control) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    // EndStroke's caller rendered the stroke already.
    if (m_runner != Runner::QUEUED) return 0;
    m_runner = Runner::RUNNING;
  }
  int32_t result = 0;
  try {
    Render(control);
  } catch (...) {
    EndBatch();
    result = 1;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_runner = Runner::DONE;
    }
    m_cv.notify_all();
    throw;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_runner = Runner::DONE;
  }
  m_cv.notify_all();
  return result;
}

void DorvilEngine::Render(JobControl* control) {
  for (;;) {
    std::deque<Queued> batch;
    bool closed;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_cv.wait(lock, [&] { return !m_queue.empty() || m_bClosed; });
      batch.swap(m_queue);
      closed = m_bClosed;
    }
    if (control && (control->flags & JOB_ABORT)) {
      // Aborted: what is painted stays consistent; the rest of the stroke is dropped.
      if (closed) return;
      continue;
    }
    auto started = Clock::now();
    for (const Queued& q : batch) {
      BeginBatch();
      Feed(q);
      if (Clock::now() - started >= kBatch) {
        EndBatch();
        started = Clock::now();
      }
    }
    if (closed) {
      BeginBatch();
      FinishFeed();
      EndBatch();
      return;
    }
    EndBatch();
  }
}

void DorvilEngine::Feed(const Queued& q) {
  if (!m_bHaveFirst) {
    // The first sample has no pressure yet: it is painted with the next one's.
    m_first = q;
    m_last = q;
    m_bHaveFirst = true;
    return;
  }
  if (!m_bStarted) {
    float h, s, v;
    RgbToHsv(m_first.sample.color, &h, &s, &v);
    mypaint_brush_set_base_value(m_pBrush, MYPAINT_BRUSH_SETTING_COLOR_H, h);
    mypaint_brush_set_base_value(m_pBrush, MYPAINT_BRUSH_SETTING_COLOR_S, s);
    mypaint_brush_set_base_value(m_pBrush, MYPAINT_BRUSH_SETTING_COLOR_V, v);
    // A call after a long pause only places the pen (libmypaint starts over there), so the
    // stroke does not run in from wherever the brush was last.
    StrokeTo(m_first.sample, q.sample.pressure, kPlaceDtime);
    m_bStarted = true;
  }
  const double dtime =
      std::max(kMinDtime, std::chrono::duration<double>(q.arrived - m_last.arrived).count());
  if (m_last.arrived == m_first.arrived) PrimeMotion(q.sample, dtime);
  m_last = q;
  StrokeTo(q.sample, q.sample.pressure, dtime);
}

void DorvilEngine::FinishFeed() {
  if (!m_bHaveFirst) return;
  if (!m_bStarted) {
    // A click without movement leaves one dab of the brush at full pressure.
    const float radius = m_pContext ? m_pContext->radius : 1.0f;
    const float opacity = m_pContext ? m_pContext->opacity : 1.0f;
    m_dabs.SetColour(m_first.sample.color & 0xFFFFFFu);
    PaintDab(m_first.sample.x, m_first.sample.y,
             dab::MakeShape(radius, BrushHardness(), 1.0f, 0.0f, DabStrength(opacity)));
    return;
  }
  // Smoothing trails the pen: the held pen lets it reach the last point.
  if (mypaint_brush_get_base_value(m_pBrush, MYPAINT_BRUSH_SETTING_SLOW_TRACKING) > 0.0f) {
    for (int i = 0; i < kCatchUpSteps; ++i) StrokeTo(m_last.sample, m_last.sample.pressure, kCatchUpDtime);
  }
}

void DorvilEngine::EndStroke() {
  bool renderHere = false;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_runner == Runner::NONE) return;
    m_bClosed = true;
    if (m_runner == Runner::QUEUED) {
      m_runner = Runner::RUNNING;
      renderHere = true;
    }
  }
  m_cv.notify_all();
  if (renderHere) {
    try {
      Render(nullptr);
    } catch (...) {
      EndBatch();
      std::lock_guard<std::mutex> lock(m_mutex);
      m_runner = Runner::NONE;
      ReleaseTarget();
      throw;
    }
  } else {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [&] { return m_runner == Runner::DONE; });
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  m_runner = Runner::NONE;
  m_queue.clear();
  ReleaseTarget();
}

// ---------------------------------------------------------------------------------------------
// Arcs

BOOL DorvilEngine::BeginArc(OBrush* brush, PaintTarget* target, PaintDirtySink* sink, BOOL continued) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_runner != Runner::NONE || m_bArcOpen) return FALSE;
  }
  if (!OpenTarget(target, brush)) return FALSE;
  m_pSink = sink;
  m_bStarted = continued != FALSE;  // a continued arc leaves out the dab its start already has
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bArcOpen = true;
  return TRUE;
}

void DorvilEngine::Arc(const PaintSample* start, const PaintSample* end, const PaintSample* control) {
  if (!m_bArcOpen || !start || !end || !control) return;
  const auto at = [&](float t, float* x, float* y) {
    const float u = 1.0f - t;
    *x = u * u * start->x + t * t * end->x + 2.0f * t * u * control->x;
    *y = u * u * start->y + t * t * end->y + 2.0f * t * u * control->y;
  };
  // The curve's length from 64 chords, then dabs a quarter radius apart.
  float length = 0.0f, px = start->x, py = start->y;
  for (int i = 1; i <= 64; ++i) {
    float x, y;
    at(float(i) / 64.0f, &x, &y);
    length += std::hypot(x - px, y - py);
    px = x;
    py = y;
  }
  const float radius = std::max(start->weight, dab::kMinRadius);
  const float spacing = std::max(radius * 0.25f, 0.5f);
  const int steps = std::max(1, int(std::ceil(length / spacing)));
  const dab::Shape shape =
      dab::MakeShape(radius, BrushHardness(), 1.0f, 0.0f, DabStrength(m_pContext ? m_pContext->opacity : 1.0f));
  m_last.sample = *start;
  BeginBatch();
  try {
    m_dabs.SetColour(start->color & 0xFFFFFFu);
    for (int i = m_bStarted ? 1 : 0; i <= steps; ++i) {
      float x, y;
      at(float(i) / float(steps), &x, &y);
      PaintDab(x, y, shape);
    }
  } catch (...) {
    EndBatch();
    throw;
  }
  EndBatch();
  m_bStarted = true;
}

void DorvilEngine::EndArc() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_bArcOpen) return;
  m_bArcOpen = false;
  ReleaseTarget();
}

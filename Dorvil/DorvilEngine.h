// The paint engine "Dorvil": libmypaint places the dabs of a stroke from the prepared brush
// (spacing, pressure, speed, smoothing, jitter); the engine gives libmypaint a surface of its
// own and rasterises each dab into the target itself (DabTarget). Samples come from the UI
// thread into a queue; the stroke job on the worker drains it in batches of about 8 ms, each
// bracketed by the sink's Reset and Flush.
#pragma once
#include <mypaint-brush.h>
#include <mypaint-surface.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "BrushContext.h"
#include "DabTarget.h"
#include "ODorvil.h"

class DorvilEngine final : public GComponent<ODorvil> {
 public:
  DorvilEngine();
  ~DorvilEngine() override;

  void Bind(BrushContext* context, UINT reserved) override;
  BOOL IsReady() override;
  BOOL BeginStroke(OBrush* brush, PaintTarget* target, PaintDirtySink* sink, JobRecord* job) override;
  void AddSample(const PaintSample* sample) override;
  void EndStroke() override;
  BOOL BeginArc(OBrush* brush, PaintTarget* target, PaintDirtySink* sink, BOOL continued) override;
  void Arc(const PaintSample* start, const PaintSample* end, const PaintSample* control) override;
  void EndArc() override;

  // The stroke job's body (the worker calls it through the job record).
  int32_t ____Stroke(JobRecord* job, JobControl* control);

  // Samples waiting to be painted (tests).
  size_t QueuedSamples();

  using Clock = std::chrono::steady_clock;
  // Where a sample's arrival time comes from (tests script the time between samples).
  void SetClock(std::function<Clock::time_point()> clock) { m_clock = std::move(clock); }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  struct Queued {
    PaintSample sample;
    Clock::time_point arrived;
  };
  // Who renders the stroke: the job (QUEUED until it starts), or EndStroke's caller when the
  // job never started; DONE once every sample is in the target.
  enum class Runner { NONE, QUEUED, RUNNING, DONE };

  struct Surface : MyPaintSurface2 {
    DorvilEngine* owner;
  };
  static int DrawDab(MyPaintSurface* self, float x, float y, float radius, float r, float g, float b, float opaque,
                     float hardness, float alphaEraser, float aspect, float angle, float lockAlpha, float colorize);
  static int DrawDab2(MyPaintSurface2* self, float x, float y, float radius, float r, float g, float b, float opaque,
                      float hardness, float alphaEraser, float aspect, float angle, float lockAlpha, float colorize,
                      float posterize, float posterizeNum, float paint);
  static void GetColor(MyPaintSurface* self, float x, float y, float radius, float* r, float* g, float* b, float* a);
  static void GetColor2(MyPaintSurface2* self, float x, float y, float radius, float* r, float* g, float* b, float* a,
                        float paint);
  static void BeginAtomic(MyPaintSurface*) {}
  static void EndAtomic(MyPaintSurface*, MyPaintRectangle*) {}
  static void EndAtomic2(MyPaintSurface2*, MyPaintRectangles*) {}

  // Opens the target for the painting mode; the sink's batch begins first.
  BOOL OpenTarget(PaintTarget* target, OBrush* brush);
  void BeginBatch();
  void EndBatch();
  void Render(JobControl* control);
  void Feed(const Queued& q);
  // The end of the stroke: a click's dot, or the smoothing catching up with the pen.
  void FinishFeed();
  void PaintDab(float x, float y, const dab::Shape& shape);
  // Before the stroke's first step: libmypaint's motion states as the first segment moves.
  void PrimeMotion(const PaintSample& next, double dtime);
  // One libmypaint stroke step to the sample, seen through the batch's view.
  void StrokeTo(const PaintSample& s, float pressure, double dtime);
  // A dab's opacity (0..1) as the target takes it: the glass holds it relative to the stroke's
  // opacity, which the glass's merge applies once.
  float DabStrength(float opacity) const;
  void ReleaseTarget();
  float BrushHardness() const;

  BrushContext* m_pContext = nullptr;
  Surface m_surface{};
  std::function<Clock::time_point()> m_clock = &Clock::now;

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<Queued> m_queue;
  bool m_bClosed = false;
  Runner m_runner = Runner::NONE;
  bool m_bArcOpen = false;

  // The open stroke or arc: touched by one thread at a time (the job, or the caller after
  // the job has ended or before it started).
  MyPaintBrush* m_pBrush = nullptr;  // referenced while the stroke is open
  PaintTarget m_target{};
  PaintDirtySink* m_pSink = nullptr;
  OLayer* m_pPainted = nullptr;  // the glass or the layer
  dorvil::DabMode m_mode = dorvil::DabMode::GLASS;
  float m_strokeOpacity = 1.0f;  // what the glass's merge applies
  ViewTransform m_view{};        // the batch's view (zoom and rotation for libmypaint)
  dorvil::DabTarget m_dabs;
  bool m_bInBatch = false;
  bool m_bHaveFirst = false;
  bool m_bStarted = false;
  Queued m_first{};
  Queued m_last{};
};

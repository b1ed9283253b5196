// Stroke events fed to our engine with the time between them on the engine's own clock, so a
// stroke paints the same dabs on every run, speed-dependent brushes included. Shared by the
// brush comparison tests and the stroke benchmark.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "DorvilEngine.h"
#include "MypaintReference.h"

namespace dorvil_test {

// The first sample comes without pressure, as the paint tool gives it. False when the engine
// is not ours or refused the stroke.
inline bool FeedScriptedStroke(ODorvil* engine, OBrush* brush, PaintTarget* target, PaintDirtySink* sink,
                               const std::vector<StrokeEvent>& events, uint32_t rgb) {
  auto* ours = dynamic_cast<DorvilEngine*>(engine);
  if (!ours) return false;
  auto now = std::make_shared<DorvilEngine::Clock::time_point>();
  ours->SetClock([now] { return *now; });
  if (!engine->BeginStroke(brush, target, sink, nullptr)) return false;
  for (size_t i = 0; i < events.size(); ++i) {
    const StrokeEvent& ev = events[i];
    *now += std::chrono::duration_cast<DorvilEngine::Clock::duration>(std::chrono::duration<double>(ev.dtime));
    const PaintSample s{ev.x, ev.y, 1.0f, 0.0f, 0.0f, i ? ev.pressure : 0.0f, 0.0f, 0xFF000000u | rgb,
                        ev.xtilt, ev.ytilt};
    engine->AddSample(&s);
  }
  engine->EndStroke();
  return true;
}

}  // namespace dorvil_test

// The paint engine with layers of the layer engine, a recording sink, and strokes fed on a
// scripted clock.
#pragma once
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "BrushItems.h"
#include "DorvilEngine.h"
#include "DorvilFixture.h"
#include "Morvane.h"
#include "XWorker.h"

namespace dorvil_test {

// Records the sink's calls: batches must pair, and the dabs' rectangles must hold every
// changed pixel.
struct RecordingSink final : PaintDirtySink {
  void Reset(ViewTransform*) override {
    EXPECT_FALSE(open) << "Reset without Flush";
    open = true;
    ++resets;
  }
  void AddDab(const float p[2], float radius) override {
    EXPECT_TRUE(open);
    ++dabs;
    left = std::min(left, p[0] - radius - 1);
    right = std::max(right, p[0] + radius + 1);
    top = std::min(top, p[1] - radius - 1);
    bottom = std::max(bottom, p[1] + radius + 1);
  }
  void Flush() override {
    EXPECT_TRUE(open) << "Flush without Reset";
    open = false;
    ++flushes;
  }
  bool Holds(float x, float y) const { return x >= left && x <= right && y >= top && y <= bottom; }
  bool open = false;
  std::atomic<int> resets{0}, flushes{0}, dabs{0};
  float left = 1e9f, right = -1e9f, top = 1e9f, bottom = -1e9f;
};

class EngineTest : public DorvilTest {
 protected:
  EngineTest() {
    sys.Register(u"Morvane", GCreateComponent<Morvane>);
    sys.Register(u"XWorker", GCreateComponent<XWorker>);
    sys.Register(u"Dorvil", GCreateComponent<DorvilEngine>);
    engine = static_cast<ODorvil*>(sys.NewObj(u"Dorvil", nullptr)->GetInterface(u"ODorvil"));
    engine->Bind(&ctx, 0);
  }
  ~EngineTest() override {
    if (brush) brush->Deactivate();
  }

  // A layer of the format at (10, 20), every pixel set to fill.
  GCompRef<OLayer> Layer(int format, uint32_t fill, int w = 200, int h = 100) {
    GCompRef<OLayer> l = static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
    l->Initialize(nullptr, w, h, format, 1);
    l->SetPosition(10, 20, FALSE);
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(l, 0));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) std::memcpy(lock.Row(y) + size_t(x) * size_t(format), &fill, size_t(format));
    return l;
  }
  // The family prepared at a radius of about r pixels, the opacity in percent and other items.
  void UseBrush(size_t family, float r, int opacity = 100,
                std::initializer_list<std::pair<const char16_t*, int32_t>> more = {}) {
    brush = Make(family);
    const auto set = [&](const char16_t* key, int32_t v) {
      UINT at = 0;
      ASSERT_NE(Items(brush)->FindByName(&at, key), nullptr);
      Items(brush)->SetValue(at, v);
    };
    set(u"RADIUS", dorvil::ValueFromRadius(r));
    set(u"OPACITY", opacity);
    for (const auto& [key, v] : more) set(key, v);
    brush->Activate(&ctx, nullptr);
    ASSERT_TRUE(brush->IsReady());
  }
  // A colour layer with the glass given (the colour layer is not painted).
  PaintTarget Target(OLayer* glass) {
    if (!m_colour) m_colour = Layer(OLayer::myFORMAT_C32, 0);
    return PaintTarget{m_colour, nullptr, glass, 0};
  }
  // A stroke through the samples, the first without pressure as the tool gives it, 8 ms apart
  // on the engine's clock; rendered by EndStroke's caller.
  void Feed(PaintTarget target, std::vector<PaintSample> path, double seconds = 0.008) {
    auto* e = dynamic_cast<DorvilEngine*>(engine.get());
    ASSERT_NE(e, nullptr);
    auto now = std::make_shared<DorvilEngine::Clock::time_point>();
    e->SetClock([now] { return *now; });
    ASSERT_TRUE(engine->BeginStroke(brush, &target, &sink, nullptr));
    path[0].pressure = 0.0f;
    for (const PaintSample& s : path) {
      engine->AddSample(&s);
      *now += std::chrono::duration_cast<DorvilEngine::Clock::duration>(std::chrono::duration<double>(seconds));
    }
    engine->EndStroke();
  }
  void Click(PaintTarget target, float x, float y) { Feed(target, {At(x, y, 0.0f)}); }
  static PaintSample At(float x, float y, float pressure = 1.0f) {
    return PaintSample{x, y, 1.0f, 0.5f, 0.0f, pressure, 0.0f, 0xFF102030u, 0.0f, 0.0f};
  }
  // A horizontal stroke in space coordinates, the first sample without pressure as the tool
  // gives it; rendered by EndStroke's caller (no job).
  void Stroke(PaintTarget target, float x0, float x1, float y) {
    ASSERT_TRUE(engine->BeginStroke(brush, &target, &sink, nullptr));
    const PaintSample first = At(x0, y, 0.0f);
    engine->AddSample(&first);
    for (float x = x0 + 2.0f; x <= x1; x += 2.0f) {
      const PaintSample s = At(x, y);
      engine->AddSample(&s);
    }
    engine->EndStroke();
  }
  template <class T>
  static T Pixel(OLayer* l, int sx, int sy) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(l, 0));
    T v;
    std::memcpy(&v, lock.Row(sy - lock.y) + size_t(sx - lock.x) * sizeof(T), sizeof(T));
    return v;
  }

  BrushContext ctx{};
  GCompRef<ODorvil> engine;
  GCompRef<OBrush> brush;
  RecordingSink sink;

 private:
  GCompRef<OLayer> m_colour;
};

}  // namespace dorvil_test

// What the benchmarks of whole documents share: the view's screen in memory, the component
// classes made without loading plug-ins, the display device and a new empty document.
#pragma once
#include <atomic>
#include <chrono>
#include <memory>

#include "Morvane.h"
#include "MorvaneUtility.h"
#include "XCoderZlib.h"
#include "XShowDevice.h"
#include "XUndoRecorder.h"
#include "XWorker.h"
#include "common/FakeSystem.h"
#include "core/JobRunner.h"
#include "core/TavrikDoc.h"
#include "odata/GCompRef.h"
#include "platform/base/Present.h"

// The view's screen image in memory; notes when the last present arrived.
class BenchHost final : public IPaintSpaceHost {
 public:
  using Clock = std::chrono::steady_clock;
  class Screen final : public plat::PresentTarget {
   public:
    void Present(const uint32_t* pixels, int width, int height, int pitch, bool bottomUp, const RECT& rc) override {
      m_image.Present(pixels, width, height, pitch, bottomUp, rc);
      last.store(Clock::now().time_since_epoch().count());
    }
    std::atomic<Clock::rep> last{0};

   private:
    plat::MemoryPresentTarget m_image;
  };

  SIZE GetClientSize() override { return SIZE{1920, 1080}; }
  HDC GetDC() override { return &screen; }
  void ReleaseDC(HDC) override {}
  gui::DeviceContext* GetViewDC() override { return nullptr; }
  void ReleaseViewDC(gui::DeviceContext*) override {}
  void InvalidateView(BOOL) override {}
  void InvalidateFrame() override {}
  void SyncScrollBars(const ScrollBarState&, const ScrollBarState&) override {}
  COLORREF GetColor(int) override { return 0; }

  Screen screen;
};

// The component classes the benchmark makes, created without loading plug-ins.
inline FakeSystem& MakeSystem() {
  static FakeSystem system;
  system.Register(u"Morvane", GCreateComponent<Morvane>);
  system.Register(u"MorvaneUtility", GCreateComponent<MorvaneUtility>);
  system.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
  system.Register(u"XWorker", GCreateComponent<XWorker>);
  system.Register(u"XUndoRecorder", GCreateComponent<XUndoRecorder>);
  system.Register(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
  system.Register(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
  return system;
}
inline FakeSystem& g_system = MakeSystem();
inline BenchHost g_host;
inline CHeadlessJobRunner g_runner;

inline OShowDevice* Device() {
  static GCompRef<OShowDevice> device =
      static_cast<OShowDevice*>(g_system.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
  return device;
}

// A new document of side x side without layers.
inline std::unique_ptr<CTavrikDoc> NewDoc(int side) {
  static NewSpaceSize setting;
  setting = NewSpaceSize{side, side};
  auto doc = std::make_unique<CTavrikDoc>(&g_system, Device(), &g_host, &g_runner, &setting);
  doc->NewDocument(0);
  return doc;
}

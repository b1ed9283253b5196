// A paint space host in memory, a display device that counts what the space asks of the real
// one, and a fixture with the components a paint space and its document need.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Thrown.h"
#include "Morvane.h"
#include "XCoderZlib.h"
#include "XShowDevice.h"
#include "XUndoRecorder.h"
#include "XWorker.h"
#include "common/FakeSystem.h"
#include "core/PaintSpace.h"
#include "core/PaintSpaceHost.h"
#include "platform/gui/Dc.h"
#include "odata/GCompRef.h"
#include "panels/MyListLayer.h"
#include "platform/base/Files.h"

// The view's screen image: counts the presents and can hold one until the test lets it go,
// so that a redraw job is caught in the middle of a pass.
class TestScreen final : public plat::PresentTarget {
 public:
  void Present(const uint32_t* pixels, int width, int height, int pitch, bool bottomUp, const RECT& rc) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_image.Present(pixels, width, height, pitch, bottomUp, rc);
    ++m_presents;
    if (m_holdNext) {
      m_holdNext = false;
      m_held = true;
      m_cv.notify_all();
      m_cv.wait(lock, [this] { return !m_held; });
    }
  }
  // The next present waits inside until Release.
  void HoldNext() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holdNext = true;
  }
  // Waits until a present is being held.
  bool WaitHeld() {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return m_held; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_held = false;
    m_cv.notify_all();
  }
  int Presents() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_presents;
  }
  uint32_t At(int x, int y) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_image.At(x, y) & 0xFFFFFF;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  plat::MemoryPresentTarget m_image;
  int m_presents = 0;
  bool m_holdNext = false;
  bool m_held = false;
};

class TestHost final : public IPaintSpaceHost {
 public:

  SIZE GetClientSize() override { return client; }
  HDC GetDC() override {
    ++dcTaken;
    return &screen;
  }
  void ReleaseDC(HDC dc) override {
    EXPECT_EQ(dc, &screen);
    ++dcReleased;
  }
  // Tool feedback goes into an image of the client's size, white until drawn on.
  gui::DeviceContext* GetViewDC() override {
    ++viewDcTaken;
    feedback.Resize(client.cx, client.cy, 0xFFFFFF);
    return new gui::DeviceContext(&feedback);
  }
  void ReleaseViewDC(gui::DeviceContext* dc) override {
    ++viewDcReleased;
    delete dc;
  }
  void InvalidateView(BOOL) override { ++viewInvalidated; }
  void InvalidateFrame() override { ++frameInvalidated; }
  void SyncScrollBars(const ScrollBarState& h, const ScrollBarState& v) override {
    horz = h;
    vert = v;
    ++scrollSyncs;
  }
  COLORREF GetColor(int index) override { return index == 0 ? current : 0; }
  void FinishListWork() override { ++listWorkFinished; }

  SIZE client{200, 100};
  COLORREF current = 0;
  TestScreen screen;
  gui::ScreenImage feedback;
  std::atomic<int> dcTaken{0}, dcReleased{0}, viewDcTaken{0}, viewDcReleased{0};
  int viewInvalidated = 0, frameInvalidated = 0, scrollSyncs = 0, listWorkFinished = 0;
  ScrollBarState horz{}, vert{};
};

// Forwards to the real display device and counts the passes and the layers each one took.
class CountingDevice final : public OShowDevice {
 public:
  explicit CountingDevice(OShowDevice* real) : m_real(real) {}
  int32_t AddRef() override { return 1; }
  int32_t Release() override { return 1; }
  void* GetInterface(const char16_t* name) override { return m_real->GetInterface(name); }
  int DrawSingleLayer(const ViewTransform* v, OLayer* l, const RECT* rc, const POINT* s) override {
    ++singles;
    return m_real->DrawSingleLayer(v, l, rc, s);
  }
  BOOL DrawBegin(const ViewTransform* view, BOOL forShow) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++begins;
    lastView = *view;
    tidy.clear();
    return m_real->DrawBegin(view, forShow);
  }
  void DrawLayer(OLayer* layer, uint32_t t, OLayer* glass) override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      tidy.push_back(t);
      layers.push_back(layer);
    }
    m_real->DrawLayer(layer, t, glass);
  }
  int DrawEnd(const RECT* rc, const POINT* scroll) override {
    ++ends;
    return m_real->DrawEnd(rc, scroll);
  }
  int DrawEnd(const POINT* p) override { return m_real->DrawEnd(p); }
  OLayer* DrawEndForSample(LayerLock* out) override { return m_real->DrawEndForSample(out); }
  int Preset(HDC target, const RECT* rc) override {
    ++presets;
    return m_real->Preset(target, rc);
  }
  void GetBackBuffer(LayerLock* out) override { m_real->GetBackBuffer(out); }
  void ScrollView(ViewTransform* v, int dx, int dy) override { m_real->ScrollView(v, dx, dy); }
  float* ClientToSpace(float o[2], const float i[2], const ViewTransform* v) override { return m_real->ClientToSpace(o, i, v); }
  float* SpaceToClient(float o[2], const float i[2], const ViewTransform* v) override { return m_real->SpaceToClient(o, i, v); }
  OLayer* CreateLayer(int w, int h, int f, UINT id) override { return m_real->CreateLayer(w, h, f, id); }
  uint64_t GetLayerMemorySize(int w, int h, int p) override { return m_real->GetLayerMemorySize(w, h, p); }

  ViewTransform View() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return lastView;
  }
  std::vector<uint32_t> Tidy() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return tidy;
  }

  std::atomic<int> begins{0}, ends{0}, presets{0}, singles{0};
  std::vector<OLayer*> layers;

 private:
  OShowDevice* m_real;
  std::mutex m_mutex;
  ViewTransform lastView{};
  std::vector<uint32_t> tidy;
};

// The components of a document, each class's live objects counted by the fake system.
class SpaceFixture : public ::testing::Test {
 protected:
  static constexpr const char16_t* kClasses[] = {u"Morvane",      u"XShowDevice",  u"XWorker",
                                                  u"XUndoRecorder", u"XEncoderZlib", u"XDecoderZlib"};

  SpaceFixture() {
    sys.Register(u"Morvane", GCreateComponent<Morvane>);
    sys.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
    sys.Register(u"XWorker", GCreateComponent<XWorker>);
    sys.Register(u"XUndoRecorder", GCreateComponent<XUndoRecorder>);
    sys.Register(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
    sys.Register(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
    realDevice = static_cast<OShowDevice*>(sys.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
    device = std::make_unique<CountingDevice>(realDevice.get());
    folder = plat::GetTempFolder() + u"tavrik_space_" + plat::Widen(std::to_string(::getpid())) + u"_" +
             plat::Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
    Shell("rm -rf '" + plat::ToUtf8(folder) + "' && mkdir -p '" + plat::ToUtf8(folder) + "'");
  }
  ~SpaceFixture() override {
    Shell("rm -rf '" + plat::ToUtf8(folder) + "'");
  }
  // Every object of every class is gone (the device's own count aside).
  void ExpectNothingLive(int32_t devices = 1) {
    for (const char16_t* c : kClasses)
      EXPECT_EQ(sys.Entry(c)->Refs(), plat::StrCmp(c, u"XShowDevice") == 0 ? devices : 0) << U8(c);
  }
  int32_t LiveLayers() { return sys.Entry(u"Morvane")->Refs(); }

  GCompRef<OLayer> NewLayer(int w, int h, int format, UINT id) {
    return realDevice->CreateLayer(w, h, format, id);
  }
  static void Shell(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }

  FakeSystem sys;
  GCompRef<OShowDevice> realDevice;
  std::unique_ptr<CountingDevice> device;
  TestHost host;
  std::u16string folder;
};

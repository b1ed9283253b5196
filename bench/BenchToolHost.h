// What the tool benchmarks share: a view of a given client size whose screen image takes the
// presents and whose second image takes the tools' XOR feedback, and the component classes a
// paint space needs, made without loading plug-ins (a benchmark adds its tool's own).
#pragma once
#include "Morvane.h"
#include "XShowDevice.h"
#include "XUndoRecorder.h"
#include "XWorker.h"
#include "common/FakeSystem.h"
#include "core/PaintSpaceHost.h"
#include "platform/base/Present.h"
#include "platform/gui/Dc.h"

class ToolBenchHost final : public IPaintSpaceHost {
 public:
  ToolBenchHost(int width, int height) : m_size{width, height} { m_feedback.Resize(width, height); }
  SIZE GetClientSize() override { return m_size; }
  HDC GetDC() override { return &m_screen; }
  void ReleaseDC(HDC) override {}
  gui::DeviceContext* GetViewDC() override { return new gui::DeviceContext(&m_feedback); }
  void ReleaseViewDC(gui::DeviceContext* dc) override { delete dc; }
  void InvalidateView(BOOL) override {}
  void InvalidateFrame() override {}
  void SyncScrollBars(const ScrollBarState&, const ScrollBarState&) override {}
  COLORREF GetColor(int) override { return 0; }

 private:
  SIZE m_size;
  plat::MemoryPresentTarget m_screen;
  gui::ScreenImage m_feedback;
};

inline FakeSystem& ToolBenchSystem() {
  static FakeSystem system;
  system.Register(u"Morvane", GCreateComponent<Morvane>);
  system.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
  system.Register(u"XWorker", GCreateComponent<XWorker>);
  system.Register(u"XUndoRecorder", GCreateComponent<XUndoRecorder>);
  return system;
}

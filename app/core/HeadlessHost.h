// A frame and view without a screen: the paint space works headless (tools that write
// documents, fuzzing). Nothing is shown; the client size is what it was given.
#pragma once
#include "PaintSpaceHost.h"

class CHeadlessHost final : public IPaintSpaceHost {
 public:
  explicit CHeadlessHost(SIZE client = SIZE{0, 0}) : m_client(client) {}
  SIZE GetClientSize() override { return m_client; }
  HDC GetDC() override { return nullptr; }
  void ReleaseDC(HDC) override {}
  gui::DeviceContext* GetViewDC() override { return nullptr; }
  void ReleaseViewDC(gui::DeviceContext*) override {}
  void InvalidateView(BOOL) override {}
  void InvalidateFrame() override {}
  void SyncScrollBars(const ScrollBarState&, const ScrollBarState&) override {}
  COLORREF GetColor(int) override { return 0; }

 private:
  SIZE m_client;
};

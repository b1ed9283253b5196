// Tools driven by synthesised view messages, without a screen: a view host that tracks the
// capture and shows client points on a screen offset, a shell that records the ring menus it
// is asked for and the option windows it is handed, and a fixture with a paint space, its
// layer list and filled layers.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SpaceTestHost.h"
#include "core/ShellServices.h"
#include "odata/GError.h"
#include "frame/Resource.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Window.h"

// The option bar: records every WM_MYSETOPTIONS with the handles up to the first null.
class RecordingOptionBar final : public gui::GWindow {
 public:
  struct Call {
    std::vector<HWND> handles;
    int count;
  };
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg != WM_MYSETOPTIONS) return GWindow::WindowProc(msg, wParam, lParam);
    Call call{{}, int(lParam)};
    const auto* handles = reinterpret_cast<const HWND*>(wParam);
    for (int i = 0; handles && i < OPTIONBAR_MAX_WINDOWS && handles[i]; ++i) call.handles.push_back(handles[i]);
    calls.push_back(call);
    return 0;
  }
  std::vector<Call> calls;
};

class RecordingShell final : public IShellServices {
 public:
  struct Ring {
    int x, y;
    CFunctionMenu* menu;
  };
  void PopupRingMenu(int x, int y, CFunctionMenu* menu) override { rings.push_back({x, y, menu}); }
  BOOL PopupColorWheel(int, int, HSVCOLOR, HWND, DWORD) override { return FALSE; }
  gui::GWindow* GetOptionBar() override { return withBar ? &bar : nullptr; }
  void ShowStatus(const char16_t* text) override { statuses.emplace_back(text); }

  std::vector<Ring> rings;
  std::vector<std::u16string> statuses;
  RecordingOptionBar bar;
  bool withBar = true;
};

// The view: an image to present into, the scroll bars, the capture (taken once per drag),
// client points shown on the screen at kScreen + point, and the shell.
class ToolHost final : public IPaintSpaceHost {
 public:
  static constexpr POINT kScreen{1000, 500};

  SIZE GetClientSize() override { return client; }
  HDC GetDC() override { return &screen; }
  void ReleaseDC(HDC) override {}
  // Tool feedback goes into an image of the client's size, white until drawn on.
  gui::DeviceContext* GetViewDC() override {
    feedback.Resize(client.cx, client.cy, 0xFFFFFF);
    return new gui::DeviceContext(&feedback);
  }
  void ReleaseViewDC(gui::DeviceContext* dc) override { delete dc; }
  void InvalidateView(BOOL) override { ++invalidated; }
  void InvalidateFrame() override {}
  void SyncScrollBars(const ScrollBarState& h, const ScrollBarState& v) override {
    horz = h;
    vert = v;
    ++syncs;
  }
  COLORREF GetColor(int) override { return colour; }
  void SetCapture() override {
    EXPECT_FALSE(captured) << "the capture is taken once per drag";
    captured = true;
  }
  void ReleaseCapture() override {
    EXPECT_TRUE(captured);
    captured = false;
  }
  POINT ClientToScreen(POINT pt) override { return POINT{pt.x + kScreen.x, pt.y + kScreen.y}; }
  IShellServices* GetShell() override { return shell; }

  SIZE client{400, 300};
  COLORREF colour = 0;  // the current colour, 0x00RRGGBB
  plat::MemoryPresentTarget screen;
  gui::ScreenImage feedback;
  int invalidated = 0, syncs = 0;
  bool captured = false;
  ScrollBarState horz{}, vert{};
  IShellServices* shell = nullptr;
};

class ToolFixture : public SpaceFixture {
 protected:
  void TearDown() override {
    space.reset();
    list.reset();
    ExpectNothingLive();
  }
  // A space whose first tool is first; the others are listed after it.
  void Init(UINT w, UINT h, COperation* first, std::initializer_list<COperation*> others = {}) {
    space = std::make_unique<CPaintSpace>(&sys, device.get());
    first->AddRef();
    space->Initialize(w, h, &win, list.get(), first);
    first->Release();
    for (COperation* op : others) space->AddOperator(op);
  }
  ViewTransform& View() { return *space->m_pTransform; }
  // The space point under a client point.
  std::pair<float, float> SpaceAt(float x, float y) {
    const float in[2] = {x, y};
    float out[2];
    realDevice->ClientToSpace(out, in, space->m_pTransform);
    return {out[0], out[1]};
  }
  BOOL Send(UINT msg, WPARAM wParam, int x, int y) {
    LRESULT result = 0;
    return space->OnWndMsg(msg, wParam, MakePointLParam(x, y), &result);
  }
  // Send, for a message the tool fails on: TRUE when it threw an error (which goes).
  BOOL SendFailing(UINT msg, WPARAM wParam, int x, int y) {
    try {
      Send(msg, wParam, x, y);
    } catch (GErrRecord* e) {
      e->AddRef();
      e->Release();
      return TRUE;
    }
    return FALSE;
  }
  // A layer at (x, y) filled with one pixel value, appended to the list.
  OLayer* AddLayer(int w, int h, int format, UINT id, int x, int y, uint32_t fill) {
    GCompRef<OLayer> l = NewLayer(w, h, format, id);
    l->SetPosition(x, y, FALSE);
    {
      LayerLock lock;
      EXPECT_TRUE(lock.Lock(l, 0));
      for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
          if (format == OLayer::myFORMAT_C32) reinterpret_cast<uint32_t*>(lock.Row(row))[col] = fill;
          else reinterpret_cast<uint16_t*>(lock.Row(row))[col] = uint16_t(fill);
        }
    }
    l->MipRefresh(nullptr);
    list->AddLayer(-1, l);
    return l;
  }

  ToolHost win;
  std::unique_ptr<CMyListLayer> list = std::make_unique<CMyListLayer>(&sys, device.get());
  std::unique_ptr<CPaintSpace> space;
};

// The splash window: a picture alone in the middle of the screen while the program starts.
// A frameless popup above the other windows that never takes the activation; it goes when
// told (the main window has shown), when its time is up, or on a click. No Qt in here.
#pragma once
#include <memory>

#include "platform/gui/Window.h"

class CSplashWnd : public gui::GWindow {
 public:
  static constexpr UINT_PTR kTimerId = 1;

  CSplashWnd() = default;
  ~CSplashWnd() override;

  // Shows bitmap resource bitmapId at its own size, centred on the work area of the primary
  // screen, and closes after closeAfterMs (0: only when told). FALSE when there is no such
  // bitmap or no window could be made.
  BOOL Show(UINT bitmapId, UINT closeAfterMs);
  // Hides and destroys the window; nothing when it is not there.
  void Close();
  BOOL IsShowing() const { return GetSafeHwnd() && IsWindowVisible(); }

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint();

  std::unique_ptr<gui::ScreenImage> m_pPicture;
};

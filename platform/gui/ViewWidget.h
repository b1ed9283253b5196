// The window base of the program's view: a window whose screen image is guarded by the paint
// space's drawing lock, with scroll bars, double clicks, and a tablet context that every pen
// sample fills before its mouse message goes out.
#pragma once
#include "Tablet.h"
#include "Window.h"

namespace gui {

class ViewWidget : public GWindow {
 public:
  ViewWidget();
  ~ViewWidget() override;

  // Creates the view with its own tablet context (which becomes g_pTabletContext) and, with
  // a lock given, its screen image guarded by that lock. Styles as GWindow::Create; the view
  // usually asks for WS_HSCROLL | WS_VSCROLL.
  BOOL Create(GWindow* parent, const RECT& rc, GLock* drawingLock,
              DWORD style = WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL);
  BOOL Create(QWidget* parent, const RECT& rc, GLock* drawingLock,
              DWORD style = WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL);
  // Drops the tablet context and destroys the window.
  void Destroy();

  CTabletContext* GetTabletContext() const { return m_pTablet; }
  void OnTabletSample(float pressure, float xTiltDeg, float yTiltDeg, float rotationDeg) override;

 private:
  void ReleaseTablet();

  CTabletContext* m_pTablet = nullptr;
};

}  // namespace gui

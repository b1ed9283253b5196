// The frame's bars with content of their own: the brush side bar, the colour bar (the
// current colour and the recent ones) and the option bar that shows the current tool's
// controls. The layer side bar has a file of its own (LayerBar.h).
#pragma once
#include <QToolBar>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "core/ColorBar.h"
#include "core/ShellServices.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Commands.h"
#include "platform/gui/Window.h"

class CColorPicker;
class CTavrikDoc;
class QHBoxLayout;

// "颜色": the current colour and the recent colours. A click on a recent one makes it
// current. A click on the current one opens the colour picker; a right press on it, or a
// press and drag, opens the frame's colour wheel in drag mode. The colour chosen in either
// is pushed as the current colour.
class CColorBarView : public QWidget, public gui::GWindow, public IColorBarObserver {
 public:
  explicit CColorBarView(QWidget* parent);
  ~CColorBarView() override;
  void SetModel(CColorBar* model);
  CColorBar* GetModel() const { return m_pModel; }
  // The frame's services, which give the colour wheel (null: no wheel).
  void SetShell(IShellServices* shell) { m_pShell = shell; }

  // The slot under a point: 0 the current colour, 1..19 the recent ones, -1 none.
  int SlotAt(QPoint pt) const;
  QRect SlotRect(int slot) const;
  // What a click on a slot does.
  void Choose(int slot);
  // Opens the colour wheel centred on the screen point (device pixels) with the current
  // colour, in drag mode unless told otherwise; FALSE when there is no wheel.
  BOOL OpenWheel(POINT screen, DWORD flags = COLORWHEEL_DRAG);
  // The picker, once it was opened.
  CColorPicker* GetPicker() const { return m_pPicker.get(); }

  void OnColorsChanged() override { update(); }
  QSize sizeHint() const override;
  // The answers of the picker and the wheel.
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // While the wheel holds the mouse, the rest of a press that began here goes to it.
  bool ForwardToCapture(QMouseEvent* event, UINT msg);

  CColorBar* m_pModel = nullptr;
  IShellServices* m_pShell = nullptr;
  std::unique_ptr<CColorPicker> m_pPicker;
  // A left press on the current colour: a click opens the picker, a drag the wheel.
  bool m_bPressCurrent = false;
  QPoint m_ptPress;
};

// "操作选项": the current tool's controls. A tool makes them as children of the bar's window
// (GetWindow) and sends WM_MYSETOPTIONS with their handles; the bar hides the previous tool's
// controls and lines up the new ones.
class COptionBar : public QToolBar, public gui::GWindow {
 public:
  explicit COptionBar(QWidget* parent);
  ~COptionBar() override;
  HWND GetWindow() const { return GetSafeHwnd(); }
  // The controls shown now, in order.
  const std::vector<HWND>& Shown() const { return m_shown; }

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void SetOptions(const HWND* windows, int count);

  QWidget* m_pHost;
  QHBoxLayout* m_pLayout;
  std::vector<HWND> m_shown;
};

// The frame's bars with content of their own: the brush side bar, the colour bar (the
// current colour and the recent ones) and the option bar that shows the current tool's
// controls. The layer side bar has a file of its own (LayerBar.h).
#pragma once
#include <QToolBar>
#include <QWidget>
#include <vector>

#include "core/ColorBar.h"
#include "platform/gui/Commands.h"
#include "platform/gui/Window.h"

class QHBoxLayout;

// "画笔": the brush list's bar and its place in the command route. The brushes come with the
// brush list.
class CBrushBar : public QWidget, public gui::CmdTarget {
 public:
  explicit CBrushBar(QWidget* parent);
};

// "颜色": the current colour (a click opens the colour chooser) and the recent colours (a
// click makes one current).
class CColorBarView : public QWidget, public IColorBarObserver {
 public:
  explicit CColorBarView(QWidget* parent);
  ~CColorBarView() override;
  void SetModel(CColorBar* model);
  CColorBar* GetModel() const { return m_pModel; }

  // The slot under a point: 0 the current colour, 1..19 the recent ones, -1 none.
  int SlotAt(QPoint pt) const;
  QRect SlotRect(int slot) const;
  // What a click on a slot does.
  void Choose(int slot);

  void OnColorsChanged() override { update(); }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  CColorBar* m_pModel = nullptr;
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

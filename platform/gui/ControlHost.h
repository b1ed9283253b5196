// Inside the window layer only: the Qt side the child controls share.
#pragma once
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QWidget>
#include <functional>

#include "platform/base/Types.h"

namespace gui::detail {

// The widget a control's window stands for. Its size is the one the program gave it (Create,
// MoveWindow), so a layout that lines controls up (the option bar) keeps it: the size hint
// is the current size and the policy fixed. The control's Qt widgets fill it.
class ControlHost final : public QWidget {
 public:
  explicit ControlHost(QWidget* parent);
  QSize sizeHint() const override { return size(); }
  QSize minimumSizeHint() const override { return size(); }
  // Called with each event before the widget handles it.
  void SetEventHook(std::function<void(QEvent*)> hook) { m_hook = std::move(hook); }

 protected:
  bool event(QEvent* e) override;

 private:
  std::function<void(QEvent*)> m_hook;
};

// A line edit that keeps every key to itself: Enter and Escape go to the callbacks, and no key
// travels on to the parent (a window of the program would take it as its own WM_KEYDOWN).
class KeyEdit final : public QLineEdit {
 public:
  explicit KeyEdit(QWidget* parent) : QLineEdit(parent) {}
  std::function<void()> onEnter;
  std::function<void()> onEscape;
  std::function<void(Qt::FocusReason)> onFocusOut;

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
};

// Sets the pixel height of a widget's font (0 leaves the default).
void ApplyFontHeight(QWidget* widget, int pixels);

// A bitmap resource as an image with alpha: an image that keeps alpha as it is, any other
// with its button-face grey (0xC0C0C0, the background of toolbar and button artwork) clear.
// Null when there is no such bitmap.
QImage LoadBitmapImage(UINT bitmapId);
// Cell index of cellWidth x cellHeight cells, row by row; null when it lies outside.
QPixmap BitmapCell(const QImage& image, int index, int cellWidth, int cellHeight);

}  // namespace gui::detail

// Shared inside the window layer only: text conversion, the window system's state and the
// widget that turns Qt events into window messages.
#pragma once
#include <QCursor>
#include <QString>
#include <QWidget>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "Cursor.h"
#include "Window.h"

namespace gui::detail {

inline QString ToQString(std::u16string_view s) {
  return QString(reinterpret_cast<const QChar*>(s.data()), qsizetype(s.size()));
}
inline QString ToQString(const char16_t* s) { return s ? ToQString(std::u16string_view(s)) : QString(); }
inline std::u16string FromQString(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}

// The poster behind plat::PostMessage and the queue it fills (Application installs it).
void InstallPoster();
void UninstallPoster();
// Capture lost without anyone taking it (the application was deactivated, a modal window
// came up): the holder gets WM_CAPTURECHANGED with lParam 0.
void CancelCapture();
// The window whose cursor SetCursor changes when nobody holds the capture.
void SetCursorWindow(HWND hwnd);
QCursor CursorFor(HCURSOR cursor);
void FreeCursors();
// Keys the windows saw go down and not yet up (GetKeyState).
void SetKeyDown(UINT vk, bool down);
void ClearKeysDown();

// A window's timers: Qt timers whose events become WM_TIMER.
class TimerHost final : public QObject {
 public:
  explicit TimerHost(GWindow* owner) : m_owner(owner) {}
  void Set(UINT_PTR id, UINT elapseMs);
  bool Kill(UINT_PTR id);
  void Disown();

 protected:
  void timerEvent(QTimerEvent* e) override;

 private:
  GWindow* m_owner;
  std::map<int, UINT_PTR> m_ids;
  int m_depth = 0;
};

// The window internals the layer's own code reaches.
struct WindowAccess {
  static void FlushImage(GWindow* w) { w->FlushImage(); }
  static void LoseWidget(GWindow* w) { w->LoseWidget(); }
  static void PaintWidget(GWindow* w, QEvent* e) { w->PaintWidget(e); }
  static void ResizeClient(GWindow* w) { w->ResizeClient(); }
  static bool DoubleClicks(GWindow* w) { return w->m_bDblClks; }
  static bool OwnsWidget(GWindow* w) { return w->m_bOwnWidget; }
  static void SetMouseInside(GWindow* w, bool inside) { w->m_bMouseInside = inside; }
  static void MouseLeft(GWindow* w);
};

// The widget of a window made by GWindow::Create.
class GWidget final : public QWidget {
 public:
  GWidget(GWindow* owner, QWidget* parent);
  ~GWidget() override;
  // The window is going away: events no longer reach it.
  void Disown() { m_owner = nullptr; }
  GWindow* Owner() const { return m_owner; }
  bool InEvent() const { return m_depth > 0; }

  enum class PointerKind { Move, Press, DoubleClick, Release };
  // A mouse or pen event as it reaches a window: routed to the capture holder, then turned
  // into WM_SETCURSOR and the mouse message.
  void HandlePointer(PointerKind kind, Qt::MouseButton button, Qt::MouseButtons buttons,
                     Qt::KeyboardModifiers mods, QPointF local, QPointF global);

 protected:
  bool event(QEvent* e) override;

 private:
  bool Translate(QEvent* e);
  void Deliver(PointerKind kind, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods, QPointF local);
  void OnWheel(class QWheelEvent* we);
  void OnKey(class QKeyEvent* ke, bool down);

  GWindow* m_owner;
  int m_depth = 0;
  int m_wheelY = 0;
  int m_wheelX = 0;
  std::vector<UINT> m_keysDown;
};

}  // namespace gui::detail

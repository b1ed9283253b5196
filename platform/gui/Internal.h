// Shared inside the window layer only: text conversion, the window system's state and the
// widget that turns Qt events into window messages.
#pragma once
#include <QCursor>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cmath>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "Cursor.h"
#include "DragDrop.h"
#include "Window.h"

class QHelpEvent;

namespace gui::detail {

inline QString ToQString(std::u16string_view s) {
  return QString(reinterpret_cast<const QChar*>(s.data()), qsizetype(s.size()));
}
inline QString ToQString(const char16_t* s) { return s ? ToQString(std::u16string_view(s)) : QString(); }
inline std::u16string FromQString(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}

// A device-pixel rectangle as the logical rectangle that covers it.
inline QRect ToLogical(const RECT& r, double dpr) {
  int l = int(std::floor(r.left / dpr)), t = int(std::floor(r.top / dpr));
  int rr = int(std::ceil(r.right / dpr)), b = int(std::ceil(r.bottom / dpr));
  return QRect(l, t, rr - l, b - t);
}
// A logical point as the device pixel under it.
inline POINT ToDevice(QPointF p, double dpr) {
  return POINT{LONG(std::floor(p.x() * dpr)), LONG(std::floor(p.y() * dpr))};
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
  static QWidget* Frame(const GWindow* w) { return w->Frame(); }
  static bool IsTopLevel(const GWindow* w) { return w->Frame() && w->Frame()->isWindow(); }
  static bool AcceptsFiles(const GWindow* w) { return w->m_bAcceptFiles; }
  static void SetAcceptFiles(GWindow* w, bool accept) { w->m_bAcceptFiles = accept; }
  // The top-level window gained or lost activation: WM_ACTIVATE, and a popup that closes on
  // deactivation closes.
  static void Activated(GWindow* w, bool active);
  static void ClosePopup(GWindow* w) { w->ClosePopup(); }
};

// Drops of files (DragDrop.cpp). The drag events of a window's widget: accepted only for
// local files on a window that takes them; the drop is queued as WM_GUI_DROPFILES.
bool HandleDragEvent(GWindow* w, QWidget* widget, QEvent* e);
// Delivers a queued drop as WM_DROPFILES to w (null: the window is gone) and frees it
// unless the window finished it.
void DeliverDrop(GWindow* w, HDROP drop);

// Asks the window for a tip at the help event's point and shows it (ToolTip.cpp); false
// when the window has none there.
bool ShowToolTip(GWindow* w, QWidget* widget, QHelpEvent* e);

// Watches a widget given to GWindow::Attach: the window is destroyed with it, and it
// brings the window activation, drops and tooltips.
class AttachWatch final : public QObject {
 public:
  AttachWatch(GWindow* owner, QWidget* widget);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  GWindow* m_owner;
  QWidget* m_widget;
};

// The 1-pixel frame of a WS_BORDER window; the window's widget fills the inside.
class BorderFrame final : public QWidget {
 public:
  BorderFrame(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}
  void SetClient(QWidget* client) { m_client = client; }
  // Fits the client inside the frame.
  void LayOut();

 protected:
  bool event(QEvent* e) override;

 private:
  QWidget* m_client = nullptr;
};

// The widget of a window made by GWindow::Create.
class GWidget final : public QWidget {
 public:
  GWidget(GWindow* owner, QWidget* parent, Qt::WindowFlags flags = {});
  ~GWidget() override;
  // The window is going away: events no longer reach it.
  void Disown();
  GWindow* Owner() const { return m_owner; }
  bool InEvent() const { return m_depth > 0; }

  enum class PointerKind { Move, Press, DoubleClick, Release };
  // A mouse or pen event as it reaches a window: routed to the capture holder, then turned
  // into WM_SETCURSOR and the mouse message.
  void HandlePointer(PointerKind kind, Qt::MouseButton button, Qt::MouseButtons buttons,
                     Qt::KeyboardModifiers mods, QPointF local, QPointF global);

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  bool Translate(QEvent* e);
  // A popup that closes on deactivation but is never active itself watches its owner's
  // window while shown.
  void WatchOwnerWindow(bool watch);
  void Deliver(PointerKind kind, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods, QPointF local);
  void OnWheel(class QWheelEvent* we);
  void OnKey(class QKeyEvent* ke, bool down);

  GWindow* m_owner;
  int m_depth = 0;
  int m_wheelY = 0;
  int m_wheelX = 0;
  std::vector<UINT> m_keysDown;
  QPointer<QWidget> m_watched;
};

}  // namespace gui::detail

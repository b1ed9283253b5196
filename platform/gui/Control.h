// The base of the child controls (edit, slider, buttons, option toolbars): a window whose
// widget the control makes and owns, placed in its parent window's client area, that tells
// its parent (or owner) what the user did with messages. No Qt in here.
//
// The control's size is the one the program gives it (Create, MoveWindow); a layout that
// lines controls up, as the option bar does, keeps that size. A control may be destroyed
// from a handler of its own notification: its widget then goes once the event that caused
// the notification is over.
#pragma once
#include <functional>
#include <memory>
#include <utility>

#include "ErrorHook.h"
#include "Window.h"

namespace gui {

class Control : public GWindow {
 public:
  Control();
  ~Control() override;

  // The window the control notifies: its parent at creation.
  HWND GetParent() const { return m_hParent; }
  // Destroys the window and its widget.
  void DestroyControl();

 protected:
  // Makes the control's widget (a plain widget that build fills with the control's Qt
  // widgets) at rc in parent's client area (device pixels), gives it a handle and the id,
  // then applies the styles WS_VISIBLE and WS_DISABLED. fontHeight (pixels), when not 0,
  // sets the height of its text. FALSE when parent has no widget or the control exists.
  BOOL CreateControl(GWindow* parent, const RECT& rc, DWORD style, UINT id, int fontHeight,
                     const std::function<void(QWidget* host)>& build);
  // Sends a notification; UI thread. An error thrown by the receiver is reported. FALSE
  // when the control was destroyed meanwhile: the caller then returns at once, touching
  // nothing of the control.
  bool Notify(HWND target, UINT msg, WPARAM wParam, LPARAM lParam);
  bool NotifyParent(UINT msg, WPARAM wParam, LPARAM lParam) { return Notify(m_hParent, msg, wParam, lParam); }

  // fn made fit for a callback of the control's Qt widgets: it runs only while the control's
  // window lives, and what it throws is reported. The callback takes what fn takes.
  template <class F>
  auto Guard(F fn) {
    return [life = m_life, fn](auto&&... args) -> decltype(std::declval<const F&>()(args...), void()) {
      if (life && life->alive) GuardedCall([&] { fn(args...); });
    };
  }

 private:
  // Shared with the callbacks: alive until the window is destroyed; depth counts the
  // notifications under way.
  struct Life {
    bool alive = true;
    int depth = 0;
  };
  std::shared_ptr<Life> m_life;
  HWND m_hParent = nullptr;
};

}  // namespace gui

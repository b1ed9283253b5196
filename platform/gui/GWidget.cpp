// The widget of a window: turns Qt's events into the window's messages.
#include <QCoreApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTabletEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "ErrorHook.h"
#include "Internal.h"

namespace gui::detail {

namespace {

UINT VkFromQt(const QKeyEvent* ke) {
  int k = ke->key();
  bool keypad = ke->modifiers() & Qt::KeypadModifier;
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return UINT('A' + (k - Qt::Key_A));
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return keypad ? VK_NUMPAD0 + UINT(k - Qt::Key_0) : UINT('0' + (k - Qt::Key_0));
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return VK_F1 + UINT(k - Qt::Key_F1);
  switch (k) {
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Plus: return keypad ? VK_ADD : VK_OEM_PLUS;
    case Qt::Key_Equal: return VK_OEM_PLUS;
    case Qt::Key_Minus: return keypad ? VK_SUBTRACT : VK_OEM_MINUS;
    case Qt::Key_Asterisk: return VK_MULTIPLY;
    case Qt::Key_Slash: return keypad ? VK_DIVIDE : VK_OEM_2;
    case Qt::Key_Period: return keypad ? VK_DECIMAL : VK_OEM_PERIOD;
    case Qt::Key_Comma: return VK_OEM_COMMA;
    case Qt::Key_Semicolon: return VK_OEM_1;
    case Qt::Key_BracketLeft: return VK_OEM_4;
    case Qt::Key_Backslash: return VK_OEM_5;
    case Qt::Key_BracketRight: return VK_OEM_6;
    case Qt::Key_Apostrophe: return VK_OEM_7;
    case Qt::Key_QuoteLeft: return VK_OEM_3;
    default: return 0;
  }
}

WPARAM KeyBits(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  WPARAM bits = 0;
  if (buttons & Qt::LeftButton) bits |= MK_LBUTTON;
  if (buttons & Qt::RightButton) bits |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) bits |= MK_MBUTTON;
  if (buttons & Qt::XButton1) bits |= MK_XBUTTON1;
  if (buttons & Qt::XButton2) bits |= MK_XBUTTON2;
  if (mods & Qt::ShiftModifier) bits |= MK_SHIFT;
  if (mods & Qt::ControlModifier) bits |= MK_CONTROL;
  return bits;
}

}  // namespace

GWidget::GWidget(GWindow* owner, QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags), m_owner(owner) {
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_InputMethodEnabled, false);
}

GWidget::~GWidget() {
  if (m_owner) WindowAccess::LoseWidget(m_owner);
}

void GWidget::Disown() {
  WatchOwnerWindow(false);
  m_owner = nullptr;
}

void GWidget::WatchOwnerWindow(bool watch) {
  if (m_watched) m_watched->removeEventFilter(this);
  m_watched = nullptr;
  if (!watch || !m_owner) return;
  const DWORD both = WS_EX_GUI_CLOSEONDEACTIVATE | WS_EX_NOACTIVATE;
  if ((m_owner->GetExStyle() & both) != both || !WindowAccess::IsTopLevel(m_owner)) return;
  GWindow* owner = GWindow::FromHandle(m_owner->GetOwner());
  if (!owner || !owner->GetWidget()) return;
  m_watched = owner->GetWidget()->window();
  m_watched->installEventFilter(this);
}

bool GWidget::eventFilter(QObject* watched, QEvent* e) {
  if (watched == m_watched && m_owner && e->type() == QEvent::WindowDeactivate)
    GuardedCall([&] { WindowAccess::ClosePopup(m_owner); });
  return false;
}

void BorderFrame::LayOut() {
  if (m_client) m_client->setGeometry(rect().adjusted(1, 1, -1, -1));
}

bool BorderFrame::event(QEvent* e) {
  switch (e->type()) {
    case QEvent::Resize:
      LayOut();
      break;
    case QEvent::Paint: {
      QPainter painter(this);
      painter.setPen(palette().color(QPalette::Shadow));
      painter.drawRect(rect().adjusted(0, 0, -1, -1));
      return true;
    }
    case QEvent::Close:  // the window decides, as for a window without a frame
      if (m_client) return QCoreApplication::sendEvent(m_client, e);
      break;
    default:
      break;
  }
  return QWidget::event(e);
}

bool GWidget::event(QEvent* e) {
  if (!m_owner) return QWidget::event(e);
  ++m_depth;
  bool handled = false;
  GuardedCall([&] { handled = Translate(e); });
  --m_depth;
  return handled || QWidget::event(e);
}

bool GWidget::Translate(QEvent* e) {
  switch (e->type()) {
    case QEvent::Paint:
      WindowAccess::PaintWidget(m_owner, e);
      return true;
    case QEvent::Resize:
      WindowAccess::ResizeClient(m_owner);
      return false;
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
      auto* me = static_cast<QMouseEvent*>(e);
      PointerKind kind = e->type() == QEvent::MouseMove ? PointerKind::Move
                         : e->type() == QEvent::MouseButtonPress ? PointerKind::Press
                         : e->type() == QEvent::MouseButtonRelease ? PointerKind::Release
                                                                   : PointerKind::DoubleClick;
      HandlePointer(kind, me->button(), me->buttons(), me->modifiers(), me->position(), me->globalPosition());
      return true;
    }
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease: {
      auto* te = static_cast<QTabletEvent*>(e);
      te->accept();  // no mouse event is made from it: the messages come from here
      m_owner->OnTabletSample(float(te->pressure()), float(te->xTilt()), float(te->yTilt()),
                              float(te->rotation()));
      if (!m_owner) return true;
      PointerKind kind = e->type() == QEvent::TabletMove    ? PointerKind::Move
                         : e->type() == QEvent::TabletPress ? PointerKind::Press
                                                            : PointerKind::Release;
      HandlePointer(kind, te->button(), te->buttons(), te->modifiers(), te->position(), te->globalPosition());
      return true;
    }
    case QEvent::Wheel:
      OnWheel(static_cast<QWheelEvent*>(e));
      return true;
    case QEvent::KeyPress:
      OnKey(static_cast<QKeyEvent*>(e), true);
      return true;
    case QEvent::KeyRelease:
      OnKey(static_cast<QKeyEvent*>(e), false);
      return true;
    case QEvent::FocusIn:
      m_owner->SendMessage(WM_SETFOCUS, 0, 0);
      return false;
    case QEvent::FocusOut:
      // Key releases after this go elsewhere: forget what was down.
      for (UINT vk : m_keysDown) SetKeyDown(vk, false);
      m_keysDown.clear();
      m_owner->SendMessage(WM_KILLFOCUS, 0, 0);
      return false;
    case QEvent::Enter:
      WindowAccess::SetMouseInside(m_owner, true);
      return false;
    case QEvent::Leave:
      WindowAccess::MouseLeft(m_owner);
      return false;
    case QEvent::Close:
      e->ignore();  // the window decides: DefWindowProc destroys it
      m_owner->SendMessage(WM_CLOSE, 0, 0);
      return true;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
      // Qt passes them on to every child widget; only a top-level window is told.
      if (WindowAccess::IsTopLevel(m_owner))
        WindowAccess::Activated(m_owner, e->type() == QEvent::WindowActivate);
      return false;
    case QEvent::Show:
      WatchOwnerWindow(true);
      return false;
    case QEvent::Hide:
      WatchOwnerWindow(false);
      return false;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return HandleDragEvent(m_owner, this, e);
    case QEvent::ToolTip:
      return ShowToolTip(m_owner, this, static_cast<QHelpEvent*>(e));
    default:
      return false;
  }
}

void GWidget::HandlePointer(PointerKind kind, Qt::MouseButton button, Qt::MouseButtons buttons,
                            Qt::KeyboardModifiers mods, QPointF local, QPointF global) {
  GWidget* target = this;
  HWND capture = GetCapture();
  if (capture && capture != m_owner->GetSafeHwnd()) {
    GWindow* holder = GWindow::FromHandle(capture);
    if (!holder || !WindowAccess::OwnsWidget(holder) || !holder->GetWidget()) return;
    target = static_cast<GWidget*>(holder->GetWidget());
    local = target->mapFromGlobal(global);
  }
  target->Deliver(kind, button, buttons, mods, local);
}

void GWidget::Deliver(PointerKind kind, Qt::MouseButton button, Qt::MouseButtons buttons,
                      Qt::KeyboardModifiers mods, QPointF local) {
  GWindow* w = m_owner;
  if (!w) return;
  UINT msg = 0;
  if (kind == PointerKind::Move) {
    msg = WM_MOUSEMOVE;
  } else {
    UINT down = button == Qt::LeftButton    ? WM_LBUTTONDOWN
                : button == Qt::RightButton ? WM_RBUTTONDOWN
                : button == Qt::MiddleButton ? WM_MBUTTONDOWN
                                             : 0;
    if (!down) return;
    if (kind == PointerKind::Press) msg = down;
    else if (kind == PointerKind::Release) msg = down + 1;
    else msg = WindowAccess::DoubleClicks(w) ? down + 2 : down;
  }
  const POINT pt = ToDevice(local, devicePixelRatioF());
  const int x = pt.x, y = pt.y;
  RECT client;
  w->GetClientRect(&client);
  bool inside = x >= 0 && y >= 0 && x < client.right && y < client.bottom;
  if (kind != PointerKind::Release) WindowAccess::SetMouseInside(w, inside);
  HWND hwnd = w->GetSafeHwnd();
  if (inside && !GetCapture() && kind != PointerKind::Release) {
    SetCursorWindow(hwnd);
    w->SendMessage(WM_SETCURSOR, WPARAM(hwnd), MAKELPARAM(HTCLIENT, WORD(msg)));
    if (GWindow::FromHandle(hwnd) != w) return;  // destroyed by the handler
  }
  w->SendMessage(msg, KeyBits(buttons, mods), MakePointLParam(x, y));
}

// Wheel steps of any size add up; a message goes out for each whole notch (120) reached, and
// turning the other way starts afresh.
void GWidget::OnWheel(QWheelEvent* we) {
  GWidget* target = this;
  if (HWND capture = GetCapture(); capture && capture != m_owner->GetSafeHwnd()) {
    GWindow* holder = GWindow::FromHandle(capture);
    if (!holder || !WindowAccess::OwnsWidget(holder) || !holder->GetWidget()) return;
    target = static_cast<GWidget*>(holder->GetWidget());
  }
  const POINT screen = ToDevice(we->globalPosition(), devicePixelRatioF());
  LPARAM lp = MakePointLParam(screen.x, screen.y);
  WORD keys = WORD(KeyBits(we->buttons(), we->modifiers()));
  auto step = [&](int& acc, int delta, UINT msg) {
    if (delta == 0) return;
    if ((acc > 0 && delta < 0) || (acc < 0 && delta > 0)) acc = 0;
    acc += delta;
    int notches = std::clamp(acc / WHEEL_DELTA, -273, 273);
    if (!notches) return;
    acc -= notches * WHEEL_DELTA;
    if (target->m_owner)
      target->m_owner->SendMessage(msg, MAKEWPARAM(keys, WORD(int16_t(notches * WHEEL_DELTA))), lp);
  };
  QPoint angle = we->angleDelta();
  if (we->inverted()) angle = -angle;
  step(m_wheelY, angle.y(), WM_MOUSEWHEEL);
  step(m_wheelX, -angle.x(), WM_MOUSEHWHEEL);
}

// X11 repeats a held key as release/press pairs, both marked auto-repeat: the releases are
// dropped and the presses carry the repeat bit, as a held key does on the system.
void GWidget::OnKey(QKeyEvent* ke, bool down) {
  UINT vk = VkFromQt(ke);
  LPARAM scan = LPARAM(ke->nativeScanCode() & 0xFF) << 16;
  auto held = std::find(m_keysDown.begin(), m_keysDown.end(), vk);
  if (down) {
    bool wasDown = ke->isAutoRepeat() || (vk && held != m_keysDown.end());
    LPARAM lp = 1 | scan | (wasDown ? KF_REPEAT_BIT : 0);
    if (vk) {
      if (held == m_keysDown.end()) m_keysDown.push_back(vk);
      SetKeyDown(vk, true);
      m_owner->SendMessage(WM_KEYDOWN, vk, lp);
    }
    const QString text = ke->text();
    for (QChar c : text) {
      if (!m_owner) break;
      m_owner->SendMessage(WM_CHAR, c.unicode(), lp);
    }
    return;
  }
  if (ke->isAutoRepeat() || !vk) return;
  if (held != m_keysDown.end()) m_keysDown.erase(held);
  SetKeyDown(vk, false);
  m_owner->SendMessage(WM_KEYUP, vk, 1 | scan | KF_REPEAT_BIT | KF_UP_BIT);
}

}  // namespace gui::detail

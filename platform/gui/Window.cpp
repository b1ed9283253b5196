#include "Window.h"

#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimerEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "ErrorHook.h"
#include "Internal.h"
#include "platform/base/Messages.h"

namespace gui {

namespace {

bool IsEmptyRect(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

RECT UnionRect(const RECT& a, const RECT& b) {
  if (IsEmptyRect(a)) return b;
  if (IsEmptyRect(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

RECT IntersectRect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  return IsEmptyRect(r) ? RECT{0, 0, 0, 0} : r;
}

double Dpr(const QWidget* w) { return w ? w->devicePixelRatioF() : 1.0; }

using detail::ToLogical;

// ---- the handle registry ------------------------------------------------------------------

std::mutex g_regMutex;
std::unordered_map<uintptr_t, GWindow*> g_windows;
uintptr_t g_nextHandle = 0x10000;

// UI-thread state.
HWND g_capture = nullptr;
HWND g_cursorWindow = nullptr;
HWND g_activeTop = nullptr;  // the top-level window of ours that was activated last
HCURSOR g_cursor = nullptr;
std::vector<UINT> g_keysDown;

bool IsRegistered(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_regMutex);
  return g_windows.count(reinterpret_cast<uintptr_t>(hwnd)) != 0;
}

// The window whose widget (or border frame) is exactly widget.
HWND HandleOfExactWidget(const QWidget* widget) {
  if (!widget) return nullptr;
  std::lock_guard<std::mutex> lock(g_regMutex);
  for (const auto& [id, window] : g_windows)
    if (window->GetWidget() == widget || detail::WindowAccess::Frame(window) == widget)
      return reinterpret_cast<HWND>(id);
  return nullptr;
}

// The window of widget or of its nearest ancestor that belongs to a window.
HWND HandleOfWidget(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget())
    if (HWND hwnd = HandleOfExactWidget(w)) return hwnd;
  return nullptr;
}

// ---- the posted-message queue -------------------------------------------------------------

struct Posted {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

int DrainPosted(size_t limit);

class PostDispatcher final : public QObject {
 public:
  static QEvent::Type WakeType() {
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
  }
  bool event(QEvent* e) override {
    if (e->type() != WakeType()) return QObject::event(e);
    DrainPosted(0);
    return true;
  }
};

std::mutex g_queueMutex;
std::deque<Posted> g_queue;
bool g_wakePending = false;
PostDispatcher* g_dispatcher = nullptr;

// Called with g_queueMutex held.
void WakeLocked() {
  if (g_wakePending || !g_dispatcher) return;
  g_wakePending = true;
  QCoreApplication::postEvent(g_dispatcher, new QEvent(PostDispatcher::WakeType()));
}

BOOL PostToQueue(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsRegistered(hwnd)) return FALSE;
  std::lock_guard<std::mutex> lock(g_queueMutex);
  if (!g_dispatcher) return FALSE;
  g_queue.push_back(Posted{hwnd, msg, wParam, lParam});
  WakeLocked();
  return TRUE;
}

void Deliver(const Posted& p) {
  GWindow* w = GWindow::FromHandle(p.hwnd);
  if (p.msg == WM_GUI_DROPFILES) {  // freed also when the window is gone
    GuardedCall([&] { detail::DeliverDrop(w, reinterpret_cast<HDROP>(p.wParam)); });
    return;
  }
  if (!w) return;
  GuardedCall([&] {
    if (p.msg == WM_GUI_FLUSHIMAGE) {
      detail::WindowAccess::FlushImage(w);
    } else {
      w->WindowProc(p.msg, p.wParam, p.lParam);
    }
  });
}

// Delivers what was queued when it started (limit 0), or at most limit messages, so that a
// handler that posts again does not starve the event loop.
int DrainPosted(size_t limit) {
  size_t count;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_wakePending = false;
    count = g_queue.size();
  }
  if (limit && limit < count) count = limit;
  int delivered = 0;
  for (size_t i = 0; i < count; ++i) {
    Posted p;
    {
      std::lock_guard<std::mutex> lock(g_queueMutex);
      if (g_queue.empty()) break;
      p = g_queue.front();
      g_queue.pop_front();
    }
    Deliver(p);
    ++delivered;
  }
  std::lock_guard<std::mutex> lock(g_queueMutex);
  if (!g_queue.empty()) WakeLocked();
  return delivered;
}

}  // namespace

// ---- detail ---------------------------------------------------------------------------------

namespace detail {

void InstallPoster() {
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    if (!g_dispatcher) g_dispatcher = new PostDispatcher;
  }
  plat::SetMessagePoster(&PostToQueue);
}

void UninstallPoster() {
  plat::SetMessagePoster(nullptr);
  PostDispatcher* dispatcher;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    dispatcher = g_dispatcher;
    g_dispatcher = nullptr;
    g_queue.clear();
    g_wakePending = false;
  }
  delete dispatcher;
}

void CancelCapture() { ReleaseCapture(); }

void SetCursorWindow(HWND hwnd) { g_cursorWindow = hwnd; }

void SetKeyDown(UINT vk, bool down) {
  auto it = std::find(g_keysDown.begin(), g_keysDown.end(), vk);
  if (down && it == g_keysDown.end()) g_keysDown.push_back(vk);
  if (!down && it != g_keysDown.end()) g_keysDown.erase(it);
}

void ClearKeysDown() { g_keysDown.clear(); }

void TimerHost::Set(UINT_PTR id, UINT elapseMs) {
  Kill(id);
  int qtId = startTimer(int(std::min<UINT>(elapseMs, 0x7FFFFFFF)));
  if (qtId) m_ids[qtId] = id;
}

bool TimerHost::Kill(UINT_PTR id) {
  for (auto it = m_ids.begin(); it != m_ids.end(); ++it) {
    if (it->second != id) continue;
    killTimer(it->first);
    m_ids.erase(it);
    return true;
  }
  return false;
}

// The window is done with its timers: they stop, and the host goes (later when a WM_TIMER is
// being handled on it right now).
void TimerHost::Disown() {
  for (const auto& [qtId, id] : m_ids) killTimer(qtId);
  m_ids.clear();
  m_owner = nullptr;
  if (m_depth) deleteLater();
  else delete this;
}

void TimerHost::timerEvent(QTimerEvent* e) {
  auto it = m_ids.find(e->timerId());
  if (it == m_ids.end() || !m_owner) return;
  UINT_PTR id = it->second;
  ++m_depth;
  GuardedCall([&] { m_owner->SendMessage(WM_TIMER, id, 0); });
  --m_depth;
}

void WindowAccess::MouseLeft(GWindow* w) {
  w->m_bMouseInside = false;
  if (w->m_bTrackLeave) {
    w->m_bTrackLeave = false;
    w->PostMessage(WM_MOUSELEAVE, 0, 0);
  }
}

void WindowAccess::Activated(GWindow* w, bool active) {
  const HWND self = w->m_hWnd;
  HWND other = nullptr;
  if (active) {
    if (g_activeTop != self && IsWindow(g_activeTop)) other = g_activeTop;
    g_activeTop = self;
  } else {
    other = HandleOfExactWidget(QApplication::activeWindow());
    if (g_activeTop == self) g_activeTop = nullptr;
  }
  w->SendMessage(WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, LPARAM(other));
  if (!active && GWindow::FromHandle(self) == w && (w->m_dwExStyle & WS_EX_GUI_CLOSEONDEACTIVATE)) w->ClosePopup();
}

AttachWatch::AttachWatch(GWindow* owner, QWidget* widget) : m_owner(owner), m_widget(widget) {
  connect(widget, &QObject::destroyed, this, [this] { WindowAccess::LoseWidget(m_owner); });
  widget->installEventFilter(this);
}

bool AttachWatch::eventFilter(QObject* watched, QEvent* e) {
  if (watched != m_widget) return false;
  bool handled = false;
  GWindow* owner = m_owner;
  QWidget* widget = m_widget;
  GuardedCall([&] {
    switch (e->type()) {
      case QEvent::WindowActivate:
      case QEvent::WindowDeactivate:
        if (widget->isWindow()) WindowAccess::Activated(owner, e->type() == QEvent::WindowActivate);
        break;
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
        if (WindowAccess::AcceptsFiles(owner)) handled = HandleDragEvent(owner, widget, e);
        break;
      case QEvent::ToolTip:
        handled = ShowToolTip(owner, widget, static_cast<QHelpEvent*>(e));
        break;
      default:
        break;
    }
  });
  return handled;
}

}  // namespace detail

int RunPostedMessages() { return DrainPosted(0); }

// ---- GWindow --------------------------------------------------------------------------------

GWindow::GWindow() = default;

GWindow::~GWindow() {
  ReleaseWidget();
  Unregister();
}

void GWindow::Register() {
  if (m_hWnd) return;
  std::lock_guard<std::mutex> lock(g_regMutex);
  uintptr_t id = g_nextHandle;
  g_nextHandle += 0x10;
  g_windows[id] = this;
  m_hWnd = reinterpret_cast<HWND>(id);
  if (m_pImage) m_pImage->SetOwner(m_hWnd);
}

void GWindow::Unregister() {
  if (!m_hWnd) return;
  if (g_capture == m_hWnd) g_capture = nullptr;
  if (g_cursorWindow == m_hWnd) g_cursorWindow = nullptr;
  if (g_activeTop == m_hWnd) g_activeTop = nullptr;
  if (m_pImage) m_pImage->SetOwner(nullptr);
  std::lock_guard<std::mutex> lock(g_regMutex);
  g_windows.erase(reinterpret_cast<uintptr_t>(m_hWnd));
  m_hWnd = nullptr;
}

GWindow* GWindow::FromHandle(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_regMutex);
  auto it = g_windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == g_windows.end() ? nullptr : it->second;
}

BOOL GWindow::Create(GWindow* parent, const RECT& rc, DWORD style) { return CreateEx(0, parent, rc, style); }

BOOL GWindow::CreateEx(DWORD exStyle, GWindow* parent, const RECT& rc, DWORD style) {
  return CreateIn(parent ? parent->m_pWidget : static_cast<QWidget*>(nullptr), rc, style, exStyle);
}

BOOL GWindow::Create(QWidget* parent, const RECT& rc, DWORD style) { return CreateIn(parent, rc, style, 0); }

BOOL GWindow::CreateIn(QWidget* parent, const RECT& rc, DWORD style, DWORD exStyle) {
  if (m_pWidget) return FALSE;
  const bool popup = style & WS_POPUP;
  Qt::WindowFlags flags;
  if (popup) {
    // A window that never activates is a tooltip-type window: the window manager leaves it
    // alone and (also offscreen) showing it does not take the activation.
    const bool noActivate = exStyle & WS_EX_NOACTIVATE;
    flags = (noActivate ? Qt::ToolTip : Qt::Tool) | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    if (noActivate) flags |= Qt::WindowDoesNotAcceptFocus;
    if (exStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
  }
  detail::GWidget* widget;
  if (style & WS_BORDER) {
    auto* border = new detail::BorderFrame(parent, flags);
    widget = new detail::GWidget(this, border);
    border->SetClient(widget);
    m_pBorder = border;
  } else {
    widget = new detail::GWidget(this, parent, flags);
  }
  m_pWidget = widget;
  m_bOwnWidget = true;
  m_dwStyle = style;
  m_dwExStyle = exStyle;
  m_hOwner = popup ? HandleOfWidget(parent) : nullptr;
  if (popup && (exStyle & WS_EX_NOACTIVATE)) Frame()->setAttribute(Qt::WA_ShowWithoutActivating);
  if ((exStyle & WS_EX_LAYERED) && Frame()->isWindow()) {
    Frame()->setAttribute(Qt::WA_TranslucentBackground);
    widget->setAttribute(Qt::WA_TranslucentBackground);
  }
  Register();
  for (int bar = 0; bar < 2; ++bar) {
    if (!(style & (bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL))) continue;
    auto* sb = new QScrollBar(bar == SB_HORZ ? Qt::Horizontal : Qt::Vertical, widget);
    sb->setFocusPolicy(Qt::NoFocus);
    m_bars[bar].widget = sb;
    QObject::connect(sb, &QAbstractSlider::actionTriggered, sb,
                     [this, bar](int action) { GuardedCall([&] { OnBarAction(bar, action); }); });
    QObject::connect(sb, &QAbstractSlider::sliderReleased, sb, [this, bar] {
      GuardedCall([&] {
        int pos = m_bars[bar].widget->sliderPosition();
        m_bars[bar].widget->setSliderPosition(m_bars[bar].info.nPos);
        SendMessage(bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, WORD(pos)), 0);
        SendMessage(bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
      });
    });
    SyncBar(bar);
  }
  MoveWindow(rc, FALSE);
  if (style & WS_DISABLED) widget->setEnabled(false);
  GetClientRect(&m_invalid);
  if (SendMessage(WM_CREATE, 0, 0) == -1) {
    ReleaseWidget();
    Unregister();
    return FALSE;
  }
  if (style & WS_VISIBLE) Show(!(exStyle & WS_EX_NOACTIVATE));
  return TRUE;
}

void GWindow::Attach(QWidget* widget) {
  if (m_pWidget || !widget) return;
  m_pWidget = widget;
  m_bOwnWidget = false;
  Register();
  m_pAttachGuard = std::make_unique<detail::AttachWatch>(this, widget);
}

QWidget* GWindow::Frame() const { return m_pBorder ? m_pBorder : m_pWidget; }

void GWindow::DestroyWindow() {
  if (!m_pWidget && !m_hWnd) return;
  if (m_hWnd) GuardedCall([&] { SendMessage(WM_DESTROY, 0, 0); });
  ReleaseWidget();
  Unregister();
}

// Lets go of the widget: timers stop, an own widget is deleted (later, when it is in the
// middle of one of its own events), an attached one is left to its maker.
void GWindow::ReleaseWidget() {
  if (m_pTimers) {
    m_pTimers->Disown();
    m_pTimers = nullptr;
  }
  if (!m_pWidget) return;
  QWidget* widget = m_pWidget;
  QWidget* outer = Frame();
  m_pWidget = m_pBorder = nullptr;
  m_bars[0].widget = m_bars[1].widget = nullptr;
  if (g_capture == m_hWnd) {
    g_capture = nullptr;
    if (QWidget::mouseGrabber() == widget) widget->releaseMouse();
  }
  if (!m_bOwnWidget) {
    m_pAttachGuard.reset();
    return;
  }
  auto* own = static_cast<detail::GWidget*>(widget);
  own->Disown();
  if (own->InEvent()) {
    outer->hide();
    outer->deleteLater();
  } else {
    delete outer;
  }
}

// The widget went away under us (its parent was deleted): the window is destroyed.
void GWindow::LoseWidget() {
  if (!m_pWidget) return;
  m_pWidget = m_pBorder = nullptr;  // Qt deletes the bars with it
  if (m_pTimers) {
    m_pTimers->Disown();
    m_pTimers = nullptr;
  }
  m_bars[0].widget = m_bars[1].widget = nullptr;
  if (g_capture == m_hWnd) g_capture = nullptr;
  if (m_hWnd) GuardedCall([&] { SendMessage(WM_DESTROY, 0, 0); });
  Unregister();
}

LRESULT GWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(msg, wParam, lParam);
}

LRESULT GWindow::DefWindowProc(UINT msg, WPARAM wParam, LPARAM /*lParam*/) {
  switch (msg) {
    case WM_ACTIVATE:
      // Qt gives the focus back to what had it in the window; a popup has nothing else.
      if (LOWORD(wParam) != WA_INACTIVE && m_bOwnWidget && m_pWidget && !m_pWidget->window()->focusWidget())
        m_pWidget->setFocus(Qt::ActiveWindowFocusReason);
      return 0;
    case WM_SETCURSOR:
      gui::SetCursor(m_hClassCursor ? m_hClassCursor : LoadCursor(IDC_ARROW));
      return TRUE;
    case WM_SETREDRAW:
      if (m_pWidget) m_pWidget->setUpdatesEnabled(wParam != 0);
      return 0;
    case WM_CLOSE:
      DestroyWindow();
      return 0;
    default:
      return 0;
  }
}

LRESULT GWindow::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_GUI_FLUSHIMAGE) {
    FlushImage();
    return 0;
  }
  return WindowProc(msg, wParam, lParam);
}

BOOL GWindow::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return plat::PostMessage(m_hWnd, msg, wParam, lParam);
}

// ---- painting -------------------------------------------------------------------------------

void GWindow::Invalidate(BOOL /*erase*/) { InvalidateRect(nullptr); }

void GWindow::InvalidateRect(const RECT* rc, BOOL /*erase*/) {
  if (!m_pWidget) return;
  RECT client;
  GetClientRect(&client);
  RECT r = rc ? IntersectRect(*rc, client) : client;
  if (IsEmptyRect(r)) return;
  m_invalid = UnionRect(m_invalid, r);
  m_pWidget->update(ToLogical(r, Dpr(m_pWidget)));
}

void GWindow::UpdateWindow() {
  if (m_pWidget && !IsEmptyRect(m_invalid)) m_pWidget->repaint();
}

BOOL GWindow::GetUpdateRect(RECT* rc) const {
  if (!m_bInPaint) {
    if (rc) *rc = m_invalid;
    return !IsEmptyRect(m_invalid);
  }
  if (rc) *rc = m_paintRect;
  return TRUE;
}

ScreenImage* GWindow::GetScreenImage() {
  if (!m_pImage) {
    m_pImage = std::make_unique<ScreenImage>(m_pDrawLock);
    m_pImage->SetOwner(m_hWnd);
    m_pImage->SetKeepAlpha(m_pWidget && m_pWidget->testAttribute(Qt::WA_TranslucentBackground));
    RECT client;
    GetClientRect(&client);
    m_pImage->Resize(client.right, client.bottom, m_background);
  }
  return m_pImage.get();
}

void GWindow::SetDrawingLock(GLock* lock) {
  m_pDrawLock = lock;
  if (m_pImage) m_pImage->SetLock(lock);
}

void GWindow::SetBackgroundColor(COLORREF color) {
  m_background = (uint32_t(GetRValue(color)) << 16) | (uint32_t(GetGValue(color)) << 8) | GetBValue(color);
}

void GWindow::FlushImage() {
  if (!m_pImage) return;
  RECT r = m_pImage->TakeDirty();
  if (m_pWidget && !IsEmptyRect(r)) m_pWidget->update(ToLogical(r, Dpr(m_pWidget)));
}

void GWindow::PaintWidget(QEvent* event) {
  auto* pe = static_cast<QPaintEvent*>(event);
  ScreenImage* image = GetScreenImage();
  if (!IsEmptyRect(m_invalid)) {
    RECT client;
    GetClientRect(&client);
    m_paintRect = IntersectRect(m_invalid, client);
    m_invalid = RECT{0, 0, 0, 0};
    m_bInPaint = true;
    GuardedCall([&] { SendMessage(WM_PAINT, 0, 0); });
    m_bInPaint = false;
  }
  if (!m_pWidget) return;  // destroyed while painting
  double dpr = Dpr(m_pWidget);
  QPainter painter(m_pWidget);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  GAutoLock lock(image->GetLock());
  int w = image->Width(), h = image->Height();
  if (w <= 0 || h <= 0) return;
  // A translucent window shows the image's straight alpha; the backing store then holds it.
  QImage q(reinterpret_cast<const uchar*>(image->Bits()), w, h, qsizetype(image->Pitch()) * 4,
           image->KeepsAlpha() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  QRect deviceAll(0, 0, w, h);
  for (const QRect& r : pe->region()) {
    QRect src(int(std::floor(r.x() * dpr)), int(std::floor(r.y() * dpr)), 0, 0);
    src.setRight(int(std::ceil((r.x() + r.width()) * dpr)) - 1);
    src.setBottom(int(std::ceil((r.y() + r.height()) * dpr)) - 1);
    src &= deviceAll;
    if (src.isEmpty()) continue;
    painter.drawImage(QRectF(src.x() / dpr, src.y() / dpr, src.width() / dpr, src.height() / dpr), q, src);
  }
  // What was drawn during WM_PAINT inside the painted area is on the screen now.
  if (pe->region().rectCount() == 1) {
    QRect b = pe->region().boundingRect();
    image->DropDirtyWithin(RECT{LONG(std::floor(b.x() * dpr)), LONG(std::floor(b.y() * dpr)),
                                LONG(std::ceil((b.x() + b.width()) * dpr)),
                                LONG(std::ceil((b.y() + b.height()) * dpr))});
  }
}

void GWindow::ResizeClient() {
  if (!m_pWidget) return;
  LayoutBars();
  RECT client;
  GetClientRect(&client);
  if (m_pImage) m_pImage->Resize(client.right, client.bottom, m_background);
  m_invalid = client;
  WPARAM type = SIZE_RESTORED;
  if (m_pWidget->isWindow()) {
    if (m_pWidget->isMinimized()) type = SIZE_MINIMIZED;
    else if (m_pWidget->isMaximized()) type = SIZE_MAXIMIZED;
  }
  SendMessage(WM_SIZE, type, MAKELPARAM(WORD(client.right), WORD(client.bottom)));
}

// ---- geometry -------------------------------------------------------------------------------

void GWindow::GetClientRect(RECT* rc) const {
  if (!rc) return;
  *rc = RECT{0, 0, 0, 0};
  if (!m_pWidget) return;
  double dpr = Dpr(m_pWidget);
  int w = m_pWidget->width(), h = m_pWidget->height();
  if (m_bars[SB_VERT].widget && m_bars[SB_VERT].widget->isVisibleTo(m_pWidget))
    w -= m_bars[SB_VERT].widget->width();
  if (m_bars[SB_HORZ].widget && m_bars[SB_HORZ].widget->isVisibleTo(m_pWidget))
    h -= m_bars[SB_HORZ].widget->height();
  rc->right = std::max(0, int(std::lround(w * dpr)));
  rc->bottom = std::max(0, int(std::lround(h * dpr)));
}

void GWindow::GetWindowRect(RECT* rc) const {
  if (!rc) return;
  *rc = RECT{0, 0, 0, 0};
  QWidget* f = Frame();
  if (!f) return;
  double dpr = Dpr(f);
  QPoint g = f->mapToGlobal(QPoint(0, 0));
  *rc = RECT{LONG(std::lround(g.x() * dpr)), LONG(std::lround(g.y() * dpr)),
             LONG(std::lround((g.x() + f->width()) * dpr)), LONG(std::lround((g.y() + f->height()) * dpr))};
}

void GWindow::MoveWindow(const RECT& rc, BOOL /*repaint*/) { SetFrameRect(rc); }

namespace {

// The pixel ratio of the coordinates a window is placed in.
double PlacementDpr(const QWidget* frame) { return Dpr(frame->parentWidget() ? frame->parentWidget() : frame); }

}  // namespace

void GWindow::SetFrameRect(const RECT& rc) {
  QWidget* f = Frame();
  if (!f) return;
  double dpr = PlacementDpr(f);
  f->setGeometry(int(std::lround(rc.left / dpr)), int(std::lround(rc.top / dpr)),
                 std::max(0, int(std::lround((rc.right - rc.left) / dpr))),
                 std::max(0, int(std::lround((rc.bottom - rc.top) / dpr))));
  // At once: a hidden frame gets its resize event only when shown.
  if (m_pBorder) static_cast<detail::BorderFrame*>(m_pBorder)->LayOut();
}

BOOL GWindow::SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
  QWidget* f = Frame();
  if (!f) return FALSE;
  if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
    double dpr = PlacementDpr(f);
    QRect g = f->geometry();
    LONG left = std::lround(g.x() * dpr), top = std::lround(g.y() * dpr);
    LONG width = std::lround(g.width() * dpr), height = std::lround(g.height() * dpr);
    if (!(flags & SWP_NOMOVE)) left = x, top = y;
    if (!(flags & SWP_NOSIZE)) width = cx, height = cy;
    SetFrameRect(RECT{left, top, left + width, top + height});
  }
  if (!(flags & SWP_NOZORDER)) {
    GWindow* below = after != HWND_TOP && after != HWND_BOTTOM ? FromHandle(after) : nullptr;
    if (after == HWND_BOTTOM) f->lower();
    else if (!below) f->raise();
    else if (below->Frame() && below->Frame()->parentWidget() == f->parentWidget() && !f->isWindow())
      f->stackUnder(below->Frame());
  }
  if (flags & SWP_HIDEWINDOW) f->hide();
  else if (flags & SWP_SHOWWINDOW) Show(!(flags & SWP_NOACTIVATE));
  else if (!(flags & SWP_NOACTIVATE)) Activate();
  return TRUE;
}

void GWindow::ClientToScreen(POINT* pt) const {
  if (!pt || !m_pWidget) return;
  double dpr = Dpr(m_pWidget);
  QPointF g = m_pWidget->mapToGlobal(QPointF(pt->x / dpr, pt->y / dpr));
  *pt = POINT{LONG(std::lround(g.x() * dpr)), LONG(std::lround(g.y() * dpr))};
}

void GWindow::ScreenToClient(POINT* pt) const {
  if (!pt || !m_pWidget) return;
  double dpr = Dpr(m_pWidget);
  QPointF l = m_pWidget->mapFromGlobal(QPointF(pt->x / dpr, pt->y / dpr));
  *pt = POINT{LONG(std::lround(l.x() * dpr)), LONG(std::lround(l.y() * dpr))};
}

// ---- mouse ----------------------------------------------------------------------------------

HWND GWindow::SetCapture() { return gui::SetCapture(m_hWnd); }

BOOL GWindow::TrackMouseEvent(DWORD flags) {
  if (!m_hWnd) return FALSE;
  if (!(flags & TME_LEAVE)) return TRUE;
  if (m_bMouseInside) {
    m_bTrackLeave = true;
  } else {
    m_bTrackLeave = false;
    PostMessage(WM_MOUSELEAVE, 0, 0);
  }
  return TRUE;
}

void GWindow::OnTabletSample(float, float, float, float) {}

BOOL GWindow::OnToolHitTest(POINT, std::u16string*, RECT*) { return FALSE; }

// ---- timers ---------------------------------------------------------------------------------

UINT_PTR GWindow::SetTimer(UINT_PTR id, UINT elapseMs) {
  if (!m_hWnd || id == 0) return 0;
  if (!m_pTimers) m_pTimers = new detail::TimerHost(this);
  m_pTimers->Set(id, elapseMs);
  return id;
}

BOOL GWindow::KillTimer(UINT_PTR id) { return m_pTimers && m_pTimers->Kill(id); }

// ---- state ----------------------------------------------------------------------------------

BOOL GWindow::ShowWindow(int cmd) {
  QWidget* f = Frame();
  if (!f) return FALSE;
  BOOL was = f->isVisible();
  switch (cmd) {
    case SW_HIDE: f->hide(); break;
    case SW_SHOWMAXIMIZED:
      f->showMaximized();
      Show(true);
      break;
    case SW_SHOWMINIMIZED: f->showMinimized(); break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA: Show(false); break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      if (f->isWindow()) f->showNormal();
      Show(true);
      break;
    default: Show(true); break;
  }
  return was;
}

void GWindow::Show(bool activate) {
  QWidget* f = Frame();
  if (!f) return;
  if (activate || !f->isWindow()) {
    f->show();
    if (activate) Activate();
    return;
  }
  const bool was = f->testAttribute(Qt::WA_ShowWithoutActivating);
  f->setAttribute(Qt::WA_ShowWithoutActivating);
  f->show();
  f->setAttribute(Qt::WA_ShowWithoutActivating, was);
}

void GWindow::Activate() {
  QWidget* f = Frame();
  if (f && f->isWindow() && f->isVisible() && !(m_dwExStyle & WS_EX_NOACTIVATE)) f->activateWindow();
}

void GWindow::ClosePopup() {
  QWidget* f = Frame();
  if (!f || !f->isVisible()) return;
  const HWND self = m_hWnd;
  if (g_capture == self) ReleaseCapture();
  if (FromHandle(self) != this || !m_pWidget) return;  // the window went with the capture
  Frame()->hide();
  if (GWindow* owner = FromHandle(m_hOwner)) owner->SendMessage(WM_GUI_POPUPCLOSED, WPARAM(self), 0);
}

BOOL GWindow::IsWindowVisible() const { return m_pWidget && m_pWidget->isVisible(); }

BOOL GWindow::EnableWindow(BOOL enable) {
  QWidget* f = Frame();
  if (!f) return FALSE;
  BOOL wasDisabled = !f->isEnabled();
  f->setEnabled(enable != 0);
  return wasDisabled;
}

BOOL GWindow::IsWindowEnabled() const { return m_pWidget && m_pWidget->isEnabled(); }

void GWindow::SetWindowText(const char16_t* text) {
  if (QWidget* f = Frame()) f->setWindowTitle(detail::ToQString(text));
}

std::u16string GWindow::GetWindowText() const {
  QWidget* f = Frame();
  return f ? detail::FromQString(f->windowTitle()) : std::u16string();
}

HWND GWindow::SetFocus() { return gui::SetFocus(m_hWnd); }

// ---- scroll bars ----------------------------------------------------------------------------

// A bar whose page covers its range cannot scroll: hidden, or disabled with
// SIF_DISABLENOSCROLL.
void GWindow::SyncBar(int bar) {
  Bar& b = m_bars[bar];
  if (!b.widget) return;
  const SCROLLINFO& si = b.info;
  int maxPos = std::max(si.nMin, si.nMax - std::max(int(si.nPage) - 1, 0));
  bool scrollable = si.nMax > si.nMin && (si.nPage == 0 || int(si.nPage) <= si.nMax - si.nMin);
  QSignalBlocker block(b.widget);
  b.widget->setRange(si.nMin, maxPos);
  b.widget->setPageStep(std::max(1, int(si.nPage)));
  b.widget->setSingleStep(1);
  b.widget->setValue(si.nPos);
  b.widget->setEnabled(scrollable);
  bool visible = scrollable || (si.fMask & SIF_DISABLENOSCROLL);
  if (visible != b.widget->isVisibleTo(m_pWidget)) {
    b.widget->setVisible(visible);
    ResizeClient();
  }
}

void GWindow::LayoutBars() {
  if (!m_pWidget) return;
  QScrollBar* h = m_bars[SB_HORZ].widget;
  QScrollBar* v = m_bars[SB_VERT].widget;
  int ext = m_pWidget->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_pWidget);
  bool hv = h && h->isVisibleTo(m_pWidget), vv = v && v->isVisibleTo(m_pWidget);
  int w = m_pWidget->width(), hgt = m_pWidget->height();
  if (hv) h->setGeometry(0, hgt - ext, w - (vv ? ext : 0), ext);
  if (vv) v->setGeometry(w - ext, 0, ext, hgt - (hv ? ext : 0));
}

int GWindow::SetScrollInfo(int bar, const SCROLLINFO* info, BOOL /*redraw*/) {
  if ((bar != SB_HORZ && bar != SB_VERT) || !info) return 0;
  SCROLLINFO& si = m_bars[bar].info;
  if (info->fMask & SIF_RANGE) {
    si.nMin = info->nMin;
    si.nMax = info->nMax;
  }
  if (info->fMask & SIF_PAGE) si.nPage = info->nPage;
  if (info->fMask & SIF_POS) si.nPos = info->nPos;
  si.fMask = (si.fMask & ~SIF_DISABLENOSCROLL) | (info->fMask & SIF_DISABLENOSCROLL);
  int maxPos = std::max(si.nMin, si.nMax - std::max(int(si.nPage) - 1, 0));
  si.nPos = std::clamp(si.nPos, si.nMin, maxPos);
  si.nTrackPos = si.nPos;
  SyncBar(bar);
  return si.nPos;
}

BOOL GWindow::GetScrollInfo(int bar, SCROLLINFO* info) const {
  if ((bar != SB_HORZ && bar != SB_VERT) || !info) return FALSE;
  const SCROLLINFO& si = m_bars[bar].info;
  if (info->fMask & SIF_RANGE) {
    info->nMin = si.nMin;
    info->nMax = si.nMax;
  }
  if (info->fMask & SIF_PAGE) info->nPage = si.nPage;
  if (info->fMask & SIF_POS) info->nPos = si.nPos;
  if (info->fMask & SIF_TRACKPOS) info->nTrackPos = si.nTrackPos;
  return TRUE;
}

int GWindow::SetScrollPos(int bar, int pos, BOOL redraw) {
  if (bar != SB_HORZ && bar != SB_VERT) return 0;
  int old = m_bars[bar].info.nPos;
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_POS | (m_bars[bar].info.fMask & SIF_DISABLENOSCROLL), 0, 0, 0, pos, 0};
  SetScrollInfo(bar, &si, redraw);
  return old;
}

int GWindow::GetScrollPos(int bar) const {
  return bar == SB_HORZ || bar == SB_VERT ? m_bars[bar].info.nPos : 0;
}

// The bar moved its slider for a user action: put it back (the program decides the
// position) and tell the program.
void GWindow::OnBarAction(int bar, int action) {
  QScrollBar* sb = m_bars[bar].widget;
  if (!sb) return;
  int wanted = sb->sliderPosition();
  WORD code;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
    case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
    case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
    case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
    case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
    case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
    case QAbstractSlider::SliderMove: code = SB_THUMBTRACK; break;
    default: return;
  }
  m_bars[bar].info.nTrackPos = wanted;
  sb->setSliderPosition(m_bars[bar].info.nPos);
  SendMessage(bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL,
              MAKEWPARAM(code, code == SB_THUMBTRACK ? WORD(wanted) : 0), 0);
}

// ---- by handle ------------------------------------------------------------------------------

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  GWindow* w = GWindow::FromHandle(hwnd);
  return w ? w->SendMessage(msg, wParam, lParam) : 0;
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return plat::PostMessage(hwnd, msg, wParam, lParam);
}

BOOL IsWindow(HWND hwnd) { return hwnd && IsRegistered(hwnd); }

HWND GetCapture() { return g_capture; }

namespace {

// Headless platforms have no pointer to grab (and say so on every try); the capture then
// lives in our own routing only.
bool CanGrab() {
  static const bool can = QGuiApplication::platformName() != QLatin1String("offscreen") &&
                          QGuiApplication::platformName() != QLatin1String("minimal");
  return can;
}

}  // namespace

HWND SetCapture(HWND hwnd) {
  GWindow* w = GWindow::FromHandle(hwnd);
  HWND old = g_capture;
  if (!w || old == hwnd) return old;
  g_capture = hwnd;
  if (QWidget* widget = w->GetWidget(); widget && widget->isVisible() && CanGrab()) widget->grabMouse();
  if (GWindow* loser = old ? GWindow::FromHandle(old) : nullptr) {
    if (QWidget* lw = loser->GetWidget(); lw && QWidget::mouseGrabber() == lw) lw->releaseMouse();
    loser->SendMessage(WM_CAPTURECHANGED, 0, LPARAM(hwnd));
  }
  return old;
}

BOOL ReleaseCapture() {
  HWND old = g_capture;
  if (!old) return TRUE;
  g_capture = nullptr;
  if (GWindow* loser = GWindow::FromHandle(old)) {
    if (QWidget* lw = loser->GetWidget(); lw && QWidget::mouseGrabber() == lw) lw->releaseMouse();
    loser->SendMessage(WM_CAPTURECHANGED, 0, 0);
  }
  return TRUE;
}

HWND GetFocus() { return HandleOfWidget(QApplication::focusWidget()); }

HWND SetFocus(HWND hwnd) {
  HWND old = GetFocus();
  if (GWindow* w = GWindow::FromHandle(hwnd); w && w->GetWidget()) w->GetWidget()->setFocus(Qt::OtherFocusReason);
  return old;
}

HWND GetActiveWindow() { return HandleOfExactWidget(QApplication::activeWindow()); }

BOOL IsInActiveWindow(HWND hwnd) {
  GWindow* window = GWindow::FromHandle(hwnd);
  QWidget* widget = window ? window->GetWidget() : nullptr;
  QWidget* active = QApplication::activeWindow();
  return widget && active && widget->window() == active ? TRUE : FALSE;
}

RECT GetWorkArea(POINT pt) {
  double dpr = qApp ? qApp->devicePixelRatio() : 1.0;
  QScreen* screen = QGuiApplication::screenAt(QPoint(int(std::lround(pt.x / dpr)), int(std::lround(pt.y / dpr))));
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return RECT{0, 0, 0, 0};
  dpr = screen->devicePixelRatio();
  QRect a = screen->availableGeometry();
  return RECT{LONG(std::lround(a.x() * dpr)), LONG(std::lround(a.y() * dpr)),
              LONG(std::lround((a.x() + a.width()) * dpr)), LONG(std::lround((a.y() + a.height()) * dpr))};
}

HWND WindowFromPoint(POINT pt) {
  QWidget* any = QApplication::activeWindow();
  double dpr = any ? any->devicePixelRatioF() : qApp->devicePixelRatio();
  return HandleOfWidget(QApplication::widgetAt(QPoint(int(std::lround(pt.x / dpr)), int(std::lround(pt.y / dpr)))));
}

int16_t GetKeyState(int vk) {
  bool down = false;
  Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
  Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
  switch (vk) {
    case int(VK_SHIFT): down = mods & Qt::ShiftModifier; break;
    case int(VK_CONTROL): down = mods & Qt::ControlModifier; break;
    case int(VK_MENU): down = mods & Qt::AltModifier; break;
    case int(VK_LBUTTON): down = buttons & Qt::LeftButton; break;
    case int(VK_RBUTTON): down = buttons & Qt::RightButton; break;
    case int(VK_MBUTTON): down = buttons & Qt::MiddleButton; break;
    default: down = std::find(g_keysDown.begin(), g_keysDown.end(), UINT(vk)) != g_keysDown.end();
  }
  return down ? int16_t(-32768) : int16_t(0);
}

BOOL InvalidateRect(HWND hwnd, const RECT* rc, BOOL erase) {
  GWindow* w = GWindow::FromHandle(hwnd);
  if (!w) return FALSE;
  w->InvalidateRect(rc, erase);
  return TRUE;
}

// ---- cursors --------------------------------------------------------------------------------

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = g_cursor;
  g_cursor = cursor;
  HWND target = g_capture ? g_capture : g_cursorWindow;
  if (GWindow* w = GWindow::FromHandle(target); w && w->GetWidget())
    w->GetWidget()->setCursor(detail::CursorFor(cursor));
  return old;
}

HCURSOR GetCursor() { return g_cursor; }

BOOL GetCursorPos(POINT* pt) {
  if (!pt) return FALSE;
  QPoint p = QCursor::pos();
  double dpr = qApp ? qApp->devicePixelRatio() : 1.0;
  *pt = POINT{LONG(std::lround(p.x() * dpr)), LONG(std::lround(p.y() * dpr))};
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  double dpr = qApp ? qApp->devicePixelRatio() : 1.0;
  QCursor::setPos(int(std::lround(x / dpr)), int(std::lround(y / dpr)));
  return TRUE;
}

}  // namespace gui

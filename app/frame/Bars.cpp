#include "Bars.h"

#include <QApplication>
#include <QEvent>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVariant>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/PaintSpace.h"
#include "core/TavrikDoc.h"
#include "frame/ColorPicker.h"
#include "frame/Icons.h"
#include "frame/Resource.h"
#include "platform/gui/Application.h"
#include "platform/gui/ErrorHook.h"
#include "platform/gui/OptionToolBar.h"

// ---------------------------------------------------------------------------------------------

namespace {

constexpr int kCurrentSide = 26;
constexpr int kRecentSide = 18;
constexpr int kRecentStep = 21;
constexpr int kRecentLeft = 40;
constexpr int kMargin = 4;

QColor ColorOf(COLORREF rgb) { return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF)); }
// Screen points of the window layer are device pixels.
POINT DevicePoint(const QWidget* w, QPointF global) {
  const double dpr = w->devicePixelRatioF();
  return POINT{LONG(std::lround(global.x() * dpr)), LONG(std::lround(global.y() * dpr))};
}

}  // namespace

CColorBarView::CColorBarView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(false);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setCursor(Qt::PointingHandCursor);
  Attach(this);
}

CColorBarView::~CColorBarView() {
  SetModel(nullptr);
  m_pPicker.reset();
}

void CColorBarView::SetModel(CColorBar* model) {
  if (m_pModel) m_pModel->SetObserver(nullptr);
  m_pModel = model;
  if (m_pModel) m_pModel->SetObserver(this);
  update();
}

QSize CColorBarView::sizeHint() const {
  return QSize(kRecentLeft + COLORBAR_RECENT * kRecentStep + kMargin, kCurrentSide + 2 * kMargin);
}

QRect CColorBarView::SlotRect(int slot) const {
  const int h = height();
  if (slot == 0) return QRect(kMargin, (h - kCurrentSide) / 2, kCurrentSide, kCurrentSide);
  if (slot >= 1 && slot <= COLORBAR_RECENT)
    return QRect(kRecentLeft + (slot - 1) * kRecentStep, (h - kRecentSide) / 2, kRecentSide, kRecentSide);
  return QRect();
}

int CColorBarView::SlotAt(QPoint pt) const {
  for (int slot = 0; slot <= COLORBAR_RECENT; ++slot)
    if (SlotRect(slot).contains(pt)) return slot;
  return -1;
}

void CColorBarView::Choose(int slot) {
  if (!m_pModel || slot < 0 || slot > COLORBAR_RECENT) return;
  if (slot > 0) {
    m_pModel->SetColor(m_pModel->GetColor(slot));
    return;
  }
  if (!m_pPicker) {
    auto picker = std::make_unique<CColorPicker>();
    if (!picker->Create(this)) return;
    m_pPicker = std::move(picker);
  }
  const QRectF swatch(SlotRect(0));
  const POINT topLeft = DevicePoint(this, mapToGlobal(swatch.topLeft()));
  const POINT bottomRight = DevicePoint(this, mapToGlobal(swatch.bottomRight()));
  m_pPicker->Popup(RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y}, m_pModel->GetCurrentHsv(), GetSafeHwnd());
}

BOOL CColorBarView::OpenWheel(POINT screen, DWORD flags) {
  if (!m_pModel || !m_pShell) return FALSE;
  return m_pShell->PopupColorWheel(screen.x, screen.y, m_pModel->GetCurrentHsv(), GetSafeHwnd(), flags);
}

LRESULT CColorBarView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_MYCOLORPICKED || msg == WM_MYCOLORRESULT) {
    const bool chosen = msg == WM_MYCOLORPICKED || lParam == 1;
    if (chosen && m_pModel) m_pModel->PushColor(HSVCOLOR(wParam));
    return 0;
  }
  return DefWindowProc(msg, wParam, lParam);
}

bool CColorBarView::ForwardToCapture(QMouseEvent* event, UINT msg) {
  const HWND holder = gui::GetCapture();
  gui::GWindow* to = holder && holder != GetSafeHwnd() ? gui::GWindow::FromHandle(holder) : nullptr;
  if (!to) return false;
  POINT pt = DevicePoint(this, event->globalPosition());
  to->ScreenToClient(&pt);
  WPARAM keys = 0;
  if (event->buttons() & Qt::LeftButton) keys |= MK_LBUTTON;
  if (event->buttons() & Qt::RightButton) keys |= MK_RBUTTON;
  gui::GuardedCall([&] { to->SendMessage(msg, keys, MakePointLParam(pt.x, pt.y)); });
  return true;
}

void CColorBarView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  if (!m_pModel) return;
  for (int slot = COLORBAR_RECENT; slot >= 0; --slot) {
    const QRectF r = QRectF(SlotRect(slot)).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(0x60, 0x68, 0x70), slot == 0 ? 1.5 : 1));
    p.setBrush(ColorOf(m_pModel->GetColor(slot)));
    p.drawRoundedRect(r, 3, 3);
  }
  // The current colour's ring shows it apart from the recent ones.
  p.setPen(QPen(Qt::white, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(SlotRect(0)).adjusted(2, 2, -2, -2), 2, 2);
}

void CColorBarView::mousePressEvent(QMouseEvent* event) {
  const int slot = SlotAt(event->position().toPoint());
  m_bPressCurrent = false;
  if (event->button() == Qt::RightButton) {
    if (slot == 0) gui::GuardedCall([&] { OpenWheel(DevicePoint(this, event->globalPosition())); });
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  if (slot == 0) {
    m_bPressCurrent = true;
    m_ptPress = event->position().toPoint();
    return;
  }
  gui::GuardedCall([&] { Choose(slot); });
}

void CColorBarView::mouseMoveEvent(QMouseEvent* event) {
  if (ForwardToCapture(event, WM_MOUSEMOVE)) return;
  const int moved = (event->position().toPoint() - m_ptPress).manhattanLength();
  if (!m_bPressCurrent || moved < QApplication::startDragDistance()) return;
  m_bPressCurrent = false;
  gui::GuardedCall([&] { OpenWheel(DevicePoint(this, mapToGlobal(QPointF(m_ptPress)))); });
  ForwardToCapture(event, WM_MOUSEMOVE);
}

void CColorBarView::mouseReleaseEvent(QMouseEvent* event) {
  const UINT up = event->button() == Qt::RightButton ? WM_RBUTTONUP : WM_LBUTTONUP;
  if (ForwardToCapture(event, up)) return;
  if (!m_bPressCurrent || event->button() != Qt::LeftButton) return;
  m_bPressCurrent = false;
  if (SlotAt(event->position().toPoint()) == 0) gui::GuardedCall([&] { Choose(0); });
}

bool CColorBarView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && m_pModel) {
    auto* help = static_cast<QHelpEvent*>(event);
    const int slot = SlotAt(help->pos());
    if (slot < 0) {
      QToolTip::hideText();
      return true;
    }
    const QString hex = ColorOf(m_pModel->GetColor(slot)).name().toUpper();
    QToolTip::showText(help->globalPos(), slot == 0 ? QStringLiteral("当前颜色 ") + hex : hex, this);
    return true;
  }
  // A right press on the colours opens the wheel: the bar's own menu of bars must not follow.
  if (event->type() == QEvent::ContextMenu && SlotAt(static_cast<QContextMenuEvent*>(event)->pos()) >= 0) {
    event->accept();
    return true;
  }
  return QWidget::event(event);
}

// ---------------------------------------------------------------------------------------------

COptionBar::COptionBar(QWidget* parent) : QToolBar(QStringLiteral("操作选项"), parent), m_pHost(new QWidget(this)) {
  m_pLayout = new QHBoxLayout(m_pHost);
  m_pLayout->setContentsMargins(2, 0, 2, 0);
  m_pLayout->setSpacing(4);
  addWidget(m_pHost);
  Attach(m_pHost);
}

COptionBar::~COptionBar() { DestroyWindow(); }

LRESULT COptionBar::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_MYSETOPTIONS) {
    SetOptions(reinterpret_cast<const HWND*>(wParam), int(lParam));
    return 0;
  }
  return GWindow::WindowProc(msg, wParam, lParam);
}

namespace {
// The widget property that keeps an option control's size as its tool made it.
constexpr const char* kMadeSize = "tavrikMadeSize";
}  // namespace

void COptionBar::SetOptions(const HWND* windows, int count) {
  for (HWND h : m_shown) {
    if (gui::GWindow* w = gui::GWindow::FromHandle(h); w && w->GetWidget()) {
      m_pLayout->removeWidget(w->GetWidget());
      w->GetWidget()->hide();
    }
  }
  m_shown.clear();
  for (int i = 0; windows && i < count && i < OPTIONBAR_MAX_WINDOWS && windows[i]; ++i) {
    gui::GWindow* w = gui::GWindow::FromHandle(windows[i]);
    if (!w || !w->GetWidget()) continue;
    QWidget* widget = w->GetWidget();
    // Every other control keeps the size its tool made it with: the first time it comes here
    // that is its size, remembered before the layout can squeeze it.
    QVariant made = widget->property(kMadeSize);
    if (!made.isValid()) {
      made = widget->size();
      widget->setProperty(kMadeSize, made);
    }
    if (widget->parentWidget() != m_pHost) widget->setParent(m_pHost);
    m_pLayout->addWidget(widget);
    widget->show();
    // A tool bar measures its buttons once it is shown; the layout must not squeeze it.
    if (auto* bar = dynamic_cast<gui::OptionToolBar*>(w)) {
      const SIZE need = bar->CalcSize();
      const double dpr = widget->devicePixelRatioF();
      widget->setMinimumSize(int(std::ceil(double(need.cx) / dpr)), int(std::ceil(double(need.cy) / dpr)));
    } else {
      widget->setMinimumSize(made.toSize());
    }
    m_shown.push_back(windows[i]);
  }
  m_pHost->adjustSize();
  adjustSize();
}

#include "Bars.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>

#include "frame/Dialogs.h"
#include "frame/Resource.h"
#include "platform/gui/Application.h"
#include "platform/gui/ErrorHook.h"

CBrushBar::CBrushBar(QWidget* parent) : QWidget(parent) {
  auto* label = new QLabel(QStringLiteral("没有画笔"), this);
  label->setAlignment(Qt::AlignCenter);
  label->setEnabled(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
}

// ---------------------------------------------------------------------------------------------

namespace {

constexpr int kCurrentSide = 26;
constexpr int kRecentSide = 18;
constexpr int kRecentStep = 21;
constexpr int kRecentLeft = 40;
constexpr int kMargin = 4;

QColor ColorOf(COLORREF rgb) { return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF)); }
COLORREF RgbOf(const QColor& c) { return COLORREF(c.red()) << 16 | COLORREF(c.green()) << 8 | COLORREF(c.blue()); }

}  // namespace

CColorBarView::CColorBarView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(false);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setCursor(Qt::PointingHandCursor);
}

CColorBarView::~CColorBarView() { SetModel(nullptr); }

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
  QColorDialog dialog(ColorOf(m_pModel->GetColor(0)), this);
  dialog.setWindowTitle(QStringLiteral("颜色"));
  if (RunModal(&dialog) != QDialog::Accepted) return;
  const QColor chosen = dialog.currentColor();
  if (!chosen.isValid()) return;
  m_pModel->SetColor(RgbOf(chosen));
  m_pModel->PushColor(RgbOf(chosen));
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
  if (event->button() != Qt::LeftButton) return;
  const int slot = SlotAt(event->position().toPoint());
  gui::GuardedCall([&] { Choose(slot); });
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
    if (widget->parentWidget() != m_pHost) widget->setParent(m_pHost);
    m_pLayout->addWidget(widget);
    widget->show();
    m_shown.push_back(windows[i]);
  }
  m_pHost->adjustSize();
  adjustSize();
}

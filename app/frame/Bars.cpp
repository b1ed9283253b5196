#include "Bars.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QTreeWidget>
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

namespace {

QString Q(const char16_t* s) { return s ? QString::fromUtf16(s) : QString(); }
std::u16string U(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }

constexpr int kThumbShown = 40;
constexpr int kEyeColumn = 0;

// The layer's thumbnail over white, framed; a blank square when the layer shows nothing.
QPixmap Thumbnail(OLayer* layer, GLock* drawLock) {
  QImage image(128, 128, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    // The worker composes from the same pixels and mip levels.
    GAutoLock lock(*drawLock);
    if (const uint32_t* pixels = layer->MakeThumbnail(RGB(0xFF, 0xFF, 0xFF))) {
      for (int y = 0; y < 128; ++y)
        std::copy(pixels + size_t(127 - y) * 128, pixels + size_t(128 - y) * 128,
                  reinterpret_cast<uint32_t*>(image.scanLine(y)));
    }
  }
  QPixmap pm(kThumbShown, kThumbShown);
  pm.fill(Qt::white);
  QPainter p(&pm);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(QRect(1, 1, kThumbShown - 2, kThumbShown - 2), image);
  p.setPen(QColor(0xb8, 0xc0, 0xc8));
  p.drawRect(0, 0, kThumbShown - 1, kThumbShown - 1);
  return pm;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

CLayerBar::CLayerBar(QWidget* parent) : QWidget(parent), m_pTree(new QTreeWidget(this)) {
  m_pTree->setColumnCount(2);
  m_pTree->setHeaderHidden(true);
  m_pTree->setRootIsDecorated(false);
  m_pTree->setIndentation(0);
  m_pTree->setIconSize(QSize(kThumbShown, kThumbShown));
  m_pTree->setSelectionMode(QAbstractItemView::SingleSelection);
  m_pTree->setUniformRowHeights(true);
  m_pTree->setFocusPolicy(Qt::NoFocus);
  m_pTree->header()->setStretchLastSection(true);
  m_pTree->header()->setSectionResizeMode(kEyeColumn, QHeaderView::Fixed);
  m_pTree->header()->resizeSection(kEyeColumn, 30);
  m_pTree->viewport()->installEventFilter(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_pTree);
  connect(m_pTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
    if (m_bSyncing || !item) return;
    gui::GuardedCall([&] { SelectRow(m_pTree->indexOfTopLevelItem(item)); });
  });
}

CLayerBar::~CLayerBar() { Attach(nullptr); }

void CLayerBar::Attach(CTavrikDoc* doc) {
  if (m_pDoc && m_pDoc->GetListLayer()) m_pDoc->GetListLayer()->SetObserver(nullptr);
  m_pDoc = doc;
  if (m_pDoc) m_pDoc->GetListLayer()->SetObserver(this);
  Rebuild();
}

int CLayerBar::RowCount() const { return m_pTree->topLevelItemCount(); }

std::u16string CLayerBar::RowName(int row) const {
  QTreeWidgetItem* item = m_pTree->topLevelItem(row);
  return item ? U(item->data(1, Qt::UserRole).toString()) : std::u16string();
}

bool CLayerBar::RowVisible(int row) const {
  QTreeWidgetItem* item = m_pTree->topLevelItem(row);
  return item && item->data(kEyeColumn, Qt::UserRole).toBool();
}

int CLayerBar::CurrentRow() const {
  QTreeWidgetItem* item = m_pTree->currentItem();
  return item ? m_pTree->indexOfTopLevelItem(item) : -1;
}

void CLayerBar::Rebuild() {
  m_bSyncing = true;
  m_pTree->clear();
  const int count = m_pDoc ? m_pDoc->GetListLayer()->GetCount() : 0;
  for (int i = 0; i < count; ++i) {
    auto* item = new QTreeWidgetItem(m_pTree);
    FillRow(item, i);
  }
  m_bSyncing = false;
  ShowSelection();
}

void CLayerBar::FillRow(QTreeWidgetItem* item, int row) {
  CMyListLayer* list = m_pDoc->GetListLayer();
  OLayer* layer = list->GetLayer(row);
  if (!layer) return;
  const uint32_t flags = layer->GetFlags();
  const bool visible = !(flags & LYR_FLAG_HIDDEN);
  item->setIcon(kEyeColumn, VisibilityIcon(visible));
  item->setData(kEyeColumn, Qt::UserRole, visible);
  item->setToolTip(kEyeColumn, visible ? QStringLiteral("隐藏该图层") : QStringLiteral("显示该图层"));
  const QString name = Q(layer->GetName());
  QString kind = layer->GetFormat() == OLayer::myFORMAT_C32 ? QStringLiteral("彩色图层") : QStringLiteral("单色图层");
  if (flags & LYR_FLAG_NEST) kind += QStringLiteral(" · 嵌套");
  item->setText(1, name + QChar(QChar::LineSeparator) + kind);
  item->setData(1, Qt::UserRole, name);
  item->setIcon(1, QIcon(Thumbnail(layer, &list->GetSpace()->GetDrawLock())));
  item->setForeground(1, visible ? palette().color(QPalette::Text) : QColor(0x98, 0xa0, 0xa8));
  item->setSizeHint(1, QSize(0, kThumbShown + 6));
}

void CLayerBar::ShowSelection() {
  const int sel = m_pDoc ? m_pDoc->GetListLayer()->GetCurSel() : -1;
  m_bSyncing = true;
  QTreeWidgetItem* item = sel >= 0 ? m_pTree->topLevelItem(sel) : nullptr;
  m_pTree->setCurrentItem(item);
  if (!item) m_pTree->clearSelection();
  else m_pTree->scrollToItem(item);
  m_bSyncing = false;
}

void CLayerBar::OnRowsChanged() { Rebuild(); }

void CLayerBar::OnRowChanged(int index) {
  QTreeWidgetItem* item = m_pTree->topLevelItem(index);
  if (!item || !m_pDoc || index >= m_pDoc->GetListLayer()->GetCount()) {
    Rebuild();
    return;
  }
  FillRow(item, index);
}

void CLayerBar::OnSelChanged(int, int) {
  // Rows may have come or gone with the selection (a document was loaded).
  if (m_pDoc && RowCount() != m_pDoc->GetListLayer()->GetCount()) Rebuild();
  else ShowSelection();
}

void CLayerBar::OnMessage(const char16_t* text) {
  gui::MessageBox(nullptr, text, u"Tavrik", gui::MB_OK | gui::MB_ICONWARNING);
}

void CLayerBar::ToggleVisibility(int row) {
  if (!m_pDoc) return;
  CPaintSpace* space = m_pDoc->GetPaintSpace();
  CMyListLayer* list = m_pDoc->GetListLayer();
  OLayer* layer = list->GetLayer(row);
  if (!layer) return;
  space->FinishWork();
  {
    GAutoLock lock(space->GetDrawLock());
    layer->SetFlags(layer->GetFlags() ^ LYR_FLAG_HIDDEN);
  }
  list->RedrawItem(row);
  space->NotifyOperator(CMyListLayer::GetClassName(), myNOTIFY_FLAGS | LYR_FLAG_HIDDEN, layer);
  space->InvalidateComposite();
  space->InvalidateView(FALSE);
}

void CLayerBar::SelectRow(int row) {
  if (!m_pDoc) return;
  CMyListLayer* list = m_pDoc->GetListLayer();
  if (row < 0 || row >= list->GetCount() || row == list->GetCurSel()) return;
  CPaintSpace* space = m_pDoc->GetPaintSpace();
  space->FinishWork();
  list->SetCurSelect(row);
  space->NotifyOperator(CMyListLayer::GetClassName(), myNOTIFY_SELECT, list->GetLayer(row));
  space->InvalidateComposite();
  space->InvalidateView(FALSE);
}

bool CLayerBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_pTree->viewport() &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
    auto* me = static_cast<QMouseEvent*>(event);
    const QModelIndex index = m_pTree->indexAt(me->position().toPoint());
    if (index.isValid() && index.column() == kEyeColumn && me->button() == Qt::LeftButton) {
      gui::GuardedCall([&] { ToggleVisibility(index.row()); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------

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

BOOL CColorBarView::OpenWheel(POINT screen) {
  if (!m_pModel || !m_pShell) return FALSE;
  return m_pShell->PopupColorWheel(screen.x, screen.y, m_pModel->GetCurrentHsv(), GetSafeHwnd(), COLORWHEEL_DRAG);
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

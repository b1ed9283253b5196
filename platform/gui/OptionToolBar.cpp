#include "OptionToolBar.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QTimer>
#include <QToolBar>
#include <cmath>

#include "Commands.h"
#include "ControlHost.h"
#include "Internal.h"
#include "Resources.h"

namespace gui {

OptionToolBar::OptionToolBar() = default;

OptionToolBar::~OptionToolBar() { DestroyControl(); }

BOOL OptionToolBar::Create(GWindow* parent, DWORD style, UINT id, int fontHeight) {
  m_hOwner = parent ? parent->GetSafeHwnd() : nullptr;
  return CreateControl(parent, RECT{0, 0, 0, 0}, style, id, fontHeight, [this](QWidget* widget) {
    auto* host = static_cast<detail::ControlHost*>(widget);
    m_pBar = new QToolBar(host);
    m_pBar->setMovable(false);
    m_pBar->setFloatable(false);
    m_pBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_pBar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* layout = new QHBoxLayout(host);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pBar);
    m_pTimer = new QTimer(m_pBar);
    QObject::connect(m_pTimer, &QTimer::timeout, m_pBar, Guard([this] { UpdateButtons(); }));
    // The buttons follow update-UI only while somebody can see them.
    host->SetEventHook(Guard([this](QEvent* e) {
      if (e->type() == QEvent::Show) {
        UpdateButtons();
        StartTimer();
      } else if (e->type() == QEvent::Hide) {
        m_pTimer->stop();
      }
    }));
  });
}

BOOL OptionToolBar::LoadToolBar(UINT resourceId) {
  if (!GetWidget()) return FALSE;
  const ToolBarResource* toolbar = FindToolBarResource(resourceId);
  if (!toolbar) return FALSE;
  const QImage image = detail::LoadBitmapImage(toolbar->nBitmapId);
  if (image.isNull()) return FALSE;
  // The old actions go later: a click on one of them may be what loads the new buttons.
  for (const Item& item : m_items) {
    m_pBar->removeAction(item.action);
    item.action->deleteLater();
  }
  m_items.clear();
  m_pBar->setIconSize(QSize(toolbar->nButtonWidth, toolbar->nButtonHeight));
  int cell = 0;
  for (UINT id : toolbar->commands) {
    if (id == 0) {
      m_items.push_back(Item{0, TBBS_SEPARATOR, m_pBar->addSeparator()});
      continue;
    }
    auto* action = new QAction(m_pBar);
    const QPixmap pixmap = detail::BitmapCell(image, cell++, toolbar->nButtonWidth, toolbar->nButtonHeight);
    if (!pixmap.isNull()) action->setIcon(QIcon(pixmap));
    const QString tip = detail::ToQString(StringResourcePart(id, 1));
    action->setText(tip);
    action->setToolTip(tip);
    action->setStatusTip(detail::ToQString(StringResourcePart(id, 0)));
    const int index = int(m_items.size());
    QObject::connect(action, &QAction::triggered, m_pBar,
                     Guard([this, index](bool checked) { OnClick(index, checked); }));
    m_pBar->addAction(action);
    m_items.push_back(Item{id, TBBS_BUTTON, action});
  }
  const SIZE size = CalcSize();
  const double dpr = GetWidget()->devicePixelRatioF();
  GetWidget()->resize(int(std::lround(size.cx / dpr)), int(std::lround(size.cy / dpr)));
  UpdateButtons();
  return TRUE;
}

SIZE OptionToolBar::CalcSize() const {
  if (!GetWidget()) return SIZE{0, 0};
  const QSize hint = m_pBar->sizeHint();
  const double dpr = GetWidget()->devicePixelRatioF();
  return SIZE{LONG(std::lround(hint.width() * dpr)), LONG(std::lround(hint.height() * dpr))};
}

void OptionToolBar::StartTimer() {
  if (m_nInterval > 0 && GetWidget() && GetWidget()->isVisible()) m_pTimer->start(m_nInterval);
}

void OptionToolBar::SetUpdateInterval(int ms) {
  m_nInterval = ms;
  if (!GetWidget()) return;
  if (ms > 0) StartTimer();
  else m_pTimer->stop();
}

void OptionToolBar::UpdateButtons() {
  CmdTarget* root = m_pTarget ? m_pTarget : dynamic_cast<CmdTarget*>(GWindow::FromHandle(m_hOwner));
  if (!root || !GetWidget()) return;
  for (const Item& item : m_items) {
    if (item.style & TBBS_SEPARATOR) continue;
    CmdUI ui(item.id);
    UpdateCommandUI(root, &ui);
    item.action->setEnabled(ui.m_bEnabled != 0);
    if (ui.m_bCheckChanged) {
      item.action->setCheckable(true);
      item.action->setChecked(ui.m_nCheck != 0);
    }
  }
}

void OptionToolBar::OnClick(int index, bool checked) {
  const Item item = m_items[size_t(index)];
  // Only a check box toggles itself; any other check is update-UI's to show.
  if (!(item.style & TBBS_CHECKBOX) && item.action->isCheckable()) item.action->setChecked(!checked);
  if (!Notify(m_hOwner, WM_COMMAND, MAKEWPARAM(WORD(item.id), 0), 0)) return;
  UpdateButtons();
}

int OptionToolBar::CommandToIndex(UINT id) const {
  for (size_t i = 0; i < m_items.size(); ++i)
    if (m_items[i].id == id && id != 0) return int(i);
  return -1;
}

UINT OptionToolBar::GetItemID(int index) const {
  return index >= 0 && index < GetButtonCount() ? m_items[size_t(index)].id : 0;
}

void OptionToolBar::GetItemRect(int index, RECT* rc) const {
  if (!rc) return;
  *rc = RECT{0, 0, 0, 0};
  if (index < 0 || index >= GetButtonCount() || !GetWidget()) return;
  const QWidget* button = m_pBar->widgetForAction(m_items[size_t(index)].action);
  if (!button) return;
  const QRect r(button->mapTo(GetWidget(), QPoint(0, 0)), button->size());
  const double dpr = GetWidget()->devicePixelRatioF();
  *rc = RECT{LONG(std::lround(r.left() * dpr)), LONG(std::lround(r.top() * dpr)),
             LONG(std::lround((r.left() + r.width()) * dpr)), LONG(std::lround((r.top() + r.height()) * dpr))};
}

UINT OptionToolBar::GetButtonStyle(int index) const {
  if (index < 0 || index >= GetButtonCount()) return 0;
  const Item& item = m_items[size_t(index)];
  UINT style = item.style;
  if (item.action->isChecked()) style |= TBBS_CHECKED;
  if (!item.action->isEnabled()) style |= TBBS_DISABLED;
  return style;
}

void OptionToolBar::SetButtonStyle(int index, UINT style) {
  if (index < 0 || index >= GetButtonCount()) return;
  Item& item = m_items[size_t(index)];
  if (item.style & TBBS_SEPARATOR) return;
  item.style = style & TBBS_CHECKBOX;
  if (style & (TBBS_CHECKBOX | TBBS_CHECKED)) item.action->setCheckable(true);
  item.action->setChecked((style & TBBS_CHECKED) != 0);
  item.action->setEnabled(!(style & TBBS_DISABLED));
}

}  // namespace gui

#include "Button.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QToolButton>

#include "ControlHost.h"
#include "Internal.h"

namespace gui {

Button::Button() = default;

Button::~Button() { DestroyControl(); }

BOOL Button::Create(const char16_t* text, DWORD style, const RECT& rc, GWindow* parent, UINT id) {
  return CreateControl(parent, rc, style, id, 0, [this, text, style](QWidget* host) {
    const bool check = (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
    if (style & BS_PUSHLIKE) {
      auto* tool = new QToolButton(host);
      tool->setAutoRaise(true);
      tool->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
      m_pButton = tool;
    } else if (check) {
      m_pButton = new QCheckBox(host);
    } else {
      m_pButton = new QPushButton(host);
    }
    m_pButton->setCheckable(check);
    m_pButton->setFocusPolicy(Qt::NoFocus);
    m_pButton->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* layout = new QHBoxLayout(host);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pButton);
    // The window text is the host's title, shown as the button's text.
    QObject::connect(host, &QWidget::windowTitleChanged, m_pButton,
                     Guard([this](const QString& title) { m_pButton->setText(title); }));
    host->setWindowTitle(detail::ToQString(text));
    m_pButton->setText(host->windowTitle());
    const HWND hwnd = GetSafeHwnd();
    QObject::connect(m_pButton, &QAbstractButton::clicked, m_pButton, Guard([this, hwnd] {
      NotifyParent(WM_COMMAND, MAKEWPARAM(WORD(GetDlgCtrlID()), BN_CLICKED), LPARAM(hwnd));
    }));
  });
}

BOOL Button::SetImage(UINT bitmapId, int index, int cellWidth, int cellHeight) {
  if (!GetWidget()) return FALSE;
  const QPixmap cell = detail::BitmapCell(detail::LoadBitmapImage(bitmapId), index, cellWidth, cellHeight);
  if (cell.isNull()) return FALSE;
  m_pButton->setIcon(QIcon(cell));
  m_pButton->setIconSize(cell.size());
  if (auto* tool = qobject_cast<QToolButton*>(m_pButton); tool && m_pButton->text().isEmpty())
    tool->setToolButtonStyle(Qt::ToolButtonIconOnly);
  return TRUE;
}

void Button::SetToolTip(const char16_t* text) {
  if (GetWidget()) m_pButton->setToolTip(detail::ToQString(text));
}

int Button::GetCheck() const {
  return GetWidget() && m_pButton->isCheckable() && m_pButton->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void Button::SetCheck(int check) {
  if (GetWidget() && m_pButton->isCheckable()) m_pButton->setChecked(check == BST_CHECKED);
}

LRESULT Button::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case BM_GETCHECK:
      return GetCheck();
    case BM_SETCHECK:
      SetCheck(int(wParam));
      return 0;
    default:
      return Control::WindowProc(msg, wParam, lParam);
  }
}

}  // namespace gui

#include "Edit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <algorithm>

#include "ControlHost.h"

CMyEdit::CMyEdit() = default;

CMyEdit::~CMyEdit() { DestroyControl(); }

BOOL CMyEdit::Create(gui::GWindow* parent, const RECT& rc, UINT id, DWORD style, int fontHeight) {
  return CreateControl(parent, rc, style, id, fontHeight, [this](QWidget* widget) {
    auto* host = static_cast<gui::detail::ControlHost*>(widget);
    m_pEdit = new gui::detail::KeyEdit(host);
    m_pEdit->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* layout = new QHBoxLayout(host);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pEdit);
    host->setFocusProxy(m_pEdit);
    const HWND hwnd = GetSafeHwnd();
    m_pEdit->onEnter = Guard([this, hwnd] { NotifyParent(WM_MYEDITDONE, 1, LPARAM(hwnd)); });
    m_pEdit->onEscape = Guard([this, hwnd] { NotifyParent(WM_MYEDITDONE, 0, LPARAM(hwnd)); });
    m_pEdit->onFocusOut = Guard([this, hwnd](Qt::FocusReason) {
      NotifyParent(WM_COMMAND, MAKEWPARAM(WORD(GetDlgCtrlID()), EN_KILLFOCUS), LPARAM(hwnd));
    });
    // The window text is the host's title: what the user types goes there, and what the
    // program sets there is shown.
    QObject::connect(m_pEdit, &QLineEdit::textChanged, host, [host](const QString& text) {
      host->setWindowTitle(text);
    });
    QObject::connect(host, &QWidget::windowTitleChanged, m_pEdit, Guard([this](const QString& text) {
      if (m_pEdit->text() != text) m_pEdit->setText(text);
    }));
    host->SetEventHook(Guard([this](QEvent* e) {
      if (e->type() == QEvent::Show) m_pEdit->setFocus(Qt::OtherFocusReason);
    }));
  });
}

void CMyEdit::SetSel(int start, int end) {
  if (!GetWidget()) return;
  if (start < 0) {
    m_pEdit->deselect();
    return;
  }
  const int length = int(m_pEdit->text().size());
  start = std::min(start, length);
  end = end < 0 ? length : std::clamp(end, start, length);
  m_pEdit->setSelection(start, end - start);
}

void CMyEdit::LimitText(int chars) {
  if (GetWidget()) m_pEdit->setMaxLength(chars > 0 ? chars : 32767);
}

LRESULT CMyEdit::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case EM_SETSEL:
      SetSel(int(intptr_t(wParam)), int(lParam));
      return 0;
    case EM_LIMITTEXT:
      LimitText(int(wParam));
      return 0;
    default:
      return Control::WindowProc(msg, wParam, lParam);
  }
}

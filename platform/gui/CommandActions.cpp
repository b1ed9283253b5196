#include "CommandActions.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QTimer>

#include "ErrorHook.h"
#include "Internal.h"

namespace gui {

CommandActions::CommandActions(QObject* parent, CmdTarget* route) : m_pParent(parent), m_pRoute(route) {}

CommandActions::~CommandActions() { delete m_pTimer; }

QAction* CommandActions::Add(UINT id, const char16_t* text, const char16_t* shortcut, bool checkable,
                             const char16_t* tip) {
  QAction*& action = m_actions[id];
  if (!action) {
    action = new QAction(detail::ToQString(text), m_pParent);
    action->setData(QVariant(uint(id)));
    QAction* self = action;
    QObject::connect(action, &QAction::triggered, action, [this, id, self](bool checked) {
      GuardedCall([&] {
        ExecuteCommand(m_pRoute, id);
        // The click toggled a checkable action; the check is update-UI's to say, and when it
        // says nothing the toggle is undone.
        if (!Update(id) && self->isCheckable()) self->setChecked(!checked);
      });
    });
  }
  if (shortcut && *shortcut) action->setShortcut(QKeySequence(detail::ToQString(shortcut), QKeySequence::PortableText));
  action->setCheckable(checkable);
  if (tip) action->setToolTip(detail::ToQString(tip));
  return action;
}

QAction* CommandActions::Get(UINT id) const {
  auto it = m_actions.find(id);
  return it == m_actions.end() ? nullptr : it->second;
}

void CommandActions::SetIcon(UINT id, const QIcon& icon) {
  if (QAction* a = Get(id)) a->setIcon(icon);
}

bool CommandActions::Update(UINT id) {
  QAction* action = Get(id);
  if (!action) return false;
  CmdUI ui(id);
  UpdateCommandUI(m_pRoute, &ui);
  action->setEnabled(ui.m_bEnabled != 0);
  if (ui.m_bCheckChanged) {
    if (!action->isCheckable()) action->setCheckable(true);
    action->setChecked(ui.m_nCheck != 0);
  }
  if (ui.m_bTextChanged) action->setText(detail::ToQString(ui.m_text));
  return ui.m_bCheckChanged;
}

void CommandActions::UpdateAll() {
  for (const auto& [id, action] : m_actions) Update(id);
}

void CommandActions::WatchMenu(QMenu* menu) {
  if (!menu) return;
  QObject::connect(menu, &QMenu::aboutToShow, menu, [this, menu] {
    GuardedCall([&] {
      for (QAction* a : menu->actions()) {
        if (a->menu()) continue;
        bool ok = false;
        uint id = a->data().toUInt(&ok);
        if (ok && Get(id) == a) Update(id);
      }
    });
  });
  for (QAction* a : menu->actions())
    if (QMenu* sub = a->menu()) WatchMenu(sub);
}

void CommandActions::SetUpdateInterval(int ms) {
  if (ms <= 0) {
    delete m_pTimer;
    m_pTimer = nullptr;
    return;
  }
  if (!m_pTimer) {
    m_pTimer = new QTimer;
    QObject::connect(m_pTimer, &QTimer::timeout, m_pTimer, [this] { GuardedCall([&] { UpdateAll(); }); });
  }
  m_pTimer->start(ms);
}

}  // namespace gui

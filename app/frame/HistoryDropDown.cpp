#include "HistoryDropDown.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

#include "core/PaintSpace.h"
#include "platform/gui/Commands.h"
#include "platform/gui/ErrorHook.h"

CHistoryDropDown::CHistoryDropDown(QMenu* menu, UINT id, gui::CmdTarget* route, SpaceSource space,
                                   std::function<void()> afterRun)
    : m_pMenu(menu), m_nID(id), m_pRoute(route), m_space(std::move(space)), m_afterRun(std::move(afterRun)) {}

CHistoryDropDown* CHistoryDropDown::Attach(QToolButton* button, UINT id, gui::CmdTarget* route, SpaceSource space,
                                           std::function<void()> afterRun) {
  if (!button) return nullptr;
  auto* menu = new QMenu(button);
  auto* self = new CHistoryDropDown(menu, id, route, std::move(space), std::move(afterRun));
  QObject::connect(menu, &QObject::destroyed, [self] { delete self; });
  QObject::connect(menu, &QMenu::aboutToShow, menu, [self] { gui::GuardedCall([self] { self->Refill(); }); });
  QObject::connect(menu, &QMenu::triggered, menu, [self](QAction* action) {
    const int count = action->data().toInt();
    gui::GuardedCall([self, count] { self->Run(count); });
  });
  // The button itself still runs one step; only its arrow opens the history.
  button->setMenu(menu);
  button->setPopupMode(QToolButton::MenuButtonPopup);
  return self;
}

std::vector<std::u16string> CHistoryDropDown::ListLabels(OUndoRecorder* store) {
  std::vector<std::u16string> labels;
  if (!store) return labels;
  std::vector<const char16_t*> texts(store->GetStepCount());
  // The texts live in the steps: copy them before anything can drop one.
  texts.resize(store->CopyStepList(texts.data(), UINT(texts.size())));
  for (const char16_t* t : texts) labels.emplace_back(t ? t : u"");
  return labels;
}

bool CHistoryDropDown::IsRedo() const { return m_nID == ID_EDIT_REDO; }

OUndoRecorder* CHistoryDropDown::GetStore() const {
  CPaintSpace* space = m_space ? m_space() : nullptr;
  if (!space) return nullptr;
  return IsRedo() ? space->GetRedoStore() : space->GetUndoStore();
}

void CHistoryDropDown::Refill() {
  m_pMenu->clear();
  const std::vector<std::u16string> labels = ListLabels(GetStore());
  for (size_t i = 0; i < labels.size(); ++i) {
    QString text = QString::fromUtf16(labels[i].data(), qsizetype(labels[i].size()));
    // A label is shown as it stands, never read as an access key.
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* action = m_pMenu->addAction(text);
    action->setData(int(i + 1));
  }
}

void CHistoryDropDown::Run(int count) {
  CPaintSpace* space = m_space ? m_space() : nullptr;
  if (!space || count < 1) return;
  // The list may have been opened before a tool took over the command (a stroke under way).
  gui::CmdUI ui(m_nID);
  if (m_pRoute) gui::UpdateCommandUI(m_pRoute, &ui);
  if (!ui.m_bEnabled) return;
  if (IsRedo()) space->Redo(count);
  else space->Undo(count);
  if (m_afterRun) m_afterRun();
}

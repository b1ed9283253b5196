#include "DlgLayerNew.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "FrameLayerAsk.h"
#include "core/PaintSpace.h"

namespace {
constexpr int kNameMax = 80;

QString ToQString(const std::u16string& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
std::u16string FromQString(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}
}  // namespace

CDlgNewLayer::CDlgNewLayer(QWidget* parent, const std::u16string& name, int width, int height)
    : QDialog(parent),
      m_pName(new QLineEdit(this)),
      m_width(this, 1, int(LYR_MAX_WIDTH), width, false),
      m_height(this, 1, int(LYR_MAX_HEIGHT), height, false) {
  setWindowTitle(QStringLiteral("创建图层"));
  m_pName->setMaxLength(kNameMax);
  SetName(name);
  m_width.Spin()->setSuffix(QStringLiteral(" 像素"));
  m_height.Spin()->setSuffix(QStringLiteral(" 像素"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("名称:"), m_pName);
  form->addRow(QStringLiteral("宽度:"), m_width.Spin());
  form->addRow(QStringLiteral("高度:"), m_height.Spin());
  auto* buttons = new QHBoxLayout;
  const std::pair<QString, int> kinds[] = {{QStringLiteral("创建彩色图层"), 1}, {QStringLiteral("创建单色图层"), 2}};
  for (const auto& [text, kind] : kinds) {
    auto* button = new QPushButton(text, this);
    connect(button, &QPushButton::clicked, this, [this, kind = kind] {
      m_nKind = kind;
      accept();
    });
    buttons->addWidget(button);
  }
  auto* cancel = new QPushButton(QStringLiteral("取消"), this);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
}

std::u16string CDlgNewLayer::GetName() const { return FromQString(m_pName->text()); }

void CDlgNewLayer::SetName(const std::u16string& name) { m_pName->setText(ToQString(name)); }

void CDlgNewLayer::SetSize(int width, int height) {
  m_width.SetValue(width);
  m_height.SetValue(height);
}

CDlgMerge::CDlgMerge(QWidget* parent, int options) : QDialog(parent), m_pList(new QListWidget(this)) {
  setWindowTitle(QStringLiteral("与下方图层合并"));
  const std::pair<QString, int> rows[] = {{QStringLiteral("蒙板"), LYR_MERGE_MASK},
                                          {QStringLiteral("镶嵌"), LYR_MERGE_NEST},
                                          {QStringLiteral("常规"), LYR_MERGE_PLAIN}};
  for (const auto& [text, merge] : rows) {
    if (!(options & merge)) continue;
    auto* item = new QListWidgetItem(text, m_pList);
    item->setData(Qt::UserRole, merge);
  }
  if (m_pList->count()) m_pList->setCurrentRow(0);
  connect(m_pList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_pList);
  layout->addWidget(OkCancel(this));
}

int CDlgMerge::GetChoice() const {
  const QListWidgetItem* item = m_pList->currentItem();
  return item ? item->data(Qt::UserRole).toInt() : 0;
}

BOOL CDlgMerge::SetChoice(int merge) {
  for (int i = 0; i < m_pList->count(); ++i)
    if (m_pList->item(i)->data(Qt::UserRole).toInt() == merge) {
      m_pList->setCurrentRow(i);
      return TRUE;
    }
  return FALSE;
}

int CDlgMerge::GetRowCount() const { return m_pList->count(); }

std::u16string CDlgMerge::GetRowText(int row) const {
  const QListWidgetItem* item = m_pList->item(row);
  return item ? FromQString(item->text()) : std::u16string();
}

int CFrameLayerAsk::AskNewLayer(std::u16string* name, int* width, int* height) {
  CDlgNewLayer dialog(Parent(), *name, *width, *height);
  if (RunModal(&dialog) != QDialog::Accepted || !dialog.GetKind()) return 0;
  *name = dialog.GetName();
  *width = dialog.GetWidth();
  *height = dialog.GetHeight();
  return dialog.GetKind();
}

int CFrameLayerAsk::AskMerge(int options) {
  CDlgMerge dialog(Parent(), options);
  return RunModal(&dialog) == QDialog::Accepted ? dialog.GetChoice() : 0;
}

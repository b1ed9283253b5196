#include "DlgCrop.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/PaintSpace.h"

CDlgCrop::CDlgCrop(QWidget* parent, const CropQuestion& question)
    : QDialog(parent),
      m_width(this, 1, int(LYR_MAX_WIDTH), question.nWidth, false),
      m_height(this, 1, int(LYR_MAX_HEIGHT), question.nHeight, false) {
  setWindowTitle(QStringLiteral("修剪"));
  m_width.Spin()->setSuffix(QStringLiteral(" 像素"));
  m_height.Spin()->setSuffix(QStringLiteral(" 像素"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("宽度:"), m_width.Spin());
  form->addRow(QStringLiteral("高度:"), m_height.Spin());
  auto* grid = new QGridLayout;
  const struct {
    const char16_t* text;
    int action;
  } kButtons[] = {{u"修剪图层 ", myCROP_LAYER},
                  {u"平铺图层 ", myCROP_TILE},
                  {u"镜像图层 ", myCROP_MIRROR},
                  {u"修剪空间 ", myCROP_SPACE}};
  int cell = 0;
  for (const auto& b : kButtons) {
    auto* button = new QPushButton(QString::fromUtf16(b.text), this);
    connect(button, &QPushButton::clicked, this, [this, action = b.action] {
      m_nAction = action;
      accept();
    });
    m_apButtons[b.action] = button;
    grid->addWidget(button, cell / 2, cell % 2);
    ++cell;
  }
  auto* cancel = new QPushButton(QStringLiteral("取消"), this);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  m_apButtons[myCROP_CANCEL] = cancel;
  grid->addWidget(cancel, 2, 1);
  EnableActions(question.bEqualsSpace != FALSE, question.bWritable && !question.bEqualsLayer);
  // Another size is another rectangle: every action is offered again.
  for (QSpinBox* spin : {m_width.Spin(), m_height.Spin()})
    connect(spin, &QSpinBox::valueChanged, this, [this] { EnableActions(false, true); });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(grid);
}

void CDlgCrop::EnableActions(bool equalsSpace, bool layerAllowed) {
  m_apButtons[myCROP_SPACE]->setEnabled(!equalsSpace);
  for (int action : {myCROP_LAYER, myCROP_TILE, myCROP_MIRROR}) m_apButtons[action]->setEnabled(layerAllowed);
}

void CDlgCrop::SetSize(int width, int height) {
  m_width.SetValue(width);
  m_height.SetValue(height);
}

QPushButton* CDlgCrop::GetButton(int action) const {
  return action >= 0 && action < 5 ? m_apButtons[action] : nullptr;
}

int CDlgCrop::Ask(QWidget* parent, CropQuestion* question) {
  CDlgCrop dialog(parent, *question);
  if (RunModal(&dialog) != QDialog::Accepted) return myCROP_CANCEL;
  question->nWidth = dialog.GetWidth();
  question->nHeight = dialog.GetHeight();
  return dialog.GetAction();
}

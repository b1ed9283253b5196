#include "DlgLayerFormat.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "frame/FrameLayerAsk.h"
#include "odata/OLayer.h"
#include "panels/LayerAsk.h"

namespace {

// A button that ends the dialog through choose(value).
template <class Dialog>
QPushButton* ChoiceButton(Dialog* dialog, const QString& text, int value) {
  auto* button = new QPushButton(text, dialog);
  button->setAutoDefault(false);
  QObject::connect(button, &QPushButton::clicked, dialog, [dialog, value] { dialog->Choose(value); });
  return button;
}

}  // namespace

CDlgConvert::CDlgConvert(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("转换到单色图层"));
  auto* layout = new QVBoxLayout(this);
  const QString labels[] = {QStringLiteral("提取亮度值"), QStringLiteral("提取透明值"), QStringLiteral("提取红"),
                            QStringLiteral("提取绿"), QStringLiteral("提取蓝")};
  for (int mode = 0; mode < 5; ++mode) layout->addWidget(ChoiceButton(this, labels[mode], mode));
  layout->addWidget(ChoiceButton(this, QStringLiteral("取消"), -1));
}

void CDlgConvert::Choose(int mode) {
  m_nMode = mode >= 0 && mode <= 4 ? mode : -1;
  if (m_nMode < 0)
    reject();
  else
    accept();
}

CDlgRotate::CDlgRotate(QWidget* parent) : QDialog(parent), m_degrees(this, 0, 360, 0, true) {
  setWindowTitle(QStringLiteral("旋转 (顺时针)"));
  m_degrees.Spin()->setSuffix(QStringLiteral(" 度"));
  auto* angle = new QHBoxLayout;
  angle->addWidget(m_degrees.Slider(), 1);
  angle->addWidget(m_degrees.Spin());
  QPushButton* rotate = ChoiceButton(this, QStringLiteral("旋转"), LYR_ROTATE_ANGLE);
  rotate->setDefault(true);
  auto* buttons = new QGridLayout;
  buttons->addWidget(rotate, 0, 0);
  buttons->addWidget(ChoiceButton(this, QStringLiteral("旋转 90度"), LYR_ROTATE_90), 0, 1);
  buttons->addWidget(ChoiceButton(this, QStringLiteral("旋转 180度"), LYR_ROTATE_180), 0, 2);
  buttons->addWidget(ChoiceButton(this, QStringLiteral("旋转 270度"), LYR_ROTATE_270), 1, 1);
  buttons->addWidget(ChoiceButton(this, QStringLiteral("取消"), 0), 1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(angle);
  layout->addLayout(buttons);
}

void CDlgRotate::Choose(int choice) {
  m_nChoice = choice >= LYR_ROTATE_ANGLE && choice <= LYR_ROTATE_270 ? choice : 0;
  if (m_nChoice)
    accept();
  else
    reject();
}

// ---- the frame's answers --------------------------------------------------------------------

int CFrameLayerAsk::AskConvertMode() {
  CDlgConvert dialog(Parent());
  return RunModal(&dialog) == QDialog::Accepted ? dialog.GetMode() : -1;
}

int CFrameLayerAsk::AskRotate(int* degrees) {
  CDlgRotate dialog(Parent());
  if (RunModal(&dialog) != QDialog::Accepted) return 0;
  if (degrees) *degrees = dialog.GetDegrees();
  return dialog.GetChoice();
}

BOOL CFrameLayerAsk::AskScale(int* width, int* height) {
  if (!width || !height) return FALSE;
  CDlgScale dialog(Parent(), *width, *height);
  if (RunModal(&dialog) != QDialog::Accepted) return FALSE;
  *width = dialog.GetWidth();
  *height = dialog.GetHeight();
  return TRUE;
}

// The dialogs of the per-format layer operations: which button ends them with what, and the
// limits of their fields.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include "frame/DlgLayerFormat.h"
#include "panels/LayerAsk.h"

namespace {

QPushButton* Button(QDialog* dialog, const char16_t* text) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>())
    if (b->text() == QString::fromUtf16(text)) return b;
  ADD_FAILURE() << "no button " << QString::fromUtf16(text).toStdString();
  return nullptr;
}

TEST(LayerFormatDialogs, EachConvertButtonEndsWithItsMode) {
  const char16_t* buttons[] = {u"提取亮度值", u"提取透明值", u"提取红", u"提取绿", u"提取蓝"};
  for (int mode = 0; mode < 5; ++mode) {
    CDlgConvert dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("转换到单色图层"));
    Button(&dialog, buttons[mode])->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetMode(), mode);
  }
  CDlgConvert dialog(nullptr);
  Button(&dialog, u"取消")->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(dialog.GetMode(), -1);
}

TEST(LayerFormatDialogs, EachRotateButtonEndsWithItsChoiceAndTheAngleStaysInATurn) {
  struct Case {
    const char16_t* button;
    int choice;
  };
  const Case cases[] = {{u"旋转", LYR_ROTATE_ANGLE},
                        {u"旋转 90度", LYR_ROTATE_90},
                        {u"旋转 180度", LYR_ROTATE_180},
                        {u"旋转 270度", LYR_ROTATE_270},
                        {u"取消", 0}};
  for (const Case& c : cases) {
    CDlgRotate dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("旋转 (顺时针)"));
    dialog.SetDegrees(123);
    Button(&dialog, c.button)->click();
    EXPECT_EQ(dialog.result(), c.choice ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(dialog.GetChoice(), c.choice);
    EXPECT_EQ(dialog.GetDegrees(), 123);
  }
  CDlgRotate dialog(nullptr);
  dialog.SetDegrees(361);
  EXPECT_EQ(dialog.GetDegrees(), 360);
  dialog.SetDegrees(-1);
  EXPECT_EQ(dialog.GetDegrees(), 0);
}

TEST(LayerFormatDialogs, TheScaleFieldsTakeOneToTenThousand) {
  CDlgScale dialog(nullptr, 37, 23);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("缩放"));
  EXPECT_EQ(dialog.GetWidth(), 37);
  EXPECT_EQ(dialog.GetHeight(), 23);
  dialog.SetValues(0, 10001);
  EXPECT_EQ(dialog.GetWidth(), 1);
  EXPECT_EQ(dialog.GetHeight(), 10000);
  for (QSpinBox* spin : dialog.findChildren<QSpinBox*>()) {
    EXPECT_EQ(spin->minimum(), 1);
    EXPECT_EQ(spin->maximum(), 10000);
  }
}

}  // namespace

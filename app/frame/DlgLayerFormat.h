// The dialogs of the per-format layer operations: the extraction mode of a conversion to a
// mask layer, the rotation, and the new size of a scale. Each ends with the button pressed;
// tests pick a button through Choose and RunModal's answer.
#pragma once
#include <QDialog>

#include "frame/Dialogs.h"

// "转换到单色图层": five buttons, each an extraction mode (0 brightness, 1 transparency, 2
// red, 3 green, 4 blue), and "取消".
class CDlgConvert : public QDialog {
 public:
  explicit CDlgConvert(QWidget* parent);
  // The mode of the button that ended the dialog; -1 when cancelled.
  int GetMode() const { return m_nMode; }
  // Ends the dialog as the mode's button does (-1: as "取消").
  void Choose(int mode);

 private:
  int m_nMode = -1;
};

// "旋转 (顺时针)": an angle of 0..360 whole degrees and the buttons "旋转" (choice 1 with the
// angle), "旋转 90度" 2, "旋转 180度" 3, "旋转 270度" 4 and "取消" (0).
class CDlgRotate : public QDialog {
 public:
  explicit CDlgRotate(QWidget* parent);
  int GetChoice() const { return m_nChoice; }
  int GetDegrees() const { return m_degrees.Value(); }
  void SetDegrees(int degrees) { m_degrees.SetValue(degrees); }
  void Choose(int choice);

 private:
  CNumberField m_degrees;
  int m_nChoice = 0;
};

// "缩放": the layer's new width and height, each 1..10000.
class CDlgScale : public CDlgSize {
 public:
  CDlgScale(QWidget* parent, int width, int height) : CDlgSize(parent, u"缩放", width, height) {}
};

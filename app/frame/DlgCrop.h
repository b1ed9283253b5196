// "修剪": the trim tool's dialog. It shows the dragged rectangle's size for editing and offers
// "修剪空间 " unless the rectangle is the whole space, and "修剪图层 ", "平铺图层 ",
// "镜像图层 " only for a writable layer whose rectangle differs; editing a size offers them all
// again. The button that closes it is the answer (a CropAction).
#pragma once
#include <QDialog>

#include "Dialogs.h"
#include "core/ShellServices.h"

class QPushButton;

class CDlgCrop : public QDialog {
 public:
  CDlgCrop(QWidget* parent, const CropQuestion& question);
  // The action of the button that closed the dialog; myCROP_CANCEL otherwise.
  int GetAction() const { return m_nAction; }
  int GetWidth() const { return m_width.Value(); }
  int GetHeight() const { return m_height.Value(); }
  void SetSize(int width, int height);
  // The button of an action (tests press it).
  QPushButton* GetButton(int action) const;

  // Asks the question modally; the answer, with the edited size in the question.
  static int Ask(QWidget* parent, CropQuestion* question);

 private:
  // The buttons the flags allow.
  void EnableActions(bool equalsSpace, bool layerAllowed);

  CNumberField m_width;
  CNumberField m_height;
  QPushButton* m_apButtons[5] = {};
  int m_nAction = myCROP_CANCEL;
};

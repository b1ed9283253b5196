// The layer list's add and merge-down dialogs: "创建图层" and "与下方图层合并".
#pragma once
#include <QDialog>
#include <string>

#include "Dialogs.h"

class QLineEdit;
class QListWidget;

// "创建图层": the new layer's name (at most 80 characters) and size (1..10000 each way); the
// button pressed chooses a colour (1) or a mask layer (2).
class CDlgNewLayer : public QDialog {
 public:
  CDlgNewLayer(QWidget* parent, const std::u16string& name, int width, int height);
  // 1 colour layer, 2 mask layer: the button that closed the dialog.
  int GetKind() const { return m_nKind; }
  void SetKind(int kind) { m_nKind = kind; }
  std::u16string GetName() const;
  void SetName(const std::u16string& name);
  int GetWidth() const { return m_width.Value(); }
  int GetHeight() const { return m_height.Value(); }
  void SetSize(int width, int height);

 private:
  QLineEdit* m_pName;
  CNumberField m_width;
  CNumberField m_height;
  int m_nKind = 0;
};

// "与下方图层合并": the merges GetMergeOptions allows, mask first, then nested, then plain;
// the first row is chosen at the start.
class CDlgMerge : public QDialog {
 public:
  CDlgMerge(QWidget* parent, int options);
  // The chosen row's merge (LYR_MERGE_*), 0 when none.
  int GetChoice() const;
  // Chooses the row of that merge; FALSE when the list does not offer it.
  BOOL SetChoice(int merge);
  int GetRowCount() const;
  // The label of a row ("蒙板", "镶嵌", "常规").
  std::u16string GetRowText(int row) const;

 private:
  QListWidget* m_pList;
};

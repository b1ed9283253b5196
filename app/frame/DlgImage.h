// The image dialogs of the layer list and the picture export: the JPEG quality dialog and the
// file choosers for an image to load or to write.
#pragma once
#include <QDialog>
#include <string>

#include "frame/Dialogs.h"

class QFileDialog;

// "JPEG 质量" (dialog 198): the quality 1..100, preset by the caller.
class CDlgJpegQuality : public QDialog {
 public:
  CDlgJpegQuality(QWidget* parent, int quality);
  int GetQuality() const { return m_quality.Value(); }
  void SetQuality(int quality) { m_quality.SetValue(quality); }

 private:
  CNumberField m_quality;
};

// The chooser of an image to load (save false) or to write, set up with the filters, the
// default extension and the proposed name; the caller runs it through RunModal.
void SetUpImageChooser(QFileDialog* dialog, bool save, const std::u16string& proposed);

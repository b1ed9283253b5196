#include "DlgImage.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "frame/FrameLayerAsk.h"
#include "frame/LastFolder.h"

namespace {

QString Q(const std::u16string& s) { return QString(reinterpret_cast<const QChar*>(s.data()), qsizetype(s.size())); }
std::u16string U(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }

const char* const kSaveFilters[] = {"便携透明图像 (*.png)", "摄影图像 (*.jpg *.jpeg)", "Windows位图 (*.bmp)"};
const char* const kSaveSuffixes[] = {"png", "jpg", "bmp"};

}  // namespace

CDlgJpegQuality::CDlgJpegQuality(QWidget* parent, int quality) : QDialog(parent), m_quality(this, 1, 100, quality, true) {
  setWindowTitle(QStringLiteral("JPEG 质量"));
  auto* row = new QHBoxLayout;
  row->addWidget(m_quality.Slider(), 1);
  row->addWidget(m_quality.Spin());
  auto* note = new QLabel(QStringLiteral("质量越高，文件越大；90 以上不降低色彩采样。"), this);
  note->setEnabled(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("质量 (1 - 100):"), this));
  layout->addLayout(row);
  layout->addWidget(note);
  layout->addWidget(OkCancel(this));
}

void SetUpImageChooser(QFileDialog* dialog, bool save, const std::u16string& proposed) {
  const std::u16string folder = lastfolder::Get();
  if (!folder.empty()) dialog->setDirectory(Q(folder));
  if (!save) {
    dialog->setWindowTitle(QStringLiteral("载入图像"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    // ".jpeg" files are read as ".jpg" ones are: the filter shows them too.
    dialog->setNameFilter(QStringLiteral("All (*.png *.jpg *.jpeg *.bmp)"));
    dialog->setDefaultSuffix(QStringLiteral("png"));
    return;
  }
  dialog->setWindowTitle(QStringLiteral("保存图像"));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const char* f : kSaveFilters) filters << QString::fromUtf8(f);
  dialog->setNameFilters(filters);
  dialog->selectNameFilter(filters.front());
  dialog->setDefaultSuffix(QStringLiteral("png"));
  // A name without an extension takes the chosen type's.
  QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [dialog, filters](const QString& filter) {
    const qsizetype i = filters.indexOf(filter);
    if (i >= 0) dialog->setDefaultSuffix(QString::fromUtf8(kSaveSuffixes[i]));
  });
  if (!proposed.empty()) dialog->selectFile(Q(proposed));
}

BOOL CFrameLayerAsk::AskImagePath(BOOL save, std::u16string* path) {
  QFileDialog dialog(Parent());
  SetUpImageChooser(&dialog, save != FALSE, *path);
  if (RunModal(&dialog) != QDialog::Accepted) return FALSE;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return FALSE;
  *path = U(chosen.front());
  lastfolder::Remember(*path);
  return TRUE;
}

int CFrameLayerAsk::AskJpegQuality(int quality) {
  CDlgJpegQuality dialog(Parent(), quality);
  return RunModal(&dialog) == QDialog::Accepted ? dialog.GetQuality() : 0;
}

// Images in the running program: the File menu's picture export and an image file dropped on
// the view, with the codec plug-in of bin/System; the JPEG quality dialog and the choosers.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QSpinBox>
#include <QUrl>

#include "AppHarness.h"
#include "core/ImageFile.h"
#include "core/ScriptedLayerAsk.h"
#include "core/TavrikView.h"
#include "frame/DlgImage.h"
#include "frame/FrameLayerAsk.h"
#include "frame/LastFolder.h"
#include "frame/MainFrame.h"
#include "frame/Resource.h"
#include "gui/DragAndDrop.h"

namespace {

class ImageTest : public AppTest {};

TEST_F(ImageTest, ThePictureExportWritesAFileThatADropOnTheViewBringsBackAsALayer) {
  ASSERT_TRUE(Start());
  NewDocument(2, 120, 80);
  ASSERT_EQ(List()->GetCount(), 1);
  EXPECT_TRUE(Update(ID_FILE_EXPORT_PICTURE).m_bEnabled);
  ScriptedLayerAsk ask;
  List()->SetAsk(&ask);
  const std::u16string path = folder + u"/整个空间.png";
  ask.paths.push_back(path);
  EXPECT_TRUE(Run(ID_FILE_EXPORT_PICTURE));
  ASSERT_TRUE(plat::FileExists(path));
  GCompRef<OImageCodec> png = NewImageCodec(app->GetSystem(), u"Kestrum");
  ASSERT_TRUE(png);
  ImageInfo info{};
  ASSERT_TRUE(png->ReadInfo(path.c_str(), &info));
  EXPECT_EQ(info.width, 120u);
  EXPECT_EQ(info.height, 80u);

  QWidget* view = Frame()->GetView()->GetWidget();
  EXPECT_TRUE(guitest::DragAndDrop(view, {QUrl::fromLocalFile(QString::fromUtf16(path.c_str()))}, QPointF(20, 20)));
  ASSERT_TRUE(WaitFor([&] { return List()->GetCount() == 2; }));
  EXPECT_EQ(std::u16string(List()->GetLayer(0)->GetName()), u"整个空间");
  EXPECT_EQ(List()->GetCurSel(), 0);
  List()->SetAsk(nullptr);
}

TEST_F(ImageTest, TheQualityDialogKeepsOneToAHundredAndTheChoosersTheirTypes) {
  CDlgJpegQuality dialog(nullptr, 100);
  EXPECT_EQ(dialog.GetQuality(), 100);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("JPEG 质量"));
  dialog.SetQuality(0);
  EXPECT_EQ(dialog.GetQuality(), 1);
  dialog.SetQuality(250);
  EXPECT_EQ(dialog.GetQuality(), 100);

  QFileDialog save, open;
  SetUpImageChooser(&save, true, u"a_b1");
  SetUpImageChooser(&open, false, u"");
  EXPECT_EQ(save.windowTitle(), QStringLiteral("保存图像"));
  EXPECT_EQ(save.nameFilters().size(), 3);
  EXPECT_EQ(save.selectedNameFilter(), QStringLiteral("便携透明图像 (*.png)"));
  EXPECT_EQ(save.defaultSuffix(), QStringLiteral("png"));
  EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
  emit save.filterSelected(save.nameFilters().at(1));
  EXPECT_EQ(save.defaultSuffix(), QStringLiteral("jpg"));
  EXPECT_EQ(open.fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(open.nameFilters(), QStringList{QStringLiteral("All (*.png *.jpg *.jpeg *.bmp)")});
  EXPECT_EQ(save.nameFilters().at(1), QStringLiteral("摄影图像 (*.jpg *.jpeg)"));
}

// The choosers open in the folder of the file the user chose last, in this run and the next,
// until that folder is gone.
TEST_F(ImageTest, TheChoosersStartInTheFolderOfTheLastFileChosen) {
  ASSERT_TRUE(Start());
  const std::u16string pictures = folder + u"/图片";
  Shell("mkdir -p '" + U8(pictures) + "'");
  EXPECT_EQ(lastfolder::Get(), u"");
  EXPECT_EQ(lastfolder::StartPath(u"无标题.kelv"), u"无标题.kelv") << "nothing kept: where the dialog would open";

  onDialog = [&](QDialog* d) {
    auto* chooser = qobject_cast<QFileDialog*>(d);
    if (!chooser) return int(QDialog::Rejected);
    chooser->selectFile(QString::fromUtf16(pictures.c_str()) + QStringLiteral("/tree.png"));
    return int(QDialog::Accepted);
  };
  CFrameLayerAsk ask(Frame());
  std::u16string path = u"tree";
  ASSERT_TRUE(ask.AskImagePath(TRUE, &path));
  const std::u16string kept = plat::AbsolutePath(pictures);
  EXPECT_EQ(lastfolder::Get(), kept);

  QFileDialog open;
  SetUpImageChooser(&open, false, u"");
  EXPECT_EQ(QDir::cleanPath(open.directory().absolutePath()).toStdString(), U8(kept));
  EXPECT_EQ(lastfolder::StartPath(u"无标题.kelv"), kept + u"/无标题.kelv") << "the document dialogs too";
  EXPECT_EQ(lastfolder::StartPath(u"/else/a.kelv"), u"/else/a.kelv") << "a document's own folder wins";

  Stop();
  ASSERT_TRUE(Start());
  EXPECT_EQ(lastfolder::Get(), kept) << "kept in the settings";
  // A folder the settings bring (not one this run's dialogs visited) is where a chooser opens.
  const std::u16string scans = plat::AbsolutePath(folder + u"/scans");
  Shell("mkdir -p '" + U8(scans) + "'");
  lastfolder::Remember(scans + u"/page.bmp");
  QFileDialog save;
  SetUpImageChooser(&save, true, u"a_b1");
  EXPECT_EQ(QDir::cleanPath(save.directory().absolutePath()).toStdString(), U8(scans));
  Shell("rm -rf '" + U8(scans) + "'");
  EXPECT_EQ(lastfolder::Get(), u"") << "a folder that went is forgotten";
}

}  // namespace

// The shell's dialogs and document commands: the layer filter (preview on the worker, OK as one
// undoable step, Cancel restoring), the progress dialog with its cancel button, configure,
// new, save, open and the recent files, and the About box's memory figures.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cstring>

#include "AppHarness.h"
#include "frame/DlgLayerNew.h"
#include "frame/FrameLayerAsk.h"
#include "frame/Resource.h"
#include "odata/OData.h"
#include "odata/OLayerFilter.h"
#include "odata/OProperty.h"
#include "odata/OWorker.h"
#include "panels/MyListLayer.h"
#include "platform/base/Sync.h"

namespace {

constexpr uint32_t kGrey = 0xFF406080;

class DialogTest : public AppTest {
 protected:
  void SetUp() override { ASSERT_TRUE(Start()); }

  // A document of one colour layer of kGrey.
  OLayer* GreyDocument() {
    NewDocument(CTavrikDoc::myNEW_COLOR, 64, 48);
    OLayer* layer = List()->GetLayer(0);
    Fill(layer, kGrey);
    return layer;
  }
  static void Fill(OLayer* layer, uint32_t colour) {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(layer, 0));
    for (int y = 0; y < lock.nHeight; ++y)
      for (int x = 0; x < lock.nWidth; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = colour;
  }
  static std::vector<uint32_t> Pixels(OLayer* layer) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(layer, 0));
    std::vector<uint32_t> out;
    for (int y = 0; y < lock.nHeight; ++y)
      out.insert(out.end(), reinterpret_cast<uint32_t*>(lock.Row(y)), reinterpret_cast<uint32_t*>(lock.Row(y)) + lock.nWidth);
    return out;
  }
  // The brightness filter applied to a grey layer of the same size, at once.
  std::vector<uint32_t> Brightened(int bright) {
    GCompRef<OLayer> ref = app->GetShowDevice()->CreateLayer(64, 48, OLayer::myFORMAT_C32, 99);
    Fill(ref, kGrey);
    ref->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
    GCompRef<OLayerFilter> filter = GNewObj<OLayerFilter>(app->GetSystem(), u"MorvaneFilterBright", u"OLayerFilter");
    static_cast<OProperty*>(filter->GetInterface(u"OProperty"))->SetValue(0, bright);
    EXPECT_EQ(filter->Filter(ref, 0, nullptr), 1);
    return Pixels(ref);
  }
  // Answers the filter dialog: the values one after the other, each applied, then ok.
  void AnswerFilter(std::vector<int> values, bool ok, std::vector<uint32_t>* preview = nullptr, int* runs = nullptr) {
    onDialog = [=, this](QDialog* d) {
      auto* filter = dynamic_cast<CDlgFilter*>(d);
      if (!filter) return int(QDialog::Rejected);
      for (int v : values) {
        filter->SetValue(0, v);
        EXPECT_TRUE(filter->WaitIdle(10000));
      }
      if (preview) *preview = Pixels(List()->GetLayer(0));
      if (runs) *runs = filter->GetRunCount();
      return int(ok ? QDialog::Accepted : QDialog::Rejected);
    };
  }
};

TEST_F(DialogTest, TheFilterPreviewsOnTheWorkerAndOkKeepsItAsOneUndoableStep) {
  OLayer* layer = GreyDocument();
  const std::vector<uint32_t> grey = Pixels(layer);
  const std::vector<uint32_t> bright50 = Brightened(50);
  ASSERT_NE(bright50, grey);
  std::vector<uint32_t> preview;
  int runs = 0;
  AnswerFilter({20, 50}, true, &preview, &runs);
  ASSERT_TRUE(Update(ID_LAYER_BRIGHT).m_bEnabled);
  ASSERT_TRUE(Run(ID_LAYER_BRIGHT));
  EXPECT_TRUE(Logged(u"dialog:亮度/对比度"));
  EXPECT_EQ(preview, bright50) << "the last change shows while the dialog is open";
  EXPECT_GE(runs, 2) << "every change runs the filter again";
  EXPECT_EQ(Pixels(layer), bright50);
  ASSERT_EQ(Space()->GetUndoStore()->GetStepCount(), 1u);
  const char16_t* label = nullptr;
  ASSERT_EQ(Space()->GetUndoStore()->CopyStepList(&label, 1), 1u);
  EXPECT_EQ(std::u16string(label), u"亮度/对比度");
  std::vector<uint8_t> saved;
  ASSERT_TRUE(gui::Settings::ReadBinary(u"XFilter", u"Bright", &saved));
  ASSERT_EQ(saved.size(), 8u);
  EXPECT_EQ(saved[0], 50);

  ASSERT_TRUE(Run(ID_EDIT_UNDO));
  EXPECT_EQ(Pixels(layer), grey);
  ASSERT_TRUE(Run(ID_EDIT_REDO));
  EXPECT_EQ(Pixels(layer), bright50);

  // The next time the dialog starts from the values kept; cancelling leaves the layer.
  int first = -1;
  onDialog = [&](QDialog* d) {
    if (auto* filter = dynamic_cast<CDlgFilter*>(d)) {
      first = filter->Value(0);
      EXPECT_TRUE(filter->WaitIdle(10000));
    }
    return int(QDialog::Rejected);
  };
  ASSERT_TRUE(Run(ID_LAYER_BRIGHT));
  EXPECT_EQ(first, 50);
  EXPECT_EQ(Pixels(layer), bright50);
  EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), 1u);
}

TEST_F(DialogTest, CancellingTheFilterGivesTheLayerBack) {
  OLayer* layer = GreyDocument();
  const std::vector<uint32_t> grey = Pixels(layer);
  std::vector<uint32_t> preview;
  AnswerFilter({60}, false, &preview);
  ASSERT_TRUE(Run(ID_LAYER_BRIGHT));
  EXPECT_NE(preview, grey);
  EXPECT_EQ(Pixels(layer), grey);
  EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), 0u);
  EXPECT_EQ(layer->PAT_GetActiveFlags(), 0u) << "the transaction is closed";
  std::vector<uint8_t> saved;
  EXPECT_FALSE(gui::Settings::ReadBinary(u"XFilter", u"Bright", &saved));
}

// A job that runs until it is asked to stop (at most a few seconds), publishing its progress.
struct LongJob {
  int32_t Run(JobRecord*, JobControl* control) {
    for (int i = 0; i < 400; ++i) {
      if (control->flags & JOB_ABORT) return 0;
      control->progress = i;
      plat::Sleep(10);
    }
    return 1;
  }
  int32_t Quick(JobRecord*, JobControl*) { return 7; }
  // The same without a total to report.
  int32_t Busy(JobRecord* job, JobControl* control) {
    control->total = 0;
    return Run(job, control);
  }
};

TEST_F(DialogTest, TheProgressDialogShowsALongJobAndItsCancelStopsIt) {
  GCompRef<OWorker> worker = GNewObj<OWorker>(app->GetSystem(), u"XWorker", u"OWorker");
  worker->Wait(FALSE);  // its thread is up
  GCompRef<OData> args = GNewData(64);
  LongJob work;
  CDlgProgress progress(nullptr);
  progress.SetShowDelay(30);

  JobRecord quick{args, u"quick", 6, -1, &work, JobThunk<LongJob, &LongJob::Quick>};
  uint32_t flags = 0xFFFF;
  EXPECT_EQ(progress.Run(worker, &quick, u"正在测试...", 10, &flags), 7);
  EXPECT_EQ(flags & JOB_ABORT, 0u);
  EXPECT_FALSE(progress.WasCancelled());

  QString title, caption;
  int shownProgress = -1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    auto* bar = dialog->findChild<QProgressBar*>();
    if (!bar || bar->value() < 5) return;
    title = dialog->windowTitle();
    shownProgress = bar->value();
    dialog->reject();
  });
  poll.start(20);
  JobRecord slow{args, u"slow", 6, -1, &work, JobThunk<LongJob, &LongJob::Run>};
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(progress.Run(worker, &slow, u"正在测试...", 400, &flags), 0);
  EXPECT_LT(clock.elapsed(), 3000) << "the cancel stopped the job";
  EXPECT_TRUE(flags & JOB_ABORT);
  EXPECT_TRUE(progress.WasCancelled());
  EXPECT_EQ(title, QStringLiteral("请稍候..."));
  EXPECT_GE(shownProgress, 5);
  EXPECT_TRUE(worker->IsReady());
}

TEST_F(DialogTest, AJobWithoutATotalShowsABusyBar) {
  GCompRef<OWorker> worker = GNewObj<OWorker>(app->GetSystem(), u"XWorker", u"OWorker");
  worker->Wait(FALSE);
  GCompRef<OData> args = GNewData(64);
  LongJob work;
  CDlgProgress progress(nullptr);
  progress.SetShowDelay(0);
  int shownMaximum = -1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    auto* bar = dialog ? dialog->findChild<QProgressBar*>() : nullptr;
    if (!bar) return;
    // The window's first look may come before the job has started.
    shownMaximum = bar->maximum();
    if (shownMaximum == 0) dialog->reject();
  });
  poll.start(20);
  JobRecord busy{args, u"busy", 6, -1, &work, JobThunk<LongJob, &LongJob::Busy>};
  uint32_t flags = 0;
  EXPECT_EQ(progress.Run(worker, &busy, u"正在测试...", 400, &flags), 0);
  EXPECT_TRUE(progress.WasCancelled());
  EXPECT_EQ(shownMaximum, 0) << "an empty range: the bar only shows that it is busy";
}

TEST_F(DialogTest, ConfigureAndNewDocumentTakeWhatTheUserSets) {
  onDialog = [](QDialog* d) {
    if (auto* configure = dynamic_cast<CDlgConfigure*>(d)) {
      const ConfigureValues v = configure->GetValues();
      EXPECT_EQ(v.nTabletPressure, 75);
      EXPECT_EQ(v.nStartupCreateLayer, 1);
      configure->SetValues(ConfigureValues{40, 500, 3, 2, 1});
      return int(QDialog::Accepted);
    }
    if (auto* create = dynamic_cast<CDlgNew*>(d)) {
      EXPECT_EQ(create->GetKind(), 2) << "the configured kind comes first";
      create->SetValues(2, 300, 200);
      return int(QDialog::Accepted);
    }
    return int(QDialog::Rejected);
  };
  ASSERT_TRUE(Run(ID_APP_CONFIGURE));
  EXPECT_EQ(app->nTabletPressure, 40);
  EXPECT_EQ(app->nMouseClickInterval, 500);
  EXPECT_EQ(app->nMouseTolerance, 3);
  EXPECT_EQ(app->nStartupCreateLayer, 2);
  EXPECT_EQ(app->nFlowerAlphaEnable, 1);
  ASSERT_TRUE(Run(ID_FILE_NEW));
  EXPECT_EQ(Space()->GetWidth(), 300u);
  EXPECT_EQ(Space()->GetHeight(), 200u);
  ASSERT_EQ(List()->GetCount(), 1);
  EXPECT_EQ(List()->GetLayer(0)->GetFormat(), OLayer::myFORMAT_C32);
  Stop();
  EXPECT_EQ(gui::Settings::ReadInt(u"Configure", u"nTabletPressure", 0, 0, 100), 40);
  EXPECT_EQ(gui::Settings::ReadInt(u"Configure", u"nSpaceWidth", 0, 0, 10000), 300);
}

TEST_F(DialogTest, SaveOpenAndTheRecentFiles) {
  GreyDocument();
  const std::u16string saved = folder + u"/grey.kelv";
  onPath = [&](bool save, const std::u16string&) { return save ? saved : folder + u"/settings1.ini"; };
  ASSERT_TRUE(Run(ID_FILE_SAVE));
  EXPECT_TRUE(plat::FileExists(saved));
  EXPECT_EQ(Doc()->GetPathName(), saved);
  ASSERT_FALSE(app->GetRecentFiles().empty());
  EXPECT_EQ(app->GetRecentFiles()[0], saved);
  EXPECT_TRUE(Frame()->GetMainWindow()->windowTitle().startsWith(QStringLiteral("grey.kelv")));

  // Saving again needs no name; a new document, then the recent file brings the picture back.
  log.clear();
  ASSERT_TRUE(Run(ID_FILE_SAVE));
  EXPECT_FALSE(Logged(u"save"));
  NewDocument(CTavrikDoc::myNEW_EMPTY, 10, 10);
  ASSERT_TRUE(Run(ID_FILE_MRU_FILE1));
  EXPECT_EQ(Doc()->GetPathName(), saved);
  ASSERT_EQ(List()->GetCount(), 1);
  EXPECT_EQ(Pixels(List()->GetLayer(0))[0], kGrey);

  // A file that is no document: the user is told and the document stays.
  log.clear();
  ASSERT_TRUE(Run(ID_FILE_OPEN));
  EXPECT_TRUE(Logged(u"box:Tavrik"));
  EXPECT_NE(lastBoxText.find(u"无法打开文档"), std::u16string::npos);
  EXPECT_EQ(Doc()->GetPathName(), saved);
  EXPECT_EQ(List()->GetCount(), 1);
}

TEST_F(DialogTest, AWriteProtectedFileIsReplacedOnlyWhenTheUserAgreesAndKeepsItsMode) {
  GreyDocument();
  const std::u16string path = folder + u"/protected.kelv";
  Shell("echo old > '" + U8(path) + "' && chmod 0444 '" + U8(path) + "'");
  onPath = [&](bool, const std::u16string&) { return path; };
  struct Case {
    int answer;
    bool replaced;
  };
  for (const Case c : {Case{gui::IDNO, false}, Case{gui::IDYES, true}}) {
    onBox = [&](const char16_t*, const char16_t*, UINT) { return c.answer; };
    log.clear();
    ASSERT_TRUE(Run(ID_FILE_SAVE_AS));
    EXPECT_TRUE(Logged(u"box:Tavrik"));
    EXPECT_NE(lastBoxText.find(u"只读"), std::u16string::npos);
    EXPECT_EQ(plat::GetFileLength(path) != 4, c.replaced);
    struct stat st {};
    ASSERT_EQ(stat(U8(path).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
  }
}

TEST_F(DialogTest, RecentFilesAreStoredFromTheRoot) {
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  app->AddToRecentFileList(u"q.kelv");
  ASSERT_FALSE(app->GetRecentFiles().empty());
  EXPECT_EQ(app->GetRecentFiles()[0], plat::FromUtf8(here) + u"/q.kelv");
}

TEST_F(DialogTest, AboutShowsTheMemoryInMegabytes) {
  CDlgAbout about(nullptr);
  EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Tavrik"));
  for (const QString& text : {about.ProcessText(), about.AvailableText()}) {
    ASSERT_TRUE(text.endsWith(QStringLiteral("MB"))) << text.toStdString();
    bool number = false;
    EXPECT_GT(text.chopped(2).toUInt(&number), 0u) << text.toStdString();
    EXPECT_TRUE(number);
  }
}

TEST_F(DialogTest, NewLayerAndMergeDialogsAnswerTheLayerList) {
  CFrameLayerAsk ask(Frame());
  onDialog = [](QDialog* d) {
    auto* dialog = dynamic_cast<CDlgNewLayer*>(d);
    if (!dialog) return int(QDialog::Rejected);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("创建图层"));
    EXPECT_EQ(dialog->GetName(), u"新图层");
    EXPECT_EQ(dialog->GetWidth(), 640);
    EXPECT_EQ(dialog->GetHeight(), 480);
    dialog->SetName(std::u16string(100, u'x'));
    dialog->SetSize(20000, 0);
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("创建单色图层")) b->click();
    return int(dialog->result() == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected);
  };
  std::u16string name = u"新图层";
  int width = 640, height = 480;
  EXPECT_EQ(ask.AskNewLayer(&name, &width, &height), 2);
  EXPECT_EQ(name, std::u16string(80, u'x')) << "the name is cut to 80 characters";
  EXPECT_EQ(width, 10000);
  EXPECT_EQ(height, 1);
  onDialog = [](QDialog*) { return int(QDialog::Rejected); };
  EXPECT_EQ(ask.AskNewLayer(&name, &width, &height), 0);
  EXPECT_EQ(width, 10000) << "a cancelled dialog leaves the values";

  struct MergeCase {
    int options;
    std::vector<std::u16string> rows;
    int choose;  // 0: keep the first row
    int answer;
  };
  const MergeCase cases[] = {{7, {u"蒙板", u"镶嵌", u"常规"}, 0, 2},
                             {5, {u"镶嵌", u"常规"}, 1, 1},
                             {1, {u"常规"}, 4, 1}};
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(c.options);
    onDialog = [&c](QDialog* d) {
      auto* dialog = dynamic_cast<CDlgMerge*>(d);
      if (!dialog) return int(QDialog::Rejected);
      EXPECT_EQ(dialog->windowTitle(), QStringLiteral("与下方图层合并"));
      std::vector<std::u16string> rows;
      for (int i = 0; i < dialog->GetRowCount(); ++i) rows.push_back(dialog->GetRowText(i));
      EXPECT_EQ(rows, c.rows);
      if (c.choose) {
        EXPECT_EQ(dialog->SetChoice(c.choose) != FALSE, c.choose == c.answer);
      }
      return int(QDialog::Accepted);
    };
    EXPECT_EQ(ask.AskMerge(c.options), c.answer);
  }
  onDialog = [](QDialog*) { return int(QDialog::Rejected); };
  EXPECT_EQ(ask.AskMerge(7), 0);
}

}  // namespace

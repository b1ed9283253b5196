// Image files in and out of the layer list and the picture export of the space, with the real
// codecs (and, where a failing or throwing job is the point, a codec of the test's own).
#include <sys/stat.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ScriptedLayerAsk.h"
#include "ToolFixture.h"
#include "XImageCodec.h"
#include "common/Thrown.h"
#include "core/ExportPicture.h"
#include "core/ImageFile.h"
#include "odata/GText.h"
#include "tools/OperDefault.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const std::u16string& path) {
  std::ifstream in(plat::ToUtf8(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteAll(const std::u16string& path, const Bytes& bytes) {
  std::ofstream(plat::ToUtf8(path), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Remembers the path each file dialog was given before the script answers it.
class PresetRecordingAsk final : public ILayerAsk {
 public:
  int AskNewLayer(std::u16string* n, int* w, int* h) override { return script.AskNewLayer(n, w, h); }
  int AskMerge(int o) override { return script.AskMerge(o); }
  int AskConvertMode() override { return script.AskConvertMode(); }
  int AskRotate(int* d) override { return script.AskRotate(d); }
  BOOL AskScale(int* w, int* h) override { return script.AskScale(w, h); }
  BOOL AskImagePath(BOOL save, std::u16string* path) override {
    presets.push_back(*path);
    return script.AskImagePath(save, path);
  }
  int AskJpegQuality(int q) override { return script.AskJpegQuality(q); }
  BOOL Confirm(const char16_t* c, const char16_t* t) override { return script.Confirm(c, t); }
  CJobRunner* GetJobRunner() override { return script.GetJobRunner(); }
  ScriptedLayerAsk script;
  std::vector<std::u16string> presets;
};

// A runner that asks the job to stop before it starts.
class CancellingRunner final : public CJobRunner {
 public:
  int32_t Run(OWorker* worker, JobRecord* job, const char16_t*, int, uint32_t* flags) override {
    JobControl control;
    control.flags = JOB_ABORT;
    int32_t result = 0;
    if (worker->Launch(job, &control)) {
      worker->Wait(FALSE);
      result = job->result;
    }
    *flags = control.flags;
    return result;
  }
};

// A codec whose job writes a few bytes and then does what the test says.
enum class FakeJob { kSucceed, kFail, kThrow };
FakeJob g_fakeJob = FakeJob::kSucceed;
class FakeCodec final : public GComponent<OImageCodec> {
 public:
  BOOL ReadInfo(const char16_t*, ImageInfo*) override { return FALSE; }
  BOOL Decode(const char16_t*, LayerLock*, UINT) override { return FALSE; }
  BOOL Encode(const char16_t* path, LayerLock*, int, uint32_t, UINT, JobRecord* job) override {
    m_path = path;
    job->object = this;
    job->proc = JobThunk<FakeCodec, &FakeCodec::Job>;
    return TRUE;  // leaves the result as it finds it
  }
  const char16_t* GetErrorText() override { return u"disk full"; }

 private:
  void* FindInterface(const char16_t* name) override {
    return plat::StrCmp(name, u"OImageCodec") == 0 ? static_cast<OImageCodec*>(this) : nullptr;
  }
  int32_t Job(JobRecord*, JobControl*) {
    WriteAll(m_path, Bytes{'F', 'A', 'K', 'E'});
    if (g_fakeJob == FakeJob::kThrow) GTHROW(u"!bWritten");
    return g_fakeJob == FakeJob::kSucceed;
  }
  std::u16string m_path;
};

// Holds a PNG decode on the worker until the test lets it go (or two seconds passed), so an
// import can be watched and cancelled in the middle; on request the decode then raises an
// error as a failed allocation would.
struct DecodeGate {
  std::atomic<bool> started{false}, release{false};
  bool raise = false;
};
DecodeGate g_gate;
class GatedPng final : public XImageCodec {
 public:
  GatedPng() : XImageCodec(codec::kPngCalls) {}
  BOOL Decode(const char16_t* path, LayerLock* lock, UINT reserved) override {
    g_gate.started = true;
    for (int i = 0; i < 2000 && !g_gate.release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (g_gate.raise) GTHROW(u"!pRows");
    return XImageCodec::Decode(path, lock, reserved);
  }
};

// Launches the job and, while the gated decode holds the worker, looks at the worker as the
// UI thread sees it, then cancels the job or lets it finish.
class WatchingRunner final : public CJobRunner {
 public:
  int32_t Run(OWorker* worker, JobRecord* job, const char16_t*, int, uint32_t* flags) override {
    JobControl control;
    int32_t result = 0;
    if (worker->Launch(job, &control)) {
      for (int i = 0; i < 2000 && !g_gate.started; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      sawBusy = g_gate.started && !worker->IsReady();
      if (cancel) control.flags |= JOB_ABORT;
      g_gate.release = true;
      worker->Wait(FALSE);
      result = job->result;
    }
    *flags = control.flags;
    return result;
  }
  bool cancel = false;
  bool sawBusy = false;
};

// TRUE when the process holds a descriptor on the file.
bool HeldOpen(const std::u16string& path) {
  char target[4096];
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    const ssize_t n = ::readlink(fd.path().c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, size_t(n)) == plat::ToUtf8(path)) return true;
  }
  return false;
}

class LayerImageTest : public ToolFixture {
 protected:
  // png: what "Kestrum" makes (a codec of the test's own where the job's outcome is the point).
  explicit LayerImageTest(ComponentFactory png = GCreateComponent<XKestrum>) {
    sys.Register(u"Kestrum", png);
    sys.Register(u"Sevlin", GCreateComponent<XSevlin>);
    sys.Register(u"Harsk", GCreateComponent<XHarsk>);
    list->SetAsk(&ask);
    Init(300, 200, new COperDefault());
  }
  std::u16string Path(const std::u16string& name) { return folder + u"/" + name; }
  std::vector<std::u16string> UndoLabels() {
    OUndoRecorder* undo = space->GetUndoStore();
    std::vector<const char16_t*> texts(undo->GetStepCount());
    texts.resize(undo->CopyStepList(texts.data(), UINT(texts.size())));
    return std::vector<std::u16string>(texts.begin(), texts.end());
  }
  // Writes a layer of the given pixels to a file through the codec.
  void WriteImage(const std::u16string& path, const char16_t* codec, int w, int h, int format, uint32_t seed) {
    GCompRef<OLayer> l = NewLayer(w, h, format, 99);
    Fill(l, seed);
    LayerLock lock;
    lock.Lock(l, 0);
    GCompRef<OImageCodec> c = NewImageCodec(&sys, codec);
    JobRecord job{};
    ASSERT_TRUE(c->Encode(path.c_str(), &lock, 100, 0, 0, &job));
    ASSERT_EQ(job.proc(job.object, &job, nullptr), TRUE) << U8(c->GetErrorText());
  }
  static void Fill(OLayer* l, uint32_t seed) {
    LayerLock lock;
    lock.Lock(l, 0);
    for (int y = 0; y < lock.nHeight; ++y)
      for (int x = 0; x < lock.nWidth; ++x) {
        const uint32_t v = (uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u) + seed;
        if (lock.nPixelSize == 4) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = v | (x == 0 ? 0 : 0xFF000000u);
        else reinterpret_cast<uint16_t*>(lock.Row(y))[x] = uint16_t((v & 0xFF) * 257);
      }
  }
  static std::vector<uint32_t> Pixels(OLayer* l) {
    LayerLock lock;
    lock.Lock(l, 0);
    std::vector<uint32_t> out;
    for (int y = 0; y < lock.nHeight; ++y)
      for (int x = 0; x < lock.nWidth; ++x)
        out.push_back(lock.nPixelSize == 4 ? reinterpret_cast<uint32_t*>(lock.Row(y))[x]
                                           : reinterpret_cast<uint16_t*>(lock.Row(y))[x]);
    return out;
  }

  PresetRecordingAsk ask;
};

class FakeCodecTest : public LayerImageTest {
 protected:
  FakeCodecTest() : LayerImageTest(GCreateComponent<FakeCodec>) {}
};

class GatedImportTest : public LayerImageTest {
 protected:
  GatedImportTest() : LayerImageTest(GCreateComponent<GatedPng>) {
    g_gate.release = true;  // the fixture's own loads pass straight through
    g_gate.raise = false;
  }
};

TEST_F(LayerImageTest, LoadsEachFormatAsANewSelectedTopRowWithItsUndoStep) {
  AddLayer(10, 10, OLayer::myFORMAT_C32, 1, 0, 0, 0xFF00FF00);
  struct Case {
    const char16_t* file;
    const char16_t* codec;
    int format;
    const char16_t* name;
  } cases[] = {
      {u"tree.png", u"Kestrum", OLayer::myFORMAT_C32, u"tree"},
      {u"photo.JPEG", u"Sevlin", OLayer::myFORMAT_C32, u"photo"},
      {u"my.old.picture.bmp", u"Harsk", OLayer::myFORMAT_C32, u"my.old.picture"},
      {u"a name of forty characters, far too long.png", u"Kestrum", OLayer::myFORMAT_C32,
       u"a name of forty characters, far "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.file));
    const std::u16string path = Path(c.file);
    WriteImage(path, c.codec, 17, 9, c.format, 5);
    const int rows = list->GetCount();
    space->GetRedoStore()->Clear();
    ASSERT_TRUE(list->LoadImage(path.c_str()));
    ASSERT_EQ(list->GetCount(), rows + 1);
    EXPECT_EQ(list->GetCurSel(), 0);
    OLayer* l = list->GetLayer(0);
    EXPECT_EQ(std::u16string(l->GetName()), c.name);
    EXPECT_EQ(l->GetFormat(), c.format);
    EXPECT_EQ(l->GetWidth(), 17);
    EXPECT_EQ(l->GetHeight(), 9);
    // Centred on the view (the space's middle).
    POINT at{};
    l->GetPosition(&at, FALSE);
    EXPECT_EQ(at.x, 150 - 8);
    EXPECT_EQ(at.y, 100 - 4);
    EXPECT_EQ(UndoLabels().front(), u"载入");
    if (plat::StrCmp(c.codec, u"Sevlin") != 0) {
      GCompRef<OLayer> want = NewLayer(17, 9, c.format, 98);
      Fill(want, 5);
      EXPECT_EQ(Pixels(l), Pixels(want));
    }
  }
  EXPECT_TRUE(ask.script.asked.empty());
}

TEST_F(LayerImageTest, TheWorkerDecodesEachFormatBitForBitAsTheCodecDoesDirectly) {
  struct Case {
    const char16_t* file;
    const char16_t* codec;
    int writtenFrom;
  } cases[] = {
      {u"colour.png", u"Kestrum", OLayer::myFORMAT_C32},
      {u"mask.png", u"Kestrum", OLayer::myFORMAT_A16},
      {u"photo.jpg", u"Sevlin", OLayer::myFORMAT_C32},
      {u"grey.jpg", u"Sevlin", OLayer::myFORMAT_A16},
      {u"old.bmp", u"Harsk", OLayer::myFORMAT_C32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.file));
    const std::u16string path = Path(c.file);
    WriteImage(path, c.codec, 23, 13, c.writtenFrom, 7);
    GCompRef<OImageCodec> codec = NewImageCodec(&sys, c.codec);
    ImageInfo info{};
    ASSERT_TRUE(codec->ReadInfo(path.c_str(), &info));
    GCompRef<OLayer> direct = NewLayer(int(info.width), int(info.height), int(info.format), 97);
    {
      LayerLock lock;
      lock.Lock(direct, 0);
      ASSERT_TRUE(codec->Decode(path.c_str(), &lock, 0));
    }
    ASSERT_TRUE(list->LoadImage(path.c_str()));
    OLayer* loaded = list->GetLayer(0);
    EXPECT_EQ(loaded->GetFormat(), int(info.format));
    EXPECT_EQ(Pixels(loaded), Pixels(direct));
  }
}

TEST_F(GatedImportTest, TheDecodeRunsOnTheWorkerAndACancelOrAnErrorThereLeavesListAndHistoryAsTheyWere) {
  for (const char16_t* name : {u"a.png", u"b.png", u"c.png"}) WriteImage(Path(name), u"Kestrum", 40, 30, OLayer::myFORMAT_C32, 2);
  // A row with its step, and a step on the redo side.
  ASSERT_TRUE(list->LoadImage(Path(u"a.png").c_str()));
  ASSERT_TRUE(list->LoadImage(Path(u"b.png").c_str()));
  space->Undo(1);
  ASSERT_EQ(list->GetCount(), 1);
  OLayer* row = list->GetLayer(0);
  struct Case {
    const char* name;
    bool cancel;
    bool raise;
    bool loaded;
    size_t errors;
  } cases[] = {
      {"cancelled in the middle", true, false, false, 0},
      {"the decode raises an error", false, true, false, 1},
      {"let through", false, false, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::u16string> undo = UndoLabels();
    const uint32_t redo = space->GetRedoStore()->GetStepCount();
    const int32_t live = LiveLayers();
    const int selected = list->GetCurSel();
    const size_t errors = sys.ErrorCount();
    WatchingRunner runner;
    runner.cancel = c.cancel;
    ask.script.runner = &runner;
    g_gate.started = false;
    g_gate.release = false;
    g_gate.raise = c.raise;
    EXPECT_EQ(list->LoadImage(Path(u"c.png").c_str()), c.loaded ? TRUE : FALSE);
    EXPECT_TRUE(runner.sawBusy) << "the worker decodes while the UI thread waits in the runner";
    EXPECT_FALSE(HeldOpen(Path(u"c.png")));
    EXPECT_EQ(sys.ErrorCount() - errors, c.errors);
    EXPECT_TRUE(ask.script.asked.empty()) << "a cancel or a reported error needs no word";
    if (c.loaded) {
      EXPECT_EQ(list->GetCount(), 2);
      EXPECT_EQ(UndoLabels().size(), undo.size() + 1);
      continue;
    }
    EXPECT_EQ(list->GetCount(), 1);
    EXPECT_EQ(list->GetLayer(0), row);
    EXPECT_EQ(list->GetCurSel(), selected);
    EXPECT_EQ(UndoLabels(), undo);
    EXPECT_EQ(space->GetRedoStore()->GetStepCount(), redo);
    EXPECT_EQ(LiveLayers(), live) << "nothing half-made stays";
  }
  ask.script.runner = nullptr;
}

TEST_F(LayerImageTest, RefusesQuietlyWhatNoCodecReadsAndAtSixtyFourRows) {
  WriteImage(Path(u"ok.png"), u"Kestrum", 4, 4, OLayer::myFORMAT_C32, 1);
  std::system(("cp '" + plat::ToUtf8(Path(u"ok.png")) + "' '" + plat::ToUtf8(Path(u"noextension")) + "'").c_str());
  std::system(("cp '" + plat::ToUtf8(Path(u"ok.png")) + "' '" + plat::ToUtf8(Path(u".png")) + "'").c_str());
  std::system(("cp '" + plat::ToUtf8(Path(u"ok.png")) + "' '" + plat::ToUtf8(Path(u"ok.gif")) + "'").c_str());
  for (const char16_t* name : {u"noextension", u".png", u"ok.gif"}) EXPECT_FALSE(list->LoadImage(Path(name).c_str())) << U8(name);
  for (UINT id = 1; id <= UINT(LYR_MAX_SUM); ++id) AddLayer(1, 1, OLayer::myFORMAT_A16, id, 0, 0, 0);
  EXPECT_FALSE(list->LoadImage(Path(u"ok.png").c_str()));
  EXPECT_EQ(list->GetCount(), LYR_MAX_SUM);
  EXPECT_TRUE(ask.script.asked.empty());
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
}

TEST_F(LayerImageTest, ADamagedFileIsRefusedWithTheCodecsWordsAndLeavesNothing) {
  WriteImage(Path(u"whole.png"), u"Kestrum", 64, 64, OLayer::myFORMAT_C32, 3);
  Bytes bytes = ReadAll(Path(u"whole.png"));
  bytes.resize(bytes.size() / 2);
  WriteAll(Path(u"cut.png"), bytes);
  WriteAll(Path(u"text.bmp"), Bytes{'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});
  const int32_t live = LiveLayers();
  EXPECT_FALSE(list->LoadImage(Path(u"cut.png").c_str()));
  EXPECT_FALSE(list->LoadImage(Path(u"text.bmp").c_str()));
  ASSERT_EQ(ask.script.asked.size(), 2u);
  EXPECT_EQ(ask.script.asked[0].rfind(u"confirm 失败 文件不完整，在第 ", 0), 0u) << U8(ask.script.asked[0]);
  EXPECT_EQ(ask.script.asked[1], u"confirm 失败 不是 BMP 文件");
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(LiveLayers(), live);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
}

TEST_F(LayerImageTest, TheOpenCommandAsksForAFileAndLoadsIt) {
  WriteImage(Path(u"open.bmp"), u"Harsk", 3, 2, OLayer::myFORMAT_C32, 8);
  list->OnTbvcLyrOpen();  // cancelled
  EXPECT_EQ(list->GetCount(), 0);
  ask.script.paths.push_back(Path(u"open.bmp"));
  list->OnTbvcLyrOpen();
  EXPECT_EQ(list->GetCount(), 1);
  EXPECT_EQ(ask.script.asked, (std::vector<std::u16string>{u"open image", u"open image"}));
}

TEST_F(LayerImageTest, ABusyWorkerIsAnError) {
  std::atomic<bool> release{false};
  struct Blocker {
    std::atomic<bool>* release;
    int32_t Run(JobRecord*, JobControl*) {
      while (!release->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return TRUE;
    }
  } blocker{&release};
  JobRecord job{};
  job.object = &blocker;
  job.proc = JobThunk<Blocker, &Blocker::Run>;
  ASSERT_TRUE(space->GetWorker()->Launch(&job, nullptr));
  AddLayer(4, 4, OLayer::myFORMAT_C32, 1, 0, 0, 0);
  list->SetCurSelect(0);
  EXPECT_EQ(ThrownCondition([&] { list->LoadImage(Path(u"x.png").c_str()); }), u"!m_pPaintSpace->m_cpWorker->IsReady()");
  EXPECT_EQ(ThrownCondition([&] { list->OnTbvcLyrSave(); }), u"!m_pPaintSpace->m_cpWorker->IsReady()");
  release = true;
  space->GetWorker()->Wait(FALSE);
}

TEST_F(LayerImageTest, SavesTheCurrentLayerUnderTheNameTheUserChose) {
  OLayer* colour = AddLayer(11, 7, OLayer::myFORMAT_C32, 1, 0, 0, 0);
  Fill(colour, 21);
  colour->SetName(u"a:b");
  list->SetCurSelect(0);
  ask.script.paths = {Path(u"out.png"), Path(u"out.bmp"), Path(u"out.jpg"), Path(u"photo.jpeg"), Path(u"out.jpg"),
                      Path(u"out.tiff")};
  ask.script.qualities = {90, 80, 0};
  for (int i = 0; i < 6; ++i) list->OnTbvcLyrSave();
  EXPECT_EQ(ask.presets.front(), u"a_b1");
  EXPECT_EQ(ask.script.asked,
            (std::vector<std::u16string>{u"save image", u"save image", u"save image", u"jpeg 100", u"save image",
                                         u"jpeg 100", u"save image", u"jpeg 100", u"save image"}));
  EXPECT_FALSE(plat::FileExists(Path(u"out.tiff")));
  // A ".jpeg" name is written as JPEG, as it is read.
  ImageInfo jpeg{};
  ASSERT_TRUE(NewImageCodec(&sys, u"Sevlin")->ReadInfo(Path(u"photo.jpeg").c_str(), &jpeg));
  EXPECT_EQ(jpeg.height, 7u);
  for (const char16_t* name : {u"out.png", u"out.bmp"}) {
    ASSERT_TRUE(list->LoadImage(Path(name).c_str())) << U8(name);
    EXPECT_EQ(Pixels(list->GetLayer(0)), Pixels(colour)) << U8(name);
  }
  ImageInfo info{};
  ASSERT_TRUE(NewImageCodec(&sys, u"Sevlin")->ReadInfo(Path(u"out.jpg").c_str(), &info));
  EXPECT_EQ(info.width, 11u);
  // Nothing but the targets was left in the folder, and the layer did not change.
  EXPECT_EQ(plat::FindFiles(folder, u".tmp").size(), 0u);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 2u);  // the two loads
}

TEST_F(LayerImageTest, AMaskLayerIsSavedAsItsGreyWithCoverageAsAlpha) {
  OLayer* mask = AddLayer(5, 3, OLayer::myFORMAT_A16, 1, 0, 0, 0x8000);
  mask->SetColor(0x000000FF);  // red
  list->SetCurSelect(0);
  ask.script.paths = {Path(u"mask.png")};
  list->OnTbvcLyrSave();
  ASSERT_TRUE(list->LoadImage(Path(u"mask.png").c_str()));
  const uint32_t grey = 76;  // the luminance of pure red
  EXPECT_EQ(Pixels(list->GetLayer(0)), std::vector<uint32_t>(15, 0x80000000u | grey * 0x010101u));
}

TEST_F(FakeCodecTest, AFailedExportLeavesAnExistingTargetAsItWas) {
  AddLayer(4, 4, OLayer::myFORMAT_C32, 1, 0, 0, 0xFF112233);
  list->SetCurSelect(0);
  const Bytes before{'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
  const std::u16string target = Path(u"keep.png");
  struct Case {
    const char* name;
    FakeJob job;
    bool cancel;
    std::vector<std::u16string> asked;
    size_t errors;
  } cases[] = {
      {"the job fails", FakeJob::kFail, false, {u"save image", u"confirm 失败 disk full"}, 0},
      {"the job is cancelled", FakeJob::kSucceed, true, {u"save image"}, 0},
      // A stale TRUE in the job record must not pass for the thrown job's result.
      {"the job throws", FakeJob::kThrow, false, {u"save image"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteAll(target, before);
    g_fakeJob = c.job;
    CancellingRunner cancelling;
    ask.script.runner = c.cancel ? &cancelling : nullptr;
    ask.script.asked.clear();
    ask.script.paths = {target};
    space->m_job.result = TRUE;
    const size_t errors = sys.ErrorCount();
    list->OnTbvcLyrSave();
    EXPECT_EQ(ReadAll(target), before);
    EXPECT_EQ(ask.script.asked, c.asked);
    EXPECT_EQ(sys.ErrorCount() - errors, c.errors);
    EXPECT_EQ(plat::FindFiles(folder, u".tmp").size(), 0u);
  }
  // And a job that succeeds replaces the target.
  g_fakeJob = FakeJob::kSucceed;
  ask.script.runner = nullptr;
  ask.script.paths = {target};
  list->OnTbvcLyrSave();
  EXPECT_EQ(ReadAll(target), (Bytes{'F', 'A', 'K', 'E'}));
}

// A folder that takes no new file while its files stay writable: read-only for a user, and
// immutable for the superuser, whom permissions do not stop.
struct ClosedFolder {
  explicit ClosedFolder(const std::string& path) : path(path) {
    closed = ::geteuid() == 0 ? std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()) == 0
                              : ::chmod(path.c_str(), 0500) == 0;
  }
  ~ClosedFolder() {
    if (::geteuid() == 0)
      std::system(("chattr -i '" + path + "' 2>/dev/null").c_str());
    else
      ::chmod(path.c_str(), 0700);
  }
  std::string path;
  bool closed = false;
};

TEST_F(FakeCodecTest, WithoutATemporaryFileTheJobWritesTheTargetAndKeepsIt) {
  AddLayer(4, 4, OLayer::myFORMAT_C32, 1, 0, 0, 0xFF112233);
  list->SetCurSelect(0);
  const std::u16string locked = Path(u"locked"), target = locked + u"/t.png";
  ::mkdir(plat::ToUtf8(locked).c_str(), 0700);
  WriteAll(target, Bytes{'o', 'l', 'd'});
  ClosedFolder closed(plat::ToUtf8(locked));
  if (!closed.closed) GTEST_SKIP() << "the folder could not be closed to new files";
  for (FakeJob job : {FakeJob::kSucceed, FakeJob::kFail}) {
    g_fakeJob = job;
    ask.script.asked.clear();
    ask.script.paths = {target};
    list->OnTbvcLyrSave();
    // The job's own file is neither moved nor deleted, and a failure is told.
    EXPECT_EQ(ReadAll(target), (Bytes{'F', 'A', 'K', 'E'}));
    EXPECT_EQ(ask.script.asked.size(), job == FakeJob::kFail ? 2u : 1u);
  }
}

TEST_F(LayerImageTest, ThePictureIsTheComposedSpaceOverItsBackground) {
  space->SetBackground(0x00102030);
  AddLayer(2, 2, OLayer::myFORMAT_C32, 1, 10, 20, 0xFFAABBCC);
  AddLayer(300, 200, OLayer::myFORMAT_C32, 2, 0, 0, 0x00FFFFFF);  // transparent
  ask.script.paths = {Path(u"picture.png"), Path(u"picture.jpg")};
  ask.script.qualities = {100};
  EXPECT_TRUE(ExportPicture(space.get(), &ask));
  EXPECT_TRUE(ExportPicture(space.get(), &ask));
  EXPECT_EQ(ask.presets.front(), u"picture");
  ask.script.paths.clear();
  ASSERT_TRUE(list->LoadImage(Path(u"picture.png").c_str()));
  std::vector<uint32_t> png = Pixels(list->GetLayer(0));
  ASSERT_EQ(png.size(), 300u * 200u);
  EXPECT_EQ(png[20 * 300 + 10], 0xFFAABBCCu);
  EXPECT_EQ(png[21 * 300 + 11], 0xFFAABBCCu);
  EXPECT_EQ(png[0], 0xFF102030u);
  EXPECT_EQ(png[199 * 300 + 299], 0xFF102030u);
  ASSERT_TRUE(list->LoadImage(Path(u"picture.jpg").c_str()));
  const uint32_t corner = Pixels(list->GetLayer(0))[199 * 300 + 299];
  for (int k = 0; k < 24; k += 8) EXPECT_NEAR(int((corner >> k) & 0xFF), int((0x102030u >> k) & 0xFF), 3);
}

}  // namespace

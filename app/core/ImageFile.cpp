#include "ImageFile.h"

#include "core/JobRunner.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "panels/LayerAsk.h"
#include "platform/base/Files.h"

namespace {

size_t NameStart(const std::u16string& path) {
  const size_t sep = path.find_last_of(u"/\\");
  return sep == std::u16string::npos ? 0 : sep + 1;
}

// The '.' before the extension, or npos.
size_t ExtensionDot(const std::u16string& path) {
  const size_t start = NameStart(path), dot = path.rfind(u'.');
  return dot != std::u16string::npos && dot > start ? dot : std::u16string::npos;
}

// The decode as the worker runs it. The codec reads the whole file in one call, so a cancel
// takes effect once it returns: the job then answers FALSE and the pixels are dropped.
class DecodeJob {
 public:
  DecodeJob(OImageCodec* codec, const char16_t* path, LayerLock* lock) : m_pCodec(codec), m_pPath(path), m_pLock(lock) {}
  int32_t Run(JobRecord*, JobControl* control) {
    control->total = 0;  // no rows to report
    if (Cancelled(control)) return FALSE;
    const BOOL decoded = m_pCodec->Decode(m_pPath, m_pLock, 0);
    return decoded && !Cancelled(control) ? TRUE : FALSE;
  }

 private:
  static bool Cancelled(const JobControl* control) { return (control->flags.load() & JOB_ABORT) != 0; }
  OImageCodec* m_pCodec;
  const char16_t* m_pPath;
  LayerLock* m_pLock;
};

}  // namespace

std::u16string ImageExtension(const std::u16string& path) {
  const size_t dot = ExtensionDot(path);
  if (dot == std::u16string::npos) return u"";
  std::u16string ext = path.substr(dot + 1);
  for (char16_t& c : ext)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  return ext;
}

std::u16string ImageTitle(const std::u16string& path) {
  const size_t start = NameStart(path), dot = ExtensionDot(path);
  return path.substr(start, dot == std::u16string::npos ? std::u16string::npos : dot - start);
}

// ".jpeg" is written as it is read: a save under that name that wrote nothing, and said
// nothing, would leave the painter without the picture.
const char16_t* ImageCodecFor(const std::u16string& extension) {
  if (extension == u"png") return u"Kestrum";
  if (extension == u"jpg" || extension == u"jpeg") return u"Sevlin";
  if (extension == u"bmp") return u"Harsk";
  return nullptr;
}

GCompRef<OImageCodec> NewImageCodec(GSystem* system, const char16_t* name) {
  if (!system || !name) return {};
  try {
    OComponent* c = system->NewObj(name, nullptr);
    GCompRef<OImageCodec> codec = c ? static_cast<OImageCodec*>(c->GetInterface(u"OImageCodec")) : nullptr;
    if (c && !codec) {
      c->AddRef();
      c->Release();
    }
    return codec;
  } catch (GErrRecord* e) {
    // "NO_NEW_OBJECT": the codec is not installed, which the callers answer quietly.
    e->AddRef();
    e->Release();
    return {};
  }
}

GCompRef<OImageCodec> ChooseImageWriter(GSystem* system, ILayerAsk* ask, const std::u16string& path, int* quality) {
  const char16_t* name = ImageCodecFor(ImageExtension(path));
  if (!name) return {};
  *quality = 100;
  if (std::u16string(name) == u"Sevlin") {
    *quality = ask ? ask->AskJpegQuality(100) : 0;
    if (*quality < 1) return {};
    if (*quality > 100) *quality = 100;
  }
  return NewImageCodec(system, name);
}

void ShowCodecFailure(ILayerAsk* ask, OImageCodec* codec) {
  const char16_t* text = codec ? codec->GetErrorText() : nullptr;
  if (ask) ask->Confirm(u"失败", text && *text ? text : u"无法读取图像");
}

BOOL ReadImageFile(CPaintSpace* space, ILayerAsk* ask, OImageCodec* codec, const char16_t* path, OLayer* layer) {
  GVERIFY(space && space->GetWorker() && codec && path && layer, u"!pSpace||!pCodec||!pLayer");
  uint32_t flags = 0;
  int32_t result = 0;
  {
    LayerLock lock;
    lock.Lock(layer, 0);
    DecodeJob decode(codec, path, &lock);
    JobRecord& job = space->m_job;
    job.name = u"ReadImageFile";
    job.result = -1;
    job.object = &decode;
    job.proc = JobThunk<DecodeJob, &DecodeJob::Run>;
    // The job, the lock and the codec outlive the run: it returns once the worker is idle.
    result = RunnerOrHeadless(ask ? ask->GetJobRunner() : nullptr)
                 ->Run(space->GetWorker(), &job, u"正在载入...", lock.nHeight, &flags);
  }
  const bool stopped = (flags & (JOB_ABORT | JOB_FAILED)) != 0;
  if (result == TRUE && !stopped) return TRUE;
  if (!stopped) ShowCodecFailure(ask, codec);
  return FALSE;
}

BOOL WriteImageFile(CPaintSpace* space, ILayerAsk* ask, OImageCodec* codec, const std::u16string& target,
                    LayerLock* lock, int quality) {
  GVERIFY(space && ask && codec && lock, u"!pSpace||!pAsk||!pCodec||!pLock");
  CJobRunner* runner = ask->GetJobRunner();
  GVERIFY(runner, u"!pRunner");
  std::u16string temp;
  if (FILE* f = plat::CreateTempFileIn(plat::FolderOf(target), u"qvx", &temp))
    fclose(f);
  else
    temp.clear();
  // Without a temporary file the job writes the target itself, which is then never moved
  // or deleted.
  const bool direct = temp.empty();
  const std::u16string& written = direct ? target : temp;
  JobRecord& job = space->m_job;
  job.result = 0;
  uint32_t flags = 0;
  bool ok = codec->Encode(written.c_str(), lock, quality, space->GetBackground(), 0, &job) &&
            runner->Run(space->GetWorker(), &job, u"正在保存...", lock->nHeight, &flags) == TRUE &&
            (flags & (JOB_ABORT | JOB_FAILED)) == 0;
  bool told = false;
  if (ok && !direct) {
    plat::TakeFileMode(temp, target);
    if (!plat::ReplaceFile(temp, target)) {
      ask->Confirm(u"失败", u"无法替换原文件");
      told = true;
      ok = false;
    }
  }
  if (!ok && !direct) plat::DeleteFile(temp);
  // A cancelled job or one that raised an error (already reported) needs no word, unless the
  // target itself is now incomplete.
  if (!ok && !told && (direct || (flags & (JOB_ABORT | JOB_FAILED)) == 0)) ShowCodecFailure(ask, codec);
  return ok ? TRUE : FALSE;
}

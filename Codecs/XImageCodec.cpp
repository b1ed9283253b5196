#include "XImageCodec.h"

#include "platform/base/Files.h"
#include "platform/base/Text.h"

namespace {

// Closes the stream however the call ends.
struct FileCloser {
  FILE* f;
  ~FileCloser() {
    if (f) fclose(f);
  }
};

}  // namespace

void* XImageCodec::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"OImageCodec") == 0 ? static_cast<OImageCodec*>(this) : nullptr;
}

BOOL XImageCodec::Fail(const codec::CodecError& err) {
  m_errorText = plat::FromUtf8(err.Empty() ? std::string("未知错误") : err.Text());
  return FALSE;
}

BOOL XImageCodec::ReadInfo(const char16_t* path, ImageInfo* info) {
  codec::CodecError err;
  codec::ImageHead head;
  FileCloser file{OpenToRead(path, info != nullptr, &err)};
  if (!file.f || !m_calls.readHead(file.f, &head, &err)) return Fail(err);
  *info = ImageInfo{uint32_t(head.width), uint32_t(head.height), uint32_t(head.bits), uint32_t(head.format)};
  return TRUE;
}

BOOL XImageCodec::Decode(const char16_t* path, LayerLock* lock, UINT) {
  codec::CodecError err;
  FileCloser file{OpenToRead(path, lock != nullptr, &err)};
  return file.f && m_calls.decode(file.f, *lock, &err) ? TRUE : Fail(err);
}

FILE* XImageCodec::OpenToRead(const char16_t* path, bool target, codec::CodecError* err) {
  m_errorText.clear();
  FILE* f = path && target ? plat::OpenFile(path, "rb") : nullptr;
  if (!f) err->Set(path && target ? "无法打开文件" : "没有文件或没有读入的目标");
  return f;
}

BOOL XImageCodec::Encode(const char16_t* path, LayerLock* lock, int quality, uint32_t background, UINT source,
                         JobRecord* job) {
  m_errorText.clear();
  codec::CodecError err;
  if (!path || !lock || !lock->pPixels || !job || source != 0 || (lock->nPixelSize != 2 && lock->nPixelSize != 4) ||
      !codec::CheckSize(lock->nWidth, lock->nHeight, &err)) {
    err.Set("没有可写入的内容");
    return Fail(err);
  }
  m_path = path;
  m_pLock = lock;
  m_params = codec::EncodeParams{quality, background, nullptr};
  job->name = u"XImageCodec::Encode";
  job->result = 0;
  job->object = this;
  job->proc = JobThunk<XImageCodec, &XImageCodec::EncodeJob>;
  return TRUE;
}

int32_t XImageCodec::EncodeJob(JobRecord*, JobControl* control) {
  codec::CodecError err;
  m_errorText.clear();
  FILE* f = plat::OpenFile(m_path, "wb");
  if (!f) {
    err.Set("无法创建文件");
    return Fail(err);
  }
  codec::EncodeParams params = m_params;
  params.control = control;
  bool ok = m_calls.encode(f, *m_pLock, params, &err);
  // Bytes still buffered reach the disk only here.
  if (fclose(f) != 0 && ok) {
    err.Set("无法写入文件");
    ok = false;
  }
  return ok ? TRUE : Fail(err);
}

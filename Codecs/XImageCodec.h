// The codec component: opens the file, hands the stream to its format's reader or writer and
// keeps the last error's words. One class serves the three formats; the plug-in registers it
// as "Kestrum" (PNG), "Sevlin" (JPEG) and "Harsk" (BMP).
#pragma once
#include <string>

#include "Formats.h"

class XImageCodec : public GComponent<OImageCodec> {
 public:
  BOOL ReadInfo(const char16_t* path, ImageInfo* info) override;
  BOOL Decode(const char16_t* path, LayerLock* lock, UINT reserved) override;
  BOOL Encode(const char16_t* path, LayerLock* lock, int quality, uint32_t background, UINT source,
              JobRecord* job) override;
  const char16_t* GetErrorText() override { return m_errorText.c_str(); }

 protected:
  explicit XImageCodec(const codec::FormatCalls& calls) : m_calls(calls) {}
  void* FindInterface(const char16_t* name) override;

 private:
  // The job Encode prepares: writes the file and closes it; TRUE when it is complete.
  int32_t EncodeJob(JobRecord* job, JobControl* control);
  BOOL Fail(const codec::CodecError& err);
  // The file opened for reading (the last error cleared); null with the error set.
  FILE* OpenToRead(const char16_t* path, bool target, codec::CodecError* err);

  const codec::FormatCalls& m_calls;
  std::u16string m_errorText;
  // What the prepared job writes.
  std::u16string m_path;
  LayerLock* m_pLock = nullptr;
  codec::EncodeParams m_params;
};

template <const codec::FormatCalls& Calls>
class XImageCodecOf final : public XImageCodec {
 public:
  XImageCodecOf() : XImageCodec(Calls) {}
};

using XKestrum = XImageCodecOf<codec::kPngCalls>;
using XSevlin = XImageCodecOf<codec::kJpegCalls>;
using XHarsk = XImageCodecOf<codec::kBmpCalls>;

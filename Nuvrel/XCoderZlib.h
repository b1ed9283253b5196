// "XEncoderZlib" and "XDecoderZlib": pull a stream from the caller's input object and fill
// caller buffers with a plain zlib stream, or with the bytes of one, piece by piece (zlib);
// or code one whole buffer in a single call (OBlockEncoder / OBlockDecoder, libdeflate).
#pragma once
#include <zlib.h>

#include <cstdint>

#include "BlockDeflate.h"
#include "odata/GError.h"
#include "odata/OBlockCoder.h"
#include "odata/OCoder.h"

// The body both coders share; they differ only in which zlib half runs.
class XCoderZlib : public GComponent<OCoder> {
 public:
  enum State : int32_t { myREADY = 1, myCODING = 2 };

  BOOL OutputBegin(OCoderInput* input, GCoderState* state, int level) override;
  BOOL Output(void* buffer, UINT size, GCoderState* state) override;
  BOOL OutputEnd() override;

  State GetState() const { return m_myState; }
  const char16_t* GetName() const { return m_bDecoder ? u"XDecoderZlib" : u"XEncoderZlib"; }

 protected:
  explicit XCoderZlib(bool decoder) : m_bDecoder(decoder) {}
  // Destruction while coding ends the zlib stream and drops the input.
  ~XCoderZlib() override;
  void* FindInterface(const char16_t* name) override;

 private:
  int StreamInit(int level);
  int StreamStep();
  int StreamEnd();
  // Ends the zlib stream and drops the input; returns zlib's end code.
  int Close();
  void Fill(GCoderState* state, UINT written) const;

  const bool m_bDecoder;
  State m_myState = myREADY;
  // Last zlib code; Z_STREAM_END once the stream is complete.
  int m_nCode = Z_STREAM_ERROR;
  // The input gave its final piece; the encoder then finishes the stream.
  bool m_bLast = false;
  // Sticky: an input or zlib failure; no later Output succeeds.
  bool m_bFailed = false;
  z_stream m_stream{};
  OCoderInput* m_pInput = nullptr;
};

class XEncoderZlib final : public XCoderZlib, public OBlockEncoder {
 public:
  XEncoderZlib() : XCoderZlib(false) {}
  static const char16_t* GetClassName() { return u"XEncoderZlib"; }

  uint64_t EncodeBound(uint64_t inBytes, int level) override { return block_deflate::EncodeBound(inBytes, level); }
  uint64_t Encode(const void* in, uint64_t inBytes, void* out, uint64_t room, int level) override {
    return block_deflate::Encode(in, inBytes, out, room, level);
  }

 protected:
  void* FindInterface(const char16_t* name) override;
};

class XDecoderZlib final : public XCoderZlib, public OBlockDecoder {
 public:
  XDecoderZlib() : XCoderZlib(true) {}
  static const char16_t* GetClassName() { return u"XDecoderZlib"; }

  BOOL Decode(const void* in, uint64_t inBytes, void* out, uint64_t room, uint64_t* written) override {
    return block_deflate::Decode(in, inBytes, out, room, written) ? TRUE : FALSE;
  }

 protected:
  void* FindInterface(const char16_t* name) override;
};

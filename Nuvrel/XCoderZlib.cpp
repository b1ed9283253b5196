#include "XCoderZlib.h"

#include "platform/base/Text.h"

XCoderZlib::~XCoderZlib() {
  if (m_myState == myCODING) Close();
}

void* XCoderZlib::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"OCoder") == 0 ? static_cast<OCoder*>(this) : nullptr;
}

void* XEncoderZlib::FindInterface(const char16_t* name) {
  if (plat::StrCmp(name, u"OBlockEncoder") == 0) return static_cast<OBlockEncoder*>(this);
  return XCoderZlib::FindInterface(name);
}

void* XDecoderZlib::FindInterface(const char16_t* name) {
  if (plat::StrCmp(name, u"OBlockDecoder") == 0) return static_cast<OBlockDecoder*>(this);
  return XCoderZlib::FindInterface(name);
}

int XCoderZlib::StreamInit(int level) {
  m_stream = z_stream{};
  return m_bDecoder ? inflateInit(&m_stream) : deflateInit(&m_stream, level);
}

int XCoderZlib::StreamStep() {
  if (m_bDecoder) return inflate(&m_stream, Z_NO_FLUSH);
  return deflate(&m_stream, m_bLast ? Z_FINISH : Z_NO_FLUSH);
}

int XCoderZlib::StreamEnd() { return m_bDecoder ? inflateEnd(&m_stream) : deflateEnd(&m_stream); }

int XCoderZlib::Close() {
  int code = StreamEnd();
  OCoderInput* input = m_pInput;
  m_pInput = nullptr;
  m_myState = myREADY;
  if (input) input->Release();
  return code;
}

void XCoderZlib::Fill(GCoderState* state, UINT written) const {
  state->uTotalInput = uint32_t(m_stream.total_in);
  state->uTotalOutput = uint32_t(m_stream.total_out);
  state->uOutputSize = written;
  state->bStreamEnd = m_nCode == Z_STREAM_END ? 1 : 0;
}

BOOL XCoderZlib::OutputBegin(OCoderInput* input, GCoderState* state, int level) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    GCHECK(input && state);
    *state = GCoderState{};
    // zlib first: an input whose InputBegin succeeded is always ended by OutputEnd, and a
    // level zlib refuses leaves the input untouched.
    if (StreamInit(level) != Z_OK) return 0;
    BOOL begun = FALSE;
    try {
      begun = input->InputBegin();
    } catch (...) {
      StreamEnd();
      throw;
    }
    if (!begun) {
      StreamEnd();
      return 0;
    }
    input->AddRef();
    m_pInput = input;
    m_nCode = Z_STREAM_ERROR;
    m_bLast = false;
    m_bFailed = false;
    m_myState = myCODING;
    return 1;
  }
  GCATCH(GetName(), u"::OutputBegin()", ->AppendArg(GArgInt(m_myState)))
}

BOOL XCoderZlib::Output(void* buffer, UINT size, GCoderState* state) {
  try {
    GVERIFY(m_myState == myCODING, u"!m_myState==myCODING");
    GCHECK(state);
    if (m_bFailed || m_nCode == Z_STREAM_END) {
      Fill(state, 0);
      return m_bFailed ? 0 : 1;
    }
    // zlib wants an output address even when there is no room.
    Bytef spare = 0;
    m_stream.next_out = size ? static_cast<Bytef*>(buffer) : &spare;
    m_stream.avail_out = size;
    int code = Z_OK;
    for (;;) {
      const bool room = m_stream.avail_out > 0;
      // Without room the encoder cannot move; the decoder still reads on, so that a buffer
      // filled exactly by the last bytes also sees the check that closes the stream.
      if (!room && !m_bDecoder) break;
      if (m_stream.avail_in == 0 && !m_bLast) {
        const BYTE* next = nullptr;
        UINT avail = 0;
        BOOL last = FALSE;
        if (!m_pInput->Input(&next, &avail, &last)) {
          m_bFailed = true;
          break;
        }
        m_stream.next_in = const_cast<Bytef*>(next);
        m_stream.avail_in = next ? avail : 0;
        m_bLast = last != FALSE;
        if (m_stream.avail_in == 0 && !m_bLast) continue;  // an empty piece: ask again
      }
      code = StreamStep();
      if (code == Z_BUF_ERROR && !room) {
        // Needs room: the stream goes on in the caller's next buffer.
        code = Z_OK;
        break;
      }
      if (code != Z_OK) break;
    }
    m_nCode = code;
    // With room, a code other than Z_OK or Z_STREAM_END is a failure: a zlib error, a
    // stream that needs a dictionary, or input that ended before the stream did.
    if (m_nCode != Z_OK && m_nCode != Z_STREAM_END) m_bFailed = true;
    const UINT written = size - m_stream.avail_out;
    m_stream.next_out = nullptr;
    m_stream.avail_out = 0;
    Fill(state, written);
    if (m_bFailed) return 0;
    return m_nCode == Z_STREAM_END || written > 0;
  }
  GCATCH(GetName(), u"::Output()", ->AppendArg(GArgInt(m_myState)))
}

BOOL XCoderZlib::OutputEnd() {
  try {
    GVERIFY(m_myState == myCODING, u"!m_myState==myCODING");
    BOOL inputEnded = FALSE;
    try {
      inputEnded = m_pInput->InputEnd();
    } catch (...) {
      Close();
      throw;
    }
    const bool zlibEnded = Close() == Z_OK;
    if (!inputEnded || !zlibEnded || m_bFailed) m_nCode = Z_STREAM_ERROR;
    return m_nCode == Z_STREAM_END;
  }
  GCATCH(GetName(), u"::OutputEnd()", ->AppendArg(GArgInt(m_myState)))
}

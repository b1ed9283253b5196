// Stream coders: pull bytes from a caller's input object and fill caller buffers with a
// zlib stream ("XEncoderZlib") or the bytes of one ("XDecoderZlib").
#pragma once
#include <cstdint>

#include "OComponent.h"

struct GCoderState {
  uint32_t uTotalInput;
  uint32_t uTotalOutput;
  uint32_t uOutputSize;  // bytes written by the last Output
  uint32_t bStreamEnd;   // 1 once the stream has ended
};
static_assert(sizeof(GCoderState) == 16);

// Implemented by callers.
struct ODATA_EXPORT OCoderInput : OBeing {
  virtual BOOL InputBegin() = 0;
  // Gives the next piece of input; *last is set with the final piece. FALSE stops.
  virtual BOOL Input(const BYTE** next, UINT* avail, BOOL* last) = 0;
  virtual BOOL InputEnd() = 0;
};

struct ODATA_EXPORT OCoder : OComponent {
  // 0 when the input refuses or the stream cannot start; the decoder ignores level.
  virtual BOOL OutputBegin(OCoderInput* input, GCoderState* state, int level) = 0;
  // Fills the buffer; 0 on failure (and whenever no progress is possible).
  virtual BOOL Output(void* buffer, UINT size, GCoderState* state) = 0;
  // 1 only when the stream ended properly.
  virtual BOOL OutputEnd() = 0;
};

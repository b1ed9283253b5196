// Whole-buffer coding beside OCoder's piecewise streams: one call turns a contiguous buffer
// into a complete zlib stream, or decodes one such stream into a buffer. "XEncoderZlib"
// answers GetInterface(u"OBlockEncoder") and "XDecoderZlib" GetInterface(u"OBlockDecoder");
// the interface lives as long as its component and adds no reference of its own. Either
// call may run on any thread; each thread keeps its own coder state.
#pragma once
#include <cstdint>

#include "platform/base/Types.h"

struct OBlockEncoder {
  // The most stream bytes Encode may need for inBytes of input at that level.
  virtual uint64_t EncodeBound(uint64_t inBytes, int level) = 0;
  // Writes the zlib stream of in[0, inBytes) into out at level (1 fastest .. 12 smallest);
  // returns its size, or 0 when it does not fit in room or the level is refused.
  virtual uint64_t Encode(const void* in, uint64_t inBytes, void* out, uint64_t room, int level) = 0;

 protected:
  ~OBlockEncoder() = default;
};

struct OBlockDecoder {
  // Decodes the zlib stream at the start of in into out. TRUE, with *written set, when the
  // stream is whole and fits in room (it may fill less of it; bytes after it are not looked
  // at); FALSE when it is damaged, cut short or longer than room.
  virtual BOOL Decode(const void* in, uint64_t inBytes, void* out, uint64_t room, uint64_t* written) = 0;

 protected:
  ~OBlockDecoder() = default;
};

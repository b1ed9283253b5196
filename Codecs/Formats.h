// The three formats' readers and writers on stdio streams: Kestrum (PNG, on libpng), Sevlin
// (JPEG, on libjpeg-turbo) and Harsk (BMP, our own). Every reader checks the size before it
// allocates anything that grows with the image, and decodes row by row straight into the
// locked layer. A reader or writer answers false with the error set.
#pragma once
#include "CodecCore.h"

namespace codec {

// The functions of one format; the component calls them.
struct FormatCalls {
  bool (*readHead)(FILE* f, ImageHead* head, CodecError* err);
  bool (*decode)(FILE* f, const LayerLock& lock, CodecError* err);
  bool (*encode)(FILE* f, const LayerLock& lock, const EncodeParams& params, CodecError* err);
};

bool PngReadHead(FILE* f, ImageHead* head, CodecError* err);
bool PngDecode(FILE* f, const LayerLock& lock, CodecError* err);
// RGBA 8-bit for a colour layer, grey and alpha 8-bit for a mask layer, zlib's default level.
bool PngEncode(FILE* f, const LayerLock& lock, const EncodeParams& params, CodecError* err);

bool JpegReadHead(FILE* f, ImageHead* head, CodecError* err);
bool JpegDecode(FILE* f, const LayerLock& lock, CodecError* err);
// RGB over the background; no chroma subsampling from quality 90 on.
bool JpegEncode(FILE* f, const LayerLock& lock, const EncodeParams& params, CodecError* err);

bool BmpReadHead(FILE* f, ImageHead* head, CodecError* err);
bool BmpDecode(FILE* f, const LayerLock& lock, CodecError* err);
// 32-bit BGRA with an alpha mask when any pixel is less than opaque, else 24-bit.
bool BmpEncode(FILE* f, const LayerLock& lock, const EncodeParams& params, CodecError* err);

inline constexpr FormatCalls kPngCalls{PngReadHead, PngDecode, PngEncode};
inline constexpr FormatCalls kJpegCalls{JpegReadHead, JpegDecode, JpegEncode};
inline constexpr FormatCalls kBmpCalls{BmpReadHead, BmpDecode, BmpEncode};

}  // namespace codec

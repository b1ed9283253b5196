// What the three codecs share: the error in plain words, the image head with its size check,
// the check of the target layer, and the layer rows as 8-bit pixels for the writers. The
// readers and writers work on stdio streams, so tests and fuzz targets can feed them memory.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "OImageCodec.h"

struct JobControl;

namespace codec {

// The last failure of a reader or writer, in plain words.
class CodecError {
 public:
  // printf-style; the first failure of a call is kept, later ones add nothing.
  void Set(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Clear() { m_text.clear(); }
  bool Empty() const { return m_text.empty(); }
  const std::string& Text() const { return m_text; }

 private:
  std::string m_text;
};

struct ImageHead {
  int width = 0;
  int height = 0;
  int bits = 0;    // bits per sample in the file
  int format = 0;  // OLayer::myFORMAT_A16 or myFORMAT_C32
};

// Sides in 1..IMAGE_SIDE_MAX, else the error names the size.
bool CheckSize(int64_t width, int64_t height, CodecError* err);
// The locked layer must have the image's size and the pixel size of its format.
bool CheckTarget(const LayerLock& lock, const ImageHead& head, CodecError* err);

// What a writer needs besides the layer.
struct EncodeParams {
  int quality = 100;           // 1..100, JPEG only
  uint32_t background = 0;     // 0x00RRGGBB
  JobControl* control = nullptr;  // progress by row; the abort bit stops the writer
};

// Between rows: reports the row and answers false (with the error set) when abort is asked.
bool WriterGoesOn(const EncodeParams& params, int row, int rows, CodecError* err);

// A layer row as 8-bit pixels: a colour layer as it is (B, G, R, A bytes); a mask layer as
// the grey of its colour with the coverage's high byte as alpha.
void RowToBgra(const LayerLock& lock, int y, uint8_t* out);
// The same for a mask layer as grey and alpha byte pairs.
void MaskRowToGreyAlpha(const LayerLock& lock, int y, uint8_t* out);
// The grey a mask layer exports in: the luminance of its colour (red in the low byte).
uint8_t MaskGrey(uint32_t layerColour);
// TRUE when any pixel is less than opaque.
bool LayerHasAlpha(const LayerLock& lock);
// The grey value a mask layer takes for an 8-bit grey sample (16-bit samples are taken as
// they are).
inline uint16_t CoverageOf8(uint8_t grey) { return uint16_t(grey * 257); }

// A stream's length from its current position to the end (the position is kept); -1 when
// it cannot be told.
int64_t BytesLeft(FILE* f);

}  // namespace codec

// The image codec components ("Kestrum" PNG, "Sevlin" JPEG, "Harsk" BMP) as the layer list
// and the picture export call them. Slot order is fixed here; both sides build from it.
#pragma once
#include <cstdint>

#include "odata/OComponent.h"
#include "odata/OLayer.h"
#include "odata/OWorker.h"

// What ReadInfo finds: four 32-bit fields.
struct ImageInfo {
  uint32_t width;
  uint32_t height;
  uint32_t bits;    // bits per sample of the file (informative)
  uint32_t format;  // OLayer::myFORMAT_A16 (grey without alpha) or myFORMAT_C32
};
static_assert(sizeof(ImageInfo) == 16);

// The largest side a codec reads or writes.
constexpr uint32_t IMAGE_SIDE_MAX = 10000;

struct OImageCodec : OComponent {
  // Reads the size and the layer format an image would take; FALSE (GetErrorText says why)
  // when the file is not one this codec reads or its size is outside 1..IMAGE_SIDE_MAX.
  virtual BOOL ReadInfo(const char16_t* path, ImageInfo* info) = 0;
  // Decodes the whole image straight into the locked layer, whose size and format must be
  // the ones ReadInfo gave. FALSE on any damage: the layer's pixels are then not to be used.
  virtual BOOL Decode(const char16_t* path, LayerLock* lock, UINT reserved) = 0;
  // Prepares the job that writes the locked layer (source 0) to path: quality 1..100 (JPEG),
  // background 0x00RRGGBB (put under transparent pixels where the file has no alpha). The
  // codec and the lock must outlive the job; its result is TRUE once the file is complete.
  virtual BOOL Encode(const char16_t* path, LayerLock* lock, int quality, uint32_t background, UINT source,
                      JobRecord* job) = 0;
  // What went wrong last, in plain words; empty when nothing did.
  virtual const char16_t* GetErrorText() = 0;
};

#include "OLayer.h"

#include "GError.h"
#include "LittleEndian.h"

void StoreLayerInfo(const LayerInfo& info, BYTE out[LAYER_INFO_BYTES]) {
  const uint32_t fields[8] = {uint32_t(info.nWidth), uint32_t(info.nHeight), uint32_t(info.nPitch),
                              uint32_t(info.nPixelSize), uint32_t(info.x), uint32_t(info.y),
                              info.dwColor, 0};
  for (int i = 0; i < 8; ++i) PutLE32(out + 4 * i, fields[i]);
}

LayerInfo LoadLayerInfo(const BYTE in[LAYER_INFO_BYTES]) {
  LayerInfo info;
  info.nWidth = int32_t(GetLE32(in));
  info.nHeight = int32_t(GetLE32(in + 4));
  info.nPitch = int32_t(GetLE32(in + 8));
  info.nPixelSize = int32_t(GetLE32(in + 12));
  info.x = int32_t(GetLE32(in + 16));
  info.y = int32_t(GetLE32(in + 20));
  info.dwColor = GetLE32(in + 24);
  info.dwReserved = GetLE32(in + 28);
  return info;
}

LayerLock::~LayerLock() {
  // An unlock that fails while unwinding must not end the program.
  try {
    Unlock();
  } catch (OBeing* e) {
    e->AddRef();
    e->Release();
  }
}

BOOL LayerLock::Lock(OLayer* layer, UINT flags) {
  Unlock();
  if (layer && layer->Lock(this, flags)) {
    pLayer = layer;
    return TRUE;
  }
  return FALSE;
}

void LayerLock::Unlock() {
  if (OLayer* held = pLayer) {
    pLayer = nullptr;
    held->Unlock();
  }
}

// An undo block that keeps a layer which left its row (deleted, merged, or rotated, scaled or
// converted into a new one) instead of a copy of its pixels: the command answers without copying the layer,
// and an undo puts the very layer back. The block reads as the layer's backup, the bytes
// made on first read: when the undo recorder's flush thread swaps the step out, that thread
// makes them and the layer goes. Private to the list's own sources.
#pragma once
#include <atomic>
#include <mutex>

#include "odata/GCompRef.h"
#include "odata/OData.h"
#include "odata/OLayer.h"

class CHeldLayerBlock final : public OData {
 public:
  // The block for a layer nobody changes any more (count 0, as GNewData makes blocks).
  static OData* Hold(OLayer* layer);
  // The layer a block still keeps; null for any other block, or once its bytes were made.
  static OLayer* HeldLayer(OData* block);

  int32_t AddRef() override { return ++m_refs; }
  int32_t Release() override;
  size_t GetSize() override;
  BYTE* GetBuffer() override { return Bytes()->GetBuffer(); }
  void Rewind() override;
  OData* Write(const void* src, size_t cb) override;
  BYTE* Read(void* dst, size_t cb) override { return Bytes()->Read(dst, cb); }
  BYTE* GetFragment(UINT index) override { return Bytes()->GetFragment(index); }
  UINT GetFragmentCount() override { return Bytes()->GetFragmentCount(); }
  size_t GetPosition() override;

 private:
  explicit CHeldLayerBlock(OLayer* layer);
  // The backup, made once; the layer is let go then.
  OData* Bytes();

  std::atomic<int32_t> m_refs{0};
  std::mutex m_mutex;  // the UI thread asks for the layer while the flush thread may make the bytes
  GCompRef<OLayer> m_cpLayer;
  GCompRef<OData> m_cpBytes;
  size_t m_cbSize;
};

#include "HeldLayerBlock.h"

#include "odata/GError.h"

namespace {
// The backup's surface: level 0's pitch by its rows rounded up to 64, as the layer allocates it.
size_t BackupBytes(OLayer* layer) {
  LayerInfo info;
  layer->GetInfo(&info);
  const uint64_t rows = (uint64_t(info.nHeight) + 63) & ~uint64_t(63);
  return size_t(LAYER_RECORD_PIXELS + uint64_t(info.nPitch) * rows * uint64_t(info.nPixelSize));
}
}  // namespace

CHeldLayerBlock::CHeldLayerBlock(OLayer* layer) : m_cpLayer(layer), m_cbSize(BackupBytes(layer)) {}

OData* CHeldLayerBlock::Hold(OLayer* layer) {
  GVERIFY(layer, u"!poLayer");
  return new CHeldLayerBlock(layer);
}

OLayer* CHeldLayerBlock::HeldLayer(OData* block) {
  auto* held = dynamic_cast<CHeldLayerBlock*>(block);
  if (!held) return nullptr;
  std::lock_guard<std::mutex> lock(held->m_mutex);
  return held->m_cpLayer.get();
}

int32_t CHeldLayerBlock::Release() {
  const int32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}

OData* CHeldLayerBlock::Bytes() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_cpBytes) {
    m_cpBytes = m_cpLayer->Backup(nullptr);  // count 0: the block takes the one reference
    GVERIFY(m_cpBytes && m_cpBytes->GetSize() == m_cbSize, u"!poData->GetSize()==nSize");
    m_cpLayer.Release();
  }
  return m_cpBytes.get();
}

size_t CHeldLayerBlock::GetSize() { return m_cbSize; }

// A kept layer reads from its start already; only made bytes have a cursor.
void CHeldLayerBlock::Rewind() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_cpBytes) m_cpBytes->Rewind();
}

size_t CHeldLayerBlock::GetPosition() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_cpBytes ? m_cpBytes->GetPosition() : 0;
}

OData* CHeldLayerBlock::Write(const void*, size_t) { GTHROW(u"!poData->Write()"); }

// The undo data of a paint transaction whose every block is marked, keeping the backup's
// surface itself instead of a copy of it: the transaction ends without copying the layer.
// It reads as PAT_Backup's record (the head, then the surface's rows in order, which is the
// walk order of a map with every block marked); the fragmented copy the undo recorder's swap
// needs is made on its first request, on the thread that asks, and the surface goes then.
#pragma once
#include <atomic>
#include <mutex>
#include <vector>

#include "odata/GCompRef.h"
#include "odata/OData.h"

class HeldSurfaceBlock final : public OData {
 public:
  // Takes the surface (freed with std::free) of surfaceBytes after the head's bytes; count 0.
  HeldSurfaceBlock(std::vector<BYTE> head, BYTE* surface, size_t surfaceBytes);
  ~HeldSurfaceBlock() override;
  HeldSurfaceBlock(const HeldSurfaceBlock&) = delete;
  HeldSurfaceBlock& operator=(const HeldSurfaceBlock&) = delete;

  int32_t AddRef() override { return ++m_refs; }
  int32_t Release() override;
  size_t GetSize() override { return m_head.size() + m_cbSurface; }
  // Null, as for any fragmented block.
  BYTE* GetBuffer() override { return nullptr; }
  void Rewind() override;
  OData* Write(const void* src, size_t cb) override;
  BYTE* Read(void* dst, size_t cb) override;
  BYTE* GetFragment(UINT index) override { return Fragmented()->GetFragment(index); }
  UINT GetFragmentCount() override { return Fragmented()->GetFragmentCount(); }
  size_t GetPosition() override;

 private:
  // The fragmented copy, made once; the surface is freed then.
  OData* Fragmented();

  std::atomic<int32_t> m_refs{0};
  std::mutex m_mutex;  // the undo reads on the UI thread while the swap may make the copy
  std::vector<BYTE> m_head;
  BYTE* m_pSurface;
  size_t m_cbSurface;
  size_t m_cbSite = 0;
  GCompRef<OData> m_cpFragmented;
};

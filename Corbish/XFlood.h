// "XFlood": the paint bucket's flood fill over a layer into 1-bit maps.
#pragma once
#include <cstdint>

#include "odata/GError.h"
#include "odata/OComponent.h"
#include "odata/OFlood.h"
#include "odata/OLayer.h"

// The fill's work list: runs of region pixels of one row whose neighbours are still to be
// tested, first in first out, in blocks of 8192 runs. A drained block is kept as the spare
// for the next push, so a fill does not churn the allocator; Clear frees everything, and the
// fill calls it when it ends, so the object holds no memory between calls.
class FloodRunQueue {
 public:
  struct Run {
    int32_t y;
    int32_t x0;  // first and last pixel, inclusive
    int32_t x1;
  };
  static constexpr uint32_t kBlockRuns = 8192;

  FloodRunQueue() = default;
  ~FloodRunQueue() { Clear(); }
  FloodRunQueue(const FloodRunQueue&) = delete;
  FloodRunQueue& operator=(const FloodRunQueue&) = delete;

  bool Empty() const { return !m_pHead || (m_pHead == m_pTail && m_nRead == m_nWrite); }
  void Push(const Run& run) {
    if (!m_pTail || m_nWrite == kBlockRuns) Grow();
    m_pTail->runs[m_nWrite++] = run;
  }
  Run Pop() {
    Run run = m_pHead->runs[m_nRead++];
    if (m_nRead == kBlockRuns) Drop();
    return run;
  }
  // Free places at the tail, which WriteAt fills and Commit queues in order.
  uint32_t Room() const { return m_pTail ? kBlockRuns - m_nWrite : 0; }
  Run* WriteAt() { return m_pTail->runs + m_nWrite; }
  void Commit(uint32_t n) { m_nWrite += n; }
  void Clear();
  // Blocks held now (queued and spare), for the memory bound.
  uint32_t BlockCount() const { return m_nBlocks; }
  // The most blocks held at once since the last Clear.
  uint32_t PeakBlockCount() const { return m_nPeak; }

 private:
  struct Block {
    Block* next;
    Run runs[kBlockRuns];
  };
  void Grow();
  void Drop();

  Block* m_pHead = nullptr;
  Block* m_pTail = nullptr;
  Block* m_pSpare = nullptr;
  uint32_t m_nRead = 0;
  uint32_t m_nWrite = 0;
  uint32_t m_nBlocks = 0;
  uint32_t m_nPeak = 0;
};

class XFlood final : public GComponent<OFlood> {
 public:
  XFlood() = default;
  ~XFlood() override = default;

  BOOL Flood(DWORD* bitbox, const RECT* rcBitbox, const RECT* rcEnd, const POINT* seed, unsigned tolerance,
             OLayer* layer, RECT* rcOut) override;
  BOOL MergeBitboxToBitmap(DWORD* bitmap, const RECT* rcBitmap, DWORD* bitbox, const RECT* rcBitbox,
                           const POINT* centre, int radius) override;
  BOOL CopyBitmapToBitbox(DWORD* bitbox, const RECT* rcBitbox, const DWORD* bitmap, const RECT* rcBitmap) override;

  static const char16_t* GetClassName() { return u"XFlood"; }
  // The most queue blocks the last Flood held at once.
  uint32_t GetPeakQueueBlocks() const { return m_nLastPeak; }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  FloodRunQueue m_queue;
  uint32_t m_nLastPeak = 0;
};

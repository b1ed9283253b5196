// Paint transactions: the backup and helper surfaces of an edit, the block marks that
// record what it touched, and the glass merge that ends a brush stroke.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "BlockRuns.h"
#include "GlassKernels.h"
#include "Morvane.h"
#include "Surface.h"
#include "odata/GCompRef.h"

namespace {

// The backup copy goes in steps this large so that an abort request is seen quickly.
constexpr size_t kCopyStep = 0x400000;

// Calls f(byte offset, bytes) for every pixel row of every run of marked blocks, in the
// walk order of the undo data.
template <class F>
void ForEachMarkedRow(const BYTE* map, int columns, int rows, size_t rowBytes, size_t pixelSize, F&& f) {
  ForEachRun(map, columns, rows, [&](const BlockRun& run) {
    size_t offset = size_t(run.row) * LYR_BLOCK * rowBytes + size_t(run.column) * LYR_BLOCK * pixelSize;
    size_t bytes = size_t(run.count) * LYR_BLOCK * pixelSize;
    for (int line = 0; line < LYR_BLOCK; ++line, offset += rowBytes) f(offset, bytes);
  });
}

}  // namespace

int Morvane::PAT_PrepareActivate(UINT flags, JobRecord* job) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    m_dwSession = 0;
    uint32_t word = flags;
    if (job) {
      GVERIFY(job->pArgs, u"!pAgm->pArgs");
      job->object = this;
      job->proc = JobThunk<Morvane, &Morvane::PrepareWorker>;
      job->name = u"unknown";
      job->kind = 6;
      job->pArgs->Rewind();
      return job->pArgs->Write(&word, sizeof word) ? 1 : 0;
    }
    GCompRef<OData> args = GNewData(4096);
    args->Write(&word, sizeof word);
    JobControl control;
    JobRecord local{args, u"unknown", 6, -1, this, JobThunk<Morvane, &Morvane::PrepareWorker>};
    return PrepareWorker(&local, &control);
  }
  GCATCH(GetClassName(), u"::PAT_PrepareActivate()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgUint(flags)))
}

int32_t Morvane::PrepareWorker(JobRecord* job, JobControl* control) {
  uint32_t flags = 0;
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(job && job->pArgs, u"!pAgm->pArgs");
    JobControl own;
    if (!control) control = &own;
    job->pArgs->Rewind();
    job->pArgs->Read(&flags, sizeof flags);
    control->progress = 0;
    control->total = 100;
    m_dwSession = 0;
    auto aborted = [control] { return (control->flags & JOB_ABORT) != 0; };
    const size_t bytes = size_t(m_nPrimarySurfaceMemorySize);

    if (flags & PAT_F_BACKUP) {
      if (aborted()) return 0;
      if (!m_pBackupBuffer) {
        m_pBackupBuffer = AllocLayerSurface(bytes);
        GVERIFY(m_pBackupBuffer, u"!m_pBackupBuffer=(LPBYTE)_aligned_malloc( m_nPrimarySurfaceMemorySize+4, 8)");
      }
      const size_t total = bytes + LAYER_SURFACE_SPARE;
      for (size_t done = 0; done < total;) {
        if (aborted()) return 0;
        size_t piece = std::min(kCopyStep, total - done);
        std::memcpy(m_pBackupBuffer + done, m_apPixels[0] + done, piece);
        done += piece;
        control->progress = int32_t(uint64_t(done) * 100 / total);
      }
    }
    if ((flags & PAT_F_HELPER_C32) && m_nPixelSize == myFORMAT_C32) flags |= PAT_F_HELPER;
    if (flags & PAT_F_HELPER) {
      if (aborted()) return 0;
      if (!m_pHelperBuffer) {
        m_pHelperBuffer = AllocLayerSurface(bytes);
        GVERIFY(m_pHelperBuffer, u"!m_pHelperBuffer=(LPBYTE)_aligned_malloc( m_nPrimarySurfaceMemorySize+4, 8)");
      }
      if (aborted()) return 0;
      std::memset(m_pHelperBuffer, 0, bytes + LAYER_SURFACE_SPARE);
    }
    m_dwSession = flags | PAT_F_ACTIVE;
    control->progress = 100;
    return 1;
  }
  GCATCH(GetClassName(), u"::PrepareWorker()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgUint(flags)))
}

void Morvane::PAT_Deactivate() {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    m_dwSession = 0;
    std::free(m_pBackupBuffer);
    std::free(m_pHelperBuffer);
    m_pBackupBuffer = nullptr;
    m_pHelperBuffer = nullptr;
  }
  GCATCH(GetClassName(), u"::PAT_Deactivate()", ->AppendArg(GArgInt(m_myState)))
}

namespace {
// Copies the marked blocks from one surface to the other and clears them in the helper.
void CopyMarked(const BYTE* map, int columns, int rows, size_t rowBytes, size_t pixelSize, const BYTE* from, BYTE* to,
                BYTE* helper) {
  ForEachMarkedRow(map, columns, rows, rowBytes, pixelSize, [&](size_t offset, size_t bytes) {
    std::memcpy(to + offset, from + offset, bytes);
    if (helper) std::memset(helper + offset, 0, bytes);
  });
}
}  // namespace

void Morvane::PAT_Cancel() {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(m_pBackupBuffer, u"!m_pBackupBuffer");
    m_occupancy.MarkMap(m_abMarkCurrent);
    CopyMarked(m_abMarkCurrent, BlockColumns(), BlockRows(), RowBytes(), size_t(m_nPixelSize), m_pBackupBuffer,
               m_apPixels[0], m_pHelperBuffer);
  }
  GCATCH(GetClassName(), u"::PAT_Cancel()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::PAT_Turn(BOOL bRestore) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(m_pBackupBuffer, u"!m_pBackupBuffer");
    const BYTE* from = bRestore ? m_pBackupBuffer : m_apPixels[0];
    BYTE* to = bRestore ? m_apPixels[0] : m_pBackupBuffer;
    if (bRestore) m_occupancy.MarkMap(m_abMarkCurrent);
    CopyMarked(m_abMarkCurrent, BlockColumns(), BlockRows(), RowBytes(), size_t(m_nPixelSize), from, to,
               m_pHelperBuffer);
  }
  GCATCH(GetClassName(), u"::PAT_Turn()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(bRestore)))
}

void Morvane::PAT_MarkCopyTo(OLayer* dest) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(dest, u"!poLayerDest");
    GVERIFY(m_nWidth == dest->GetWidth(), u"!m_nWidth==poLayerDest->GetWidth()");
    GVERIFY(m_nHeight == dest->GetHeight(), u"!m_nHeight==poLayerDest->GetHeight()");
    auto* other = static_cast<OLayer*>(dest->GetInterface(u"OLayer__"));
    GVERIFY(other, u"!poLayerDest__");
    BYTE* to = other->PAT_GetMarkMap();
    ForEachRun(m_abMarkCurrent, BlockColumns(), BlockRows(), [&](const BlockRun& run) {
      size_t at = size_t(run.row) * LYR_MARK_SIDE + size_t(run.column);
      for (int i = 0; i < run.count; ++i) to[at + i] |= m_abMarkCurrent[at + i];
    });
  }
  GCATCH(GetClassName(), u"::PAT_MarkCopyTo()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::PAT_MarkSet(const RECT* rc, RECT* out) {
  try {
    GVERIFY(m_myState != myNULL, u"!m_myState!=myNULL");
    RECT own;
    if (!rc) {
      GetRect(&own);
      rc = &own;
    }
    // 64-bit throughout: a rectangle may reach far past the layer either way.
    const int64_t x = m_x, y = m_y;
    const int64_t left0 = rc->left > x ? rc->left - x : 0;
    const int64_t top0 = rc->top > y ? rc->top - y : 0;
    const int64_t w = std::max<int64_t>(0, std::min<int64_t>(x + m_nWidth, rc->right) - std::max<int64_t>(x, rc->left));
    const int64_t h =
        std::max<int64_t>(0, std::min<int64_t>(y + m_nHeight, rc->bottom) - std::max<int64_t>(y, rc->top));
    const int64_t b0 = left0 / LYR_BLOCK, b1 = (left0 + w + LYR_BLOCK - 1) / LYR_BLOCK;
    const int64_t r0 = top0 / LYR_BLOCK, r1 = (top0 + h + LYR_BLOCK - 1) / LYR_BLOCK;
    if (out) {
      *out = RECT{int32_t(x + b0 * LYR_BLOCK), int32_t(y + r0 * LYR_BLOCK), int32_t(x + b1 * LYR_BLOCK),
                  int32_t(y + r1 * LYR_BLOCK)};
    }
    if (w > 0 && h > 0) {
      for (int64_t r = r0; r < r1; ++r) {
        size_t at = size_t(r) * LYR_MARK_SIDE + size_t(b0);
        std::memset(m_abMarkCurrent + at, 1, size_t(b1 - b0));
        std::memset(m_abMarkAccumulated + at, 1, size_t(b1 - b0));
        std::memset(m_abMarkMipPending + at, 1, size_t(b1 - b0));
      }
      m_occupancy.MarkBlocks(int(b0), int(r0), int(b1), int(r1));
      const RECT blocks{LONG(b0), LONG(r0), LONG(b1), LONG(r1)};
      RECT& box = m_rcMipPending;
      box = box.left >= box.right ? blocks
                                  : RECT{std::min(box.left, blocks.left), std::min(box.top, blocks.top),
                                         std::max(box.right, blocks.right), std::max(box.bottom, blocks.bottom)};
    }
  }
  GCATCH(GetClassName(), u"::PAT_MarkSet()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::PAT_MarkClear() {
  std::memset(m_abMarkCurrent, 0, LYR_MARK_BYTES);
  ForgetMipPending();
}

void Morvane::ForgetMipPending() {
  const RECT& box = m_rcMipPending;
  for (LONG r = box.top; r < box.bottom && box.left < box.right; ++r)
    std::memset(m_abMarkMipPending + size_t(r) * LYR_MARK_SIDE + size_t(box.left), 0, size_t(box.right - box.left));
  m_rcMipPending = RECT{};
}

int Morvane::PAT_MarkReset() {
  m_dwChange = 0;
  std::memset(m_abMarkCurrent, 0, LYR_MARK_BYTES);
  std::memset(m_abMarkAccumulated, 0, LYR_MARK_BYTES);
  ForgetMipPending();
  return 0;
}

BOOL Morvane::PAT_MarkRecall() {
  std::memcpy(m_abMarkCurrent, m_abMarkAccumulated, LYR_MARK_BYTES);
  return CountMarked(m_abMarkCurrent, BlockColumns(), BlockRows()) ? TRUE : FALSE;
}

void Morvane::PAT_MergeMarks() {
  for (size_t i = 0; i < LYR_MARK_BYTES; ++i) m_abMarkAccumulated[i] |= m_abMarkCurrent[i];
}

int Morvane::PAT_GlassMergeTo(OLayer* dest) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(m_nFormat == myFORMAT_A16, u"!m_nFormat==OLayer::myFORMAT_A16");
    GVERIFY(dest, u"!poLayerDest");
    GVERIFY(m_nWidth == dest->GetWidth(), u"!m_nWidth==poLayerDest->GetWidth()");
    GVERIFY(m_nHeight == dest->GetHeight(), u"!m_nHeight==poLayerDest->GetHeight()");
    glass::Params params;
    params.opacity = uint32_t(m_property.Value(LayerProperty::ALPHA)) * 256 / 100;
    params.mode = m_property.Value(LayerProperty::MODE);
    const uint32_t c = m_dwColor;
    params.color = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);

    // dest's map of non-empty blocks gains the glass's marked blocks before they are written
    // (its transaction marks stay as they are), so it stays known; a layer of another kind
    // is left unsure.
    auto* target = static_cast<Morvane*>(dest->GetInterface(u"Morvane"));
    if (target) target->m_occupancy.MarkMap(m_abMarkCurrent);
    LayerLock lock;
    lock.Lock(dest, target ? LYR_LOCK_MARKED : 0);
    // Same width, so the same pitch: one pixel index serves both layers.
    const size_t pitch = m_anPitch[0];
    const bool colour = lock.nPixelSize == myFORMAT_C32;
    const auto mergeRow = glass::HasAvx2() ? glass::MergeRowC32Avx2 : glass::MergeRowC32Sse2;
    const auto* glassPixels = reinterpret_cast<const uint16_t*>(m_apPixels[0]);
    int blocks = 0;
    ForEachRun(m_abMarkCurrent, BlockColumns(), BlockRows(), [&](const BlockRun& run) {
      blocks += run.count;
      const size_t n = size_t(run.count) * LYR_BLOCK;
      size_t at = size_t(run.row) * LYR_BLOCK * pitch + size_t(run.column) * LYR_BLOCK;
      for (int line = 0; line < LYR_BLOCK; ++line, at += pitch) {
        if (colour) {
          mergeRow(reinterpret_cast<uint32_t*>(lock.pPixels) + at, glassPixels + at, n, params);
        } else {
          glass::MergeRowA16Sse2(reinterpret_cast<uint16_t*>(lock.pPixels) + at, glassPixels + at, n, params.opacity);
        }
      }
    });
    lock.Unlock();
    return blocks;
  }
  GCATCH(GetClassName(), u"::PAT_GlassMergeTo()", ->AppendArg(GArgInt(m_myState)))
}

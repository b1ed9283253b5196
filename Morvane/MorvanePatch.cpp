// The undo data of a paint transaction: the layer's info, its current block-mark map and
// the pixels of the marked 64 x 64 blocks, in a fragmented data block.
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "BlockRuns.h"
#include "HeldSurfaceBlock.h"
#include "Morvane.h"

namespace {

// Info and map ahead of the pixels.
constexpr size_t kHeaderBytes = LAYER_INFO_BYTES + LYR_MARK_BYTES;
constexpr uint64_t kBlockPixels = uint64_t(LYR_BLOCK) * LYR_BLOCK;

// Calls f(byte offset, bytes) for every pixel row of every run of marked blocks: block
// rows from the top, runs from the left, each run's rows from the top.
template <class F>
void ForEachMarkedRow(const BYTE* map, int columns, int rows, size_t rowBytes, size_t pixelSize, F&& f) {
  ForEachRun(map, columns, rows, [&](const BlockRun& run) {
    size_t offset = size_t(run.row) * LYR_BLOCK * rowBytes + size_t(run.column) * LYR_BLOCK * pixelSize;
    size_t bytes = size_t(run.count) * LYR_BLOCK * pixelSize;
    for (int line = 0; line < LYR_BLOCK; ++line, offset += rowBytes) f(offset, bytes);
  });
}

}  // namespace

uint64_t Morvane::PAT_GetBackupSize() {
  uint64_t n = CountMarked(m_abMarkCurrent, BlockColumns(), BlockRows());
  return kHeaderBytes + n * uint64_t(m_nPixelSize) * kBlockPixels;
}

OData* Morvane::PAT_DeactivateToBackup() {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(m_pBackupBuffer, u"!m_pBackupBuffer");
    const int columns = BlockColumns(), rows = BlockRows();
    OData* data;
    if (CountMarked(m_abMarkCurrent, columns, rows) == uint32_t(columns) * uint32_t(rows)) {
      // Every block's rows in order are the surface's bytes in order.
      std::vector<BYTE> head(kHeaderBytes);
      LayerInfo info;
      GetInfo(&info);
      StoreLayerInfo(info, head.data());
      std::memcpy(head.data() + LAYER_INFO_BYTES, m_abMarkCurrent, LYR_MARK_BYTES);
      data = new HeldSurfaceBlock(std::move(head), m_pBackupBuffer, size_t(m_nPrimarySurfaceMemorySize));
      m_pBackupBuffer = nullptr;
    } else {
      data = PAT_Backup(TRUE);
    }
    PAT_Deactivate();
    return data;
  }
  GCATCH(GetClassName(), u"::PAT_DeactivateToBackup()", ->AppendArg(GArgInt(m_myState)))
}

OData* Morvane::PAT_Backup(BOOL bFromBackup) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    const BYTE* source = bFromBackup ? m_pBackupBuffer : m_apPixels[0];
    GVERIFY(source, u"!m_pBackupBuffer");
    // A page that cannot be had throws from Init as the exhausted resource it is.
    std::unique_ptr<OData> block(GNewFragmented(size_t(PAT_GetBackupSize())));
    LayerInfo info;
    GetInfo(&info);
    BYTE head[LAYER_INFO_BYTES];
    StoreLayerInfo(info, head);
    block->Write(head, sizeof head);
    block->Write(m_abMarkCurrent, LYR_MARK_BYTES);
    ForEachMarkedRow(m_abMarkCurrent, BlockColumns(), BlockRows(), RowBytes(), size_t(m_nPixelSize),
                     [&](size_t offset, size_t bytes) { block->Write(source + offset, bytes); });
    return block.release();
  }
  GCATCH(GetClassName(), u"::PAT_Backup()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(bFromBackup)))
}

uint32_t Morvane::PAT_ReadRecordMap(OData* data, BYTE* map) {
  GVERIFY(data, u"!poData");
  const size_t size = data->GetSize();
  GVERIFY(size >= kHeaderBytes, u"!poData->GetSize()==cbDataSize");
  data->Rewind();
  BYTE head[LAYER_INFO_BYTES];
  data->Read(head, sizeof head);
  LayerInfo info = LoadLayerInfo(head);
  if (info.nWidth != m_nWidth || info.nHeight != m_nHeight || info.nPitch != int32_t(m_anPitch[0]) ||
      info.nPixelSize != m_nPixelSize || info.x != m_x || info.y != m_y)
    GTHROW(u"INFO_NO_MATCH");
  data->Read(map, LYR_MARK_BYTES);
  uint64_t n = CountMarked(map, BlockColumns(), BlockRows());
  uint64_t cbDataSize = kHeaderBytes + n * uint64_t(m_nPixelSize) * kBlockPixels;
  GVERIFY(size == cbDataSize, u"!poData->GetSize()==cbDataSize");
  return uint32_t(n);
}

int Morvane::PAT_Restore(OData* data) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    // The record is checked whole before any mark or pixel changes.
    std::unique_ptr<BYTE[]> map(new BYTE[LYR_MARK_BYTES]);
    PAT_ReadRecordMap(data, map.get());
    std::memcpy(m_abMarkCurrent, map.get(), LYR_MARK_BYTES);
    PAT_MergeMarks();
    m_occupancy.MarkMap(m_abMarkCurrent);
    BYTE* target = m_apPixels[0];
    ForEachMarkedRow(m_abMarkCurrent, BlockColumns(), BlockRows(), RowBytes(), size_t(m_nPixelSize),
                     [&](size_t offset, size_t bytes) { data->Read(target + offset, bytes); });
    return 1;
  }
  GCATCH(GetClassName(), u"::PAT_Restore()", ->AppendArg(GArgInt(m_myState)))
}

OData* Morvane::PAT_SwapRecord(OData* data) {
  RequireState(myREADY, u"!m_myState==myREADY");
  std::unique_ptr<BYTE[]> map(new BYTE[LYR_MARK_BYTES]);
  PAT_ReadRecordMap(data, map.get());
  std::memcpy(m_abMarkCurrent, map.get(), LYR_MARK_BYTES);
  OData* replaced = PAT_Backup(FALSE);
  try {
    PAT_Restore(data);
  } catch (...) {
    replaced->AddRef();
    replaced->Release();
    throw;
  }
  return replaced;
}

OData* Morvane::PAT_Undo(OData* data) {
  try {
    return PAT_SwapRecord(data);
  }
  GCATCH(GetClassName(), u"::PAT_Undo()", ->AppendArg(GArgInt(m_myState)))
}

OData* Morvane::PAT_Redo(OData* data) {
  try {
    return PAT_SwapRecord(data);
  }
  GCATCH(GetClassName(), u"::PAT_Redo()", ->AppendArg(GArgInt(m_myState)))
}

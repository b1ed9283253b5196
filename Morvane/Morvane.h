// The layer component "Morvane".
#pragma once
#include <atomic>
#include <cstdint>

#include "BlockOccupancy.h"
#include "LayerProperty.h"
#include "odata/GError.h"
#include "odata/OLayer.h"

struct OCoderInput;

class Morvane final : public GComponent<OLayer> {
 public:
  Morvane();
  ~Morvane() override;

  static const char16_t* GetClassName() { return u"Morvane"; }

  BOOL IsMask() override;
  const uint32_t* MakeThumbnail(COLORREF background) override;
  void MipRefresh(const RECT* rc) override;
  void MipAlign() override;
  void GetPosition(POINT* out, BOOL bSaved) override;
  void SetPosition(int x, int y, BOOL bSaved) override;
  void SavePosition() override;
  UINT GetID() override { return m_nID; }
  void SetID(UINT id) override { m_nID = id; }
  void SetFlags(uint32_t flags) override { m_dwFlags = flags; }
  uint32_t GetFlags() override { return m_dwFlags; }
  uint32_t AddChangeFlags(uint32_t flags) override {
    m_dwChange |= flags;
    return flags;
  }
  uint32_t GetChangeFlags() override { return m_dwChange; }
  const char16_t* GetName() override { return m_szName; }
  void SetName(const char16_t* name) override;
  void GetRect(RECT* out) override;
  void GetInfo(LayerInfo* out) override;
  int GetPitch() override { return int(m_anPitch[0]); }
  int GetWidth() override { return m_nWidth; }
  int GetHeight() override { return m_nHeight; }
  uint64_t GetMemorySize() override { return m_nPrimarySurfaceMemorySize + m_nMipmapSurfaceMemorySize; }
  int GetPixelSize() override { return m_nPixelSize; }
  int GetFormat() override { return m_nFormat; }
  void Cleanup() override;
  void CleanupLowByte() override;
  void SetColor(COLORREF color) override { m_dwColor = color; }
  uint32_t GetColor(const POINT* pt, BOOL* pbInside) override;
  OShowDevice* GetShowDevice() override { return m_pDevice; }

  int64_t Load(OFileIn* file, JobControl* job, OShowDevice* device) override;
  int64_t Save(OFileOut* file, JobControl* job) override;
  UINT GetProgressTotal() override;
  BOOL EncodeRecord(RecordStream* stream, JobControl* job) override;
  int64_t WriteRecord(OFileOut* file, const RecordStream* stream, JobControl* job) override;
  int64_t ReadRecord(OFileIn* file, OShowDevice* device, RecordStream* stream) override;
  BOOL DecodeRecord(const RecordStream* stream, JobControl* job) override;
  BOOL Restore(OData* data, OShowDevice* device) override;
  OData* Backup(LayerInfo* info) override;

  int PAT_PrepareActivate(UINT flags, JobRecord* job) override;
  void PAT_Deactivate() override;
  uint32_t PAT_GetActiveFlags() override { return m_dwSession; }
  void PAT_Cancel() override;
  void PAT_Turn(BOOL bRestore) override;
  int PAT_Restore(OData* data) override;
  uint64_t PAT_GetBackupSize() override;
  OData* PAT_Backup(BOOL bFromBackup) override;
  OData* PAT_DeactivateToBackup() override;
  OData* PAT_Undo(OData* data) override;
  OData* PAT_Redo(OData* data) override;
  int PAT_GlassMergeTo(OLayer* dest) override;
  void PAT_MarkCopyTo(OLayer* dest) override;
  void PAT_MarkSet(const RECT* rc, RECT* out) override;
  void PAT_MarkClear() override;
  int PAT_MarkReset() override;
  BOOL PAT_MarkRecall() override;
  void PAT_MarkMipRefresh() override;
  int PAT_MarkMipRefreshPending() override;

  OData* AlphaBackup() override;
  void AlphaRestore(OData* data) override;
  int Merge(OLayer* source) override;
  int MergeMask(OLayer* mask) override;
  int MergeNest(ORowSource* rows, JobRecord* job) override;
  void FlipVertical() override;
  void FlipHorizontal() override;
  void Rotate180() override;
  void ProcessInvert() override;
  OData* ProcessImpair(int percent) override;
  void ProcessImpairRestore(OData* data) override;
  OLayer* ProcessSplitMask() override;
  void ProcessSplitMaskRestore(OLayer* mask) override;
  OLayer* Convert(int mode) override;
  OLayer* Clip(const RECT* rc, int mode) override;

  void CopyInfoFrom(OLayer* from) override;
  BOOL Lock(LayerLock* record, UINT flags) override;
  void Unlock() override;
  void Initialize(OShowDevice* device, int width, int height, int format, UINT id) override;
  void GetShowParam(ShowParam* out, int level) override;
  BYTE* PAT_GetMarkMap() override { return m_abMarkCurrent; }

  // The worker routine of a paint transaction's prepare (job form and direct form).
  int32_t PrepareWorker(JobRecord* job, JobControl* control);

  LayerProperty& Properties() { return m_property; }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  // Surface geometry shared by the transaction, mip and record code.
  int BlockColumns() const { return int(m_anPitch[0] / LYR_BLOCK); }
  int BlockRows() const { return int(m_nPaddedHeight / LYR_BLOCK); }
  size_t RowBytes() const { return size_t(m_anPitch[0]) * size_t(m_nPixelSize); }
  // The layer colour (red low) with ALPHA x 255 / 100 in the top byte.
  uint32_t ColorWithAlpha() const;
  // Throws the condition unless the layer is in the state.
  void RequireState(int32_t state, const char16_t* condition) const;

  // --- mip levels and thumbnail (MorvaneMip.cpp)
  // Rebuilds levels 1..15 over a space rectangle (right and bottom exclusive), clipped to the
  // layer; zeroRow holds at least RowBytes() zero bytes and stands in for rows outside it.
  void MipRefreshSpace(int64_t left, int64_t top, int64_t right, int64_t bottom, const BYTE* zeroRow);
  // Rebuilds the levels over the blocks marked in map inside a box of block columns and rows;
  // returns the number of blocks.
  int MipRefreshBlocks(const BYTE* map, const RECT& box);

  // --- paint transactions and their undo data (MorvaneTransaction.cpp, MorvanePatch.cpp)
  // The current marks ORed into the accumulated ones, all 65,536 bytes.
  void PAT_MergeMarks();
  // Checks an undo record against this layer (its info, then its size against the map it
  // carries) and reads that map into map[LYR_MARK_BYTES]; returns its marked block count.
  // Nothing of the layer changes.
  uint32_t PAT_ReadRecordMap(OData* data, BYTE* map);
  // Undo and redo alike: puts the record's blocks back and returns the ones replaced.
  OData* PAT_SwapRecord(OData* data);

  // --- saved record (MorvaneRecord.cpp)
  // Initialize, the primary surface cleared or left for a stream that writes all of it.
  void Make(OShowDevice* device, int width, int height, int format, UINT id, bool clearSurface);
  // Reads a record's header, name and values, checked (the stream must lie inside the file),
  // and leaves the file at the stream; nothing of the layer changes. -1 on failure.
  int64_t ReadRecordHead(OFileIn* file, BYTE* raw);
  // Makes the layer (surface uncleared) and takes the fields of a head ReadRecordHead read.
  void TakeRecordHead(const BYTE* raw, OShowDevice* device);
  // Skips the header's place and writes name and values: the record's start, or -1.
  int64_t BeginRecord(OFileOut* file);
  // Writes the header of a record begun at start with a stream of streamBytes after its
  // head: the record's size, or -1.
  int64_t FinishRecord(OFileOut* file, int64_t start, uint64_t streamBytes);
  // Codes the primary surface into stream as one zlib stream; the job's progress gains the
  // record's share once it is coded. False on failure or abort.
  bool EncodeSurface(RecordStream* stream, JobControl* job);
  // The record around a coded stream, from the file's position: its size, or -1.
  int64_t WriteStream(OFileOut* file, const RecordStream& stream, JobControl* job);
  // Inflates the stream into the primary surface; whatever the stream leaves is cleared.
  // The job's progress gains the record's share once the stream is complete.
  bool DecodeSurface(const RecordStream& stream, JobControl* job);

  // --- merging and clipping (MorvaneMerge.cpp)
  // The worker of MergeNest: copies the rows of the row source whose address is in the job's
  // argument block; 1 when all rows were copied, 0 when stopped by an abort request.
  int32_t ____MergeNest(JobRecord* job, JobControl* control);
  // A new ready layer made through the system object for this layer's device, count 0 (the
  // caller owns it). Clip, ProcessSplitMask and Convert make their layers here.
  OLayer* NewSibling(int width, int height, int format, UINT id);
  // Destroys an object of count 0 that is not handed out after all.
  static void Discard(OComponent* obj) {
    obj->AddRef();
    obj->Release();
  }

  // --- pixel processes and format conversion (MorvaneProcess.cpp, MorvaneConvert.cpp)
  // The 220 bytes in front of the pixels: header (fileSize as given), name block, values.
  void StoreRecordHead(BYTE* out, uint32_t fileSize);
  // The name block of a record: cut at unit 63, units after the end zeroed.
  void TakeRecordName(const BYTE* block);
  // The five stored values, each clamped to its item's bounds.
  void TakeRecordValues(const BYTE* block);

  int32_t m_myState = myNULL;
  int32_t m_nPixelSize = 0;
  int32_t m_nFormat = 0;
  uint32_t m_dwFlags = 0;
  uint32_t m_dwChange = 0;
  UINT m_nID = 0;
  COLORREF m_dwColor = 0;
  char16_t m_szName[65] = {};
  uint32_t m_nNameLength = 0;
  BYTE* m_pHelperBuffer = nullptr;
  BYTE* m_pBackupBuffer = nullptr;
  uint64_t m_nPrimarySurfaceMemorySize = 0;
  uint64_t m_nMipmapSurfaceMemorySize = 0;
  uint32_t m_dwSession = 0;
  BYTE* m_apPixels[LYR_MIP_DEPTH] = {};
  uint32_t m_anPitch[LYR_MIP_DEPTH] = {};
  uint32_t m_anHeight[LYR_MIP_DEPTH] = {};  // padded rows of each level
  uint32_t m_nPaddedHeight = 0;
  int32_t m_nWidth = 0;
  int32_t m_nHeight = 0;
  OShowDevice* m_pDevice = nullptr;
  int32_t m_x = 0, m_y = 0;
  int32_t m_xSaved = 0, m_ySaved = 0;
  BYTE m_abMarkCurrent[LYR_MARK_BYTES] = {};
  BYTE m_abMarkAccumulated[LYR_MARK_BYTES] = {};
  // Blocks marked whose levels are not yet rebuilt, and the box of block columns and rows
  // that holds them (empty when none), so that each refresh walks the touched area only.
  BYTE m_abMarkMipPending[LYR_MARK_BYTES] = {};
  RECT m_rcMipPending{};
  void ForgetMipPending();
  // Which blocks may hold a non-zero pixel; every pixel writer keeps it (see BlockOccupancy.h).
  BlockOccupancy m_occupancy;
  BlockOccupancy::Surface OccupancySurface() const {
    return {m_apPixels[0], RowBytes(), m_nPixelSize, m_x, m_y, m_nWidth, m_nHeight};
  }
  uint32_t* m_pThumbnail = nullptr;
  LayerProperty m_property;

  friend struct MorvaneAccess;
};

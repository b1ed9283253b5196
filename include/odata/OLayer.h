// The layer component "Morvane": one raster surface of the paint space with its mip
// pyramid, identity, flags, name, colour, position, block marks and properties.
#pragma once
#include <cstdint>

#include "OComponent.h"
#include "OData.h"
#include "OFile.h"
#include "OWorker.h"

struct OLayer;
struct OShowDevice;
class RecordStream;

constexpr int LYR_MIP_DEPTH = 16;
constexpr int LYR_MAX_SIDE = 10000;
constexpr int LYR_BLOCK = 64;        // the side of a block of a paint transaction
constexpr int LYR_MARK_SIDE = 256;   // bytes per row (and rows) of a block-mark map
constexpr size_t LYR_MARK_BYTES = LYR_MARK_SIDE * LYR_MARK_SIDE;

// Layer flags of the layer list; the layer stores them without reading them.
constexpr uint32_t LYR_FLAG_HIDDEN = 0x1;
constexpr uint32_t LYR_FLAG_NEST = 0x2;
constexpr uint32_t LYR_FLAG_PROTECT = 0x4;
constexpr uint32_t LYR_FLAG_SOURCE = 0x8;

// Change-word bits the host ORs in.
constexpr uint32_t LYR_CHANGE_NEW = 1;
constexpr uint32_t LYR_CHANGE_SIZE = 2;
constexpr uint32_t LYR_CHANGE_PIXELS = 4;
constexpr uint32_t LYR_CHANGE_POSITION = 32;

// Paint transaction flags.
constexpr uint32_t PAT_F_ACTIVE = 1;
constexpr uint32_t PAT_F_BACKUP = 2;
constexpr uint32_t PAT_F_HELPER = 4;
constexpr uint32_t PAT_F_HELPER_C32 = 8;

// The description of a layer; where it is stored it is these eight little-endian 32-bit
// fields with the last one 0.
struct LayerInfo {
  int32_t nWidth;
  int32_t nHeight;
  int32_t nPitch;      // pixels per row of level 0
  int32_t nPixelSize;  // 2 or 4
  int32_t x;
  int32_t y;
  uint32_t dwColor;  // red low, ALPHA x 255 / 100 in the top byte
  uint32_t dwReserved;
};
static_assert(sizeof(LayerInfo) == 32);

constexpr size_t LAYER_INFO_BYTES = 32;
void StoreLayerInfo(const LayerInfo& info, BYTE out[LAYER_INFO_BYTES]);
LayerInfo LoadLayerInfo(const BYTE in[LAYER_INFO_BYTES]);

// A layer record (Backup / Restore, Save / Load) is a 72-byte header, the 128-byte name
// block and the five 4-byte property values; the pixels follow at this offset (raw in a
// data block, a zlib stream in a file).
constexpr size_t LAYER_RECORD_PIXELS = 220;

// Lock flags. Without either the holder may write any pixel.
constexpr UINT LYR_LOCK_READ = 0x1;  // the holder only reads
// The holder writes only inside blocks it marked before writing them (PAT_MarkSet, or another
// call that marks them in the layer's map of non-empty blocks), so the map stays as it is.
constexpr UINT LYR_LOCK_MARKED = 0x2;

// A locked layer: its description and where its pixels are. The holder unlocks when it
// is destroyed, so an error unwinding past it leaves the layer ready.
struct LayerLock : LayerInfo {
  BYTE* pPixels = nullptr;  // first row of level 0, rows top-down
  BYTE* pBackup = nullptr;
  BYTE* pHelper = nullptr;
  uint32_t dwUnused = 0;
  uint32_t cbRow = 0;  // bytes per row: pitch x pixel size
  OLayer* pLayer = nullptr;

  LayerLock() : LayerInfo{} {}
  ~LayerLock();
  LayerLock(const LayerLock&) = delete;
  LayerLock& operator=(const LayerLock&) = delete;
  BOOL Lock(OLayer* layer, UINT flags);
  void Unlock();
  BYTE* Row(int y) const { return pPixels + size_t(y) * cbRow; }
};

// Rows of a composed image that MergeNest copies into a layer: the address of a row's bytes.
struct ORowSource {
  virtual const BYTE* GetRow(int row, UINT bytes) = 0;
  virtual ~ORowSource() = default;
};

// What the display renderer reads of a layer at one mip level.
struct ShowParam {
  RECT rc;           // the layer rectangle at the level
  uint32_t nPitch;   // pixels per row of the level
  uint32_t nKernel;  // MODE, plus 8 for a colour layer
  uint32_t dwColor;  // pixel order (blue low), opacity ALPHA x 128 / 100 in the top byte
  BYTE* pPixels;
  uint32_t dwReserved;
  // The level's square cells that may hold a non-zero pixel (pixel (c, r) of the level in
  // byte (r / nBlockSide) x nBlockPitch + c / nBlockSide); null: any cell may.
  const BYTE* pBlocks = nullptr;
  uint32_t nBlockPitch = 0;
  uint32_t nBlockSide = 64;
};

struct ODATA_EXPORT OLayer : OComponent {
  enum Format : int32_t { myFORMAT_A16 = 2, myFORMAT_C32 = 4 };
  enum State : int32_t { myNULL = 0, myREADY = 1, myLOCK = 2 };

  virtual BOOL IsMask() = 0;
  // 128 x 128 bottom-up 32-bit pixels over the background, owned by the layer; null when
  // no pixel has coverage.
  virtual const uint32_t* MakeThumbnail(COLORREF background) = 0;
  // Rebuilds the mip levels inside a space rectangle, or all of them for null.
  virtual void MipRefresh(const RECT* rc) = 0;
  virtual void MipAlign() = 0;
  virtual void GetPosition(POINT* out, BOOL bSaved) = 0;
  virtual void SetPosition(int x, int y, BOOL bSaved) = 0;
  virtual void SavePosition() = 0;
  virtual UINT GetID() = 0;
  virtual void SetID(UINT id) = 0;
  virtual void SetFlags(uint32_t flags) = 0;
  virtual uint32_t GetFlags() = 0;
  virtual uint32_t AddChangeFlags(uint32_t flags) = 0;
  virtual uint32_t GetChangeFlags() = 0;
  virtual const char16_t* GetName() = 0;
  virtual void SetName(const char16_t* name) = 0;
  virtual void GetRect(RECT* out) = 0;
  virtual void GetInfo(LayerInfo* out) = 0;
  virtual int GetPitch() = 0;
  virtual int GetWidth() = 0;
  virtual int GetHeight() = 0;
  virtual uint64_t GetMemorySize() = 0;
  virtual int GetPixelSize() = 0;
  virtual int GetFormat() = 0;
  virtual void Cleanup() = 0;
  virtual void CleanupLowByte() = 0;
  virtual void SetColor(COLORREF color) = 0;
  virtual uint32_t GetColor(const POINT* pt, BOOL* pbInside) = 0;
  virtual OShowDevice* GetShowDevice() = 0;

  // The saved record.
  virtual int64_t Load(OFileIn* file, JobControl* job, OShowDevice* device) = 0;
  virtual int64_t Save(OFileOut* file, JobControl* job) = 0;
  virtual UINT GetProgressTotal() = 0;
  // The record in two steps, so the streams of a document's records are coded on every core
  // while its file is written and read in order. EncodeRecord codes the surface into stream
  // (any thread; FALSE on failure or abort); WriteRecord
  // writes the record around that stream and returns its size, as Save does. ReadRecord
  // reads a whole record, its stream into stream, and makes the layer (its surface left for
  // the stream; the file then stands at the next record; the size, -1 on failure);
  // DecodeRecord fills the surface from the stream, clearing what the stream leaves, and
  // refreshes the mip levels (any thread; FALSE on a damaged stream or abort). The coding
  // steps add the record's share to the job's progress when they complete: the share Save
  // and Load reach piece by piece.
  virtual BOOL EncodeRecord(RecordStream* stream, JobControl* job) = 0;
  virtual int64_t WriteRecord(OFileOut* file, const RecordStream* stream, JobControl* job) = 0;
  virtual int64_t ReadRecord(OFileIn* file, OShowDevice* device, RecordStream* stream) = 0;
  virtual BOOL DecodeRecord(const RecordStream* stream, JobControl* job) = 0;
  virtual BOOL Restore(OData* data, OShowDevice* device) = 0;
  // The whole layer in a new block: contiguous with info given (filled to describe the
  // pixels inside it, which start at LAYER_RECORD_PIXELS of the buffer), fragmented without.
  virtual OData* Backup(LayerInfo* info) = 0;

  // Paint transactions.
  virtual int PAT_PrepareActivate(UINT flags, JobRecord* job) = 0;
  virtual void PAT_Deactivate() = 0;
  virtual uint32_t PAT_GetActiveFlags() = 0;
  virtual void PAT_Cancel() = 0;
  virtual void PAT_Turn(BOOL bRestore) = 0;
  virtual int PAT_Restore(OData* data) = 0;
  virtual uint64_t PAT_GetBackupSize() = 0;
  virtual OData* PAT_Backup(BOOL bFromBackup) = 0;
  // Ends the transaction as PAT_Deactivate does and returns what PAT_Backup(TRUE) would
  // (count 0). With every block marked the backup's surface itself becomes the block's
  // pixels, so that nothing is copied.
  virtual OData* PAT_DeactivateToBackup() = 0;
  virtual OData* PAT_Undo(OData* data) = 0;
  virtual OData* PAT_Redo(OData* data) = 0;
  virtual int PAT_GlassMergeTo(OLayer* dest) = 0;
  virtual void PAT_MarkCopyTo(OLayer* dest) = 0;
  virtual void PAT_MarkSet(const RECT* rc, RECT* out) = 0;
  virtual void PAT_MarkClear() = 0;
  virtual int PAT_MarkReset() = 0;
  virtual BOOL PAT_MarkRecall() = 0;
  virtual void PAT_MarkMipRefresh() = 0;
  // Rebuilds the mip levels of the blocks PAT_MarkSet marked since the last call (or since
  // PAT_MarkClear / PAT_MarkReset) and forgets them, so that a zoomed-out view shows work in
  // progress as it is drawn; returns the number of blocks rebuilt.
  virtual int PAT_MarkMipRefreshPending() = 0;

  // Alpha of every pixel (the coverage's high byte of a mask) into a new block, and back.
  virtual OData* AlphaBackup() = 0;
  virtual void AlphaRestore(OData* data) = 0;
  // Merging into this colour layer: another layer painted over it, a mask multiplied into
  // its alpha, and the rows of a composed nest (a worker job with a job record).
  virtual int Merge(OLayer* source) = 0;
  virtual int MergeMask(OLayer* mask) = 0;
  virtual int MergeNest(ORowSource* rows, JobRecord* job) = 0;
  virtual void FlipVertical() = 0;
  virtual void FlipHorizontal() = 0;
  virtual void Rotate180() = 0;
  virtual void ProcessInvert() = 0;
  // Keeps percent (0..100) of the alpha; returns the alpha as it was.
  virtual OData* ProcessImpair(int percent) = 0;
  virtual void ProcessImpairRestore(OData* data) = 0;
  // The colour layer's transparency as a new mask layer, and back.
  virtual OLayer* ProcessSplitMask() = 0;
  virtual void ProcessSplitMaskRestore(OLayer* mask) = 0;
  // A new layer of the other format (modes 0-4 from a colour layer: brightness,
  // transparency, red, green, blue; 5 from a mask layer).
  virtual OLayer* Convert(int mode) = 0;
  // A new layer of the rectangle (mode 0 overlap, 1 tiled, 2 mirrored).
  virtual OLayer* Clip(const RECT* rc, int mode) = 0;

  // Copies the name, the colour and the property values from another layer.
  virtual void CopyInfoFrom(OLayer* from) = 0;
  virtual BOOL Lock(LayerLock* record, UINT flags) = 0;
  virtual void Unlock() = 0;
  virtual void Initialize(OShowDevice* device, int width, int height, int format, UINT id) = 0;
  virtual void GetShowParam(ShowParam* out, int level) = 0;
  virtual BYTE* PAT_GetMarkMap() = 0;
};

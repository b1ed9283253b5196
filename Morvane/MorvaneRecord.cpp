// The saved layer record: a 72-byte header, the 128-byte name block, the five property
// values and the primary surface. The surface travels as one zlib stream held in memory: the
// encoder codes the whole surface in one call, the decoder writes straight into the surface
// the header sized. The record in two steps (EncodeRecord / WriteRecord, ReadRecord /
// DecodeRecord) lets the coding run on any thread; Save and Load do both steps in turn.
// Backup and Restore carry the surface raw.
#include <cstring>
#include <string>

#include "Morvane.h"
#include "odata/GCoderRef.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"
#include "odata/LayerRecordHeader.h"
#include "odata/LittleEndian.h"
#include "odata/OBlockCoder.h"
#include "odata/OCoder.h"
#include "odata/RecordStream.h"

namespace {

constexpr size_t kHeaderBytes = LayerRecordHeader::kBytes;
constexpr size_t kNameUnits = 64;
constexpr size_t kNameBytes = 2 * kNameUnits;
constexpr size_t kValueBytes = 4 * LayerProperty::kAllItems;
// Everything in front of the pixels; also the smallest dwFileSize a record can have.
constexpr size_t kRecordHead = kHeaderBytes + kNameBytes + kValueBytes;
static_assert(kRecordHead == LAYER_RECORD_PIXELS);

constexpr UINT kPiece = RecordStream::kPiece;  // the piecewise decoder's output pieces
// The whole-buffer encoder's level. On document_bench's eight painted surfaces no level
// reaches zlib level 4's size (the nearest, 5 to 7, come to 100.2 %, in 0.9 of its time);
// level 2 comes to 100.5 % in 0.65 of it. Level 1 is faster still but 3 % larger.
constexpr int kBlockLevel = 2;
// Once the surface is full the piecewise decoder is driven on with this much room: it must
// reach the stream's end without writing anything.
constexpr UINT kScratch = 64;

using RecordHeader = LayerRecordHeader;

bool WriteAll(OFileOut* file, const void* p, size_t n) { return n == 0 || file->Write(p, 1, n) == n; }
bool ReadAll(OFileIn* file, void* p, size_t n) { return file->Read(p, n, 1) == 1; }

// A record's share of a job's progress, as GetProgressTotal counts it.
int32_t ProgressShare(uint64_t bytes) { return int32_t(uint32_t(bytes) >> 16); }

// Base of the coder input objects: counted, freed by the last Release.
class CountedInput : public OCoderInput {
 public:
  int32_t AddRef() override { return ++m_refs; }
  int32_t Release() override {
    int32_t n = --m_refs;
    if (n == 0) delete this;
    return n;
  }

 private:
  int32_t m_refs = 0;
};

// Hands a stream held in memory to the piecewise decoder piece by piece.
class StreamSource final : public CountedInput {
 public:
  explicit StreamSource(const RecordStream* stream) : m_stream(stream) {}
  BOOL InputBegin() override { return TRUE; }
  BOOL Input(const BYTE** next, UINT* avail, BOOL* last) override {
    const size_t count = m_stream->Pieces();
    *next = m_next < count ? m_stream->Data(m_next) : nullptr;
    *avail = m_next < count ? UINT(m_stream->Size(m_next)) : 0;
    if (m_next < count) ++m_next;
    *last = m_next >= count ? TRUE : FALSE;
    return TRUE;
  }
  BOOL InputEnd() override { return TRUE; }

 private:
  const RecordStream* m_stream;
  size_t m_next = 0;
};

// Reads a stream of n bytes from the file into one piece; false (and the stream empty) when
// the read fails.
bool ReadStream(OFileIn* file, uint64_t n, RecordStream* stream) {
  stream->Clear();
  if (n == 0) return true;
  if (!ReadAll(file, stream->Append(size_t(n)), size_t(n))) {
    stream->Clear();
    return false;
  }
  stream->Commit(size_t(n));
  return true;
}

// The stream through the whole-buffer decoder, when the decoder offers one and the stream
// lies in one piece; false when it cannot or refuses.
bool DecodeWhole(OComponent* decoder, const RecordStream& stream, BYTE* dest, uint64_t room, uint64_t* written) {
  auto* block = static_cast<OBlockDecoder*>(decoder->GetInterface(u"OBlockDecoder"));
  if (!block || stream.Pieces() != 1) return false;
  uint64_t n = 0;
  if (!block->Decode(stream.Data(0), stream.Size(0), dest, room, &n) || n > room) return false;
  *written = n;
  return true;
}

// The stream through the piecewise zlib decoder from the surface's start: it decides every
// stream the whole-buffer decoder refuses, as it always has. Counts what it wrote into
// *written as it goes, so the rest can be cleared however it ends.
bool DecodePieces(OCoder* decoder, const RecordStream& stream, JobControl* job, BYTE* dest, uint64_t room,
                  uint64_t* written) {
  *written = 0;
  GCoderState state{};
  bool complete = false;
  if (!decoder->OutputBegin(new StreamSource(&stream), &state, 0)) return false;
  BYTE scratch[kScratch];
  for (;;) {
    // A surface that is full still needs the stream's end (its check word may lie past the
    // last pixel); any further pixel is a damaged record.
    const uint64_t left = room - *written;
    const bool full = left == 0;
    const UINT size = full ? kScratch : left < kPiece ? UINT(left) : kPiece;
    if (!decoder->Output(full ? scratch : dest + *written, size, &state)) break;
    if (job && (job->flags & JOB_ABORT)) break;
    if (state.uOutputSize > size || (full && state.uOutputSize)) break;
    *written += state.uOutputSize;
    // A stream may end before the surface is full: the rest is zero. Bytes after it inside
    // the record are not read.
    if (state.bStreamEnd) {
      complete = true;
      break;
    }
    if (state.uOutputSize == 0) break;  // no progress and no end: it would spin
  }
  decoder->OutputEnd();
  return complete;
}

// Clears the part of a surface the stream has not written, however the decoding ends.
struct ClearRest {
  BYTE* dest;
  uint64_t size;
  const uint64_t& written;
  ~ClearRest() { std::memset(dest + written, 0, size_t(size - written)); }
};

}  // namespace

void Morvane::StoreRecordHead(BYTE* out, uint32_t fileSize) {
  RecordHeader fh;
  fh.dwFileSize = fileSize;
  fh.dwID = m_nID;
  fh.dwFlags = m_dwFlags;
  fh.dwFormat = uint32_t(m_nFormat);
  fh.dwColor = m_dwColor;
  fh.dwWidth = uint32_t(m_nWidth);
  fh.dwHeight = uint32_t(m_nHeight);
  fh.x = m_x;
  fh.y = m_y;
  fh.dwTest = fh.Sum();
  fh.Store(out);
  BYTE* name = out + kHeaderBytes;
  for (size_t i = 0; i < kNameUnits; ++i) {
    name[2 * i] = BYTE(m_szName[i]);
    name[2 * i + 1] = BYTE(m_szName[i] >> 8);
  }
  BYTE* values = name + kNameBytes;
  for (UINT i = 0; i < LayerProperty::kAllItems; ++i) PutLE32(values + 4 * i, uint32_t(m_property.Saved(i).value));
}

void Morvane::TakeRecordName(const BYTE* block) {
  // Cut as SetName cuts: unit 63 is the terminator whatever the record says.
  std::u16string name;
  for (size_t n = 0; n < kNameUnits; ++n) {
    const char16_t c = char16_t(block[2 * n] | block[2 * n + 1] << 8);
    if (c == 0) break;
    name.push_back(c);
  }
  SetName(name.c_str());
}

void Morvane::TakeRecordValues(const BYTE* block) {
  for (UINT i = 0; i < LayerProperty::kAllItems; ++i) {
    PropertyItem& item = m_property.Saved(i);
    item.value = ClampPropertyValue(item, int32_t(GetLE32(block + 4 * i)));
  }
}

UINT Morvane::GetProgressTotal() { return UINT(uint32_t(m_nPrimarySurfaceMemorySize) >> 16); }

int64_t Morvane::BeginRecord(OFileOut* file) {
  const int64_t start = file->Tell();
  // The header place is skipped and written last, once the record is complete.
  if (start < 0 || !file->Seek(int64_t(kHeaderBytes), 1)) return -1;
  BYTE head[kRecordHead];
  StoreRecordHead(head, 0);
  if (!WriteAll(file, head + kHeaderBytes, kRecordHead - kHeaderBytes)) return -1;
  return start;
}

int64_t Morvane::FinishRecord(OFileOut* file, int64_t start, uint64_t streamBytes) {
  if (streamBytes > uint64_t(UINT32_MAX) - kRecordHead) return -1;
  const uint32_t fileSize = uint32_t(kRecordHead + streamBytes);
  BYTE head[kRecordHead];  // StoreRecordHead fills the whole head; the header is written
  StoreRecordHead(head, fileSize);
  const int64_t end = file->Tell();
  if (end < 0 || !file->Seek(start, 0) || !WriteAll(file, head, kHeaderBytes) || !file->Seek(end, 0)) return -1;
  return fileSize;
}

bool Morvane::EncodeSurface(RecordStream* stream, JobControl* job) {
  stream->Clear();
  GCoderRef encoder(GetSystem(), u"XEncoderZlib");
  auto* block = static_cast<OBlockEncoder*>(encoder.obj->GetInterface(u"OBlockEncoder"));
  GVERIFY(block, u"!poBlockEncoder");
  const uint64_t bytes = m_nPrimarySurfaceMemorySize;
  const uint64_t bound = block->EncodeBound(bytes, kBlockLevel);
  GVERIFY(bound > 0, u"!nBound>0");
  LayerLock lock;
  lock.Lock(this, LYR_LOCK_READ);
  const uint64_t n = block->Encode(lock.pPixels, bytes, stream->Append(size_t(bound)), bound, kBlockLevel);
  lock.Unlock();
  if (n == 0 || n > bound) {
    stream->Clear();
    return false;
  }
  stream->Commit(size_t(n));
  if (job) {
    if (job->flags & JOB_ABORT) return false;
    job->progress += ProgressShare(bytes);
  }
  return true;
}

int64_t Morvane::WriteStream(OFileOut* file, const RecordStream& stream, JobControl* job) {
  const int64_t start = BeginRecord(file);
  if (start < 0) return -1;
  for (size_t i = 0; i < stream.Pieces(); ++i) {
    if (!WriteAll(file, stream.Data(i), stream.Size(i))) return -1;
    if (job && (job->flags & JOB_ABORT)) return -1;  // no header over a cut stream
  }
  return FinishRecord(file, start, stream.Bytes());
}

int64_t Morvane::Save(OFileOut* file, JobControl* job) {
  try {
    GVERIFY(m_myState == myREADY && file && file->IsValid(), u"!m_myState==myREADY && poFile->IsValid()");
    if (job && (job->flags & JOB_ABORT)) return -1;
    RecordStream stream;
    if (!EncodeSurface(&stream, job)) return -1;
    return WriteStream(file, stream, job);
  }
  GCATCH(GetClassName(), u"::Save()", ->AppendArg(GArgInt(m_myState)))
}

BOOL Morvane::EncodeRecord(RecordStream* stream, JobControl* job) {
  try {
    GVERIFY(m_myState == myREADY && stream, u"!m_myState==myREADY && pStream");
    stream->Clear();
    if (job && (job->flags & JOB_ABORT)) return FALSE;
    return EncodeSurface(stream, job) ? TRUE : FALSE;
  }
  GCATCH(GetClassName(), u"::EncodeRecord()", ->AppendArg(GArgInt(m_myState)))
}

int64_t Morvane::WriteRecord(OFileOut* file, const RecordStream* stream, JobControl* job) {
  try {
    GVERIFY(m_myState == myREADY && file && file->IsValid() && stream, u"!m_myState==myREADY && poFile->IsValid()");
    if (job && (job->flags & JOB_ABORT)) return -1;
    return WriteStream(file, *stream, job);
  }
  GCATCH(GetClassName(), u"::WriteRecord()", ->AppendArg(GArgInt(m_myState)))
}

int64_t Morvane::ReadRecordHead(OFileIn* file, BYTE* raw) {
  if (!file || !file->IsValid()) return -1;
  const int64_t start = file->Tell();
  if (start < 0 || !ReadAll(file, raw, kHeaderBytes)) return -1;
  const RecordHeader fh = RecordHeader::Parse(raw);
  if (fh.Check()) return -1;
  if (!ReadAll(file, raw + kHeaderBytes, kRecordHead - kHeaderBytes)) return -1;
  // The next record starts where this one says it ends, inside the file.
  if (start + int64_t(fh.dwFileSize) > file->GetLength()) return -1;
  return start;
}

void Morvane::TakeRecordHead(const BYTE* raw, OShowDevice* device) {
  const RecordHeader fh = RecordHeader::Parse(raw);
  Make(device, int(fh.dwWidth), int(fh.dwHeight), int(fh.dwFormat), fh.dwID, false);
  m_dwFlags = fh.dwFlags;
  m_x = fh.x;
  m_dwColor = fh.dwColor;
  m_y = fh.y;
  TakeRecordName(raw + kHeaderBytes);
  TakeRecordValues(raw + kHeaderBytes + kNameBytes);
}

bool Morvane::DecodeSurface(const RecordStream& stream, JobControl* job) {
  LayerLock lock;
  lock.Lock(this, 0);
  // The surface was made uncleared: every byte the stream does not write is cleared on the
  // way out, also when the stream is damaged or the decoder throws.
  BYTE* const dest = lock.pPixels;
  const uint64_t room = m_nPrimarySurfaceMemorySize;
  uint64_t written = 0;
  ClearRest clear{dest, room, written};
  GCoderRef decoder(GetSystem(), u"XDecoderZlib");
  const bool complete = DecodeWhole(decoder.obj, stream, dest, room, &written) ||
                        DecodePieces(decoder.coder, stream, job, dest, room, &written);
  if (!complete) return false;
  if (job) {
    if (job->flags & JOB_ABORT) return false;
    job->progress += ProgressShare(written);
  }
  return true;
}

int64_t Morvane::Load(OFileIn* file, JobControl* job, OShowDevice* device) {
  try {
    RequireState(myNULL, u"!m_myState==myNULL");
    if (job && (job->flags & JOB_ABORT)) return -1;
    BYTE raw[kRecordHead];
    const int64_t start = ReadRecordHead(file, raw);
    if (start < 0) return -1;
    TakeRecordHead(raw, device);
    const RecordHeader fh = RecordHeader::Parse(raw);
    // The stream lies in the rest of the record; nothing further is read. A stream that
    // cannot be read leaves the surface cleared.
    RecordStream stream;
    const bool read = ReadStream(file, uint64_t(fh.dwFileSize) - kRecordHead, &stream);
    if (!DecodeSurface(stream, job) || !read || !file->Seek(start + int64_t(fh.dwFileSize), 0)) return -1;
    MipRefresh(nullptr);
    return fh.dwFileSize;
  }
  GCATCH(GetClassName(), u"::Load()", ->AppendArg(GArgInt(m_myState)))
}

int64_t Morvane::ReadRecord(OFileIn* file, OShowDevice* device, RecordStream* stream) {
  try {
    RequireState(myNULL, u"!m_myState==myNULL");
    GVERIFY(stream, u"!pStream");
    stream->Clear();
    BYTE raw[kRecordHead];
    if (ReadRecordHead(file, raw) < 0) return -1;
    const RecordHeader fh = RecordHeader::Parse(raw);
    // The whole stream is read before the layer is made: a short file allocates nothing.
    if (!ReadStream(file, uint64_t(fh.dwFileSize) - kRecordHead, stream)) return -1;
    TakeRecordHead(raw, device);
    return fh.dwFileSize;
  }
  GCATCH(GetClassName(), u"::ReadRecord()", ->AppendArg(GArgInt(m_myState)))
}

BOOL Morvane::DecodeRecord(const RecordStream* stream, JobControl* job) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(stream, u"!pStream");
    if (!DecodeSurface(*stream, job)) return FALSE;
    MipRefresh(nullptr);
    return TRUE;
  }
  GCATCH(GetClassName(), u"::DecodeRecord()", ->AppendArg(GArgInt(m_myState)))
}

// Every check runs before Initialize, so a refused block leaves the layer myNULL with
// nothing allocated. Past the checks only Initialize can fail (out of memory: the layer
// stays myNULL, as Initialize leaves it) or the block's own reads (a block that lies
// about its size: the layer is then ready with what was read so far).
BOOL Morvane::Restore(OData* data, OShowDevice* device) {
  try {
    RequireState(myNULL, u"!m_myState==myNULL");
    GVERIFY(data, u"!poData");
    data->Rewind();
    GVERIFY(data->GetSize() >= kHeaderBytes, u"!poData->GetSize()>=sizeof(fh)");
    BYTE raw[kRecordHead];
    data->Read(raw, kHeaderBytes);
    const RecordHeader fh = RecordHeader::Parse(raw);
    if (const char16_t* refused = fh.Check()) GTHROW(refused);
    const uint64_t surface = fh.SurfaceBytes();
    GVERIFY(uint64_t(data->GetSize()) >= kRecordHead + surface, u"!poData->GetSize()>=220+nSurfaceBytes");

    Initialize(device, int(fh.dwWidth), int(fh.dwHeight), int(fh.dwFormat), fh.dwID);
    m_dwFlags = fh.dwFlags;
    m_x = fh.x;
    m_dwColor = fh.dwColor;
    m_y = fh.y;
    data->Read(raw + kHeaderBytes, kRecordHead - kHeaderBytes);
    TakeRecordName(raw + kHeaderBytes);
    TakeRecordValues(raw + kHeaderBytes + kNameBytes);

    LayerLock lock;
    lock.Lock(this, 0);
    // Piece by piece: a fragmented block copies one fragment's worth at a time.
    BYTE* dest = lock.pPixels;
    for (uint64_t left = surface; left;) {
      const size_t n = left < NUVREL_FRAGMENT ? size_t(left) : NUVREL_FRAGMENT;
      data->Read(dest, n);
      dest += n;
      left -= n;
    }
    lock.Unlock();
    return TRUE;
  }
  GCATCH(GetClassName(), u"::Restore()", ->AppendArg(GArgInt(m_myState)))
}

// With info: one contiguous block (GNewData refuses 0x10000000 bytes or more) and info
// from GetInfo; the block's pixels start at LAYER_RECORD_PIXELS of its buffer, rows of
// info->nPitch x info->nPixelSize bytes. Without: a fragmented block for layers of any
// size. The block comes back rewound with a count of 0, as GNewData makes them.
OData* Morvane::Backup(LayerInfo* info) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    const uint64_t total = kRecordHead + m_nPrimarySurfaceMemorySize;
    OData* block = nullptr;
    if (info) {
      block = GNewData(size_t(total));
    } else {
      block = GNewFragmented(size_t(total));
    }
    try {
      BYTE head[kRecordHead];
      StoreRecordHead(head, uint32_t(total));
      LayerLock lock;
      lock.Lock(this, LYR_LOCK_READ);
      block->Write(head, kRecordHead);
      block->Write(lock.pPixels, size_t(m_nPrimarySurfaceMemorySize));
      lock.Unlock();
      if (info) GetInfo(info);
      block->Rewind();
    } catch (...) {
      block->AddRef();
      block->Release();
      throw;
    }
    return block;
  }
  GCATCH(GetClassName(), u"::Backup()", ->AppendArg(GArgInt(m_myState)))
}

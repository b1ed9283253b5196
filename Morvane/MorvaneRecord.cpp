// The saved layer record: a 72-byte header, the 128-byte name block, the five property
// values and the primary surface. Save and Load carry the surface as a zlib stream through
// the coders "XEncoderZlib" / "XDecoderZlib", straight between file and surface; the record
// in two steps (EncodeRecord / WriteRecord, ReadRecord / DecodeRecord) holds the stream in
// memory, so the coding can run on any thread. Backup and Restore carry the surface raw.
#include <cstdlib>
#include <cstring>
#include <string>

#include "Morvane.h"
#include "odata/GCoderRef.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"
#include "odata/LayerRecordHeader.h"
#include "odata/LittleEndian.h"
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

constexpr UINT kPiece = RecordStream::kPiece;  // coder pieces and the file source's buffer
constexpr int kLevel = 4;
// Once the surface is full the decoder is driven on with this much room: it must reach
// the stream's end without writing anything.
constexpr UINT kScratch = 64;

using RecordHeader = LayerRecordHeader;

bool WriteAll(OFileOut* file, const void* p, size_t n) { return n == 0 || file->Write(p, 1, n) == n; }
bool ReadAll(OFileIn* file, void* p, size_t n) { return file->Read(p, n, 1) == 1; }

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

// Hands the locked primary surface to the encoder in pieces.
class PixelSource final : public CountedInput {
 public:
  PixelSource(const BYTE* pixels, uint64_t bytes) : m_next(pixels), m_left(bytes) {}
  BOOL InputBegin() override { return TRUE; }
  BOOL Input(const BYTE** next, UINT* avail, BOOL* last) override {
    const UINT n = m_left < kPiece ? UINT(m_left) : kPiece;
    *next = m_next;
    *avail = n;
    m_left -= n;
    m_next += n;
    *last = m_left == 0 ? TRUE : FALSE;
    return TRUE;
  }
  BOOL InputEnd() override { return m_left == 0 ? TRUE : FALSE; }

 private:
  const BYTE* m_next;
  uint64_t m_left;
};

// Reads the record's stream from the file; never past the record's end.
class FileSource final : public CountedInput {
 public:
  FileSource(OFileIn* file, uint64_t bytes) : m_file(file), m_left(bytes) {
    if (m_file) m_file->AddRef();
    m_buffer = static_cast<BYTE*>(std::malloc(kPiece));
  }
  ~FileSource() override {
    std::free(m_buffer);
    if (m_file) m_file->Release();
  }
  bool HasBuffer() const { return m_buffer != nullptr; }

  BOOL InputBegin() override { return m_file && m_file->IsValid() ? TRUE : FALSE; }
  BOOL Input(const BYTE** next, UINT* avail, BOOL* last) override {
    *next = m_buffer;
    *avail = 0;
    if (!m_file) return FALSE;
    if (m_left == 0 || m_file->IsEof()) {
      *last = TRUE;
      return TRUE;
    }
    const UINT n = m_left < kPiece ? UINT(m_left) : kPiece;
    m_left -= n;
    const size_t got = m_file->Read(m_buffer, 1, n);
    *avail = UINT(got < n ? got : n);
    // A short read means the file ended inside the record: no more will come.
    *last = m_left == 0 || *avail < n ? TRUE : FALSE;
    return m_file->IsValid();
  }
  BOOL InputEnd() override {
    if (OFileIn* file = m_file) {
      m_file = nullptr;
      file->Release();
    }
    return TRUE;
  }

 private:
  OFileIn* m_file;
  uint64_t m_left;
  BYTE* m_buffer = nullptr;
};

// Hands a stream held in memory to the decoder piece by piece.
class StreamSource final : public CountedInput {
 public:
  explicit StreamSource(const RecordStream* stream) : m_stream(stream) {}
  BOOL InputBegin() override { return TRUE; }
  BOOL Input(const BYTE** next, UINT* avail, BOOL* last) override {
    const size_t count = m_stream->Pieces();
    *next = m_next < count ? m_stream->Data(m_next) : nullptr;
    *avail = m_next < count ? m_stream->Size(m_next) : 0;
    if (m_next < count) ++m_next;
    *last = m_next >= count ? TRUE : FALSE;
    return TRUE;
  }
  BOOL InputEnd() override { return TRUE; }

 private:
  const RecordStream* m_stream;
  size_t m_next = 0;
};

// Where the encoder's pieces go: Room gives kPiece bytes for the next output, Take says how
// many of them hold the stream (false: they could not be kept).
class StreamSink {
 public:
  virtual BYTE* Room() = 0;
  virtual bool Take(UINT n) = 0;

 protected:
  ~StreamSink() = default;
};

class FileSink final : public StreamSink {
 public:
  explicit FileSink(OFileOut* file) : m_file(file) {}
  BYTE* Room() override { return m_buffer->GetBuffer(); }
  bool Take(UINT n) override { return WriteAll(m_file, m_buffer->GetBuffer(), n); }

 private:
  OFileOut* m_file;
  GCompRef<OData> m_buffer = GNewData(kPiece);
};

class MemorySink final : public StreamSink {
 public:
  explicit MemorySink(RecordStream* stream) : m_stream(stream) {}
  BYTE* Room() override { return m_stream->Append(); }
  bool Take(UINT n) override {
    m_stream->Commit(n);
    return true;
  }

 private:
  RecordStream* m_stream;
};

// The surface through the zlib encoder into the sink; true only once the stream's last piece
// is taken, so an abort or a failed write on the final piece counts as a cut stream. With
// pieceProgress the job's progress follows the input, else it gains the record's share at
// the end (workers on several records add up, each share once).
bool EncodeSurface(GSystem* system, const BYTE* pixels, uint64_t bytes, JobControl* job, bool pieceProgress,
                   StreamSink& sink, uint64_t* streamBytes) {
  const int32_t base = job ? job->progress.load() : 0;
  GCompRef<OCoderInput> source = new PixelSource(pixels, bytes);
  GCoderRef encoder(system, u"XEncoderZlib");
  GCoderState state{};
  *streamBytes = 0;
  bool complete = false;
  if (encoder->OutputBegin(source, &state, kLevel)) {
    for (;;) {
      if (!encoder->Output(sink.Room(), kPiece, &state)) break;
      if (job) {
        if (pieceProgress) job->progress = base + int32_t(state.uTotalInput >> 16);
        if (job->flags & JOB_ABORT) break;
      }
      if (state.uOutputSize > kPiece) break;
      if (state.uOutputSize) {
        if (!sink.Take(state.uOutputSize)) break;
        *streamBytes += state.uOutputSize;
      }
      if (state.bStreamEnd) {
        complete = true;
        break;
      }
      if (state.uOutputSize == 0) break;  // no progress: the encoder is stuck
    }
    if (encoder->OutputEnd() && uint64_t(state.uTotalInput) != bytes)
      GTHROW(u"!state.uTotalInput==m_nPrimarySurfaceMemorySize");
  }
  // Without piece progress the record's share comes at once, the same share in the end.
  if (job && !pieceProgress && complete) job->progress += int32_t(state.uTotalInput >> 16);
  return complete;
}

// Clears the part of a surface the stream has not written, however the decoding ends.
struct ClearRest {
  BYTE*& dest;
  uint64_t& left;
  ~ClearRest() { std::memset(dest, 0, size_t(left)); }
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

int64_t Morvane::Save(OFileOut* file, JobControl* job) {
  try {
    GVERIFY(m_myState == myREADY && file && file->IsValid(), u"!m_myState==myREADY && poFile->IsValid()");
    if (job && (job->flags & JOB_ABORT)) return -1;
    const int64_t start = BeginRecord(file);
    if (start < 0) return -1;
    LayerLock lock;
    lock.Lock(this, 0);
    FileSink sink(file);
    uint64_t streamBytes = 0;
    if (!EncodeSurface(GetSystem(), lock.pPixels, m_nPrimarySurfaceMemorySize, job, true, sink, &streamBytes))
      return -1;
    return FinishRecord(file, start, streamBytes);
  }
  GCATCH(GetClassName(), u"::Save()", ->AppendArg(GArgInt(m_myState)))
}

BOOL Morvane::EncodeRecord(RecordStream* stream, JobControl* job) {
  try {
    GVERIFY(m_myState == myREADY && stream, u"!m_myState==myREADY && pStream");
    stream->Clear();
    if (job && (job->flags & JOB_ABORT)) return FALSE;
    LayerLock lock;
    lock.Lock(this, 0);
    MemorySink sink(stream);
    uint64_t streamBytes = 0;
    return EncodeSurface(GetSystem(), lock.pPixels, m_nPrimarySurfaceMemorySize, job, false, sink, &streamBytes)
               ? TRUE
               : FALSE;
  }
  GCATCH(GetClassName(), u"::EncodeRecord()", ->AppendArg(GArgInt(m_myState)))
}

int64_t Morvane::WriteRecord(OFileOut* file, const RecordStream* stream, JobControl* job) {
  try {
    GVERIFY(m_myState == myREADY && file && file->IsValid() && stream, u"!m_myState==myREADY && poFile->IsValid()");
    if (job && (job->flags & JOB_ABORT)) return -1;
    const int64_t start = BeginRecord(file);
    if (start < 0) return -1;
    for (size_t i = 0; i < stream->Pieces(); ++i) {
      if (!WriteAll(file, stream->Data(i), stream->Size(i))) return -1;
      if (job && (job->flags & JOB_ABORT)) return -1;  // no header over a cut stream
    }
    return FinishRecord(file, start, stream->Bytes());
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

bool Morvane::DecodeSurface(OCoderInput* input, JobControl* job, bool pieceProgress) {
  GCompRef<OCoderInput> source = input;
  const int32_t base = job ? job->progress.load() : 0;
  LayerLock lock;
  lock.Lock(this, 0);
  // The surface was made uncleared: every byte the stream does not write is cleared on the
  // way out, also when the stream is damaged or the decoder throws.
  BYTE* dest = lock.pPixels;
  uint64_t left = m_nPrimarySurfaceMemorySize;
  ClearRest clear{dest, left};
  GCoderRef decoder(GetSystem(), u"XDecoderZlib");
  GCoderState state{};
  bool complete = false;
  if (decoder->OutputBegin(source, &state, kLevel)) {
    BYTE scratch[kScratch];
    for (;;) {
      // A surface that is full still needs the stream's end (its check word may lie past
      // the last pixel); any further pixel is a damaged record.
      const bool full = left == 0;
      const UINT room = full ? kScratch : left < kPiece ? UINT(left) : kPiece;
      if (!decoder->Output(full ? scratch : dest, room, &state)) break;
      if (job) {
        if (pieceProgress) job->progress = base + int32_t(state.uTotalOutput >> 16);
        if (job->flags & JOB_ABORT) break;
      }
      if (state.uOutputSize > room || (full && state.uOutputSize)) break;
      dest += state.uOutputSize;
      left -= state.uOutputSize;
      // A stream may end before the surface is full: the rest is zero. Bytes after it inside
      // the record are not read.
      if (state.bStreamEnd) {
        complete = true;
        break;
      }
      if (state.uOutputSize == 0) break;  // no progress and no end: it would spin
    }
    decoder->OutputEnd();
  }
  if (job && !pieceProgress && complete) job->progress += int32_t(state.uTotalOutput >> 16);
  return complete;
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
    // The stream lies in the rest of the record; the source reads no further.
    auto* fileSource = new FileSource(file, uint64_t(fh.dwFileSize) - kRecordHead);
    GCompRef<OCoderInput> source = fileSource;
    GVERIFY(fileSource->HasBuffer(), u"!m_pBuffer");
    if (!DecodeSurface(source, job, true) || !file->Seek(start + int64_t(fh.dwFileSize), 0)) return -1;
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
    for (uint64_t left = uint64_t(fh.dwFileSize) - kRecordHead; left;) {
      const UINT n = left < kPiece ? UINT(left) : kPiece;
      if (!ReadAll(file, stream->Append(), n)) {
        stream->Clear();
        return -1;
      }
      stream->Commit(n);
      left -= n;
    }
    TakeRecordHead(raw, device);
    return fh.dwFileSize;
  }
  GCATCH(GetClassName(), u"::ReadRecord()", ->AppendArg(GArgInt(m_myState)))
}

BOOL Morvane::DecodeRecord(const RecordStream* stream, JobControl* job) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(stream, u"!pStream");
    if (!DecodeSurface(new StreamSource(stream), job, false)) return FALSE;
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
      auto* fragmented = new NuvrelFragmented();
      try {
        fragmented->Init(size_t(total));
      } catch (...) {
        delete fragmented;
        throw;
      }
      block = fragmented;
    }
    try {
      BYTE head[kRecordHead];
      StoreRecordHead(head, uint32_t(total));
      LayerLock lock;
      lock.Lock(this, 0);
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

// Loads the fuzz input as a saved layer record into a fresh layer, and restores it as a
// data block into another; neither may crash, hang or leak. A record that loads must
// survive Save / Load and Backup / Restore unchanged.
//
// The first input byte steers the rest, so that mutations reach past the header: bit 0
// sets dwFileSize to the record's real length, bit 1 recomputes the check word. The
// remaining bytes are the record.
//
// Seeds: with TAVRIK_RECORD_SEEDS=<folder> in the environment the binary writes a few
// saved records there and exits (the build does this for corpus/layer_record).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSystem.h"
#include "Morvane.h"
#include "XCoderZlib.h"
#include "XShowDevice.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"
#include "odata/LayerRecordHeader.h"
#include "odata/LittleEndian.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A header may ask for 10000 x 10000 pixels: about 540 MB with the mip levels, cleared on
// allocation. Load allocates before the stream shows whether the record holds that many
// pixels, so a record is loaded only when the layer fits the memory the document loader
// would allow this process (its budget is the fuzzer's share); one the loader would refuse
// never reaches Load. (Restore checks the block's size first and is fed every input.)
constexpr uint64_t kMemoryBudget = 48ull << 20;

FuzzSystem& System() {
  static FuzzSystem system = [] {
    FuzzSystem s;
    s.Add(u"Morvane", GCreateComponent<Morvane>);
    s.Add(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
    s.Add(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
    s.Add(u"XShowDevice", GCreateComponent<XShowDevice>);
    return s;
  }();
  return system;
}

// What a layer of the record's header costs, as the document loader adds it up; 0 for a
// header Load refuses before allocating.
uint64_t LayerMemory(const Bytes& record) {
  if (record.size() < LayerRecordHeader::kBytes) return 0;
  const LayerRecordHeader h = LayerRecordHeader::Parse(record.data());
  if (h.Check()) return 0;
  static GCompRef<OShowDevice> device =
      static_cast<OShowDevice*>(System().NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
  return device->GetLayerMemorySize(int(h.dwWidth), int(h.dwHeight), int(h.dwFormat));
}

GCompRef<OLayer> NewLayer() {
  return static_cast<OLayer*>(System().NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
}

class MemIn final : public OFileIn {
 public:
  MemIn(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override { return --refs; }
  BOOL Open(const char16_t*) override { return TRUE; }
  BOOL Seek(int64_t offset, int origin) override {
    int64_t to = (origin == 0 ? 0 : origin == 1 ? int64_t(pos) : int64_t(m_n)) + offset;
    if (to < 0) return FALSE;
    pos = size_t(to);
    eof = FALSE;
    return TRUE;
  }
  int64_t Tell() override { return int64_t(pos); }
  BOOL IsError() override { return FALSE; }
  BOOL Close() override { return TRUE; }
  size_t Read(void* dst, size_t size, size_t count) override {
    const size_t want = size * count;
    if (!want) return 0;
    const size_t n = pos < m_n ? (want < m_n - pos ? want : m_n - pos) : 0;
    if (n) std::memcpy(dst, m_p + pos, n);
    pos += n;
    if (n < want) eof = TRUE;
    return n / size;
  }
  BOOL IsEof() override { return eof; }
  int64_t GetLength() override { return int64_t(m_n); }

  int32_t refs = 0;
  size_t pos = 0;
  BOOL eof = FALSE;

 private:
  const uint8_t* m_p;
  size_t m_n;
};

class MemOut final : public OFileOut {
 public:
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override { return --refs; }
  BOOL Open(const char16_t*) override { return TRUE; }
  BOOL Seek(int64_t offset, int origin) override {
    int64_t to = (origin == 0 ? 0 : origin == 1 ? int64_t(pos) : int64_t(bytes.size())) + offset;
    if (to < 0) return FALSE;
    pos = size_t(to);
    return TRUE;
  }
  int64_t Tell() override { return int64_t(pos); }
  BOOL IsError() override { return FALSE; }
  BOOL Close() override { return TRUE; }
  BOOL Flush() override { return TRUE; }
  size_t Write(const void* p, size_t size, size_t count) override {
    const size_t n = size * count;
    if (pos + n > bytes.size()) bytes.resize(pos + n);
    if (n) std::memcpy(bytes.data() + pos, p, n);
    pos += n;
    return count;
  }

  int32_t refs = 0;
  size_t pos = 0;
  Bytes bytes;
};

Bytes Surface(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  return Bytes(lock.pPixels, lock.pPixels + size_t(lock.cbRow) * ((lock.nHeight + 63) & ~63));
}

void Drop(GErrRecord* e) {
  e->AddRef();
  e->Release();
}

// A loaded layer saves and loads again, and backs up and restores, to the same pixels.
void CheckCopies(OLayer* loaded) {
  const Bytes pixels = Surface(loaded);
  MemOut out;
  const int64_t saved = loaded->Save(&out, nullptr);
  FUZZ_CHECK(saved > 0 && size_t(saved) == out.bytes.size() && out.refs == 0);
  GCompRef<OLayer> again = NewLayer();
  MemIn in(out.bytes.data(), out.bytes.size());
  FUZZ_CHECK(again->Load(&in, nullptr, nullptr) == saved);
  FUZZ_CHECK(Surface(again) == pixels);

  LayerInfo info;
  GCompRef<OData> block = loaded->Backup(&info);
  GCompRef<OLayer> restored = NewLayer();
  FUZZ_CHECK(restored->Restore(block, nullptr));
  FUZZ_CHECK(Surface(restored) == pixels);
}

void WriteSeeds(const char* folder) {
  struct Seed {
    int w, h, format;
    bool noise;
  } seeds[] = {{1, 1, OLayer::myFORMAT_C32, false}, {8, 8, OLayer::myFORMAT_C32, true},
               {70, 3, OLayer::myFORMAT_A16, true}, {64, 64, OLayer::myFORMAT_A16, false}};
  uint32_t x = 0x9E3779B9u;
  int n = 0;
  for (const Seed& s : seeds) {
    GCompRef<OLayer> l = NewLayer();
    l->Initialize(nullptr, s.w, s.h, s.format, 7);
    l->SetName(u"seed");
    if (s.noise) {
      LayerLock lock;
      lock.Lock(l, 0);
      for (size_t i = 0; i < size_t(lock.cbRow) * size_t((s.h + 63) & ~63); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        lock.pPixels[i] = uint8_t(x);
      }
    }
    MemOut out;
    if (l->Save(&out, nullptr) <= 0) std::exit(1);
    for (uint8_t mode : {uint8_t(0), uint8_t(3)}) WriteSeed(folder, "record_" + std::to_string(n++), mode, out.bytes);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  WriteSeedsWhenAsked("TAVRIK_RECORD_SEEDS", WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  Bytes record(data + 1, data + size);
  if (record.size() >= 72) {
    if (mode & 1) PutLE32(record.data() + 4, uint32_t(record.size()));
    if (mode & 2) {
      uint32_t sum = 0;
      for (size_t at = 4; at < 40; at += 4) sum += GetLE32(record.data() + at);
      PutLE32(record.data(), sum);
    }
  }

  if (LayerMemory(record) <= kMemoryBudget) {
    GCompRef<OLayer> layer = NewLayer();
    MemIn in(record.data(), record.size());
    int64_t got = -1;
    try {
      got = layer->Load(&in, nullptr, nullptr);
    } catch (GErrRecord* e) {
      // Load reports damage by -1; only a failed allocation may throw.
      Drop(e);
    }
    FUZZ_CHECK(in.refs == 0);
    if (got >= 0) {
      // Success means the whole record was taken, and nothing past it.
      FUZZ_CHECK(got == int64_t(GetLE32(record.data() + 4)) && in.Tell() == got);
      CheckCopies(layer);
    }
  }

  GCompRef<OLayer> layer = NewLayer();
  GCompRef<OData> block = GNewData(record.size());
  block->Write(record.data(), record.size());
  try {
    layer->Restore(block, nullptr);
  } catch (GErrRecord* e) {
    Drop(e);
  }
  return 0;
}

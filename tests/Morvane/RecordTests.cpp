#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <random>
#include <utility>
#include <vector>

#include "MorvaneFixture.h"
#include "common/MemFiles.h"
#include "XCoderZlib.h"
#include "odata/RecordStream.h"
#include "platform/base/Files.h"

namespace {

using Bytes = std::vector<BYTE>;
constexpr size_t kHead = LAYER_RECORD_PIXELS;
constexpr size_t kMiB = 0x100000;

uint32_t Get32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = BYTE(v >> (8 * i));
}
// The check word over the header fields, as a record must carry it.
uint32_t HeaderSum(const Bytes& b) {
  uint32_t s = 0;
  for (size_t at = 4; at < 40; at += 4) s += Get32(b, at);
  return s;
}
void Reseal(Bytes& b) { Put32(b, 0, HeaderSum(b)); }

// The decoder as first described: it works only while its buffer has room, so a call
// with no room returns success having done nothing. A load that drives it with an empty
// buffer until the stream ends never ends.
class RoomOnlyDecoder final : public GComponent<OCoder> {
 public:
  ~RoomOnlyDecoder() override { Close(); }
  BOOL OutputBegin(OCoderInput* input, GCoderState* state, int) override {
    *state = GCoderState{};
    if (!input->InputBegin()) return 0;
    m_zs = z_stream{};
    if (inflateInit(&m_zs) != Z_OK) return 0;
    input->AddRef();
    m_input = input;
    m_code = Z_STREAM_ERROR;
    return 1;
  }
  BOOL Output(void* buffer, UINT size, GCoderState* state) override {
    m_zs.next_out = static_cast<Bytef*>(buffer);
    m_zs.avail_out = size;
    while (m_zs.avail_out > 0) {
      if (m_zs.avail_in == 0) {
        const BYTE* next = nullptr;
        UINT avail = 0;
        BOOL last = FALSE;
        if (!m_input->Input(&next, &avail, &last)) break;
        m_zs.next_in = const_cast<Bytef*>(next);
        m_zs.avail_in = avail;
      }
      m_code = inflate(&m_zs, Z_NO_FLUSH);
      if (m_code != Z_OK) break;
    }
    *state = GCoderState{uint32_t(m_zs.total_in), uint32_t(m_zs.total_out), size - m_zs.avail_out,
                         m_code == Z_STREAM_END ? 1u : 0u};
    return m_code == Z_OK || m_code == Z_STREAM_END;
  }
  BOOL OutputEnd() override {
    if (m_input) m_input->InputEnd();
    Close();
    return m_code == Z_STREAM_END;
  }

 protected:
  void* FindInterface(const char16_t* name) override {
    return plat::StrCmp(name, u"OCoder") == 0 ? static_cast<OCoder*>(this) : nullptr;
  }

 private:
  void Close() {
    if (!m_input) return;
    inflateEnd(&m_zs);
    std::exchange(m_input, nullptr)->Release();
  }
  z_stream m_zs{};
  OCoderInput* m_input = nullptr;
  int m_code = Z_STREAM_ERROR;
};

// "XDecoderZlib" that notes which way a load decodes: the whole-buffer decoder's calls and
// successes, and the piecewise streams begun (zlib deciding what the other refused).
class WatchedDecoder final : public GComponent<OCoder>, public OBlockDecoder {
 public:
  struct Counts {
    int whole, wholeDone, pieces;
  };
  static inline Counts counts{};

  BOOL OutputBegin(OCoderInput* input, GCoderState* state, int level) override {
    ++counts.pieces;
    return Pieces()->OutputBegin(input, state, level);
  }
  BOOL Output(void* buffer, UINT size, GCoderState* state) override { return Pieces()->Output(buffer, size, state); }
  BOOL OutputEnd() override { return Pieces()->OutputEnd(); }
  BOOL Decode(const void* in, uint64_t inBytes, void* out, uint64_t room, uint64_t* written) override {
    ++counts.whole;
    const BOOL ok = Whole()->Decode(in, inBytes, out, room, written);
    counts.wholeDone += ok ? 1 : 0;
    return ok;
  }

 protected:
  void* FindInterface(const char16_t* name) override {
    if (plat::StrCmp(name, u"OCoder") == 0) return static_cast<OCoder*>(this);
    if (plat::StrCmp(name, u"OBlockDecoder") == 0) return static_cast<OBlockDecoder*>(this);
    return nullptr;
  }

 private:
  OCoder* Pieces() { return static_cast<OCoder*>(m_real->GetInterface(u"OCoder")); }
  OBlockDecoder* Whole() { return static_cast<OBlockDecoder*>(m_real->GetInterface(u"OBlockDecoder")); }
  GCompRef<OComponent> m_real = GCreateComponent<XDecoderZlib>(nullptr, nullptr, nullptr);
};

void Register(FakeSystem& s, ComponentFactory decoder) {
  s.Register(u"Morvane", GCreateComponent<Morvane>);
  s.Register(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
  s.Register(u"XDecoderZlib", decoder);
}

class RecordTest : public ::testing::Test {
 protected:
  RecordTest() { Register(sys, GCreateComponent<XDecoderZlib>); }
  void TearDown() override {
    // Every layer and coder made by a test has gone again.
    for (const char16_t* name : {u"Morvane", u"XEncoderZlib", u"XDecoderZlib"}) EXPECT_EQ(sys.Entry(name)->Refs(), 0);
  }

  GCompRef<OLayer> NewEmpty() {
    return static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer__"));
  }
  GCompRef<OLayer> NewLayer(int w, int h, int format, UINT id = 1) {
    GCompRef<OLayer> l = NewEmpty();
    l->Initialize(nullptr, w, h, format, id);
    return l;
  }
  // A layer with every saved field random, noise over the whole surface (padding too)
  // and the property values inside their bounds.
  GCompRef<OLayer> RandomLayer(int w, int h, int format) {
    GCompRef<OLayer> l = NewLayer(w, h, format, rng());
    FillNoise(l, SurfaceBytes(l));
    std::u16string name;
    for (size_t n = rng() % 64; n; --n) name += char16_t(u'A' + rng() % 40 + (rng() % 4 ? 0 : 0x4E00));
    l->SetName(name.c_str());
    l->SetColor(rng());
    l->SetFlags(rng());
    l->SetPosition(int(rng() % 40000) - 20000, int(rng() % 40000) - 20000, FALSE);
    for (UINT i = 0; i < LayerProperty::kAllItems; ++i) {
      PropertyItem& item = static_cast<Morvane*>(l.get())->Properties().Saved(i);
      item.value = item.minimum + int32_t(rng() % uint32_t(item.maximum - item.minimum + 1));
    }
    return l;
  }
  // Noise in the first n surface bytes, zeros after them.
  void FillNoise(OLayer* l, size_t n) {
    LayerLock lock;
    lock.Lock(l, 0);
    size_t all = SurfaceBytes(l);
    for (size_t i = 0; i < all; ++i) lock.pPixels[i] = i < n ? BYTE(rng()) : 0;
  }
  static size_t SurfaceBytes(OLayer* l) {
    return size_t(l->GetPitch()) * size_t((l->GetHeight() + 63) & ~63) * size_t(l->GetPixelSize());
  }
  static Bytes Surface(OLayer* l) {
    LayerLock lock;
    lock.Lock(l, 0);
    return Bytes(lock.pPixels, lock.pPixels + SurfaceBytes(l));
  }
  static void ExpectSameLayer(OLayer* a, OLayer* b) {
    EXPECT_EQ(a->GetWidth(), b->GetWidth());
    EXPECT_EQ(a->GetHeight(), b->GetHeight());
    EXPECT_EQ(a->GetFormat(), b->GetFormat());
    EXPECT_EQ(a->GetID(), b->GetID());
    EXPECT_EQ(a->GetFlags(), b->GetFlags());
    EXPECT_EQ(a->GetColor(nullptr, nullptr), b->GetColor(nullptr, nullptr));
    POINT pa, pb;
    a->GetPosition(&pa, FALSE);
    b->GetPosition(&pb, FALSE);
    EXPECT_EQ(pa.x, pb.x);
    EXPECT_EQ(pa.y, pb.y);
    EXPECT_EQ(std::u16string(a->GetName()), std::u16string(b->GetName()));
    for (UINT i = 0; i < LayerProperty::kAllItems; ++i)
      EXPECT_EQ(static_cast<Morvane*>(a)->Properties().Saved(i).value,
                static_cast<Morvane*>(b)->Properties().Saved(i).value)
          << "value " << i;
    EXPECT_TRUE(Surface(a) == Surface(b)) << "surfaces differ";
  }
  static Bytes SaveRecord(OLayer* l) {
    Bytes bytes;
    MemOut out(bytes);
    const int64_t size = l->Save(&out, nullptr);
    EXPECT_EQ(size, int64_t(bytes.size()));
    return bytes;
  }
  static Bytes Inflate(const BYTE* p, size_t n, size_t expect) {
    Bytes out(expect + 1);
    uLongf outLen = uLongf(out.size());
    uLong inLen = uLong(n);
    EXPECT_EQ(uncompress2(out.data(), &outLen, p, &inLen), Z_OK);
    EXPECT_EQ(inLen, n) << "the stream does not end at the record's end";
    out.resize(outLen);
    return out;
  }

  FakeSystem sys;
  std::mt19937 rng{20240601};
};

TEST_F(RecordTest, SaveLoadRoundTrip) {
  struct Case {
    int w, h, format;
  } cases[] = {{300, 200, OLayer::myFORMAT_C32}, {517, 130, OLayer::myFORMAT_A16}, {1, 1, OLayer::myFORMAT_C32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " format " << c.format);
    GCompRef<OLayer> src = RandomLayer(c.w, c.h, c.format);
    const size_t surface = SurfaceBytes(src);
    Bytes bytes;
    MemOut out(bytes);
    JobControl saving;
    saving.progress = 1000;
    const int64_t size = src->Save(&out, &saving);
    ASSERT_EQ(size, int64_t(bytes.size()));
    EXPECT_EQ(out.refs, 0);
    EXPECT_EQ(saving.progress, int32_t(1000 + (surface >> 16)));

    // Header fields little-endian, the check word their sum, reserved zero; the stream is
    // one zlib stream of the whole surface that ends with the record.
    EXPECT_EQ(Get32(bytes, 4), uint32_t(size));
    EXPECT_EQ(Get32(bytes, 0), HeaderSum(bytes));
    EXPECT_EQ(Get32(bytes, 8), src->GetID());
    EXPECT_EQ(Get32(bytes, 12), src->GetFlags());
    EXPECT_EQ(Get32(bytes, 16), uint32_t(c.format));
    EXPECT_EQ(Get32(bytes, 24), uint32_t(c.w));
    EXPECT_EQ(Get32(bytes, 28), uint32_t(c.h));
    EXPECT_TRUE(std::all_of(bytes.begin() + 40, bytes.begin() + 72, [](BYTE b) { return b == 0; }));
    EXPECT_EQ(Get32(bytes, 200), uint32_t(static_cast<Morvane*>(src.get())->Properties().Saved(0).value));
    EXPECT_TRUE(Inflate(bytes.data() + kHead, bytes.size() - kHead, surface) == Surface(src));

    GCompRef<OLayer> back = NewEmpty();
    MemIn in(bytes);
    JobControl loading;
    EXPECT_EQ(back->Load(&in, &loading, nullptr), size);
    EXPECT_EQ(in.Tell(), size);
    EXPECT_EQ(in.refs, 0);
    EXPECT_EQ(loading.progress, int32_t(surface >> 16));
    ExpectSameLayer(src, back);
    EXPECT_EQ(SaveRecord(back), bytes) << "a loaded layer saves the same record";
  }
}

// EncodeRecord codes the surface in one call: one piece (the piecewise coder would have cut a
// stream of more than 1 MiB into several), one zlib stream that zlib's inflate reads to the
// surface, the same stream Save writes.
TEST_F(RecordTest, EncodedRecordIsOneZlibStreamInOnePiece) {
  GCompRef<OLayer> l = RandomLayer(1000, 500, OLayer::myFORMAT_C32);
  RecordStream stream;
  JobControl job;
  ASSERT_EQ(l->EncodeRecord(&stream, &job), TRUE);
  ASSERT_EQ(stream.Pieces(), 1u);
  ASSERT_GT(stream.Bytes(), kMiB);
  EXPECT_EQ(job.progress, int32_t(SurfaceBytes(l) >> 16));
  EXPECT_TRUE(Inflate(stream.Data(0), stream.Size(0), SurfaceBytes(l)) == Surface(l));
  const Bytes record = SaveRecord(l);
  EXPECT_TRUE(std::equal(record.begin() + long(kHead), record.end(), stream.Data(0), stream.Data(0) + stream.Size(0)));
}

// One stream carries record after record, as a save's or a load's workers use theirs: the
// memory a cleared stream kept is handed out again, and a record coded or read into it is
// the record a fresh stream holds, whether the one before was larger or smaller.
TEST_F(RecordTest, AStreamReusedForRecordAfterRecordHoldsEachWhole) {
  GCompRef<OLayer> layers[] = {RandomLayer(700, 500, OLayer::myFORMAT_C32), RandomLayer(90, 33, OLayer::myFORMAT_A16),
                               RandomLayer(800, 600, OLayer::myFORMAT_C32)};
  RecordStream coding, reading;
  const BYTE* kept = nullptr;
  for (OLayer* l : layers) {
    RecordStream fresh;
    ASSERT_EQ(l->EncodeRecord(&fresh, nullptr), TRUE);
    ASSERT_EQ(l->EncodeRecord(&coding, nullptr), TRUE);
    ASSERT_EQ(coding.Pieces(), 1u);
    ASSERT_EQ(coding.Bytes(), fresh.Bytes());
    EXPECT_EQ(std::memcmp(coding.Data(0), fresh.Data(0), fresh.Size(0)), 0);
    // The smaller record goes into the memory the first one left.
    if (l == layers[1]) {
      EXPECT_EQ(coding.Data(0), kept);
    }
    kept = coding.Data(0);

    const Bytes record = SaveRecord(l);
    MemIn in(record);
    GCompRef<OLayer> back = NewEmpty();
    ASSERT_EQ(back->ReadRecord(&in, nullptr, &reading), int64_t(record.size()));
    ASSERT_EQ(reading.Bytes(), fresh.Bytes());
    ASSERT_EQ(back->DecodeRecord(&reading, nullptr), TRUE);
    ExpectSameLayer(l, back);
  }
}

// Records one after another in a real file, starting past other data: each Load stops
// at its record's end and never reads beyond it.
TEST_F(RecordTest, RecordsBackToBackInAFile) {
  const std::u16string path =
      plat::GetTempFolder() + plat::Widen("tavrik_records_" + std::to_string(getpid()) + ".bin");
  GCompRef<OLayer> layers[] = {RandomLayer(700, 500, OLayer::myFORMAT_C32), RandomLayer(90, 33, OLayer::myFORMAT_A16),
                               RandomLayer(1, 1, OLayer::myFORMAT_C32)};
  std::vector<int64_t> ends;
  {
    GCompRef<OFileOut> out = new CFileOut();
    ASSERT_TRUE(out->Open(path.c_str()));
    ASSERT_EQ(out->Write("prefix", 1, 6), 6u);
    for (auto& l : layers) {
      int64_t start = out->Tell();
      int64_t size = l->Save(out, nullptr);
      ASSERT_GT(size, 0);
      EXPECT_EQ(out->Tell(), start + size);
      ends.push_back(start + size);
    }
    ASSERT_TRUE(out->Close());
  }
  Bytes file(size_t(plat::GetFileLength(path)));
  {
    FILE* f = plat::OpenFile(path, "rb");
    ASSERT_TRUE(f);
    ASSERT_EQ(std::fread(file.data(), 1, file.size(), f), file.size());
    std::fclose(f);
  }
  plat::DeleteFile(path);
  ASSERT_EQ(int64_t(file.size()), ends.back());

  MemIn in(file);
  in.Seek(6, 0);
  for (size_t i = 0; i < 3; ++i) {
    GCompRef<OLayer> back = NewEmpty();
    EXPECT_EQ(back->Load(&in, nullptr, nullptr), ends[i] - (i ? ends[i - 1] : 6));
    EXPECT_EQ(in.Tell(), ends[i]);
    EXPECT_EQ(int64_t(in.highWater), ends[i]) << "read past record " << i;
    ExpectSameLayer(layers[i], back);
  }
}

TEST_F(RecordTest, FailedSaveLeavesTheHeaderPlaceUnwritten) {
  // About 2 MiB of noise: the stream comes in three pieces.
  GCompRef<OLayer> l = RandomLayer(1000, 500, OLayer::myFORMAT_C32);
  const size_t full = SaveRecord(l).size();
  const size_t stream = full - kHead;
  ASSERT_GT(stream, 2 * kMiB);
  ASSERT_NE(stream % kMiB, 0u);
  const size_t afterHead = kHead - 72;  // bytes written before the stream
  struct Case {
    const char* what;
    size_t failAfter;   // writes fail past this many bytes
    size_t abortAfter;  // abort raised once this many bytes are written (0: never)
  } cases[] = {
      {"write fails in the name block", 100, 0},
      {"write fails on the first piece", afterHead + 10, 0},
      {"write fails on the last piece", afterHead + stream - 1, 0},
      {"abort after the first piece", SIZE_MAX, afterHead + kMiB},
      {"abort before the last piece", SIZE_MAX, afterHead + stream / kMiB * kMiB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes(100, 0xEE);
    MemOut out(bytes);
    JobControl job;
    out.failAfter = c.failAfter;
    if (c.abortAfter) {
      out.abortJob = &job;
      out.abortAfter = c.abortAfter;
    }
    EXPECT_EQ(l->Save(&out, &job), -1);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.begin() + 72, [](BYTE b) { return b == 0xEE; }));
    EXPECT_EQ(out.refs, 0);
  }
  // The layer was unlocked on the way out.
  EXPECT_EQ(SaveRecord(l).size(), full);
}

TEST_F(RecordTest, AbortBeforeStartTouchesNothing) {
  GCompRef<OLayer> l = RandomLayer(64, 64, OLayer::myFORMAT_C32);
  const Bytes record = SaveRecord(l);
  JobControl job;
  job.flags = JOB_ABORT;
  Bytes bytes;
  MemOut out(bytes);
  EXPECT_EQ(l->Save(&out, &job), -1);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(out.pos, 0u);

  GCompRef<OLayer> back = NewEmpty();
  MemIn in(record);
  EXPECT_EQ(back->Load(&in, &job, nullptr), -1);
  EXPECT_EQ(in.highWater, 0u);
  EXPECT_EQ(back->GetMemorySize(), 0u);
}

TEST_F(RecordTest, DamagedRecordsAreRefused) {
  GCompRef<OLayer> l = RandomLayer(150, 90, OLayer::myFORMAT_C32);
  const Bytes good = SaveRecord(l);
  const Bytes surface = Surface(l);
  const size_t stream = good.size() - kHead;
  auto cut = [&](size_t n) { return Bytes(good.begin(), good.begin() + n); };
  auto field = [&](size_t at, uint32_t v) {
    Bytes b = good;
    Put32(b, at, v);
    Reseal(b);
    return b;
  };
  // A record whose stream holds these bytes instead of the surface.
  auto withStream = [&](const Bytes& pixels) {
    Bytes packed(compressBound(uLong(pixels.size())));
    uLongf n = uLongf(packed.size());
    EXPECT_EQ(compress2(packed.data(), &n, pixels.data(), uLong(pixels.size()), 4), Z_OK);
    Bytes b = good;
    b.resize(kHead + n);
    std::memcpy(b.data() + kHead, packed.data(), n);
    Put32(b, 4, uint32_t(b.size()));
    Reseal(b);
    return b;
  };
  Bytes offByOne = good;
  Put32(offByOne, 0, Get32(good, 0) + 1);
  Bytes notZlib = good;
  std::fill(notZlib.begin() + kHead, notZlib.end(), 0x55);
  Bytes longSurface = surface;
  longSurface.insert(longSurface.end(), 4096, 0x33);

  struct Case {
    const char* what;
    Bytes bytes;
    bool allocates;  // refused only after the layer was made (a record that passes the
                     // file's end is refused before)
  } cases[] = {
      {"dwTest off by one", offByOne, false},
      {"cut inside the header", cut(40), false},
      {"cut inside the name", cut(72 + 60), false},
      {"cut inside the values", cut(210), false},
      {"cut inside the stream", cut(kHead + stream / 2), false},
      {"cut before the check word", cut(good.size() - 1), false},
      {"width 0", field(24, 0), false},
      {"width 20000", field(24, 20000), false},
      {"height 0", field(28, 0), false},
      {"height 10001", field(28, 10001), false},
      {"format 3", field(16, 3), false},
      {"dwFileSize 219", field(4, 219), false},
      {"x where x + width passes 2^31", field(32, 0x7FFFFFC0u), false},
      {"x one beyond -2^30", field(32, uint32_t(-(1 << 30) - 1)), false},
      {"y one beyond 2^30", field(36, (1u << 30) + 1), false},
      {"dwFileSize far past the file", field(4, 0xFFFFFF00u), false},
      {"stream with extra output", withStream(longSurface), true},
      {"stream not zlib", notZlib, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GCompRef<OLayer> back = NewEmpty();
    MemIn in(c.bytes);
    EXPECT_EQ(back->Load(&in, nullptr, nullptr), -1);
    EXPECT_EQ(in.refs, 0);
    EXPECT_EQ(back->GetMemorySize() != 0, c.allocates);
    if (c.bytes.size() >= 8) {
      EXPECT_LE(in.highWater, size_t(Get32(c.bytes, 4)));
    }
  }
}

// A stream that ends before the surface is full loads with the rest zero; bytes after the
// stream inside the record are skipped, and the file is left at the record's end.
TEST_F(RecordTest, ShortStreamsAndSpareBytesInsideTheRecordLoad) {
  GCompRef<OLayer> l = RandomLayer(150, 90, OLayer::myFORMAT_C32);
  const Bytes good = SaveRecord(l);
  const Bytes surface = Surface(l);
  const Bytes half(surface.begin(), surface.begin() + surface.size() / 2 + 3);
  Bytes packed(compressBound(uLong(half.size())));
  uLongf n = uLongf(packed.size());
  ASSERT_EQ(compress2(packed.data(), &n, half.data(), uLong(half.size()), 4), Z_OK);
  for (size_t spare : {size_t(0), size_t(1), size_t(5000)}) {
    for (bool shortStream : {false, true}) {
      const Bytes stream = shortStream ? Bytes(packed.begin(), packed.begin() + long(n))
                                       : Bytes(good.begin() + long(kHead), good.end());
      Bytes b = good;
      b.resize(kHead + stream.size() + spare, 0x5A);
      std::copy(stream.begin(), stream.end(), b.begin() + long(kHead));
      Put32(b, 4, uint32_t(b.size()));
      Reseal(b);
      b.insert(b.end(), 16, 0x77);  // the next record
      GCompRef<OLayer> back = NewEmpty();
      MemIn in(b);
      ASSERT_EQ(back->Load(&in, nullptr, nullptr), int64_t(b.size() - 16)) << spare << shortStream;
      EXPECT_EQ(in.Tell(), int64_t(b.size() - 16));
      Bytes expect = surface;
      if (shortStream) std::fill(expect.begin() + half.size(), expect.end(), 0);
      EXPECT_TRUE(Surface(back) == expect) << spare << shortStream;
    }
  }
}

// Streams zlib wrote, short ones and ones with bytes after them decode whole straight into
// the surface, through Load and through ReadRecord / DecodeRecord alike; what the whole-buffer
// decoder refuses goes to zlib's piecewise decoder, which refuses it as before.
TEST_F(RecordTest, ZlibStreamsLoadWholeAndRefusedOnesGoToZlib) {
  FakeSystem watched;
  Register(watched, GCreateComponent<WatchedDecoder>);
  GCompRef<OLayer> l = RandomLayer(150, 90, OLayer::myFORMAT_C32);
  {
    LayerLock lock;  // something compressible in the middle, so the levels differ
    lock.Lock(l, 0);
    std::memset(lock.pPixels + 9000, 0x40, 20000);
  }
  const Bytes good = SaveRecord(l);
  const Bytes surface = Surface(l);
  auto zlib = [](const Bytes& pixels, int level) {
    Bytes packed(compressBound(uLong(pixels.size())));
    uLongf n = uLongf(packed.size());
    EXPECT_EQ(compress2(packed.data(), &n, pixels.data(), uLong(pixels.size()), level), Z_OK);
    packed.resize(n);
    return packed;
  };
  const Bytes ours(good.begin() + long(kHead), good.end());
  const Bytes half(surface.begin(), surface.begin() + long(surface.size() / 2 + 3));
  Bytes halfSurface = surface;
  std::fill(halfSurface.begin() + long(half.size()), halfSurface.end(), 0);
  Bytes longSurface = surface;
  longSurface.insert(longSurface.end(), 100, 0x33);
  auto spare = [](Bytes s, size_t n) {
    s.insert(s.end(), n, 0x5A);
    return s;
  };
  Bytes badCheck = ours;
  badCheck.back() ^= 1;
  const struct {
    const char* what;
    Bytes stream;
    const Bytes* loads;  // the surface it loads, or null when the record is refused
  } cases[] = {
      {"our own stream", ours, &surface},
      {"zlib level 4", zlib(surface, 4), &surface},
      {"zlib level 9", zlib(surface, 9), &surface},
      {"zlib stored blocks", zlib(surface, 0), &surface},
      {"one spare byte", spare(ours, 1), &surface},
      {"5000 spare bytes", spare(ours, 5000), &surface},
      {"short stream", zlib(half, 4), &halfSurface},
      {"short stream, spare bytes", spare(zlib(half, 4), 77), &halfSurface},
      {"stream with extra output", zlib(longSurface, 4), nullptr},
      {"check word wrong", badCheck, nullptr},
      {"cut stream", Bytes(ours.begin(), ours.end() - 3), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes record = good;
    record.resize(kHead);
    record.insert(record.end(), c.stream.begin(), c.stream.end());
    Put32(record, 4, uint32_t(record.size()));
    Reseal(record);
    const size_t size = record.size();
    record.insert(record.end(), 16, 0x77);  // the next record
    for (bool inTwoSteps : {false, true}) {
      SCOPED_TRACE(inTwoSteps ? "ReadRecord / DecodeRecord" : "Load");
      WatchedDecoder::counts = WatchedDecoder::Counts{};
      GCompRef<OLayer> back = static_cast<OLayer*>(watched.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
      MemIn in(record);
      bool loaded = false;
      if (inTwoSteps) {
        RecordStream stream;
        ASSERT_EQ(back->ReadRecord(&in, nullptr, &stream), int64_t(size));
        loaded = back->DecodeRecord(&stream, nullptr) != FALSE;
      } else {
        loaded = back->Load(&in, nullptr, nullptr) == int64_t(size);
      }
      EXPECT_EQ(in.Tell(), int64_t(size)) << "read past the record";
      EXPECT_EQ(WatchedDecoder::counts.whole, 1);
      if (c.loads) {
        EXPECT_TRUE(loaded);
        EXPECT_EQ(WatchedDecoder::counts.wholeDone, 1);
        EXPECT_EQ(WatchedDecoder::counts.pieces, 0) << "decoded twice";
        EXPECT_TRUE(Surface(back) == *c.loads);
      } else {
        EXPECT_FALSE(loaded);
        EXPECT_EQ(WatchedDecoder::counts.pieces, 1) << "zlib did not decide";
      }
    }
  }
  EXPECT_EQ(watched.Entry(u"XDecoderZlib")->Refs(), 0);
}

// Positions up to 2^30 either way load and give their rectangle; a layer moved further
// out still gives one whose far edge does not wrap.
TEST_F(RecordTest, FarPositionsLoadWithinTheirBoundsAndRectanglesDoNotWrap) {
  GCompRef<OLayer> l = RandomLayer(70, 40, OLayer::myFORMAT_A16);
  for (int32_t at : {1 << 30, -(1 << 30)}) {
    l->SetPosition(at, -at, FALSE);
    const Bytes record = SaveRecord(l);
    GCompRef<OLayer> back = NewEmpty();
    MemIn in(record);
    ASSERT_EQ(back->Load(&in, nullptr, nullptr), int64_t(record.size())) << at;
    RECT rc;
    back->GetRect(&rc);
    EXPECT_EQ(rc.left, at);
    EXPECT_EQ(rc.right, at + 70);
    EXPECT_EQ(rc.top, -at);
    EXPECT_EQ(rc.bottom, -at + 40);
  }
  l->SetPosition(0x7FFFFFC0, 0x7FFFFFF0, FALSE);
  RECT rc;
  l->GetRect(&rc);
  EXPECT_EQ(rc.right, INT32_MAX);
  EXPECT_EQ(rc.bottom, INT32_MAX);
}

// Loads under a watchdog: a load that spins fails the test (the abort bit then stops it).
int64_t LoadWatched(OLayer* l, OFileIn* in) {
  JobControl job;
  auto done = std::async(std::launch::async, [&] { return l->Load(in, &job, nullptr); });
  if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ADD_FAILURE() << "Load does not end";
    job.flags |= JOB_ABORT;
  }
  return done.get();
}

// The stream's check word lies in the file source's second piece: the surface is full
// after the first piece (the decoder's single 1 MiB output piece exactly), and the end of
// the stream has to be fetched with no pixel left to write.
TEST_F(RecordTest, StreamEndingJustPastAMebibyteBoundary) {
  GCompRef<OLayer> l = NewLayer(512, 512, OLayer::myFORMAT_C32);
  ASSERT_EQ(SurfaceBytes(l), kMiB);
  // Noise compresses to stored blocks, one byte of stream per byte of noise: move the
  // noise's end until the stream is 1 MiB + 4 bytes.
  size_t noise = kMiB - 400;
  Bytes record;
  for (int step = 0; step < 12; ++step) {
    rng.seed(7);
    FillNoise(l, noise);
    record = SaveRecord(l);
    int64_t miss = int64_t(kMiB + 4) - int64_t(record.size() - kHead);
    if (miss == 0) break;
    noise = size_t(int64_t(noise) + (step < 4 ? miss : miss > 0 ? 1 : -1));
  }
  const size_t stream = record.size() - kHead;
  ASSERT_GE(stream % kMiB, 1u);
  ASSERT_LE(stream % kMiB, 5u);
  ASSERT_EQ(stream / kMiB, 1u);

  GCompRef<OLayer> back = NewEmpty();
  MemIn in(record);
  EXPECT_EQ(LoadWatched(back, &in), int64_t(record.size()));
  ExpectSameLayer(l, back);

  // The same with a decoder that does nothing without room.
  FakeSystem roomOnly;
  Register(roomOnly, GCreateComponent<RoomOnlyDecoder>);
  GCompRef<OLayer> other = static_cast<OLayer*>(roomOnly.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
  MemIn again(record);
  EXPECT_EQ(LoadWatched(other, &again), int64_t(record.size()));
  EXPECT_TRUE(Surface(other) == Surface(l));
  other.Release();
  EXPECT_EQ(roomOnly.Entry(u"XDecoderZlib")->Refs(), 0);
}

TEST_F(RecordTest, LoadClampsValuesAndCutsTheName) {
  GCompRef<OLayer> l = RandomLayer(20, 20, OLayer::myFORMAT_A16);
  Bytes record = SaveRecord(l);
  // Stored values outside the bounds (mask ALPHA, MODE, MASK, colour ALPHA, MODE).
  const int32_t stored[5] = {250, -3, 7, 0, 9};
  const int32_t loaded[5] = {100, 0, 1, 1, 7};
  for (int i = 0; i < 5; ++i) Put32(record, 200 + 4 * i, uint32_t(stored[i]));
  struct Case {
    std::u16string block;  // name units as stored (zero-padded to 64)
    std::u16string name;
  } cases[] = {{std::u16string(64, u'x'), std::u16string(63, u'x')},
               {std::u16string(u"Ab\0qqqq", 7), u"Ab"},
               // A pair across the cut goes whole.
               {std::u16string(62, u'x') + u"\U0001F600", std::u16string(62, u'x')},
               {std::u16string(61, u'x') + u"\U0001F600y", std::u16string(61, u'x') + u"\U0001F600"}};
  for (const Case& c : cases) {
    for (size_t i = 0; i < 64; ++i) {
      char16_t u = i < c.block.size() ? c.block[i] : 0;
      record[72 + 2 * i] = BYTE(u);
      record[73 + 2 * i] = BYTE(u >> 8);
    }
    GCompRef<OLayer> back = NewEmpty();
    MemIn in(record);
    ASSERT_EQ(back->Load(&in, nullptr, nullptr), int64_t(record.size()));
    EXPECT_EQ(std::u16string(back->GetName()), c.name);
    for (UINT i = 0; i < 5; ++i) EXPECT_EQ(static_cast<Morvane*>(back.get())->Properties().Saved(i).value, loaded[i]);
    // Saved again, the name block holds the name and zeros only.
    Bytes again = SaveRecord(back);
    for (size_t i = 0; i < 64; ++i) {
      char16_t u = char16_t(again[72 + 2 * i] | again[73 + 2 * i] << 8);
      EXPECT_EQ(u, i < c.name.size() ? c.name[i] : 0) << "unit " << i;
    }
  }
}

TEST_F(RecordTest, BackupRestoreRoundTrip) {
  struct Case {
    int w, h, format;
    bool contiguous;
  } cases[] = {{600, 500, OLayer::myFORMAT_C32, true},
               {600, 500, OLayer::myFORMAT_C32, false},
               {70, 70, OLayer::myFORMAT_A16, true},
               {70, 70, OLayer::myFORMAT_A16, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " format " << c.format << " contiguous " << c.contiguous);
    GCompRef<OLayer> l = RandomLayer(c.w, c.h, c.format);
    const Bytes surface = Surface(l);
    LayerInfo info{};
    GCompRef<OData> block = l->Backup(c.contiguous ? &info : nullptr);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->GetSize(), kHead + surface.size());
    if (c.contiguous) {
      ASSERT_NE(block->GetBuffer(), nullptr);
      LayerInfo expect;
      l->GetInfo(&expect);
      EXPECT_EQ(std::memcmp(&info, &expect, sizeof info), 0);
      EXPECT_EQ(std::memcmp(block->GetBuffer() + LAYER_RECORD_PIXELS, surface.data(), surface.size()), 0);
      Bytes head(block->GetBuffer(), block->GetBuffer() + kHead);
      EXPECT_EQ(Get32(head, 4), uint32_t(kHead + surface.size()));
      EXPECT_EQ(Get32(head, 0), HeaderSum(head));
    } else {
      EXPECT_EQ(block->GetBuffer(), nullptr);
      EXPECT_EQ(block->GetFragmentCount(), (kHead + surface.size() + kMiB - 1) / kMiB);
    }
    GCompRef<OLayer> back = NewEmpty();
    EXPECT_TRUE(back->Restore(block, nullptr));
    ExpectSameLayer(l, back);
  }
}

TEST_F(RecordTest, RestoreRefusesDamagedBlocks) {
  GCompRef<OLayer> l = RandomLayer(100, 60, OLayer::myFORMAT_C32);
  LayerInfo info;
  GCompRef<OData> made = l->Backup(&info);
  const Bytes good(made->GetBuffer(), made->GetBuffer() + made->GetSize());
  auto field = [&](size_t at, uint32_t v) {
    Bytes b = good;
    Put32(b, at, v);
    Reseal(b);
    return b;
  };
  Bytes offByOne = good;
  Put32(offByOne, 0, Get32(good, 0) + 1);
  const char16_t* kSize = u"!fh.dwWidth>=1 && fh.dwWidth<=10000 && fh.dwHeight>=1 && fh.dwHeight<=10000";
  struct Case {
    const char* what;
    Bytes bytes;
    std::u16string condition;
  } cases[] = {
      {"dwTest off by one", offByOne,
       u"!fh.dwTest== fh.dwID + fh.dwFlags + fh.dwFormat + fh.dwColor + fh.dwFileSize + fh.dwWidth + "
       u"fh.dwHeight + fh.x + fh.y"},
      {"width 0", field(24, 0), kSize},
      {"width 20000", field(24, 20000), kSize},
      {"height 10001", field(28, 10001), kSize},
      {"format 3", field(16, 3), u"!fh.dwFormat==myFORMAT_A16 || fh.dwFormat==myFORMAT_C32"},
      {"dwFileSize 219", field(4, 219), u"!fh.dwFileSize>=200+4*nItems"},
      {"one pixel byte short", Bytes(good.begin(), good.end() - 1), u"!poData->GetSize()>=220+nSurfaceBytes"},
      {"cut inside the header", Bytes(good.begin(), good.begin() + 40), u"!poData->GetSize()>=sizeof(fh)"},
  };
  GCompRef<OLayer> back = NewEmpty();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GCompRef<OData> block = GNewData(c.bytes.size());
    block->Write(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(ThrownCondition([&] { back->Restore(block, nullptr); }), c.condition);
    EXPECT_EQ(back->GetMemorySize(), 0u) << "refused after allocating";
  }
  // Still empty: the same object takes a good block, and then refuses a second one.
  EXPECT_TRUE(back->Restore(made, nullptr));
  ExpectSameLayer(l, back);
  try {
    back->Restore(made, nullptr);
    ADD_FAILURE() << "a ready layer restored";
  } catch (GErrRecord* e) {
    e->AddRef();
    EXPECT_EQ(std::u16string(e->GetCondition()), u"!m_myState==myNULL");
    std::u16string text(4096, u'\0');
    text.resize(e->CopyText(text.data(), 4096));
    EXPECT_NE(text.find(u"Morvane ::Restore()"), std::u16string::npos) << U8(text);
    e->Release();
  }
}

TEST_F(RecordTest, StateChecks) {
  GCompRef<OLayer> empty = NewEmpty();
  GCompRef<OLayer> ready = NewLayer(8, 8, OLayer::myFORMAT_C32);
  Bytes bytes;
  MemOut out(bytes);
  MemIn in(bytes);
  const std::u16string kSave = u"!m_myState==myREADY && poFile->IsValid()";
  EXPECT_EQ(ThrownCondition([&] { empty->Save(&out, nullptr); }), kSave);
  out.failed = TRUE;
  EXPECT_EQ(ThrownCondition([&] { ready->Save(&out, nullptr); }), kSave);
  EXPECT_EQ(ThrownCondition([&] { ready->Load(&in, nullptr, nullptr); }), u"!m_myState==myNULL");
  EXPECT_EQ(ThrownCondition([&] { empty->Backup(nullptr); }), u"!m_myState==myREADY");
  EXPECT_EQ(out.refs + in.refs, 0);
}

TEST_F(RecordTest, ProgressTotal) {
  struct Case {
    int w, h, format;
    UINT total;
  } cases[] = {{1, 1, OLayer::myFORMAT_C32, 0},
               {1024, 1024, OLayer::myFORMAT_C32, 64},
               {1024, 1024, OLayer::myFORMAT_A16, 32},
               {100, 100, OLayer::myFORMAT_A16, 0},
               {300, 200, OLayer::myFORMAT_C32, 5}};
  for (const Case& c : cases) EXPECT_EQ(NewLayer(c.w, c.h, c.format)->GetProgressTotal(), c.total) << c.w;
}

}  // namespace

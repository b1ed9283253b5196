// The zlib coders against direct zlib calls (compress2 / uncompress) on the same bytes:
// three 4096 x 4096 32-bit surfaces, levels 1, 4 and 6, output in 1 MiB pieces as a layer
// save or load does.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "XCoderZlib.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kSide = 4096;
constexpr size_t kSurface = kSide * kSide * 4;
constexpr UINT kPiece = 0x100000;

enum Surface { kTransparent, kFlat, kNoisy };
const char* const kSurfaceNames[] = {"transparent", "flat", "noisy"};

const Bytes& GetSurface(int kind) {
  static Bytes surfaces[3];
  Bytes& s = surfaces[kind];
  if (s.empty()) {
    s.assign(kSurface, 0);
    auto* px = reinterpret_cast<uint32_t*>(s.data());
    if (kind == kFlat) {
      for (size_t i = 0; i < kSide * kSide; ++i) px[i] = 0xFF3A6EA5u;
    } else if (kind == kNoisy) {
      uint64_t x = 0x9E3779B97F4A7C15ull;  // xorshift: opaque pixels of random colour
      for (size_t i = 0; i < kSide * kSide; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        px[i] = uint32_t(x) | 0xFF000000u;
      }
    }
  }
  return s;
}

// Hands out a byte range in 1 MiB pieces, as the layer's pixel and file sources do.
class PieceInput final : public OCoderInput {
 public:
  PieceInput(const uint8_t* p, size_t n) : m_p(p), m_left(n) {}
  int32_t AddRef() override { return ++m_refs; }
  int32_t Release() override { return --m_refs; }
  BOOL InputBegin() override { return TRUE; }
  BOOL Input(const BYTE** next, UINT* avail, BOOL* last) override {
    size_t n = m_left < kPiece ? m_left : kPiece;
    *next = m_p;
    *avail = UINT(n);
    m_p += n;
    m_left -= n;
    *last = m_left == 0;
    return TRUE;
  }
  BOOL InputEnd() override { return m_left == 0; }

 private:
  const uint8_t* m_p;
  size_t m_left;
  int32_t m_refs = 0;
};

template <class T>
OCoder* NewCoder() {
  OComponent* c = GCreateComponent<T>(nullptr, nullptr, nullptr);
  auto* coder = static_cast<OCoder*>(c->GetInterface(u"OCoder"));
  coder->AddRef();
  return coder;
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Encodes through the coder into 1 MiB pieces appended to out; false when it fails.
bool CoderEncode(OCoder* enc, const Bytes& src, int level, Bytes& out) {
  PieceInput in(src.data(), src.size());
  GCoderState st{};
  if (!enc->OutputBegin(&in, &st, level)) return false;
  out.clear();
  Bytes piece(kPiece);
  while (enc->Output(piece.data(), kPiece, &st)) {
    out.insert(out.end(), piece.begin(), piece.begin() + st.uOutputSize);
    if (st.bStreamEnd) break;
  }
  return enc->OutputEnd() && st.bStreamEnd;
}

// Decodes through the coder straight into dst, 1 MiB at a time, as a layer load does.
bool CoderDecode(OCoder* dec, const Bytes& src, Bytes& dst) {
  PieceInput in(src.data(), src.size());
  GCoderState st{};
  if (!dec->OutputBegin(&in, &st, 0)) return false;
  size_t done = 0;
  while (!st.bStreamEnd) {
    UINT room = UINT(std::min<size_t>(dst.size() - done, kPiece));
    if (!dec->Output(dst.data() + done, room, &st)) break;
    done += st.uOutputSize;
  }
  return dec->OutputEnd() && done == dst.size();
}

std::string Case(const char* what, benchmark::State& state) {
  return std::string(what) + " " + kSurfaceNames[state.range(0)] + " level " + std::to_string(state.range(1));
}

std::string Packed(size_t packed, size_t bytes) {
  return "packed " + std::to_string(int(100.0 * double(packed) / double(bytes))) + " %";
}

void BM_Encode(benchmark::State& state) {
  const Bytes& src = GetSurface(int(state.range(0)));
  const int level = int(state.range(1));
  state.SetLabel(kSurfaceNames[state.range(0)]);
  OCoder* enc = NewCoder<XEncoderZlib>();
  Bytes viaZlib(compressBound(uLong(src.size())));
  Bytes viaCoder(viaZlib.size());  // touched once, so page faults stay out of the timing
  viaCoder.clear();
  RatioTimes times;
  uLongf packed = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    bool ok = CoderEncode(enc, src, level, viaCoder);
    auto t1 = Clock::now();
    packed = uLongf(viaZlib.size());
    int rc = compress2(viaZlib.data(), &packed, src.data(), uLong(src.size()), level);
    auto t2 = Clock::now();
    if (!ok || rc != Z_OK) {
      state.SkipWithError("encoding failed");
      break;
    }
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  if (times.Count()) times.Print("coder", Case("encode", state), "compress2", Packed(viaCoder.size(), src.size()));
  enc->Release();
}

void BM_Decode(benchmark::State& state) {
  const Bytes& src = GetSurface(int(state.range(0)));
  const int level = int(state.range(1));
  state.SetLabel(kSurfaceNames[state.range(0)]);
  uLongf n = compressBound(uLong(src.size()));
  Bytes packed(n);
  if (compress2(packed.data(), &n, src.data(), uLong(src.size()), level) != Z_OK) {
    state.SkipWithError("compress2 failed");
    return;
  }
  packed.resize(n);
  OCoder* dec = NewCoder<XDecoderZlib>();
  Bytes viaCoder(src.size()), viaZlib(src.size());
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    bool ok = CoderDecode(dec, packed, viaCoder);
    auto t1 = Clock::now();
    uLongf out = uLongf(viaZlib.size());
    int rc = uncompress(viaZlib.data(), &out, packed.data(), uLong(packed.size()));
    auto t2 = Clock::now();
    if (!ok || rc != Z_OK || std::memcmp(viaCoder.data(), src.data(), src.size()) != 0) {
      state.SkipWithError("decoding failed");
      break;
    }
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  if (times.Count()) times.Print("coder", Case("decode", state), "uncompress", Packed(packed.size(), src.size()));
  dec->Release();
}

void Cases(benchmark::internal::Benchmark* b) {
  for (int surface : {kTransparent, kFlat, kNoisy})
    for (int level : {1, 4, 6}) b->Args({surface, level});
  b->ArgNames({"surface", "level"})->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Encode)->Apply(Cases);
BENCHMARK(BM_Decode)->Apply(Cases);

}  // namespace

BENCHMARK_MAIN();

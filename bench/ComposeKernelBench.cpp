// Compositor kernels, ns per pixel, against pixman compositing the same pixels with its
// matching operator in the same run. One tile: a 400 x 400 accumulator (16-bit lanes) under
// eight entries of one kernel at full opacity; the background fill alone is timed too and
// taken off. pixman composites a 400 x 400 premultiplied a8r8g8b8 source (and a8 mask where
// the kernel has one) eight times onto a 400 x 400 a8r8g8b8 destination.
// Content 0 ("hashed"): every pixel's alpha on its own, a quarter clear, a quarter opaque, the
// rest anything (no block is all clear or all opaque: the general way throughout).
// Content 1 ("painted"): the same three kinds in runs of 1..64 pixels, so both sides take
// their short ways for clear and opaque blocks where they have them.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Compositor.h"

namespace {

using Clock = std::chrono::steady_clock;
using Compositor = void (*)(ComposeWork*, const ComposeEntry*, int);
constexpr int kSide = 400;
constexpr int kEntries = 8;
constexpr double kPixels = double(kSide) * kSide * kEntries;

double Ns(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::nano>(b - a).count(); }

struct Case {
  const char* name;
  uint32_t code;     // the kernel; COMPOSE_NEST + mode runs as copy + nest pairs
  pixman_op_t op;    // pixman's matching operator
  bool solid;        // pixman source: a solid colour through an a8 mask (A16, glass)
  bool mask;         // pixman gets an a8 mask (masked kernels)
};

const Case kCases[] = {
    {"C32 normal / OVER", COMPOSE_C32 + 0, PIXMAN_OP_OVER, false, false},
    {"C32 softlight / SCREEN", COMPOSE_C32 + 1, PIXMAN_OP_SCREEN, false, false},
    {"C32 softshadow / MULTIPLY", COMPOSE_C32 + 2, PIXMAN_OP_MULTIPLY, false, false},
    {"C32 hardlight / ADD", COMPOSE_C32 + 3, PIXMAN_OP_ADD, false, false},
    {"C32 hardshadow / ADD", COMPOSE_C32 + 4, PIXMAN_OP_ADD, false, false},
    {"C32 lighten / LIGHTEN", COMPOSE_C32 + 5, PIXMAN_OP_LIGHTEN, false, false},
    {"C32 darken / DARKEN", COMPOSE_C32 + 6, PIXMAN_OP_DARKEN, false, false},
    {"C32 difference / DIFFERENCE", COMPOSE_C32 + 7, PIXMAN_OP_DIFFERENCE, false, false},
    {"A16 normal / solid OVER a8", COMPOSE_A16 + 0, PIXMAN_OP_OVER, true, false},
    {"A16 hardlight / solid ADD a8", COMPOSE_A16 + 3, PIXMAN_OP_ADD, true, false},
    {"glass normal / solid OVER a8", COMPOSE_GLASS + 0, PIXMAN_OP_OVER, true, false},
    {"C32 masked normal / OVER a8", COMPOSE_C32_MASKED + 0, PIXMAN_OP_OVER, false, true},
    {"copy+nest normal / SRC+OVER", COMPOSE_NEST + 0, PIXMAN_OP_OVER, false, false},
    {"copy / SRC", COMPOSE_COPY, PIXMAN_OP_SRC, false, false},
};

uint32_t Hash(uint32_t i) {
  uint32_t v = i * 2654435761u;
  return v ^ (v >> 15);
}

// Straight pixels for the compositor, the same ones premultiplied for pixman.
struct Images {
  std::vector<uint32_t> straight, premul, dest;
  std::vector<uint16_t> a16;
  std::vector<uint8_t> a8;
  pixman_image_t *src = nullptr, *solid = nullptr, *mask = nullptr, *dst = nullptr;

  explicit Images(bool painted)
      : straight(kSide * kSide), premul(kSide * kSide), dest(kSide * kSide), a16(kSide * kSide), a8(kSide * kSide) {
    uint32_t runKind = 0, run = 0;
    for (uint32_t i = 0; i < uint32_t(kSide * kSide); ++i) {
      uint32_t v = Hash(i);
      if (run == 0) {
        run = 1 + Hash(i + 12345) % 64;
        runKind = Hash(i + 777) % 4;
      }
      --run;
      const uint32_t kind = painted ? runKind : (v >> 7) & 3;
      v = kind == 0 ? v & 0xFFFFFF : kind == 1 ? v | 0xFF000000 : v;
      straight[i] = v;
      const uint32_t a = v >> 24;
      uint32_t p = a << 24;
      for (int c = 0; c < 24; c += 8) p |= (((v >> c) & 255) * a / 255) << c;
      premul[i] = p;
      a16[i] = uint16_t(a << 8 | (Hash(i + 7) & 255));
      a8[i] = uint8_t(a);
      dest[i] = Hash(i + 99) | 0xFF000000;
    }
    src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, premul.data(), kSide * 4);
    const pixman_color_t c = {0x3000, 0x9000, 0xF000, 0xFFFF};
    solid = pixman_image_create_solid_fill(&c);
    mask = pixman_image_create_bits(PIXMAN_a8, kSide, kSide, reinterpret_cast<uint32_t*>(a8.data()), kSide);
    dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, dest.data(), kSide * 4);
  }
  ~Images() {
    for (pixman_image_t* i : {src, solid, mask, dst}) pixman_image_unref(i);
  }
};

ComposeEntry Entry(uint32_t code, const void* source, const uint16_t* mask) {
  ComposeEntry e{};
  e.code = code;
  for (uint16_t& o : e.opacity) o = 128;  // ALPHA 100, as pixman's plain operators
  e.pitch = kSide;
  e.source = source;
  e.mask = mask;
  e.right = e.bottom = kSide;
  for (uint32_t& c : e.colour) c = 0x80F09030;
  return e;
}

void BM_Kernel(benchmark::State& state) {
  const Case& c = kCases[state.range(0)];
  const bool painted = state.range(1) == 1;
  state.SetLabel(std::string(c.name) + (painted ? ", painted" : ", hashed"));
  static Images hashed(false), paintedImages(true);
  Images& img = painted ? paintedImages : hashed;
  std::unique_ptr<ComposeWork> work(new ComposeWork{});
  work->spaceWidth = work->spaceHeight = 4096;
  work->insideColour = 0xFF808080;
  work->firstRow = 0;
  work->endRow = kSide;
  for (ComposeSpan& s : work->spans) s = {0, kSide};

  const uint32_t family = c.code >> 3;
  const void* source = family == 0 || family == 2 ? static_cast<const void*>(img.a16.data())
                                                  : static_cast<const void*>(img.straight.data());
  std::vector<ComposeEntry> entries;
  const bool nest = family == 4 || family == 5;
  for (int i = 0; i < kEntries; ++i) {
    if (nest) entries.push_back(Entry(COMPOSE_COPY, img.straight.data(), nullptr));
    entries.push_back(Entry(c.code, nest ? nullptr : source, img.a16.data()));
  }
  pixman_image_t* psrc = c.solid ? img.solid : img.src;
  pixman_image_t* pmask = c.solid || c.mask ? img.mask : nullptr;

  // The kernels alone: each composition less the background fill it starts with.
  auto kernels = [&](Compositor run) {
    auto t0 = Clock::now();
    run(work.get(), entries.data(), int(entries.size()));
    auto t1 = Clock::now();
    run(work.get(), entries.data(), 0);
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(work->acc[0][0]);
    benchmark::ClobberMemory();
    return Ns(t0, t1) - Ns(t1, t2);
  };
  double sse2 = 0, avx2 = 0, pix = 0;
  for (auto _ : state) {
    sse2 += kernels(LayerCompositorSse2);
    avx2 += kernels(LayerCompositor);
    auto t0 = Clock::now();
    for (int i = 0; i < kEntries; ++i) {
      if (nest) pixman_image_composite32(PIXMAN_OP_SRC, img.src, nullptr, img.dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
      pixman_image_composite32(c.op, psrc, pmask, img.dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
    }
    auto t1 = Clock::now();
    benchmark::DoNotOptimize(img.dest.data());
    benchmark::ClobberMemory();
    pix += Ns(t0, t1);
  }
  const double n = kPixels * double(state.iterations());
  state.counters["sse2_ns_px"] = sse2 / n;
  state.counters["best_ns_px"] = avx2 / n;  // LayerCompositor: AVX2 where the processor has it
  state.counters["pixman_ns_px"] = pix / n;
  // Time ratios: below 1 is faster than pixman.
  state.counters["sse2/pixman"] = sse2 / pix;
  state.counters["best/pixman"] = avx2 / pix;
}

BENCHMARK(BM_Kernel)
    ->ArgsProduct({benchmark::CreateDenseRange(0, int(std::size(kCases)) - 1, 1), {0, 1}})
    ->ArgNames({"case", "content"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// The compositor's kernels against pixman's counterpart operators, both making finished 8-bit
// pixels from the same layers: ours fills a 400 x 400 accumulator with the background,
// composes eight entries of one kernel at full opacity and packs the 16-bit lanes to BGRA
// bytes; pixman fills a 400 x 400 a8r8g8b8 image with the background (SRC) and composites the
// same pixels, premultiplied (and the same a8 mask where the kernel reads one), eight times
// with its operator. One RATIO line per case and content, medians of the runs, for the path
// the renderer runs (AVX2 where the processor has it) and for the SSE2 path.
//
// Counterparts: C32 normal is OVER, soft light SCREEN, soft shadow MULTIPLY, hard light ADD,
// lighten LIGHTEN, darken DARKEN; the A16 families are a solid colour through an a8 mask
// (OVER, ADD), glass too (OVER, which also forms the alpha), the masked C32 OVER with an a8
// mask, and a copy + nest pair SRC into a group image and OVER of the group. Two modes have
// none: hard shadow (a linear burn) and difference (an exclusive or of the channels); they
// are timed beside ADD and DIFFERENCE as the nearest operators in cost, and say so.
//
// Content "hashed": every pixel's alpha on its own, a quarter clear, a quarter opaque, the
// rest anything. Content "discs": soft-edged discs on clear, as painted layers are.
#include <benchmark/benchmark.h>
#include <emmintrin.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "Compositor.h"

namespace {

using Clock = std::chrono::steady_clock;
using Compositor = void (*)(ComposeWork*, const ComposeEntry*, int);
constexpr int kSide = 400;
constexpr int kEntries = 8;
constexpr uint32_t kBackground = 0x808080;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct Case {
  const char* name;
  uint32_t code;     // the kernel; a nest family runs as copy + nest pairs
  pixman_op_t op;    // pixman's counterpart
  const char* opName;
  bool solid;        // pixman source: a solid colour through an a8 mask (A16, glass)
  bool mask;         // pixman gets an a8 mask (masked kernels)
  const char* note;  // where pixman has no counterpart
};

const Case kCases[] = {
    {"C32 normal", COMPOSE_C32 + 0, PIXMAN_OP_OVER, "OVER", false, false, ""},
    {"C32 soft light", COMPOSE_C32 + 1, PIXMAN_OP_SCREEN, "SCREEN", false, false, ""},
    {"C32 soft shadow", COMPOSE_C32 + 2, PIXMAN_OP_MULTIPLY, "MULTIPLY", false, false, ""},
    {"C32 hard light", COMPOSE_C32 + 3, PIXMAN_OP_ADD, "ADD", false, false, ""},
    {"C32 hard shadow", COMPOSE_C32 + 4, PIXMAN_OP_ADD, "ADD", false, false,
     "no pixman counterpart (a linear burn): ADD as the nearest in cost"},
    {"C32 lighten", COMPOSE_C32 + 5, PIXMAN_OP_LIGHTEN, "LIGHTEN", false, false, ""},
    {"C32 darken", COMPOSE_C32 + 6, PIXMAN_OP_DARKEN, "DARKEN", false, false, ""},
    {"C32 difference", COMPOSE_C32 + 7, PIXMAN_OP_DIFFERENCE, "DIFFERENCE", false, false,
     "no pixman counterpart (an exclusive or): DIFFERENCE as the nearest in cost"},
    {"A16 normal", COMPOSE_A16 + 0, PIXMAN_OP_OVER, "solid OVER through a8", true, false, ""},
    {"A16 hard light", COMPOSE_A16 + 3, PIXMAN_OP_ADD, "solid ADD through a8", true, false, ""},
    {"glass normal", COMPOSE_GLASS + 0, PIXMAN_OP_OVER, "solid OVER through a8", true, false, ""},
    {"C32 masked normal", COMPOSE_C32_MASKED + 0, PIXMAN_OP_OVER, "OVER through a8", false, true, ""},
    {"copy + nest normal", COMPOSE_NEST + 0, PIXMAN_OP_OVER, "SRC to a group, OVER of the group", false, false, ""},
};

uint32_t Hash(uint32_t i) {
  uint32_t v = i * 2654435761u;
  return v ^ (v >> 15);
}

// Straight pixels for the compositor, the same ones premultiplied for pixman.
struct Images {
  std::vector<uint32_t> straight, premul, dest, group;
  std::vector<uint16_t> a16;
  std::vector<uint8_t> a8;
  pixman_image_t *src = nullptr, *solid = nullptr, *mask = nullptr, *dst = nullptr, *groupImage = nullptr,
                 *background = nullptr;

  explicit Images(bool discs)
      : straight(kSide * kSide),
        premul(kSide * kSide),
        dest(kSide * kSide),
        group(kSide * kSide),
        a16(kSide * kSide),
        a8(kSide * kSide) {
    for (uint32_t i = 0; i < uint32_t(kSide * kSide); ++i) {
      const int x = int(i % kSide), y = int(i / kSide);
      uint32_t v = Hash(i);
      if (discs) {
        // Five soft-edged discs of 40..90 pixels, a colour gradient under them.
        float a = 0;
        for (int d = 0; d < 5; ++d) {
          const float cx = float(Hash(uint32_t(d) * 3 + 1) % kSide), cy = float(Hash(uint32_t(d) * 3 + 2) % kSide);
          const float r = float(40 + Hash(uint32_t(d) * 3 + 3) % 50);
          a = std::max(a, std::clamp((r - std::hypot(float(x) - cx, float(y) - cy)) / (r / 4), 0.0f, 1.0f));
        }
        v = (uint32_t(std::lround(a * 255)) << 24) | uint32_t(x * 255 / kSide) << 16 | uint32_t(y * 255 / kSide) << 8 |
            (v & 255);
      } else {
        const uint32_t kind = (v >> 7) & 3;
        v = kind == 0 ? v & 0xFFFFFF : kind == 1 ? v | 0xFF000000 : v;
      }
      straight[i] = v;
      const uint32_t a = v >> 24;
      uint32_t p = a << 24;
      for (int c = 0; c < 24; c += 8) p |= ((((v >> c) & 255) * a + 127) / 255) << c;
      premul[i] = p;
      a16[i] = uint16_t(a << 8 | (Hash(i + 7) & 255));
      a8[i] = uint8_t(a);
    }
    src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, premul.data(), kSide * 4);
    const pixman_color_t c = {0x3000, 0x9000, 0xF000, 0xFFFF};
    solid = pixman_image_create_solid_fill(&c);
    const pixman_color_t grey = {0x8080, 0x8080, 0x8080, 0xFFFF};
    background = pixman_image_create_solid_fill(&grey);
    mask = pixman_image_create_bits(PIXMAN_a8, kSide, kSide, reinterpret_cast<uint32_t*>(a8.data()), kSide);
    dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, dest.data(), kSide * 4);
    groupImage = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, group.data(), kSide * 4);
  }
  ~Images() {
    for (pixman_image_t* i : {src, solid, mask, dst, groupImage, background}) pixman_image_unref(i);
  }
};

ComposeEntry Entry(uint32_t code, const void* source, const uint16_t* mask) {
  ComposeEntry e{};
  e.code = code;
  for (uint16_t& o : e.opacity) o = 128;  // full opacity, as pixman's plain operators
  e.pitch = kSide;
  e.source = source;
  e.mask = mask;
  e.right = e.bottom = kSide;
  for (uint32_t& c : e.colour) c = 0x80F09030;
  return e;
}

// The accumulator's lanes packed to BGRA bytes, as the renderer's last step does.
void Pack(const ComposeWork& w, uint32_t* out) {
  for (int r = 0; r < kSide; ++r) {
    const auto* src = reinterpret_cast<const __m128i*>(w.acc[r][0]);
    auto* dst = reinterpret_cast<__m128i*>(out + size_t(r) * kSide);
    for (int x = 0; x < kSide / 4; ++x)
      _mm_storeu_si128(dst + x, _mm_packus_epi16(_mm_load_si128(src + 2 * x), _mm_load_si128(src + 2 * x + 1)));
  }
}

void BM_Kernel(benchmark::State& state) {
  const Case& c = kCases[state.range(0)];
  const bool discs = state.range(1) == 1;
  const std::string name = std::string(c.name) + (discs ? ", discs" : ", hashed");
  static Images hashed(false), discImages(true);
  Images& img = discs ? discImages : hashed;
  std::unique_ptr<ComposeWork> work(new ComposeWork{});
  work->spaceWidth = work->spaceHeight = 4096;
  work->insideColour = kBackground;
  work->firstRow = 0;
  work->endRow = kSide;
  for (ComposeSpan& s : work->spans) s = {0, kSide};
  std::vector<uint32_t> out(size_t(kSide) * kSide);

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

  auto ours = [&](Compositor run) {
    auto t0 = Clock::now();
    run(work.get(), entries.data(), int(entries.size()));
    Pack(*work, out.data());
    auto t1 = Clock::now();
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    return Ms(t0, t1);
  };
  std::vector<double> best, sse2, pix;
  for (auto _ : state) {
    best.push_back(ours(LayerCompositor));
    sse2.push_back(ours(LayerCompositorSse2));
    auto t0 = Clock::now();
    pixman_image_composite32(PIXMAN_OP_SRC, img.background, nullptr, img.dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
    for (int i = 0; i < kEntries; ++i) {
      if (nest) {
        pixman_image_composite32(PIXMAN_OP_SRC, img.src, nullptr, img.groupImage, 0, 0, 0, 0, 0, 0, kSide, kSide);
        pixman_image_composite32(PIXMAN_OP_OVER, img.groupImage, nullptr, img.dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
      } else {
        pixman_image_composite32(c.op, psrc, pmask, img.dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
      }
    }
    auto t1 = Clock::now();
    benchmark::DoNotOptimize(img.dest.data());
    benchmark::ClobberMemory();
    pix.push_back(Ms(t0, t1));
  }
  const std::string ref = std::string("pixman ") + c.opName;
  const double pixMs = MedianOf(pix);
  PrintRatio("compose_kernel_bench", name + ", selected path", MedianOf(best), ref.c_str(), pixMs, c.note);
  PrintRatio("compose_kernel_bench", name + ", SSE2 path", MedianOf(sse2), ref.c_str(), pixMs, c.note);
}

BENCHMARK(BM_Kernel)
    ->ArgsProduct({benchmark::CreateDenseRange(0, int(std::size(kCases)) - 1, 1), {0, 1}})
    ->ArgNames({"case", "content"})
    ->Iterations(41)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "Compositor.h"
#include "CompositorKernels.h"

namespace {

using Compositor = void (*)(ComposeWork*, const ComposeEntry*, int);

struct Path {
  const char* name;
  Compositor run;
};
// The scalar path first: the others are checked against it.
std::vector<Path> Paths() {
  std::vector<Path> p = {{"scalar", LayerCompositorScalar}, {"sse2", LayerCompositorSse2}};
  if (compose::HasAvx2()) p.push_back({"avx2", LayerCompositorAvx2});
  p.push_back({"selected", LayerCompositor});
  return p;
}
const std::vector<Path> kPaths = Paths();

std::unique_ptr<ComposeWork> NewWork() { return std::make_unique<ComposeWork>(); }

// Accumulator pixel narrowed back to BGRA; every lane must hold a byte.
uint32_t Narrow(const uint16_t* px) {
  for (int c = 0; c < 4; ++c) EXPECT_LE(px[c], 255) << "lane " << c;
  return uint32_t(px[0]) | uint32_t(px[1]) << 8 | uint32_t(px[2]) << 16 | uint32_t(px[3]) << 24;
}

// Source pixels live in blocks of exactly their size, so a kernel that reads past the
// last pixel trips the address sanitizer.
class Sources {
 public:
  template <class T>
  T* Make(size_t n) {
    blocks_.push_back(std::make_unique<uint8_t[]>(n * sizeof(T)));
    return reinterpret_cast<T*>(blocks_.back().get());
  }
  // Runs of clear, covered and mixed pixels, as painted layers have, so the kernels' short
  // ways for clear and full blocks run as well as the general one.
  template <class T>
  T* Random(size_t n, std::mt19937& rng) {
    T* p = Make<T>(n);
    const uint32_t top = sizeof(T) == 4 ? 24 : 8;
    uint32_t kind = 0;
    for (size_t i = 0, run = 0; i < n; ++i, --run) {
      if (run == 0) {
        run = 1 + rng() % 24;
        kind = rng() % 3;
      }
      uint32_t v = uint32_t(rng());
      if (kind == 0) v &= ~(0xFFu << top);
      if (kind == 1) v |= 0xFFu << top;
      p[i] = T(v);
    }
    return p;
  }

 private:
  std::vector<std::unique_ptr<uint8_t[]>> blocks_;
};

ComposeEntry Entry(uint32_t code, uint32_t o, int left, int top, int right, int bottom, const void* source,
                   uint32_t pitch, const uint16_t* mask = nullptr, uint32_t colour = 0x00336699) {
  ComposeEntry e{};
  e.code = code;
  for (uint16_t& v : e.opacity) v = uint16_t(o);
  e.pitch = pitch;
  e.source = source;
  e.mask = mask;
  e.left = left;
  e.top = top;
  e.right = right;
  e.bottom = bottom;
  for (uint32_t& c : e.colour) c = (colour & 0xFFFFFF) | (o & 255) << 24;
  return e;
}

// ---- The modes on single pixels, worked by hand --------------------------------------------

// One pixel through the whole routine: D is the inside colour of the background, S the entry
// colour (A16 and glass) or the C32 pixel (a nest's base pixel for the nest families), v the
// A16 high byte or the mask byte.
uint32_t ComposePixel(Compositor run, uint32_t code, uint32_t o, uint32_t s, uint8_t v, uint32_t d) {
  auto w = NewWork();
  w->spaceWidth = w->spaceHeight = 400;
  w->insideColour = d;
  w->firstRow = 0;
  w->endRow = 1;
  w->spans[0] = {0, 1};
  const uint16_t a16 = uint16_t(v << 8 | 0x5A);  // the low byte plays no part
  const uint32_t family = code >> 3;
  std::vector<ComposeEntry> e;
  if (family == compose::FAM_NEST || family == compose::FAM_NEST_MASKED) {
    e.push_back(Entry(COMPOSE_COPY, 128, 0, 0, 1, 1, &s, 1));
    e.push_back(Entry(code, o, 0, 0, 1, 1, nullptr, 1, &a16));
  } else if (family == compose::FAM_A16 || family == compose::FAM_GLASS) {
    e.push_back(Entry(code, o, 0, 0, 1, 1, &a16, 1, nullptr, s));
  } else {
    e.push_back(Entry(code, o, 0, 0, 1, 1, &s, 1, &a16));
  }
  run(w.get(), e.data(), int(e.size()));
  return Narrow(w->acc[0][0]);
}

TEST(Compositor, ModesOnSinglePixels) {
  struct Case {
    const char* what;
    uint32_t code, o, s;
    uint8_t v;
    uint32_t d, expect;
  } cases[] = {
      // a = 255 at opacity 128 weighs 256: the colour is replaced, the alpha stays.
      {"A16 full replaces colour", COMPOSE_A16 + 0, 128, 0x00FF8040, 255, 0x80102030, 0x80FF8040},
      // a = 128, w = 129: 255 * 129 >> 8 = 128.
      {"A16 half", COMPOSE_A16 + 0, 128, 0x00FFFFFF, 128, 0x00000000, 0x00808080},
      // w = 127: 128 + (192 * 127 >> 8) = 128 + 95.
      {"A16 hard light adds", COMPOSE_A16 + 3, 64, 0x00C0C0C0, 255, 0x40808080, 0x40DFDFDF},
      {"A16 hard light saturates", COMPOSE_A16 + 3, 128, 0x00C0C0C0, 255, 0x40808080, 0x40FFFFFF},
      // (192 * 127 + 255 * 129) >> 8 = 223; 128 + 223 - 255 = 96.
      {"A16 hard shadow", COMPOSE_A16 + 4, 64, 0x00C0C0C0, 255, 0x40808080, 0x40606060},
      {"glass hard light as A16", COMPOSE_GLASS + 3, 64, 0x00C0C0C0, 255, 0x40808080, 0x40DFDFDF},
      // S alpha 255 at opacity 64: w = 127; 255 * 127 >> 8 = 126.
      {"C32 opacity", COMPOSE_C32 + 0, 64, 0xFFFFFFFF, 0, 0x00000000, 0x007E7E7E},
      // B = min(255, 192 + 128) = 255 first: (255 * 127 + 128 * 129) >> 8 = 191.
      {"C32 hard light saturates before mixing", COMPOSE_C32 + 3, 64, 0xFFC0C0C0, 0, 0x00808080, 0x00BFBFBF},
      // 64 + (128 * 192 >> 8) = 160.
      {"C32 soft light", COMPOSE_C32 + 1, 128, 0xFF808080, 0, 0x00404040, 0x00A0A0A0},
      // 129 * 64 >> 8 = 32.
      {"C32 soft shadow", COMPOSE_C32 + 2, 128, 0xFF808080, 0, 0x00404040, 0x00202020},
      // 192 + 128 - 255 = 65.
      {"C32 hard shadow", COMPOSE_C32 + 4, 128, 0xFFC0C0C0, 0, 0x00808080, 0x00414141},
      {"C32 lighten", COMPOSE_C32 + 5, 128, 0xFF10F080, 0, 0x00804020, 0x0080F080},
      {"C32 darken", COMPOSE_C32 + 6, 128, 0xFF10F080, 0, 0x00804020, 0x00104020},
      {"C32 difference", COMPOSE_C32 + 7, 128, 0xFF10F080, 0, 0x00804020, 0x0090B0A0},
      // a1 = 255 -> 256; a = 256 * 128 >> 8 = 128, w = 129: 255 * 129 >> 8 = 128.
      {"C32 masked", COMPOSE_C32_MASKED + 0, 128, 0xFF0000FF, 128, 0x00000000, 0x00000080},
      // w = 255 in the nest families: 255 * 255 >> 8 = 254, alpha untouched.
      {"nest full over 0", COMPOSE_NEST + 0, 128, 0xFFFFFFFF, 0, 0x00000000, 0x00FEFEFE},
      // S.alpha 255 * 128 >> 8 = 127, w = 127: 255 * 127 >> 8 = 126.
      {"nest masked", COMPOSE_NEST_MASKED + 0, 128, 0xFF0000FF, 128, 0x00000000, 0x0000007E},
      // a = 128 on alpha 0: A = 128, w = 32768 / 129 = 254; 96 * 254 >> 8 = 95 ...
      {"glass on alpha 0", COMPOSE_GLASS + 0, 128, 0x00204060, 128, 0x00000000, 0x801F3F5F},
      // ... on alpha 255: A = 127 + 128 = 255, w = 128.
      {"glass on alpha 255", COMPOSE_GLASS + 0, 128, 0x00204060, 128, 0xFF000000, 0xFF102030},
      {"glass without coverage", COMPOSE_GLASS + 0, 128, 0x00204060, 0, 0x7F123456, 0x7F123456},
  };
  for (const Path& p : kPaths) {
    for (const Case& c : cases) {
      EXPECT_EQ(ComposePixel(p.run, c.code, c.o, c.s, c.v, c.d), c.expect)
          << p.name << ": " << c.what << std::hex << " got/expect";
    }
  }
}

// Each mode by hand on odd operands, through every path. A C32 pixel of alpha 255 at
// opacity 128 weighs 256, so the colour lanes show the mode result B itself; an A16 entry of
// coverage 128 weighs 129 in the two modes that add instead of mixing.
TEST(Compositor, EveryModeOnHandWorkedOperands) {
  const uint32_t pairs[10][2] = {{0, 0},   {255, 0},   {1, 254}, {128, 127}, {254, 1},
                                 {127, 128}, {255, 255}, {1, 127}, {128, 128}, {254, 128}};
  struct Case {
    const char* what;
    uint32_t code;
    uint8_t coverage;
    uint32_t expect[10];
  } cases[] = {
      {"normal: S", COMPOSE_C32 + 0, 0, {0, 255, 1, 128, 254, 127, 255, 1, 128, 254}},
      // D + (S (256 - D) >> 8): 127 + (128 x 129 >> 8) = 191; 128 + (254 x 128 >> 8) = 255.
      {"soft light", COMPOSE_C32 + 1, 0, {0, 255, 254, 191, 254, 191, 255, 127, 192, 255}},
      // (S + 1) D >> 8: 129 x 127 = 16383 -> 63; 2 x 254 = 508 -> 1.
      {"soft shadow", COMPOSE_C32 + 2, 0, {0, 0, 1, 63, 0, 64, 255, 0, 64, 127}},
      {"hard light: min(255, S + D)", COMPOSE_C32 + 3, 0, {0, 255, 255, 255, 255, 255, 255, 128, 255, 255}},
      {"hard shadow: max(0, S + D - 255)", COMPOSE_C32 + 4, 0, {0, 0, 0, 0, 0, 0, 255, 0, 1, 127}},
      {"lighten", COMPOSE_C32 + 5, 0, {0, 255, 254, 128, 254, 128, 255, 127, 128, 254}},
      {"darken", COMPOSE_C32 + 6, 0, {0, 0, 1, 127, 1, 127, 255, 1, 128, 128}},
      // 254 ^ 1 = 255, 127 ^ 1 = 126, 128 ^ 127 = 255.
      {"difference: S xor D", COMPOSE_C32 + 7, 0, {0, 255, 255, 255, 255, 255, 0, 126, 0, 126}},
      // min(255, D + (S x 129 >> 8)): 1 + (254 x 129 >> 8) = 1 + 127.
      {"A16 hard light adds", COMPOSE_A16 + 3, 128, {0, 128, 254, 191, 128, 191, 255, 127, 192, 255}},
      // max(0, D + ((S x 129 + 255 x 127) >> 8) - 255): 254 + (32514 >> 8) - 255 = 126.
      {"A16 hard shadow takes away", COMPOSE_A16 + 4, 128, {0, 0, 126, 63, 0, 63, 255, 0, 64, 127}},
  };
  for (const Path& p : kPaths)
    for (const Case& c : cases)
      for (int i = 0; i < 10; ++i) {
        const uint32_t sv = pairs[i][0], dv = pairs[i][1];
        const uint32_t grey = 0x010101u;
        const bool c32 = c.code >= COMPOSE_C32;
        const uint32_t s = (c32 ? 0xFF000000u : 0) | sv * grey;
        const uint32_t d = 0x5A000000u | dv * grey;
        EXPECT_EQ(ComposePixel(p.run, c.code, 128, s, c.coverage, d), 0x5A000000u | c.expect[i] * grey)
            << p.name << ": " << c.what << " S " << sv << " D " << dv;
      }
}

// ---- Exhaustive lane checks: the SSE2 arithmetic against the definition ---------------------

#if defined(__SANITIZE_ADDRESS__)
constexpr uint32_t kWeightStep = 4;  // 0, 4, ..., 128, ..., 252, 255 and 256 under the sanitizers
#else
constexpr uint32_t kWeightStep = 1;
#endif

using BlendLanesFn = void (*)(int, int, const uint16_t*, const uint16_t*, const uint16_t*, uint16_t*, size_t);
using WeightLanesFn = void (*)(int, const uint16_t*, uint32_t, const uint16_t*, uint16_t*, size_t);
using GlassLanesFn = void (*)(const uint16_t*, const uint16_t*, uint16_t*, uint16_t*, size_t);
struct LanePath {
  const char* name;
  BlendLanesFn blend;
  WeightLanesFn weight;
  GlassLanesFn glass;
};
std::vector<LanePath> LanePaths() {
  std::vector<LanePath> p = {{"sse2", compose::BlendLanesSse2, compose::WeightLanesSse2, compose::GlassLanesSse2}};
  if (compose::HasAvx2())
    p.push_back({"avx2", compose::BlendLanesAvx2, compose::WeightLanesAvx2, compose::GlassLanesAvx2});
  return p;
}

// Lanes i of the 65,536: S = i & 255, D = i >> 8.
struct Lanes {
  std::vector<uint16_t> s, d, w, expect, out;
  Lanes() : s(65536), d(65536), w(65536), expect(65536), out(65536) {
    for (uint32_t i = 0; i < 65536; ++i) {
      s[i] = uint16_t(i & 255);
      d[i] = uint16_t(i >> 8);
    }
  }
};

template <int Family, int Mode>
void CheckBlendExhaustive(Lanes& l, const std::vector<LanePath>& paths) {
  for (uint32_t wv = 0;; wv = wv == 255 ? 256 : std::min<uint32_t>(wv + kWeightStep, 255)) {
    std::fill(l.w.begin(), l.w.end(), uint16_t(wv));
    for (size_t i = 0; i < l.expect.size(); ++i) l.expect[i] = uint16_t(compose::BlendLane<Family, Mode>(l.s[i], l.d[i], wv));
    for (const LanePath& p : paths) {
      p.blend(Family, Mode, l.s.data(), l.d.data(), l.w.data(), l.out.data(), l.out.size());
      if (l.out != l.expect) {
        size_t i = 0;
        while (l.out[i] == l.expect[i]) ++i;
        ADD_FAILURE() << p.name << " family " << Family << " mode " << Mode << " S " << l.s[i] << " D " << l.d[i]
                      << " w " << wv << ": " << l.out[i] << " != " << l.expect[i];
        return;
      }
    }
    if (wv == 256) break;
  }
}

template <size_t... I>
void CheckAllBlends(std::index_sequence<I...>) {
  Lanes l;
  const std::vector<LanePath> paths = LanePaths();
  (CheckBlendExhaustive<int(I / 8), int(I % 8)>(l, paths), ...);
}

TEST(CompositorExhaustive, EveryFamilyAndModeOverAllLanes) {
  CheckAllBlends(std::make_index_sequence<COMPOSE_COPY>());
}

TEST(CompositorExhaustive, WeightsOfEveryFamily) {
  // v and m over 0..255 for each opacity 0..128.
  std::vector<uint16_t> v(65536), m(65536), w(65536);
  for (uint32_t i = 0; i < 65536; ++i) {
    v[i] = uint16_t(i & 255);
    m[i] = uint16_t(i >> 8);
  }
  std::vector<uint16_t> expect(65536);
  for (int family = 0; family < compose::kFamilies; ++family) {
    for (uint32_t o = 0; o <= 128; ++o) {
      for (size_t i = 0; i < w.size(); ++i) {
        expect[i] = uint16_t(compose::FamilyWeight(family, v[i], o, m[i]));
        ASSERT_LE(expect[i], family >= compose::FAM_NEST ? 255u : 256u);
      }
      for (const LanePath& p : LanePaths()) {
        p.weight(family, v.data(), o, m.data(), w.data(), w.size());
        for (size_t i = 0; i < w.size(); ++i) {
          ASSERT_EQ(w[i], expect[i]) << p.name << " family " << family << " v " << v[i] << " o " << o << " m " << m[i];
        }
      }
    }
  }
}

TEST(CompositorExhaustive, GlassAlphaAndWeight) {
  std::vector<uint16_t> a(65536), da(65536), alpha(65536), weight(65536);
  for (uint32_t i = 0; i < 65536; ++i) {
    a[i] = uint16_t(i & 255);
    da[i] = uint16_t(i >> 8);
  }
  for (const LanePath& p : LanePaths()) {
    p.glass(a.data(), da.data(), alpha.data(), weight.data(), a.size());
    for (size_t i = 0; i < a.size(); ++i) {
      const compose::GlassResult g = compose::GlassAlpha(a[i], da[i]);
      ASSERT_EQ(alpha[i], g.alpha) << p.name << " a " << a[i] << " da " << da[i];
      ASSERT_EQ(weight[i], g.weight) << p.name << " a " << a[i] << " da " << da[i];
    }
  }
  // The edge rules: on an empty base A = a and w = a * 256 / (a + 1); on an opaque one A = 255.
  for (uint32_t x = 0; x < 256; ++x) {
    EXPECT_EQ(compose::GlassAlpha(x, 0).alpha, x);
    EXPECT_EQ(compose::GlassAlpha(x, 0).weight, x * 256 / (x + 1));
    EXPECT_EQ(compose::GlassAlpha(x, 255).alpha, 255u);
  }
}

// ---- The routine: rows, spans, entries ------------------------------------------------------

// Runs every path on a copy of the same work and checks they agree; returns the scalar
// result, which stays until the next call.
const ComposeWork* RunAll(const ComposeWork& start, const std::vector<ComposeEntry>& e, const char* what) {
  static std::vector<std::unique_ptr<ComposeWork>> out;  // one per path, kept: they are large
  if (out.empty()) {
    for (size_t i = 0; i < kPaths.size(); ++i) out.emplace_back(new ComposeWork);
  }
  const ComposeWork* ref = out[0].get();
  for (size_t i = 0; i < kPaths.size(); ++i) {
    ComposeWork* w = out[i].get();
    std::memcpy(static_cast<void*>(w), &start, sizeof(ComposeWork));
    kPaths[i].run(w, e.data(), int(e.size()));
    if (i == 0) continue;
    for (int r = 0; r < ACC_SIDE; ++r) {
      if (std::memcmp(ref->acc[r], w->acc[r], sizeof(w->acc[r])) != 0) {
        int x = 0;
        while (std::memcmp(ref->acc[r][x], w->acc[r][x], 8) == 0) ++x;
        ADD_FAILURE() << what << ": " << kPaths[i].name << " differs at row " << r << " column " << x
                      << " (code " << (e.empty() ? 0 : e[0].code) << "...)";
        return ref;
      }
    }
    EXPECT_EQ(std::memcmp(ref->nest, w->nest, sizeof(w->nest)), 0) << what << ": nest rows, " << kPaths[i].name;
  }
  return ref;
}

// A work with a marker in every lane, so untouched pixels show.
std::unique_ptr<ComposeWork> MarkedWork() {
  auto w = NewWork();
  for (auto& row : w->acc)
    for (auto& px : row)
      for (uint16_t& v : px) v = 0xBEEF;
  w->spaceWidth = w->spaceHeight = 1000;
  w->insideColour = 0x80402010;
  w->outsideColour = 0x10203040;
  return w;
}

// One or more entries drawing code over columns [x, x + n) of row y, with sources of exactly
// n pixels.
std::vector<ComposeEntry> EntriesFor(uint32_t code, int x, int y, int n, uint32_t o, Sources& src,
                                     std::mt19937& rng) {
  const uint32_t family = code >> 3;
  const uint32_t pitch = uint32_t(n);
  std::vector<ComposeEntry> e;
  const uint16_t* mask = (family == compose::FAM_C32_MASKED || family == compose::FAM_NEST_MASKED)
                             ? src.Random<uint16_t>(size_t(n), rng)
                             : nullptr;
  if (family >= compose::FAM_NEST) {
    e.push_back(Entry(COMPOSE_COPY, 128, x, y, x + n, y + 1, src.Random<uint32_t>(size_t(n), rng), pitch));
    e.push_back(Entry(COMPOSE_C32 + uint32_t(rng() % 8), 100, x, y, x + n, y + 1,
                      src.Random<uint32_t>(size_t(n), rng), pitch));
    e.push_back(Entry(code, o, x, y, x + n, y + 1, nullptr, pitch, mask));
  } else if (family == compose::FAM_A16 || family == compose::FAM_GLASS) {
    e.push_back(Entry(code, o, x, y, x + n, y + 1, src.Random<uint16_t>(size_t(n), rng), pitch, nullptr,
                      uint32_t(rng())));
  } else {
    e.push_back(Entry(code, o, x, y, x + n, y + 1, src.Random<uint32_t>(size_t(n), rng), pitch, mask));
  }
  return e;
}

TEST(Compositor, SpansOfOneToSeventeenPixels) {
  std::mt19937 rng(7);
  auto start = MarkedWork();
  for (int n = 1; n <= 17; ++n) {
    for (uint32_t code = 0; code < COMPOSE_COPY; ++code) {
      const int x = 3 + int(rng() % 5), y = 2;
      start->firstRow = y;
      start->endRow = y + 1;
      start->spans[y] = {x - 1, x + n + 1};  // the layer cuts one column off each side
      Sources src;
      const uint32_t o = rng() % 2 ? 128 : 1 + rng() % 128;  // 128 lets full pixels weigh 256
      auto out = RunAll(*start, EntriesFor(code, x, y, n, o, src, rng), "span");
      // Only the row span has changed: the marker stays left and right of it.
      EXPECT_EQ(out->acc[y][x - 2][0], 0xBEEF) << "n " << n << " code " << code;
      EXPECT_EQ(out->acc[y][x + n + 1][0], 0xBEEF) << "n " << n << " code " << code;
      EXPECT_EQ(out->acc[y][x - 1][0], 0x10) << "n " << n << " code " << code;
      EXPECT_EQ(out->acc[y][x + n][0], 0x10) << "n " << n << " code " << code;
    }
  }
}

TEST(Compositor, BackgroundInsideAndOutsideTheSpace) {
  auto start = MarkedWork();
  start->originX = -2;  // the space starts at column 2 and row 1 of the tile
  start->originY = -1;
  start->spaceWidth = 5;
  start->spaceHeight = 2;
  start->firstRow = 0;
  start->endRow = 4;
  for (int r = 0; r < 4; ++r) start->spans[r] = {0, 9};
  start->spans[2] = {3, 5};
  auto w = RunAll(*start, {}, "background");
  const char* expect[] = {"ooooooooo", "ooiiiiioo", "...ii....", "ooooooooo"};
  for (int r = 0; r < 4; ++r) {
    for (int x = 0; x < 9; ++x) {
      const uint16_t blue = w->acc[r][x][0];
      const char got = blue == 0x10 ? 'i' : blue == 0x40 ? 'o' : blue == 0xBEEF ? '.' : '?';
      EXPECT_EQ(got, expect[r][x]) << "row " << r << " column " << x;
    }
  }
  EXPECT_EQ(Narrow(w->acc[1][2]), 0x80402010u);
  EXPECT_EQ(Narrow(w->acc[0][0]), 0x10203040u);
}

// A five-row tile, columns 0..15, for the row and group rules.
std::unique_ptr<ComposeWork> SmallTile() {
  auto w = MarkedWork();
  w->firstRow = 0;
  w->endRow = 5;
  for (int r = 0; r < 5; ++r) w->spans[r] = {0, 16};
  w->insideColour = 0xFF000000;
  return w;
}

// A C32 layer of one colour over rows [top, bottom) and columns [left, right).
ComposeEntry Solid(uint32_t code, uint32_t colour, int left, int top, int right, int bottom, Sources& src) {
  const size_t n = size_t(right - left) * size_t(bottom - top);
  uint32_t* p = src.Make<uint32_t>(n);
  std::fill(p, p + n, colour);
  return Entry(code, 128, left, top, right, bottom, p, uint32_t(right - left));
}

TEST(Compositor, EntriesCoverOnlyTheirRows) {
  Sources src;
  auto w = RunAll(*SmallTile(), {Solid(COMPOSE_C32, 0xFF0000FF, 4, 2, 8, 4, src)}, "rows");
  for (int r = 0; r < 5; ++r) {
    for (int x = 0; x < 16; ++x) {
      const bool inside = r >= 2 && r < 4 && x >= 4 && x < 8;
      EXPECT_EQ(Narrow(w->acc[r][x]), inside ? 0xFF0000FFu : 0xFF000000u) << r << "," << x;
    }
  }
}

TEST(Compositor, EndCodeEndsTheWholeTile) {
  for (uint32_t end = COMPOSE_END; end < 64; ++end) {
    Sources src;
    std::vector<ComposeEntry> e = {
        Solid(COMPOSE_C32, 0xFF0000FF, 0, 0, 16, 5, src),
        Solid(end, 0, 0, 2, 16, 5, src),  // reached on row 2
        Solid(COMPOSE_C32 + uint32_t(myMODE_DIFFERENCE), 0xFF00FF00, 0, 0, 16, 5, src),
    };
    auto w = RunAll(*SmallTile(), e, "end");
    EXPECT_EQ(Narrow(w->acc[1][3]), 0xFF00FFFFu) << end;  // both layers: the end code misses row 1
    EXPECT_EQ(Narrow(w->acc[2][3]), 0xFF0000FFu) << end;  // the first layer, then the end
    EXPECT_EQ(Narrow(w->acc[3][3]), 0xFF000000u) << end;  // the background alone
    // Only the low six bits of a code count.
    e[1].code = end | 0x40;
    EXPECT_EQ(Narrow(RunAll(*SmallTile(), e, "end+64")->acc[3][3]), 0xFF000000u) << end;
  }
}

TEST(Compositor, NestedGroups) {
  // Base of red over columns 2..9, rows 0..2; a nested green layer wider and taller than the
  // base; after the group a blue layer over the whole tile with lighten.
  Sources src;
  const ComposeEntry base = Solid(COMPOSE_COPY, 0xFFFF0000, 2, 0, 10, 3, src);
  const ComposeEntry nested = Solid(COMPOSE_C32 + uint32_t(myMODE_LIGHTEN), 0xFF00FF00, 0, 0, 16, 5, src);
  const ComposeEntry nest = Entry(COMPOSE_NEST, 128, 2, 0, 10, 3, nullptr, 8);
  const ComposeEntry after = Solid(COMPOSE_C32 + uint32_t(myMODE_LIGHTEN), 0xFF0000FF, 0, 0, 16, 5, src);
  auto w = RunAll(*SmallTile(), {base, nested, nest, after}, "group");
  // Inside the base: (255 * 255) >> 8 = 254 of yellow over black, then blue lightened.
  EXPECT_EQ(Narrow(w->acc[1][5]), 0xFFFEFEFFu);
  // The nested layer draws nowhere outside its base's columns or rows; the layer after the
  // group draws on the full row either way.
  EXPECT_EQ(Narrow(w->acc[1][0]), 0xFF0000FFu);
  EXPECT_EQ(Narrow(w->acc[1][12]), 0xFF0000FFu);
  EXPECT_EQ(Narrow(w->acc[3][5]), 0xFF0000FFu);
  EXPECT_EQ(Narrow(w->acc[4][15]), 0xFF0000FFu);

  // A tile row span that misses the base's columns altogether: nested entries still draw
  // nothing there.
  auto right = SmallTile();
  right->spans[1] = {11, 16};
  auto r = RunAll(*right, {base, nested, nest, after}, "group right");
  EXPECT_EQ(Narrow(r->acc[1][12]), 0xFF0000FFu);

  // A masked nest: mask 0x80 halves the group's alpha: S.alpha 255 -> 127, w = 127, so
  // 255 * 127 >> 8 = 126 of yellow.
  uint16_t* mask = src.Make<uint16_t>(8 * 3);
  std::fill(mask, mask + 8 * 3, uint16_t(0x8000));
  ComposeEntry maskedNest = nest;
  maskedNest.code = COMPOSE_NEST_MASKED;
  maskedNest.mask = mask;
  EXPECT_EQ(Narrow(RunAll(*SmallTile(), {base, nested, maskedNest}, "masked nest")->acc[1][5]), 0xFF7E7E00u);
}

TEST(Compositor, NestLevelsAreBounded) {
  Sources src;
  const ComposeEntry copy = Solid(COMPOSE_COPY, 0xFFFF0000, 0, 0, 16, 5, src);
  const ComposeEntry nest = Entry(COMPOSE_NEST, 128, 0, 0, 16, 5, nullptr, 16);
  const ComposeEntry blue = Solid(COMPOSE_C32, 0xFF0000FF, 0, 0, 16, 5, src);
  // A nest at level 0 closes nothing and draws nothing.
  EXPECT_EQ(Narrow(RunAll(*SmallTile(), {nest, nest}, "lone nest")->acc[2][2]), 0xFF000000u);
  // A third copy at level 2 is ignored, and so is the third nest, at level 0.
  auto w = RunAll(*SmallTile(), {copy, copy, copy, blue, nest, nest, nest}, "deep");
  // Inner group: blue drawn over the level-2 red, closed at w = 255 over the level-1 red:
  // blue 255 * 255 >> 8 = 254, red 255 * 1 >> 8 = 0; then over black: 254 * 255 >> 8 = 253.
  EXPECT_EQ(Narrow(w->acc[2][2]), 0xFF0000FDu);
  // Entries far past the record block are never read.
  std::vector<ComposeEntry> many(COMPOSE_MAX_ENTRIES + 1, Entry(COMPOSE_A16, 0, 0, 0, 0, 0, nullptr, 0));
  many.back() = blue;
  for (const Path& p : kPaths) {
    auto t = SmallTile();
    p.run(t.get(), many.data(), int(many.size()));
    EXPECT_EQ(Narrow(t->acc[2][2]), 0xFF000000u) << p.name;
  }
}

// C32 rows in groups of eight pixels all clear, all covered or mixed, at opacity 128 (where
// covered weighs 256) and just below it (where it must not), in every mode: the SIMD kernels
// test whole groups before widening, and must still agree with the reference.
TEST(Compositor, C32GroupsOfClearAndCoveredPixels) {
  std::mt19937 rng(99);
  auto start = MarkedWork();
  constexpr int kX = 5, kY = 1, kN = 8 * 12 + 5;  // a tail after the groups
  start->firstRow = kY;
  start->endRow = kY + 1;
  start->spans[kY] = {kX, kX + kN};
  for (uint32_t o : {128u, 127u, 1u})
    for (uint32_t mode = 0; mode < 8; ++mode) {
      Sources src;
      uint32_t* under = src.Make<uint32_t>(kN);  // a mixed layer first, so D varies
      uint32_t* over = src.Make<uint32_t>(kN);
      for (int i = 0; i < kN; ++i) {
        under[i] = uint32_t(rng());
        const int group = (i / 8) % 3;  // clear, covered, mixed
        const uint32_t v = uint32_t(rng());
        over[i] = group == 0 ? v & 0x00FFFFFF : group == 1 ? v | 0xFF000000 : v;
      }
      over[8 * 5 + 3] &= 0x00FFFFFF;  // one clear pixel in a covered group
      over[8 * 6 + 6] |= 0xFF000000;  // one covered pixel in a clear group
      const std::vector<ComposeEntry> e = {
          Entry(COMPOSE_C32 + uint32_t(rng() % 8), 100, kX, kY, kX + kN, kY + 1, under, kN),
          Entry(COMPOSE_C32 + mode, o, kX, kY, kX + kN, kY + 1, over, kN),
      };
      const ComposeWork* w = RunAll(*start, e, "c32 groups");
      if (HasFailure()) return;
      // A covered group at opacity 128 takes the normal source colour over D's alpha.
      if (o == 128 && mode == myMODE_NORMAL) {
        const uint32_t px = Narrow(w->acc[kY][kX + 8]);
        EXPECT_EQ(px & 0x00FFFFFF, over[8] & 0x00FFFFFF);
        EXPECT_EQ(px >> 24, 0x80u);  // the inside colour's alpha, untouched
      }
    }
}

// ---- Random tiles: every path against the scalar one ----------------------------------------

TEST(Compositor, RandomTilesMatchTheScalarPath) {
  std::mt19937 rng(20240611);
  for (int trial = 0; trial < 150; ++trial) {
    auto start = NewWork();
    start->spaceWidth = int(1 + rng() % 700);
    start->spaceHeight = int(1 + rng() % 700);
    start->originX = int(rng() % 900) - 300;
    start->originY = int(rng() % 900) - 300;
    start->insideColour = uint32_t(rng());
    start->outsideColour = uint32_t(rng());
    start->firstRow = int(rng() % 400);
    start->endRow = std::min(400, start->firstRow + int(rng() % 24));
    for (auto& s : start->spans) {
      const int a = int(rng() % 401), b = int(rng() % 401);
      s = {std::min(a, b), std::max(a, b)};
    }
    std::memset(start->acc, int(rng() & 255), sizeof(start->acc));

    Sources src;
    std::vector<ComposeEntry> e;
    const int entries = int(rng() % 10);
    auto layer = [&](uint32_t code) {
      const int w = int(1 + rng() % 500), h = int(1 + rng() % 500);
      const int left = start->originX + int(rng() % 600) - 100, top = start->originY + start->firstRow +
                                                                      int(rng() % 40) - 20;
      const uint32_t pitch = uint32_t(w) + rng() % 3;
      const size_t n = size_t(pitch) * size_t(h - 1) + size_t(w);  // the last row ends the block
      const uint32_t family = code >> 3;
      const void* source = nullptr;
      if (code == COMPOSE_COPY || family == compose::FAM_C32 || family == compose::FAM_C32_MASKED)
        source = src.Random<uint32_t>(n, rng);
      else if (family == compose::FAM_A16 || family == compose::FAM_GLASS)
        source = src.Random<uint16_t>(n, rng);
      const uint16_t* mask = family == compose::FAM_C32_MASKED || family == compose::FAM_NEST_MASKED
                                 ? src.Random<uint16_t>(n, rng)
                                 : nullptr;
      // Above 128 counts as 128; 128 lets full pixels weigh 256.
      const uint32_t pickO = rng() % 8;
      const uint32_t o = pickO == 0 ? rng() % 256 : pickO < 4 ? 128 : rng() % 129;
      e.push_back(Entry(code, o, left, top, left + w, top + h, source, pitch, mask, uint32_t(rng())));
    };
    // Half the tiles start with a colour layer in normal mode at full opacity over about the
    // whole accumulator: where it covers a row's span it stands in for the background.
    if (rng() % 2) {
      const int left = start->originX - int(rng() % 3), top = start->originY - int(rng() % 3);
      const int w = ACC_SIDE + 2 - int(rng() % 4), h = ACC_SIDE + 4;
      e.push_back(Entry(COMPOSE_C32, rng() % 2 ? 128 : 228, left, top, left + w, top + h,
                        src.Random<uint32_t>(size_t(w) * size_t(h), rng), uint32_t(w)));
    }
    for (int i = 0; i < entries; ++i) {
      const uint32_t pick = rng() % 20;
      if (pick < 3) {  // a group: base, nested entries, its nest
        layer(COMPOSE_COPY);
        const ComposeEntry base = e.back();
        for (uint32_t k = rng() % 3; k > 0; --k) layer(rng() % 32);
        layer(COMPOSE_NEST + rng() % 16);
        if (rng() % 2) {  // the device gives the nest its base's rectangle
          e.back().left = base.left;
          e.back().top = base.top;
          e.back().right = base.right;
          e.back().bottom = base.bottom;
          e.back().pitch = base.pitch;
          if (e.back().mask) {
            const size_t n = size_t(base.pitch) * size_t(base.bottom - base.top - 1) + size_t(base.right - base.left);
            e.back().mask = src.Random<uint16_t>(n, rng);
          }
        }
      } else if (pick == 3) {
        layer(COMPOSE_COPY + rng() % 16);  // a stray copy, nest or end
      } else {
        layer(rng() % 32);
      }
    }
    RunAll(*start, e, "random");
    if (HasFailure()) break;
  }
}

}  // namespace

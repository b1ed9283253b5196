#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "MergeKernels.h"
#include "MorvaneFixture.h"
#include "XWorker.h"

namespace {

template <class T>
T& At(OLayer* l, int x, int y) {
  LayerLock lock;
  lock.Lock(l, 0);
  return reinterpret_cast<T*>(lock.Row(y))[x];
}

// The whole primary surface, padding included.
std::vector<BYTE> Snapshot(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  return {lock.pPixels, lock.pPixels + size_t(lock.cbRow) * size_t((lock.nHeight + 63) & ~63)};
}

void FillRandom(OLayer* l, uint32_t seed) {
  std::mt19937 rng(seed);
  LayerLock lock;
  lock.Lock(l, 0);
  const size_t n = size_t(lock.cbRow) * size_t((lock.nHeight + 63) & ~63);
  for (size_t i = 0; i < n; i += 4) {
    uint32_t v = rng();
    std::memcpy(lock.pPixels + i, &v, 4);
  }
}

uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  return x ^ (x >> 16);
}

// RGB(0x10, 0x20, 0x30) and the same colour in pixel order.
constexpr COLORREF kLayerColour = RGB(0x10, 0x20, 0x30);
constexpr uint32_t kPixelColour = 0x102030;

class MergeTest : public LayerTest {
 protected:
  GCompRef<OLayer> NewAt(int w, int h, int format, int x, int y, int alpha = 100) {
    GCompRef<OLayer> l = NewLayer(w, h, format);
    l->SetPosition(x, y, FALSE);
    l->SetColor(kLayerColour);
    Props(l)->SetValue(0, alpha);
    return l;
  }
};

// --- Merge

TEST_F(MergeTest, KnownPixelsFromBothSourceFormats) {
  // C32 0x80102030 at ALPHA 100 over 0x80C04020: a = 128, t = 64, A = 192, w = 16384 / 193 =
  // 84; blue = (0x20 * 84 + 0x30 * 172) >> 8 = 42. A16 0x8000 at ALPHA 50 (O = 127) over
  // opaque black: a = 127 * 129 >> 8 = 63, t = 193 * 255 >> 8 = 192, w = 192; blue = 48 * 64 >> 8.
  struct Case {
    int format, alpha;
    uint32_t source, dest, expect;
  } cases[] = {
      {4, 100, 0x80102030, 0x80C04020, 0xC0492A2A},
      {2, 50, 0x8000, 0xFF000000, 0xFF04080C},
      {2, 100, 0xFF00, 0x00000000, 0xFF000000 | kPixelColour},  // red and blue exchanged
      {4, 100, 0xFF123456, 0x7FABCDEF, 0xFF123456},             // opaque source: its colour
      {4, 100, 0x00123456, 0xFFABCDEF, 0xFFABCDEF},             // no coverage: unchanged
      {4, 1, 0x01FFFFFF, 0xFF000000, 0xFF000000},               // a = 1 * 3 >> 8 = 0: unchanged
      {2, 100, 0x00FF, 0xFF8040C0, 0xFF8040C0},                 // coverage in the low byte only
  };
  for (const Case& c : cases) {
    GCompRef<OLayer> dest = NewAt(70, 3, 4, 0, 0);
    GCompRef<OLayer> src = NewAt(70, 3, c.format, 0, 0, c.alpha);
    for (int x = 0; x < 70; ++x) {  // SSE2 steps and a tail
      At<uint32_t>(dest, x, 1) = c.dest;
      if (c.format == 4) {
        At<uint32_t>(src, x, 1) = c.source;
      } else {
        At<uint16_t>(src, x, 1) = uint16_t(c.source);
      }
    }
    dest->Merge(src);
    for (int x = 0; x < 70; ++x) ASSERT_EQ(At<uint32_t>(dest, x, 1), c.expect) << std::hex << c.source << " " << c.dest;
  }
}

TEST_F(MergeTest, EmptySourceLeavesOpaqueColoursAsTheyAre) {
  GCompRef<OLayer> dest = NewAt(100, 90, 4, 0, 0);
  FillRandom(dest, 5);
  {
    LayerLock lock;
    lock.Lock(dest, 0);
    for (int y = 0; y < 90; ++y)
      for (int x = 0; x < 100; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] |= 0xFF000000u;
  }
  const std::vector<BYTE> before = Snapshot(dest);
  for (int format : {2, 4}) {
    dest->Merge(NewAt(100, 90, format, 0, 0));
    EXPECT_EQ(Snapshot(dest), before) << format;
  }
}

TEST_F(MergeTest, OnlyTheOverlapChanges) {
  // Source positions around a destination at (10, 20), 100 x 80; the last two reach past the
  // integer range and so overlap nothing.
  struct Case {
    int sx, sy, sw, sh;
  } cases[] = {{-5, 50, 30, 70}, {105, 15, 20, 10}, {40, 30, 10, 10},          {-100, 20, 110, 80},
               {110, 20, 5, 5},  {10, 100, 50, 5},  {INT_MAX - 3, 20, 10, 10}, {10, INT_MAX - 1, 10, 10}};
  for (const Case& c : cases) {
    for (int format : {2, 4}) {
      GCompRef<OLayer> dest = NewAt(100, 80, 4, 10, 20);
      GCompRef<OLayer> src = NewAt(c.sw, c.sh, format, c.sx, c.sy, 80);
      FillRandom(dest, 1);
      FillRandom(src, 2);
      const std::vector<BYTE> before = Snapshot(dest);
      dest->Merge(src);
      const std::vector<BYTE> after = Snapshot(dest);
      const size_t rowBytes = size_t(dest->GetPitch()) * 4;
      const uint32_t colour = kPixelColour | uint32_t(80 * 255 / 100) << 24;
      const bool wraps = int64_t(c.sx) + c.sw > INT_MAX || int64_t(c.sy) + c.sh > INT_MAX;
      for (int y = 0; y < 128; ++y)
        for (int x = 0; x < dest->GetPitch(); ++x) {
          uint32_t was, now;
          std::memcpy(&was, &before[y * rowBytes + size_t(x) * 4], 4);
          std::memcpy(&now, &after[y * rowBytes + size_t(x) * 4], 4);
          const int X = x + 10, Y = y + 20;
          uint32_t expect = was;
          if (!wraps && x < 100 && y < 80 && X >= c.sx && X - c.sx < c.sw && Y >= c.sy && Y - c.sy < c.sh) {
            if (format == 4) {
              uint32_t s = At<uint32_t>(src, X - c.sx, Y - c.sy);
              expect = merge::MergePixel(was, s, ((s >> 24) * (204 + 1)) >> 8);
            } else {
              uint16_t v = At<uint16_t>(src, X - c.sx, Y - c.sy);
              expect = merge::MergePixel(was, colour, (204 * ((v >> 8) + 1u)) >> 8);
            }
          }
          ASSERT_EQ(now, expect) << "source at " << c.sx << "," << c.sy << " format " << format << " pixel " << x << ","
                                 << y;
        }
    }
  }
}

TEST_F(MergeTest, RefusalsReleaseTheLocks) {
  GCompRef<OLayer> dest = NewAt(64, 64, 4, 0, 0);
  GCompRef<OLayer> mask = NewAt(64, 64, 2, 0, 0);
  EXPECT_EQ(ThrownCondition([&] { mask->Merge(dest); }), u"!m_nFormat==myFORMAT_C32");
  EXPECT_EQ(ThrownCondition([&] { dest->Merge(dest); }), u"!m_myState==myREADY");
  {
    LayerLock lock;
    lock.Lock(mask, 0);
    EXPECT_EQ(ThrownCondition([&] { dest->Merge(mask); }), u"!m_myState==myREADY");
  }
  EXPECT_EQ(ThrownCondition([&] { dest->Merge(nullptr); }), u"!poLayerSrc");
  EXPECT_EQ(ThrownCondition([&] { dest->MergeMask(NewAt(65, 64, 2, 0, 0)); }), u"!lk.nWidth==lkSrc.nWidth");
  EXPECT_EQ(ThrownCondition([&] { dest->MergeMask(NewAt(64, 63, 2, 0, 0)); }), u"!lk.nHeight==lkSrc.nHeight");
  EXPECT_EQ(ThrownCondition([&] { mask->MergeMask(NewAt(64, 64, 2, 0, 0)); }), u"!lk.nPixelSize==4");
  EXPECT_EQ(ThrownCondition([&] { dest->MergeMask(NewAt(64, 64, 4, 0, 0)); }), u"!lkSrc.nPixelSize==2");
  // Every refusal above left both layers ready.
  EXPECT_EQ(dest->Merge(mask), 0);
  EXPECT_EQ(dest->MergeMask(mask), 0);
}

// --- MergeMask

TEST_F(MergeTest, MaskMultipliesAlphaOnly) {
  GCompRef<OLayer> dest = NewAt(300, 3, 4, 5, 5);
  GCompRef<OLayer> mask = NewAt(300, 3, 2, -40, 900);  // positions play no part
  FillRandom(dest, 7);
  FillRandom(mask, 8);
  const std::vector<BYTE> before = Snapshot(dest);
  dest->MergeMask(mask);
  const std::vector<BYTE> after = Snapshot(dest);
  const size_t rowBytes = size_t(dest->GetPitch()) * 4;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < dest->GetPitch(); ++x) {
      uint32_t was, now;
      std::memcpy(&was, &before[y * rowBytes + size_t(x) * 4], 4);
      std::memcpy(&now, &after[y * rowBytes + size_t(x) * 4], 4);
      if (x >= 300 || y >= 3) {
        ASSERT_EQ(now, was) << "padding " << x << "," << y;
        continue;
      }
      const uint32_t h = At<uint16_t>(mask, x, y) >> 8;
      ASSERT_EQ(now & 0xFFFFFF, was & 0xFFFFFF);
      ASSERT_EQ(now >> 24, ((was >> 24) * (h + 1)) >> 8) << x << "," << y;
    }
  // High byte 255 keeps the alpha, 0 clears it.
  At<uint32_t>(dest, 0, 0) = 0xC8123456;
  At<uint16_t>(mask, 0, 0) = 0xFF00;
  At<uint32_t>(dest, 1, 0) = 0xFF123456;
  At<uint16_t>(mask, 1, 0) = 0x00FF;
  dest->MergeMask(mask);
  EXPECT_EQ(At<uint32_t>(dest, 0, 0), 0xC8123456u);
  EXPECT_EQ(At<uint32_t>(dest, 1, 0), 0x00123456u);
}

// --- MergeNest

// Rows of a known pattern; optionally asks for an abort once a given row is handed out.
struct PatternRows : ORowSource {
  explicit PatternRows(int width) : row(size_t(width)) {}
  const BYTE* GetRow(int r, UINT bytes) override {
    calls.push_back({r, bytes});
    for (size_t k = 0; k < row.size(); ++k) row[k] = Mix(uint32_t(r) * 131071u + uint32_t(k));
    if (control && r == abortAt) control->flags |= JOB_ABORT;
    return failAt == r ? nullptr : reinterpret_cast<const BYTE*>(row.data());
  }
  std::vector<uint32_t> row;
  std::vector<std::pair<int, UINT>> calls;
  JobControl* control = nullptr;
  int abortAt = -1, failAt = -1;
};

// Rows [0, rows) hold the pattern, the rest and the padding are as before.
void ExpectNestRows(OLayer* l, const std::vector<BYTE>& before, int rows) {
  const std::vector<BYTE> after = Snapshot(l);
  const size_t rowBytes = size_t(l->GetPitch()) * 4;
  for (int y = 0; y < (l->GetHeight() + 63) / 64 * 64; ++y)
    for (int x = 0; x < l->GetPitch(); ++x) {
      uint32_t was, now;
      std::memcpy(&was, &before[y * rowBytes + size_t(x) * 4], 4);
      std::memcpy(&now, &after[y * rowBytes + size_t(x) * 4], 4);
      const bool copied = y < rows && x < l->GetWidth();
      ASSERT_EQ(now, copied ? Mix(uint32_t(y) * 131071u + uint32_t(x)) : was) << x << "," << y;
    }
}

TEST_F(MergeTest, NestDirectCopiesEveryRow) {
  GCompRef<OLayer> l = NewAt(70, 66, 4, 3, 4);
  FillRandom(l, 9);
  const std::vector<BYTE> before = Snapshot(l);
  PatternRows rows(70);
  EXPECT_EQ(l->MergeNest(&rows, nullptr), 1);
  ASSERT_EQ(rows.calls.size(), 66u);
  for (size_t i = 0; i < rows.calls.size(); ++i) EXPECT_EQ(rows.calls[i], std::make_pair(int(i), 280u));
  ExpectNestRows(l, before, 66);
  EXPECT_EQ(ThrownCondition([&] { NewAt(8, 8, 2, 0, 0)->MergeNest(&rows, nullptr); }), u"!m_nFormat==myFORMAT_C32");
}

TEST_F(MergeTest, NestAsAWorkerJob) {
  sys.Register(u"XWorker", GCreateComponent<XWorker>);
  GCompRef<OWorker> worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  GCompRef<OLayer> l = NewAt(130, 100, 4, 0, 0);
  FillRandom(l, 10);
  const std::vector<BYTE> before = Snapshot(l);
  PatternRows rows(130);
  GCompRef<OData> args = GNewData(64);
  JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};
  EXPECT_EQ(l->MergeNest(&rows, &job), 1);
  EXPECT_EQ(job.object, static_cast<Morvane*>(l.get()));
  EXPECT_EQ(job.kind, 6);
  EXPECT_EQ(std::u16string(job.name), u"unknown");
  EXPECT_TRUE(rows.calls.empty());  // the caller launches the job
  JobControl control;
  ASSERT_EQ(worker->Launch(&job, &control), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(job.result, 1);
  EXPECT_EQ(control.total, 100);
  EXPECT_EQ(control.progress, 99);
  EXPECT_EQ(control.flags, 0u);
  ExpectNestRows(l, before, 100);
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

TEST_F(MergeTest, NestAbortKeepsTheRowsCopied) {
  struct Case {
    bool before;  // abort requested before the job starts
    int abortAt, expectRows;
  } cases[] = {{true, -1, 1}, {false, 0, 1}, {false, 37, 38}, {false, 99, 100}};
  for (const Case& c : cases) {
    GCompRef<OLayer> l = NewAt(100, 100, 4, 0, 0);
    FillRandom(l, 11);
    const std::vector<BYTE> before = Snapshot(l);
    PatternRows rows(100);
    GCompRef<OData> args = GNewData(16);
    JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};
    ASSERT_EQ(l->MergeNest(&rows, &job), 1);
    JobControl control;
    if (c.before) control.flags = JOB_ABORT;
    rows.control = &control;
    rows.abortAt = c.abortAt;
    EXPECT_EQ(job.proc(job.object, &job, &control), 0) << c.abortAt;
    EXPECT_EQ(control.progress, c.expectRows - 1);
    ExpectNestRows(l, before, c.expectRows);
    EXPECT_EQ(l->MergeNest(&rows, nullptr), 1);  // the layer was unlocked
  }
}

TEST_F(MergeTest, NestWorkerErrorNamesTheWorkerAndUnlocks) {
  GCompRef<OLayer> l = NewAt(64, 64, 4, 0, 0);
  PatternRows rows(64);
  rows.failAt = 5;
  std::u16string text;
  try {
    l->MergeNest(&rows, nullptr);
  } catch (GErrRecord* e) {
    e->AddRef();
    text.resize(0x2000);
    text.resize(e->CopyText(text.data(), 0x2000));
    EXPECT_EQ(std::u16string(e->GetCondition()), u"!pRow");
    e->Release();
  }
  EXPECT_NE(text.find(u"::____MergeNest()"), std::u16string::npos) << U8(text);
  EXPECT_NE(text.find(u"::MergeNest()"), std::u16string::npos) << U8(text);
  rows.failAt = -1;
  EXPECT_EQ(l->MergeNest(&rows, nullptr), 1);
}

// --- Clip

// The tiling read literally: move the source origin back by whole tiles (each step toggles
// the mirror flag) until it is not past the destination; then tile index and place.
int TiledPlace(int64_t dpos, int k, int64_t spos, int size, bool mirror) {
  bool flag = false;
  while (spos > dpos) {
    spos -= size;
    flag = !flag;
  }
  const int64_t offset = dpos + k - spos;
  const int64_t tile = offset / size, place = offset % size;
  if (mirror && (flag ^ bool(tile & 1))) return int(size - 1 - place);
  return int(place);
}

class ClipTest : public MergeTest {
 protected:
  // A source with a distinct value in every pixel.
  GCompRef<OLayer> Source(int w, int h, int format, int x, int y) {
    GCompRef<OLayer> l = NewAt(w, h, format, x, y);
    for (int j = 0; j < h; ++j)
      for (int k = 0; k < w; ++k) {
        uint32_t v = uint32_t(j * w + k + 1);
        if (format == 4) {
          At<uint32_t>(l, k, j) = v * 0x01000193u;
        } else {
          At<uint16_t>(l, k, j) = uint16_t(v * 0x193);
        }
      }
    return l;
  }
  static uint32_t Pixel(OLayer* l, int x, int y) {
    return l->GetPixelSize() == 4 ? At<uint32_t>(l, x, y) : At<uint16_t>(l, x, y);
  }
  // Every pixel of the clip against the rule, and the padding zero.
  static void ExpectClip(OLayer* out, OLayer* src, const RECT& rc, int mode) {
    POINT at, sp;
    out->GetPosition(&at, FALSE);
    src->GetPosition(&sp, FALSE);
    EXPECT_EQ(at.x, rc.left);
    EXPECT_EQ(at.y, rc.top);
    const int sw = src->GetWidth(), sh = src->GetHeight();
    for (int j = 0; j < (out->GetHeight() + 63) / 64 * 64; ++j)
      for (int k = 0; k < out->GetPitch(); ++k) {
        uint32_t expect = 0;
        if (k < out->GetWidth() && j < out->GetHeight()) {
          if (mode == 0) {
            const int64_t X = int64_t(at.x) + k - sp.x, Y = int64_t(at.y) + j - sp.y;
            if (X >= 0 && X < sw && Y >= 0 && Y < sh) expect = Pixel(src, int(X), int(Y));
          } else if (mode == 1 || mode == 2) {
            expect = Pixel(src, TiledPlace(at.x, k, sp.x, sw, mode == 2), TiledPlace(at.y, j, sp.y, sh, mode == 2));
          }
        }
        ASSERT_EQ(Pixel(out, k, j), expect) << "mode " << mode << " pixel " << k << "," << j;
      }
  }
};

TEST_F(ClipTest, EveryModeAgainstTheRule) {
  struct Case {
    int sw, sh, sx, sy;
    RECT rc;
  } cases[] = {
      {3, 4, 5, -3, {-8, -13, 12, 9}},         // small source, many tiles both sides
      {7, 9, -3, -5, {-6, -7, 2, 1}},          // negative offsets, part overlap
      {1, 1, 0, 0, {-3, -2, 4, 3}},            // one-pixel source
      {5, 3, 100, 50, {-17, -11, 9, 6}},       // far from the source: odd tile indices
      {70, 50, 0, 0, {10, 5, 20, 12}},         // source larger than the clip
      {4, 6, -1000003, 20, {-7, 17, 60, 90}},  // source far left: large tile indices
      {4, 3, 1003, -900, {-7, 17, 60, 90}},    // source far right and above: many origin steps
      {80, 70, 2, 3, {-1, -1, 90, 75}},        // a clip wider than 64 with the source inside
  };
  for (const Case& c : cases) {
    for (int format : {2, 4}) {
      GCompRef<OLayer> src = Source(c.sw, c.sh, format, c.sx, c.sy);
      for (int mode : {0, 1, 2, 3}) {
        GCompRef<OLayer> out = src->Clip(&c.rc, mode);
        ASSERT_EQ(out->GetWidth(), c.rc.right - c.rc.left);
        ASSERT_EQ(out->GetHeight(), c.rc.bottom - c.rc.top);
        ASSERT_EQ(out->GetFormat(), format);
        SCOPED_TRACE(testing::Message() << "source " << c.sw << "x" << c.sh << " format " << format);
        ExpectClip(out, src, c.rc, mode);
      }
    }
  }
}

TEST_F(ClipTest, TheNewLayerTakesInfoButNoID) {
  GCompRef<OLayer> src = Source(20, 10, 2, 0, 0);
  src->SetName(u"源");
  src->SetID(77);
  src->SetFlags(LYR_FLAG_NEST);
  Props(src)->SetValue(0, 40);
  Props(src)->SetValue(1, 3);
  Props(src)->SetValue(2, 1);
  const RECT rc{2, 3, 12, 8};
  GCompRef<OLayer> out = src->Clip(&rc, 0);
  EXPECT_EQ(out->GetID(), 0u);
  EXPECT_EQ(std::u16string(out->GetName()), u"源");
  EXPECT_EQ(out->GetColor(nullptr, nullptr) & 0xFFFFFF, kLayerColour);
  for (UINT i = 0; i < 3; ++i) EXPECT_EQ(Props(out)->GetItem(i)->value, Props(src)->GetItem(i)->value) << i;
}

TEST_F(ClipTest, EmptyOrHugeRectanglesAreClamped) {
  GCompRef<OLayer> src = Source(5, 5, 4, 0, 0);
  struct Case {
    RECT rc;
    int w, h;
  } cases[] = {
      {{3, 4, 3, 4}, 1, 1},
      {{3, 4, 1, 2}, 1, 1},  // inverted
      {{INT_MIN, 2, INT_MAX, 3}, 10000, 1},
      {{1, 1, 2, 20001}, 1, 10000},
  };
  for (const Case& c : cases) {
    for (int mode : {0, 1, 2}) {
      GCompRef<OLayer> out = src->Clip(&c.rc, mode);
      EXPECT_EQ(out->GetWidth(), c.w);
      EXPECT_EQ(out->GetHeight(), c.h);
      if (c.w == 1 && c.h == 1) ExpectClip(out, src, c.rc, mode);
    }
  }
  // The source was unlocked on every path.
  LayerLock lock;
  EXPECT_TRUE(lock.Lock(src, 0));
  EXPECT_EQ(ThrownCondition([&] { src->Clip(&cases[0].rc, 0); }), u"!m_myState==myREADY");
}

// --- the SSE2 kernels against the scalar reference

void ExpectSameRows(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, const std::vector<uint32_t>& dest,
                    const char* what) {
  if (std::memcmp(a.data(), b.data(), a.size() * 4) == 0) return;
  for (size_t i = 0; i < a.size(); ++i)
    ASSERT_EQ(b[i], a[i]) << what << std::hex << " dest " << dest[i] << " at " << std::dec << i;
}

TEST(MergeKernel, C32EverySourceAlphaOpacityAndDestAlpha) {
  std::vector<uint32_t> src(256), dest(256), a(256), b(256);
  for (uint32_t o = 0; o < 256; ++o)
    for (uint32_t da = 0; da < 256; ++da) {
      for (uint32_t sa = 0; sa < 256; ++sa) {
        const uint32_t h = Mix(o << 16 | da << 8 | sa);
        src[sa] = sa << 24 | (h & 0xFFFFFF);
        dest[sa] = da << 24 | (Mix(h) & 0xFFFFFF);
      }
      a = dest;
      b = dest;
      merge::MergeRowC32Scalar(a.data(), src.data(), 256, o);
      merge::MergeRowC32Sse2(b.data(), src.data(), 256, o);
      ASSERT_NO_FATAL_FAILURE(ExpectSameRows(a, b, dest, "C32"));
      // What the rule promises, read off the reference.
      for (uint32_t sa = 0; sa < 256; ++sa) {
        const uint32_t cover = (sa * (o + 1)) >> 8;
        if (cover == 0) {
          ASSERT_EQ(a[sa], dest[sa]);
        } else if (da == 0 || cover == 255) {
          ASSERT_EQ(a[sa], (src[sa] & 0xFFFFFF) | cover << 24) << o << " " << da << " " << sa;
        } else {
          ASSERT_GE(a[sa] >> 24, std::max(cover, da));
        }
      }
    }
}

TEST(MergeKernel, A16EveryCoverageAndOpacity) {
  std::vector<uint16_t> src(1024);
  std::vector<uint32_t> dest(1024), a, b;
  for (uint32_t o = 0; o < 256; ++o) {
    const uint32_t colour = o << 24 | (Mix(o) & 0xFFFFFF);
    for (uint32_t i = 0; i < 1024; ++i) {
      const uint32_t h = Mix(o << 10 | i);
      src[i] = uint16_t((i & 255) << 8 | (h & 255));        // every high byte, any low byte
      dest[i] = (i >> 8) * 85 << 24 | (h >> 8 & 0xFFFFFF);  // alphas 0, 85, 170, 255
      if (i >= 512) dest[i] = (h >> 8 & 0xFF) << 24 | (h & 0xFFFFFF);
    }
    a = dest;
    b = dest;
    merge::MergeRowA16Scalar(a.data(), src.data(), src.size(), colour);
    merge::MergeRowA16Sse2(b.data(), src.data(), src.size(), colour);
    ASSERT_NO_FATAL_FAILURE(ExpectSameRows(a, b, dest, "A16"));
    for (uint32_t i = 0; i < 256; ++i) {  // over transparent: the layer colour at the coverage
      const uint32_t cover = (o * ((src[i] >> 8) + 1u)) >> 8;
      ASSERT_EQ(a[i], cover ? (colour & 0xFFFFFF) | cover << 24 : dest[i]);
    }
  }
}

TEST(MergeKernel, MaskEveryAlphaAndHighByte) {
  std::vector<uint16_t> mask(65536);
  std::vector<uint32_t> dest(65536);
  for (uint32_t i = 0; i < 65536; ++i) {
    mask[i] = uint16_t((i & 255) << 8 | (Mix(i) & 255));
    dest[i] = (i >> 8) << 24 | (Mix(i) >> 8);
  }
  std::vector<uint32_t> a = dest, b = dest;
  merge::MaskRowScalar(a.data(), mask.data(), mask.size());
  merge::MaskRowSse2(b.data(), mask.data(), mask.size());
  ASSERT_NO_FATAL_FAILURE(ExpectSameRows(a, b, dest, "mask"));
  for (uint32_t i = 0; i < 65536; ++i) {
    ASSERT_EQ(a[i] & 0xFFFFFF, dest[i] & 0xFFFFFF);
    if ((i & 255) == 255) {
      ASSERT_EQ(a[i] >> 24, i >> 8);
    } else if ((i & 255) == 0) {
      ASSERT_EQ(a[i] >> 24, 0u);
    }
  }
}

TEST(MergeKernel, AnyLengthAndOffsetTouchesOnlyItsPixels) {
  std::vector<uint32_t> src32(16), dest(16);
  std::vector<uint16_t> src16(16);
  for (int i = 0; i < 16; ++i) {
    src32[size_t(i)] = Mix(uint32_t(i));
    src16[size_t(i)] = uint16_t(Mix(uint32_t(i) + 99));
    dest[size_t(i)] = Mix(uint32_t(i) + 7);
  }
  for (size_t offset = 0; offset < 4; ++offset)
    for (size_t n = 0; offset + n <= 13; ++n) {
      std::vector<uint32_t> a = dest, b = dest;
      merge::MergeRowC32Scalar(a.data() + offset, src32.data() + offset, n, 200);
      merge::MergeRowC32Sse2(b.data() + offset, src32.data() + offset, n, 200);
      ASSERT_EQ(a, b) << offset << " " << n;
      merge::MergeRowA16Scalar(a.data() + offset, src16.data() + offset, n, 0x9B405060);
      merge::MergeRowA16Sse2(b.data() + offset, src16.data() + offset, n, 0x9B405060);
      ASSERT_EQ(a, b) << offset << " " << n;
      merge::MaskRowScalar(a.data() + offset, src16.data() + offset, n);
      merge::MaskRowSse2(b.data() + offset, src16.data() + offset, n);
      ASSERT_EQ(a, b) << offset << " " << n;
      for (size_t i = 0; i < 16; ++i) {
        if (i < offset || i >= offset + n) {
          ASSERT_EQ(b[i], dest[i]) << offset << " " << n << " " << i;
        }
      }
    }
}

}  // namespace

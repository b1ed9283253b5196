#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "MorvaneFixture.h"
#include "MorvaneUtility.h"
#include "UtilityKernels.h"
#include "XWorker.h"

namespace {

constexpr float kQuarter = float(M_PI / 2);
// The angle constants the two rotate commands use, in degrees x constant, passed as float.
constexpr float kQuarterLayerList = float(90 * 0.017453291666666666);
constexpr float kQuarterMenu = float(90 * 0.017453292519944444);

using Pixels = std::vector<uint32_t>;  // width x height, rows top-down, A16 widened

Pixels Read(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  Pixels out;
  for (int y = 0; y < lock.nHeight; ++y)
    for (int x = 0; x < lock.nWidth; ++x) {
      const BYTE* at = lock.Row(y) + size_t(x) * lock.nPixelSize;
      if (lock.nPixelSize == 4) {
        uint32_t v;
        std::memcpy(&v, at, 4);
        out.push_back(v);
      } else {
        uint16_t v;
        std::memcpy(&v, at, 2);
        out.push_back(v);
      }
    }
  return out;
}

void Write(OLayer* l, const Pixels& px) {
  LayerLock lock;
  lock.Lock(l, 0);
  size_t k = 0;
  for (int y = 0; y < lock.nHeight; ++y)
    for (int x = 0; x < lock.nWidth; ++x, ++k) {
      BYTE* at = lock.Row(y) + size_t(x) * lock.nPixelSize;
      if (lock.nPixelSize == 4) {
        std::memcpy(at, &px[k], 4);
      } else {
        const uint16_t v = uint16_t(px[k]);
        std::memcpy(at, &v, 2);
      }
    }
}

// Random pixels: alpha (or coverage) often 0 or full; transparent colour pixels keep colour.
Pixels RandomPixels(size_t n, int format, uint32_t seed) {
  std::mt19937 rng(seed);
  Pixels px(n);
  for (uint32_t& p : px) {
    const uint32_t v = rng(), kind = rng() % 4;
    if (format == 2) {
      p = kind == 0 ? 0 : kind == 1 ? 0xFFFF : v & 0xFFFF;
    } else {
      p = kind == 0 ? v & 0x00FFFFFF : kind == 1 ? v | 0xFF000000 : v;
    }
  }
  return px;
}

// What resampling makes of a pixel it meets whole: a transparent colour pixel becomes 0.
Pixels Canonical(Pixels px, int format) {
  if (format == 4)
    for (uint32_t& p : px)
      if ((p >> 24) == 0) p = 0;
  return px;
}

Pixels Turned(const Pixels& px, int w, int h, bool clockwise) {
  Pixels out(px.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int dx = clockwise ? h - 1 - y : y, dy = clockwise ? x : w - 1 - x;
      out[size_t(dy) * h + dx] = px[size_t(y) * w + x];
    }
  return out;
}

class UtilityTest : public LayerTest {
 protected:
  UtilityTest() {
    sys.Register(u"MorvaneUtility", GCreateComponent<MorvaneUtility>);
    sys.Register(u"XWorker", GCreateComponent<XWorker>);
    util = static_cast<OLayerUtility*>(sys.NewObj(u"MorvaneUtility", nullptr)->GetInterface(u"OLayerUtility"));
  }
  GCompRef<OLayer> Random(int w, int h, int format, uint32_t seed) {
    GCompRef<OLayer> l = NewLayer(w, h, format);
    Write(l, RandomPixels(size_t(w) * h, format, seed));
    return l;
  }
  GCompRef<OWorker> NewWorker() {
    return static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  }

  GCompRef<OLayerUtility> util;
};

TEST_F(UtilityTest, QuarterTurnsAreExactBothWays) {
  for (int format : {2, 4}) {
    SCOPED_TRACE(format);
    GCompRef<OLayer> src = Random(101, 50, format, 1);
    const Pixels before = Read(src);
    GCompRef<OLayer> cw = NewLayer(50, 101, format), ccw = NewLayer(50, 101, format);
    ASSERT_TRUE(util->Rotate90(cw, src));
    ASSERT_TRUE(util->Rotate270(ccw, src));
    const Pixels right = Read(cw), left = Read(ccw);
    EXPECT_EQ(right, Turned(before, 101, 50, true));
    EXPECT_EQ(left, Turned(before, 101, 50, false));
    // Clockwise: the top-left pixel goes to the top right, counter-clockwise to the bottom left.
    EXPECT_EQ(right[49], before[0]);
    EXPECT_EQ(left[size_t(100) * 50], before[0]);

    GCompRef<OLayer> back = NewLayer(101, 50, format), back2 = NewLayer(101, 50, format);
    ASSERT_TRUE(util->Rotate270(back, cw));
    ASSERT_TRUE(util->Rotate90(back2, ccw));
    EXPECT_EQ(Read(back), before);
    EXPECT_EQ(Read(back2), before);
    EXPECT_EQ(Read(src), before);
  }
}

TEST_F(UtilityTest, QuarterTurnRefusesAMismatchedDestination) {
  GCompRef<OLayer> src = Random(7, 5, 4, 2);
  struct Case {
    int w, h, format;
  } cases[] = {{7, 5, 4}, {5, 6, 4}, {4, 7, 4}, {5, 7, 2}};
  for (const Case& c : cases) {
    GCompRef<OLayer> dest = NewLayer(c.w, c.h, c.format);
    EXPECT_FALSE(util->Rotate90(dest, src)) << c.w << "x" << c.h << " " << c.format;
    EXPECT_FALSE(util->Rotate270(dest, src)) << c.w << "x" << c.h << " " << c.format;
    EXPECT_EQ(Read(dest), Pixels(size_t(c.w) * c.h, 0u));
  }
  EXPECT_FALSE(util->Rotate90(src, src));
  EXPECT_FALSE(util->Rotate90(nullptr, src));
}

TEST_F(UtilityTest, RotatedRectangles) {
  struct Case {
    int x, y, w, h;
    float angle;
    RECT expect;
    BOOL fits;
  } cases[] = {
      {10, 20, 100, 50, 0.0f, {10, 20, 110, 70}, TRUE},
      {10, 20, 100, 50, kQuarter, {35, -5, 85, 95}, TRUE},
      {10, 20, 100, 50, kQuarterLayerList, {35, -5, 85, 95}, TRUE},
      {10, 20, 100, 50, float(M_PI), {10, 20, 110, 70}, TRUE},
      {10, 20, 100, 50, float(M_PI / 4), {7, -8, 114, 99}, TRUE},              // 107 x 107
      {10, 20, 100, 50, float(M_PI / 6), {4, -2, 116, 92}, TRUE},              // 112 x 94
      {10, 20, 100, 50, float(-M_PI / 6), {4, -2, 116, 92}, TRUE},             // the same box
      {-7, -3, 5, 4, kQuarterMenu, {-6, -3, -2, 2}, TRUE},                     // division toward zero
      {0, 0, 10000, 1, kQuarter, {5000, -5000, 5001, 5000}, TRUE},             // 1 x 10000 fits
      {0, 0, 10000, 2000, float(M_PI / 18), {-98, -853, 10098, 2854}, FALSE},  // 10196 x 3707
  };
  for (const Case& c : cases) {
    GCompRef<OLayer> l = NewLayer(c.w, c.h, 2);
    l->SetPosition(c.x, c.y, FALSE);
    RECT r{};
    EXPECT_EQ(util->GetRotatedRect(l, c.angle, &r), c.fits) << c.w << "x" << c.h << " at " << c.angle;
    EXPECT_EQ(r.left, c.expect.left) << c.w << "x" << c.h << " at " << c.angle;
    EXPECT_EQ(r.top, c.expect.top) << c.w << "x" << c.h << " at " << c.angle;
    EXPECT_EQ(r.right, c.expect.right) << c.w << "x" << c.h << " at " << c.angle;
    EXPECT_EQ(r.bottom, c.expect.bottom) << c.w << "x" << c.h << " at " << c.angle;
  }
  GCompRef<OLayer> l = NewLayer(3, 3, 4);
  RECT r{};
  EXPECT_FALSE(util->GetRotatedRect(l, std::nanf(""), &r));
}

TEST_F(UtilityTest, RotateRefusesAnOversizedResultWithAnError) {
  GCompRef<OLayer> src = NewLayer(10000, 2000, 2);
  GCompRef<OLayer> dest = NewLayer(64, 64, 2);
  GCompRef<OData> args = GNewData(64);
  JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};
  EXPECT_EQ(ThrownCondition([&] { util->Rotate(dest, src, float(M_PI / 18), &job); }),
            u"!nRotatedWidth<=10000&&nRotatedHeight<=10000");
  EXPECT_EQ(job.object, nullptr);
  EXPECT_EQ(job.result, -1);
  EXPECT_EQ(ThrownCondition([&] { util->Rotate(dest, src, float(M_PI / 18), nullptr); }),
            u"!nRotatedWidth<=10000&&nRotatedHeight<=10000");
  // Layers of different formats are refused as well, for both jobs.
  GCompRef<OLayer> colour = NewLayer(64, 64, 4);
  EXPECT_EQ(ThrownCondition([&] { util->Rotate(colour, dest, 0.5f, nullptr); }),
            u"!poLayerDest->GetFormat()==poLayerSrc->GetFormat()");
  EXPECT_EQ(ThrownCondition([&] { util->Scale(colour, dest, nullptr); }),
            u"!poLayerDest->GetFormat()==poLayerSrc->GetFormat()");
}

// A turn by 0, a half and quarter turns, with float angles as the commands pass them, gives
// what the exact turns give.
TEST_F(UtilityTest, RotateByWholeQuartersMatchesTheExactTurns) {
  struct Case {
    float angle;
    int turn;  // clockwise quarter turns
  } cases[] = {{0.0f, 0},
               {kQuarter, 1},
               {kQuarterLayerList, 1},
               {kQuarterMenu, 1},
               {float(M_PI), 2},
               {float(3 * M_PI / 2), 3},
               {float(-M_PI / 2), 3}};
  for (int format : {2, 4}) {
    GCompRef<OLayer> src = Random(101, 50, format, 3);
    const Pixels before = Read(src);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "format " << format << " angle " << c.angle);
      RECT r{};
      ASSERT_TRUE(util->GetRotatedRect(src, c.angle, &r));
      const bool across = c.turn % 2 == 1;
      ASSERT_EQ(r.right - r.left, across ? 50 : 101);
      ASSERT_EQ(r.bottom - r.top, across ? 101 : 50);
      GCompRef<OLayer> dest = NewLayer(r.right - r.left, r.bottom - r.top, format);
      ASSERT_EQ(util->Rotate(dest, src, c.angle, nullptr), 1);
      Pixels expect = before;
      int w = 101, h = 50;
      for (int t = 0; t < c.turn; ++t) {
        expect = Turned(expect, w, h, true);
        std::swap(w, h);
      }
      EXPECT_EQ(Read(dest), Canonical(expect, format));
    }
  }
}

// Any angle: every destination pixel is the reference sample of the point the destination
// centre-on-source-centre mapping gives, also near and past the source's edges.
TEST_F(UtilityTest, RotateSamplesEveryPixelByTheCentredMapping) {
  struct Size {
    int w, h;
  } sizes[] = {{37, 23}, {1, 1}, {1, 9}, {64, 3}};
  const float angles[] = {0.3f, 1.0f, 2.5f, -0.7f, 4.0f};
  for (int format : {2, 4}) {
    for (const Size& z : sizes) {
      GCompRef<OLayer> src = Random(z.w, z.h, format, 6);
      for (float angle : angles) {
        SCOPED_TRACE(testing::Message() << "format " << format << " " << z.w << "x" << z.h << " at " << angle);
        RECT r{};
        ASSERT_TRUE(util->GetRotatedRect(src, angle, &r));
        const int W = r.right - r.left, H = r.bottom - r.top;
        GCompRef<OLayer> dest = NewLayer(W, H, format);
        Write(dest, Pixels(size_t(W) * H, 0x5A5A5A5A));
        ASSERT_EQ(util->Rotate(dest, src, angle, nullptr), 1);
        const Pixels got = Read(dest);

        LayerLock lock;
        lock.Lock(src, 0);
        const double c = std::cos(double(angle)), s = std::sin(double(angle)), one = 4294967296.0;
        Pixels expect;
        for (int y = 0; y < H; ++y) {
          const double u = 0.5 - W / 2.0, v = y + 0.5 - H / 2.0;
          xform::SampleLine line{lock.pPixels,
                                 size_t(lock.nPitch),
                                 z.w,
                                 z.h,
                                 std::llround((u * c + v * s + z.w / 2.0 - 0.5) * one),
                                 std::llround((-u * s + v * c + z.h / 2.0 - 0.5) * one),
                                 std::llround(c * one),
                                 std::llround(-s * one)};
          std::vector<uint32_t> c32(static_cast<size_t>(W));
          std::vector<uint16_t> a16(static_cast<size_t>(W));
          if (format == 4) {
            xform::SampleRowC32Scalar(c32.data(), size_t(W), line);
            expect.insert(expect.end(), c32.begin(), c32.end());
          } else {
            xform::SampleRowA16Scalar(a16.data(), size_t(W), line);
            expect.insert(expect.end(), a16.begin(), a16.end());
          }
        }
        EXPECT_EQ(got, expect);
      }
    }
  }
}

// Colour is weighted by alpha: an opaque red layer turned by an odd angle has soft edges but
// no darker or tinted pixel, even with green in its transparent pixels.
TEST_F(UtilityTest, RotatedEdgesKeepTheirColour) {
  GCompRef<OLayer> src = NewLayer(40, 30, 4);
  Pixels px(40 * 30, 0xFFFF0000);
  for (int y = 0; y < 30; ++y)
    for (int x = 30; x < 40; ++x) px[size_t(y) * 40 + x] = 0x0000FF00;
  Write(src, px);
  RECT r{};
  ASSERT_TRUE(util->GetRotatedRect(src, 0.5f, &r));
  GCompRef<OLayer> dest = NewLayer(r.right - r.left, r.bottom - r.top, 4);
  ASSERT_EQ(util->Rotate(dest, src, 0.5f, nullptr), 1);
  const Pixels out = Read(dest);
  int soft = 0, opaque = 0;
  for (uint32_t p : out) {
    const uint32_t a = p >> 24;
    if (a == 0) {
      EXPECT_EQ(p, 0u);
      continue;
    }
    EXPECT_EQ(p & 0xFFFFFF, 0xFF0000u) << std::hex << p;
    (a == 255 ? opaque : soft) += 1;
  }
  EXPECT_GT(soft, 50);
  EXPECT_GT(opaque, 400);
  EXPECT_EQ(out.front(), 0u);  // the corner is outside the turned layer

  // A mask: full coverage inside, none outside, in between along the edges.
  GCompRef<OLayer> mask = NewLayer(40, 30, 2);
  Write(mask, Pixels(40 * 30, 0xFFFF));
  GCompRef<OLayer> turned = NewLayer(r.right - r.left, r.bottom - r.top, 2);
  ASSERT_EQ(util->Rotate(turned, mask, 0.5f, nullptr), 1);
  const Pixels cover = Read(turned);
  const int W = r.right - r.left, H = r.bottom - r.top;
  EXPECT_EQ(cover[size_t(H / 2) * W + W / 2], 0xFFFFu);
  EXPECT_EQ(cover.front(), 0u);
  EXPECT_GT(std::count_if(cover.begin(), cover.end(), [](uint32_t v) { return v > 0 && v < 0xFFFF; }), 50);
}

TEST_F(UtilityTest, ScaleToTheSameSizeIsTheIdentity) {
  for (int format : {2, 4}) {
    GCompRef<OLayer> src = Random(67, 33, format, 4);
    GCompRef<OLayer> dest = NewLayer(67, 33, format);
    ASSERT_EQ(util->Scale(dest, src, nullptr), 1);
    EXPECT_EQ(Read(dest), Read(src)) << format;
  }
}

// Shrinking averages areas: a pixel checkerboard reduced 10 times (and by an uneven ratio)
// is flat grey, where point or bilinear sampling would give black or white.
TEST_F(UtilityTest, ScaleReductionAveragesWithoutAliasing) {
  struct Case {
    int w, h, W, H, format;
    uint32_t lo, hi;  // grey (or coverage) bounds of every output pixel
  } cases[] = {
      {200, 150, 20, 15, 4, 127, 128},
      {203, 157, 20, 15, 4, 124, 131},
      {200, 150, 20, 15, 2, 32767, 32768},
      {200, 3, 20, 3, 4, 127, 128},  // one axis only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " to " << c.W << "x" << c.H << " format " << c.format);
    GCompRef<OLayer> src = NewLayer(c.w, c.h, c.format);
    Pixels px(size_t(c.w) * c.h);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const bool white = (x + y) % 2 == 0;
        px[size_t(y) * c.w + x] = c.format == 2 ? (white ? 0xFFFF : 0) : (white ? 0xFFFFFFFF : 0xFF000000);
      }
    Write(src, px);
    GCompRef<OLayer> dest = NewLayer(c.W, c.H, c.format);
    ASSERT_EQ(util->Scale(dest, src, nullptr), 1);
    const Pixels out = Read(dest);
    if (c.w % c.W == 0 && c.h % c.H == 0) {
      EXPECT_EQ(std::count(out.begin(), out.end(), out.front()), std::ptrdiff_t(out.size()));
    }
    for (uint32_t p : out) {
      const uint32_t grey = c.format == 2 ? p : p & 0xFF;
      EXPECT_GE(grey, c.lo);
      EXPECT_LE(grey, c.hi);
      if (c.format == 4) {
        EXPECT_EQ(p >> 24, 255u);
        EXPECT_EQ((p >> 8) & 0xFF, grey);
        EXPECT_EQ((p >> 16) & 0xFF, grey);
      }
    }
  }

  // Red over transparent green: the average is half covered and still pure red.
  GCompRef<OLayer> src = NewLayer(100, 100, 4);
  Pixels px(100 * 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) px[size_t(y) * 100 + x] = (x + y) % 2 ? 0x0000FF00 : 0xFFFF0000;
  Write(src, px);
  GCompRef<OLayer> dest = NewLayer(10, 10, 4);
  ASSERT_EQ(util->Scale(dest, src, nullptr), 1);
  for (uint32_t p : Read(dest)) {
    EXPECT_EQ(p & 0xFFFFFF, 0xFF0000u);
    EXPECT_TRUE((p >> 24) == 127 || (p >> 24) == 128) << (p >> 24);
  }
}

TEST_F(UtilityTest, ScaleEnlargementIsBilinearWithEdgesHeld) {
  GCompRef<OLayer> src = NewLayer(2, 1, 4);
  Write(src, {0xFF000000, 0xFFFFFFFF});
  GCompRef<OLayer> dest = NewLayer(4, 1, 4);
  ASSERT_EQ(util->Scale(dest, src, nullptr), 1);
  // Centres at -0.25 (held at 0), 0.25, 0.75 and 1.25 (held at 1).
  EXPECT_EQ(Read(dest), (Pixels{0xFF000000, 0xFF404040, 0xFFBFBFBF, 0xFFFFFFFF}));

  // A flat layer stays flat to its edges, in both formats and with both axes growing.
  for (int format : {2, 4}) {
    const uint32_t value = format == 2 ? 0x8001 : 0x80336699;
    GCompRef<OLayer> flat = NewLayer(3, 3, format);
    Write(flat, Pixels(9, value));
    GCompRef<OLayer> big = NewLayer(10, 7, format);
    ASSERT_EQ(util->Scale(big, flat, nullptr), 1);
    EXPECT_EQ(Read(big), Pixels(70, value)) << format;
  }
}

// The jobs on a real worker: prepared only, run with progress per row, stopped by abort
// before the first row and in mid-run, where the rows written so far stay.
TEST_F(UtilityTest, JobsOnAWorkerReportRowsAndHonourAbort) {
  GCompRef<OWorker> worker = NewWorker();
  const float angle = 0.5f;
  for (int kind = 0; kind < 2; ++kind) {
    SCOPED_TRACE(kind == 0 ? "rotate" : "scale");
    GCompRef<OLayer> src = Random(1200, 1000, 4, 5);
    int W = 1500, H = 1300;
    if (kind == 0) {
      RECT r{};
      ASSERT_TRUE(util->GetRotatedRect(src, angle, &r));
      W = r.right - r.left;
      H = r.bottom - r.top;
    }
    auto prepare = [&](OLayer* dest, JobRecord* job) {
      return kind == 0 ? util->Rotate(dest, src, angle, job) : util->Scale(dest, src, job);
    };
    GCompRef<OLayer> reference = NewLayer(W, H, 4);
    ASSERT_EQ(prepare(reference, nullptr), 1);
    const Pixels full = Read(reference);

    GCompRef<OData> args = GNewData(4096);
    JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};
    const Pixels marker(size_t(W) * H, 0xA5A5A5A5);

    // Prepared, not run.
    GCompRef<OLayer> dest = NewLayer(W, H, 4);
    Write(dest, marker);
    ASSERT_EQ(prepare(dest, &job), 1);
    EXPECT_EQ(job.object, static_cast<void*>(static_cast<MorvaneUtility*>(util.get())));
    EXPECT_EQ(job.kind, 6);
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(Read(dest), marker);

    // Abort before the first row.
    JobControl early;
    early.flags = JOB_ABORT;
    ASSERT_EQ(worker->Launch(&job, &early), 1);
    worker->Wait(FALSE);
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(early.progress, 0);
    EXPECT_EQ(early.total, H);
    EXPECT_EQ(Read(dest), marker);

    // A whole run.
    ASSERT_EQ(prepare(dest, &job), 1);
    JobControl control;
    ASSERT_EQ(worker->Launch(&job, &control), 1);
    worker->Wait(FALSE);
    EXPECT_EQ(job.result, 1);
    EXPECT_EQ(control.flags, 0u);
    EXPECT_EQ(control.progress, H);
    EXPECT_EQ(control.total, H);
    EXPECT_EQ(Read(dest), full);

    // Abort in mid-run: rows before the stop are written, the rest untouched. A busy machine
    // may let the job finish before the abort lands: then it is tried again.
    JobControl late;
    for (int attempt = 0; attempt < 5; ++attempt) {
      Write(dest, marker);
      ASSERT_EQ(prepare(dest, &job), 1);
      late.flags = 0;
      late.progress = 0;
      ASSERT_EQ(worker->Launch(&job, &late), 1);
      while (late.progress < 2 && worker->IsReady() == FALSE) {
      }
      late.flags |= JOB_ABORT;
      worker->Wait(FALSE);
      if (job.result == 0) break;
    }
    ASSERT_EQ(job.result, 0) << "the job ended before the abort, five times";
    const int stopped = late.progress;
    EXPECT_GE(stopped, 2);
    EXPECT_LT(stopped, H);
    const Pixels part = Read(dest);
    const size_t cut = size_t(stopped) * W;
    EXPECT_TRUE(std::equal(part.begin(), part.begin() + std::ptrdiff_t(cut), full.begin()));
    EXPECT_TRUE(std::equal(part.begin() + std::ptrdiff_t(cut), part.end(), marker.begin() + std::ptrdiff_t(cut)));
  }
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

// --- kernels: the SSE2 rows give the reference's bits

std::vector<uint32_t> RandomSurface(size_t n, bool colour, std::mt19937& rng) {
  std::vector<uint32_t> v(n);
  for (uint32_t& p : v) {
    const uint32_t r = rng(), kind = rng() % 5;
    if (colour) {
      // Runs of one pixel let the flat shortcut meet its neighbours.
      p = kind == 0 ? r & 0xFFFFFF : kind == 1 ? r | 0xFF000000 : kind == 2 ? 0xFF204080 : r;
    } else {
      p = kind == 0 ? 0 : kind == 1 ? 0xFFFF : kind == 2 ? 0x1234 : r & 0xFFFF;
    }
  }
  return v;
}

TEST(UtilityKernels, SamplingRowsMatchTheReference) {
  std::mt19937 rng(11);
  struct Size {
    int w, h;
  } sizes[] = {{1, 1}, {1, 9}, {9, 1}, {13, 11}, {64, 40}};
  for (const Size& s : sizes) {
    const size_t pitch = size_t(s.w) + 3;
    const auto c32 = RandomSurface(pitch * s.h, true, rng);
    std::vector<uint16_t> a16(pitch * s.h);
    for (auto& v : a16) v = uint16_t(RandomSurface(1, false, rng)[0]);
    for (int trial = 0; trial < 300; ++trial) {
      const double angle = std::uniform_real_distribution<double>(-4, 4)(rng);
      const double scale = trial % 3 == 0 ? 1.0 : std::uniform_real_distribution<double>(0.2, 3)(rng);
      xform::SampleLine line{nullptr, pitch, s.w, s.h, 0, 0, 0, 0};
      line.x = int64_t(std::uniform_real_distribution<double>(-3, s.w + 2)(rng) * 4294967296.0);
      line.y = int64_t(std::uniform_real_distribution<double>(-3, s.h + 2)(rng) * 4294967296.0);
      line.dx = int64_t(std::cos(angle) * scale * 4294967296.0);
      line.dy = int64_t(std::sin(angle) * scale * 4294967296.0);
      if (trial % 7 == 0) line.x &= ~int64_t(0xFFFFFFFF);  // on pixel centres
      const size_t n = size_t(1 + trial % 37);
      std::vector<uint32_t> ref(n), sse(n);
      line.src = c32.data();
      xform::SampleRowC32Scalar(ref.data(), n, line);
      xform::SampleRowC32Sse2(sse.data(), n, line);
      ASSERT_EQ(ref, sse) << s.w << "x" << s.h << " trial " << trial;
      std::vector<uint16_t> ref16(n), sse16(n);
      line.src = a16.data();
      xform::SampleRowA16Scalar(ref16.data(), n, line);
      xform::SampleRowA16Sse2(sse16.data(), n, line);
      ASSERT_EQ(ref16, sse16) << s.w << "x" << s.h << " trial " << trial;
    }
  }
}

// The SSE2 sampling divides in float and truncates: that equals the integer division for
// every divisor A the weights can give (128 .. 65280) and every quotient up to 255, checked
// where the quotient steps (both sides), which settles every numerator by monotony.
TEST(UtilityKernels, FloatQuotientTruncatesLikeIntegerDivision) {
  for (uint32_t A = 128; A <= 65280; ++A) {
    for (uint32_t k = 1; k <= 256; ++k) {
      const uint32_t n = k * A;
      ASSERT_EQ(uint32_t(float(n) / float(A)), k) << A;
      ASSERT_EQ(uint32_t(float(n - 1) / float(A)), k - 1) << A;
    }
  }
}

TEST(UtilityKernels, ScaleRowsMatchTheReference) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int trial = 0; trial < 200; ++trial) {
    const int taps = 1 + trial % 6;
    const size_t n = size_t(1 + (trial * 7) % 41), wide = n + size_t(taps) + 5;
    // Column pass over taps random rows.
    std::vector<std::vector<uint32_t>> c32(static_cast<size_t>(taps));
    std::vector<std::vector<uint16_t>> a16(static_cast<size_t>(taps));
    std::vector<const uint32_t*> rows32;
    std::vector<const uint16_t*> rows16;
    std::vector<float> weight;
    for (int t = 0; t < taps; ++t) {
      c32[size_t(t)] = RandomSurface(wide, true, rng);
      for (uint32_t v : RandomSurface(wide, false, rng)) a16[size_t(t)].push_back(uint16_t(v));
      rows32.push_back(c32[size_t(t)].data());
      rows16.push_back(a16[size_t(t)].data());
      weight.push_back(trial % 5 == 0 && t == 0 ? 0.0f : unit(rng));
    }
    std::vector<float> ref(4 * wide), sse(4 * wide);
    xform::ScaleColumnC32Scalar(ref.data(), wide, rows32.data(), weight.data(), taps);
    xform::ScaleColumnC32Sse2(sse.data(), wide, rows32.data(), weight.data(), taps);
    ASSERT_EQ(0, std::memcmp(ref.data(), sse.data(), ref.size() * sizeof(float))) << trial;
    std::vector<float> ref16(wide), sse16(wide);
    xform::ScaleColumnA16Scalar(ref16.data(), wide, rows16.data(), weight.data(), taps);
    xform::ScaleColumnA16Sse2(sse16.data(), wide, rows16.data(), weight.data(), taps);
    ASSERT_EQ(0, std::memcmp(ref16.data(), sse16.data(), ref16.size() * sizeof(float))) << trial;

    // Row pass over those sums, with weights summing to about 1 and some zero padding.
    std::vector<int32_t> start(n);
    std::vector<float> rw(n * size_t(taps));
    for (size_t j = 0; j < n; ++j) {
      start[j] = int32_t(rng() % (wide - size_t(taps) + 1));
      float sum = 0;
      for (int t = 0; t < taps; ++t) sum += (rw[j * taps + t] = rng() % 4 == 0 ? 0.0f : unit(rng));
      for (int t = 0; t < taps; ++t) rw[j * taps + t] = sum > 0 ? rw[j * taps + t] / sum : 0.0f;
    }
    std::vector<uint32_t> out(n), outSse(n);
    xform::ScaleRowC32Scalar(out.data(), n, ref.data(), start.data(), rw.data(), taps);
    xform::ScaleRowC32Sse2(outSse.data(), n, ref.data(), start.data(), rw.data(), taps);
    ASSERT_EQ(out, outSse) << trial;
    std::vector<uint16_t> out16(n), out16Sse(n);
    xform::ScaleRowA16Scalar(out16.data(), n, ref16.data(), start.data(), rw.data(), taps);
    xform::ScaleRowA16Sse2(out16Sse.data(), n, ref16.data(), start.data(), rw.data(), taps);
    ASSERT_EQ(out16, out16Sse) << trial;
  }
}

}  // namespace

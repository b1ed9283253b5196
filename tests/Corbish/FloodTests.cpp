#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "FloodKernelSse2.h"
#include "Morvane.h"
#include "XFlood.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace {

// Pixel values of a test image: 32-bit colours, or 16-bit mask values in the low half.
struct Img {
  int w = 0, h = 0, ps = 4;
  std::vector<uint32_t> v;
  uint32_t At(int x, int y) const { return v[size_t(y) * w + x]; }
};

// A 1-bit map over a rectangle, as the fill reads and writes it.
struct Bits {
  RECT rc{};
  std::vector<DWORD> words;
  Bits() = default;
  explicit Bits(RECT r, DWORD fill = 0) : rc(r), words(size_t(r.right - r.left) / 32 * (r.bottom - r.top), fill) {}
  int Span() const { return rc.right - rc.left; }
  bool Get(int x, int y) const {
    const int64_t i = int64_t(y - rc.top) * Span() + (x - rc.left);
    return (words[size_t(i >> 5)] >> (i & 31)) & 1;
  }
  void Set(int x, int y, bool on = true) {
    const int64_t i = int64_t(y - rc.top) * Span() + (x - rc.left);
    if (on)
      words[size_t(i >> 5)] |= 1u << (i & 31);
    else
      words[size_t(i >> 5)] &= ~(1u << (i & 31));
  }
  int Count() const {
    int n = 0;
    for (DWORD w : words) n += __builtin_popcount(w);
    return n;
  }
};

bool ModelPass(const Img& img, uint32_t from, uint32_t to, unsigned tol) {
  if (img.ps == 4) {
    uint32_t d = 0;
    for (int s = 0; s < 32; s += 8) d += uint32_t(std::abs(int((from >> s) & 255) - int((to >> s) & 255)));
    return d < tol;
  }
  return int64_t(from) - int64_t(to) <= int64_t(tol) * 128;
}

// The fill as its rule reads: a breadth-first walk over single pixels, each neighbour in the
// order left, up, right, down tested against the pixel it is reached from.
BOOL ModelFlood(Bits& bits, const RECT& rcEnd, POINT seed, unsigned tol, const Img& img, POINT layerAt) {
  if (seed.x < rcEnd.left || seed.x >= rcEnd.right || seed.y < rcEnd.top || seed.y >= rcEnd.bottom) return FALSE;
  if (bits.Get(seed.x, seed.y)) return FALSE;
  bits.Set(seed.x, seed.y);
  auto value = [&](POINT p) { return img.At(p.x - layerAt.x, p.y - layerAt.y); };
  std::deque<POINT> queue{seed};
  while (!queue.empty()) {
    const POINT p = queue.front();
    queue.pop_front();
    for (POINT n : {POINT{p.x - 1, p.y}, POINT{p.x, p.y - 1}, POINT{p.x + 1, p.y}, POINT{p.x, p.y + 1}}) {
      if (n.x < rcEnd.left || n.x >= rcEnd.right || n.y < rcEnd.top || n.y >= rcEnd.bottom) continue;
      if (bits.Get(n.x, n.y) || !ModelPass(img, value(p), value(n), tol)) continue;
      bits.Set(n.x, n.y);
      queue.push_back(n);
    }
  }
  return TRUE;
}

// The disc cut of MergeBitboxToBitmap as its rule reads, bit by bit.
void ModelDisc(Bits& box, POINT c, int radius) {
  for (int y = box.rc.top; y < box.rc.bottom; ++y) {
    double b = (std::abs(double(y) - c.y) + 0.5) / radius;
    if (b > 1) b = 1;
    const double h = radius * std::sqrt(1 - b * b);
    const double x0 = std::floor(c.x - h + 0.5), x1 = std::floor(c.x + h + 0.5);
    for (int x = box.rc.left; x < box.rc.right; ++x)
      if (x < x0 || x >= x1) box.Set(x, y, false);
  }
}

std::u16string Condition(GErrRecord* e) {
  std::u16string c = e->GetCondition();
  e->AddRef();
  e->Release();
  return c;
}

class XFloodTest : public ::testing::Test {
 protected:
  XFloodTest() {
    sys.Register(u"Morvane", GCreateComponent<Morvane>);
    sys.Register(u"XFlood", GCreateComponent<XFlood>);
    flood = static_cast<OFlood*>(sys.NewObj(u"XFlood", nullptr)->GetInterface(u"OFlood"));
  }

  GCompRef<OLayer> MakeLayer(const Img& img, POINT at) {
    GCompRef<OLayer> l = static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
    l->Initialize(nullptr, img.w, img.h, img.ps, 1);
    l->SetPosition(at.x, at.y, FALSE);
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(l, 0));
    for (int y = 0; y < img.h; ++y)
      for (int x = 0; x < img.w; ++x) {
        const uint32_t v = img.At(x, y);
        std::memcpy(lock.Row(y) + size_t(x) * img.ps, &v, size_t(img.ps));
      }
    return l;
  }

  // Runs the component and the model on copies of the same bit box; both must agree.
  void ExpectSameAsModel(const Img& img, POINT at, const Bits& start, const RECT& rcEnd, POINT seed, unsigned tol) {
    GCompRef<OLayer> layer = MakeLayer(img, at);
    Bits got = start, want = start;
    RECT out{-1, -1, -1, -1};
    const BOOL r = flood->Flood(got.words.data(), &got.rc, &rcEnd, &seed, tol, layer, &out);
    EXPECT_EQ(r, ModelFlood(want, rcEnd, seed, tol, img, at));
    EXPECT_EQ(got.words, want.words);
    if (r) {
      EXPECT_EQ(std::memcmp(&out, &rcEnd, sizeof out), 0);
    }
  }

  FakeSystem sys;
  GCompRef<OFlood> flood;
};

// Random images of few, slightly varied values, random reach rectangles, bit boxes placed
// anywhere around them with bits already set, every tolerance class.
TEST_F(XFloodTest, FillsWhatTheBreadthFirstRuleFills) {
  std::mt19937 rng(7);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int iter = 0; iter < 300; ++iter) {
    SCOPED_TRACE(iter);
    Img img;
    img.ps = iter % 2 ? 2 : 4;
    img.w = rnd(1, 90), img.h = rnd(1, 60);
    const uint32_t palette[3] = {0x80102030u, 0xFF10A030u, 0x00FFFFFFu};
    int16_t level = int16_t(rnd(0, 0x7FFF));
    for (int i = 0; i < img.w * img.h; ++i) {
      if (img.ps == 4) {
        uint32_t p = palette[rnd(0, 9) == 0 ? rnd(1, 2) : 0];
        if (rnd(0, 3) == 0) p ^= uint32_t(rnd(0, 3)) << (8 * rnd(0, 3));
        img.v.push_back(p);
      } else {
        level = int16_t(std::clamp(level + rnd(-300, 300), 0, 0x7FFF));
        img.v.push_back(uint32_t(level) * 2);
      }
    }
    const POINT at{rnd(-40, 40), rnd(-40, 40)};
    RECT rcEnd;
    rcEnd.left = at.x + rnd(0, img.w - 1), rcEnd.right = rnd(rcEnd.left + 1, at.x + img.w);
    rcEnd.top = at.y + rnd(0, img.h - 1), rcEnd.bottom = rnd(rcEnd.top + 1, at.y + img.h);
    RECT box;
    box.left = rcEnd.left - rnd(0, 40);
    box.right = box.left + (rcEnd.right - box.left + rnd(0, 40) + 31) / 32 * 32;
    box.top = rcEnd.top - rnd(0, 5), box.bottom = rcEnd.bottom + rnd(0, 5);
    Bits start(box);
    const int density = rnd(0, 3) * 5;
    for (int y = box.top; y < box.bottom; ++y)
      for (int x = box.left; x < box.right; ++x)
        if (rnd(0, 99) < density) start.Set(x, y);
    const unsigned tols[] = {0, 1, 2, 5, 40, 1020, 1021, 100000};
    const unsigned tol = img.ps == 4 ? tols[rnd(0, 7)] : unsigned(rnd(0, 4));
    // Seeds sometimes on the far edges of rcEnd, which lie outside it.
    const POINT seed{rnd(rcEnd.left, rcEnd.right - (rnd(0, 9) ? 1 : 0)),
                     rnd(rcEnd.top, rcEnd.bottom - (rnd(0, 9) ? 1 : 0))};
    ExpectSameAsModel(img, at, start, rcEnd, seed, tol);
  }
}

TEST_F(XFloodTest, ColourToleranceClasses) {
  // A 3 x 3 block of one colour in a field whose pixels lie one step from it in a single
  // byte (the alpha byte among them), so field neighbours lie two steps apart. In a corner,
  // 0xFFFFFFFF is fenced in by two black pixels, 1020 away from it.
  Img img{12, 9, 4, {}};
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      const bool block = x >= 3 && x < 6 && y >= 3 && y < 6;
      img.v.push_back(block ? 0x80402010u : 0x80402010u + (1u << (8 * ((x + y) % 4))));
    }
  img.v[0] = 0xFFFFFFFFu;
  img.v[1] = img.v[12] = 0;
  const RECT rcEnd{0, 0, 12, 9};
  struct Case {
    unsigned tol;
    int filled;
  } cases[] = {
      {0, 1},           // only the seed
      {1, 9},           // exactly the identical block
      {2, 9 + 12},      // and the ring one step away
      {3, 108 - 3},     // the whole field, not the black fence
      {1020, 108 - 1},  // the fence, but not across a distance of 1020
      {1021, 108},      // everything
      {0xFFFFFFFFu, 108},
  };
  GCompRef<OLayer> layer = MakeLayer(img, {0, 0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tol);
    Bits bits(RECT{0, 0, 32, 9});
    RECT out;
    const POINT seed{4, 4};
    ASSERT_TRUE(flood->Flood(bits.words.data(), &bits.rc, &rcEnd, &seed, c.tol, layer, &out));
    EXPECT_EQ(bits.Count(), c.filled);
  }
}

TEST_F(XFloodTest, MaskTestIsOneSided) {
  // A ramp rising to the right by 128 per pixel, with one rise of 129 between 19 and 20.
  Img img{40, 1, 2, {}};
  for (int x = 0; x < 40; ++x) img.v.push_back(uint32_t(x * 128 + (x >= 20 ? 1 : 0)));
  GCompRef<OLayer> layer = MakeLayer(img, {0, 0});
  const RECT rcEnd{0, 0, 40, 1};
  auto fill = [&](int x, unsigned tol) {
    Bits bits(RECT{0, 0, 64, 1});
    RECT out;
    const POINT seed{x, 0};
    EXPECT_TRUE(flood->Flood(bits.words.data(), &bits.rc, &rcEnd, &seed, tol, layer, &out));
    return bits;
  };
  // Rising away from the seed: everything, even at tolerance 0.
  EXPECT_EQ(fill(0, 0).Count(), 40);
  // Falling away: nothing at 0; drops of tolerance * 128 pass, the one drop of 129 does not.
  EXPECT_EQ(fill(39, 0).Count(), 1);
  const Bits stopped = fill(39, 1);
  EXPECT_EQ(stopped.Count(), 20);
  EXPECT_TRUE(stopped.Get(20, 0));
  EXPECT_EQ(fill(39, 2).Count(), 40);
}

TEST_F(XFloodTest, CornerContactKeepsRegionsApart) {
  // Two white squares touching at one corner on black.
  Img img{8, 8, 4, std::vector<uint32_t>(64, 0xFF000000u)};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      if ((x < 4) == (y < 4)) img.v[size_t(y) * 8 + x] = 0xFFFFFFFFu;
  GCompRef<OLayer> layer = MakeLayer(img, {0, 0});
  const RECT rcEnd{0, 0, 8, 8};
  Bits bits(RECT{0, 0, 32, 8});
  RECT out;
  const POINT seed{0, 0};
  ASSERT_TRUE(flood->Flood(bits.words.data(), &bits.rc, &rcEnd, &seed, 10, layer, &out));
  EXPECT_EQ(bits.Count(), 16);
  EXPECT_FALSE(bits.Get(4, 4));
}

TEST_F(XFloodTest, SeedOutsideOrAlreadySetGivesFalse) {
  Img img{10, 10, 4, std::vector<uint32_t>(100, 0)};
  GCompRef<OLayer> layer = MakeLayer(img, {3, 4});
  const RECT rcEnd{4, 5, 12, 13};
  for (POINT seed : {POINT{12, 6}, POINT{6, 13}, POINT{3, 6}, POINT{6, 4}}) {
    Bits bits(RECT{0, 0, 32, 20});
    RECT out{};
    EXPECT_FALSE(flood->Flood(bits.words.data(), &bits.rc, &rcEnd, &seed, 1000, layer, &out));
    EXPECT_EQ(bits.Count(), 0);
  }
  Bits bits(RECT{0, 0, 32, 20});
  RECT out{};
  const POINT seed{11, 12};  // the last pixel inside
  ASSERT_TRUE(flood->Flood(bits.words.data(), &bits.rc, &rcEnd, &seed, 1000, layer, &out));
  EXPECT_EQ(bits.Count(), 64);
  EXPECT_EQ(out.left, 4);
  EXPECT_EQ(out.bottom, 13);
  EXPECT_FALSE(flood->Flood(bits.words.data(), &bits.rc, &rcEnd, &seed, 1000, layer, &out));
}

TEST_F(XFloodTest, RefusesBadRectanglesBeforeSettingBits) {
  Img img{20, 20, 4, std::vector<uint32_t>(400, 0)};
  GCompRef<OLayer> layer = MakeLayer(img, {0, 0});
  struct Case {
    RECT box, end;
    const char16_t* condition;
  } cases[] = {
      {{0, 0, 32, 20}, {5, 5, 5, 9}, u"!RectIsValid(rcEnd)"},
      {{0, 0, 32, 20}, {5, 9, 9, 5}, u"!RectIsValid(rcEnd)"},
      {{0, 0, 48, 20}, {0, 0, 20, 20}, u"!0==(nBitSpan&31)"},
      {{0, 0, 32, 30}, {0, 0, 21, 20}, u"!RectInRectangle(rcEnd,rcLayer)"},
      {{0, 0, 32, 30}, {0, -1, 10, 20}, u"!RectInRectangle(rcEnd,rcLayer)"},
      {{1, 0, 33, 20}, {0, 0, 10, 10}, u"!RectInRectangle(rcEnd,rcBitbox)"},
      {{0, 1, 32, 20}, {0, 0, 10, 10}, u"!RectInRectangle(rcEnd,rcBitbox)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.condition));
    Bits bits(RECT{c.box.left, c.box.top, c.box.left + 64, c.box.bottom});
    const POINT seed{5, 5};
    RECT out;
    try {
      flood->Flood(bits.words.data(), &c.box, &c.end, &seed, 10, layer, &out);
      ADD_FAILURE() << "no error";
    } catch (GErrRecord* e) {
      const std::u16string piece = e->GetPieceCount() ? e->GetPiece(0)->GetText() : u"";
      EXPECT_NE(piece.find(u"XFlood"), std::u16string::npos);
      EXPECT_NE(piece.find(u"::Flood()"), std::u16string::npos);
      EXPECT_EQ(Condition(e), c.condition);
    }
    EXPECT_EQ(bits.Count(), 0);
  }
}

TEST_F(XFloodTest, LockedLayerErrorPassesThroughWithTheSeedSet) {
  Img img{8, 8, 4, std::vector<uint32_t>(64, 0)};
  GCompRef<OLayer> layer = MakeLayer(img, {0, 0});
  LayerLock held;
  ASSERT_TRUE(held.Lock(layer, 0));
  Bits bits(RECT{0, 0, 32, 8});
  const RECT rcEnd{0, 0, 8, 8};
  const POINT seed{2, 3};
  RECT out;
  try {
    flood->Flood(bits.words.data(), &bits.rc, &rcEnd, &seed, 10, layer, &out);
    ADD_FAILURE() << "no error";
  } catch (GErrRecord* e) {
    EXPECT_EQ(Condition(e), u"!m_myState==myREADY");
  }
  EXPECT_EQ(bits.Count(), 1);
  EXPECT_TRUE(bits.Get(2, 3));
}

// Perfect mazes of one-pixel passages (walls low, passages high), carved depth first: single
// pixels whose row stops at once, short runs, the picture's edges, bit boxes at odd offsets,
// and in the large one enough runs to cross many queue blocks.
TEST_F(XFloodTest, MazesFillAsTheModel) {
  struct Case {
    int w, h, ps;
    int boxLeft;  // bits of the box before rcEnd
  } cases[] = {{61, 47, 4, 0}, {64, 9, 2, 7}, {203, 151, 4, 45}, {150, 201, 2, 3}, {1001, 1001, 4, 13}};
  std::mt19937 rng(21);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.w);
    Img img{c.w, c.h, c.ps, std::vector<uint32_t>(size_t(c.w) * c.h, 0)};
    const uint32_t high = c.ps == 4 ? 0xFFFFFFFFu : 0xFFFFu;
    // Cells on even coordinates, so passages reach the left and top edges.
    const int cw = (c.w + 1) / 2, ch = (c.h + 1) / 2;
    std::vector<uint8_t> seen(size_t(cw) * ch, 0);
    std::vector<int> stack{0};
    seen[0] = 1;
    img.v[0] = high;
    while (!stack.empty()) {
      const int cell = stack.back(), cx = cell % cw, cy = cell / cw;
      int options[4], n = 0;
      const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
      for (int k = 0; k < 4; ++k) {
        const int nx = cx + dx[k], ny = cy + dy[k];
        if (nx >= 0 && ny >= 0 && nx < cw && ny < ch && !seen[size_t(ny) * cw + nx]) options[n++] = k;
      }
      if (!n) {
        stack.pop_back();
        continue;
      }
      const int k = options[rng() % unsigned(n)];
      const int nx = cx + dx[k], ny = cy + dy[k];
      seen[size_t(ny) * cw + nx] = 1;
      img.v[size_t(2 * cy + dy[k]) * c.w + size_t(2 * cx + dx[k])] = high;
      img.v[size_t(2 * ny) * c.w + size_t(2 * nx)] = high;
      stack.push_back(ny * cw + nx);
    }
    const POINT at{-5, 3};
    const RECT rcEnd{at.x, at.y, at.x + c.w, at.y + c.h};
    const RECT box{rcEnd.left - c.boxLeft, rcEnd.top - 1, rcEnd.left - c.boxLeft + (c.w + c.boxLeft + 31) / 32 * 32,
                   rcEnd.bottom};
    for (POINT seed : {POINT{at.x, at.y}, POINT{at.x + c.w - 1 - (c.w - 1) % 2, at.y + c.h - 1 - (c.h - 1) % 2}})
      ExpectSameAsModel(img, at, Bits(box), rcEnd, seed, 1);
  }
}

// A fill over a large uniform area and over a one-pixel maze holds only a few queue blocks
// at any time, and nothing once it has ended.
TEST_F(XFloodTest, QueueMemoryStaysSmall) {
  auto* impl = static_cast<XFlood*>(flood.get());
  Img open{1500, 1000, 4, std::vector<uint32_t>(1500 * 1000, 0xFF123456u)};
  // A serpentine corridor of high values: walls (0) on every odd row, with a gap at
  // alternate ends.
  Img maze{999, 999, 2, std::vector<uint32_t>(999 * 999, 0xFFFF)};
  for (int y = 1; y < maze.h; y += 2)
    for (int x = 0; x < maze.w; ++x)
      if (x != ((y / 2) % 2 ? 0 : maze.w - 1)) maze.v[size_t(y) * maze.w + x] = 0;
  for (const Img* img : {&open, &maze}) {
    GCompRef<OLayer> layer = MakeLayer(*img, {0, 0});
    const RECT rcEnd{0, 0, img->w, img->h};
    Bits bits(RECT{0, 0, (img->w + 31) / 32 * 32, img->h});
    const POINT seed{img->w / 2, 0};
    RECT out;
    ASSERT_TRUE(flood->Flood(bits.words.data(), &bits.rc, &rcEnd, &seed, 1, layer, &out));
    EXPECT_EQ(bits.Count(), img == &open ? img->w * img->h : img->w * (img->h + 1) / 2 + img->h / 2);
    EXPECT_LE(impl->GetPeakQueueBlocks(), 2u);
  }
}

TEST(XFloodQueue, FirstInFirstOutAcrossBlocksAndFreedWhenCleared) {
  FloodRunQueue q;
  const int32_t n = int32_t(FloodRunQueue::kBlockRuns) * 2 + 100;
  for (int32_t i = 0; i < n; ++i) q.Push({i, -i, i * 2});
  EXPECT_EQ(q.BlockCount(), 3u);
  for (int32_t i = 0; i < n; ++i) {
    const FloodRunQueue::Run r = q.Pop();
    ASSERT_EQ(r.y, i);
    ASSERT_EQ(r.x0, -i);
    ASSERT_EQ(r.x1, i * 2);
    if (i % 3 == 0) q.Push({n + i, 0, 0});  // interleaved pushes keep reusing the spare
  }
  while (!q.Empty()) q.Pop();
  EXPECT_LE(q.BlockCount(), 2u);
  q.Clear();
  EXPECT_EQ(q.BlockCount(), 0u);
  EXPECT_TRUE(q.Empty());
}

// Merge and copy against per-bit models on random word-aligned placements.
TEST_F(XFloodTest, MergeAndCopyFollowTheirRules) {
  std::mt19937 rng(11);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto randomBits = [&](RECT rc) {
    Bits b(rc);
    for (DWORD& w : b.words) w = DWORD(rng()) & DWORD(rng());
    return b;
  };
  for (int iter = 0; iter < 200; ++iter) {
    SCOPED_TRACE(iter);
    const int mapLeft = rnd(-100, 100);
    const RECT rcMap{mapLeft, rnd(-20, 20), mapLeft + 32 * rnd(1, 4), 0};
    RECT map = rcMap;
    map.bottom = map.top + rnd(1, 40);
    const int boxLeft = mapLeft + 32 * rnd(-4, 4);
    RECT box{boxLeft, map.top + rnd(-30, 30), boxLeft + 32 * rnd(1, 3), 0};
    box.bottom = box.top + rnd(1, 40);
    const POINT centre{rnd(box.left - 10, box.right + 10), rnd(box.top - 10, box.bottom + 10)};
    const int radius = rnd(-2, 30);

    // Merge.
    Bits gotMap = randomBits(map), gotBox = randomBits(box);
    Bits wantMap = gotMap, wantBox = gotBox;
    const BOOL merged =
        flood->MergeBitboxToBitmap(gotMap.words.data(), &map, gotBox.words.data(), &box, &centre, radius);
    const int ox0 = std::max(map.left, box.left), ox1 = std::min(map.right, box.right);
    const int oy0 = std::max(map.top, box.top), oy1 = std::min(map.bottom, box.bottom);
    const bool overlap = ox0 < ox1 && oy0 < oy1;
    EXPECT_EQ(merged, overlap);
    if (overlap) {
      if (radius > 0) ModelDisc(wantBox, centre, radius);
      for (int y = oy0; y < oy1; ++y)
        for (int x = ox0; x < ox1; ++x)
          if (wantBox.Get(x, y)) wantMap.Set(x, y);
    }
    EXPECT_EQ(gotBox.words, wantBox.words);
    EXPECT_EQ(gotMap.words, wantMap.words);

    // Copy: the overlap comes from the bitmap, every other bit-box bit is cleared.
    Bits srcMap = randomBits(map), copyBox = randomBits(box);
    Bits wantCopy = copyBox;
    EXPECT_EQ(flood->CopyBitmapToBitbox(copyBox.words.data(), &box, srcMap.words.data(), &map), overlap);
    if (overlap)
      for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
          wantCopy.Set(x, y, x >= ox0 && x < ox1 && y >= oy0 && y < oy1 && srcMap.Get(x, y));
    EXPECT_EQ(copyBox.words, wantCopy.words);
  }
}

TEST_F(XFloodTest, MergeAndCopyRefuseMisalignedMaps) {
  struct Case {
    RECT map, box;
    const char16_t* condition;
  } cases[] = {
      {{0, 0, 64, 4}, {16, 0, 80, 4}, u"!(cx.l1&31)==0"},   {{16, 0, 80, 4}, {0, 0, 64, 4}, u"!(cx.l2&31)==0"},
      {{0, 0, 48, 4}, {0, 0, 64, 4}, u"!(cx.l &31)==0"},    {{0, 0, 80, 4}, {0, 0, 64, 4}, u"!(nMapSpan&31)==0"},
      {{0, 0, 64, 4}, {0, 0, 80, 4}, u"!(nBoxSpan&31)==0"},
  };
  std::vector<DWORD> map(64, 0), box(64, 0);
  const POINT centre{0, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.condition));
    try {
      flood->MergeBitboxToBitmap(map.data(), &c.map, box.data(), &c.box, &centre, 0);
      ADD_FAILURE() << "no error";
    } catch (GErrRecord* e) {
      EXPECT_NE(std::u16string(e->GetPiece(0)->GetText()).find(u"::MergeBitboxToBitmap()"), std::u16string::npos);
      EXPECT_EQ(Condition(e), c.condition);
    }
    try {
      flood->CopyBitmapToBitbox(box.data(), &c.box, map.data(), &c.map);
      ADD_FAILURE() << "no error";
    } catch (GErrRecord* e) {
      EXPECT_NE(std::u16string(e->GetPiece(0)->GetText()).find(u"::CopyBitmapToBitbox()"), std::u16string::npos);
      EXPECT_EQ(Condition(e), c.condition);
    }
  }
  // Without an overlap nothing is checked.
  const RECT a{0, 0, 48, 4}, b{48, 0, 80, 4};
  EXPECT_FALSE(flood->MergeBitboxToBitmap(map.data(), &a, box.data(), &b, &centre, 0));
  EXPECT_FALSE(flood->CopyBitmapToBitbox(box.data(), &b, map.data(), &a));
}

TEST_F(XFloodTest, InterfaceAndLifetime) {
  EXPECT_EQ(flood->GetInterface(u"OFlood"), static_cast<void*>(flood.get()));
  EXPECT_EQ(flood->GetInterface(u"GSystem"), static_cast<void*>(static_cast<GSystem*>(&sys)));
  EXPECT_EQ(flood->GetInterface(u"OLayer"), nullptr);
  EXPECT_EQ(sys.Entry(u"XFlood")->Refs(), 1);
  flood.Release();
  EXPECT_EQ(sys.Entry(u"XFlood")->Refs(), 0);
}

// The SSE2 colour tests give the scalar bits for every count and the edge tolerances.
TEST(FloodKernel, Sse2MatchesScalar) {
  std::mt19937 rng(3);
  std::vector<BYTE> a(33 * 4), b(33 * 4);
  const uint32_t tols[] = {0, 1, 2, 127, 128, 255, 256, 511, 512, 513, 1020, 1021, 1022, 0x1FFFF, 0x2000000, ~0u};
  for (int iter = 0; iter < 4000; ++iter) {
    // Bytes near each other, so distances land on every side of the tolerances.
    const BYTE base = BYTE(rng());
    for (size_t i = 0; i < a.size(); ++i) {
      a[i] = BYTE(rng() % 4 ? base + rng() % 5 : rng());
      b[i] = BYTE(rng() % 4 ? base + rng() % 5 : rng());
    }
    for (int n = 1; n <= 32; n += 1 + iter % 3) {
      const uint32_t c32 = rng() % 3 ? uint32_t(rng() % 24) : tols[rng() % 16];
      const uint32_t a16 = rng() % 3 ? uint32_t(rng() % 4) : tols[rng() % 16];
      ASSERT_EQ(flood::PassC32Sse2(a.data(), b.data(), n, c32), flood::PassC32Scalar(a.data(), b.data(), n, c32));
      ASSERT_EQ(flood::PassA16Sse2(a.data(), b.data(), n, a16), flood::PassA16Scalar(a.data(), b.data(), n, a16));
    }
    // One pixel against four.
    uint32_t from, to[4];
    std::memcpy(&from, a.data(), 4);
    std::memcpy(to, b.data(), 16);
    const uint32_t tol = rng() % 3 ? uint32_t(rng() % 24) : tols[rng() % 16];
    uint32_t want = 0;
    for (int k = 0; k < 4; ++k) want |= uint32_t(flood::PassC32(from, to[k], tol)) << k;
    ASSERT_EQ(flood::PassC32FourSse2(from, to[0], to[1], to[2], to[3], tol), want);
  }
  // Mask edge values: differences of exactly tolerance * 128 and one more, at the ends.
  for (uint32_t tol : {0u, 1u, 2u, 511u, 512u, 513u, 0x1FFFFu, 0x2000000u, ~0u}) {
    for (uint32_t hi : {0u, 1u, 128u, 129u, 65535u, 65534u, 32768u}) {
      for (int64_t diff : {int64_t(-1), int64_t(0), int64_t(tol) * 128, int64_t(tol) * 128 + 1}) {
        const int64_t lo = int64_t(hi) - diff;
        if (lo < 0 || lo > 0xFFFF) continue;
        std::vector<uint16_t> from(32, uint16_t(hi)), to(32, uint16_t(lo));
        const auto* f = reinterpret_cast<const BYTE*>(from.data());
        const auto* t = reinterpret_cast<const BYTE*>(to.data());
        EXPECT_EQ(flood::PassA16Sse2(f, t, 32, tol), flood::PassA16Scalar(f, t, 32, tol));
        EXPECT_EQ(flood::PassA16Scalar(f, t, 32, tol), flood::PassA16(uint16_t(hi), uint16_t(lo), tol) ? ~0u : 0u);
      }
    }
  }
}

}  // namespace

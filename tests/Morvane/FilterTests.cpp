#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BlurKernels.h"
#include "HueKernels.h"
#include "MorvaneFilterBlur.h"
#include "MorvaneFilterBright.h"
#include "MorvaneFilterHue.h"
#include "MorvaneFixture.h"
#include "XWorker.h"

namespace {

uint32_t Rgba(int r, int g, int b, int a) {
  return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

class FilterTest : public LayerTest {
 protected:
  FilterTest() {
    sys.Register(u"MorvaneFilterBlur", GCreateComponent<MorvaneFilterBlur>);
    sys.Register(u"MorvaneFilterBright", GCreateComponent<MorvaneFilterBright>);
    sys.Register(u"MorvaneFilterHue", GCreateComponent<MorvaneFilterHue>);
    sys.Register(u"XWorker", GCreateComponent<XWorker>);
  }

  GCompRef<OLayerFilter> NewFilter(const char16_t* name) {
    return static_cast<OLayerFilter*>(sys.NewObj(name, nullptr)->GetInterface(u"OLayerFilter"));
  }
  GCompRef<OLayerFilter> NewFilter(const char16_t* name, int first, int second) {
    GCompRef<OLayerFilter> f = NewFilter(name);
    auto* props = static_cast<OProperty*>(f->GetInterface(u"OProperty"));
    props->SetValue(0, first);
    props->SetValue(1, second);
    return f;
  }

  // A layer holding the given visible pixels, with a backup of them (an open transaction).
  template <class T>
  GCompRef<OLayer> LayerWith(int w, int h, const std::vector<T>& pixels) {
    GCompRef<OLayer> l = NewLayer(w, h, int(sizeof(T)));
    Put(l, pixels);
    l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
    return l;
  }
  template <class T>
  static void Put(OLayer* l, const std::vector<T>& pixels) {
    LayerLock lock;
    lock.Lock(l, 0);
    for (int y = 0; y < lock.nHeight; ++y)
      std::memcpy(lock.Row(y), pixels.data() + size_t(y) * lock.nWidth, size_t(lock.nWidth) * sizeof(T));
  }
  template <class T>
  static std::vector<T> Get(OLayer* l) {
    LayerLock lock;
    lock.Lock(l, 0);
    std::vector<T> out(size_t(lock.nWidth) * lock.nHeight);
    for (int y = 0; y < lock.nHeight; ++y)
      std::memcpy(out.data() + size_t(y) * lock.nWidth, lock.Row(y), size_t(lock.nWidth) * sizeof(T));
    return out;
  }
};

std::vector<uint32_t> RandomColour(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> v(n);
  for (auto& p : v) {
    p = rng();
    if (rng() % 4 == 0) p &= 0x00FFFFFF;  // transparent pixels keep a colour the blur must ignore
    if (rng() % 4 == 0) p |= 0xFF000000;
  }
  return v;
}

std::vector<uint16_t> RandomMask(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> v(n);
  for (auto& p : v) p = uint16_t(rng() % 3 == 0 ? 0 : rng());
  return v;
}

// The blur as defined, summing every window afresh.
uint32_t WindowPixel(const int64_t s[4], int64_t window) {
  if (s[3] == 0) return 0;
  const int64_t a = s[3];
  return uint32_t((a + s[0] - 1) / a) | uint32_t((a + s[1] - 1) / a) << 8 | uint32_t((a + s[2] - 1) / a) << 16 |
         uint32_t(a / window) << 24;
}

void AddWeighted(int64_t s[4], uint32_t p) {
  const int64_t a = p >> 24;
  s[0] += (p & 255) * a, s[1] += ((p >> 8) & 255) * a, s[2] += ((p >> 16) & 255) * a, s[3] += a;
}

std::vector<uint32_t> DefinedBlurC32(const std::vector<uint32_t>& src, int w, int h, int cx, int cy) {
  std::vector<uint32_t> mid(src.size()), out(src.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int64_t s[4] = {};
      for (int r = std::max(0, y - cy + 1); r <= std::min(h - 1, y + cy - 1); ++r)
        AddWeighted(s, src[size_t(r) * w + x]);
      mid[size_t(y) * w + x] = WindowPixel(s, 2 * cy - 1);
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int64_t s[4] = {};
      for (int c = std::max(0, x - cx + 1); c <= std::min(w - 1, x + cx - 1); ++c)
        AddWeighted(s, mid[size_t(y) * w + c]);
      out[size_t(y) * w + x] = WindowPixel(s, 2 * cx - 1);
    }
  return out;
}

std::vector<uint16_t> DefinedBlurA16(const std::vector<uint16_t>& src, int w, int h, int cx, int cy) {
  std::vector<int> mid(src.size());
  std::vector<uint16_t> out(src.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int s = 0;
      for (int r = std::max(0, y - cy + 1); r <= std::min(h - 1, y + cy - 1); ++r) s += src[size_t(r) * w + x] >> 8;
      mid[size_t(y) * w + x] = s / (2 * cy - 1);
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int s = 0;
      for (int c = std::max(0, x - cx + 1); c <= std::min(w - 1, x + cx - 1); ++c) s += mid[size_t(y) * w + c];
      out[size_t(y) * w + x] = uint16_t((s / (2 * cx - 1)) << 8);
    }
  return out;
}

// ---------------------------------------------------------------------------------------
// The component and its property set

struct ExpectedItem {
  const char16_t* key;
  int32_t value, minimum, maximum;
  const char16_t* label;
  const char16_t* help;
};

TEST_F(FilterTest, EachFilterPublishesItsTwoItems) {
  struct Case {
    const char16_t* name;
    ExpectedItem items[2];
  };
  const Case cases[] = {
      {u"MorvaneFilterBlur",
       {{u"WIDTH", 4, 1, 100, u"横向", u"横向：水平模糊力度"}, {u"HEIGHT", 4, 1, 100, u"纵向", u"纵向：垂直模糊力度"}}},
      {u"MorvaneFilterBright",
       {{u"BRIGHT", 0, -100, 100, u"亮度", u"亮度调节"}, {u"CONTRAST", 0, -100, 100, u"对比度", u"对比度调节"}}},
      {u"MorvaneFilterHue",
       {{u"BRIGHT", 0, -100, 100, u"色调", u"色调"}, {u"SATURATE", 0, -100, 100, u"饱和度", u"饱和度，鲜艳度"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.name));
    {
      GCompRef<OLayerFilter> f = NewFilter(c.name);
      auto* props = static_cast<OProperty*>(f->GetInterface(u"OProperty"));
      ASSERT_NE(props, nullptr);
      EXPECT_EQ(props->GetCount(), 2u);
      for (UINT i = 0; i < 2; ++i) {
        const PropertyItem* item = props->GetItem(i);
        const ExpectedItem& e = c.items[i];
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(std::u16string(item->key), e.key);
        EXPECT_EQ(item->type, PROP_TYPE_RANGE);
        EXPECT_EQ(item->level, 0);
        EXPECT_EQ(item->flags, 0);
        EXPECT_EQ(item->value, e.value);
        EXPECT_EQ(item->minimum, e.minimum);
        EXPECT_EQ(item->maximum, e.maximum);
        EXPECT_EQ(std::u16string(item->label), e.label);
        EXPECT_EQ(item->choices, nullptr);
        EXPECT_EQ(std::u16string(item->help), e.help);
        UINT at = 0;
        EXPECT_EQ(props->FindByName(&at, e.key), item);
        EXPECT_EQ(at, i);
        // Values are held to the bounds.
        EXPECT_EQ(props->SetValue(i, e.minimum - 1)->value, e.minimum);
        EXPECT_EQ(props->SetValue(i, e.maximum + 50)->value, e.maximum);
      }
      UINT at = 0;
      EXPECT_EQ(props->FindByName(&at, u"ALPHA"), nullptr);
      EXPECT_EQ(at, 2u);
      EXPECT_EQ(props->GetItem(2), nullptr);
      EXPECT_EQ(props->SetValue(2, 5), nullptr);

      // The shared names, and the property set counting for the filter.
      EXPECT_EQ(f->GetInterface(u"GSystem"), static_cast<GSystem*>(&sys));
      auto* being = static_cast<XBeing*>(f->GetInterface(u"m_xBeing"));
      ASSERT_NE(being, nullptr);
      EXPECT_EQ(f->GetInterface(u"OLayer"), nullptr);
      EXPECT_EQ(props->GetInterface(u"OLayerFilter"), f.get());
      EXPECT_EQ(props->AddRef(), 2);
      EXPECT_EQ(being->m_count, 2);
      props->Release();
      EXPECT_EQ(sys.Entry(c.name)->Refs(), 1);
    }
    EXPECT_EQ(sys.Entry(c.name)->Refs(), 0);  // the last release freed the filter
  }
}

TEST_F(FilterTest, FailedChecksThrowWithTheFilterInTheTrail) {
  GCompRef<OLayerFilter> blur = NewFilter(u"MorvaneFilterBlur");
  GCompRef<OLayerFilter> bright = NewFilter(u"MorvaneFilterBright");
  GCompRef<OLayerFilter> hue = NewFilter(u"MorvaneFilterHue");

  // No transaction with a backup.
  GCompRef<OLayer> plain = NewLayer(64, 64, OLayer::myFORMAT_C32);
  try {
    blur->Filter(plain, 0, nullptr);
    ADD_FAILURE() << "no error";
  } catch (GErrRecord* e) {
    e->AddRef();
    EXPECT_EQ(std::u16string(e->GetCondition()), u"!lk.pBackup");
    std::u16string text(0x4000, u'\0');
    text.resize(e->CopyText(text.data(), 0x4000));
    EXPECT_NE(text.find(u"MorvaneFilterBlur ::____Filter()"), std::u16string::npos) << U8(text);
    e->Release();
  }
  // The lock was let go on the way out.
  LayerLock lock;
  EXPECT_TRUE(lock.Lock(plain, 0));
  lock.Unlock();

  // The colour filters refuse a mask layer; the blur needs four pixels each way.
  GCompRef<OLayer> mask = LayerWith<uint16_t>(64, 64, std::vector<uint16_t>(64 * 64));
  for (OLayerFilter* f : {bright.get(), hue.get()})
    EXPECT_EQ(ThrownCondition([&] { f->Filter(mask, 0, nullptr); }), u"!poLayer->GetFormat()==OLayer::myFORMAT_C32");
  for (auto [w, h] : {std::pair{3, 64}, std::pair{64, 3}}) {
    GCompRef<OLayer> small = LayerWith<uint32_t>(w, h, std::vector<uint32_t>(size_t(w) * h));
    EXPECT_EQ(ThrownCondition([&] { blur->Filter(small, 0, nullptr); }), u"!x>0 && y>0") << w << "x" << h;
  }
}

// ---------------------------------------------------------------------------------------
// Blur

TEST(BlurKernels, Sse2MatchesScalarBitForBit) {
  std::mt19937 rng(11);
  for (size_t n : {1, 2, 3, 5, 8, 37, 200}) {
    for (uint32_t radius : {1u, 2u, 3u, 7u, 40u, 150u}) {
      const uint32_t window = 2 * radius - 1;
      std::vector<uint32_t> add = RandomColour(n, rng()), sub = RandomColour(n, rng());
      // Column sums of a window before its new row comes in: up to window - 2 rows, then the
      // row about to leave. A window of one row is that row alone, entering and leaving.
      if (window == 1) sub = add;
      std::vector<int32_t> sums(4 * n, 0);
      for (size_t x = 0; x < n && window > 1; ++x) {
        const int32_t a = int32_t(rng() % (255 * (window - 2) + 1));
        const int32_t sa = int32_t(sub[x] >> 24);
        sums[4 * x + 3] = a + sa;
        for (int c = 0; c < 3; ++c)
          sums[4 * x + c] = int32_t(uint64_t(rng() % 256) * a / 255) + int32_t((sub[x] >> (8 * c)) & 255) * sa;
      }
      if (n > 2) {  // a transparent window, its rows with colour but no alpha
        sums[0] = sums[1] = sums[2] = sums[3] = 0;
        add[0] &= 0x00FFFFFF;
        sub[0] &= 0x00FFFFFF;
      }
      std::vector<int32_t> s1 = sums, s2 = sums, w1(4 * n), w2(4 * n);
      blur::VerticalC32Scalar(s1.data(), add.data(), sub.data(), w1.data(), n, window);
      blur::VerticalC32Sse2(s2.data(), add.data(), sub.data(), w2.data(), n, window);
      ASSERT_EQ(s1, s2) << n << " " << radius;
      ASSERT_EQ(w1, w2) << n << " " << radius;
      std::vector<uint32_t> d1(n), d2(n);
      blur::HorizontalC32Scalar(d1.data(), w1.data(), n, radius);
      blur::HorizontalC32Sse2(d2.data(), w1.data(), n, radius);
      ASSERT_EQ(d1, d2) << n << " " << radius;

      std::vector<uint16_t> madd = RandomMask(n, rng()), msub = RandomMask(n, rng());
      std::vector<int32_t> m1(n), v1(n), v2(n);
      if (window == 1) msub = madd;
      for (size_t x = 0; x < n && window > 1; ++x) m1[x] = int32_t(rng() % (255 * (window - 2) + 1)) + (msub[x] >> 8);
      std::vector<int32_t> m2 = m1;
      blur::VerticalA16Scalar(m1.data(), madd.data(), msub.data(), v1.data(), n, window);
      blur::VerticalA16Sse2(m2.data(), madd.data(), msub.data(), v2.data(), n, window);
      ASSERT_EQ(m1, m2);
      ASSERT_EQ(v1, v2);
      for (auto& v : v1) v = int32_t(rng() % 256);
      std::vector<uint16_t> e1(n), e2(n);
      blur::HorizontalA16Scalar(e1.data(), v1.data(), n, radius);
      blur::HorizontalA16Sse2(e2.data(), v1.data(), n, radius);
      ASSERT_EQ(e1, e2);
    }
  }
  // Whole quotients, and one short of them, for many windows and alpha sums: a reciprocal
  // that rounds low must not cost a level.
  for (uint32_t window = 1; window <= 8191; window += 90) {
    std::vector<int32_t> sums, masks;
    for (int32_t k = 1; k <= 255; ++k) {
      const int32_t a = k * int32_t(window);  // alpha a / window = k exactly
      const int32_t q = 1 + (k * 37) % 255;
      sums.insert(sums.end(), {q * a - a + 1, q * a - a, std::max(0, (q - 1) * a - a + 2), a});
      masks.insert(masks.end(), {a, a - 1});
    }
    const size_t n = sums.size() / 4;
    std::vector<int32_t> s1 = sums, s2 = sums, w1(sums.size()), w2(sums.size());
    blur::VerticalC32Scalar(s1.data(), nullptr, nullptr, w1.data(), n, window);
    blur::VerticalC32Sse2(s2.data(), nullptr, nullptr, w2.data(), n, window);
    ASSERT_EQ(w1, w2) << window;
    std::vector<int32_t> m1 = masks, m2 = masks, v1(masks.size()), v2(masks.size());
    blur::VerticalA16Scalar(m1.data(), nullptr, nullptr, v1.data(), masks.size(), window);
    blur::VerticalA16Sse2(m2.data(), nullptr, nullptr, v2.data(), masks.size(), window);
    ASSERT_EQ(v1, v2) << window;
  }
  // The largest window a side of 16384 allows, fully opaque white, and sums one below a
  // whole quotient: the doubles must neither round up nor fall short.
  const uint32_t window = 8191;
  const int32_t a = 255 * int32_t(window);
  const int32_t b = a - 1;
  std::vector<int32_t> sums = {255 * a, 255 * a,   255 * a, a, 255 * b - 1, 254 * b + 1, 7, b,
                               a * 3,   a * 3 - 1, 1,       a, 1,           1,           1, 1};
  std::vector<int32_t> w1(16), w2(16), s1 = sums, s2 = sums;
  blur::VerticalC32Scalar(s1.data(), nullptr, nullptr, w1.data(), 4, window);
  blur::VerticalC32Sse2(s2.data(), nullptr, nullptr, w2.data(), 4, window);
  EXPECT_EQ(w1, w2);
  EXPECT_EQ(blur::PixelOf(sums.data(), window), 0xFFFFFFFFu);
  std::vector<int32_t> masks = {a, a - 1, int32_t(window) * 7, int32_t(window) * 7 - 1, 0, 1, 2, 3}, v1(8), v2(8);
  std::vector<int32_t> m2 = masks;
  blur::VerticalA16Scalar(masks.data(), nullptr, nullptr, v1.data(), 8, window);
  blur::VerticalA16Sse2(m2.data(), nullptr, nullptr, v2.data(), 8, window);
  EXPECT_EQ(v1, v2);
  EXPECT_EQ(v1[0], 255);
  EXPECT_EQ(v1[1], 254);
  EXPECT_EQ(v1[3], 6);
}

TEST(BlurRadius, GrowsWithTheSquareOfTheValueAndStopsAtAQuarter) {
  struct Case {
    int value, side, radius;
  } cases[] = {
      {4, 400, 4},                       // 4 x 100 x 4 / 10000 = 0, raised to the value
      {50, 4000, 250},                   // 50 x 1000 x 50 / 10000
      {100, 10000, 2500}, {100, 20, 5},  // lowered to a quarter of the side
      {1, 4, 1},          {1, 3, 0},     // too small to blur
      {30, 403, 30},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MorvaneFilterBlur::Radius(c.value, c.side), c.radius) << c.value << " " << c.side;
}

TEST_F(FilterTest, BlurMatchesItsDefinitionOnBothFormats) {
  GCompRef<OLayerFilter> blur = NewFilter(u"MorvaneFilterBlur");
  auto* props = static_cast<OProperty*>(blur->GetInterface(u"OProperty"));
  struct Case {
    int w, h, width, height;
  } cases[] = {{37, 23, 4, 4}, {70, 66, 2, 5}, {64, 130, 100, 7}, {9, 40, 1, 30}, {101, 4, 60, 1}};
  uint32_t seed = 5;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " WIDTH " << c.width << " HEIGHT " << c.height);
    props->SetValue(0, c.width);
    props->SetValue(1, c.height);
    const int cx = MorvaneFilterBlur::Radius(c.width, c.w), cy = MorvaneFilterBlur::Radius(c.height, c.h);
    const size_t n = size_t(c.w) * c.h;

    std::vector<uint32_t> colour = RandomColour(n, ++seed);
    GCompRef<OLayer> cl = LayerWith(c.w, c.h, colour);
    Put(cl, std::vector<uint32_t>(n, 0x12345678));  // the blur reads the backup, not the pixels
    EXPECT_EQ(blur->Filter(cl, 0, nullptr), 1);
    EXPECT_EQ(Get<uint32_t>(cl), DefinedBlurC32(colour, c.w, c.h, cx, cy));

    std::vector<uint16_t> mask = RandomMask(n, ++seed);
    GCompRef<OLayer> ml = LayerWith(c.w, c.h, mask);
    EXPECT_EQ(blur->Filter(ml, 0, nullptr), 1);
    EXPECT_EQ(Get<uint16_t>(ml), DefinedBlurA16(mask, c.w, c.h, cx, cy));
  }
}

TEST_F(FilterTest, BlurOfOnePixelWindowKeepsThePixels) {
  GCompRef<OLayerFilter> blur = NewFilter(u"MorvaneFilterBlur", 1, 1);
  const int w = 50, h = 20;
  // A mask (coverage in the high byte, as a cleaned-up mask holds it) is unchanged; stray
  // low bytes are dropped, since the blur works on the high bytes.
  std::vector<uint16_t> mask = RandomMask(size_t(w) * h, 1);
  std::vector<uint16_t> clean = mask;
  for (auto& v : clean) v &= 0xFF00;
  GCompRef<OLayer> cm = LayerWith(w, h, clean);
  EXPECT_EQ(blur->Filter(cm, 0, nullptr), 1);
  EXPECT_EQ(Get<uint16_t>(cm), clean);
  GCompRef<OLayer> rm = LayerWith(w, h, mask);
  EXPECT_EQ(blur->Filter(rm, 0, nullptr), 1);
  EXPECT_EQ(Get<uint16_t>(rm), clean);

  // Colour: every pixel with alpha keeps colour and alpha; a transparent one becomes 0.
  std::vector<uint32_t> colour = RandomColour(size_t(w) * h, 2);
  GCompRef<OLayer> cl = LayerWith(w, h, colour);
  EXPECT_EQ(blur->Filter(cl, 0, nullptr), 1);
  std::vector<uint32_t> expected = colour;
  for (auto& p : expected)
    if ((p >> 24) == 0) p = 0;
  EXPECT_EQ(Get<uint32_t>(cl), expected);
}

TEST_F(FilterTest, OpaqueCornerPixelFadesAtTheBorder) {
  // cx = 3, cy = 5: windows of 5 columns and 9 rows, of which the corner pixel fills one.
  GCompRef<OLayerFilter> blur = NewFilter(u"MorvaneFilterBlur", 3, 5);
  const int w = 40, h = 80;
  std::vector<uint32_t> colour(size_t(w) * h, 0);
  colour[0] = Rgba(200, 100, 7, 255);
  GCompRef<OLayer> cl = LayerWith(w, h, colour);
  ASSERT_EQ(blur->Filter(cl, 0, nullptr), 1);
  std::vector<uint16_t> mask(size_t(w) * h, 0);
  mask[0] = 0xFF00;
  GCompRef<OLayer> ml = LayerWith(w, h, mask);
  ASSERT_EQ(blur->Filter(ml, 0, nullptr), 1);

  const std::vector<uint32_t> c = Get<uint32_t>(cl);
  const std::vector<uint16_t> m = Get<uint16_t>(ml);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool reached = x < 3 && y < 5;
      // alpha 255 / 9 = 28 after the rows, 28 / 5 = 5 after the columns; colour kept.
      EXPECT_EQ(c[size_t(y) * w + x], reached ? Rgba(200, 100, 7, 5) : 0u) << x << "," << y;
      EXPECT_EQ(m[size_t(y) * w + x], reached ? 0x0500 : 0) << x << "," << y;
    }
}

TEST_F(FilterTest, BlurRadiusIsClampedToAQuarterOfTheSide) {
  // One opaque column spreads cx - 1 columns either way. Its alpha may truncate to 0 in a
  // wide window, but the colour bytes show where it reached.
  struct Case {
    int w, width, spread;
  } cases[] = {{20, 100, 4}, {4000, 50, 249}};
  for (const Case& c : cases) {
    GCompRef<OLayerFilter> blur = NewFilter(u"MorvaneFilterBlur", c.width, 1);
    std::vector<uint32_t> colour(size_t(c.w) * 4, 0);
    const int mid = c.w / 2;
    for (int y = 0; y < 4; ++y) colour[size_t(y) * c.w + mid] = Rgba(10, 20, 30, 255);
    GCompRef<OLayer> l = LayerWith(c.w, 4, colour);
    ASSERT_EQ(blur->Filter(l, 0, nullptr), 1);
    const std::vector<uint32_t> out = Get<uint32_t>(l);
    int first = c.w, last = -1;
    for (int x = 0; x < c.w; ++x)
      if (out[size_t(x)]) {
        first = std::min(first, x), last = std::max(last, x);
        EXPECT_EQ(out[size_t(x)], Rgba(10, 20, 30, 255 / (2 * c.spread + 1))) << x;
      }
    EXPECT_EQ(first, mid - c.spread) << c.w;
    EXPECT_EQ(last, mid + c.spread) << c.w;
  }
}

// ---------------------------------------------------------------------------------------
// The job form, progress and abort

TEST_F(FilterTest, JobFormRunsOnTheWorkerAndAnAbortBeforeRowZeroWritesNothing) {
  GCompRef<OWorker> worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  GCompRef<OLayerFilter> blur = NewFilter(u"MorvaneFilterBlur", 6, 3);
  const int w = 90, h = 70;
  std::vector<uint32_t> colour = RandomColour(size_t(w) * h, 9);
  GCompRef<OLayer> l = LayerWith(w, h, colour);
  const std::vector<uint32_t> marker(size_t(w) * h, 0xA5A5A5A5);
  Put(l, marker);

  GCompRef<OData> args = GNewData(64);
  JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};
  EXPECT_EQ(blur->Filter(l, 0xC0FFEE, &job), 1);
  EXPECT_EQ(job.object, static_cast<LayerFilterBase*>(static_cast<MorvaneFilterBlur*>(blur.get())));
  EXPECT_NE(job.proc, nullptr);
  EXPECT_EQ(job.kind, 6);
  EXPECT_EQ(job.result, 0);
  EXPECT_EQ(std::u16string(job.name), u"unknown");
  OLayer* written = nullptr;
  uint32_t argument = 0;
  std::memcpy(&written, args->GetBuffer(), sizeof written);
  std::memcpy(&argument, args->GetBuffer() + sizeof written, 4);
  EXPECT_EQ(written, l.get());
  EXPECT_EQ(argument, 0xC0FFEEu);

  JobControl aborted;
  aborted.flags = JOB_ABORT;
  ASSERT_EQ(worker->Launch(&job, &aborted), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(job.result, 0);
  EXPECT_EQ(aborted.progress, 0);
  EXPECT_EQ(aborted.total, h);
  EXPECT_EQ(Get<uint32_t>(l), marker);

  blur->Filter(l, 0, &job);
  JobControl control;
  ASSERT_EQ(worker->Launch(&job, &control), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(job.result, 1);
  EXPECT_EQ(control.flags, 0u);
  EXPECT_EQ(control.total, h);
  EXPECT_EQ(control.progress, h);
  EXPECT_EQ(Get<uint32_t>(l), DefinedBlurC32(colour, w, h, 6, 3));
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

TEST_F(FilterTest, AbortMidRunKeepsTheRowsWrittenSoFar) {
  GCompRef<OWorker> worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  // Tall enough that even the fastest filter runs for several milliseconds, so that the abort
  // can land mid-run also on a loaded machine with two cores.
  const int w = 1024, h = 4096;
  const std::vector<uint32_t> colour = RandomColour(size_t(w) * h, 4);
  const std::vector<uint32_t> marker(size_t(w) * h, 0x5A5A5A5A);
  for (const char16_t* name : {u"MorvaneFilterBlur", u"MorvaneFilterHue", u"MorvaneFilterBright"}) {
    SCOPED_TRACE(U8(name));
    GCompRef<OLayerFilter> f = NewFilter(name, 20, 30);
    GCompRef<OLayer> l = LayerWith(w, h, colour);
    ASSERT_EQ(f->Filter(l, 0, nullptr), 1);
    const std::vector<uint32_t> full = Get<uint32_t>(l);

    // The abort lands while rows are being written; a run that finished first is tried again.
    bool stoppedMidway = false;
    for (int attempt = 0; attempt < 200 && !stoppedMidway; ++attempt) {
      Put(l, marker);
      GCompRef<OData> args = GNewData(64);
      JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};
      f->Filter(l, 0, &job);
      JobControl control;
      ASSERT_EQ(worker->Launch(&job, &control), 1);
      while (!worker->IsReady() && control.progress < 2) {
      }
      control.flags |= JOB_ABORT;
      worker->Wait(FALSE);
      if (job.result != 0) continue;
      const int stop = control.progress;
      ASSERT_GT(stop, 0);
      ASSERT_LT(stop, h);
      stoppedMidway = true;
      const std::vector<uint32_t> now = Get<uint32_t>(l);
      const size_t split = size_t(stop) * w;
      EXPECT_TRUE(std::equal(now.begin(), now.begin() + split, full.begin())) << "rows before " << stop;
      EXPECT_TRUE(std::equal(now.begin() + split, now.end(), marker.begin())) << "rows from " << stop;
    }
    EXPECT_TRUE(stoppedMidway);
  }
}

// ---------------------------------------------------------------------------------------
// Brightness and contrast

// Entries worked by hand from (j - 128) x (contrast + 100) x 0.01 + bright x 255 x 0.01 +
// 128.5, truncated and clamped; the last four are whole numbers in decimals that double
// precision lands just below (39.99999999999997 and the like), so they truncate to the one below.
TEST(BrightTable, EntriesFollowTheFloatingPointFormula) {
  struct Case {
    int bright, contrast, j, expect;
  } cases[] = {
      {0, 0, 0, 0},        {0, 0, 255, 255},     {1, 0, 0, 3},         {-1, 0, 255, 252},
      {100, 0, 128, 255},  {-100, 0, 127, 0},    {0, -100, 0, 128},    {0, -100, 255, 128},
      {0, 100, 1, 0},      {0, 100, 254, 255},   {37, -63, 127, 222},  {50, -50, 1, 192},
      {13, 7, 128, 161},   {-94, 20, 254, 39},   {-84, -5, 254, 33},   {-79, -15, 255, 34},
      {-74, -40, 255, 15},
  };
  BYTE table[256];
  for (const Case& c : cases) {
    MorvaneFilterBright::BuildTable(c.bright, c.contrast, table);
    EXPECT_EQ(table[c.j], c.expect) << c.bright << " " << c.contrast << " " << c.j;
  }
  MorvaneFilterBright::BuildTable(0, 0, table);
  for (int j = 0; j < 256; ++j) EXPECT_EQ(table[j], j);
}

TEST_F(FilterTest, BrightMapsEachColourByteThroughTheTableAndKeepsAlpha) {
  const int w = 256, h = 4;
  std::vector<uint32_t> src(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int j = 0; j < w; ++j) src[size_t(y) * w + j] = Rgba((j * 97 + y) & 255, 255 - j, j, (j * 13 + y * 64) & 255);
  GCompRef<OLayer> l = LayerWith(w, h, src);
  GCompRef<OLayerFilter> f = NewFilter(u"MorvaneFilterBright");
  auto* props = static_cast<OProperty*>(f->GetInterface(u"OProperty"));
  for (int bright : {-100, -37, -1, 0, 1, 64, 100})
    for (int contrast : {-100, -50, -1, 0, 3, 100}) {
      props->SetValue(0, bright);
      props->SetValue(1, contrast);
      ASSERT_EQ(f->Filter(l, 0, nullptr), 1);
      BYTE table[256];
      MorvaneFilterBright::BuildTable(bright, contrast, table);
      auto t = [&](uint32_t c) { return uint32_t(table[c]); };
      std::vector<uint32_t> expected(src.size());
      for (size_t i = 0; i < src.size(); ++i) {
        const uint32_t p = src[i];
        expected[i] = (p & 0xFF000000u) | t((p >> 16) & 255) << 16 | t((p >> 8) & 255) << 8 | t(p & 255);
      }
      ASSERT_EQ(Get<uint32_t>(l), expected) << bright << " " << contrast;
    }
}

// ---------------------------------------------------------------------------------------
// Hue and saturation

TEST_F(FilterTest, HueRingIsBuiltAtCreationAsAClosedLoop) {
  GCompRef<OLayerFilter> f = NewFilter(u"MorvaneFilterHue");
  const hue::RingEntry* ring = static_cast<MorvaneFilterHue*>(f.get())->Ring();
  auto same = [](const hue::RingEntry& e, int r, int g, int b) { return e.r == r && e.g == g && e.b == b; };
  EXPECT_TRUE(same(ring[0], -128, -128, 127));     // blue
  EXPECT_TRUE(same(ring[255], 127, -128, 127));    // magenta
  EXPECT_TRUE(same(ring[512], 127, -128, -128));   // red
  EXPECT_TRUE(same(ring[1024], -128, 127, -128));  // green
  EXPECT_TRUE(same(ring[1534], -128, -127, 127));
  EXPECT_TRUE(same(ring[1535], -128, -128, 127));  // the last run ends where the first begins
  for (int k = 0; k < hue::kRingSize; ++k) {
    const hue::RingEntry& e = ring[k];
    const hue::RingEntry& next = ring[(k + 1) % hue::kRingSize];
    const int lo = std::min({e.r, e.g, e.b}), hi = std::max({e.r, e.g, e.b});
    ASSERT_EQ(lo, -128) << k;
    ASSERT_EQ(hi, 127) << k;
    // Neighbours differ by one step in one channel, except where a run turns (no step).
    const int steps = std::abs(e.r - next.r) + std::abs(e.g - next.g) + std::abs(e.b - next.b);
    ASSERT_EQ(steps, (k % 256 == 255) ? 0 : 1) << k;
  }
}

TEST(HueKernels, Sse2MatchesScalarBitForBit) {
  hue::RingEntry ring[hue::kRingSize];
  hue::BuildRing(ring);
  std::mt19937 rng(3);
  // Random pixels, greys, and pixels with two equal channels (the sector boundaries).
  std::vector<uint32_t> src;
  for (int i = 0; i < 3000; ++i) src.push_back(rng());
  for (int v = 0; v < 256; ++v) {
    const int o = int(rng() % 256);
    src.push_back(Rgba(v, v, v, v));
    src.push_back(Rgba(v, v, o, 255));
    src.push_back(Rgba(v, o, v, 1));
    src.push_back(Rgba(o, v, v, 128));
  }
  src.push_back(rng());  // an odd length leaves a tail for the reference
  std::vector<uint32_t> a(src.size()), b(src.size());
  const int brights[] = {-100, -67, -1, 0, 1, 33, 100};
  for (int saturate = -100; saturate <= 100; ++saturate) {
    const int bright = brights[(saturate + 100) % 7];
    const hue::Params p{ring, bright * 766 / 100, saturate * 256 / 100};
    hue::RowScalar(a.data(), src.data(), src.size(), p);
    hue::RowSse2(b.data(), src.data(), src.size(), p);
    for (size_t i = 0; i < src.size(); ++i)
      ASSERT_EQ(a[i], b[i]) << std::hex << src[i] << std::dec << " BRIGHT " << bright << " SATURATE " << saturate;
  }
}

TEST_F(FilterTest, HueOnKnownPixels) {
  GCompRef<OLayerFilter> f = NewFilter(u"MorvaneFilterHue");
  auto* hueFilter = static_cast<MorvaneFilterHue*>(f.get());
  // Truncation toward zero: -1 turns by -7 (not -8) and lowers s by 2 (not 3).
  EXPECT_EQ(hueFilter->ParamsFor(-1, -1).shift, -7);
  EXPECT_EQ(hueFilter->ParamsFor(-1, -1).s, -2);
  EXPECT_EQ(hueFilter->ParamsFor(100, 100).shift, 766);
  EXPECT_EQ(hueFilter->ParamsFor(100, 100).s, 256);
  // Values written past the items' bounds are held to them, both ways.
  for (int over : {101, 5000, INT32_MAX}) {
    EXPECT_EQ(hueFilter->ParamsFor(0, over).s, 256) << over;
    EXPECT_EQ(hueFilter->ParamsFor(0, -over).s, -256) << over;
    EXPECT_EQ(hueFilter->ParamsFor(over, 0).shift, 766) << over;
    EXPECT_EQ(hueFilter->ParamsFor(-over, 0).shift, -766) << over;
  }

  struct Case {
    uint32_t in;
    int bright, saturate;
    uint32_t out;
  } cases[] = {
      {Rgba(255, 0, 0, 255), 100, 0, Rgba(0, 255, 254, 255)},  // red turns to cyan
      {Rgba(255, 0, 0, 9), -100, 0, Rgba(0, 253, 255, 9)},       {Rgba(255, 0, 0, 255), 0, 0, Rgba(255, 0, 0, 255)},
      {Rgba(68, 32, 130, 77), -70, 26, Rgba(24, 138, 55, 77)},  // floor would give 23, 138, 54
      {Rgba(52, 162, 15, 255), -95, -94, Rgba(92, 85, 93, 255)},
  };
  const int w = 8, h = 4;
  for (const Case& c : cases) {
    auto* props = static_cast<OProperty*>(f->GetInterface(u"OProperty"));
    props->SetValue(0, c.bright);
    props->SetValue(1, c.saturate);
    GCompRef<OLayer> l = LayerWith(w, h, std::vector<uint32_t>(size_t(w) * h, c.in));
    ASSERT_EQ(f->Filter(l, 0, nullptr), 1);
    EXPECT_EQ(Get<uint32_t>(l), std::vector<uint32_t>(size_t(w) * h, c.out))
        << std::hex << c.in << std::dec << " " << c.bright << " " << c.saturate;
  }
}

TEST_F(FilterTest, HueKeepsEveryFullySaturatedColourAtZero) {
  // The 1530 colours with max 255 and min 0 each sit on the ring: BRIGHT 0, SATURATE 0 keep them.
  std::vector<uint32_t> src;
  for (int t = 0; t < 255; ++t)
    for (uint32_t p : {Rgba(t, 0, 255, 255), Rgba(255, 0, 255 - t, 255), Rgba(255, t, 0, 255),
                       Rgba(255 - t, 255, 0, 255), Rgba(0, 255, t, 255), Rgba(0, 255 - t, 255, 255)})
      src.push_back(p);
  GCompRef<OLayer> l = LayerWith(int(src.size()) / 6, 6, src);
  GCompRef<OLayerFilter> f = NewFilter(u"MorvaneFilterHue");
  ASSERT_EQ(f->Filter(l, 0, nullptr), 1);
  EXPECT_EQ(Get<uint32_t>(l), src);
}

TEST_F(FilterTest, HueLeavesGreysGreyAndDesaturatesToGrey) {
  GCompRef<OLayerFilter> f = NewFilter(u"MorvaneFilterHue");
  auto* props = static_cast<OProperty*>(f->GetInterface(u"OProperty"));
  // Every grey level, black and white included (no division by zero), at the extremes: a
  // grey has no hue, so neither turning nor saturating tints it.
  std::vector<uint32_t> greys;
  for (int v = 0; v < 256; ++v) greys.push_back(Rgba(v, v, v, 255 - v));
  for (int bright : {-100, 0, 55, 100})
    for (int saturate : {-100, 0, 100}) {
      props->SetValue(0, bright);
      props->SetValue(1, saturate);
      GCompRef<OLayer> l = LayerWith(64, 4, greys);
      ASSERT_EQ(f->Filter(l, 0, nullptr), 1);
      const std::vector<uint32_t> out = Get<uint32_t>(l);
      for (int v = 0; v < 256; ++v) {
        const uint32_t p = out[size_t(v)];
        ASSERT_EQ(p & 255, (p >> 8) & 255) << v;
        ASSERT_EQ(p & 255, (p >> 16) & 255) << v;
        ASSERT_EQ(p >> 24, uint32_t(255 - v)) << v;
        ASSERT_LE(std::abs(int(p & 255) - v), 1) << v;
      }
      EXPECT_EQ(out[0] & 0xFFFFFF, 0u);
      EXPECT_EQ(out[255] & 0xFFFFFF, 0xFFFFFFu);
    }

  // SATURATE -100: every pixel becomes the grey of its lightness L = max + min.
  props->SetValue(0, 37);
  props->SetValue(1, -100);
  const std::vector<uint32_t> colour = RandomColour(64 * 16, 8);
  GCompRef<OLayer> l = LayerWith(64, 16, colour);
  ASSERT_EQ(f->Filter(l, 0, nullptr), 1);
  const std::vector<uint32_t> out = Get<uint32_t>(l);
  for (size_t i = 0; i < colour.size(); ++i) {
    const uint32_t p = colour[i];
    const int r = int((p >> 16) & 255), g = int((p >> 8) & 255), b = int(p & 255);
    const int light = std::max({r, g, b}) + std::min({r, g, b});
    const int grey = light <= 254 ? light * 128 / 254 : 128 + 127 * (light - 255) / 255;
    ASSERT_EQ(out[i], (p & 0xFF000000u) | Rgba(grey, grey, grey, 0)) << std::hex << p;
  }
}

}  // namespace

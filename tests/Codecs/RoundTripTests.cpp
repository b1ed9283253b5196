// Layer -> file -> layer: PNG and BMP give back every byte; JPEG at quality 100 stays within a
// small error; mask layers come back as the grey of their colour with the coverage as alpha.
#include <algorithm>
#include <cstdlib>

#include "CodecFixture.h"

using namespace codec_test;

namespace {

struct Size {
  int w, h;
};
const Size kSizes[] = {{1, 1}, {7, 3}, {33, 17}, {2, 65}};

struct Lossless {
  const char* name;
  const codec::FormatCalls* calls;
};
const Lossless kLossless[] = {{"PNG", &codec::kPngCalls}, {"BMP", &codec::kBmpCalls}};

TEST(CodecRoundTrip, ColourLayersComeBackBitExact) {
  for (const Lossless& c : kLossless)
    for (const Size s : kSizes)
      for (bool opaque : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(s.w) + "x" + std::to_string(s.h) +
                     (opaque ? " opaque" : " alpha"));
        MemLayer src(s.w, s.h, OLayer::myFORMAT_C32);
        opaque ? FillOpaque(src) : FillColour(src);
        const auto file = Encode(*c.calls, src.lock);
        ASSERT_FALSE(file.empty());
        Decoded d = Decode(*c.calls, file);
        ASSERT_TRUE(d.ok) << d.error;
        ASSERT_EQ(d.head.format, OLayer::myFORMAT_C32);
        for (int y = 0; y < s.h; ++y)
          for (int x = 0; x < s.w; ++x) ASSERT_EQ(d.layer->C(x, y), src.C(x, y)) << x << "," << y;
      }
}

TEST(CodecRoundTrip, BmpIs24BitWithoutAlphaAnd32BitWithIt) {
  MemLayer m(5, 4, OLayer::myFORMAT_C32);
  FillOpaque(m);
  EXPECT_EQ(Encode(codec::kBmpCalls, m.lock)[28], 24);
  m.C(4, 3) = 0xFE123456;
  EXPECT_EQ(Encode(codec::kBmpCalls, m.lock)[28], 32);
}

TEST(CodecRoundTrip, MaskLayersComeBackAsTheirGreyWithCoverageAsAlpha) {
  for (const Lossless& c : kLossless)
    for (const Size s : kSizes) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(s.w) + "x" + std::to_string(s.h));
      MemLayer src(s.w, s.h, OLayer::myFORMAT_A16);
      for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) src.M(x, y) = uint16_t((x * 97 + y * 31) * 257 + (x == 0 ? 0xFF00 : 0));
      const uint8_t grey = codec::MaskGrey(src.lock.dwColor);
      Decoded d = Decode(*c.calls, Encode(*c.calls, src.lock));
      ASSERT_TRUE(d.ok) << d.error;
      ASSERT_EQ(d.head.format, OLayer::myFORMAT_C32);
      for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x)
          ASSERT_EQ(d.layer->C(x, y), uint32_t(src.M(x, y) >> 8) << 24 | grey * 0x010101u) << x << "," << y;
    }
}

int MaxError(MemLayer& a, MemLayer& b, double* mean) {
  int worst = 0;
  double sum = 0;
  for (int y = 0; y < a.lock.nHeight; ++y)
    for (int x = 0; x < a.lock.nWidth; ++x)
      for (int k = 0; k < 32; k += 8) {
        const int e = std::abs(int((a.C(x, y) >> k) & 0xFF) - int((b.C(x, y) >> k) & 0xFF));
        worst = std::max(worst, e);
        sum += e;
      }
  *mean = sum / (4.0 * a.lock.nWidth * a.lock.nHeight);
  return worst;
}

TEST(CodecRoundTrip, JpegAtQuality100StaysWithinThreeLevels) {
  for (const Size s : {Size{1, 1}, Size{33, 17}, Size{128, 96}}) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    MemLayer src(s.w, s.h, OLayer::myFORMAT_C32);
    FillPhoto(src);
    Decoded d = Decode(codec::kJpegCalls, Encode(codec::kJpegCalls, src.lock, 100));
    ASSERT_TRUE(d.ok) << d.error;
    double mean = 0;
    EXPECT_LE(MaxError(src, *d.layer, &mean), 3);
    EXPECT_LT(mean, 1.0);
  }
}

TEST(CodecRoundTrip, JpegQualityChangesTheFileAndSubsamplesBelow90) {
  MemLayer src(64, 64, OLayer::myFORMAT_C32);
  FillPhoto(src);
  const auto q100 = Encode(codec::kJpegCalls, src.lock, 100), q89 = Encode(codec::kJpegCalls, src.lock, 89),
             q1 = Encode(codec::kJpegCalls, src.lock, 1), q0 = Encode(codec::kJpegCalls, src.lock, 0);
  EXPECT_GT(q100.size(), q89.size());
  EXPECT_GT(q89.size(), q1.size());
  EXPECT_EQ(q0, q1);  // below 1 is 1
  // The sampling factors of the first component in the frame header (SOF0: FF C0).
  auto sampling = [](const std::vector<uint8_t>& f) {
    for (size_t i = 0; i + 12 < f.size(); ++i)
      if (f[i] == 0xFF && f[i + 1] == 0xC0) return int(f[i + 11]);
    return -1;
  };
  EXPECT_EQ(sampling(q100), 0x11);
  EXPECT_EQ(sampling(Encode(codec::kJpegCalls, src.lock, 90)), 0x11);
  EXPECT_EQ(sampling(q89), 0x22);
}

TEST(CodecRoundTrip, JpegPutsTheBackgroundUnderTransparentPixels) {
  MemLayer src(16, 16, OLayer::myFORMAT_C32);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) src.C(x, y) = x < 8 ? 0x00FFFFFFu : 0x80000000u;
  Decoded d = Decode(codec::kJpegCalls, Encode(codec::kJpegCalls, src.lock, 100, 0x00336699));
  ASSERT_TRUE(d.ok) << d.error;
  auto near = [](uint32_t a, uint32_t b) {
    for (int k = 0; k < 24; k += 8)
      if (std::abs(int((a >> k) & 0xFF) - int((b >> k) & 0xFF)) > 3) return false;
    return true;
  };
  EXPECT_TRUE(near(d.layer->C(2, 8), 0xFF336699)) << std::hex << d.layer->C(2, 8);
  // Half-transparent black over the background: half its levels.
  EXPECT_TRUE(near(d.layer->C(13, 8), 0xFF1A334D)) << std::hex << d.layer->C(13, 8);
}

TEST(CodecRoundTrip, AWriterStopsWhenTheJobIsCancelled) {
  MemLayer src(8, 8, OLayer::myFORMAT_C32);
  FillOpaque(src);
  for (const codec::FormatCalls* calls : {&codec::kPngCalls, &codec::kJpegCalls, &codec::kBmpCalls}) {
    JobControl control;
    control.flags = JOB_ABORT;
    codec::CodecError err;
    codec::EncodeParams params{100, 0, &control};
    EXPECT_TRUE(WriteToBytes([&](FILE* f) { return calls->encode(f, src.lock, params, &err); }).empty());
    EXPECT_EQ(err.Text(), "已在第 0 行取消（共 8 行）");
  }
}

}  // namespace

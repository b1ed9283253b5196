// Every variant each reader takes, made by hand and compared pixel by pixel.
#include "ImageMakers.h"

using namespace codec_test;

namespace {

uint32_t Base8(int x, int y, int c) { return uint32_t(x * 37 + y * 11 + c * 77) & 0xFF; }
// 16-bit samples that scale to Base8 whichever way 16 bits are rounded to 8.
uint32_t Base16(int x, int y, int c) {
  const uint32_t b = Base8(x, y, c), e = uint32_t(x % 5) * 20;
  return b < 128 ? b * 257 + e : b * 257 - e;
}

struct PngCase {
  const char* name;
  PngSpec spec;
};

std::vector<png_color> Palette(int n) {
  std::vector<png_color> p;
  for (int i = 0; i < n; ++i) p.push_back(png_color{png_byte(i * 53), png_byte(255 - i), png_byte(i * 7)});
  return p;
}

// What the layer should hold for the PNG variant at (x, y): a colour, or a mask's coverage.
uint32_t ExpectedPng(const PngSpec& s, int x, int y) {
  const bool wide = s.depth == 16;
  auto ch = [&](int c) { return Base8(x, y, c); };
  switch (s.type) {
    case PNG_COLOR_TYPE_GRAY: {
      if (wide) return s.transparentGrey < 0 ? Base16(x, y, 0) : 0;
      const uint32_t top = (1u << s.depth) - 1;
      const uint32_t v = s.depth == 8 ? ch(0) : uint32_t(x * 3 + y) % (top + 1);
      const uint32_t v8 = v * 255 / top;
      if (s.transparentGrey < 0) return v8 * 257;
      return (int(v) == s.transparentGrey ? 0u : 0xFF000000u) | v8 * 0x010101u;
    }
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return ch(1) << 24 | ch(0) * 0x010101u;
    case PNG_COLOR_TYPE_PALETTE: {
      const int i = (x + 2 * y) % int(s.palette.size());
      const uint32_t a = size_t(i) < s.paletteAlpha.size() ? s.paletteAlpha[size_t(i)] : 0xFF;
      const png_color c = s.palette[size_t(i)];
      return a << 24 | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
    }
    case PNG_COLOR_TYPE_RGB:
      return 0xFF000000u | ch(0) << 16 | ch(1) << 8 | ch(2);
    default:
      return ch(3) << 24 | ch(0) << 16 | ch(1) << 8 | ch(2);
  }
}

uint32_t PngSample(const PngSpec& s, int x, int y, int c) {
  if (s.type == PNG_COLOR_TYPE_PALETTE) return uint32_t((x + 2 * y) % int(s.palette.size()));
  if (s.type == PNG_COLOR_TYPE_GRAY && s.depth < 8) return uint32_t(x * 3 + y) % (1u << s.depth);
  return s.depth == 16 ? Base16(x, y, c) : Base8(x, y, c);
}

TEST(PngReader, ReadsEveryVariantIntoTheLayer) {
  const PngCase cases[] = {
      {"grey 1", {PNG_COLOR_TYPE_GRAY, 1, false, {}, {}, -1}},
      {"grey 2", {PNG_COLOR_TYPE_GRAY, 2, false, {}, {}, -1}},
      {"grey 4", {PNG_COLOR_TYPE_GRAY, 4, false, {}, {}, -1}},
      {"grey 8", {PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, -1}},
      {"grey 16", {PNG_COLOR_TYPE_GRAY, 16, false, {}, {}, -1}},
      {"grey 8 tRNS", {PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, 48}},
      {"grey+alpha 8", {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {}, {}, -1}},
      {"grey+alpha 16", {PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, {}, {}, -1}},
      {"palette 1", {PNG_COLOR_TYPE_PALETTE, 1, false, Palette(2), {0x40}, -1}},
      {"palette 2", {PNG_COLOR_TYPE_PALETTE, 2, false, Palette(3), {}, -1}},
      {"palette 4", {PNG_COLOR_TYPE_PALETTE, 4, false, Palette(16), {0, 0x80, 0xFF, 7}, -1}},
      {"palette 8", {PNG_COLOR_TYPE_PALETTE, 8, false, Palette(200), {0, 1, 2, 3, 254}, -1}},
      {"RGB 8", {PNG_COLOR_TYPE_RGB, 8, false, {}, {}, -1}},
      {"RGB 16", {PNG_COLOR_TYPE_RGB, 16, false, {}, {}, -1}},
      {"RGBA 8", {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {}, {}, -1}},
      {"RGBA 16", {PNG_COLOR_TYPE_RGB_ALPHA, 16, false, {}, {}, -1}},
  };
  for (const PngCase& c : cases)
    for (bool interlaced : {false, true}) {
      PngSpec spec = c.spec;
      spec.interlaced = interlaced;
      SCOPED_TRACE(std::string(c.name) + (interlaced ? " interlaced" : ""));
      const int w = 13, h = 11;
      Decoded d = Decode(codec::kPngCalls, MakePng(spec, w, h, [&](int x, int y, int k) { return PngSample(spec, x, y, k); }));
      ASSERT_TRUE(d.ok) << d.error;
      const bool mask = spec.type == PNG_COLOR_TYPE_GRAY && spec.transparentGrey < 0;
      ASSERT_EQ(d.head.format, mask ? OLayer::myFORMAT_A16 : OLayer::myFORMAT_C32);
      EXPECT_EQ(d.head.width, w);
      EXPECT_EQ(d.head.height, h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(mask ? d.layer->M(x, y) : d.layer->C(x, y), ExpectedPng(spec, x, y)) << x << "," << y;
    }
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int k = 0; k < 32; k += 8)
    if (std::abs(int((a >> k) & 0xFF) - int((b >> k) & 0xFF)) > tolerance) return false;
  return true;
}

TEST(JpegReader, ReadsBaselineProgressiveGreyAndCmyk) {
  struct Case {
    const char* name;
    JpegSpec spec;
  } cases[] = {
      {"baseline", {JCS_RGB, JCS_YCbCr, false}},
      {"progressive", {JCS_RGB, JCS_YCbCr, true}},
      {"greyscale", {JCS_GRAYSCALE, JCS_GRAYSCALE, false}},
      {"greyscale progressive", {JCS_GRAYSCALE, JCS_GRAYSCALE, true}},
      {"CMYK", {JCS_CMYK, JCS_CMYK, false}},
      {"YCCK", {JCS_CMYK, JCS_YCCK, false}},
  };
  // Smooth colours; under an Adobe marker CMYK samples are stored inverted, so R, G, B and
  // 255 (no black) give that colour.
  auto colour = [](int x, int y, int k) { return k == 3 ? 255u : uint32_t(60 + x * 4 + y * 2 + k * 30) & 0xFF; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int w = 24, h = 19;
    Decoded d = Decode(codec::kJpegCalls, MakeJpeg(c.spec, w, h, colour));
    ASSERT_TRUE(d.ok) << d.error;
    const bool grey = c.spec.in == JCS_GRAYSCALE;
    ASSERT_EQ(d.head.format, grey ? OLayer::myFORMAT_A16 : OLayer::myFORMAT_C32);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (grey) {
          ASSERT_LE(std::abs(int(d.layer->M(x, y)) - int(colour(x, y, 0) * 257)), 3 * 257) << x << "," << y;
          ASSERT_EQ(d.layer->M(x, y) % 257, 0);
        } else {
          const uint32_t want = 0xFF000000u | colour(x, y, 0) << 16 | colour(x, y, 1) << 8 | colour(x, y, 2);
          ASSERT_TRUE(Near(d.layer->C(x, y), want, 4)) << x << "," << y << " " << std::hex << d.layer->C(x, y);
        }
      }
  }
}

// A JPEG's CMYK samples as libjpeg itself decodes them, and whether an Adobe marker said they
// are stored inverted.
struct CmykSamples {
  std::vector<uint8_t> cmyk;
  bool inverted = false;
};
CmykSamples LibjpegCmyk(const std::vector<uint8_t>& file) {
  jpeg_decompress_struct d;
  jpeg_error_mgr e;
  d.err = jpeg_std_error(&e);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_CMYK;
  jpeg_start_decompress(&d);
  CmykSamples out;
  out.cmyk.resize(size_t(d.output_width) * d.output_height * 4);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &out.cmyk[size_t(d.output_scanline) * d.output_width * 4];
    jpeg_read_scanlines(&d, &row, 1);
  }
  out.inverted = d.saw_Adobe_marker;
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return out;
}

// Each colour channel is the nearest whole number to ink-free fraction x black-free fraction
// x 255, from libjpeg's own samples of the same file (inverted under an Adobe marker: 255 is
// no ink). The samples run over the whole range in every channel.
TEST(JpegReader, CmykIsTurnedIntoTheNearestRgbOfLibjpegsSamples) {
  const JpegSpec specs[] = {{JCS_CMYK, JCS_CMYK, false}, {JCS_CMYK, JCS_YCCK, false}, {JCS_CMYK, JCS_CMYK, false, false}};
  auto sample = [](int x, int y, int k) { return uint32_t(x * (k + 1) * 7 + y * (k == 3 ? 1 : 16 + k)) & 0xFF; };
  for (const JpegSpec& spec : specs) {
    SCOPED_TRACE(testing::Message() << "file space " << spec.file << " marker " << spec.adobeMarker);
    const int w = 64, h = 32;
    const std::vector<uint8_t> file = MakeJpeg(spec, w, h, sample);
    const CmykSamples ref = LibjpegCmyk(file);
    ASSERT_EQ(ref.inverted, spec.adobeMarker);
    Decoded d = Decode(codec::kJpegCalls, file);
    ASSERT_TRUE(d.ok) << d.error;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint8_t* s = &ref.cmyk[(size_t(y) * w + size_t(x)) * 4];
        auto free = [&](int i) { return ref.inverted ? s[i] : 255 - s[i]; };
        auto channel = [&](int i) { return uint32_t(std::lround(free(i) * free(3) / 255.0)); };
        const uint32_t want = 0xFF000000u | channel(0) << 16 | channel(1) << 8 | channel(2);
        ASSERT_EQ(d.layer->C(x, y), want) << x << "," << y << " from " << int(s[0]) << " " << int(s[1]) << " "
                                          << int(s[2]) << " " << int(s[3]);
      }
  }
}

// The rows of a small BMP, bottom row first unless top-down.
std::vector<uint8_t> Rows(std::initializer_list<std::vector<uint8_t>> rows) {
  std::vector<uint8_t> out;
  for (const auto& r : rows) out.insert(out.end(), r.begin(), r.end());
  return out;
}

TEST(BmpReader, ReadsEveryVariantIntoTheLayer) {
  const std::vector<uint32_t> pal = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF};
  auto P = [&](int i) { return 0xFF000000u | pal[size_t(i)]; };
  struct Case {
    const char* name;
    BmpSpec spec;
    std::vector<uint32_t> want;  // the layer top-down
  } cases[] = {
      {"1-bit", {40, 3, 2, 1, 0, {}, {0x000000, 0xFFFFFF}, 0, Rows({{0xA0, 0, 0, 0}, {0x40, 0, 0, 0}})},
       {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
      {"4-bit", {40, 3, 1, 4, 0, {}, pal, 6, Rows({{0x12, 0x50, 0, 0}})}, {P(1), P(2), P(5)}},
      {"8-bit", {40, 2, 2, 8, 0, {}, pal, 6, Rows({{3, 4, 0, 0}, {0, 1, 0, 0}})}, {P(0), P(1), P(3), P(4)}},
      {"8-bit core header", {12, 2, 1, 8, 0, {}, pal, 0, Rows({{5, 2, 0, 0}})}, {P(5), P(2)}},
      {"16-bit 555", {40, 2, 1, 16, 0, {}, {}, 0, Rows({{0x00, 0x7C, 0x1F, 0x00}})}, {0xFFFF0000, 0xFF0000FF}},
      {"16-bit 565 bit fields", {40, 2, 1, 16, 3, {0xF800, 0x07E0, 0x001F}, {}, 0, Rows({{0xE0, 0x07, 0x10, 0x84}})},
       {0xFF00FF00, 0xFF848284}},
      {"24-bit bottom-up", {40, 1, 2, 24, 0, {}, {}, 0, Rows({{1, 2, 3, 0}, {4, 5, 6, 0}})}, {0xFF060504, 0xFF030201}},
      {"24-bit top-down", {40, 1, -2, 24, 0, {}, {}, 0, Rows({{1, 2, 3, 0}, {4, 5, 6, 0}})}, {0xFF030201, 0xFF060504}},
      {"32-bit with alpha in the spare byte", {40, 2, 1, 32, 0, {}, {}, 0, Rows({{1, 2, 3, 0x80, 4, 5, 6, 0}})},
       {0x80030201, 0x00060504}},
      {"32-bit spare byte all 0", {40, 2, 1, 32, 0, {}, {}, 0, Rows({{1, 2, 3, 0, 4, 5, 6, 0}})},
       {0xFF030201, 0xFF060504}},
      {"32-bit alpha bit fields", {40, 1, 1, 32, 6, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {}, 0, Rows({{1, 2, 3, 4}})},
       {0x04010203}},
      {"32-bit bit fields without alpha", {56, 1, 1, 32, 3, {0xFF000000, 0xFF0000, 0xFF00, 0}, {}, 0, Rows({{9, 1, 2, 3}})},
       {0xFF030201}},
      {"32-bit V5 header", {124, 1, 1, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {}, 0, Rows({{1, 2, 3, 4}})},
       {0x04030201}},
      // RLE8: an absolute run of 3 (padded), a run of 1, end of line; delta (+1, +0), a run
      // of 1, end of bitmap. Skipped pixels stay transparent.
      {"RLE8", {40, 4, 2, 8, 1, {}, pal, 6, {0, 3, 2, 3, 4, 0, 1, 1, 0, 0, 0, 2, 1, 0, 1, 5, 0, 1}},
       {0, P(5), 0, 0, P(2), P(3), P(4), P(1)}},
      // RLE4: a run of 3 alternating 1 and 2, an absolute run of 3 (4, 5, 0), end of bitmap.
      {"RLE4", {40, 6, 1, 4, 2, {}, pal, 6, {3, 0x12, 0, 3, 0x45, 0x00, 0, 1}}, {P(1), P(2), P(1), P(4), P(5), P(0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoded d = Decode(codec::kBmpCalls, MakeBmp(c.spec));
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.head.format, OLayer::myFORMAT_C32);
    const int w = d.head.width;
    ASSERT_EQ(size_t(w * d.head.height), c.want.size());
    for (size_t i = 0; i < c.want.size(); ++i)
      EXPECT_EQ(d.layer->C(int(i) % w, int(i) / w), c.want[i]) << std::hex << "pixel " << i << " is "
                                                                  << d.layer->C(int(i) % w, int(i) / w);
  }
}

}  // namespace

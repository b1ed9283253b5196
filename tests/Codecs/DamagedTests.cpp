// Damaged and hostile files: each reader refuses them with words that say what is wrong,
// before anything of the declared size is allocated, and a refused decode says so too.
#include <zlib.h>

#include "AllocationProbe.h"
#include "ImageMakers.h"

using namespace codec_test;

namespace {

// Bytes that do not compress, so cutting the file cuts rows.
void FillNoise(MemLayer& m) { FillColour(m, 99); }

std::vector<uint8_t> Cut(std::vector<uint8_t> v, size_t n) {
  v.resize(std::min(n, v.size()));
  return v;
}

void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

// A PNG whose IHDR says w x h, with its CRC made right.
std::vector<uint8_t> PngSized(std::vector<uint8_t> png, uint32_t w, uint32_t h) {
  PutBE32(&png[16], w);
  PutBE32(&png[20], h);
  PutBE32(&png[29], uint32_t(crc32(0, &png[12], 17)));
  return png;
}

// A JPEG whose frame header says w x h.
std::vector<uint8_t> JpegSized(std::vector<uint8_t> jpg, uint32_t w, uint32_t h) {
  for (size_t i = 2; i + 9 < jpg.size(); ++i)
    if (jpg[i] == 0xFF && (jpg[i + 1] == 0xC0 || jpg[i + 1] == 0xC2)) {
      jpg[i + 5] = uint8_t(h >> 8), jpg[i + 6] = uint8_t(h), jpg[i + 7] = uint8_t(w >> 8), jpg[i + 8] = uint8_t(w);
      break;
    }
  return jpg;
}

std::vector<uint8_t> Flip(std::vector<uint8_t> v, size_t at) {
  v[at] ^= 0x55;
  return v;
}

struct Damaged {
  const char* name;
  const codec::FormatCalls* calls;
  std::vector<uint8_t> bytes;
  const char* words;  // what the error must contain
};

std::vector<Damaged> Table() {
  MemLayer big(64, 64, OLayer::myFORMAT_C32), small(8, 8, OLayer::myFORMAT_C32);
  FillNoise(big);
  FillNoise(small);
  const auto png = Encode(codec::kPngCalls, big.lock), smallPng = Encode(codec::kPngCalls, small.lock);
  const auto jpg = Encode(codec::kJpegCalls, big.lock, 95);
  const auto progressive = MakeJpeg({JCS_RGB, JCS_YCbCr, true}, 64, 64, [](int x, int y, int k) {
    return uint32_t(x * 7 + y * 13 + k * 50) & 0xFF;
  });
  const auto bmp = Encode(codec::kBmpCalls, big.lock);
  auto bmpSized = [&](int32_t w, int32_t h) {
    auto b = Cut(bmp, 14 + 124 + 64);
    PutLE32(&b[18], uint32_t(w));
    PutLE32(&b[22], uint32_t(h));
    return b;
  };
  const std::vector<uint32_t> two = {0, 0xFFFFFF};
  BmpSpec rle{40, 4, 1, 8, 1, {}, two, 2, {5, 1, 0, 1}};  // a run of 5 into a row of 4
  BmpSpec absolute{40, 4, 1, 8, 1, {}, two, 2, {0, 6, 0, 0, 0, 0, 0, 0, 0, 1}};
  BmpSpec delta{40, 4, 2, 8, 1, {}, two, 2, {0, 2, 5, 0, 0, 1}};
  BmpSpec index{40, 2, 1, 8, 0, {}, two, 2, {0, 5, 0, 0}};
  BmpSpec zeroMask{40, 1, 1, 16, 3, {0xF800, 0, 0x1F}, {}, 0, {0, 0, 0, 0}};
  BmpSpec gappedMask{40, 1, 1, 16, 3, {0xF00F, 0x0F00, 0xF0}, {}, 0, {0, 0, 0, 0}};
  BmpSpec overlap{40, 1, 1, 32, 3, {0xFF0000, 0xFFFF00, 0xFF}, {}, 0, {0, 0, 0, 0}};
  BmpSpec bigPalette{40, 1, 1, 4, 0, {}, std::vector<uint32_t>(17, 0), 17, {0, 0, 0, 0}};
  BmpSpec rleTopDown{40, 4, -1, 8, 1, {}, two, 2, {0, 1}};
  return {
      {"PNG not a PNG", &codec::kPngCalls, {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, "not a PNG file"},
      {"PNG empty", &codec::kPngCalls, {}, "not a PNG file"},
      {"PNG cut in the signature", &codec::kPngCalls, Cut(png, 5), "truncated in the header"},
      {"PNG cut in IHDR", &codec::kPngCalls, Cut(png, 20), "truncated in the header"},
      {"PNG cut before the pixels", &codec::kPngCalls, Cut(smallPng, 40), "truncated in the header"},
      {"PNG cut in the pixels", &codec::kPngCalls, Cut(png, png.size() * 3 / 5), "truncated at row"},
      {"PNG without its end", &codec::kPngCalls, Cut(png, png.size() - 12), "truncated after the last row"},
      {"PNG with damaged pixel data", &codec::kPngCalls, Flip(png, png.size() / 2), "damaged PNG data at row"},
      {"PNG 0 x 0", &codec::kPngCalls, PngSized(png, 0, 0), "image has no pixels (0 x 0)"},
      {"PNG 10001 wide", &codec::kPngCalls, PngSized(png, 10001, 64), "image larger than 10000 x 10000 (10001 x 64)"},
      {"PNG 10000 x 10000 in a tiny file", &codec::kPngCalls, PngSized(png, 10000, 10000),
       "cannot hold a 10000 x 10000 image"},
      {"PNG 70000 x 70000", &codec::kPngCalls, PngSized(png, 70000, 70000), "image larger than 10000 x 10000"},
      {"JPEG not a JPEG", &codec::kJpegCalls, {'B', 'M', 1, 2, 3}, "not a JPEG file"},
      {"JPEG cut in the header", &codec::kJpegCalls, Cut(jpg, 100), "truncated in the header"},
      {"JPEG cut in the pixels", &codec::kJpegCalls, Cut(jpg, jpg.size() * 3 / 5), "truncated at row"},
      {"progressive JPEG cut", &codec::kJpegCalls, Cut(progressive, progressive.size() * 3 / 5), "truncated at row 0 of 64"},
      {"JPEG 0 x 0", &codec::kJpegCalls, JpegSized(jpg, 0, 0), "damaged JPEG file"},
      {"JPEG 10001 wide", &codec::kJpegCalls, JpegSized(jpg, 10001, 64), "image larger than 10000 x 10000 (10001 x 64)"},
      {"JPEG 10000 x 10000 in a tiny file", &codec::kJpegCalls, JpegSized(jpg, 10000, 10000),
       "cannot hold a 10000 x 10000 image"},
      {"BMP not a BMP", &codec::kBmpCalls, {0x89, 'P', 'N', 'G'}, "not a BMP file"},
      {"BMP cut in the file header", &codec::kBmpCalls, Cut(bmp, 10), "truncated in the header"},
      {"BMP cut in the info header", &codec::kBmpCalls, Cut(bmp, 30), "truncated in the header"},
      {"BMP cut in the pixels", &codec::kBmpCalls, Cut(bmp, bmp.size() - 300), "truncated at row 62 of 64"},
      {"BMP 0 x 0", &codec::kBmpCalls, bmpSized(0, 0), "image has no pixels (0 x 0)"},
      {"BMP 10001 wide", &codec::kBmpCalls, bmpSized(10001, 1), "image larger than 10000 x 10000 (10001 x 1)"},
      {"BMP 10000 x 10000 in a tiny file", &codec::kBmpCalls, bmpSized(10000, -10000), "truncated at row 0 of 10000"},
      {"BMP height of -2^31", &codec::kBmpCalls, bmpSized(1, INT32_MIN), "image larger than 10000 x 10000"},
      {"BMP palette index out of range", &codec::kBmpCalls, MakeBmp(index), "palette index 5 out of range at row 0"},
      {"BMP palette larger than the depth", &codec::kBmpCalls, MakeBmp(bigPalette), "palette of 17 colours for a 4-bit image"},
      {"BMP RLE run past the row end", &codec::kBmpCalls, MakeBmp(rle), "RLE run past the end of row 0"},
      {"BMP RLE absolute run past the row end", &codec::kBmpCalls, MakeBmp(absolute), "RLE run past the end of row 0"},
      {"BMP RLE delta past the image", &codec::kBmpCalls, MakeBmp(delta), "RLE delta past the image"},
      {"BMP RLE without its end", &codec::kBmpCalls, Cut(MakeBmp(rle), MakeBmp(rle).size() - 4), "truncated at row 0 of 1"},
      {"BMP top-down RLE", &codec::kBmpCalls, MakeBmp(rleTopDown), "top-down rows with RLE"},
      {"BMP bit-field mask of zero width", &codec::kBmpCalls, MakeBmp(zeroMask), "bit-field mask of zero width"},
      {"BMP bit-field mask with a gap", &codec::kBmpCalls, MakeBmp(gappedMask), "not contiguous"},
      {"BMP bit-field masks overlapping", &codec::kBmpCalls, MakeBmp(overlap), "bit-field masks overlap"},
  };
}

TEST(DamagedImage, EachIsRefusedWithWordsThatSayWhatIsWrongAndNothingLarge) {
  for (const Damaged& c : Table()) {
    SCOPED_TRACE(c.name);
    Decoded d;
    size_t largest = 0;
    {
      AllocationProbe probe;
      d = Decode(*c.calls, c.bytes);
      largest = probe.Largest();
    }
    EXPECT_FALSE(d.ok);
    EXPECT_NE(d.error.find(c.words), std::string::npos) << "the words were: " << d.error;
    // A refusal after the head was read leaves the test's own layer as the only large block.
    const size_t layerBytes = d.layer ? d.layer->bytes.size() : 0;
    EXPECT_LE(largest, std::max<size_t>(layerBytes, 64 * 1024)) << "the words were: " << d.error;
  }
}

TEST(DamagedImage, DecodeRefusesALayerOfAnotherSizeOrFormat) {
  MemLayer src(9, 5, OLayer::myFORMAT_C32);
  FillColour(src);
  for (const codec::FormatCalls* calls : {&codec::kPngCalls, &codec::kJpegCalls, &codec::kBmpCalls}) {
    const auto file = Encode(*calls, src.lock);
    for (MemLayer* wrong : {new MemLayer(9, 6, 4), new MemLayer(8, 5, 4), new MemLayer(9, 5, 2)}) {
      std::unique_ptr<MemLayer> keep(wrong);
      MemFile m(file);
      codec::CodecError err;
      EXPECT_FALSE(calls->decode(m.f, wrong->lock, &err));
      EXPECT_NE(err.Text().find("does not fit the image (9 x 5"), std::string::npos) << err.Text();
    }
  }
}

}  // namespace

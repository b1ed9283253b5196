// Damaged and hostile files: each reader refuses them with words that say what is wrong,
// before anything of the declared size is allocated, and a refused decode says so too.
#include <zlib.h>

#include <chrono>

#include "AllocationProbe.h"
#include "ImageMakers.h"
#include "common/PeakMemory.h"

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
      {"PNG not a PNG", &codec::kPngCalls, {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, "不是 PNG 文件"},
      {"PNG empty", &codec::kPngCalls, {}, "不是 PNG 文件"},
      {"PNG cut in the signature", &codec::kPngCalls, Cut(png, 5), "文件头不完整"},
      {"PNG cut in IHDR", &codec::kPngCalls, Cut(png, 20), "文件头不完整"},
      {"PNG cut before the pixels", &codec::kPngCalls, Cut(smallPng, 40), "文件头不完整"},
      {"PNG cut in the pixels", &codec::kPngCalls, Cut(png, png.size() * 3 / 5), "文件不完整，在第 "},
      {"PNG without its end", &codec::kPngCalls, Cut(png, png.size() - 12), "文件不完整，在最后一行之后中断"},
      {"PNG with damaged pixel data", &codec::kPngCalls, Flip(png, png.size() / 2), "PNG 数据在第 "},
      {"PNG 0 x 0", &codec::kPngCalls, PngSized(png, 0, 0), "图像没有像素（0 x 0）"},
      {"PNG 10001 wide", &codec::kPngCalls, PngSized(png, 10001, 64), "图像大于 10000 x 10000（10001 x 64）"},
      {"PNG 10000 x 10000 in a tiny file", &codec::kPngCalls, PngSized(png, 10000, 10000),
       "字节装不下 10000 x 10000 的图像"},
      {"PNG 70000 x 70000", &codec::kPngCalls, PngSized(png, 70000, 70000), "图像大于 10000 x 10000"},
      {"JPEG not a JPEG", &codec::kJpegCalls, {'B', 'M', 1, 2, 3}, "不是 JPEG 文件"},
      {"JPEG cut in the header", &codec::kJpegCalls, Cut(jpg, 100), "文件头不完整"},
      {"JPEG cut in the pixels", &codec::kJpegCalls, Cut(jpg, jpg.size() * 3 / 5), "文件不完整，在第 "},
      {"progressive JPEG cut", &codec::kJpegCalls, Cut(progressive, progressive.size() * 3 / 5), "文件不完整，在第 0 行中断（共 64 行）"},
      {"JPEG 0 x 0", &codec::kJpegCalls, JpegSized(jpg, 0, 0), "JPEG 文件损坏"},
      {"JPEG 10001 wide", &codec::kJpegCalls, JpegSized(jpg, 10001, 64), "图像大于 10000 x 10000（10001 x 64）"},
      {"JPEG 10000 x 10000 in a tiny file", &codec::kJpegCalls, JpegSized(jpg, 10000, 10000),
       "字节装不下 10000 x 10000 的图像"},
      {"BMP not a BMP", &codec::kBmpCalls, {0x89, 'P', 'N', 'G'}, "不是 BMP 文件"},
      {"BMP cut in the file header", &codec::kBmpCalls, Cut(bmp, 10), "文件头不完整"},
      {"BMP cut in the info header", &codec::kBmpCalls, Cut(bmp, 30), "文件头不完整"},
      {"BMP cut in the pixels", &codec::kBmpCalls, Cut(bmp, bmp.size() - 300), "文件不完整，在第 62 行中断（共 64 行）"},
      {"BMP 0 x 0", &codec::kBmpCalls, bmpSized(0, 0), "图像没有像素（0 x 0）"},
      {"BMP 10001 wide", &codec::kBmpCalls, bmpSized(10001, 1), "图像大于 10000 x 10000（10001 x 1）"},
      {"BMP 10000 x 10000 in a tiny file", &codec::kBmpCalls, bmpSized(10000, -10000), "文件不完整，在第 0 行中断（共 10000 行）"},
      {"BMP height of -2^31", &codec::kBmpCalls, bmpSized(1, INT32_MIN), "图像大于 10000 x 10000"},
      {"BMP palette index out of range", &codec::kBmpCalls, MakeBmp(index), "调色板索引 5 超出范围（第 0 行）"},
      {"BMP palette larger than the depth", &codec::kBmpCalls, MakeBmp(bigPalette), "调色板有 17 种颜色，多于 4 位图像所能用的"},
      {"BMP RLE run past the row end", &codec::kBmpCalls, MakeBmp(rle), "RLE 行程超出第 0 行的末尾"},
      {"BMP RLE absolute run past the row end", &codec::kBmpCalls, MakeBmp(absolute), "RLE 行程超出第 0 行的末尾"},
      {"BMP RLE delta past the image", &codec::kBmpCalls, MakeBmp(delta), "RLE 位移超出图像"},
      {"BMP RLE without its end", &codec::kBmpCalls, Cut(MakeBmp(rle), MakeBmp(rle).size() - 4), "文件不完整，在第 0 行中断（共 1 行）"},
      {"BMP top-down RLE", &codec::kBmpCalls, MakeBmp(rleTopDown), "RLE 压缩配上了自上而下的行序"},
      {"BMP bit-field mask of zero width", &codec::kBmpCalls, MakeBmp(zeroMask), "位域掩码宽度为零"},
      {"BMP bit-field mask with a gap", &codec::kBmpCalls, MakeBmp(gappedMask), "不连续"},
      {"BMP bit-field masks overlapping", &codec::kBmpCalls, MakeBmp(overlap), "位域掩码相互重叠"},
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
      EXPECT_NE(err.Text().find("与图像（9 x 5"), std::string::npos) << err.Text();
    }
  }
}

// A chunk of the given type put in after IHDR, or before IEND, whose length field declares
// far more than the file holds; what follows it in the file counts as its data.
std::vector<uint8_t> WithHugeChunk(const std::vector<uint8_t>& png, const char* type, uint32_t declared,
                                   const std::vector<uint8_t>& data, bool afterPixels) {
  const size_t at = afterPixels ? png.size() - 12 : 33;
  std::vector<uint8_t> out(png.begin(), png.begin() + long(at));
  uint8_t head[8];
  PutBE32(head, declared);
  std::memcpy(head + 4, type, 4);
  out.insert(out.end(), head, head + 8);
  out.insert(out.end(), data.begin(), data.end());
  out.insert(out.end(), png.begin() + long(at), png.end());
  return out;
}

// Text, profile and unknown chunks whose length says up to 2^31 - 1 in a file of a hundred
// bytes: libpng would allocate and clear the declared length before it found the file short.
// The refusal names the chunk and the length, and nothing near that size is touched.
TEST(DamagedImage, PngChunksDeclaringMoreThanTheFileHoldsAreRefusedQuicklyAndSmall) {
  MemLayer one(1, 1, OLayer::myFORMAT_C32);
  FillColour(one);
  const auto png = Encode(codec::kPngCalls, one.lock);
  const std::vector<uint8_t> text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'};
  const std::vector<uint8_t> ztext = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0, 0x78, 0x9C, 0x03, 0, 0, 0, 0, 1};
  const std::vector<uint8_t> itext = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0, 0, 0, 0, 'h', 'i'};
  const std::vector<uint8_t> profile = {'i', 'c', 'c', 0, 0, 0x78, 0x9C, 0x03, 0, 0, 0, 0, 1};
  const struct {
    const char* type;
    uint32_t declared;
    const std::vector<uint8_t>& data;
    bool afterPixels;
  } cases[] = {
      {"tEXt", 0x7FFFFFFF, text, false},  {"tEXt", 0x7FFFFFF0, text, true},   {"tEXt", 1u << 30, text, false},
      {"zTXt", 0x7FFFFFFF, ztext, false}, {"zTXt", 0x7FFFFFF0, ztext, true},  {"iTXt", 0x7FFFFFFF, itext, false},
      {"iCCP", 0x7FFFFFFF, profile, false}, {"teSt", 0x7FFFFFFF, text, false}, {"teSt", 0x7FFFFFFF, text, true},
  };
  for (const auto& c : cases) {
    const auto file = WithHugeChunk(png, c.type, c.declared, c.data, c.afterPixels);
    SCOPED_TRACE(std::string(c.type) + " of " + std::to_string(c.declared) + (c.afterPixels ? " after" : " before") +
                 " the pixels, in a file of " + std::to_string(file.size()) + " bytes");
    Decoded d;
    const auto start = std::chrono::steady_clock::now();
    const int64_t grew = test_memory::PeakGrowth([&] { d = Decode(codec::kPngCalls, file); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(d.ok);
    EXPECT_NE(d.error.find(c.type), std::string::npos) << "the words were: " << d.error;
    EXPECT_NE(d.error.find(std::to_string(c.declared)), std::string::npos) << "the words were: " << d.error;
    EXPECT_LT(grew, 64 << 20) << "the words were: " << d.error;
    EXPECT_LT(seconds, 1.0) << "the words were: " << d.error;
  }
}

}  // namespace

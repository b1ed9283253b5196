// Hand-made images for the reader tests: PNG and JPEG of every variant written with libpng
// and libjpeg directly, BMP assembled byte by byte.
#pragma once
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "CodecFixture.h"
#include "odata/LittleEndian.h"

namespace codec_test {

// One PNG sample (0..2^depth-1) of channel c at (x, y).
using Sampler = std::function<uint32_t(int x, int y, int c)>;

struct PngSpec {
  int type;  // PNG_COLOR_TYPE_*
  int depth;
  bool interlaced;
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;  // tRNS of a palette image
  int transparentGrey = -1;            // tRNS of a grey image
};

inline std::vector<uint8_t> MakePng(const PngSpec& s, int w, int h, const Sampler& sample) {
  static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  const int ch = kChannels[s.type];
  const size_t rowBytes = (size_t(w) * ch * s.depth + 7) / 8;
  std::vector<std::vector<png_byte>> rows(size_t(h), std::vector<png_byte>(rowBytes, 0));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < ch; ++c) {
        const uint32_t v = sample(x, y, c);
        const size_t bit = (size_t(x) * ch + c) * s.depth;
        png_byte* p = &rows[size_t(y)][bit / 8];
        if (s.depth == 16) {
          p[0] = png_byte(v >> 8);
          p[1] = png_byte(v);
        } else if (s.depth == 8) {
          p[0] = png_byte(v);
        } else {
          *p |= png_byte(v << (8 - s.depth - bit % 8));
        }
      }
  return WriteToBytes([&](FILE* f) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
      png_destroy_write_struct(&png, &info);
      return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), s.depth, s.type,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), int(s.palette.size()));
    if (!s.paletteAlpha.empty())
      png_set_tRNS(png, info, s.paletteAlpha.data(), int(s.paletteAlpha.size()), nullptr);
    if (s.transparentGrey >= 0) {
      png_color_16 t{};
      t.gray = png_uint_16(s.transparentGrey);
      png_set_tRNS(png, info, nullptr, 0, &t);
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(r.data());
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
  });
}

struct JpegSpec {
  J_COLOR_SPACE in;    // JCS_RGB, JCS_GRAYSCALE or JCS_CMYK
  J_COLOR_SPACE file;  // the colour space in the file (JCS_YCCK, JCS_CMYK ...)
  bool progressive;
  bool adobeMarker = true;  // false: CMYK without the Adobe marker, its samples not inverted
};

inline std::vector<uint8_t> MakeJpeg(const JpegSpec& s, int w, int h, const Sampler& sample) {
  return WriteToBytes([&](FILE* f) {
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = s.in == JCS_GRAYSCALE ? 1 : s.in == JCS_CMYK ? 4 : 3;
    c.in_color_space = s.in;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, s.file);
    if (!s.adobeMarker) c.write_Adobe_marker = FALSE;
    jpeg_set_quality(&c, 100, TRUE);
    for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (s.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * c.input_components);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x)
        for (int k = 0; k < c.input_components; ++k) row[size_t(x) * c.input_components + k] = JSAMPLE(sample(x, y, k));
      JSAMPROW r = row.data();
      jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
  });
}

// A BMP file: the 14-byte file header, the info header of `header` bytes (12, 40, 56, 124),
// the masks after a 40-byte header when given, the palette, then the pixel bytes.
struct BmpSpec {
  int header = 40;
  int32_t width = 0, height = 0;  // a negative height: top-down rows
  int bpp = 24;
  uint32_t compression = 0;
  std::vector<uint32_t> masks;     // after a 40-byte header, or inside a larger one
  std::vector<uint32_t> palette;   // 0x00RRGGBB
  uint32_t colours = 0;            // the header's colour count
  std::vector<uint8_t> pixels;
};

inline std::vector<uint8_t> MakeBmp(const BmpSpec& s) {
  std::vector<uint8_t> out(14 + size_t(s.header), 0);
  out[0] = 'B';
  out[1] = 'M';
  uint8_t* ih = &out[14];
  PutLE32(ih, uint32_t(s.header));
  if (s.header == 12) {
    ih[4] = uint8_t(s.width), ih[5] = uint8_t(s.width >> 8);
    ih[6] = uint8_t(s.height), ih[7] = uint8_t(s.height >> 8);
    ih[8] = 1;
    ih[10] = uint8_t(s.bpp);
  } else {
    PutLE32(ih + 4, uint32_t(s.width));
    PutLE32(ih + 8, uint32_t(s.height));
    ih[12] = 1;
    ih[14] = uint8_t(s.bpp);
    PutLE32(ih + 16, s.compression);
    PutLE32(ih + 32, s.colours);
    if (s.header > 40)
      for (size_t i = 0; i < s.masks.size() && 40 + 4 * i + 4 <= size_t(s.header); ++i) PutLE32(ih + 40 + 4 * i, s.masks[i]);
  }
  auto put32 = [&](uint32_t v) {
    uint8_t b[4];
    PutLE32(b, v);
    out.insert(out.end(), b, b + 4);
  };
  if (s.header == 40)
    for (uint32_t m : s.masks) put32(m);
  for (uint32_t c : s.palette) {
    if (s.header == 12) {
      out.push_back(uint8_t(c));
      out.push_back(uint8_t(c >> 8));
      out.push_back(uint8_t(c >> 16));
    } else {
      put32(c);
    }
  }
  PutLE32(&out[10], uint32_t(out.size()));
  out.insert(out.end(), s.pixels.begin(), s.pixels.end());
  PutLE32(&out[2], uint32_t(out.size()));
  return out;
}

}  // namespace codec_test

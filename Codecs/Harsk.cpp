// Harsk: BMP, our own reader and writer. Every field of the header is checked before it is
// used; the pixel bytes an uncompressed image needs are checked against the file's length
// before anything is allocated, and RLE runs are checked against the row and the image.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Formats.h"
#include "odata/LittleEndian.h"

namespace codec {
namespace {

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;
constexpr uint32_t kFileHeader = 14;
constexpr uint32_t kInfoHeader = 40, kV5Header = 124;

struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  uint8_t Get(uint32_t v) const {
    const uint32_t c = (v & mask) >> shift;
    if (bits >= 8) return uint8_t(c >> (bits - 8));
    return uint8_t((c * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1));
  }
};

struct BmpHead {
  ImageHead image;
  bool topDown = false;
  uint32_t compression = BI_RGB;
  int bpp = 0;
  uint32_t pixelsAt = 0;
  uint64_t rowBytes = 0;
  Channel r, g, b, a;  // 16- and 32-bit pixels
  bool guessAlpha = false;  // 32-bit BI_RGB: the spare byte is alpha unless it is 0 everywhere
  uint32_t palette[256] = {};
  uint32_t paletteCount = 0;
};

uint32_t GetLE16(const BYTE* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
void PutLE16(BYTE* p, uint16_t v) {
  p[0] = BYTE(v);
  p[1] = BYTE(v >> 8);
}

bool ReadExact(FILE* f, void* out, size_t n) { return fread(out, 1, n, f) == n; }

// A mask's position and width; false unless its bits are one run inside the pixel.
bool SetChannel(Channel* c, uint32_t mask, int bpp, bool optional, CodecError* err) {
  c->mask = mask;
  if (!mask) {
    if (!optional) err->Set("位域掩码宽度为零");
    return optional;
  }
  if (bpp < 32 && (mask >> bpp) != 0) {
    err->Set("位域掩码 0x%08X 超出 %d 位像素", mask, bpp);
    return false;
  }
  c->shift = __builtin_ctz(mask);
  const uint32_t run = mask >> c->shift;
  if ((run & (run + 1)) != 0) {
    err->Set("位域掩码 0x%08X 不连续", mask);
    return false;
  }
  c->bits = __builtin_popcount(mask);
  return true;
}

bool ParseHead(FILE* f, BmpHead* h, CodecError* err) {
  BYTE fh[kFileHeader];
  const size_t got = fread(fh, 1, kFileHeader, f);
  if (got < 2 || fh[0] != 'B' || fh[1] != 'M') {
    err->Set(got == 1 && fh[0] == 'B' ? "文件头不完整" : "不是 BMP 文件");
    return false;
  }
  if (got < kFileHeader) {
    err->Set("文件头不完整");
    return false;
  }
  h->pixelsAt = GetLE32(fh + 10);
  BYTE ih[kV5Header] = {};
  if (!ReadExact(f, ih, 4)) {
    err->Set("文件头不完整");
    return false;
  }
  const uint32_t size = GetLE32(ih);
  if (size != 12 && size != 40 && size != 52 && size != 56 && size != 108 && size != 124) {
    err->Set("不支持 %u 字节的 BMP 文件头", size);
    return false;
  }
  if (!ReadExact(f, ih + 4, size - 4)) {
    err->Set("文件头不完整");
    return false;
  }
  int64_t width, height;
  int planes;
  uint32_t colours = 0;
  if (size == 12) {
    width = GetLE16(ih + 4);
    height = GetLE16(ih + 6);
    planes = GetLE16(ih + 8);
    h->bpp = GetLE16(ih + 10);
  } else {
    width = int32_t(GetLE32(ih + 4));
    height = int32_t(GetLE32(ih + 8));
    planes = GetLE16(ih + 12);
    h->bpp = GetLE16(ih + 14);
    h->compression = GetLE32(ih + 16);
    colours = GetLE32(ih + 32);
  }
  if (planes != 1) {
    err->Set("BMP 文件头损坏（%d 个平面）", planes);
    return false;
  }
  h->topDown = height < 0;
  if (height < 0) height = -height;
  if (!CheckSize(width, height, err)) return false;
  h->image.width = int(width);
  h->image.height = int(height);
  h->image.bits = h->bpp;
  h->image.format = OLayer::myFORMAT_C32;
  const int bpp = h->bpp;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    err->Set("不支持的位深度 %d", bpp);
    return false;
  }
  const uint32_t c = h->compression;
  const bool fields = c == BI_BITFIELDS || c == BI_ALPHABITFIELDS;
  if (!(c == BI_RGB || (c == BI_RLE8 && bpp == 8) || (c == BI_RLE4 && bpp == 4) || (fields && (bpp == 16 || bpp == 32)))) {
    err->Set("不支持的 BMP 压缩方式 %u（%d 位）", c, bpp);
    return false;
  }
  if (h->topDown && (c == BI_RLE8 || c == BI_RLE4)) {
    err->Set("BMP 文件头损坏（RLE 压缩配上了自上而下的行序）");
    return false;
  }
  uint32_t headerEnd = kFileHeader + size;
  if (fields) {
    BYTE m[16] = {};
    if (size < 52) {
      const uint32_t n = c == BI_ALPHABITFIELDS ? 16 : 12;
      if (!ReadExact(f, m, n)) {
        err->Set("文件头不完整");
        return false;
      }
      headerEnd += n;
    } else {
      std::memcpy(m, ih + 40, size >= 56 ? 16 : 12);
    }
    if (!SetChannel(&h->r, GetLE32(m), bpp, false, err) || !SetChannel(&h->g, GetLE32(m + 4), bpp, false, err) ||
        !SetChannel(&h->b, GetLE32(m + 8), bpp, false, err) || !SetChannel(&h->a, GetLE32(m + 12), bpp, true, err))
      return false;
    const uint32_t all[4] = {h->r.mask, h->g.mask, h->b.mask, h->a.mask};
    for (int i = 0; i < 4; ++i)
      for (int j = i + 1; j < 4; ++j)
        if (all[i] & all[j]) {
          err->Set("位域掩码相互重叠");
          return false;
        }
  } else if (bpp == 16) {
    SetChannel(&h->r, 0x7C00, 16, false, err);
    SetChannel(&h->g, 0x03E0, 16, false, err);
    SetChannel(&h->b, 0x001F, 16, false, err);
  } else if (bpp == 32) {
    SetChannel(&h->r, 0x00FF0000, 32, false, err);
    SetChannel(&h->g, 0x0000FF00, 32, false, err);
    SetChannel(&h->b, 0x000000FF, 32, false, err);
    SetChannel(&h->a, 0xFF000000, 32, false, err);
    h->guessAlpha = true;
  }
  if (bpp <= 8) {
    // Without a count the palette is full size, or what fits before the pixels when less.
    const uint32_t most = 1u << bpp, entry = size == 12 ? 3 : 4;
    const uint32_t room = h->pixelsAt > headerEnd ? (h->pixelsAt - headerEnd) / entry : 0;
    h->paletteCount = colours ? colours : std::min(most, room);
    if (h->paletteCount == 0) {
      err->Set("BMP 文件头损坏（没有调色板）");
      return false;
    }
    if (h->paletteCount > most) {
      err->Set("调色板有 %u 种颜色，多于 %d 位图像所能用的", h->paletteCount, bpp);
      return false;
    }
    BYTE p[256 * 4];
    if (!ReadExact(f, p, size_t(h->paletteCount) * entry)) {
      err->Set("文件头不完整");
      return false;
    }
    for (uint32_t i = 0; i < h->paletteCount; ++i) {
      const BYTE* e = p + i * entry;
      h->palette[i] = 0xFF000000u | uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
    }
    headerEnd += h->paletteCount * entry;
  }
  if (h->pixelsAt < headerEnd) {
    err->Set("BMP 文件头损坏（像素数据始于第 %u 字节，落在文件头之内）", h->pixelsAt);
    return false;
  }
  h->rowBytes = (uint64_t(h->image.width) * uint64_t(bpp) + 31) / 32 * 4;
  // From here on the stream stands at the pixels.
  if (fseek(f, long(h->pixelsAt) - long(headerEnd), SEEK_CUR) != 0) {
    err->Set("文件头不完整");
    return false;
  }
  if (c == BI_RLE8 || c == BI_RLE4) return true;
  const int64_t left = BytesLeft(f);
  const uint64_t need = h->rowBytes * uint64_t(h->image.height);
  if (left < 0 || uint64_t(left) < need) {
    err->Set("文件不完整，在第 %llu 行中断（共 %d 行）", left < 0 ? 0ull : (unsigned long long)(uint64_t(left) / h->rowBytes),
             h->image.height);
    return false;
  }
  return true;
}

// One uncompressed file row into a layer row; false when a palette index is out of range.
bool ConvertRow(const BmpHead& h, const BYTE* in, uint32_t* out, int fileRow, bool* anyAlpha, CodecError* err) {
  const int w = h.image.width;
  switch (h.bpp) {
    case 1:
    case 4:
    case 8: {
      const int perByte = 8 / h.bpp;
      const unsigned lowMask = (1u << h.bpp) - 1;
      for (int x = 0; x < w; ++x) {
        const int shift = 8 - h.bpp * (x % perByte + 1);
        const uint32_t index = (in[x / perByte] >> shift) & lowMask;
        if (index >= h.paletteCount) {
          err->Set("调色板索引 %u 超出范围（第 %d 行）", index, fileRow);
          return false;
        }
        out[x] = h.palette[index];
      }
      return true;
    }
    case 24:
      for (int x = 0; x < w; ++x, in += 3) out[x] = 0xFF000000u | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0];
      return true;
    default: {
      const int step = h.bpp / 8;
      for (int x = 0; x < w; ++x, in += step) {
        const uint32_t v = step == 2 ? GetLE16(in) : GetLE32(in);
        const uint32_t alpha = h.a.mask ? h.a.Get(v) : 0xFF;
        if (alpha) *anyAlpha = true;
        out[x] = alpha << 24 | uint32_t(h.r.Get(v)) << 16 | uint32_t(h.g.Get(v)) << 8 | h.b.Get(v);
      }
      return true;
    }
  }
}

bool DecodePlain(FILE* f, const BmpHead& h, const LayerLock& lock, CodecError* err) {
  std::vector<BYTE> row(h.rowBytes);
  bool anyAlpha = false;
  const int rows = h.image.height;
  for (int i = 0; i < rows; ++i) {
    if (!ReadExact(f, row.data(), row.size())) {
      err->Set("文件不完整，在第 %d 行中断（共 %d 行）", i, rows);
      return false;
    }
    const int y = h.topDown ? i : rows - 1 - i;
    if (!ConvertRow(h, row.data(), reinterpret_cast<uint32_t*>(lock.Row(y)), i, &anyAlpha, err)) return false;
  }
  if (h.guessAlpha && !anyAlpha)
    for (int y = 0; y < rows; ++y) {
      auto* p = reinterpret_cast<uint32_t*>(lock.Row(y));
      for (int x = 0; x < h.image.width; ++x) p[x] |= 0xFF000000u;
    }
  return true;
}

// RLE8 and RLE4: pixels no code reaches stay transparent.
bool DecodeRle(FILE* f, const BmpHead& h, const LayerLock& lock, CodecError* err) {
  const int w = h.image.width, rows = h.image.height;
  for (int y = 0; y < rows; ++y) std::memset(lock.Row(y), 0, size_t(w) * 4);
  const bool four = h.compression == BI_RLE4;
  int x = 0, line = 0;  // line counts from the bottom row
  auto colour = [&](uint32_t index, uint32_t* out) {
    if (index >= h.paletteCount) {
      err->Set("调色板索引 %u 超出范围（第 %d 行）", index, line);
      return false;
    }
    *out = h.palette[index];
    return true;
  };
  auto target = [&](int n) -> uint32_t* {
    if (line >= rows) {
      err->Set("RLE 数据超出最后一行");
      return nullptr;
    }
    if (n > w - x) {
      err->Set("RLE 行程超出第 %d 行的末尾", line);
      return nullptr;
    }
    return reinterpret_cast<uint32_t*>(lock.Row(rows - 1 - line)) + x;
  };
  BYTE buf[256];
  for (;;) {
    BYTE code[2];
    if (!ReadExact(f, code, 2)) {
      // An image whose every row ended needs no end-of-bitmap code.
      if (line >= rows) return true;
      err->Set("文件不完整，在第 %d 行中断（共 %d 行）", line, rows);
      return false;
    }
    if (code[0] > 0) {
      uint32_t* out = target(code[0]);
      if (!out) return false;
      for (int i = 0; i < code[0]; ++i) {
        const uint32_t index = four ? (i % 2 ? code[1] & 0xF : code[1] >> 4) : code[1];
        if (!colour(index, out + i)) return false;
      }
      x += code[0];
      continue;
    }
    if (code[1] == 0) {  // end of line
      x = 0;
      ++line;
    } else if (code[1] == 1) {  // end of bitmap
      return true;
    } else if (code[1] == 2) {  // delta
      BYTE d[2];
      if (!ReadExact(f, d, 2)) {
        err->Set("文件不完整，在第 %d 行中断（共 %d 行）", line, rows);
        return false;
      }
      x += d[0];
      line += d[1];
      if (x > w || line > rows || (line == rows && x > 0)) {
        err->Set("RLE 位移超出图像");
        return false;
      }
    } else {  // absolute run
      const int n = code[1];
      const int bytes = ((four ? (n + 1) / 2 : n) + 1) & ~1;
      uint32_t* out = target(n);
      if (!out) return false;
      if (!ReadExact(f, buf, size_t(bytes))) {
        err->Set("文件不完整，在第 %d 行中断（共 %d 行）", line, rows);
        return false;
      }
      for (int i = 0; i < n; ++i) {
        const uint32_t index = four ? (i % 2 ? buf[i / 2] & 0xF : buf[i / 2] >> 4) : buf[i];
        if (!colour(index, out + i)) return false;
      }
      x += n;
    }
  }
}

}  // namespace

bool BmpReadHead(FILE* f, ImageHead* head, CodecError* err) {
  BmpHead h;
  if (!ParseHead(f, &h, err)) return false;
  *head = h.image;
  return true;
}

bool BmpDecode(FILE* f, const LayerLock& lock, CodecError* err) {
  BmpHead h;
  if (!ParseHead(f, &h, err) || !CheckTarget(lock, h.image, err)) return false;
  if (h.compression == BI_RLE8 || h.compression == BI_RLE4) return DecodeRle(f, h, lock, err);
  return DecodePlain(f, h, lock, err);
}

bool BmpEncode(FILE* f, const LayerLock& lock, const EncodeParams& params, CodecError* err) {
  const bool alpha = LayerHasAlpha(lock);
  const int bpp = alpha ? 32 : 24;
  const uint32_t dib = alpha ? kV5Header : kInfoHeader;
  const uint32_t rowBytes = (uint32_t(lock.nWidth) * uint32_t(bpp) + 31) / 32 * 4;
  const uint32_t pixels = rowBytes * uint32_t(lock.nHeight);
  BYTE head[kFileHeader + kV5Header] = {};
  head[0] = 'B';
  head[1] = 'M';
  PutLE32(head + 2, kFileHeader + dib + pixels);
  PutLE32(head + 10, kFileHeader + dib);
  BYTE* ih = head + kFileHeader;
  PutLE32(ih, dib);
  PutLE32(ih + 4, uint32_t(lock.nWidth));
  PutLE32(ih + 8, uint32_t(lock.nHeight));  // bottom-up rows
  PutLE16(ih + 12, 1);
  PutLE16(ih + 14, uint16_t(bpp));
  PutLE32(ih + 16, alpha ? BI_BITFIELDS : BI_RGB);
  PutLE32(ih + 20, pixels);
  PutLE32(ih + 24, 2835);  // 72 dots per inch
  PutLE32(ih + 28, 2835);
  if (alpha) {
    PutLE32(ih + 40, 0x00FF0000);
    PutLE32(ih + 44, 0x0000FF00);
    PutLE32(ih + 48, 0x000000FF);
    PutLE32(ih + 52, 0xFF000000);
    PutLE32(ih + 56, 0x73524742);  // 'sRGB'
    PutLE32(ih + 108, 4);          // rendering intent: images
  }
  if (fwrite(head, 1, kFileHeader + dib, f) != kFileHeader + dib) {
    err->Set("无法写入文件");
    return false;
  }
  std::vector<BYTE> bgra(size_t(lock.nWidth) * 4), row(rowBytes, 0);
  for (int i = 0; i < lock.nHeight; ++i) {
    if (!WriterGoesOn(params, i, lock.nHeight, err)) return false;
    const int y = lock.nHeight - 1 - i;
    if (alpha) {
      RowToBgra(lock, y, row.data());
    } else {
      RowToBgra(lock, y, bgra.data());
      for (int x = 0; x < lock.nWidth; ++x) std::memcpy(&row[size_t(x) * 3], &bgra[size_t(x) * 4], 3);
    }
    if (fwrite(row.data(), 1, rowBytes, f) != rowBytes) {
      err->Set("无法写入文件（第 %d 行，共 %d 行）", i, lock.nHeight);
      return false;
    }
  }
  return true;
}

}  // namespace codec

// Kestrum: PNG through libpng. libpng reports errors by longjmp, so each call keeps its state
// in a plain record made before setjmp and nothing with a destructor lives across it.
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "Formats.h"

namespace codec {
namespace {

// Chunks before the pixels (text, profiles) may not make libpng allocate more than this.
constexpr png_alloc_size_t kChunkMax = 8u << 20;

struct PngState {
  FILE* file = nullptr;
  CodecError* err = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool eof = false;       // the stream ended early
  bool writeFailed = false;
  int row = -1;           // the row being read or written (-1: before the rows)
  int rows = 0;
  int pass = 0;
  int passes = 1;
  char message[200] = {};
};

void OnError(png_structp png, png_const_charp msg) {
  auto* s = static_cast<PngState*>(png_get_error_ptr(png));
  snprintf(s->message, sizeof s->message, "%s", msg ? msg : "未知错误");
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep out, size_t n) {
  auto* s = static_cast<PngState*>(png_get_io_ptr(png));
  if (fread(out, 1, n, s->file) != n) {
    s->eof = true;
    png_error(png, "文件意外结束");
  }
}
void WriteBytes(png_structp png, png_bytep in, size_t n) {
  auto* s = static_cast<PngState*>(png_get_io_ptr(png));
  if (fwrite(in, 1, n, s->file) != n) {
    s->writeFailed = true;
    png_error(png, "无法写入文件");
  }
}
void Flush(png_structp png) {
  auto* s = static_cast<PngState*>(png_get_io_ptr(png));
  fflush(s->file);
}

// The failure after a longjmp, in plain words.
void ReportReadFailure(const PngState& s) {
  if (s.eof && s.row < 0) {
    s.err->Set("文件头不完整");
  } else if (s.eof && s.row >= s.rows) {
    s.err->Set("文件不完整，在最后一行之后中断");
  } else if (s.eof) {
    if (s.passes > 1)
      s.err->Set("文件不完整，在第 %d 行中断（共 %d 行，第 %d 遍，共 %d 遍）", s.row, s.rows, s.pass + 1, s.passes);
    else
      s.err->Set("文件不完整，在第 %d 行中断（共 %d 行）", s.row, s.rows);
  } else if (s.row >= 0) {
    s.err->Set("PNG 数据在第 %d 行损坏（共 %d 行）：%s", s.row, s.rows, s.message);
  } else {
    s.err->Set("PNG 文件损坏：%s", s.message);
  }
}

// The IHDR chunk read ahead of libpng: the size is judged before libpng sees it, and a file far
// too short for its pixels is refused before anything of the image's size exists (deflate
// packs at most 1032 bytes into one).
bool CheckHeaderAhead(PngState& s) {
  png_byte ihdr[18];
  const size_t got = fread(ihdr, 1, sizeof ihdr, s.file);
  if (got < sizeof ihdr) {
    s.err->Set("文件头不完整");
    return false;
  }
  if (std::memcmp(ihdr + 4, "IHDR", 4) != 0) {
    s.err->Set("PNG 文件损坏：第一个块不是 IHDR");
    return false;
  }
  const uint64_t w = png_get_uint_32(ihdr + 8), h = png_get_uint_32(ihdr + 12);
  if (!CheckSize(int64_t(w), int64_t(h), s.err)) return false;
  const int depth = ihdr[16] ? ihdr[16] : 1;
  static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  const int channels = ihdr[17] < 7 && kChannels[ihdr[17]] ? kChannels[ihdr[17]] : 1;
  const uint64_t raw = h * (1 + (w * uint64_t(channels) * uint64_t(depth) + 7) / 8);
  const int64_t left = BytesLeft(s.file);
  if (left >= 0 && uint64_t(left) * 1032 < raw) {
    s.err->Set("文件不完整：%lld 字节装不下 %llu x %llu 的图像", (long long)left + 26, (unsigned long long)w,
               (unsigned long long)h);
    return false;
  }
  return fseek(s.file, -long(sizeof ihdr), SEEK_CUR) == 0;
}

// A chunk's type as text, with anything but a letter shown as '?'.
void ChunkName(const png_byte* type, char out[5]) {
  for (int i = 0; i < 4; ++i) {
    const png_byte c = type[i];
    out[i] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? char(c) : '?';
  }
  out[4] = 0;
}

// Every chunk's length measured against what the file still holds, before libpng sees any:
// libpng allocates and clears a text chunk's whole declared length before it finds out that
// the file is shorter. Pixel chunks may be cut short; the rows then tell where they ended.
bool CheckChunksAhead(PngState& s) {
  const long start = ftell(s.file);
  int64_t left = BytesLeft(s.file);
  if (start < 0 || left < 0) return true;  // no end to measure against
  bool ok = true;
  png_byte head[8];
  while (left >= 8 && fread(head, 1, 8, s.file) == 8) {
    left -= 8;
    const uint32_t length = png_get_uint_32(head);
    const bool pixels = std::memcmp(head + 4, "IDAT", 4) == 0;
    if (int64_t(length) + 4 > left) {
      if (!pixels) {
        char name[5];
        ChunkName(head + 4, name);
        s.err->Set("文件不完整：%s 块声明了 %u 字节的数据，文件只余下 %lld 字节", name, length, (long long)left);
        ok = false;
      }
      break;
    }
    if (std::memcmp(head + 4, "IEND", 4) == 0 || fseek(s.file, long(length) + 4, SEEK_CUR) != 0) break;
    left -= int64_t(length) + 4;
  }
  return fseek(s.file, start, SEEK_SET) == 0 && ok;
}

bool IsMaskImage(png_structp png, png_infop info) {
  return png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY && !png_get_valid(png, info, PNG_INFO_tRNS);
}

// Signature, then the chunks up to the pixels; false with the error set.
bool OpenRead(PngState& s, ImageHead* head) {
  png_byte sig[8];
  const size_t got = fread(sig, 1, 8, s.file);
  if (got < 8 || png_sig_cmp(sig, 0, 8) != 0) {
    if (got > 0 && png_sig_cmp(sig, 0, got) == 0)
      s.err->Set("文件头不完整");
    else
      s.err->Set("不是 PNG 文件");
    return false;
  }
  if (!CheckHeaderAhead(s) || !CheckChunksAhead(s)) return false;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
  if (!s.png) {
    s.err->Set("内存不足");
    return false;
  }
  s.info = png_create_info_struct(s.png);
  if (!s.info) {
    s.err->Set("内存不足");
    return false;
  }
  if (setjmp(png_jmpbuf(s.png))) {
    ReportReadFailure(s);
    return false;
  }
  png_set_read_fn(s.png, &s, ReadBytes);
  png_set_sig_bytes(s.png, 8);
  png_set_chunk_malloc_max(s.png, kChunkMax);
  png_set_chunk_cache_max(s.png, 1000);
  png_read_info(s.png, s.info);
  const png_uint_32 w = png_get_image_width(s.png, s.info), h = png_get_image_height(s.png, s.info);
  if (!CheckSize(w, h, s.err)) return false;
  head->width = int(w);
  head->height = int(h);
  head->bits = png_get_bit_depth(s.png, s.info);
  head->format = IsMaskImage(s.png, s.info) ? OLayer::myFORMAT_A16 : OLayer::myFORMAT_C32;
  return true;
}

void CloseRead(PngState& s) {
  if (s.png) png_destroy_read_struct(&s.png, s.info ? &s.info : nullptr, nullptr);
}

// Transformations that make libpng's rows the layer's own: B, G, R, A bytes for a colour
// layer, little-endian 16-bit grey for a mask layer.
void SetLayerTransforms(png_structp png, png_infop info, int format) {
  const int depth = png_get_bit_depth(png, info);
  if (format == OLayer::myFORMAT_A16) {
    if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (depth < 16) png_set_expand_16(png);
    png_set_swap(png);
    return;
  }
  png_set_expand(png);  // palette, low depths and tRNS to 8-bit channels with alpha
  if (depth == 16) png_set_scale_16(png);
  const int type = png_get_color_type(png, info);
  if (!(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
}

}  // namespace

bool PngReadHead(FILE* f, ImageHead* head, CodecError* err) {
  PngState s;
  s.file = f;
  s.err = err;
  const bool ok = OpenRead(s, head);
  CloseRead(s);
  return ok;
}

bool PngDecode(FILE* f, const LayerLock& lock, CodecError* err) {
  PngState s;
  s.file = f;
  s.err = err;
  ImageHead head;
  bool ok = OpenRead(s, &head) && CheckTarget(lock, head, err);
  if (ok) {
    if (setjmp(png_jmpbuf(s.png))) {
      ReportReadFailure(s);
      ok = false;
    } else {
      SetLayerTransforms(s.png, s.info, head.format);
      s.passes = png_set_interlace_handling(s.png);
      png_read_update_info(s.png, s.info);
      if (png_get_rowbytes(s.png, s.info) != size_t(head.width) * size_t(head.format)) {
        err->Set("不支持此 PNG 像素布局");
        ok = false;
      } else {
        s.rows = head.height;
        // Interlaced passes write their pixels into the rows the earlier passes filled.
        for (s.pass = 0; s.pass < s.passes; ++s.pass)
          for (s.row = 0; s.row < s.rows; ++s.row) png_read_row(s.png, lock.Row(s.row), nullptr);
        s.pass = s.passes - 1;
        s.row = s.rows;
        png_read_end(s.png, nullptr);
      }
    }
  }
  CloseRead(s);
  return ok;
}

bool PngEncode(FILE* f, const LayerLock& lock, const EncodeParams& params, CodecError* err) {
  PngState s;
  s.file = f;
  s.err = err;
  const bool mask = lock.nPixelSize == 2;
  // A mask row goes through this one-row buffer; colour rows go to libpng as they are.
  std::vector<uint8_t> grey;
  if (mask) grey.resize(size_t(lock.nWidth) * 2);
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
  if (s.png) s.info = png_create_info_struct(s.png);
  if (!s.png || !s.info) {
    err->Set("内存不足");
    if (s.png) png_destroy_write_struct(&s.png, nullptr);
    return false;
  }
  volatile bool ok = true;
  if (setjmp(png_jmpbuf(s.png))) {
    if (err->Empty()) {
      if (s.writeFailed)
        err->Set("无法写入文件（第 %d 行，共 %d 行）", s.row < 0 ? 0 : s.row, lock.nHeight);
      else
        err->Set("PNG 写入失败：%s", s.message);
    }
    ok = false;
  } else {
    png_set_write_fn(s.png, &s, WriteBytes, Flush);
    png_set_compression_level(s.png, Z_DEFAULT_COMPRESSION);
    png_set_IHDR(s.png, s.info, png_uint_32(lock.nWidth), png_uint_32(lock.nHeight), 8,
                 mask ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(s.png, s.info);
    if (!mask) png_set_bgr(s.png);
    s.rows = lock.nHeight;
    for (s.row = 0; s.row < s.rows; ++s.row) {
      if (!WriterGoesOn(params, s.row, s.rows, err)) png_error(s.png, "已取消");
      if (mask) {
        MaskRowToGreyAlpha(lock, s.row, grey.data());
        png_write_row(s.png, grey.data());
      } else {
        png_write_row(s.png, lock.Row(s.row));
      }
    }
    png_write_end(s.png, nullptr);
  }
  png_destroy_write_struct(&s.png, &s.info);
  return ok;
}

}  // namespace codec

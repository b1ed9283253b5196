// Sevlin: JPEG through libjpeg-turbo. Errors come back by longjmp, and so do warnings:
// libjpeg answers a truncated or corrupt stream with a warning and grey rows, which would
// half-load the image.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>
#include <jerror.h>

#include "Formats.h"

namespace codec {
namespace {

struct JpegError {
  jpeg_error_mgr mgr;  // first: libjpeg hands this address back
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = {};
  bool eof = false;
};

void OnExit(j_common_ptr info) {
  auto* e = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, e->message);
  longjmp(e->jump, 1);
}
void OnMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // traces
  auto* e = reinterpret_cast<JpegError*>(info->err);
  e->eof = info->err->msg_code == JWRN_JPEG_EOF;
  OnExit(info);
}

void InitError(JpegError* e) {
  jpeg_std_error(&e->mgr);
  e->mgr.error_exit = OnExit;
  e->mgr.emit_message = OnMessage;
}

bool LooksLikeJpeg(FILE* f, CodecError* err) {
  unsigned char sig[3];
  const size_t got = fread(sig, 1, 3, f);
  if (got < 3 || sig[0] != 0xFF || sig[1] != 0xD8 || sig[2] != 0xFF) {
    err->Set(got > 0 && sig[0] == 0xFF && (got < 2 || sig[1] == 0xD8) ? "文件头不完整" : "不是 JPEG 文件");
    return false;
  }
  return fseek(f, -3, SEEK_CUR) == 0;
}

void ReportReadFailure(const JpegError& e, int row, int rows, CodecError* err) {
  if (row < 0)
    err->Set(e.eof ? "文件头不完整" : "JPEG 文件损坏：%s", e.message);
  else if (e.eof)
    err->Set("文件不完整，在第 %d 行中断（共 %d 行）", row, rows);
  else
    err->Set("JPEG 数据在第 %d 行损坏（共 %d 行）：%s", row, rows, e.message);
}

// Reads the header into d; false with the error set.
bool ReadHeader(jpeg_decompress_struct* d, ImageHead* head, CodecError* err) {
  jpeg_read_header(d, TRUE);
  if (!CheckSize(d->image_width, d->image_height, err)) return false;
  head->width = int(d->image_width);
  head->height = int(d->image_height);
  head->bits = d->data_precision;
  head->format = d->jpeg_color_space == JCS_GRAYSCALE ? OLayer::myFORMAT_A16 : OLayer::myFORMAT_C32;
  return true;
}

// Huffman coding spends at least one bit on each 8 x 8 block of the first component: a file
// far shorter than that is refused before anything of the image's size exists.
bool CheckLength(const jpeg_decompress_struct& d, int64_t fileBytes, CodecError* err) {
  if (d.arith_code || fileBytes < 0) return true;
  const uint64_t blocks = (uint64_t(d.image_width) + 7) / 8 * ((uint64_t(d.image_height) + 7) / 8);
  if (uint64_t(fileBytes) * 8 < blocks) {
    err->Set("文件不完整：%lld 字节装不下 %u x %u 的图像", (long long)fileBytes, d.image_width,
             d.image_height);
    return false;
  }
  return true;
}

// CMYK samples (inverted when an Adobe marker says so) to B, G, R, A bytes, in place.
void CmykToBgra(uint8_t* p, int width, bool inverted) {
  for (int x = 0; x < width; ++x, p += 4) {
    int c = p[0], m = p[1], y = p[2], k = p[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    // Here 255 means no ink.
    p[2] = uint8_t((c * k + 127) / 255);
    p[1] = uint8_t((m * k + 127) / 255);
    p[0] = uint8_t((y * k + 127) / 255);
    p[3] = 0xFF;
  }
}

// 8-bit grey in the first half of a mask row to 16-bit coverage, from the end backwards.
void GreyToCoverage(uint8_t* row, int width) {
  auto* out = reinterpret_cast<uint16_t*>(row);
  for (int x = width - 1; x >= 0; --x) out[x] = CoverageOf8(row[x]);
}

// The header, and with a lock the rows too; head receives what the header says.
bool ReadJpeg(FILE* f, ImageHead* head, const LayerLock* lock, CodecError* err) {
  if (!LooksLikeJpeg(f, err)) return false;
  const int64_t fileBytes = BytesLeft(f);
  jpeg_decompress_struct d;
  JpegError e;
  d.err = &e.mgr;
  InitError(&e);
  volatile bool ok = false;
  if (setjmp(e.jump)) {
    // Past the header (203: a progressive image's scans being read) the rows count.
    ReportReadFailure(e, lock && d.global_state >= 203 ? int(d.output_scanline) : -1, int(d.image_height), err);
  } else {
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    if (!ReadHeader(&d, head, err) || !CheckLength(d, fileBytes, err)) {
    } else if (!lock) {
      ok = true;
    } else if (CheckTarget(*lock, *head, err)) {
      const bool cmyk = d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK;
      d.out_color_space = head->format == OLayer::myFORMAT_A16 ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGRA;
      jpeg_start_decompress(&d);
      if (int(d.output_width) != head->width || int(d.output_height) != head->height) {
        err->Set("不支持此 JPEG 布局");
      } else {
        while (d.output_scanline < d.output_height) {
          JSAMPROW row = lock->Row(int(d.output_scanline));
          jpeg_read_scanlines(&d, &row, 1);
          if (head->format == OLayer::myFORMAT_A16)
            GreyToCoverage(row, head->width);
          else if (cmyk)
            CmykToBgra(row, head->width, d.saw_Adobe_marker);
        }
        jpeg_finish_decompress(&d);
        ok = true;
      }
    }
  }
  jpeg_destroy_decompress(&d);
  return ok;
}

}  // namespace

bool JpegReadHead(FILE* f, ImageHead* head, CodecError* err) { return ReadJpeg(f, head, nullptr, err); }

bool JpegDecode(FILE* f, const LayerLock& lock, CodecError* err) {
  ImageHead head;
  return ReadJpeg(f, &head, &lock, err);
}

bool JpegEncode(FILE* f, const LayerLock& lock, const EncodeParams& params, CodecError* err) {
  // One row of RGB: the layer's pixels over the background.
  std::vector<uint8_t> rgb(size_t(lock.nWidth) * 3), bgra(size_t(lock.nWidth) * 4);
  const uint32_t bg[3] = {(params.background >> 16) & 0xFF, (params.background >> 8) & 0xFF, params.background & 0xFF};
  jpeg_compress_struct c;
  JpegError e;
  c.err = &e.mgr;
  InitError(&e);
  volatile int row = 0;
  volatile bool ok = false;
  if (setjmp(e.jump)) {
    if (err->Empty()) err->Set("JPEG 写入在第 %d 行失败（共 %d 行）：%s", int(row), lock.nHeight, e.message);
  } else {
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(lock.nWidth);
    c.image_height = JDIMENSION(lock.nHeight);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    const int quality = params.quality < 1 ? 1 : params.quality > 100 ? 100 : params.quality;
    jpeg_set_quality(&c, quality, TRUE);
    if (quality >= 90) {
      c.comp_info[0].h_samp_factor = 1;
      c.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < lock.nHeight; ++y) {
      row = y;
      if (!WriterGoesOn(params, y, lock.nHeight, err)) break;
      RowToBgra(lock, y, bgra.data());
      for (int x = 0; x < lock.nWidth; ++x) {
        const uint8_t* p = &bgra[size_t(x) * 4];
        uint8_t* q = &rgb[size_t(x) * 3];
        const uint32_t a = p[3];
        if (a == 0xFF) {  // most pixels: no blending
          q[0] = p[2], q[1] = p[1], q[2] = p[0];
        } else {
          for (int k = 0; k < 3; ++k) q[k] = uint8_t((p[2 - k] * a + bg[k] * (255 - a) + 127) / 255);
        }
      }
      JSAMPROW r = rgb.data();
      jpeg_write_scanlines(&c, &r, 1);
      row = y + 1;
    }
    if (row == lock.nHeight) {
      jpeg_finish_compress(&c);
      ok = true;
    }
  }
  jpeg_destroy_compress(&c);
  return ok;
}

}  // namespace codec

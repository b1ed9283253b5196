// Layers held in plain memory behind a LayerLock, images in memory streams, and the pixel
// patterns the codec tests compare.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "Formats.h"

namespace codec_test {

// A layer of either format whose pixels live in a vector; the lock points into it.
struct MemLayer {
  MemLayer(int w, int h, int format, int pitchExtra = 3) : bytes(size_t(w + pitchExtra) * h * format) {
    lock.nWidth = w;
    lock.nHeight = h;
    lock.nPitch = w + pitchExtra;
    lock.nPixelSize = format;
    lock.cbRow = uint32_t(lock.nPitch * format);
    lock.dwColor = 0x00204080;  // red 0x80, green 0x40, blue 0x20
    lock.pPixels = bytes.data();
  }
  uint32_t& C(int x, int y) { return reinterpret_cast<uint32_t*>(lock.Row(y))[x]; }
  uint16_t& M(int x, int y) { return reinterpret_cast<uint16_t*>(lock.Row(y))[x]; }
  std::vector<BYTE> bytes;
  LayerLock lock;
};

// A deterministic mix of colours with alpha 0, 1, 254 and 255 at the edges.
inline void FillColour(MemLayer& m, uint32_t seed = 7) {
  uint32_t s = seed * 2654435761u + 1;
  for (int y = 0; y < m.lock.nHeight; ++y)
    for (int x = 0; x < m.lock.nWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      static const uint32_t edge[4] = {0x00, 0x01, 0xFE, 0xFF};
      const uint32_t a = (x == 0 || y == 0) ? edge[(x + y) % 4] : (s >> 24);
      m.C(x, y) = a << 24 | (s & 0xFFFFFF);
    }
}

inline void FillOpaque(MemLayer& m) {
  FillColour(m);
  for (int y = 0; y < m.lock.nHeight; ++y)
    for (int x = 0; x < m.lock.nWidth; ++x) m.C(x, y) |= 0xFF000000u;
}

// Smooth colours, as a photograph has them.
inline void FillPhoto(MemLayer& m) {
  for (int y = 0; y < m.lock.nHeight; ++y)
    for (int x = 0; x < m.lock.nWidth; ++x) {
      const uint32_t r = uint32_t(128 + 100 * std::sin(x * 0.05 + y * 0.02));
      const uint32_t g = uint32_t(128 + 100 * std::cos(y * 0.04));
      const uint32_t b = uint32_t((x * 3 + y * 2) & 0xFF) / 2 + 64;
      m.C(x, y) = 0xFF000000u | r << 16 | g << 8 | b;
    }
}

// A stream over bytes (a private copy), read or written in memory.
struct MemFile {
  explicit MemFile(std::vector<uint8_t> in) : data(std::move(in)) {
    f = fmemopen(data.empty() ? nullptr : data.data(), data.empty() ? 1 : data.size(), "rb");
  }
  ~MemFile() {
    if (f) fclose(f);
  }
  std::vector<uint8_t> data;
  FILE* f;
};

// Writes through a writer into a byte vector.
template <class Fn>
std::vector<uint8_t> WriteToBytes(Fn write) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&buf, &size);
  const bool ok = write(f);
  fclose(f);
  std::vector<uint8_t> out(buf, buf + size);
  free(buf);
  if (!ok) out.clear();
  return out;
}

inline std::vector<uint8_t> Encode(const codec::FormatCalls& calls, const LayerLock& lock, int quality = 100,
                                   uint32_t background = 0, std::string* error = nullptr) {
  codec::CodecError err;
  codec::EncodeParams params{quality, background, nullptr};
  auto out = WriteToBytes([&](FILE* f) { return calls.encode(f, lock, params, &err); });
  if (error) *error = err.Text();
  return out;
}

// Reads the head, makes a layer of its size and format, decodes; the error's words in *error.
struct Decoded {
  bool ok = false;
  codec::ImageHead head;
  std::string error;
  std::unique_ptr<MemLayer> layer;
};
inline Decoded Decode(const codec::FormatCalls& calls, const std::vector<uint8_t>& bytes) {
  Decoded d;
  codec::CodecError err;
  {
    MemFile m(bytes);
    if (!calls.readHead(m.f, &d.head, &err)) {
      d.error = err.Text();
      return d;
    }
  }
  d.layer = std::make_unique<MemLayer>(d.head.width, d.head.height, d.head.format);
  MemFile m(bytes);
  d.ok = calls.decode(m.f, d.layer->lock, &err);
  d.error = err.Text();
  return d;
}

}  // namespace codec_test

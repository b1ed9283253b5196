// One image reader fed the fuzz input as a file (CODEC_FUZZ_CALLS names the format: the PNG
// and JPEG wrappers around libpng and libjpeg-turbo, or our BMP reader). A head it accepts
// must give a size in 1..10000 and a layer format; a decode that succeeds must survive a
// write and a second read, bit for bit for the lossless formats.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSystem.h"
#include "Formats.h"

namespace {

using Bytes = std::vector<uint8_t>;
const codec::FormatCalls& kCalls = codec::CODEC_FUZZ_CALLS;
// Larger images are only read to their head: the decode of 10000 x 10000 pixels is slow.
constexpr uint64_t kMaxDecodePixels = uint64_t(1) << 20;

struct Layer {
  Layer(int w, int h, int format) : bytes(size_t(w) * size_t(h) * size_t(format)) {
    lock.nWidth = w;
    lock.nHeight = h;
    lock.nPitch = w;
    lock.nPixelSize = format;
    lock.cbRow = uint32_t(w * format);
    lock.dwColor = 0x00336699;
    lock.pPixels = bytes.data();
  }
  Bytes bytes;
  LayerLock lock;
};

bool ReadHead(const Bytes& in, codec::ImageHead* head) {
  FILE* f = fmemopen(const_cast<uint8_t*>(in.data()), in.size(), "rb");
  if (!f) return false;
  codec::CodecError err;
  const bool ok = kCalls.readHead(f, head, &err);
  fclose(f);
  FUZZ_CHECK(ok == err.Empty());  // a refusal always has words
  return ok;
}

bool Decode(const Bytes& in, Layer* layer) {
  FILE* f = fmemopen(const_cast<uint8_t*>(in.data()), in.size(), "rb");
  if (!f) return false;
  codec::CodecError err;
  const bool ok = kCalls.decode(f, layer->lock, &err);
  fclose(f);
  FUZZ_CHECK(ok == err.Empty());
  return ok;
}

Bytes Encode(const LayerLock& lock, int quality) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&buf, &size);
  codec::CodecError err;
  codec::EncodeParams params{quality, 0x808080, nullptr};
  const bool ok = kCalls.encode(f, lock, params, &err);
  fclose(f);
  Bytes out(buf, buf + size);
  free(buf);
  FUZZ_CHECK(ok);
  return out;
}

void WriteSeeds(const char* folder) {
  int n = 0;
  auto put = [&](const Bytes& b) {
    const std::string path = std::string(folder) + "/seed" + std::to_string(n++);
    if (FILE* f = fopen(path.c_str(), "wb")) {
      fwrite(b.data(), 1, b.size(), f);
      fclose(f);
    }
  };
  for (int format : {4, 2})
    for (int w : {1, 7, 33}) {
      Layer l(w, 5, format);
      for (size_t i = 0; i < l.bytes.size(); ++i) l.bytes[i] = uint8_t(i * 37 + (i % 7 == 0 ? 0 : 200));
      put(Encode(l.lock, 90));
      put(Encode(l.lock, 30));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  WriteSeedsWhenAsked("TAVRIK_CODEC_SEEDS", WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes in(data, data + size);
  codec::ImageHead head;
  if (!ReadHead(in, &head)) return 0;
  FUZZ_CHECK(head.width >= 1 && head.width <= 10000 && head.height >= 1 && head.height <= 10000);
  FUZZ_CHECK(head.format == OLayer::myFORMAT_A16 || head.format == OLayer::myFORMAT_C32);
  if (uint64_t(head.width) * uint64_t(head.height) > kMaxDecodePixels) return 0;
  Layer layer(head.width, head.height, head.format);
  if (!Decode(in, &layer)) return 0;
  // What was read is written and read again; PNG and BMP give back every colour pixel.
  const Bytes again = Encode(layer.lock, 100);
  codec::ImageHead second;
  FUZZ_CHECK(ReadHead(again, &second));
  FUZZ_CHECK(second.width == head.width && second.height == head.height);
  Layer back(second.width, second.height, second.format);
  FUZZ_CHECK(Decode(again, &back));
  if (&kCalls != &codec::kJpegCalls && head.format == OLayer::myFORMAT_C32) FUZZ_CHECK(back.bytes == layer.bytes);
  return 0;
}

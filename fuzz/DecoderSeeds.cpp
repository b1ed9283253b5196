// Writes a starting corpus for decoder_fuzz: zlib streams of several kinds, since the
// fuzzer cannot see inside zlib to find valid headers and blocks by itself.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Deflate(const Bytes& data, int level, int strategy, int flushEvery, const char* dict) {
  z_stream s{};
  if (deflateInit2(&s, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) return {};
  if (dict) deflateSetDictionary(&s, reinterpret_cast<const Bytef*>(dict), uInt(std::string(dict).size()));
  Bytes out(deflateBound(&s, uLong(data.size())) + 64 * (data.size() / (flushEvery ? flushEvery : 1) + 1));
  s.next_out = out.data();
  s.avail_out = uInt(out.size());
  size_t at = 0;
  do {
    size_t n = flushEvery ? std::min(size_t(flushEvery), data.size() - at) : data.size() - at;
    s.next_in = const_cast<Bytef*>(data.data() + at);
    s.avail_in = uInt(n);
    at += n;
    deflate(&s, at == data.size() ? Z_FINISH : Z_FULL_FLUSH);
  } while (at < data.size());
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s corpus-dir\n", argv[0]);
    return 2;
  }
  Bytes text, pixels, noise;
  for (int i = 0; i < 3000; ++i) text.push_back("layer stroke brush "[i % 19]);
  for (int i = 0; i < 4096; ++i) pixels.push_back((i % 4 == 3) ? 0xFF : (i / 64) & 0xFF);
  unsigned x = 12345;
  for (int i = 0; i < 2000; ++i) noise.push_back((x = x * 1103515245u + 12345u) >> 24);

  std::vector<Bytes> seeds = {
      Deflate({}, 6, Z_DEFAULT_STRATEGY, 0, nullptr),
      Deflate(text, 0, Z_DEFAULT_STRATEGY, 0, nullptr),
      Deflate(text, 1, Z_DEFAULT_STRATEGY, 0, nullptr),
      Deflate(text, 9, Z_DEFAULT_STRATEGY, 700, nullptr),
      Deflate(pixels, 6, Z_FIXED, 0, nullptr),
      Deflate(pixels, 4, Z_RLE, 1024, nullptr),
      Deflate(noise, 6, Z_HUFFMAN_ONLY, 0, nullptr),
      Deflate(text, 6, Z_DEFAULT_STRATEGY, 0, "layer stroke"),
  };
  Bytes tail = seeds[2];
  tail.insert(tail.end(), noise.begin(), noise.begin() + 40);
  seeds.push_back(tail);
  seeds.push_back(Bytes(seeds[3].begin(), seeds[3].begin() + seeds[3].size() / 2));

  for (size_t i = 0; i < seeds.size(); ++i) {
    std::string path = std::string(argv[1]) + "/seed_" + std::to_string(i);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
      std::perror(path.c_str());
      return 1;
    }
    std::fwrite(seeds[i].data(), 1, seeds[i].size(), f);
    std::fclose(f);
  }
  return 0;
}

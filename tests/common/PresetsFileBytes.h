// Brush presets files made byte by byte with zlib directly, without the code under test: a
// body packed behind a header, records written by hand, fields set and checks made to add up.
#pragma once
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "odata/LittleEndian.h"

namespace presets_bytes {

using Bytes = std::vector<uint8_t>;

inline void Set32(Bytes& b, size_t at, uint32_t v) { PutLE32(b.data() + at, v); }
inline uint32_t Get32(const Bytes& b, size_t at) { return GetLE32(b.data() + at); }

inline void Put32(Bytes& b, uint32_t v) {
  uint8_t q[4];
  PutLE32(q, v);
  b.insert(b.end(), q, q + 4);
}

inline void PutText(Bytes& b, const std::u16string& s) {
  for (char16_t c : s) b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8)});
  b.insert(b.end(), {0, 0});
}

// The uncompressed body of a file whose header sizes are right.
inline Bytes Unpack(const Bytes& file) {
  Bytes body(Get32(file, 16));
  uLongf n = uLongf(body.size());
  EXPECT_EQ(uncompress(body.data(), &n, file.data() + 32, uLong(file.size() - 32)), Z_OK);
  EXPECT_EQ(n, body.size());
  return body;
}

// The file around a body: level 2, header fields as given, the check adding up.
inline Bytes Pack(const Bytes& body, uint32_t count, int32_t selected) {
  uLongf n = compressBound(uLong(body.size()));
  Bytes file(32 + n);
  EXPECT_EQ(compress2(file.data() + 32, &n, body.data(), uLong(body.size()), 2), Z_OK);
  file.resize(32 + n);
  const uint32_t size = uint32_t(body.size());
  const uint32_t h[8] = {0x00424643, uint32_t(file.size()), 150, size + count + uint32_t(selected),
                         size, count, uint32_t(selected), 0};
  for (int i = 0; i < 8; ++i) Set32(file, size_t(4 * i), h[i]);
  return file;
}

// One record: check, size, items, N, D, E, 0, 0, flags, the three texts, five sets of values
// made from seed.
inline Bytes Record(const std::u16string& engine, const std::u16string& name, const std::u16string& desc,
                    uint32_t items, uint32_t flags, uint32_t seed) {
  const uint32_t e = uint32_t(2 * engine.size() + 2), n = uint32_t(2 * name.size() + 2),
                 d = uint32_t(2 * desc.size() + 2);
  const uint32_t size = 36 + e + n + d + 20 * items;
  Bytes b;
  for (uint32_t v : {size + items + n + d + e, size, items, n, d, e, 0u, 0u, flags}) Put32(b, v);
  PutText(b, engine);
  PutText(b, name);
  PutText(b, desc);
  for (uint32_t i = 0; i < 5 * items; ++i) Put32(b, seed * 2654435761u + i * 40503u);
  return b;
}

// Makes the check of the record at `at` the sum of its five fields again.
inline void Recheck(Bytes& body, size_t at) {
  uint32_t sum = 0;
  for (size_t k = 4; k <= 20; k += 4) sum += Get32(body, at + k);
  Set32(body, at, sum);
}
inline void RecheckHeader(Bytes& file) { Set32(file, 12, Get32(file, 16) + Get32(file, 20) + Get32(file, 24)); }

// Where each of the body's records starts, walking by the sizes of their parts.
inline std::vector<size_t> RecordStarts(const Bytes& body) {
  std::vector<size_t> starts;
  for (size_t at = 0; at + 36 <= body.size();) {
    starts.push_back(at);
    at += 36 + size_t(Get32(body, at + 12)) + Get32(body, at + 16) + Get32(body, at + 20) + 20 * size_t(Get32(body, at + 8));
  }
  return starts;
}

}  // namespace presets_bytes

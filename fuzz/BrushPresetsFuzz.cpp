// Reads the fuzz input as a brush presets file; it may not crash, hang, leak or allocate
// past the reader's bound (libFuzzer's malloc limit catches that). Whatever was read (the
// whole file or the brushes before a bad record) must be written, read back to the same
// presets, and written again to the same bytes.
//
// The first input byte steers the rest, so that mutations reach past the zlib stream:
//   bit 0 set: byte 1 is the brush count, byte 2 the selected row, and the remaining bytes
//              are the uncompressed body; the harness compresses it and writes the header.
//   bit 0 clear: the remaining bytes are the whole file; bit 1 sets the header's file size
//              to the real length, bit 2 recomputes the header check.
//
// Seeds: with TAVRIK_PRESETS_SEEDS=<folder> in the environment the binary writes a few
// files there and exits (the build does this for corpus/brush_presets).
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSystem.h"
#include "XCoderZlib.h"
#include "odata/LittleEndian.h"
#include "panels/BrushPresets.h"

namespace {

using Bytes = std::vector<uint8_t>;

FuzzSystem& System() {
  static FuzzSystem system = [] {
    FuzzSystem s;
    s.Add(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
    s.Add(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
    return s;
  }();
  return system;
}

Bytes Pack(const uint8_t* body, size_t size, uint32_t count, int32_t selected) {
  uLongf n = compressBound(uLong(size));
  Bytes file(32 + n);
  if (compress2(file.data() + 32, &n, body, uLong(size), 2) != Z_OK) std::abort();
  file.resize(32 + n);
  const uint32_t h[8] = {BRUSH_PRESETS_MAGIC, uint32_t(file.size()), BRUSH_PRESETS_VERSION,
                         uint32_t(size) + count + uint32_t(selected), uint32_t(size), count, uint32_t(selected), 0};
  for (int i = 0; i < 8; ++i) PutLE32(file.data() + 4 * i, h[i]);
  return file;
}

Bytes Unpack(const Bytes& file) {
  Bytes body(GetLE32(file.data() + 16));
  uLongf n = uLongf(body.size());
  FUZZ_CHECK(uncompress(body.data(), &n, file.data() + 32, uLong(file.size() - 32)) == Z_OK && n == body.size());
  return body;
}

void Drop(GErrRecord* e) {
  e->AddRef();
  e->Release();
}

BrushPresetRecord Brush(const char16_t* engine, const char16_t* name, uint32_t items, uint32_t flags) {
  BrushPresetRecord r{engine, name, u"seed brush", flags, {}};
  for (int k = 0; k < BRUSH_VALUE_SETS; ++k)
    for (uint32_t i = 0; i < items; ++i) r.sets[size_t(k)].push_back(int32_t(i * 37 + uint32_t(k)) - 50);
  return r;
}

void WriteSeeds(const char* folder) {
  BrushPresets sets[3];
  sets[1].brushes.push_back(Brush(u"XBrushPen", u"Pen", 3, 0x102));
  sets[1].selected = 0;
  sets[2] = sets[1];
  sets[2].brushes.push_back(Brush(u"XBrushAir", u"Air", 12, 0x200));
  sets[2].brushes.push_back(Brush(u"XBrushInk", u"墨水", 0, 0x1E));
  int n = 0;
  for (const BrushPresets& p : sets) {
    Bytes file;
    if (!EncodePresets(p, &System(), &file).ok) std::exit(1);
    Bytes body = {uint8_t(p.brushes.size()), uint8_t(p.selected)};
    const Bytes unpacked = Unpack(file);
    body.insert(body.end(), unpacked.begin(), unpacked.end());
    WriteSeed(folder, "presets_" + std::to_string(n++), 1, body);
    WriteSeed(folder, "presets_" + std::to_string(n++), 6, file);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  WriteSeedsWhenAsked("TAVRIK_PRESETS_SEEDS", WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  Bytes file;
  if (mode & 1) {
    if (size < 3) return 0;
    file = Pack(data + 3, size - 3, data[1], int8_t(data[2]));
  } else {
    file.assign(data + 1, data + size);
    if (file.size() >= 32) {
      if (mode & 2) PutLE32(file.data() + 4, uint32_t(file.size()));
      if (mode & 4) PutLE32(file.data() + 12, GetLE32(file.data() + 16) + GetLE32(file.data() + 20) + GetLE32(file.data() + 24));
    }
  }

  BrushPresetsLoad got;
  try {
    got = ReadPresets(file.data(), file.size(), &System());
  } catch (GErrRecord* e) {
    // Damage is reported in the result; only a failed allocation may throw.
    Drop(e);
    return 0;
  }
  FUZZ_CHECK(got.status != PresetsStatus::Missing);
  FUZZ_CHECK((got.status == PresetsStatus::Loaded) == got.error.empty());
  if (got.status == PresetsStatus::Refused) {
    FUZZ_CHECK(got.presets.brushes.empty());
    return 0;
  }
  const uint32_t count = GetLE32(file.data() + 20);
  FUZZ_CHECK(got.presets.brushes.size() <= std::min<uint32_t>(count, BRUSH_MAX_BRUSHES));
  FUZZ_CHECK(got.status == PresetsStatus::Partial || got.presets.brushes.size() == count);
  FUZZ_CHECK(got.presets.selected == int32_t(GetLE32(file.data() + 24)));
  // What was read goes out and comes back the same; the writer's file is its own fixed point.
  Bytes again, twice;
  FUZZ_CHECK(EncodePresets(got.presets, &System(), &again).ok);
  const BrushPresetsLoad back = ReadPresets(again.data(), again.size(), &System());
  FUZZ_CHECK(back.status == PresetsStatus::Loaded && back.presets == got.presets);
  FUZZ_CHECK(EncodePresets(back.presets, &System(), &twice).ok && twice == again);
  return 0;
}

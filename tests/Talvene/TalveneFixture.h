// Images in their own memory with lock records over them, lattices, and the component made
// through a fake system object.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Talvene.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace talvene_test {

constexpr uint8_t kPad = 0xA5;

// An image with rows padded by a pattern, so that writes beside it show.
struct Picture {
  std::vector<BYTE> store;
  LayerLock rec;
  Picture(int w, int h, int ps, int x = 0, int y = 0) {
    const int pitch = w + 3;
    store.assign(size_t(pitch) * size_t(h) * size_t(ps) + 16, kPad);
    rec.nWidth = w, rec.nHeight = h, rec.nPitch = pitch, rec.nPixelSize = ps, rec.x = x, rec.y = y;
    rec.pPixels = store.data();
    rec.cbRow = uint32_t(pitch * ps);
    Fill(0);
  }
  int W() const { return rec.nWidth; }
  int H() const { return rec.nHeight; }
  uint32_t Get(int px, int py) const {
    uint32_t v = 0;
    std::memcpy(&v, rec.Row(py) + size_t(px) * size_t(rec.nPixelSize), size_t(rec.nPixelSize));
    return v;
  }
  void Set(int px, int py, uint32_t v) {
    std::memcpy(rec.Row(py) + size_t(px) * size_t(rec.nPixelSize), &v, size_t(rec.nPixelSize));
  }
  void Fill(uint32_t v) {
    for (int py = 0; py < H(); ++py)
      for (int px = 0; px < W(); ++px) Set(px, py, v);
  }
  void Fill(const std::function<uint32_t(int, int)>& f) {
    for (int py = 0; py < H(); ++py)
      for (int px = 0; px < W(); ++px) Set(px, py, f(px, py));
  }
  bool PaddingIntact() const {
    for (int py = 0; py < H(); ++py)
      for (int b = W() * rec.nPixelSize; b < rec.nPitch * rec.nPixelSize; ++b)
        if (rec.Row(py)[b] != kPad) return false;
    return true;
  }
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> v;
    for (int py = 0; py < H(); ++py)
      for (int px = 0; px < W(); ++px) v.push_back(Get(px, py));
    return v;
  }
};

// Arguments for a source picture with a d x d lattice whose corners are (x0, y0) and (x1, y1),
// evenly spaced: the warp is then the affine map of the sample rectangle onto that one.
inline DistortArgs ArgsFor(const Picture& src, int d, float x0, float y0, float x1, float y1) {
  DistortArgs a{};
  a.SetImage(src.rec);
  a.dwColor = 0xFF000000u;
  a.Density = {d, d};
  for (int i = 0; i < d; ++i)
    for (int j = 0; j < d; ++j) a.Point(i, j) = {x0 + (x1 - x0) * float(j) / float(d - 1), y0 + (y1 - y0) * float(i) / float(d - 1)};
  return a;
}
// The lattice that puts the source onto itself at (dx, dy): its samples, one pixel outside
// the source on every side, land on themselves.
inline DistortArgs IdentityArgs(const Picture& src, int d = 3, float dx = 0, float dy = 0) {
  return ArgsFor(src, d, dx - 1, dy - 1, dx + float(src.W() + 1), dy + float(src.H() + 1));
}
// A 3 x 3 lattice whose middle point is pulled by (bx, by).
inline DistortArgs BulgeArgs(const Picture& src, float dx, float dy, float bx, float by) {
  DistortArgs a = IdentityArgs(src, 3, dx, dy);
  a.Point(1, 1).x += bx;
  a.Point(1, 1).y += by;
  return a;
}

inline int ChannelDiff(uint32_t a, uint32_t b) {
  int d = 0;
  for (int sh = 0; sh < 32; sh += 8) d = std::max(d, std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)));
  return d;
}

inline std::u16string Condition(GErrRecord* e) {
  e->AddRef();
  std::u16string c = e->GetCondition();
  e->Release();
  return c;
}

// Runs f and returns the condition of the error record it throws ("" when none) and, in
// trail, the record's full text.
template <class F>
std::u16string Thrown(F&& f, std::u16string* trail = nullptr) {
  try {
    f();
  } catch (GErrRecord* e) {
    e->AddRef();
    std::u16string c = e->GetCondition();
    if (trail) {
      std::u16string buf(0x4000, u'\0');
      buf.resize(e->CopyText(buf.data(), 0x4000));
      *trail = buf;
    }
    e->Release();
    return c;
  }
  return u"";
}

// A control block that, like the worker's, releases the caption it was given.
struct Control : JobControl {
  Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  ~Control() {
    if (pObj) pObj->Release();
  }
};

class TalveneTest : public ::testing::Test {
 protected:
  TalveneTest() {
    sys.Register(u"Talvene", GCreateComponent<Talvene>);
    distort = static_cast<ODistort*>(sys.NewObj(u"Talvene", nullptr)->GetInterface(u"ODistort"));
  }
  Talvene* Impl() { return static_cast<Talvene*>(distort.get()); }
  // Renders at once; the result of the body.
  int Render(Picture& dest, DistortArgs args) { return distort->Impress(&dest.rec, &args, nullptr); }

  FakeSystem sys;
  GCompRef<ODistort> distort;
};

}  // namespace talvene_test

// One small document through the whole display path: all eight modes on colour and on mask
// layers, a masked layer, a nest group, glasses and a hidden layer, rendered at 1:1 and turned
// by 15 degrees. The reference images were made by the scalar path (the renderer's tile loop
// with the scalar compositor, resampler and copy) and checked by eye; the same loop with the
// SSE2 kernels and the device's own render (whatever kernels it selects) must give them bit for
// bit. TAVRIK_UPDATE_GOLDEN=1 rewrites them from the scalar path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "MorvaneFixture.h"
#include "Resampler.h"
#include "ViewMath.h"
#include "ViewRenderer.h"
#include "XShowDevice.h"

#ifndef MORVANE_GOLDEN_DIR
#error "MORVANE_GOLDEN_DIR names the folder of the reference images"
#endif

namespace {

constexpr int kW = 96, kH = 64;
constexpr uint32_t kBackground = 0x00F4ECDC;  // 0x00RRGGBB
constexpr float kAngle15 = 15.0f * 3.14159265f / 180.0f;

ViewTransform DocumentView(float angle) {
  ViewTransform v{};
  v.spaceWidth = kW;
  v.spaceHeight = kH;
  v.background = kBackground;
  v.clientWidth = kW;
  v.clientHeight = kH;
  v.centreX = kW / 2;
  v.centreY = kH / 2;
  v.angle = angle;
  v.scale = 1;
  return v;
}

using Image = std::vector<uint32_t>;  // top-down client pixels

// The renderer's tile loop with a chosen set of kernels.
struct Kernels {
  void (*compose)(ComposeWork*, const ComposeEntry*, int);
  void (*resample)(const ResampleParams&, const ComposeWork*, TileRows*);
  void (*copy)(const TileRows*, int, int, int, int, int, uint8_t*);
};
constexpr Kernels kScalar{LayerCompositorScalar, ResampleTileScalar, CopyTileScalar};
constexpr Kernels kSse2{LayerCompositorSse2, ResampleTileSse2, CopyTileSse2};

Image RenderWith(const Kernels& k, const ViewTransform& v, const std::vector<ComposeEntry>& entries) {
  const float s = InverseScale(v.scale);
  const int mip = MipLevelFor(s);
  ViewPass p;
  p.cosQ14 = int16_t(std::trunc(std::cos(double(v.angle)) * 16384.5));
  p.sinQ14 = int16_t(std::trunc(std::sin(double(v.angle)) * 16384.5));
  p.step = int16_t(std::trunc(double(s) * double(0x10000 >> mip) / 32.0));
  p.flip = (v.flags & VIEW_FLAG_FLIP) != 0;
  p.clientWidth = v.clientWidth;
  p.clientHeight = v.clientHeight;
  p.centreX = std::ldexp(double(v.centreX), -mip);
  p.centreY = std::ldexp(double(v.centreY), -mip);

  auto work = std::make_unique<ComposeWork>();
  auto rows = std::make_unique<TileRows>();
  work->spaceWidth = int32_t((v.spaceWidth + (1u << mip) - 1) >> mip);
  work->spaceHeight = int32_t((v.spaceHeight + (1u << mip) - 1) >> mip);
  work->insideColour = v.background & 0xFFFFFF;
  work->outsideColour = 0x909090;
  const int bw = (v.clientWidth + 3) & ~3, bh = (v.clientHeight + 3) & ~3;
  std::vector<uint32_t> bits(size_t(bw) * size_t(bh));
  ResampleParams rp{};
  for (int ty = 0; ty < bh; ty += TILE_SIDE) {
    const int th = std::min(TILE_SIDE, bh - ty);
    for (int tx = 0; tx < bw; tx += TILE_SIDE) {
      const int tw = std::min(TILE_SIDE, bw - tx);
      MapTile(p, tx, ty, tw, th, &rp, work.get());
      k.compose(work.get(), entries.data(), int(entries.size()));
      k.resample(rp, work.get(), rows.get());
      k.copy(rows.get(), tw, th, tx, bh - ty - TILE_SIDE, bw * 4, reinterpret_cast<uint8_t*>(bits.data()));
    }
  }
  Image out;
  for (int y = 0; y < v.clientHeight; ++y)
    for (int x = 0; x < v.clientWidth; ++x) out.push_back(bits[size_t(bh - 1 - y) * size_t(bw) + size_t(x)]);
  return out;
}

Image BackBuffer(OShowDevice* dev) {
  LayerLock bb;
  dev->GetBackBuffer(&bb);
  Image out;
  for (int y = 0; y < bb.nHeight; ++y)
    for (int x = 0; x < bb.nWidth; ++x) {
      uint32_t v;
      std::memcpy(&v, bb.pPixels + size_t(bb.nHeight - 1 - y) * bb.cbRow + size_t(x) * 4, 4);
      out.push_back(v);
    }
  return out;
}

std::string GoldenPath(const char* name) { return std::string(MORVANE_GOLDEN_DIR) + "/" + name; }

bool ReadImage(const char* name, Image* out) {
  std::ifstream f(GoldenPath(name), std::ios::binary);
  if (!f) return false;
  out->assign(size_t(kW) * kH, 0);
  f.read(reinterpret_cast<char*>(out->data()), std::streamsize(out->size() * 4));
  return f.gcount() == std::streamsize(out->size() * 4);
}

void WriteImage(const char* name, const Image& img) {
  std::ofstream f(GoldenPath(name), std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(img.data()), std::streamsize(img.size() * 4));
}

// The first differing pixel, for a readable failure.
std::string FirstDifference(const Image& a, const Image& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "(%zu, %zu): %08X vs %08X", i % kW, i / kW, a[i], b[i]);
      return buf;
    }
  return a.size() == b.size() ? "none" : "sizes differ";
}

class GoldenRenderTest : public LayerTest {
 protected:
  GoldenRenderTest() {
    sys.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
    dev = static_cast<OShowDevice*>(sys.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
    Build();
  }

  OLayer* Add(int w, int h, int format, int x, int y, const std::function<uint32_t(int, int)>& px, int alpha = 100,
              int mode = 0, COLORREF colour = 0) {
    GCompRef<OLayer> l = dev->CreateLayer(w, h, format, UINT(layers.size() + 1));
    l->SetPosition(x, y, FALSE);
    l->SetColor(colour);
    Props(l)->SetValue(0, alpha);
    Props(l)->SetValue(1, mode);
    LayerLock k;
    k.Lock(l, 0);
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i) {
        if (format == OLayer::myFORMAT_C32) {
          reinterpret_cast<uint32_t*>(k.Row(j))[i] = px(i, j);
        } else {
          reinterpret_cast<uint16_t*>(k.Row(j))[i] = uint16_t(px(i, j));
        }
      }
    layers.push_back(l);
    return l;
  }
  static uint32_t Argb(int a, int r, int g, int b) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
  }
  static uint16_t Disk(int i, int j, double cx, double cy, double r) {
    const double d = std::hypot(i + 0.5 - cx, j + 0.5 - cy);
    const double c = std::clamp(r - d, 0.0, 1.0) * (d < r * 0.6 ? 1.0 : 0.75);
    return uint16_t(int(c * 255) << 8);
  }

  // The document, from the top of the list down (the order of DrawLayer).
  void Build() {
    // A colour layer of diagonal bands under a round glass stroke.
    OLayer* banded = Add(22, 20, 4, 71, 3, [](int i, int j) { return (i + j) % 10 < 5 ? Argb(200, 30, 160, 90) : 0u; }, 90);
    OLayer* stroke = Add(22, 20, 2, 71, 3, [](int i, int j) { return Disk(i, j, 11, 10, 8.5); }, 100, 0,
                         RGB(250, 220, 40));
    order.push_back({banded, stroke});
    // A hidden layer over everything: must not show.
    order.push_back({Add(kW, kH, 4, 0, 0, [](int, int) { return Argb(255, 255, 0, 255); }), nullptr});
    order.back().layer->SetFlags(LYR_FLAG_HIDDEN);
    // The eight modes on colour layers: a colour per column, alpha falling downwards.
    for (int k = 0; k < 8; ++k)
      order.push_back({Add(7, 24, 4, 2 + 8 * k, 3,
                           [k](int i, int j) {
                             return Argb(255 - j * 9, 230 - 12 * k, 60 + 8 * j, 40 + 25 * k + i * 4);
                           },
                           k % 2 ? 75 : 100, k),
                       nullptr});
    // The eight modes on mask-format layers: coverage rising to the right.
    for (int k = 0; k < 8; ++k)
      order.push_back({Add(7, 10, 2, 2 + 8 * k, 29, [](int i, int j) { return uint32_t((40 + i * 35 + j) << 8); },
                           100, k, RGB(40 + 25 * k, 90, 220 - 25 * k)),
                       nullptr});
    // A checked colour layer through a round mask of the same rectangle.
    OLayer* mask = Add(30, 18, 2, 64, 28, [](int i, int j) { return Disk(i, j, 15, 9, 8.6); });
    Props(mask)->SetValue(2, 1);
    order.push_back({mask, nullptr});
    order.push_back({Add(30, 18, 4, 64, 28,
                         [](int i, int j) { return ((i / 3 + j / 3) & 1) ? Argb(255, 20, 40, 200) : Argb(255, 240, 240, 40); }),
                     nullptr});
    // A nest group: yellow stripes and a darkening colour layer (with a glass of its own)
    // clipped to a soft teal ellipse.
    OLayer* stripes = Add(50, 20, 2, 0, 44, [](int i, int j) { return (i + 2 * j) % 8 < 3 ? 0xE000u : 0u; }, 100, 0,
                          RGB(255, 230, 0));
    stripes->SetFlags(LYR_FLAG_NEST);
    order.push_back({stripes, nullptr});
    OLayer* dark = Add(30, 24, 4, 10, 40, [](int i, int j) { return Argb(255, 220, 40 + 6 * i, 30 + 8 * j); }, 100, 6);
    dark->SetFlags(LYR_FLAG_NEST);
    OLayer* darkGlass = Add(30, 24, 2, 10, 40, [](int i, int j) { return std::abs(i - j) < 2 ? 0xFF00u : 0u; }, 100, 0,
                            RGB(255, 255, 255));
    order.push_back({dark, darkGlass});
    order.push_back({Add(40, 16, 4, 4, 46,
                         [](int i, int j) {
                           const double dx = (i + 0.5 - 20) / 20, dy = (j + 0.5 - 8) / 8;
                           const double e = 1 - std::sqrt(dx * dx + dy * dy);
                           const int a = int(std::clamp(e * 4, 0.0, 1.0) * 255);
                           return Argb(a, 20, 150, 160);
                         },
                         85),
                     nullptr});
    // The ground: an opaque gradient over the whole space.
    order.push_back({Add(kW, kH, 4, 0, 0, [](int i, int j) { return Argb(255, i * 255 / (kW - 1), j * 255 / (kH - 1), 128); }),
                     nullptr});
  }

  void DrawAll() {
    for (const Item& it : order) dev->DrawLayer(it.layer, 0, it.glass);
  }
  std::vector<ComposeEntry> LastEntries() {
    const XShowDevice::PassRecord* recs = nullptr;
    const int n = static_cast<XShowDevice*>(dev.get())->GetPassRecords(&recs);
    std::vector<ComposeEntry> out;
    for (int i = 0; i < n; ++i) out.push_back(ToComposeEntry(recs[i]));
    return out;
  }

  struct Item {
    OLayer* layer;
    OLayer* glass;
  };
  GCompRef<OShowDevice> dev;
  std::vector<GCompRef<OLayer>> layers;
  std::vector<Item> order;
};

TEST_F(GoldenRenderTest, DocumentMatchesTheScalarReference) {
  const bool update = std::getenv("TAVRIK_UPDATE_GOLDEN") != nullptr;
  const struct {
    float angle;
    const char* file;
  } views[] = {{0.0f, "document_0deg.bgra"}, {kAngle15, "document_15deg.bgra"}};
  for (const auto& view : views) {
    SCOPED_TRACE(view.file);
    ViewTransform v = DocumentView(view.angle);
    ASSERT_TRUE(dev->DrawBegin(&v, TRUE));
    DrawAll();
    ASSERT_EQ(dev->DrawEnd(nullptr, nullptr), 1);
    const Image device = BackBuffer(dev);
    const Image scalar = RenderWith(kScalar, v, LastEntries());
    const Image sse2 = RenderWith(kSse2, v, LastEntries());
    ASSERT_EQ(device.size(), size_t(kW) * kH);
    if (update) WriteImage(view.file, scalar);
    Image golden;
    ASSERT_TRUE(ReadImage(view.file, &golden)) << GoldenPath(view.file);
    EXPECT_TRUE(scalar == golden) << "scalar path: " << FirstDifference(scalar, golden);
    EXPECT_TRUE(sse2 == golden) << "SSE2 path: " << FirstDifference(sse2, golden);
    EXPECT_TRUE(device == golden) << "device: " << FirstDifference(device, golden);

    // Presenting copies the back buffer as it is, top-down.
    plat::MemoryPresentTarget target;
    EXPECT_EQ(dev->Preset(&target, nullptr), 1);
    EXPECT_EQ(target.Pixels(), device);
  }
}

// Sampling composes the same records at 1:1 on an opaque background: the colours of the
// screen at 1:1, alpha 255.
TEST_F(GoldenRenderTest, SampleEqualsTheScreenAtOneToOne) {
  ViewTransform v = DocumentView(0);
  ASSERT_TRUE(dev->DrawBegin(&v, TRUE));
  DrawAll();
  dev->DrawEnd(nullptr, nullptr);
  const Image screen = BackBuffer(dev);

  ASSERT_TRUE(dev->DrawBegin(&v, FALSE));
  DrawAll();
  LayerLock lock;
  OLayer* sample = dev->DrawEndForSample(&lock);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(lock.pLayer, sample);
  EXPECT_EQ(lock.nWidth, kW);
  EXPECT_EQ(lock.nHeight, kH);
  EXPECT_EQ(sample->GetFormat(), OLayer::myFORMAT_C32);
  int differ = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t s = reinterpret_cast<const uint32_t*>(lock.Row(y))[x];
      EXPECT_EQ(s >> 24, 0xFFu);
      if ((s & 0xFFFFFF) != (screen[size_t(y) * kW + size_t(x)] & 0xFFFFFF) && differ++ < 5)
        ADD_FAILURE() << x << "," << y << ": " << std::hex << s << " vs " << screen[size_t(y) * kW + size_t(x)];
    }
  EXPECT_EQ(differ, 0);
  lock.Unlock();
  EXPECT_EQ(sample->AddRef(), 1);  // handed out with count 0
  sample->Release();
}

}  // namespace

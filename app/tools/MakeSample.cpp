// make_sample: paints the first-run sample document, an evening landscape, with the layer
// engine of the plug-ins and writes it through the document writer.
//
//   make_sample [--plugins FOLDER] [--preview IMAGE.ppm] OUTPUT.kelv
//
// The plug-ins come from FOLDER/System (by default the program's own folder), as the program
// loads them. The document is read back before the program says it is done; with --preview
// the document read back is composed at half size, as the view shows it, into a PPM image.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "SRC/GSystem.h"
#include "core/JobRunner.h"
#include "core/HeadlessHost.h"
#include "core/TavrikDoc.h"
#include "odata/OProperty.h"
#include "platform/base/Text.h"

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1200;
constexpr double kPi = 3.14159265358979323846;

// The sun, and the light it casts.
constexpr double kSunX = 1120, kSunY = 612, kSunR = 64;

// The layer modes the compositor offers (MODE of the layer's properties).
enum Mode : int32_t { kNormal = 0, kScreen = 1, kMultiply = 2, kLighten = 5, kDarken = 6 };

struct Rgb {
  double r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
  return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
double Smooth(double e0, double e1, double x) {
  const double t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// An ordered dither a quarter of a level deep keeps the long gradients free of bands and
// still compresses well.
double Dither(int x, int y) {
  static constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  return (kBayer[y & 3][x & 3] - 7.5) / 16.0;
}

BYTE Level(double v, int x, int y) { return BYTE(std::clamp(std::lround(v + Dither(x, y)), 0L, 255L)); }

// The ridges: sums of slow waves, in space pixels.
double FarRidge(double x) {
  return 655 - 70 * std::sin(x / 260.0 + 0.6) - 38 * std::sin(x / 97.0 + 2.1) - 14 * std::sin(x / 41.0 + 0.3) -
         90 * std::exp(-std::pow((x - 430) / 230.0, 2));
}
double NearRidge(double x) {
  return 880 - 55 * std::sin(x / 330.0 + 2.4) - 24 * std::sin(x / 120.0 + 0.9) - 8 * std::sin(x / 37.0) +
         80 * std::exp(-std::pow((x - 1180) / 260.0, 2));
}

// A coverage field in floats (0..1) over a layer's rectangle, painted with soft round dabs.
class Coverage {
 public:
  Coverage(int w, int h) : m_w(w), m_h(h), m_v(size_t(w) * size_t(h), 0.0f) {}
  int Width() const { return m_w; }
  int Height() const { return m_h; }
  float& At(int x, int y) { return m_v[size_t(y) * size_t(m_w) + size_t(x)]; }

  // One dab: full inside radius * (1 - soft), falling to 0 at the radius; strength 0..1.
  void Dab(double cx, double cy, double radius, double soft, double strength) {
    const int x0 = std::max(0, int(std::floor(cx - radius))), x1 = std::min(m_w - 1, int(std::ceil(cx + radius)));
    const int y0 = std::max(0, int(std::floor(cy - radius))), y1 = std::min(m_h - 1, int(std::ceil(cy + radius)));
    const double inner = radius * (1 - soft);
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
        if (d >= radius) continue;
        const double a = strength * (d <= inner ? 1.0 : 1.0 - Smooth(inner, radius, d));
        float& c = At(x, y);
        c = std::max(c, float(a));
      }
  }
  // A stroke along a curve of t in 0..1: the dabs close enough to overlap, the radius and
  // strength given along the way.
  void Stroke(const std::function<void(double, double*, double*)>& path, const std::function<double(double)>& radius,
              double soft, const std::function<double(double)>& strength, int samples) {
    for (int i = 0; i <= samples; ++i) {
      const double t = double(i) / samples;
      double x, y;
      path(t, &x, &y);
      Dab(x, y, radius(t), soft, strength(t));
    }
  }

 private:
  int m_w, m_h;
  std::vector<float> m_v;
};

class Painter {
 public:
  Painter(OShowDevice* device, CMyListLayer* list) : m_device(device), m_list(list) {}

  // A colour layer from a function giving each pixel's colour and alpha (0..255).
  OLayer* Colour(const char16_t* name, int x, int y, int w, int h,
                 const std::function<void(int, int, Rgb*, double*)>& pixel, int mode, int opacity) {
    OLayer* layer = New(name, x, y, w, h, OLayer::myFORMAT_C32);
    {
      LayerLock lock;
      GVERIFY(lock.Lock(layer, 0), u"!LayerLock");
      for (int row = 0; row < h; ++row) {
        BYTE* p = lock.Row(row);
        for (int col = 0; col < w; ++col, p += 4) {
          Rgb c{0, 0, 0};
          double a = 0;
          pixel(x + col, y + row, &c, &a);
          const int sx = x + col, sy = y + row;
          p[0] = Level(c.b, sx, sy);
          p[1] = Level(c.g, sx, sy);
          p[2] = Level(c.r, sx, sy);
          p[3] = a <= 0 ? 0 : Level(a, sx, sy);
        }
      }
    }
    return Finish(layer, mode, opacity);
  }

  // A mask layer in one colour from a coverage field.
  OLayer* Mask(const char16_t* name, int x, int y, Coverage& cover, Rgb colour, int mode, int opacity) {
    OLayer* layer = New(name, x, y, cover.Width(), cover.Height(), OLayer::myFORMAT_A16);
    layer->SetColor(RGB(BYTE(colour.r), BYTE(colour.g), BYTE(colour.b)));
    {
      LayerLock lock;
      GVERIFY(lock.Lock(layer, 0), u"!LayerLock");
      for (int row = 0; row < cover.Height(); ++row) {
        auto* p = reinterpret_cast<uint16_t*>(lock.Row(row));
        for (int col = 0; col < cover.Width(); ++col)
          p[col] = uint16_t(std::clamp(std::lround(double(cover.At(col, row)) * 255.0 + Dither(col, row)), 0L, 255L)
                            << 8);
      }
    }
    return Finish(layer, mode, opacity);
  }

 private:
  OLayer* New(const char16_t* name, int x, int y, int w, int h, int format) {
    GCompRef<OLayer> layer = m_device->CreateLayer(w, h, format, m_list->NewLayerID());
    layer->SetPosition(x, y, FALSE);
    layer->SetName(name);
    // Built from the bottom up: each new layer goes on top.
    GVERIFY(m_list->AddLayer(0, layer) == 0, u"!AddLayer");
    return layer;
  }
  static OLayer* Finish(OLayer* layer, int mode, int opacity) {
    auto* props = static_cast<OProperty*>(layer->GetInterface(u"OProperty"));
    GVERIFY(props, u"!OProperty");
    UINT at = 0;
    GVERIFY(props->FindByName(&at, u"ALPHA"), u"!ALPHA");
    props->SetValue(at, opacity);
    at = 0;
    GVERIFY(props->FindByName(&at, u"MODE"), u"!MODE");
    props->SetValue(at, mode);
    layer->MipRefresh(nullptr);
    return layer;
  }

  OShowDevice* m_device;
  CMyListLayer* m_list;
};

// ---- the picture, from the bottom layer up ---------------------------------------------------

void PaintSky(Painter& p) {
  const Rgb zenith{24, 38, 92}, high{70, 92, 168}, low{214, 146, 168}, horizon{255, 196, 148};
  p.Colour(u"天空", 0, 0, kWidth, kHeight, [&](int x, int y, Rgb* c, double* a) {
    const double t = y / 780.0;
    Rgb sky = t < 0.45 ? Mix(zenith, high, Smooth(0, 0.45, t))
              : t < 0.8 ? Mix(high, low, Smooth(0.45, 0.8, t))
                        : Mix(low, horizon, Smooth(0.8, 1.0, t));
    // Warmer towards the sun.
    const double d = std::hypot((x - kSunX) / 1.6, y - kSunY);
    sky = Mix(sky, Rgb{255, 210, 160}, 0.55 * std::exp(-d / 380.0));
    *c = sky;
    *a = 255;
  }, kNormal, 100);
}

void PaintSun(Painter& p) {
  const int half = 420;
  p.Colour(u"太阳", int(kSunX) - half, int(kSunY) - half, 2 * half, 2 * half, [&](int x, int y, Rgb* c, double* a) {
    const double d = std::hypot(x + 0.5 - kSunX, y + 0.5 - kSunY);
    const double disc = 1 - Smooth(kSunR - 1.5, kSunR + 1.5, d);
    const double halo = 0.75 * std::exp(-std::pow(std::max(0.0, d - kSunR) / 150.0, 1.3));
    *c = Mix(Rgb{255, 178, 120}, Rgb{255, 246, 214}, disc);
    *a = 255 * std::max(disc, halo);
  }, kScreen, 90);
}

void PaintClouds(Painter& p) {
  const int top = 90;
  Coverage cover(kWidth, 560);
  struct Band {
    double x0, x1, y, wave, phase, radius;
  };
  const Band bands[] = {{-60, 980, 250, 22, 0.4, 22},  {380, 1660, 330, 16, 2.0, 17}, {120, 900, 395, 12, 1.1, 12},
                        {900, 1580, 185, 18, 0.2, 15}, {640, 1380, 440, 9, 2.7, 9},    {-40, 520, 470, 7, 0.9, 8}};
  for (const Band& b : bands) {
    cover.Stroke(
        [&](double t, double* x, double* y) {
          *x = b.x0 + (b.x1 - b.x0) * t;
          *y = b.y - top + b.wave * std::sin(t * 2.6 * kPi + b.phase) + 10 * t;
        },
        [&](double t) { return b.radius * (0.35 + 0.65 * std::sin(t * kPi)); }, 0.9,
        [&](double t) { return 0.9 * std::pow(std::sin(t * kPi), 0.6); }, int(b.x1 - b.x0));
  }
  p.Mask(u"晚霞", 0, top, cover, Rgb{255, 168, 150}, kLighten, 80);
}

void PaintFarHills(Painter& p) {
  const int top = 470;
  Coverage cover(kWidth, kHeight - top);
  for (int y = 0; y < cover.Height(); ++y)
    for (int x = 0; x < kWidth; ++x) {
      const double ridge = FarRidge(x + 0.5) - top;
      // A soft edge, and hazier down in the valley, where the evening light shows through.
      const double haze = 0.35 * Smooth(ridge + 40, ridge + 380, y);
      cover.At(x, y) = float(Smooth(ridge - 1.2, ridge + 1.2, y + 0.5) * (1.0 - haze));
    }
  p.Mask(u"远山", 0, top, cover, Rgb{104, 92, 146}, kNormal, 88);
}

void PaintMist(Painter& p) {
  const int top = 640;
  Coverage cover(kWidth, 300);
  for (int y = 0; y < cover.Height(); ++y)
    for (int x = 0; x < kWidth; ++x) {
      const double centre = 150 + 20 * std::sin(x / 180.0) + 10 * std::sin(x / 53.0 + 1.3);
      const double body = std::exp(-std::pow((y - centre) / 55.0, 2));
      const double drift = 0.6 + 0.4 * std::sin(x / 140.0 + 0.7) * std::sin(x / 61.0);
      cover.At(x, y) = float(Clamp01(body * drift));
    }
  p.Mask(u"雾", 0, top, cover, Rgb{250, 222, 226}, kNormal, 50);
}

void PaintNearHills(Painter& p, CMyListLayer* list) {
  const int top = 640;
  const Rgb ridgeGreen{86, 122, 74}, deepGreen{26, 52, 44};
  OLayer* base = p.Colour(u"近山", 0, top, kWidth, kHeight - top, [&](int x, int y, Rgb* c, double* a) {
    const double ridge = NearRidge(x + 0.5);
    const double depth = Clamp01((y - ridge) / 360.0);
    *c = Mix(ridgeGreen, deepGreen, std::pow(depth, 0.7));
    *a = 255 * Smooth(ridge - 1.2, ridge + 1.2, y + 0.5);
  }, kNormal, 100);
  // The shade and the glow lie on the hills only: nested in them.
  OLayer* shade = p.Colour(u"山影", 0, top, kWidth, kHeight - top, [&](int x, int y, Rgb* c, double* a) {
    const double ridge = NearRidge(x + 0.5);
    // Slopes that turn from the sun: where the ridge climbs towards the right.
    const double slope = NearRidge(x + 8.5) - NearRidge(x - 7.5);
    const double away = Clamp01(-slope / 30.0);
    const double below = Smooth(ridge, ridge + 90, y);
    *c = Rgb{118, 104, 168};
    *a = 255 * Clamp01(0.25 + 0.75 * away) * below * (0.6 + 0.4 * Smooth(900, 1200, y));
  }, kMultiply, 70);
  OLayer* glow = p.Colour(u"余晖", 0, top, kWidth, kHeight - top, [&](int x, int y, Rgb* c, double* a) {
    const double ridge = NearRidge(x + 0.5);
    const double nearSun = std::exp(-std::pow((x - kSunX) / 420.0, 2));
    const double rim = std::exp(-(y - ridge) / 26.0);
    *c = Rgb{255, 170, 96};
    *a = y < ridge - 2 ? 0 : 255 * Clamp01(rim * nearSun * 0.95);
  }, kScreen, 65);
  for (OLayer* nested : {shade, glow}) nested->SetFlags(nested->GetFlags() | LYR_FLAG_NEST);
  // The base stays a plain colour layer right below its nested ones.
  GVERIFY(list->GetLayer(2) == base && !(base->GetFlags() & LYR_FLAG_NEST), u"!nest base");
}

void PaintGrass(Painter& p) {
  const int top = 960;
  Coverage cover(kWidth, kHeight - top);
  uint32_t seed = 20260101;
  auto rnd = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return double(seed >> 8) / double(1u << 24);
  };
  for (int i = 0; i < 520; ++i) {
    const double x = rnd() * kWidth;
    const double len = 40 + 110 * rnd() * rnd();
    const double lean = (rnd() - 0.35) * 0.9;
    const double baseY = cover.Height() + 4;
    cover.Stroke(
        [&](double t, double* px, double* py) {
          *px = x + lean * len * t * t;
          *py = baseY - len * t;
        },
        [&](double t) { return 2.6 * (1 - t) + 0.6; }, 0.6, [&](double t) { return 1.0 - 0.4 * t; }, int(len));
  }
  // A soft dark foot along the bottom.
  for (int y = 0; y < cover.Height(); ++y)
    for (int x = 0; x < kWidth; ++x) {
      float& c = cover.At(x, y);
      c = std::max(c, float(Smooth(cover.Height() - 70, cover.Height(), y + 10 * std::sin(x / 47.0))));
    }
  p.Mask(u"草丛", 0, top, cover, Rgb{20, 40, 34}, kDarken, 92);
}

void PaintBirds(Painter& p) {
  const int left = 380, top = 240;
  Coverage cover(520, 220);
  const double birds[][3] = {{60, 120, 1.0}, {140, 80, 0.8}, {205, 140, 0.7}, {300, 60, 0.9}, {410, 110, 0.6}};
  for (const auto& b : birds) {
    const double s = 18 * b[2];
    for (int side : {-1, 1}) {
      cover.Stroke(
          [&](double t, double* x, double* y) {
            *x = b[0] + side * s * t;
            *y = b[1] - s * 0.55 * std::sin(t * kPi * 0.9) + s * 0.25 * t;
          },
          [&](double t) { return 1.8 * b[2] * (1.1 - 0.6 * t); }, 0.5, [](double) { return 1.0; }, 40);
    }
  }
  p.Mask(u"飞鸟", left, top, cover, Rgb{44, 36, 64}, kDarken, 85);
}

void Paint(CTavrikDoc& doc, OShowDevice* device) {
  CMyListLayer* list = doc.GetListLayer();
  Painter p(device, list);
  PaintSky(p);
  PaintSun(p);
  PaintClouds(p);
  PaintFarHills(p);
  PaintMist(p);
  PaintNearHills(p, list);
  PaintGrass(p);
  PaintBirds(p);
  // The sky is current: its frame lies on the space's edges.
  list->SetCurSelect(list->GetCount() - 1);
  // The colour bar offers the picture's colours.
  CColorBar* bar = doc.GetColorBar();
  for (COLORREF c : {0x5C7A4Au, 0x685C92u, 0xFFA896u, 0xFFC494u, 0x465CA8u, 0x182E5Cu})
    bar->PushRgb(c);
  bar->SetColor(0xF08A4Bu);
}

std::string Utf8(const char16_t* s) { return s ? plat::ToUtf8(s) : std::string(); }

// Composes the document's layers at half size through the display device into a PPM file.
bool WritePreview(CTavrikDoc& doc, OShowDevice* device, const std::string& path) {
  CMyListLayer* list = doc.GetListLayer();
  ViewTransform view{0, kWidth, kHeight, 0xFFFFFF, kWidth / 2, kHeight / 2, kWidth / 2.0f, kHeight / 2.0f, 0.0f, 0.5f};
  if (!device->DrawBegin(&view, TRUE)) return false;
  for (int i = 0; i < list->GetCount(); ++i)
    device->DrawLayer(list->GetLayer(i), i == list->GetCurSel() ? LYR_TIDY_CURRENT : 0, nullptr);
  device->DrawEnd(nullptr, nullptr);
  plat::MemoryPresentTarget image;
  device->Preset(&image, nullptr);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", image.Width(), image.Height());
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      const uint32_t px = image.At(x, y);
      const BYTE rgb[3] = {BYTE(px >> 16), BYTE(px >> 8), BYTE(px)};
      std::fwrite(rgb, 1, 3, f);
    }
  return std::fclose(f) == 0;
}

int Run(const std::u16string& out, const std::u16string& folder, const std::string& preview) {
  CSystem* system = nullptr;
  OBeing* being = GCreateSystem(u"make_sample", nullptr, 0, &system);
  being->AddRef();
  g_pSystem = system;
  int rc = 0;
  try {
    if (!folder.empty()) system->SetModuleFolder(folder);
    system->LoadComponents(u"System/*.so");
    GCompRef<OShowDevice> device;
    {
      OComponent* c = system->NewObj(u"XShowDevice", nullptr);
      device = static_cast<OShowDevice*>(c->GetInterface(u"OShowDevice"));
      GVERIFY(device, u"!OShowDevice");
    }
    CHeadlessHost host;
    CHeadlessJobRunner runner;
    NewSpaceSize size{kWidth, kHeight};
    {
      CTavrikDoc doc(system, device, &host, &runner, &size);
      Paint(doc, device);
      const int layers = doc.GetListLayer()->GetCount();
      if (!doc.SaveFile(out)) {
        std::fprintf(stderr, "make_sample: cannot write %s\n", Utf8(out.c_str()).c_str());
        rc = 1;
      } else {
        // What was written reads back whole.
        CTavrikDoc check(system, device, &host, &runner, &size);
        if (!check.LoadFile(out) || check.GetListLayer()->GetCount() != layers ||
            check.GetPaintSpace()->GetWidth() != UINT(kWidth)) {
          std::fprintf(stderr, "make_sample: %s does not read back\n", Utf8(out.c_str()).c_str());
          rc = 1;
        } else if (!preview.empty() && !WritePreview(check, device, preview)) {
          std::fprintf(stderr, "make_sample: cannot write %s\n", preview.c_str());
          rc = 1;
        } else {
          std::printf("make_sample: %d layers, %d x %d, in %s\n", layers, kWidth, kHeight, Utf8(out.c_str()).c_str());
        }
      }
    }
  } catch (GErrRecord* e) {
    e->AddRef();
    std::fprintf(stderr, "make_sample: %s\n", Utf8(e->GetCondition()).c_str());
    system->ReportError(e);
    e->Release();
    rc = 1;
  }
  g_pSystem = nullptr;
  being->Release();
  return rc;
}

int Usage() {
  std::fprintf(stderr, "usage: make_sample [--plugins FOLDER] [--preview IMAGE.ppm] OUTPUT.kelv\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::u16string folder, out;
  std::string preview;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plugins") == 0 && i + 1 < argc) folder = plat::Widen(argv[++i]);
    else if (std::strcmp(argv[i], "--preview") == 0 && i + 1 < argc) preview = argv[++i];
    else if (out.empty()) out = plat::Widen(argv[i]);
    else return Usage();
  }
  if (out.empty()) return Usage();
  return Run(out, folder, preview);
}

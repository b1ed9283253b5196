// The surgery tool on a lifted 1000 x 1000 piece whose frame is turned by 15 degrees: the live
// mapping a finished drag makes (the previous frame's blocks turned back, the hole made again,
// the fast mapping, the block marks and their mip levels) and the final supersampled mapping
// of command ID_LASSO_DOWN (the same, with the mapping as a worker job), each beside pixman's
// bilinear affine transform of the same piece composited OVER a destination of the layer's
// size, in the same run. Inside the turned piece the tool's final picture and pixman's agree
// to within a few levels; the share of probes that do is printed as a check.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "BenchToolHost.h"
#include "Corbish.h"
#include "XLasso.h"
#include "core/PaintSpace.h"
#include "odata/GCompRef.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Messages.h"
#include "tools/OperLasso.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 1600;   // the space and the layer
constexpr int kPiece = 1000;  // the lifted piece
constexpr int kLeft = 300;    // where the piece was lifted from
constexpr double kAngle = 15.0 * 3.14159265358979323846 / 180.0;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

FakeSystem& MakeSystem() {
  FakeSystem& system = ToolBenchSystem();
  system.Register(u"Corbish", GCreateComponent<Corbish>);
  system.Register(u"XLasso", GCreateComponent<XLasso>);
  return system;
}

// A smooth opaque picture.
uint32_t Picture(int x, int y) {
  return 0xFF000000u | uint32_t(x * 255 / kSide) << 16 | uint32_t(y * 255 / kSide) << 8 | uint32_t((x + y) * 255 / (2 * kSide));
}

// The frame of the lifted piece (its rectangle grown by a pixel) turned about its centre, and
// moved by shift pixels.
RotatedRect TurnedFrame(float shift) {
  const double w = kPiece + 2, c = std::cos(kAngle), s = std::sin(kAngle);
  const double cx = kLeft + kPiece / 2.0 + shift, cy = cx;
  RotatedRect rr;
  rr.anchor = 0;
  rr.width = rr.height = float(w);
  rr.angle = float(kAngle);
  // Corner 0 sits at the centre minus half the turned diagonal.
  rr.x = float(cx - (w / 2 * c + w / 2 * s));
  rr.y = float(cy - (-w / 2 * s + w / 2 * c));
  return rr;
}

struct Scene {
  FakeSystem& sys = MakeSystem();
  GCompRef<OShowDevice> device =
      static_cast<OShowDevice*>(sys.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
  ToolBenchHost host{800, 600};
  std::unique_ptr<CMyListLayer> list = std::make_unique<CMyListLayer>(&sys, device.get());
  std::unique_ptr<CPaintSpace> space = std::make_unique<CPaintSpace>(&sys, device.get());
  COperLasso* tool = new COperLasso();
  GCompRef<OLayer> layer;

  Scene() {
    tool->AddRef();
    space->Initialize(kSide, kSide, &host, list.get(), tool);
    layer = device->CreateLayer(kSide, kSide, OLayer::myFORMAT_C32, 1);
    {
      LayerLock lock;
      lock.Lock(layer, 0);
      for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = Picture(x, y);
    }
    layer->MipRefresh(nullptr);
    list->AddLayer(-1, layer);
    list->SetCurSelect(0);
    tool->Activate();
    const float r = kLeft + kPiece;
    tool->m_qLasso = {{kLeft, kLeft}, {r, kLeft}, {r, r}, {kLeft, r}};
    tool->LiftUp();
  }
  ~Scene() {
    space->GetWorker()->Wait(FALSE);
    space.reset();
    list.reset();
    tool->Release();
  }
};

// pixman's view of the same map: destination pixel to piece pixel, the piece's grown corner
// on the frame's corner 0.
pixman_transform_t PixmanMap(const RotatedRect& rr) {
  const double c = std::cos(double(rr.angle)), s = std::sin(double(rr.angle));
  // Frame vector (u, v) lies at (u c + v s, -u s + v c) from corner 0; its inverse.
  pixman_f_transform_t f;
  pixman_f_transform_init_identity(&f);
  f.m[0][0] = c;
  f.m[0][1] = -s;
  f.m[1][0] = s;
  f.m[1][1] = c;
  f.m[0][2] = -(c * rr.x - s * rr.y) - 1.0;
  f.m[1][2] = -(s * rr.x + c * rr.y) - 1.0;
  pixman_transform_t t;
  pixman_transform_from_pixman_f_transform(&t, &f);
  return t;
}

void BM_LassoTool(benchmark::State& state) {
  const bool final = state.range(0) == 1;
  state.SetLabel(final ? "final supersampled mapping (job) vs pixman bilinear"
                       : "live mapping vs pixman bilinear");
  Scene scene;
  COperLasso* tool = scene.tool;
  if (tool->m_myState != COperLasso::myLIFT) {
    state.SkipWithError("nothing lifted");
    return;
  }
  // The piece pixels as the tool holds them, for pixman.
  std::vector<uint32_t> piece(size_t(kPiece) * kPiece);
  for (int y = 0; y < kPiece; ++y)
    std::copy_n(reinterpret_cast<const uint32_t*>(tool->m_imgLift.Row(y)), kPiece, piece.begin() + size_t(y) * kPiece);
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kPiece, kPiece, piece.data(), kPiece * 4);
  pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  pixman_image_set_repeat(src, PIXMAN_REPEAT_NONE);
  std::vector<uint32_t> dst(size_t(kSide) * kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) dst[size_t(y) * kSide + x] = Picture(x, y);
  pixman_image_t* out = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, dst.data(), kSide * 4);

  double ours = 0, ref = 0;
  int i = 0;
  RotatedRect frame{};
  for (auto _ : state) {
    // Each mapping turns back the last one's blocks: alternate two frames a pixel apart.
    frame = TurnedFrame(float(i++ & 1));
    tool->m_rrFrame = frame;
    const auto t0 = Clock::now();
    const BOOL done = tool->Impress(final);
    const auto t1 = Clock::now();
    if (!done) state.SkipWithError("the mapping did not finish");
    const pixman_transform_t t = PixmanMap(frame);
    pixman_image_set_transform(src, &t);
    const auto t2 = Clock::now();
    pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, out, 0, 0, 0, 0, 0, 0, kSide, kSide);
    const auto t3 = Clock::now();
    benchmark::ClobberMemory();
    state.SetIterationTime(Seconds(t1 - t0));
    ours += Seconds(t1 - t0);
    ref += Seconds(t3 - t2);
  }
  // Inside the turned piece (opaque there) both show the piece resampled: probes at least 40
  // pixels in from every side of the frame.
  pixman_transform_t t = PixmanMap(frame);
  pixman_image_set_transform(src, &t);
  std::fill(dst.begin(), dst.end(), 0u);
  pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, out, 0, 0, 0, 0, 0, 0, kSide, kSide);
  int agree = 0, probes = 0;
  {
    LayerLock lock;
    lock.Lock(scene.layer, 0);
    const double c = std::cos(kAngle), s = std::sin(kAngle);
    for (int v = 40; v < kPiece - 40; v += 23)
      for (int u = 40; u < kPiece - 40; u += 19, ++probes) {
        const int x = int(frame.x + u * c + v * s), y = int(frame.y - u * s + v * c);
        const uint32_t a = reinterpret_cast<uint32_t*>(lock.Row(y))[x], b = dst[size_t(y) * kSide + x];
        int d = 0;
        for (int sh = 0; sh < 32; sh += 8) d = std::max(d, std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)));
        agree += d <= (final ? 3 : 6);
      }
  }
  const double n = double(state.iterations());
  state.counters["agree_%"] = 100.0 * agree / probes;
  state.counters["ours_ms"] = 1e3 * ours / n;
  state.counters["pixman_ms"] = 1e3 * ref / n;
  PrintRatio("lasso_tool", final ? "final supersampled mapping 1000x1000 at 15 deg" : "live mapping 1000x1000 at 15 deg",
             1e3 * ours / n, "pixman bilinear OVER", 1e3 * ref / n,
             "agree " + std::to_string(100 * agree / std::max(probes, 1)) + "% of probes inside the piece");
  pixman_image_unref(src);
  pixman_image_unref(out);
}

BENCHMARK(BM_LassoTool)->Arg(0)->Arg(1)->ArgName("final")->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

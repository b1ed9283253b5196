// The image codec components against the libraries they wrap, in the same run: import and
// export of a 4096 x 4096 photo-like image through "Kestrum" and "Sevlin" against libpng's
// and libjpeg-turbo's own one-call interfaces on the same files and pixels, and "Harsk"
// (BMP, ours) against memcpy of the pixel bytes (a floor). Each iteration runs ours and the
// reference; imports compare the pixels both give. Rates are MB of layer pixels a second.
// PeakImport reports the peak memory of a child process that imports a 10000 x 8000 PNG
// through the component, against the layer's own bytes (peak_over_layer 1: no more than the
// layer).
#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "XImageCodec.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"
#include "platform/base/Files.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kSide = 4096;

FakeSystem& MakeSystem() {
  static FakeSystem system;
  system.Register(u"Kestrum", GCreateComponent<XKestrum>);
  system.Register(u"Sevlin", GCreateComponent<XSevlin>);
  system.Register(u"Harsk", GCreateComponent<XHarsk>);
  return system;
}
FakeSystem& g_system = MakeSystem();

// Pixels in memory behind a lock, as a layer's are.
struct Pixels {
  Pixels(int w, int h) : data(size_t(w) * size_t(h)) {
    lock.nWidth = w;
    lock.nHeight = h;
    lock.nPitch = w;
    lock.nPixelSize = 4;
    lock.cbRow = uint32_t(w) * 4;
    lock.pPixels = reinterpret_cast<BYTE*>(data.data());
  }
  size_t Bytes() const { return data.size() * 4; }
  std::vector<uint32_t> data;
  LayerLock lock;
};

// Smooth shapes with a little grain, opaque: what a photograph gives the coders.
void FillPhoto(Pixels& p) {
  uint32_t grain = 12345;
  for (int y = 0; y < p.lock.nHeight; ++y)
    for (int x = 0; x < p.lock.nWidth; ++x) {
      grain = grain * 1664525u + 1013904223u;
      const int n = int(grain >> 29) - 4;
      auto c = [&](double v) { return uint32_t(std::min(255.0, std::max(0.0, v + n))); };
      const double r = 128 + 90 * std::sin(x * 0.004) * std::cos(y * 0.003);
      const double g = 128 + 80 * std::sin((x + y) * 0.002);
      const double b = 100 + 60 * std::cos(y * 0.005);
      p.data[size_t(y) * size_t(p.lock.nWidth) + size_t(x)] = 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
    }
}

std::string Folder() {
  static std::string folder = [] {
    char tmpl[] = "/tmp/tavrik-codec-bench-XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  return folder;
}

Pixels& Source() {
  static Pixels* p = [] {
    auto* px = new Pixels(kSide, kSide);
    FillPhoto(*px);
    return px;
  }();
  return *p;
}

GCompRef<OImageCodec> Codec(const char16_t* name) {
  return static_cast<OImageCodec*>(g_system.NewObj(name, nullptr)->GetInterface(u"OImageCodec"));
}

bool Export(const char16_t* codec, const std::string& path, const LayerLock& lock, int quality) {
  GCompRef<OImageCodec> c = Codec(codec);
  JobRecord job{};
  const std::u16string p = plat::FromUtf8(path);
  if (!c->Encode(p.c_str(), const_cast<LayerLock*>(&lock), quality, 0xFFFFFF, 0, &job)) return false;
  return job.proc(job.object, &job, nullptr) == TRUE;
}

bool Import(const char16_t* codec, const std::string& path, LayerLock* lock) {
  GCompRef<OImageCodec> c = Codec(codec);
  const std::u16string p = plat::FromUtf8(path);
  ImageInfo info{};
  return c->ReadInfo(p.c_str(), &info) && c->Decode(p.c_str(), lock, 0);
}

// The file each format's import reads, written once by the component.
const std::string& File(const char16_t* codec, const char* ext) {
  static std::map<std::string, std::string> files;
  std::string& f = files[ext];
  if (f.empty()) {
    f = Folder() + "/photo." + ext;
    if (!Export(codec, f, Source().lock, 90)) f.clear();
  }
  return f;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Each iteration runs ours, then the reference, on the same file or pixels; false from either
// stops the run. The rate counts layer bytes; the ratio line gives the medians.
template <class Ours, class Reference>
RatioTimes Pair(benchmark::State& state, size_t bytes, Ours ours, Reference reference) {
  RatioTimes times;
  for (auto _ : state) {
    auto t0 = Clock::now();
    const bool ok = ours();
    auto t1 = Clock::now();
    const bool refOk = reference();
    auto t2 = Clock::now();
    if (!ok || !refOk) {
      state.SkipWithError(ok ? "the reference failed" : "ours failed");
      break;
    }
    state.SetIterationTime(Seconds(t0, t1));
    times.Add(Seconds(t0, t1), Seconds(t1, t2));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  if (times.Count()) state.counters["ref_MBps"] = double(bytes) / times.RefMs() / 1e3;
  return times;
}

// The largest difference of one channel between two images of the same size.
int LargestDifference(const Pixels& a, const Pixels& b) {
  return LargestChannelDifference(a.data.data(), b.data.data(), a.data.size());
}

long FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? long(in.tellg()) : -1;
}

// ---- PNG ----

// The same file through the component and through libpng's simplified reader; both must give
// the same pixels.
void BM_PngImport(benchmark::State& state) {
  const std::string& file = File(u"Kestrum", "png");
  Pixels out(kSide, kSide), ref(kSide, kSide);
  RatioTimes times = Pair(
      state, out.Bytes(), [&] { return Import(u"Kestrum", file, &out.lock); },
      [&] {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, file.c_str())) return false;
        image.format = PNG_FORMAT_BGRA;
        return png_image_finish_read(&image, nullptr, ref.data.data(), 0, nullptr) != 0;
      });
  const int diff = LargestDifference(out, ref);
  if (diff) state.SkipWithError("the PNG imports differ");
  times.Print("codec_bench", "PNG import", "libpng", "same file, max channel diff " + std::to_string(diff));
}

void BM_PngExport(benchmark::State& state) {
  const std::string file = Folder() + "/out.png", refFile = Folder() + "/ref.png";
  RatioTimes times = Pair(
      state, Source().Bytes(), [&] { return Export(u"Kestrum", file, Source().lock, 100); },
      [&] {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = kSide;
        image.height = kSide;
        image.format = PNG_FORMAT_BGRA;
        return png_image_write_to_file(&image, refFile.c_str(), 0, Source().data.data(), 0, nullptr) != 0;
      });
  times.Print("codec_bench", "PNG export", "libpng",
              "same pixels, libpng's defaults; files: ours " + std::to_string(FileSize(file)) + " B, libpng " +
                  std::to_string(FileSize(refFile)) + " B");
}

// ---- JPEG ----

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The reference reads the file too, as the component does.
void BM_JpegImport(benchmark::State& state) {
  const std::string& file = File(u"Sevlin", "jpg");
  Pixels out(kSide, kSide), ref(kSide, kSide);
  tjhandle tj = tjInitDecompress();
  RatioTimes times = Pair(
      state, out.Bytes(), [&] { return Import(u"Sevlin", file, &out.lock); },
      [&] {
        Bytes jpg = ReadAll(file);
        return tjDecompress2(tj, jpg.data(), jpg.size(), reinterpret_cast<unsigned char*>(ref.data.data()), kSide, 0,
                             kSide, TJPF_BGRA, 0) == 0;
      });
  tjDestroy(tj);
  times.Print("codec_bench", "JPEG import", "turbojpeg",
              "same file, max channel diff " + std::to_string(LargestDifference(out, ref)));
}

// Quality 90 without chroma subsampling, as the component writes it; the file is written.
void BM_JpegExport(benchmark::State& state) {
  const std::string file = Folder() + "/out.jpg", refFile = Folder() + "/ref.jpg";
  tjhandle tj = tjInitCompress();
  RatioTimes times = Pair(
      state, Source().Bytes(), [&] { return Export(u"Sevlin", file, Source().lock, 90); },
      [&] {
        unsigned char* out = nullptr;
        unsigned long size = 0;
        if (tjCompress2(tj, reinterpret_cast<const unsigned char*>(Source().data.data()), kSide, 0, kSide, TJPF_BGRA,
                        &out, &size, TJSAMP_444, 90, 0) != 0)
          return false;
        std::ofstream(refFile, std::ios::binary).write(reinterpret_cast<const char*>(out), std::streamsize(size));
        tjFree(out);
        return true;
      });
  tjDestroy(tj);
  times.Print("codec_bench", "JPEG export", "turbojpeg",
              "same pixels, quality 90, 4:4:4; files: ours " + std::to_string(FileSize(file)) + " B, turbojpeg " +
                  std::to_string(FileSize(refFile)) + " B");
}

// ---- BMP ----

void BM_BmpImport(benchmark::State& state) {
  const std::string& file = File(u"Harsk", "bmp");
  Pixels out(kSide, kSide), copy(kSide, kSide);
  RatioTimes times = Pair(
      state, out.Bytes(), [&] { return Import(u"Harsk", file, &out.lock); },
      [&] {
        std::memcpy(copy.data.data(), Source().data.data(), Source().Bytes());
        benchmark::DoNotOptimize(copy.data.data());
        return true;
      });
  const int diff = LargestDifference(out, Source());
  if (diff) state.SkipWithError("the BMP import differs from the pixels exported");
  times.Print("codec_bench", "BMP import", "memcpy", "floor: memcpy of the pixel bytes; same pixels back");
}

void BM_BmpExport(benchmark::State& state) {
  const std::string file = Folder() + "/out.bmp";
  Pixels copy(kSide, kSide);
  RatioTimes times = Pair(
      state, Source().Bytes(), [&] { return Export(u"Harsk", file, Source().lock, 100); },
      [&] {
        std::memcpy(copy.data.data(), Source().data.data(), Source().Bytes());
        benchmark::DoNotOptimize(copy.data.data());
        return true;
      });
  times.Print("codec_bench", "BMP export", "memcpy", "floor: memcpy of the pixel bytes");
}

// ---- Peak memory of a large import ----

long PeakKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// In a child: the layer's bytes allocated and touched, the peak reset, then the import; the
// child reports its peak beyond the layer. The file is written once in the parent.
void BM_PeakImport10000x8000(benchmark::State& state) {
  const int w = 10000, h = 8000;
  const std::string file = Folder() + "/large.png";
  if (!plat::FileExists(plat::FromUtf8(file))) {
    Pixels big(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) big.data[size_t(y) * w + size_t(x)] = 0xFF000000u | uint32_t(x * 7 ^ y * 3) * 0x010101u;
    if (!Export(u"Kestrum", file, big.lock, 100)) state.SkipWithError("export failed");
  }
  double beyond = 0, layerBytes = double(w) * h * 4;
  for (auto _ : state) {
    int pipefd[2];
    if (pipe(pipefd) != 0) state.SkipWithError("no pipe");
    const pid_t pid = fork();
    if (pid == 0) {
      Pixels layer(w, h);
      std::memset(layer.data.data(), 0, layer.Bytes());
      std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the present size
      const long before = PeakKilobytes();
      const bool ok = Import(u"Kestrum", file, &layer.lock);
      const long extra = ok ? PeakKilobytes() - before : -1;
      if (write(pipefd[1], &extra, sizeof extra) != sizeof extra) _exit(2);
      _exit(0);
    }
    long extra = -1;
    if (read(pipefd[0], &extra, sizeof extra) != sizeof extra) extra = -1;
    waitpid(pid, nullptr, 0);
    close(pipefd[0]);
    close(pipefd[1]);
    if (extra < 0) state.SkipWithError("child failed");
    beyond = double(extra) * 1024;
  }
  state.counters["layer_MB"] = layerBytes / 1e6;
  state.counters["beyond_layer_MB"] = beyond / 1e6;
  state.counters["peak_over_layer"] = (layerBytes + beyond) / layerBytes;
}

BENCHMARK(BM_PngImport)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
// Some 4.5 s a file each side: three are enough for a steady median.
BENCHMARK(BM_PngExport)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegImport)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegExport)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpImport)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpExport)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakImport10000x8000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::system(("rm -rf '" + Folder() + "'").c_str());
  return 0;
}

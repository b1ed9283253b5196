// The image codec components against the libraries they wrap, in the same run: import and
// export of a 4096 x 4096 photo-like image through "Kestrum" and "Sevlin" against libpng's
// and libjpeg-turbo's own one-call interfaces on the same files and pixels, and "Harsk"
// (BMP, ours) against memcpy of the pixel bytes. Rates are MB of layer pixels a second.
// PeakImport reports the peak memory of a child process that imports a 10000 x 8000 PNG
// through the component, against the layer's own bytes (peak_over_layer 1: no more than the
// layer).
#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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

void Rate(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// ---- PNG ----

void BM_KestrumImport(benchmark::State& state) {
  const std::string& file = File(u"Kestrum", "png");
  Pixels out(kSide, kSide);
  for (auto _ : state)
    if (!Import(u"Kestrum", file, &out.lock)) state.SkipWithError("import failed");
  Rate(state, out.Bytes());
}

void BM_LibpngImport(benchmark::State& state) {
  const std::string& file = File(u"Kestrum", "png");
  Pixels out(kSide, kSide);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) state.SkipWithError("libpng failed");
    image.format = PNG_FORMAT_BGRA;
    if (!png_image_finish_read(&image, nullptr, out.data.data(), 0, nullptr)) state.SkipWithError("libpng failed");
  }
  Rate(state, out.Bytes());
}

void BM_KestrumExport(benchmark::State& state) {
  const std::string file = Folder() + "/out.png";
  for (auto _ : state)
    if (!Export(u"Kestrum", file, Source().lock, 100)) state.SkipWithError("export failed");
  Rate(state, Source().Bytes());
}

void BM_LibpngExport(benchmark::State& state) {
  const std::string file = Folder() + "/ref.png";
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kSide;
    image.height = kSide;
    image.format = PNG_FORMAT_BGRA;
    if (!png_image_write_to_file(&image, file.c_str(), 0, Source().data.data(), 0, nullptr))
      state.SkipWithError("libpng failed");
  }
  Rate(state, Source().Bytes());
}

// ---- JPEG ----

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void BM_SevlinImport(benchmark::State& state) {
  const std::string& file = File(u"Sevlin", "jpg");
  Pixels out(kSide, kSide);
  for (auto _ : state)
    if (!Import(u"Sevlin", file, &out.lock)) state.SkipWithError("import failed");
  Rate(state, out.Bytes());
}

// The reference reads the file too, as the component does.
void BM_TurbojpegImport(benchmark::State& state) {
  const std::string& file = File(u"Sevlin", "jpg");
  Pixels out(kSide, kSide);
  tjhandle tj = tjInitDecompress();
  for (auto _ : state) {
    Bytes jpg = ReadAll(file);
    if (tjDecompress2(tj, jpg.data(), jpg.size(), reinterpret_cast<unsigned char*>(out.data.data()), kSide, 0, kSide,
                      TJPF_BGRA, 0) != 0)
      state.SkipWithError("turbojpeg failed");
  }
  tjDestroy(tj);
  Rate(state, out.Bytes());
}

void BM_SevlinExport(benchmark::State& state) {
  const std::string file = Folder() + "/out.jpg";
  for (auto _ : state)
    if (!Export(u"Sevlin", file, Source().lock, 90)) state.SkipWithError("export failed");
  Rate(state, Source().Bytes());
}

// Quality 90 without chroma subsampling, as the component writes it; the file is written.
void BM_TurbojpegExport(benchmark::State& state) {
  const std::string file = Folder() + "/ref.jpg";
  tjhandle tj = tjInitCompress();
  for (auto _ : state) {
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, reinterpret_cast<const unsigned char*>(Source().data.data()), kSide, 0, kSide, TJPF_BGRA, &out,
                    &size, TJSAMP_444, 90, 0) != 0)
      state.SkipWithError("turbojpeg failed");
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(out), std::streamsize(size));
    tjFree(out);
  }
  tjDestroy(tj);
  Rate(state, Source().Bytes());
}

// ---- BMP ----

void BM_HarskImport(benchmark::State& state) {
  const std::string& file = File(u"Harsk", "bmp");
  Pixels out(kSide, kSide);
  for (auto _ : state)
    if (!Import(u"Harsk", file, &out.lock)) state.SkipWithError("import failed");
  Rate(state, out.Bytes());
}

void BM_HarskExport(benchmark::State& state) {
  const std::string file = Folder() + "/out.bmp";
  for (auto _ : state)
    if (!Export(u"Harsk", file, Source().lock, 100)) state.SkipWithError("export failed");
  Rate(state, Source().Bytes());
}

void BM_Memcpy(benchmark::State& state) {
  Pixels out(kSide, kSide);
  for (auto _ : state) {
    std::memcpy(out.data.data(), Source().data.data(), Source().Bytes());
    benchmark::DoNotOptimize(out.data.data());
  }
  Rate(state, Source().Bytes());
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

BENCHMARK(BM_KestrumImport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngImport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KestrumExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SevlinImport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurbojpegImport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SevlinExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurbojpegExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HarskImport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HarskExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakImport10000x8000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::system(("rm -rf '" + Folder() + "'").c_str());
  return 0;
}

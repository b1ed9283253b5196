// The layer utility: turns by any angle and scaling as worker jobs, exact quarter turns.
//
// Geometry: a turn maps the centre of the destination onto the centre of the source, in
// the layers' own pixel coordinates; positions are the caller's (it places the destination
// where GetRotatedRect says). Clockwise means clockwise on screen, rows running down.
#include "MorvaneUtility.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "SharedPool.h"
#include "UtilityKernels.h"
#include "odata/GCompRef.h"
#include "platform/base/Text.h"

namespace {

// Float angles near a quarter turn leave a cosine of about 1e-7; a turned side may exceed
// a whole pixel count by this much and still fit it.
constexpr double kSideSlack = 1.0 / 64;
constexpr double kOne32 = 4294967296.0;  // 1.0 in 32.32 fixed point

struct JobArgs {
  OLayer* dest = nullptr;
  OLayer* source = nullptr;
  float angle = 0.0f;
};

void ReadArgs(JobRecord* job, JobArgs* args) {
  GVERIFY(job && job->pArgs, u"!pAgm->pArgs");
  job->pArgs->Rewind();
  job->pArgs->Read(&args->dest, sizeof args->dest);
  job->pArgs->Read(&args->source, sizeof args->source);
  job->pArgs->Read(&args->angle, sizeof args->angle);
}

void CheckPair(OLayer* dest, OLayer* source) {
  GVERIFY(dest && source, u"!poLayerDest&&poLayerSrc");
  GVERIFY(dest != source, u"!poLayerDest!=poLayerSrc");
  GVERIFY(dest->GetFormat() == source->GetFormat(), u"!poLayerDest->GetFormat()==poLayerSrc->GetFormat()");
}

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// The destination pixels i in [0, n) whose point x + i * step has its first corner column
// (the rounded floor of the sample point) in [-1, side - 1]: outside it no corner can lie
// in the source. Returns an empty range as {0, 0}.
std::pair<int64_t, int64_t> SampleRange(int64_t x, int64_t step, int side, int64_t n) {
  const int64_t half = int64_t(1) << 23;
  const int64_t lo = -(int64_t(1) << 32) - half;                 // first point with column -1
  const int64_t hi = int64_t(side) * (int64_t(1) << 32) - half;  // first point past column side - 1
  int64_t first = 0, last = n;                                   // [first, last)
  if (step == 0) {
    if (x < lo || x >= hi) return {0, 0};
  } else if (step > 0) {
    first = std::max(first, CeilDiv(lo - x, step));
    last = std::min(last, FloorDiv(hi - 1 - x, step) + 1);
  } else {
    first = std::max(first, CeilDiv(hi - 1 - x, step));
    last = std::min(last, FloorDiv(lo - x, step) + 1);
  }
  if (first >= last) return {0, 0};
  return {first, last};
}

// The taps of one scaled axis: output j takes weight[j * taps + t] of input start[j] + t.
struct Axis {
  int taps = 1;
  std::vector<int32_t> start;
  std::vector<float> weight;
};

// Bilinear between the two nearest inputs where the axis grows (clamped at the ends, so an
// edge does not fade), the exact area each input covers where it shrinks, and the input
// itself where the size stays.
Axis MakeAxis(int from, int to) {
  std::vector<std::vector<std::pair<int, double>>> lists(static_cast<size_t>(to));
  for (int j = 0; j < to; ++j) {
    auto& list = lists[size_t(j)];
    if (to == from) {
      list.push_back({j, 1.0});
    } else if (to < from) {
      // Output j covers [j from, (j + 1) from) and input i covers [i to, (i + 1) to).
      const int64_t a = int64_t(j) * from, b = a + from;
      for (int64_t i = a / to; i * to < b; ++i) {
        const int64_t overlap = std::min<int64_t>((i + 1) * to, b) - std::max<int64_t>(i * to, a);
        list.push_back({int(i), double(overlap) / double(from)});
      }
    } else {
      // The input position of the output pixel's centre: (j + 0.5) from / to - 0.5.
      const double s = std::clamp((double(2 * int64_t(j) + 1) * from - to) / (2.0 * to), 0.0, double(from - 1));
      const int i0 = int(s);
      const double f = s - i0;
      if (f > 0 && i0 + 1 < from) {
        list.push_back({i0, 1.0 - f});
        list.push_back({i0 + 1, f});
      } else {
        list.push_back({i0, 1.0});
      }
    }
  }
  Axis axis;
  for (const auto& list : lists) axis.taps = std::max(axis.taps, int(list.size()));
  axis.start.resize(size_t(to));
  axis.weight.assign(size_t(to) * size_t(axis.taps), 0.0f);
  for (int j = 0; j < to; ++j) {
    const auto& list = lists[size_t(j)];
    // Every window lies inside the input: taps never exceed its size.
    const int start = std::min(list.front().first, from - axis.taps);
    axis.start[size_t(j)] = start;
    for (const auto& [i, w] : list) axis.weight[size_t(j) * size_t(axis.taps) + size_t(i - start)] = float(w);
  }
  return axis;
}

template <class T>
void TurnPixels(const LayerLock& from, const LayerLock& to, bool clockwise) {
  // Tiles keep the column writes of a transposition inside the cache.
  constexpr int kTile = 64;
  const int w = from.nWidth, h = from.nHeight;
  const size_t sp = size_t(from.nPitch), dp = size_t(to.nPitch);
  const T* src = reinterpret_cast<const T*>(from.pPixels);
  T* dst = reinterpret_cast<T*>(to.pPixels);
  for (int y0 = 0; y0 < h; y0 += kTile) {
    const int y1 = std::min(h, y0 + kTile);
    for (int x0 = 0; x0 < w; x0 += kTile) {
      const int x1 = std::min(w, x0 + kTile);
      for (int y = y0; y < y1; ++y) {
        const T* s = src + size_t(y) * sp;
        if (clockwise) {
          // Source (x, y) goes to (h - 1 - y, x).
          T* d = dst + size_t(h - 1 - y);
          for (int x = x0; x < x1; ++x) d[size_t(x) * dp] = s[x];
        } else {
          // Source (x, y) goes to (y, w - 1 - x).
          T* d = dst + size_t(y);
          for (int x = x0; x < x1; ++x) d[size_t(w - 1 - x) * dp] = s[x];
        }
      }
    }
  }
}

// Calls row(r, worker) for every output row, rows in order a wave at a time: a wave's bands
// of rows go to the shared pool side by side (each row is written by one call alone, so the
// result is the one-thread one); worker (below shared_pool::Workers()) picks the caller's
// scratch. Between waves the progress is the rows done and a cancel stops the job: the rows
// before the progress are written, the rest untouched, as one thread leaves them. FALSE when
// cancelled.
template <class Row>
bool ForEachRowOnPool(int rows, JobControl* control, Row&& row) {
  constexpr int kBandRows = 32;
  struct Wave {
    Row& row;
    int first, end;
  } wave{row, 0, 0};
  const int waveRows = shared_pool::Workers() * kBandRows;
  for (; wave.first < rows; wave.first = wave.end) {
    control->progress = wave.first;
    if (control->flags & JOB_ABORT) return false;
    wave.end = std::min(rows, wave.first + waveRows);
    shared_pool::Run(
        (wave.end - wave.first + kBandRows - 1) / kBandRows,
        [](void* context, int index, int worker) {
          Wave& w = *static_cast<Wave*>(context);
          const int from = w.first + index * kBandRows, to = std::min(w.end, from + kBandRows);
          for (int r = from; r < to; ++r) w.row(r, worker);
        },
        &wave);
  }
  return true;
}

}  // namespace

void* MorvaneUtility::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"OLayerUtility") == 0 ? static_cast<OLayerUtility*>(this) : nullptr;
}

BOOL MorvaneUtility::GetRotatedRect(OLayer* layer, float angle, RECT* out) {
  try {
    GVERIFY(layer && out, u"!poLayer&&prcOut");
    RECT rc;
    layer->GetRect(&rc);
    const int64_t w = int64_t(rc.right) - rc.left, h = int64_t(rc.bottom) - rc.top;
    int64_t W = w, H = h;
    const bool finite = std::isfinite(angle);
    if (finite) {
      const double c = std::fabs(std::cos(double(angle))), s = std::fabs(std::sin(double(angle)));
      W = std::max<int64_t>(1, int64_t(std::ceil(double(w) * c + double(h) * s - kSideSlack)));
      H = std::max<int64_t>(1, int64_t(std::ceil(double(w) * s + double(h) * c - kSideSlack)));
    }
    // The centring of the quarter turns and the scale, the division truncating toward zero.
    const int64_t left = (int64_t(rc.left) + rc.right) / 2 - W / 2;
    const int64_t top = (int64_t(rc.top) + rc.bottom) / 2 - H / 2;
    *out = RECT{int32_t(left), int32_t(top), int32_t(left + W), int32_t(top + H)};
    return finite && W <= LYR_MAX_SIDE && H <= LYR_MAX_SIDE ? TRUE : FALSE;
  }
  GCATCH(GetClassName(), u"::GetRotatedRect()")
}

int MorvaneUtility::PrepareJob(JobRecord* job, JobProc proc, OLayer* dest, OLayer* source, float angle) {
  GCompRef<OData> local;
  JobRecord own{nullptr, u"unknown", 6, 0, this, proc};
  if (!job) {
    local = GNewData(4096);
    own.pArgs = local;
  }
  JobRecord* record = job ? job : &own;
  GVERIFY(record->pArgs, u"!pAgm->pArgs");
  record->object = this;
  record->proc = proc;
  record->name = u"unknown";
  record->kind = 6;
  // A job that fails leaves 0 here: the caller sees a failure, not the -1 it set.
  record->result = 0;
  record->pArgs->Rewind();
  record->pArgs->Write(&dest, sizeof dest);
  record->pArgs->Write(&source, sizeof source);
  record->pArgs->Write(&angle, sizeof angle);
  if (job) return 1;
  JobControl control;
  return proc(this, &own, &control);
}

int MorvaneUtility::Rotate(OLayer* dest, OLayer* source, float angle, JobRecord* job) {
  RECT rc{0, 0, 0, 0};
  try {
    CheckPair(dest, source);
    GVERIFY(GetRotatedRect(source, angle, &rc), u"!nRotatedWidth<=10000&&nRotatedHeight<=10000");
    return PrepareJob(job, JobThunk<MorvaneUtility, &MorvaneUtility::RotateWorker>, dest, source, angle);
  }
  GCATCH(GetClassName(),
         u"::Rotate()", ->AppendArg(GArgInt(rc.right - rc.left))->AppendArg(GArgInt(rc.bottom - rc.top)))
}

int MorvaneUtility::Scale(OLayer* dest, OLayer* source, JobRecord* job) {
  try {
    CheckPair(dest, source);
    return PrepareJob(job, JobThunk<MorvaneUtility, &MorvaneUtility::ScaleWorker>, dest, source, 0.0f);
  }
  GCATCH(GetClassName(), u"::Scale()")
}

int32_t MorvaneUtility::RotateWorker(JobRecord* job, JobControl* control) {
  JobArgs args;
  RECT rc{0, 0, 0, 0};
  try {
    ReadArgs(job, &args);
    JobControl own;
    if (!control) control = &own;
    CheckPair(args.dest, args.source);
    GVERIFY(GetRotatedRect(args.source, args.angle, &rc), u"!nRotatedWidth<=10000&&nRotatedHeight<=10000");
    LayerLock from, to;
    from.Lock(args.source, LYR_LOCK_READ);
    to.Lock(args.dest, 0);
    const int W = to.nWidth, H = to.nHeight, w = from.nWidth, h = from.nHeight;
    const bool colour = to.nPixelSize == OLayer::myFORMAT_C32;
    control->progress = 0;
    control->total = H;

    // Destination pixel (i, row) samples the source at its centre turned back:
    //   (u, v) = (i + 0.5 - W / 2, row + 0.5 - H / 2)
    //   x = u cos + v sin + w / 2 - 0.5,  y = -u sin + v cos + h / 2 - 0.5
    // (0 being the centre of source pixel 0), in 32.32 fixed point.
    const double c = std::cos(double(args.angle)), s = std::sin(double(args.angle));
    const double u0 = 0.5 - W / 2.0;
    auto fixed = [](double v) { return int64_t(std::llround(v * kOne32)); };
    xform::SampleLine line{from.pPixels, size_t(from.nPitch), w, h, 0, 0, fixed(c), fixed(-s)};
    const size_t pixelSize = size_t(to.nPixelSize);
    auto turnRow = [&](int row, int) {
      const double v = row + 0.5 - H / 2.0;
      xform::SampleLine part = line;
      part.x = fixed(u0 * c + v * s + w / 2.0 - 0.5);
      part.y = fixed(-u0 * s + v * c + h / 2.0 - 0.5);
      // Outside this run no corner lies in the source: the kernel would write zeros there.
      auto [x0, x1] = SampleRange(part.x, part.dx, w, W);
      auto [y0, y1] = SampleRange(part.y, part.dy, h, W);
      const int64_t first = std::max(x0, y0), last = std::max(first, std::min(x1, y1));
      BYTE* out = to.Row(row);
      std::memset(out, 0, size_t(first) * pixelSize);
      std::memset(out + size_t(last) * pixelSize, 0, size_t(W - last) * pixelSize);
      if (first == last) return;
      part.x += first * part.dx;
      part.y += first * part.dy;
      if (colour) {
        xform::SampleRowC32Sse2(reinterpret_cast<uint32_t*>(out) + first, size_t(last - first), part);
      } else {
        xform::SampleRowA16Sse2(reinterpret_cast<uint16_t*>(out) + first, size_t(last - first), part);
      }
    };
    if (!ForEachRowOnPool(H, control, turnRow)) return 0;
    control->progress = H;
    return 1;
  }
  GCATCH(GetClassName(),
         u"::RotateWorker()", ->AppendArg(GArgInt(rc.right - rc.left))->AppendArg(GArgInt(rc.bottom - rc.top)))
}

int32_t MorvaneUtility::ScaleWorker(JobRecord* job, JobControl* control) {
  JobArgs args;
  try {
    ReadArgs(job, &args);
    JobControl own;
    if (!control) control = &own;
    CheckPair(args.dest, args.source);
    LayerLock from, to;
    from.Lock(args.source, LYR_LOCK_READ);
    to.Lock(args.dest, 0);
    const int W = to.nWidth, H = to.nHeight, w = from.nWidth, h = from.nHeight;
    const bool colour = to.nPixelSize == OLayer::myFORMAT_C32;
    control->progress = 0;
    control->total = H;

    if (W == w && H == h) {
      for (int row = 0; row < H; ++row) {
        control->progress = row;
        if (control->flags & JOB_ABORT) return 0;
        std::memcpy(to.Row(row), from.Row(row), size_t(w) * size_t(to.nPixelSize));
      }
      control->progress = H;
      return 1;
    }

    const Axis ax = MakeAxis(w, W), ay = MakeAxis(h, H);
    // Each worker's own scratch: the column sums and the taps of the row it works on.
    struct Scratch {
      std::vector<float> acc;
      std::vector<const uint32_t*> rows32;
      std::vector<const uint16_t*> rows16;
      std::vector<float> weights;
    };
    std::vector<Scratch> scratch(static_cast<size_t>(shared_pool::Workers()));
    for (Scratch& k : scratch) {
      k.acc.resize(size_t(w) * (colour ? 4 : 1));
      k.rows32.resize(size_t(ay.taps));
      k.rows16.resize(size_t(ay.taps));
      k.weights.resize(size_t(ay.taps));
    }
    auto scaleRow = [&](int row, int worker) {
      Scratch& k = scratch[size_t(worker)];
      // The rows this output row takes (zero padding left out).
      int n = 0;
      for (int t = 0; t < ay.taps; ++t) {
        const float wt = ay.weight[size_t(row) * size_t(ay.taps) + size_t(t)];
        if (wt == 0.0f) continue;
        const BYTE* in = from.Row(ay.start[size_t(row)] + t);
        k.rows32[size_t(n)] = reinterpret_cast<const uint32_t*>(in);
        k.rows16[size_t(n)] = reinterpret_cast<const uint16_t*>(in);
        k.weights[size_t(n++)] = wt;
      }
      BYTE* out = to.Row(row);
      if (colour) {
        xform::ScaleColumnC32Sse2(k.acc.data(), size_t(w), k.rows32.data(), k.weights.data(), n);
        xform::ScaleRowC32Sse2(reinterpret_cast<uint32_t*>(out), size_t(W), k.acc.data(), ax.start.data(),
                               ax.weight.data(), ax.taps);
      } else {
        xform::ScaleColumnA16Sse2(k.acc.data(), size_t(w), k.rows16.data(), k.weights.data(), n);
        xform::ScaleRowA16Sse2(reinterpret_cast<uint16_t*>(out), size_t(W), k.acc.data(), ax.start.data(),
                               ax.weight.data(), ax.taps);
      }
    };
    if (!ForEachRowOnPool(H, control, scaleRow)) return 0;
    control->progress = H;
    return 1;
  }
  GCATCH(GetClassName(), u"::ScaleWorker()")
}

BOOL MorvaneUtility::Turn(OLayer* dest, OLayer* source, bool clockwise) {
  if (!dest || !source || dest == source) return FALSE;
  if (dest->GetFormat() != source->GetFormat()) return FALSE;
  if (dest->GetWidth() != source->GetHeight() || dest->GetHeight() != source->GetWidth()) return FALSE;
  LayerLock from, to;
  from.Lock(source, LYR_LOCK_READ);
  to.Lock(dest, 0);
  if (to.nPixelSize == OLayer::myFORMAT_C32) {
    TurnPixels<uint32_t>(from, to, clockwise);
  } else {
    TurnPixels<uint16_t>(from, to, clockwise);
  }
  return TRUE;
}

BOOL MorvaneUtility::Rotate90(OLayer* dest, OLayer* source) {
  try {
    return Turn(dest, source, true);
  }
  GCATCH(GetClassName(), u"::Rotate90()")
}

BOOL MorvaneUtility::Rotate270(OLayer* dest, OLayer* source) {
  try {
    return Turn(dest, source, false);
  }
  GCATCH(GetClassName(), u"::Rotate270()")
}

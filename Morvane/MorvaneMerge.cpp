// Merging into a colour layer (another layer, a mask, the rows of a composed nest) and
// clipping a rectangle of a layer into a new one. All work on level 0; the caller refreshes
// the mip levels.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "MergeKernels.h"
#include "Morvane.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"

namespace {

// The overlap of [a, a + na) and [b, b + nb) along one axis: offsets into each and the count.
struct Overlap {
  int offA = 0, offB = 0, count = 0;
};

// Empty when either end passes the integer range, as a layer at such a place shows nothing.
Overlap OverlapOf(int32_t a, int32_t na, int32_t b, int32_t nb) {
  Overlap o;
  const int64_t endA = int64_t(a) + na, endB = int64_t(b) + nb;
  if (endA > INT32_MAX || endB > INT32_MAX) return o;
  const int64_t start = std::max<int64_t>(a, b);
  const int64_t count = std::min(endA, endB) - start;
  if (count <= 0) return o;
  o.offA = int(start - a);
  o.offB = int(start - b);
  o.count = int(count);
  return o;
}

// For each of count destination places starting at dpos, the source place of a tiling whose
// tile at spos is upright; mirrored, every other tile runs backwards.
std::vector<int> TilePlaces(int32_t dpos, int count, int32_t spos, int size, bool mirror) {
  std::vector<int> places(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    const int64_t offset = int64_t(dpos) + k - spos;
    int64_t tile = offset / size;
    if (offset % size < 0) --tile;  // floor, so tiles left of the source count -1, -2 ...
    const int64_t place = offset - tile * size;
    places[size_t(k)] = int(mirror && (tile & 1) ? size - 1 - place : place);
  }
  return places;
}

template <class T>
void CopyTiled(const LayerLock& dest, const LayerLock& src, bool mirror) {
  const std::vector<int> columns = TilePlaces(dest.x, dest.nWidth, src.x, src.nWidth, mirror);
  const std::vector<int> rows = TilePlaces(dest.y, dest.nHeight, src.y, src.nHeight, mirror);
  for (int j = 0; j < dest.nHeight; ++j) {
    T* d = reinterpret_cast<T*>(dest.Row(j));
    const T* s = reinterpret_cast<const T*>(src.Row(rows[size_t(j)]));
    for (int k = 0; k < dest.nWidth; ++k) d[k] = s[columns[size_t(k)]];
  }
}

// The image copy of Clip: mode 0 the overlap, 1 the source tiled, 2 tiled and mirrored;
// another mode copies nothing.
void CopyImage(const LayerLock& dest, const LayerLock& src, int mode) {
  GVERIFY(dest.nPixelSize == src.nPixelSize, u"!imgDest.nPixelSize==imgSource.nPixelSize");
  const bool wide = dest.nPixelSize == 4;
  if (mode == 0) {
    const Overlap ox = OverlapOf(dest.x, dest.nWidth, src.x, src.nWidth);
    const Overlap oy = OverlapOf(dest.y, dest.nHeight, src.y, src.nHeight);
    const size_t px = size_t(dest.nPixelSize);
    for (int j = 0; j < oy.count; ++j) {
      std::memcpy(dest.Row(oy.offA + j) + size_t(ox.offA) * px, src.Row(oy.offB + j) + size_t(ox.offB) * px,
                  size_t(ox.count) * px);
    }
  } else if (mode == 1 || mode == 2) {
    if (wide) {
      CopyTiled<uint32_t>(dest, src, mode == 2);
    } else {
      CopyTiled<uint16_t>(dest, src, mode == 2);
    }
  }
}

}  // namespace

OLayer* Morvane::NewSibling(int width, int height, int format, UINT id) {
  GSystem* system = GetSystem();
  GVERIFY(system, u"!m_xBeing.m_pSystem");
  OComponent* obj = system->NewObj(u"Morvane", nullptr);
  GVERIFY(obj, u"!pLyr_");
  auto* layer = static_cast<OLayer*>(obj->GetInterface(u"OLayer__"));
  if (!layer) {
    Discard(obj);
    GTHROW(u"!pLyr_");
  }
  try {
    layer->Initialize(m_pDevice, width, height, format, id);
  } catch (...) {
    Discard(layer);
    throw;
  }
  return layer;
}

int Morvane::Merge(OLayer* source) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(m_nFormat == myFORMAT_C32, u"!m_nFormat==myFORMAT_C32");
    GVERIFY(source, u"!poLayerSrc");
    LayerLock lk, lkSrc;
    lk.Lock(this, 0);
    lkSrc.Lock(source, LYR_LOCK_READ);
    const Overlap ox = OverlapOf(lk.x, lk.nWidth, lkSrc.x, lkSrc.nWidth);
    const Overlap oy = OverlapOf(lk.y, lk.nHeight, lkSrc.y, lkSrc.nHeight);
    // The source colour in pixel order; its top byte is the opacity.
    const uint32_t c = lkSrc.dwColor;
    const uint32_t colour = ((c & 0xFF) << 16) | (c & 0xFF00FF00u) | ((c >> 16) & 0xFF);
    const size_t n = size_t(ox.count);
    for (int j = 0; j < oy.count && n; ++j) {
      uint32_t* d = reinterpret_cast<uint32_t*>(lk.Row(oy.offA + j)) + ox.offA;
      const BYTE* s = lkSrc.Row(oy.offB + j);
      if (lkSrc.nPixelSize == myFORMAT_C32) {
        merge::MergeRowC32Sse2(d, reinterpret_cast<const uint32_t*>(s) + ox.offB, n, colour >> 24);
      } else if (lkSrc.nPixelSize == myFORMAT_A16) {
        merge::MergeRowA16Sse2(d, reinterpret_cast<const uint16_t*>(s) + ox.offB, n, colour);
      }
    }
    lkSrc.Unlock();
    lk.Unlock();
    return 0;
  }
  GCATCH(GetClassName(), u"::Merge()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(m_nFormat)))
}

int Morvane::MergeMask(OLayer* mask) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(mask, u"!poLayerSrc");
    LayerLock lk, lkSrc;
    lk.Lock(this, 0);
    lkSrc.Lock(mask, LYR_LOCK_READ);
    GVERIFY(lk.nWidth == lkSrc.nWidth, u"!lk.nWidth==lkSrc.nWidth");
    GVERIFY(lk.nHeight == lkSrc.nHeight, u"!lk.nHeight==lkSrc.nHeight");
    GVERIFY(lk.nPixelSize == 4, u"!lk.nPixelSize==4");
    GVERIFY(lkSrc.nPixelSize == 2, u"!lkSrc.nPixelSize==2");
    for (int j = 0; j < lk.nHeight; ++j) {
      merge::MaskRowSse2(reinterpret_cast<uint32_t*>(lk.Row(j)), reinterpret_cast<const uint16_t*>(lkSrc.Row(j)),
                         size_t(lk.nWidth));
    }
    lkSrc.Unlock();
    lk.Unlock();
    return 0;
  }
  GCATCH(GetClassName(), u"::MergeMask()", ->AppendArg(GArgInt(m_myState)))
}

int Morvane::MergeNest(ORowSource* rows, JobRecord* job) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(m_nFormat == myFORMAT_C32, u"!m_nFormat==myFORMAT_C32");
    GVERIFY(rows, u"!poRowSource");
    // The argument block carries the row source's address as a native pointer.
    if (job) {
      GVERIFY(job->pArgs, u"!pAgm->pArgs");
      job->object = this;
      job->proc = JobThunk<Morvane, &Morvane::____MergeNest>;
      job->name = u"unknown";
      job->kind = 6;
      job->pArgs->Rewind();
      return job->pArgs->Write(&rows, sizeof rows) ? 1 : 0;
    }
    GCompRef<OData> args = GNewData(4096);
    args->Write(&rows, sizeof rows);
    JobRecord local{args, u"unknown", 6, -1, this, JobThunk<Morvane, &Morvane::____MergeNest>};
    return ____MergeNest(&local, nullptr);
  }
  GCATCH(GetClassName(), u"::MergeNest()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(m_nFormat)))
}

int32_t Morvane::____MergeNest(JobRecord* job, JobControl* control) {
  try {
    GVERIFY(job && job->pArgs, u"!pAgm->pArgs");
    LayerLock lk;
    lk.Lock(this, 0);
    ORowSource* rows = nullptr;
    job->pArgs->Rewind();
    job->pArgs->Read(&rows, sizeof rows);
    GVERIFY(rows, u"!poRowSource");
    JobControl own;
    if (!control) control = &own;
    control->total = lk.nHeight;
    const UINT bytes = UINT(lk.nWidth) * UINT(lk.nPixelSize);
    for (int i = 0; i < lk.nHeight; ++i) {
      const BYTE* row = rows->GetRow(i, bytes);
      GVERIFY(row, u"!pRow");
      std::memcpy(lk.Row(i), row, bytes);
      control->progress = i;
      // Rows copied so far stay: the caller's undo data covers the whole layer.
      if (control->flags & JOB_ABORT) {
        lk.Unlock();
        return 0;
      }
    }
    lk.Unlock();
    return 1;
  } catch (GErrRecord* e) {
    e->AddContext()->AppendString(u"\r\n")->AppendString(GetClassName())->AppendString(u"::____MergeNest()");
    throw;
  }
}

OLayer* Morvane::Clip(const RECT* rc, int mode) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(rc, u"!lpRect");
    // 64-bit differences: the corners may lie anywhere in the integer range.
    const int width = int(std::clamp<int64_t>(int64_t(rc->right) - rc->left, 1, LYR_MAX_SIDE));
    const int height = int(std::clamp<int64_t>(int64_t(rc->bottom) - rc->top, 1, LYR_MAX_SIDE));
    OLayer* out = NewSibling(width, height, m_nFormat, 0);
    try {
      out->SetPosition(rc->left, rc->top, FALSE);
      out->CopyInfoFrom(this);
      LayerLock lkDest, lkSrc;
      lkDest.Lock(out, 0);
      lkSrc.Lock(this, LYR_LOCK_READ);
      CopyImage(lkDest, lkSrc, mode);
    } catch (...) {
      Discard(out);
      throw;
    }
    return out;
  }
  GCATCH(GetClassName(), u"::Clip()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(mode)))
}

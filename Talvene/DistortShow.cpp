// The preview: the warped source rasterised with nearest sampling into a buffer the size of
// the view, then composed over the display device's back buffer and presented.
#include <algorithm>
#include <cstring>

#include "Talvene.h"

namespace {

uint32_t SwapRedBlue(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// The back buffer's row y (top-down) of a description whose rows run bottom-up.
const uint32_t* BackRow(const LayerLock& bb, int y) {
  const size_t rowBytes = bb.cbRow ? bb.cbRow : size_t(bb.nPitch) * 4;
  return reinterpret_cast<const uint32_t*>(bb.pPixels + size_t(bb.nHeight - 1 - y) * rowBytes);
}

}  // namespace

void DrawPreviewQuad(const Grid& g, uint32_t colour, PreviewRowSpan* spans, int nSpans, const preview::Kernels& k) {
  GVERIFY(g.imgDest.info.nPixelSize == 4, u"!Grid.imgDest.nPixelSize==4");
  const LayerInfo& si = g.imgSrc.info;
  GVERIFY(si.nPixelSize == 2 || si.nPixelSize == 4, u"nPixelSize?");
  const int32_t top = std::min({g.dst[0].y, g.dst[1].y, g.dst[2].y, g.dst[3].y});
  const int32_t bottom = std::max({g.dst[0].y, g.dst[1].y, g.dst[2].y, g.dst[3].y});
  const int32_t y0 = std::max(top, 0), y1 = std::min({bottom, g.imgDest.info.nHeight, nSpans});
  if (y0 >= y1) return;
  for (int32_t y = y0; y < y1; ++y) spans[y].filled = 0;

  static constexpr int kEdges[4][2] = {{0, 1}, {0, 2}, {1, 3}, {2, 3}};
  for (const auto& edge : kEdges) {
    int lo = edge[0], hi = edge[1];
    if (g.dst[lo].y == g.dst[hi].y) continue;
    if (g.dst[lo].y > g.dst[hi].y) std::swap(lo, hi);  // lo: the end with the smaller y
    const POINT &d0 = g.dst[lo], &d1 = g.dst[hi], &s0 = g.src[lo], &s1 = g.src[hi];
    const int64_t h = int64_t(d1.y) - d0.y;
    for (int32_t y = std::max(d0.y, y0); y < std::min(d1.y, y1); ++y) {
      const int64_t t = int64_t(y) - d0.y;
      PreviewRowSpan& sp = spans[y];
      PreviewCrossing& c = sp.c[sp.filled ? 1 : 0];
      c.x = int32_t(d0.x + (int64_t(d1.x) - d0.x) * t / h);
      c.sx = int32_t(s0.x + (int64_t(s1.x) - s0.x) * t / h);
      c.sy = int32_t(s0.y + (int64_t(s1.y) - s0.y) * t / h);
      sp.filled = std::min(sp.filled + 1, 2);
    }
  }

  const preview::Source src{g.imgSrc.pixels, size_t(si.nPitch) * size_t(si.nPixelSize), si.nWidth, si.nHeight,
                            si.nPixelSize, SwapRedBlue(colour) & 0xFFFFFF};
  const int32_t width = g.imgDest.info.nWidth;
  for (int32_t y = y0; y < y1; ++y) {
    const PreviewRowSpan& sp = spans[y];
    if (sp.filled < 2) continue;
    const bool swap = sp.c[1].x < sp.c[0].x;
    const PreviewCrossing& a = sp.c[swap ? 1 : 0];
    const PreviewCrossing& b = sp.c[swap ? 0 : 1];
    const int32_t xa = std::max(a.x, 0), xb = std::min(b.x, width);
    if (xa >= xb) continue;
    uint32_t* row = reinterpret_cast<uint32_t*>(g.imgDest.pixels) + size_t(y) * size_t(g.imgDest.info.nPitch);
    k.sample(row, xa, xb, preview::Span{a.x, b.x, a.sx, a.sy, b.sx, b.sy}, src);
  }
}

void Talvene::ShowRefresh(OShowDevice* device, DistortArgs* args) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    GCHECK(device && args);
    LayerLock bb;
    device->GetBackBuffer(&bb);
    if (bb.nWidth != m_grid.imgDest.info.nWidth || bb.nHeight != m_grid.imgDest.info.nHeight || !m_pPreview) {
      m_pPreview.reset();
      m_pOut.reset();
      const int32_t w = std::max(bb.nWidth, 0), h = std::max(bb.nHeight, 0);
      const size_t n = size_t(w) * size_t(h);
      // Both buffers have their own pitch, the width, whatever the back buffer's.
      m_view = LayerInfo{w, h, w, 4, bb.x, bb.y, bb.dwColor, 0};
      m_grid.imgDest.info = m_view;
      if (n) {
        m_pPreview.reset(new uint32_t[n]);
        m_pOut.reset(new uint32_t[n]);
      }
      m_spans.assign(size_t(h), PreviewRowSpan{});
    }
    m_previewColour = args->dwColor;
    m_previewMode = (args->nPixelSize == 4 ? 8 : 0) + (args->nMode & 7);
    const LayerInfo view = m_grid.imgDest.info;
    if (m_pPreview) std::memset(m_pPreview.get(), 0, size_t(view.nWidth) * size_t(view.nHeight) * 4);

    m_previewMesh.Clear();
    m_grid = Grid{};
    BuildMesh(m_previewMesh, *args, args->dwFlags | DISTORT_F_HALF);
    m_grid.imgDest = GridImage{view, reinterpret_cast<BYTE*>(m_pPreview.get())};
    m_grid.imgSrc = GridImage{LayerInfo{args->nWidth, args->nHeight, args->nPitch, args->nPixelSize, args->x, args->y,
                                        args->dwColor, 0},
                              args->pPixels};

    const DistortMesh& m = m_previewMesh;
    const bool facing = (args->dwFlags & DISTORT_F_FACING) != 0;
    for (int r = m.nRows - 2; r >= 0; --r)
      for (int q = m.nCols - 2; q >= 0; --q) {
        const DistortPoint c[4] = {m.grid[r][q], m.grid[r][q + 1], m.grid[r + 1][q], m.grid[r + 1][q + 1]};
        for (int k = 0; k < 4; ++k) m_grid.dst[k] = POINT{LONG(c[k].x), LONG(c[k].y)};
        m_grid.src[0] = POINT{m.xs[q], m.ys[r]};
        m_grid.src[1] = POINT{m.xs[q + 1], m.ys[r]};
        m_grid.src[2] = POINT{m.xs[q], m.ys[r + 1]};
        m_grid.src[3] = POINT{m.xs[q + 1], m.ys[r + 1]};
        if (IsFrontFacing(c[0], c[1], c[2], c[3], facing))
          DrawPreviewQuad(m_grid, m_previewColour, m_spans.data(), int(m_spans.size()), m_previewKernels);
      }
    m_bComposed = false;
  }
  GCATCH(GetClassName(), u"::ShowRefresh()",
         ->AppendArg(GArgInt(m_myState))->AppendMemory(GMemory{DISTORT_ARGS_FIXED, args}))
}

int Talvene::Show(OShowDevice* device, HDC hdc, const RECT* rc, BOOL recompose) {
  if (!device) return 0;
  LayerLock bb;
  device->GetBackBuffer(&bb);
  if (!m_pOut || !bb.pPixels || bb.nWidth != m_view.nWidth || bb.nHeight != m_view.nHeight)
    return device->Preset(hdc, rc);
  const int32_t w = m_view.nWidth, h = m_view.nHeight;
  RECT r = rc ? *rc : RECT{0, 0, w, h};
  r.left = std::max<LONG>(r.left, 0), r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, w), r.bottom = std::min<LONG>(r.bottom, h);
  if (r.left >= r.right || r.top >= r.bottom) return 0;
  const bool held = m_bComposed && r.left >= m_rcComposed.left && r.top >= m_rcComposed.top &&
                    r.right <= m_rcComposed.right && r.bottom <= m_rcComposed.bottom;
  if (recompose || !held) {
    const uint32_t word = (SwapRedBlue(m_previewColour) & 0xFFFFFF) | ((m_previewColour >> 24) * 128 / 255) << 24;
    const int n = r.right - r.left;
    for (int32_t y = r.top; y < r.bottom; ++y) {
      uint32_t* out = m_pOut.get() + size_t(h - 1 - y) * size_t(w) + size_t(r.left);
      const uint32_t* prev = m_pPreview.get() + size_t(y) * size_t(w) + size_t(r.left);
      m_previewKernels.composite(out, BackRow(bb, y) + r.left, prev, n, m_previewMode, word);
    }
    m_bComposed = true;
    m_rcComposed = r;
  }
  if (!hdc) return 0;
  hdc->Present(m_pOut.get(), w, h, w, true, r);
  return 1;
}

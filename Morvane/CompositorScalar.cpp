// The compositor's row driver and its scalar kernels, one pixel at a time: the definition
// the SIMD kernels are checked against.
#include <xmmintrin.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "CompositorKernels.h"

namespace compose {
namespace {

int64_t Clamp(int64_t v, int64_t lo, int64_t hi) { return std::min(std::max(v, lo), hi); }

template <int Family, int Mode>
void RowScalar(const RowArgs& a) {
  uint16_t colour[4];
  Widen(a.colour, colour);
  for (uint32_t i = 0; i < a.n; ++i) {
    uint16_t* d = a.dst + 4 * i;
    uint16_t pixel[4];
    const uint16_t* s = pixel;
    uint32_t v;  // the coverage byte
    if constexpr (Family == FAM_A16 || Family == FAM_GLASS) {
      s = colour;
      v = static_cast<const uint16_t*>(a.src)[i] >> 8;
    } else if constexpr (Family == FAM_C32 || Family == FAM_C32_MASKED) {
      Widen(static_cast<const uint32_t*>(a.src)[i], pixel);
      v = pixel[3];
    } else {
      s = static_cast<const uint16_t*>(a.src) + 4 * i;
      v = s[3];
    }
    const uint32_t m = a.mask ? uint32_t(a.mask[i] >> 8) : 0;
    if constexpr (Family == FAM_GLASS && Mode == myMODE_NORMAL) {
      const GlassResult g = GlassAlpha(Coverage(v, a.o), d[3]);
      for (int c = 0; c < 3; ++c) d[c] = uint16_t(Mix(s[c], d[c], g.weight));
      d[3] = uint16_t(g.alpha);
    } else {
      const uint32_t w = FamilyWeight(Family, v, a.o, m);
      for (int c = 0; c < 3; ++c) d[c] = uint16_t(BlendLane<Family, Mode>(s[c], d[c], w));
    }
  }
}

void CopyScalar(const RowArgs& a) {
  const uint32_t* s = static_cast<const uint32_t*>(a.src);
  for (uint32_t i = 0; i < a.n; ++i) Widen(s[i], a.dst + 4 * i);
}

void FillScalar(uint16_t* dst, uint32_t n, uint32_t colour) {
  for (uint32_t i = 0; i < n; ++i) Widen(colour, dst + 4 * i);
}

void FirstScalar(const RowArgs& a) {
  FillScalar(a.dst, a.n, a.colour);
  RowScalar<FAM_C32, myMODE_NORMAL>(a);
}

template <size_t... I>
constexpr KernelSet MakeScalarSet(std::index_sequence<I...>) {
  return {{RowScalar<int(I / 8), int(I % 8)>..., CopyScalar}, FillScalar, FirstScalar};
}
constexpr KernelSet kScalar = MakeScalarSet(std::make_index_sequence<COMPOSE_COPY>());

template <size_t... I>
uint32_t BlendAt(size_t index, uint32_t s, uint32_t d, uint32_t w, std::index_sequence<I...>) {
  using Fn = uint32_t (*)(uint32_t, uint32_t, uint32_t);
  static constexpr Fn table[] = {BlendLane<int(I / 8), int(I % 8)>...};
  return table[index](s, d, w);
}

}  // namespace

uint32_t BlendLaneAt(int family, int mode, uint32_t s, uint32_t d, uint32_t w) {
  return BlendAt(size_t(family * 8 + mode), s, d, w, std::make_index_sequence<COMPOSE_COPY>());
}

const KernelSet& ScalarKernels() { return kScalar; }

// The tile composes one accumulator row across every entry, so each layer row is a short
// burst in a page of its own that the hardware prefetcher does not foresee: ask for the
// same columns of the next row once this row's entry is composed (the kernel's own loads
// first; further ahead the requests only queue up behind each other at 64 layers). Into
// the second-level cache: the first holds too few lines of one set for every layer's row at
// once. Every line the span touches, the partial ones at either end too: a single line left
// out costs a full memory wait per layer and row.
constexpr int kPrefetchRows = 1;
inline void PrefetchAhead(const void* base, size_t index, size_t pitch, size_t pixelSize, uint32_t n) {
  const uintptr_t from = reinterpret_cast<uintptr_t>(base) + (index + kPrefetchRows * pitch) * pixelSize;
  const uintptr_t to = from + size_t(n) * pixelSize;
  for (uintptr_t at = from & ~uintptr_t(63); at < to; at += 64) _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T1);
}

void ComposeTile(ComposeWork* work, const ComposeEntry* entries, int count, const KernelSet& set) {
  const int64_t ox = work->originX, oy = work->originY;
  const uint32_t insideW = uint32_t(work->spaceWidth), insideH = uint32_t(work->spaceHeight);
  const int64_t firstRow = Clamp(work->firstRow, 0, ACC_SIDE);
  const int64_t endRow = Clamp(work->endRow, 0, ACC_SIDE);
  auto spanOf = [&](int64_t r) {
    return std::pair<int64_t, int64_t>(Clamp(work->spans[r].start, 0, ACC_SIDE),
                                       Clamp(work->spans[r].end, 0, ACC_SIDE));
  };

  // The background of a row: inside or outside the space by unsigned comparisons, as runs
  // of one colour.
  auto fillRow = [&](int64_t r) {
    const auto [x0, x1] = spanOf(r);
    uint16_t* row = work->acc[r][0];
    const bool rowInside = uint32_t(r + oy) < insideH;
    for (int64_t x = x0; x < x1;) {
      const uint32_t u = uint32_t(x + ox);
      const bool inside = rowInside && u < insideW;
      // The next change: u reaching the width, or wrapping to 0.
      const uint64_t run = !rowInside ? uint64_t(x1 - x)
                           : inside   ? uint64_t(insideW) - u
                                      : (uint64_t(1) << 32) - u;
      const int64_t len = int64_t(std::min<uint64_t>(uint64_t(x1 - x), run));
      set.fill(row + 4 * x, uint32_t(len), inside ? work->insideColour : work->outsideColour);
      x += len;
    }
  };

  // Clip to the space.
  const int64_t rowLo = std::max(firstRow, -oy);
  const int64_t rowHi = std::min(endRow, int64_t(work->spaceHeight) - oy);
  const int64_t colLo = -ox, colHi = int64_t(work->spaceWidth) - ox;
  count = int(Clamp(count, 0, COMPOSE_MAX_ENTRIES));
  // A bottom colour layer in normal mode at full opacity may take the background's place
  // on the rows whose whole span lies inside it and inside the space.
  const ComposeEntry* bottom = nullptr;
  if (count > 0 && (entries[0].code & 63) == uint32_t(COMPOSE_C32) + uint32_t(myMODE_NORMAL) &&
      entries[0].opacity[0] >= 128)
    bottom = &entries[0];

  // Row by row, the background just before the entries, so it is still in the cache. An end
  // code leaves the rest of the tile to the background.
  bool ended = false;
  for (int64_t r = firstRow; r < endRow; ++r) {
    if (ended || r < rowLo || r >= rowHi) {
      fillRow(r);
      continue;
    }
    auto [savedStart, savedEnd] = spanOf(r);
    const int64_t y = r + oy;
    int firstEntry = 0;
    if (bottom && y >= bottom->top && y < bottom->bottom && savedStart < savedEnd && savedStart >= colLo &&
        savedEnd <= colHi && savedStart + ox >= bottom->left && savedEnd + ox <= bottom->right) {
      RowArgs a{};
      a.n = uint32_t(savedEnd - savedStart);
      a.o = 128;
      a.colour = work->insideColour;
      const size_t index = size_t(y - bottom->top) * bottom->pitch + size_t(savedStart + ox - bottom->left);
      if (y + kPrefetchRows < bottom->bottom) PrefetchAhead(bottom->source, index, bottom->pitch, 4, a.n);
      a.dst = work->acc[r][savedStart];
      a.src = static_cast<const uint32_t*>(bottom->source) + index;
      set.first(a);
      firstEntry = 1;
    } else {
      fillRow(r);
    }
    savedStart = std::max(savedStart, colLo);
    savedEnd = std::min(savedEnd, colHi);
    int64_t start = savedStart, end = savedEnd;
    int level = 0;
    uint16_t* const rows[3] = {work->acc[r][0], work->nest[0][0], work->nest[1][0]};

    for (int i = firstEntry; i < count && !ended; ++i) {
      const ComposeEntry& e = entries[i];
      const uint32_t code = e.code & 63;
      const int family = int(code >> 3);
      if (y < e.top || y >= e.bottom) {
        // A base missing from this row hides its nested entries; its nest brings the
        // span back for the entries after the group.
        if (code == COMPOSE_COPY) {
          end = start;
        } else if (code >= COMPOSE_NEST && code < COMPOSE_COPY) {
          end = savedEnd;
        }
        continue;
      }
      if (code > COMPOSE_COPY) {  // the end of the whole tile
        ended = true;
        break;
      }

      const int64_t cs = std::max(start, int64_t(e.left) - ox);
      const int64_t ce = std::min(end, int64_t(e.right) - ox);
      RowArgs a{};
      a.n = ce > cs ? uint32_t(ce - cs) : 0;
      a.o = std::min<uint32_t>(e.opacity[0], 128);
      a.colour = e.colour[0];
      // Index of the first pixel in the source and the mask (meaningful when n > 0).
      const size_t index = a.n ? size_t(y - e.top) * e.pitch + size_t(cs + ox - e.left) : 0;

      if (code == COMPOSE_COPY) {
        if (level == 2) continue;
        // The nested entries see only the base's columns, even none.
        start = cs;
        end = ce;
        ++level;
        if (a.n) {
          a.dst = rows[level] + 4 * cs;
          a.src = static_cast<const uint32_t*>(e.source) + index;
          set.kernels[COMPOSE_COPY](a);
        }
        continue;
      }
      if (family >= FAM_NEST) {
        if (level == 0) continue;
        start = savedStart;
        end = savedEnd;
        const uint16_t* closed = rows[level];
        --level;
        if (a.n) {
          a.dst = rows[level] + 4 * cs;
          a.src = closed + 4 * cs;
          a.mask = family == FAM_NEST_MASKED ? e.mask + index : nullptr;
          set.kernels[code](a);
        }
        continue;
      }
      if (!a.n) continue;
      a.dst = rows[level] + 4 * cs;
      if (family == FAM_A16 || family == FAM_GLASS) {
        a.src = static_cast<const uint16_t*>(e.source) + index;
      } else {
        a.src = static_cast<const uint32_t*>(e.source) + index;
      }
      a.mask = family == FAM_C32_MASKED ? e.mask + index : nullptr;
      set.kernels[code](a);
      if (y + kPrefetchRows < e.bottom) {
        const size_t pixelSize = (family == FAM_A16 || family == FAM_GLASS) ? 2 : 4;
        PrefetchAhead(e.source, index, e.pitch, pixelSize, a.n);
        if (family == FAM_C32_MASKED) PrefetchAhead(e.mask, index, e.pitch, 2, a.n);
      }
    }
  }
}

}  // namespace compose

void LayerCompositorScalar(ComposeWork* work, const ComposeEntry* entries, int count) {
  compose::ComposeTile(work, entries, count, compose::ScalarKernels());
}

// What the production splat kernels share: stepping a position along a side without a
// division per step, and the colour mixes of a strip's splats, exact in double precision
// (the side mix of an i group and the splat value of a j group).
#pragma once
#include <cstdint>

#include "DistortKernels.h"

namespace distort {

// trunc(a / b) for |a| < 2^53 and 0 < |b| < 2^53: the rounded double quotient never reaches
// the next integer, since the distance to it is at least 1 / |b|.
inline int64_t Quot(int64_t a, int64_t b) { return int64_t(double(a) / double(b)); }

// trunc(a / b) for 0 <= a < 2^50 and b > 0 through inv = 1 / b: the product is within one
// of the quotient, and the remainder corrects it. Cheaper than a division where one
// reciprocal serves several quotients.
inline int64_t QuotBy(int64_t a, int64_t b, double inv) {
  int64_t q = int64_t(double(a) * inv);
  const int64_t r = a - q * b;
  q -= r < 0;
  q += r >= b;
  return q;
}

// base + trunc(d * k / m) for k = k0, k0 + step, k0 + 2 step, ...
struct Walk {
  int64_t base = 0, q = 0, r = 0, dq = 0, dr = 0, m = 1;
  bool neg = false;
  void Init(int64_t b, int64_t d, int64_t mm, int64_t k0, int64_t step) {
    base = b, m = mm, neg = d < 0;
    const int64_t ad = neg ? -d : d;
    // Quotients in double precision: an integer division takes several times as long.
    q = Quot(ad * k0, m), r = ad * k0 - q * m;
    dq = Quot(ad * step, m), dr = ad * step - dq * m;
  }
  // The same from k0 = 0 with step 1 (|d| < 2^50), through inv = 1 / m.
  void InitBy(int64_t b, int64_t d, int64_t mm, double inv) {
    base = b, m = mm, neg = d < 0;
    const int64_t ad = neg ? -d : d;
    q = 0, r = 0;
    dq = QuotBy(ad, m, inv), dr = ad - dq * m;
  }
  // The same from k0 = 0 or 1 with step 2, given |d| / m and |d| % m.
  void InitPair(int64_t b, int64_t d, int64_t mm, int64_t k0, int64_t q1, int64_t r1) {
    base = b, m = mm, neg = d < 0;
    const bool carry = 2 * r1 >= m;
    dq = 2 * q1 + carry, dr = 2 * r1 - (carry ? m : 0);
    q = k0 ? q1 : 0, r = k0 ? r1 : 0;
  }
  int64_t Value() const { return neg ? base - q : base + q; }
  void Next() {
    q += dq, r += dr;
    const int64_t carry = r >= m;
    q += carry, r -= carry * m;
  }
};

// a / m and a % m for 0 <= a < 2^50 through the reciprocal, corrected to the exact values.
inline void DivMod(int64_t a, int64_t m, double inv, int64_t& q, int64_t& r) {
  q = int64_t(double(a) * inv);
  r = a - q * m;
  if (r < 0) {
    --q, r += m;
  } else if (r >= m) {
    ++q, r -= m;
  }
}

// trunc(a / b) for |a| < 2^50 and b > 0 through inv = 1 / b.
inline int64_t TruncBy(int64_t a, int64_t b, double inv) { return a < 0 ? -QuotBy(-a, b, inv) : QuotBy(a, b, inv); }

// 1 / v for the last v asked: neighbouring strips share their step counts and weights.
struct Reciprocal {
  int64_t v = 0;
  double inv = 0;
  double Of(int64_t x) {
    if (x != v) v = x, inv = 1.0 / double(x);
    return inv;
  }
};

struct Mix {
  int64_t c[3];
  int64_t d;
};
// The colour and weight of a side at step i of count (invCount = 1 / count).
inline Mix MixSide(const Texel& p, const Texel& q, int64_t i, int64_t count, double invCount) {
  const int64_t u = QuotBy((count - i + 1) * p.a, count, invCount), v = i ? QuotBy(i * q.a, count, invCount) : 0;
  Mix m;
  m.d = u + v;
  if (m.d > 0 && v > 0) {
    const double inv = 1.0 / double(m.d);
    m.c[0] = QuotBy(u * p.b + v * q.b, m.d, inv);
    m.c[1] = QuotBy(u * p.g + v * q.g, m.d, inv);
    m.c[2] = QuotBy(u * p.r + v * q.r, m.d, inv);
  } else {
    // Without a weight of q the mix is p's colour itself.
    m.c[0] = p.b, m.c[1] = p.g, m.c[2] = p.r;
  }
  return m;
}
inline Mix MixSide(const Texel& p, const Texel& q, int64_t i, int64_t count) {
  return MixSide(p, q, i, count, 1.0 / double(count));
}

// What one splat adds to its entry: colour x w (blue, green, red), t, w; n grows by one.
struct SplatValue {
  int64_t bw, gw, rw, t, w;
};
// The splat value at step j of end between the upper and lower side mixes (invEnd = 1 / end).
inline SplatValue MakeValue(const Mix& up, const Mix& lo, int64_t j, int64_t end, double invEnd, Reciprocal& ofT) {
  const int64_t gu = QuotBy((end - j + 1) * up.d, end, invEnd), gl = j ? QuotBy(lo.d * j, end, invEnd) : 0;
  int64_t t = gu + gl, cm[3];
  if (t > 0 && gl > 0) {
    const double inv = ofT.Of(t);
    for (int c = 0; c < 3; ++c) cm[c] = QuotBy(up.c[c] * gu + lo.c[c] * gl, t, inv);
  } else {
    // Without a lower weight the mix is the upper colour itself.
    for (int c = 0; c < 3; ++c) cm[c] = up.c[c];
    if (t < 0) t = 0;
  }
  const int64_t w = (t + 15) / 16;
  return SplatValue{cm[0] * w, cm[1] * w, cm[2] * w, t, w};
}
inline SplatValue MakeValue(const Mix& up, const Mix& lo, int64_t j, int64_t end) {
  Reciprocal ofT;
  return MakeValue(up, lo, j, end, 1.0 / double(end), ofT);
}

}  // namespace distort

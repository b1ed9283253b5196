#include "OData.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "GError.h"

namespace {
constexpr const char16_t* kClass = u"Nuvrel";
constexpr const char16_t* kRangeCheck = u"!cbSize<=m_cbSize-m_cbSite";
}  // namespace

Nuvrel::~Nuvrel() { std::free(m_pData); }

Nuvrel* Nuvrel::Init(size_t cbSize) {
  try {
    GVERIFY(cbSize < NUVREL_MAX_CONTIGUOUS, u"!cbSize<0x10000000");
    std::free(m_pData);
    // aligned_alloc wants a multiple of the alignment; the block keeps its exact size.
    m_pData = static_cast<BYTE*>(std::aligned_alloc(16, (cbSize + 15) & ~size_t(15)));
    if (!m_pData && cbSize == 0) m_pData = static_cast<BYTE*>(std::aligned_alloc(16, 16));
    GVERIFY(m_pData, u"!m_pData=(LPBYTE)_aligned_malloc(cbSize,16)");
    m_cbSize = cbSize;
    m_cbSite = 0;
    return this;
  }
  GCATCH(kClass, u"::Init()", ->AppendArg(GArgUint(uint32_t(cbSize))))
}

int32_t Nuvrel::AddRef() { return ++m_refs; }

int32_t Nuvrel::Release() {
  int32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}

OData* Nuvrel::Write(const void* src, size_t cb) {
  GVERIFY(cb <= m_cbSize - m_cbSite, kRangeCheck);
  if (cb) std::memcpy(m_pData + m_cbSite, src, cb);
  m_cbSite += cb;
  return this;
}

BYTE* Nuvrel::Read(void* dst, size_t cb) {
  GVERIFY(cb <= m_cbSize - m_cbSite, kRangeCheck);
  BYTE* at = m_pData + m_cbSite;
  if (dst && cb) std::memcpy(dst, at, cb);
  m_cbSite += cb;
  return at;
}

NuvrelFragmented::~NuvrelFragmented() { FreeFragments(); }

void NuvrelFragmented::FreeFragments() {
  for (UINT i = 0; i < m_nFragments; ++i) std::free(m_ppFragments[i]);
  delete[] m_ppFragments;
  m_ppFragments = nullptr;
  m_nFragments = 0;
}

NuvrelFragmented* NuvrelFragmented::Init(size_t cbSize) {
  try {
    size_t count = (cbSize + NUVREL_FRAGMENT - 1) / NUVREL_FRAGMENT;
    GVERIFY(count < 0x100000, u"!cbSize<0x10000000000");
    BYTE** fragments = new (std::nothrow) BYTE*[count ? count : 1]();
    GVERIFY(fragments, u"!m_ppFragments");
    for (size_t i = 0; i < count; ++i) {
      fragments[i] = static_cast<BYTE*>(std::aligned_alloc(16, NUVREL_FRAGMENT));
      if (!fragments[i]) {
        for (size_t k = 0; k < i; ++k) std::free(fragments[k]);
        delete[] fragments;
        GTHROW(u"!m_ppFragments[i]=(LPBYTE)_aligned_malloc(0x100000,16)");
      }
    }
    FreeFragments();
    m_ppFragments = fragments;
    m_nFragments = UINT(count);
    m_cbSize = cbSize;
    m_cbSite = 0;
    return this;
  }
  GCATCH(u"NuvrelFragmented", u"::Init()", ->AppendArg(GArgUint(uint32_t(cbSize))))
}

int32_t NuvrelFragmented::AddRef() { return ++m_refs; }

int32_t NuvrelFragmented::Release() {
  int32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}

OData* NuvrelFragmented::Write(const void* src, size_t cb) {
  GVERIFY(cb <= m_cbSize - m_cbSite, kRangeCheck);
  const BYTE* from = static_cast<const BYTE*>(src);
  while (cb) {
    size_t offset = m_cbSite % NUVREL_FRAGMENT;
    size_t piece = NUVREL_FRAGMENT - offset < cb ? NUVREL_FRAGMENT - offset : cb;
    std::memcpy(m_ppFragments[m_cbSite / NUVREL_FRAGMENT] + offset, from, piece);
    from += piece;
    m_cbSite += piece;
    cb -= piece;
  }
  return this;
}

BYTE* NuvrelFragmented::Read(void* dst, size_t cb) {
  GVERIFY(dst, u"!lpOut");
  GVERIFY(cb <= m_cbSize - m_cbSite, kRangeCheck);
  BYTE* to = static_cast<BYTE*>(dst);
  while (cb) {
    size_t offset = m_cbSite % NUVREL_FRAGMENT;
    size_t piece = NUVREL_FRAGMENT - offset < cb ? NUVREL_FRAGMENT - offset : cb;
    std::memcpy(to, m_ppFragments[m_cbSite / NUVREL_FRAGMENT] + offset, piece);
    to += piece;
    m_cbSite += piece;
    cb -= piece;
  }
  return nullptr;
}

namespace {
template <class Block>
OData* NewBlock(size_t cbSize) {
  Block* d = new Block();
  try {
    return d->Init(cbSize);
  } catch (...) {
    delete d;
    throw;
  }
}
}  // namespace

OData* GNewData(size_t cbSize) { return NewBlock<Nuvrel>(cbSize); }
OData* GNewFragmented(size_t cbSize) { return NewBlock<NuvrelFragmented>(cbSize); }

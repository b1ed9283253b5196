#include "HeldSurfaceBlock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "odata/GError.h"

HeldSurfaceBlock::HeldSurfaceBlock(std::vector<BYTE> head, BYTE* surface, size_t surfaceBytes)
    : m_head(std::move(head)), m_pSurface(surface), m_cbSurface(surfaceBytes) {}

HeldSurfaceBlock::~HeldSurfaceBlock() { std::free(m_pSurface); }

int32_t HeldSurfaceBlock::Release() {
  const int32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}

OData* HeldSurfaceBlock::Fragmented() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_cpFragmented) {
    GCompRef<OData> block(GNewFragmented(GetSize()));
    block->Write(m_head.data(), m_head.size());
    block->Write(m_pSurface, m_cbSurface);
    m_cpFragmented = std::move(block);
    std::free(m_pSurface);
    m_pSurface = nullptr;
  }
  return m_cpFragmented.get();
}

void HeldSurfaceBlock::Rewind() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_cbSite = 0;
}

size_t HeldSurfaceBlock::GetPosition() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_cbSite;
}

OData* HeldSurfaceBlock::Write(const void*, size_t) { GTHROW(u"!poData->Write()"); }

// The cursor is the block's own whichever form holds the bytes: the head and the surface, or
// the copy's 1 MiB fragments.
BYTE* HeldSurfaceBlock::Read(void* dst, size_t cb) {
  std::lock_guard<std::mutex> lock(m_mutex);
  GVERIFY((dst || !cb) && cb <= GetSize() - m_cbSite, u"!cb<=m_cbSize-m_cbSite");
  auto* out = static_cast<BYTE*>(dst);
  while (cb) {
    const BYTE* from;
    size_t n;
    if (m_cpFragmented) {
      from = m_cpFragmented->GetFragment(UINT(m_cbSite / NUVREL_FRAGMENT)) + m_cbSite % NUVREL_FRAGMENT;
      n = NUVREL_FRAGMENT - m_cbSite % NUVREL_FRAGMENT;
    } else if (m_cbSite < m_head.size()) {
      from = m_head.data() + m_cbSite;
      n = m_head.size() - m_cbSite;
    } else {
      from = m_pSurface + (m_cbSite - m_head.size());
      n = GetSize() - m_cbSite;
    }
    n = std::min(n, cb);
    std::memcpy(out, from, n);
    out += n;
    m_cbSite += n;
    cb -= n;
  }
  return nullptr;
}

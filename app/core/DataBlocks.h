// Small helpers around data blocks and components that the space, the layer list and the
// tools share: a reference handed over by a callee, a component's interface by name, and
// blocks of little-endian 32-bit fields.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "odata/GCompRef.h"
#include "odata/GError.h"
#include "odata/GSystem.h"
#include "odata/LittleEndian.h"
#include "odata/OData.h"

// A block or interface the callee handed over with a reference for the caller.
template <class T>
GCompRef<T> Adopt(T* p) {
  GCompRef<T> r;
  r.m_ptr = p;
  return r;
}

// Creates a component by name and takes its interface; null when either is missing.
template <class T>
GCompRef<T> NewInterface(GSystem* system, const char16_t* impl, const char16_t* iface) {
  OComponent* c = system ? system->NewObj(impl, nullptr) : nullptr;
  if (!c) return {};
  T* p = static_cast<T*>(c->GetInterface(iface));
  if (!p) {
    c->AddRef();
    c->Release();
  }
  return p;
}

// A new block of at least capacity bytes holding the fields, written from its start.
inline GCompRef<OData> NewBlock(size_t capacity, std::initializer_list<uint32_t> fields) {
  GCompRef<OData> block = GNewData(capacity);
  for (uint32_t v : fields) {
    BYTE b[4];
    PutLE32(b, v);
    block->Write(b, 4);
  }
  return block;
}

// Reads n fields from the block's read position on.
inline void ReadFields(OData* block, uint32_t* out, size_t n) {
  GVERIFY(block, u"!poData");
  BYTE b[4];
  for (size_t i = 0; i < n; ++i) {
    block->Read(b, 4);
    out[i] = GetLE32(b);
  }
}

// The data block: a byte buffer with a read/write cursor, contiguous ("Nuvrel") or a chain
// of 1 MiB fragments (NuvrelFragmented). The unit of undo data, job arguments and coder input.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/base/Types.h"
#include "OBeing.h"

struct ODATA_EXPORT OData : OBeing {
  virtual size_t GetSize() = 0;
  // The contiguous buffer; null for a fragmented block.
  virtual BYTE* GetBuffer() = 0;
  virtual void Rewind() = 0;
  // Copies cb bytes at the cursor and advances; throws when fewer remain.
  virtual OData* Write(const void* src, size_t cb) = 0;
  // Copies cb bytes from the cursor (contiguous: dst may be null) and advances; returns the
  // address of those bytes in a contiguous block, null for a fragmented one.
  virtual BYTE* Read(void* dst, size_t cb) = 0;
  virtual BYTE* GetFragment(UINT index) = 0;
  virtual UINT GetFragmentCount() = 0;
  // Bytes before the cursor.
  virtual size_t GetPosition() = 0;
};

// Largest contiguous block, and the fragment size of fragmented blocks.
constexpr size_t NUVREL_MAX_CONTIGUOUS = 0x10000000;
constexpr size_t NUVREL_FRAGMENT = 0x100000;

class ODATA_EXPORT Nuvrel final : public OData {
 public:
  Nuvrel() = default;
  ~Nuvrel() override;
  Nuvrel(const Nuvrel&) = delete;
  Nuvrel& operator=(const Nuvrel&) = delete;

  // Allocates cbSize bytes (below 0x10000000) aligned to 16; the cursor starts at 0.
  Nuvrel* Init(size_t cbSize);

  int32_t AddRef() override;
  int32_t Release() override;
  size_t GetSize() override { return m_cbSize; }
  BYTE* GetBuffer() override { return m_pData; }
  void Rewind() override { m_cbSite = 0; }
  OData* Write(const void* src, size_t cb) override;
  BYTE* Read(void* dst, size_t cb) override;
  BYTE* GetFragment(UINT) override { return nullptr; }
  UINT GetFragmentCount() override { return 0; }
  size_t GetPosition() override { return m_cbSite; }

 private:
  BYTE* m_pData = nullptr;
  size_t m_cbSize = 0;
  size_t m_cbSite = 0;
  std::atomic<int32_t> m_refs{0};
};

class ODATA_EXPORT NuvrelFragmented final : public OData {
 public:
  NuvrelFragmented() = default;
  ~NuvrelFragmented() override;
  NuvrelFragmented(const NuvrelFragmented&) = delete;
  NuvrelFragmented& operator=(const NuvrelFragmented&) = delete;

  // Allocates (cbSize + 0xFFFFF) / 0x100000 fragments of 0x100000 bytes each.
  NuvrelFragmented* Init(size_t cbSize);

  int32_t AddRef() override;
  int32_t Release() override;
  size_t GetSize() override { return m_cbSize; }
  BYTE* GetBuffer() override { return nullptr; }
  void Rewind() override { m_cbSite = 0; }
  OData* Write(const void* src, size_t cb) override;
  BYTE* Read(void* dst, size_t cb) override;
  BYTE* GetFragment(UINT index) override { return index < m_nFragments ? m_ppFragments[index] : nullptr; }
  UINT GetFragmentCount() override { return m_nFragments; }
  size_t GetPosition() override { return m_cbSite; }

 private:
  void FreeFragments();

  std::atomic<int32_t> m_refs{0};
  size_t m_cbSize = 0;
  size_t m_cbSite = 0;
  BYTE** m_ppFragments = nullptr;
  UINT m_nFragments = 0;
};

// A contiguous block of cbSize bytes with count 0 (throws as Init does).
OData* GNewData(size_t cbSize);
// A fragmented block of cbSize bytes with count 0 (throws as Init does, freeing what it made).
OData* GNewFragmented(size_t cbSize);

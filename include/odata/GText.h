// Growable UTF-16 text buffer and the typed values error traces append.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "OBeing.h"

// A typed value: 'f' float, 'i' signed, 'p' pointer, 's' text pointer, 'u' unsigned.
struct GArg {
  uint64_t value;
  uint16_t unused;
  uint16_t type;

  // Formats into dst[cch] (terminated at cch - 1); returns the characters written.
  int Format(char16_t* dst, size_t cch) const;
};
GArg GArgInt(int32_t v);
GArg GArgUint(uint32_t v);
GArg GArgPtr(const void* p);
GArg GArgFloat(float f);
GArg GArgStr(const char16_t* s);

class ODATA_EXPORT GText : public OBeing {
 public:
  explicit GText(uint32_t capacity = 0);
  ~GText() override;
  GText(const GText&) = delete;
  GText& operator=(const GText&) = delete;

  int32_t AddRef() override;
  int32_t Release() override;

  // Drops the old text, allocates room for n characters and returns the buffer.
  char16_t* Reserve(uint32_t n);
  // Appends as much as fits; the text stays terminated.
  GText* Append(const char16_t* text);
  GText* AppendArg(const GArg& arg);
  // Sets the text (cut to the capacity less one).
  GText* Assign(const char16_t* text);

  const char16_t* GetText() const { return m_buffer; }
  uint32_t GetLength() const { return m_length; }
  uint32_t GetCapacity() const { return m_capacity; }

 private:
  uint32_t m_length = 0;
  uint32_t m_capacity = 0;
  std::atomic<int32_t> m_refs{0};
  char16_t* m_buffer = nullptr;
};

// Makes a text of its own length (at least minCapacity) holding text; count 0.
GText* GNewText(const char16_t* text, uint32_t minCapacity = 0);

#include "GText.h"

#include <cstdio>
#include <cstring>

#include "platform/base/Text.h"

namespace {

bool IsKnownType(uint16_t t) { return t >= 0x66 && t <= 0x75; }

// Formats an argument by its letter into dst[cch] (cch > 0); returns the characters written.
int FormatArg(const GArg& a, char16_t* dst, size_t cch) {
  char narrow[64];
  int n;
  switch (IsKnownType(a.type) ? a.type : 0) {
    case 'f': {
      float f;
      uint32_t bits = uint32_t(a.value);
      std::memcpy(&f, &bits, sizeof f);
      n = std::snprintf(narrow, sizeof narrow, "%f", double(f));
      break;
    }
    case 'i':
      n = std::snprintf(narrow, sizeof narrow, "%d", int32_t(uint32_t(a.value)));
      break;
    case 'p':
      n = std::snprintf(narrow, sizeof narrow, "%p", reinterpret_cast<void*>(uintptr_t(a.value)));
      break;
    case 'u':
      n = std::snprintf(narrow, sizeof narrow, "%u", uint32_t(a.value));
      break;
    case 's': {
      auto s = reinterpret_cast<const char16_t*>(uintptr_t(a.value));
      if (!s) {
        dst[0] = 0;
        return 0;
      }
      return int(plat::CopyTrunc(dst, cch, s));
    }
    default:
      n = std::snprintf(narrow, sizeof narrow, "???");
      break;
  }
  if (n < 0) n = 0;
  if (size_t(n) >= sizeof narrow) n = sizeof narrow - 1;
  return int(plat::CopyTrunc(dst, cch, plat::Widen(std::string_view(narrow, size_t(n)))));
}

}  // namespace

int GArg::Format(char16_t* dst, size_t cch) const {
  if (!dst || cch == 0) return 0;
  dst[cch - 1] = 0;
  return FormatArg(*this, dst, cch);
}

GArg GArgInt(int32_t v) { return GArg{uint32_t(v), 0, 'i'}; }
GArg GArgUint(uint32_t v) { return GArg{v, 0, 'u'}; }
GArg GArgPtr(const void* p) { return GArg{uint64_t(uintptr_t(p)), 0, 'p'}; }
GArg GArgFloat(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return GArg{bits, 0, 'f'};
}
GArg GArgStr(const char16_t* s) { return GArg{uint64_t(uintptr_t(s)), 0, 's'}; }

GText::GText(uint32_t capacity) { Reserve(capacity); }

GText::~GText() { delete[] m_buffer; }

int32_t GText::AddRef() { return ++m_refs; }

int32_t GText::Release() {
  int32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}

char16_t* GText::Reserve(uint32_t n) {
  delete[] m_buffer;
  m_buffer = new char16_t[size_t(n) + 1];
  m_buffer[0] = 0;
  m_capacity = n;
  m_length = 0;
  return m_buffer;
}

GText* GText::Append(const char16_t* text) {
  if (!text || m_length + 1 >= m_capacity) return this;
  // The last usable character is capacity - 1; the text is cut there.
  m_length += uint32_t(plat::CopyTrunc(m_buffer + m_length, m_capacity - m_length, text));
  return this;
}

GText* GText::AppendArg(const GArg& arg) {
  if (m_length + 1 >= m_capacity) return this;
  m_length += uint32_t(FormatArg(arg, m_buffer + m_length, m_capacity - m_length));
  return this;
}

GText* GText::Assign(const char16_t* text) {
  m_length = 0;
  m_buffer[0] = 0;
  return Append(text);
}

GText* GNewText(const char16_t* text, uint32_t minCapacity) {
  uint32_t len = text ? uint32_t(plat::StrLen(text)) : 0;
  GText* t = new GText(len + 1 > minCapacity ? len + 1 : minCapacity);
  t->Append(text);
  return t;
}

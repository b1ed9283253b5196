#include "GError.h"

#include <cstdio>

#include "platform/base/Memory.h"
#include "platform/base/Text.h"

namespace {
constexpr uint32_t kMaxCopy = 0x10000;
}

GError::GError(const char16_t* condition, const char16_t* sourceFile, uint32_t line, uint32_t kind)
    : m_kind(kind) {
  m_condition.Append(condition);
  char num[16];
  std::snprintf(num, sizeof num, "%u", line);
  m_text.Append(u"E: ")->Append(condition)->Append(u"\r\nF: ")->Append(sourceFile);
  m_text.Append(u"\r\nL: ")->Append(plat::Widen(num).c_str())->Append(u"\r\n");
}

GError::~GError() = default;

int32_t GError::AddRef() { return ++m_refs; }

int32_t GError::Release() {
  int32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}

const char16_t* GError::GetText() { return m_text.GetText(); }

uint32_t GError::GetKind() { return m_kind; }

uint32_t GError::CopyText(char16_t* dst, uint32_t cch) {
  if (!dst || cch == 0 || cch > kMaxCopy) return 0;
  return uint32_t(plat::CopyTrunc(dst, cch, m_text.GetText()));
}

GErrRecord::GErrRecord(const char16_t* condition, const char16_t* sourceFile, uint32_t line, uint32_t kind)
    : GError(condition, sourceFile, line, kind) {}

GErrRecord::~GErrRecord() = default;

uint32_t GErrRecord::CopyText(char16_t* dst, uint32_t cch) {
  uint32_t written = GError::CopyText(dst, cch);
  if (written == 0 && (!dst || cch == 0 || cch > kMaxCopy)) return 0;
  // Pieces are kept newest first; each goes in whole or not at all, and the first that does
  // not fit ends the trail: an older piece after a gap would put the trail out of order.
  bool full = false;
  m_pieces.ForEach([&](GText* piece) {
    if (full || piece->GetLength() + written + 1 >= cch) {
      full = true;
      return;
    }
    written += uint32_t(plat::CopyTrunc(dst + written, cch - written, piece->GetText()));
  });
  dst[written] = 0;
  return written;
}

GErrRecord* GErrRecord::AddContext() {
  if (m_made >= kMaxPieces) return this;
  ++m_made;
  m_pieces.PushFront(new GText(kPieceCapacity));
  return this;
}

GText* GErrRecord::Newest() {
  // A catch site always starts a piece first; an append without one starts it here.
  if (m_pieces.GetCount() == 0) AddContext();
  return m_pieces.GetHead();
}

GErrRecord* GErrRecord::AppendString(const char16_t* text) {
  Newest()->Append(text)->Append(u" ");
  return this;
}

GErrRecord* GErrRecord::AppendArg(const GArg& arg) {
  Newest()->AppendArg(arg)->Append(u" ");
  return this;
}

GErrRecord* GErrRecord::AppendMemory(const GMemory& block) {
  GText* piece = Newest();
  if (!block.ptr) {
    piece->Append(u"_NULL");
  } else if (!plat::IsReadableMemory(block.ptr, block.bytes)) {
    piece->Append(u"_BAD_PTR");
  } else {
    const BYTE* p = static_cast<const BYTE*>(block.ptr);
    char word[16];
    for (size_t i = 0; i + 4 <= block.bytes && piece->GetLength() + 1 < piece->GetCapacity(); i += 4) {
      uint32_t v = uint32_t(p[i]) | uint32_t(p[i + 1]) << 8 | uint32_t(p[i + 2]) << 16 | uint32_t(p[i + 3]) << 24;
      std::snprintf(word, sizeof word, "_%X", v);
      piece->Append(plat::Widen(word).c_str());
    }
  }
  piece->Append(u" ");
  return this;
}

GErrRecord* GTrace(GErrRecord* e, const char16_t* className, const char16_t* method) {
  return e->AddContext()->AppendString(u"\r\n\u2193")->AppendString(className)->AppendString(method);
}

// Error records: a failed check throws a GErrRecord*, every catch site on the way up
// appends its class and method (and arguments worth showing) and rethrows.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "GList.h"
#include "GText.h"
#include "OBeing.h"

// Error kinds.
constexpr uint32_t ERR_KIND_CHECK = 6;    // a failed check
constexpr uint32_t ERR_KIND_WARNING = 4;  // a notice (the component leak record)
// Logged only: no fault of the program, never the internal-error notice (a missing brush
// preset, a failure the user is told of in its own words).
constexpr uint32_t ERR_KIND_NOTICE = 1;

class ODATA_EXPORT GError : public OBeing {
 public:
  // Builds "E: " condition, "F: " file, "L: " line, each closed by CR LF.
  GError(const char16_t* condition, const char16_t* sourceFile, uint32_t line, uint32_t kind);
  ~GError() override;

  int32_t AddRef() override;
  int32_t Release() override;
  virtual const char16_t* GetText();
  virtual uint32_t GetKind();
  // Copies the full text into dst[cch]; returns the characters written. cch of 0 or above
  // 0x10000 writes nothing.
  virtual uint32_t CopyText(char16_t* dst, uint32_t cch);

  const char16_t* GetCondition() const { return m_condition.GetText(); }

 protected:
  GText m_condition{128};
  GText m_text{512};
  std::atomic<int32_t> m_refs{0};
  uint32_t m_kind;
};

// A block of memory shown in a trace: {byte count, address}.
struct GMemory {
  size_t bytes;
  const void* ptr;
};

class ODATA_EXPORT GErrRecord : public GError {
 public:
  static constexpr uint32_t kMaxPieces = 100;
  static constexpr uint32_t kPieceCapacity = 256;

  GErrRecord(const char16_t* condition, const char16_t* sourceFile, uint32_t line, uint32_t kind);
  ~GErrRecord() override;

  // The full text, then every context piece from the newest to the oldest while it fits.
  uint32_t CopyText(char16_t* dst, uint32_t cch) override;
  // Starts a new context piece (at most 100; later appends go into the newest one).
  virtual GErrRecord* AddContext();
  virtual GErrRecord* AppendArg(const GArg& arg);
  virtual GErrRecord* AppendMemory(const GMemory& block);
  virtual GErrRecord* AppendString(const char16_t* text);

  uint32_t GetPieceCount() const { return m_made; }
  // The newest piece first (index 0).
  const GText* GetPiece(uint32_t i) const { return m_pieces.GetIndex(i); }

 private:
  GText* Newest();

  uint32_t m_made = 0;
  GList<GText> m_pieces;
};

// The catch-site step: a new piece with the arrow, the class name and the method.
GErrRecord* GTrace(GErrRecord* e, const char16_t* className, const char16_t* method);

#define GERR_FILE_ u"" __FILE__
// Throws a failed check with an explicit condition text.
#define GTHROW(text) throw new GErrRecord((text), GERR_FILE_, __LINE__, ERR_KIND_CHECK)
// Checks a condition; the record's condition is "!" followed by the code as written.
#define GCHECK(cond)                                                              \
  do {                                                                            \
    if (!(cond)) throw new GErrRecord(u"!" #cond, GERR_FILE_, __LINE__, ERR_KIND_CHECK); \
  } while (0)
// Checks a condition but names it with a given text (the system's established texts).
#define GVERIFY(cond, text)                                                       \
  do {                                                                            \
    if (!(cond)) GTHROW(text);                                                    \
  } while (0)
// A catch site: appends class and method, then any further appends given as
// "->AppendArg(...)" chains, and rethrows.
#define GCATCH(className, method, ...)        \
  catch (GErrRecord * e_) {                   \
    GTrace(e_, className, method) __VA_ARGS__; \
    throw;                                    \
  }

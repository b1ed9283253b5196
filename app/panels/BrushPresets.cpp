#include "BrushPresets.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "odata/GCoderRef.h"
#include "odata/GError.h"
#include "odata/GSystem.h"
#include "odata/LittleEndian.h"
#include "odata/OCoder.h"
#include "platform/base/Files.h"
#include "platform/base/Text.h"

namespace {

constexpr int kLevel = 2;
constexpr UINT kPiece = 0x10000;  // coder pieces and the file reader's buffer: bodies are small
constexpr UINT kScratch = 64;     // room the decoder gets once the body is full
constexpr size_t kSetBytesPerItem = BRUSH_VALUE_SETS * 4;
// The smallest record: the head and three empty texts.
constexpr size_t kMinRecord = BRUSH_RECORD_HEAD + 3 * 2;
constexpr uint32_t kMaxTextBytes = 2 * (BRUSH_MAX_TEXT + 1);

std::u16string Num(uint64_t v) { return plat::Widen(std::to_string(v)); }
std::u16string BrushNo(size_t i) { return u"brush " + Num(uint64_t(i + 1)) + u": "; }

// Coder inputs live on the caller's stack: the coder's references never free them.
class StackInput : public OCoderInput {
 public:
  int32_t AddRef() override { return ++m_refs; }
  int32_t Release() override { return --m_refs; }

 private:
  int32_t m_refs = 0;
};

// Hands out a byte range in pieces.
class RangeInput final : public StackInput {
 public:
  RangeInput(const BYTE* p, size_t n) : m_next(p), m_left(n) {}
  BOOL InputBegin() override { return TRUE; }
  BOOL Input(const BYTE** next, UINT* avail, BOOL* last) override {
    const size_t n = m_left < kPiece ? m_left : kPiece;
    *next = m_next;
    *avail = UINT(n);
    m_next += n;
    m_left -= n;
    *last = m_left == 0 ? TRUE : FALSE;
    return TRUE;
  }
  BOOL InputEnd() override { return TRUE; }

 private:
  const BYTE* m_next;
  size_t m_left;
};

// Reads the body from the open file, never more than the header says it holds.
class FileInput final : public StackInput {
 public:
  FileInput(FILE* f, uint64_t bytes) : m_file(f), m_left(bytes), m_buffer(kPiece) {}
  BOOL InputBegin() override { return m_file && !std::ferror(m_file) ? TRUE : FALSE; }
  BOOL Input(const BYTE** next, UINT* avail, BOOL* last) override {
    *next = m_buffer.data();
    *avail = 0;
    if (m_left == 0) {
      *last = TRUE;
      return TRUE;
    }
    const size_t want = m_left < kPiece ? size_t(m_left) : kPiece;
    const size_t got = std::fread(m_buffer.data(), 1, want, m_file);
    m_left -= got;
    *avail = UINT(got);
    // A short read: the file ended early (it changed under us); no more will come.
    *last = m_left == 0 || got < want ? TRUE : FALSE;
    return std::ferror(m_file) ? FALSE : TRUE;
  }
  BOOL InputEnd() override { return TRUE; }

 private:
  FILE* m_file;
  uint64_t m_left;
  std::vector<BYTE> m_buffer;
};

struct Header {
  uint32_t magic, fileSize, version, check, bodySize, count;
  int32_t selected;
  static Header Parse(const BYTE* p) {
    return Header{GetLE32(p),      GetLE32(p + 4),  GetLE32(p + 8),           GetLE32(p + 12),
                  GetLE32(p + 16), GetLE32(p + 20), int32_t(GetLE32(p + 24))};
  }
};

BrushPresetsLoad Refuse(std::u16string why) {
  BrushPresetsLoad r;
  r.status = PresetsStatus::Refused;
  r.error = std::move(why);
  return r;
}

// Empty when the header may be used; every bound holds before the body is allocated.
std::u16string CheckHeader(const Header& h, uint64_t fileLength) {
  if (h.magic != BRUSH_PRESETS_MAGIC) return u"not a brush presets file (wrong magic)";
  if (h.fileSize != fileLength)
    return u"the file is " + Num(fileLength) + u" bytes long, its header says " + Num(uint64_t(h.fileSize));
  if (h.version != BRUSH_PRESETS_VERSION) return u"version " + Num(uint64_t(h.version)) + u" is not 150";
  if (h.check != h.bodySize + h.count + uint32_t(h.selected)) return u"the header check does not add up";
  if (h.count > BRUSH_MAX_BRUSHES) return Num(uint64_t(h.count)) + u" brushes: at most 100 are kept";
  if (uint64_t(h.bodySize) > uint64_t(h.count) * BRUSH_MAX_RECORD || uint64_t(h.bodySize) < h.count * kMinRecord)
    return u"an uncompressed size of " + Num(uint64_t(h.bodySize)) + u" bytes cannot hold " +
           Num(uint64_t(h.count)) + u" brushes";
  return {};
}

// Decodes exactly bodySize bytes, and the stream must end there and take the whole input.
std::u16string Decode(OCoderInput* input, uint64_t streamBytes, std::vector<BYTE>* body, GSystem* system) {
  GCoderRef decoder(system, u"XDecoderZlib");
  GCoderState st{};
  if (!decoder->OutputBegin(input, &st, kLevel)) return u"the compressed body cannot be read";
  bool complete = false;
  size_t done = 0;
  BYTE scratch[kScratch];
  for (;;) {
    // A full body still needs the stream's end; any further byte is too many.
    const bool full = done == body->size();
    const size_t left = body->size() - done;
    const UINT room = full ? kScratch : left < kPiece ? UINT(left) : kPiece;
    if (!decoder->Output(full ? scratch : body->data() + done, room, &st)) break;
    if (st.uOutputSize > room || (full && st.uOutputSize)) break;
    done += st.uOutputSize;
    if (st.bStreamEnd) {
      complete = done == body->size();
      break;
    }
    if (st.uOutputSize == 0) break;  // no progress and no end: it would spin
  }
  const bool ended = decoder->OutputEnd() != FALSE;
  if (!complete || !ended) return u"the compressed body does not decode to the header's size";
  if (st.uTotalInput != streamBytes) return u"bytes follow the compressed body";
  return {};
}

// Takes one text of `bytes` bytes (even, at least 2, 0-terminated) at p.
std::u16string TakeText(const BYTE* p, uint32_t bytes, std::u16string* out) {
  if (p[bytes - 2] != 0 || p[bytes - 1] != 0) return u"has no terminating 0";
  out->resize(bytes / 2 - 1);
  for (size_t i = 0; i < out->size(); ++i) (*out)[i] = char16_t(p[2 * i] | p[2 * i + 1] << 8);
  return {};
}

std::u16string CheckTextSize(const char16_t* what, uint32_t bytes) {
  if (bytes < 2 || bytes % 2 || bytes > kMaxTextBytes)
    return std::u16string(what) + u" size " + Num(uint64_t(bytes)) + u" is not an even 2.." + Num(uint64_t(kMaxTextBytes));
  return {};
}

struct Text {
  const char16_t* what;
  uint32_t bytes;
  std::u16string* out;
};

// Splits the body into records; every size is checked against the bytes that remain.
std::u16string ParseBody(const std::vector<BYTE>& body, uint32_t count, std::vector<BrushPresetRecord>* out) {
  size_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t left = body.size() - at;
    if (left < BRUSH_RECORD_HEAD) return BrushNo(i) + u"the body ends inside the record";
    const BYTE* p = body.data() + at;
    const uint32_t check = GetLE32(p), size = GetLE32(p + 4), items = GetLE32(p + 8);
    const uint32_t n = GetLE32(p + 12), d = GetLE32(p + 16), e = GetLE32(p + 20);
    if (check != size + items + n + d + e) return BrushNo(i) + u"the record check does not add up";
    if (GetLE32(p + 24) || GetLE32(p + 28)) return BrushNo(i) + u"the reserved words are not 0";
    if (items > BRUSH_MAX_ITEMS) return BrushNo(i) + Num(uint64_t(items)) + u" items: at most 255";
    const Text texts[3] = {{u"engine name", e, nullptr}, {u"name", n, nullptr}, {u"description", d, nullptr}};
    for (const Text& t : texts)
      if (std::u16string why = CheckTextSize(t.what, t.bytes); !why.empty()) return BrushNo(i) + why;
    const uint64_t want = BRUSH_RECORD_HEAD + uint64_t(e) + n + d + uint64_t(items) * kSetBytesPerItem;
    if (size != want) return BrushNo(i) + u"the record size does not match its fields";
    if (size > left) return BrushNo(i) + u"the body ends inside the record";

    BrushPresetRecord& r = out->emplace_back();
    r.flags = GetLE32(p + 32);
    const BYTE* q = p + BRUSH_RECORD_HEAD;
    const Text take[3] = {{u"engine name", e, &r.engine}, {u"name", n, &r.name}, {u"description", d, &r.description}};
    for (const Text& t : take) {
      if (std::u16string why = TakeText(q, t.bytes, t.out); !why.empty())
        return BrushNo(i) + u"the " + t.what + u" " + why;
      q += t.bytes;
    }
    for (auto& set : r.sets) {
      set.resize(items);
      for (uint32_t k = 0; k < items; ++k, q += 4) set[k] = int32_t(GetLE32(q));
    }
    at += size;
  }
  if (at != body.size()) return u"the body holds bytes after the last brush";
  return {};
}

// Everything after the header: the body's bytes come from input.
BrushPresetsLoad ReadBody(const Header& h, uint64_t fileLength, OCoderInput* input, GSystem* system) {
  if (std::u16string why = CheckHeader(h, fileLength); !why.empty()) return Refuse(why);
  std::vector<BYTE> body(h.bodySize);
  if (std::u16string why = Decode(input, fileLength - BRUSH_PRESETS_HEADER, &body, system); !why.empty())
    return Refuse(why);
  BrushPresetsLoad r;
  r.presets.brushes.reserve(h.count);
  if (std::u16string why = ParseBody(body, h.count, &r.presets.brushes); !why.empty()) return Refuse(why);
  r.presets.selected = h.selected;
  r.status = PresetsStatus::Loaded;
  return r;
}

// Writers into the body, each returning the position after what it wrote.
BYTE* PutText(BYTE* p, const std::u16string& text) {
  for (char16_t c : text) {
    *p++ = BYTE(c);
    *p++ = BYTE(c >> 8);
  }
  *p++ = 0;
  *p++ = 0;
  return p;
}

BYTE* Put32(BYTE* p, uint32_t v) {
  PutLE32(p, v);
  return p + 4;
}

std::u16string CheckRecords(const BrushPresets& presets) {
  if (presets.brushes.size() > BRUSH_MAX_BRUSHES)
    return Num(uint64_t(presets.brushes.size())) + u" brushes: at most 100 are kept";
  for (size_t i = 0; i < presets.brushes.size(); ++i) {
    const BrushPresetRecord& r = presets.brushes[i];
    if (r.ItemCount() > BRUSH_MAX_ITEMS) return BrushNo(i) + Num(uint64_t(r.ItemCount())) + u" items: at most 255";
    for (const auto& set : r.sets)
      if (set.size() != r.ItemCount()) return BrushNo(i) + u"the value sets differ in size";
    for (const std::u16string* text : {&r.engine, &r.name, &r.description})
      if (text->size() > BRUSH_MAX_TEXT) return BrushNo(i) + u"a text is longer than 255 characters";
  }
  return {};
}

std::u16string Join(std::u16string folder, const char16_t* name) {
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  return folder + name;
}

}  // namespace

uint32_t GetBrushRecordSize(const BrushPresetRecord& r) {
  return uint32_t(42 + 2 * (r.engine.size() + r.name.size() + r.description.size()) +
                  kSetBytesPerItem * r.ItemCount());
}

BrushPresetsLoad ReadPresets(const BYTE* data, size_t size, GSystem* system) {
  try {
    if (size < BRUSH_PRESETS_HEADER) return Refuse(u"the file is shorter than its 32-byte header");
    RangeInput input(data + BRUSH_PRESETS_HEADER, size - BRUSH_PRESETS_HEADER);
    return ReadBody(Header::Parse(data), size, &input, system);
  }
  GCATCH(u"BrushPresets", u"::Read()")
}

BrushPresetsLoad LoadPresets(const std::u16string& path, GSystem* system) {
  try {
    if (!plat::FileExists(path)) return BrushPresetsLoad{};
    FILE* f = plat::GetFileLength(path) >= 0 ? plat::OpenFile(path, "rb") : nullptr;
    if (!f) return Refuse(u"the file cannot be opened");
    struct Closer {
      FILE* f;
      ~Closer() { std::fclose(f); }
    } closer{f};
    BYTE head[BRUSH_PRESETS_HEADER];
    const int64_t length = plat::SeekFile(f, 0, SEEK_END) ? plat::TellFile(f) : -1;
    if (length < 0 || !plat::SeekFile(f, 0, SEEK_SET)) return Refuse(u"the file cannot be read");
    if (length < int64_t(BRUSH_PRESETS_HEADER) || std::fread(head, BRUSH_PRESETS_HEADER, 1, f) != 1)
      return Refuse(u"the file is shorter than its 32-byte header");
    const Header h = Header::Parse(head);
    FileInput input(f, uint64_t(length) - BRUSH_PRESETS_HEADER);
    return ReadBody(h, uint64_t(length), &input, system);
  }
  GCATCH(u"BrushPresets", u"::Load()", ->AppendString(path.c_str()))
}

BrushPresetsSave EncodePresets(const BrushPresets& presets, GSystem* system, std::vector<BYTE>* file) {
  try {
    if (std::u16string why = CheckRecords(presets); !why.empty()) return {false, why};
    uint64_t total = 0;
    for (const BrushPresetRecord& r : presets.brushes) total += GetBrushRecordSize(r);
    std::vector<BYTE> body(total);
    BYTE* p = body.data();
    for (const BrushPresetRecord& r : presets.brushes) {
      const uint32_t size = GetBrushRecordSize(r), items = r.ItemCount();
      const uint32_t n = uint32_t(2 * (r.name.size() + 1)), d = uint32_t(2 * (r.description.size() + 1));
      const uint32_t e = uint32_t(2 * (r.engine.size() + 1));
      for (uint32_t v : {size + items + n + d + e, size, items, n, d, e, 0u, 0u, r.flags}) p = Put32(p, v);
      p = PutText(PutText(PutText(p, r.engine), r.name), r.description);
      for (const auto& set : r.sets)
        for (int32_t v : set) p = Put32(p, uint32_t(v));
    }
    GVERIFY(p == body.data() + body.size(), u"!p==body.data()+body.size()");

    GCoderRef encoder(system, u"XEncoderZlib");
    RangeInput input(body.data(), body.size());
    GCoderState st{};
    file->assign(BRUSH_PRESETS_HEADER, 0);
    GVERIFY(encoder->OutputBegin(&input, &st, kLevel), u"!poEncoder->OutputBegin()");
    for (;;) {
      const size_t at = file->size();
      file->resize(at + kPiece);
      const BOOL ok = encoder->Output(file->data() + at, kPiece, &st);
      file->resize(at + (ok && st.uOutputSize <= kPiece ? st.uOutputSize : 0));
      if (!ok || st.bStreamEnd || st.uOutputSize == 0) break;
    }
    GVERIFY(encoder->OutputEnd() && st.bStreamEnd && st.uTotalInput == body.size(), u"!poEncoder->OutputEnd()");

    const uint32_t count = uint32_t(presets.brushes.size()), selected = uint32_t(presets.selected);
    const uint32_t fields[8] = {BRUSH_PRESETS_MAGIC, uint32_t(file->size()), BRUSH_PRESETS_VERSION,
                                uint32_t(total) + count + selected, uint32_t(total), count, selected, 0};
    for (int i = 0; i < 8; ++i) PutLE32(file->data() + 4 * i, fields[i]);
    return {true, {}};
  }
  GCATCH(u"BrushPresets", u"::Encode()")
}

BrushPresetsSave SavePresets(const std::u16string& path, const BrushPresets& presets, GSystem* system) {
  try {
    std::vector<BYTE> bytes;
    if (BrushPresetsSave r = EncodePresets(presets, system, &bytes); !r.ok) return r;
    // The new file goes beside the target and replaces it only once it is whole; until then
    // it is removed on every way out.
    struct TempFile {
      std::u16string path;
      FILE* f = nullptr;
      bool keep = false;
      ~TempFile() {
        if (f) std::fclose(f);
        if (!keep && !path.empty()) plat::DeleteFile(path);
      }
    } temp;
    temp.f = plat::CreateTempFileIn(plat::FolderOf(path), u"Config", &temp.path);
    if (!temp.f) return {false, u"no new file can be made in " + plat::FolderOf(path)};
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), temp.f) == bytes.size();
    // A failed close (the last buffered bytes not written) is a failed save.
    const bool closed = std::fclose(std::exchange(temp.f, nullptr)) == 0;
    if (!written || !closed) return {false, u"writing " + temp.path + u" failed"};
    plat::TakeFileMode(temp.path, path);
    if (!plat::ReplaceFile(temp.path, path)) return {false, u"the new file cannot replace " + path};
    temp.keep = true;
    return {true, {}};
  }
  GCATCH(u"BrushPresets", u"::Save()", ->AppendString(path.c_str()))
}

std::u16string FindPresetsFile(const std::u16string& programFolder, const std::u16string& userFolder) {
  for (const std::u16string* folder : {&programFolder, &userFolder}) {
    std::u16string path = Join(Join(*folder, u"BRUSH"), u"Config.cfb");
    if (plat::GetFileLength(path) >= 0) return path;
  }
  return {};
}

std::u16string PreparePresetsFile(const std::u16string& programFolder, const std::u16string& userFolder) {
  for (const std::u16string* folder : {&programFolder, &userFolder}) {
    const std::u16string brush = Join(*folder, u"BRUSH");
    if (plat::CreateFolder(brush) && plat::IsFolderWritable(brush)) return Join(brush, u"Config.cfb");
  }
  return {};
}

std::u16string FindPresetsFile() { return FindPresetsFile(plat::GetProgramFolder(), plat::GetUserDataFolder()); }

std::u16string PreparePresetsFile() {
  return PreparePresetsFile(plat::GetProgramFolder(), plat::GetUserDataFolder());
}

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
#include "platform/base/Sync.h"
#include "platform/base/Text.h"

namespace {

constexpr int kLevel = 2;
constexpr UINT kPiece = 0x10000;  // coder pieces and the file reader's buffer: bodies are small
constexpr UINT kScratch = 64;     // room the decoder gets once the body is full
constexpr size_t kSetBytesPerItem = BRUSH_VALUE_SETS * 4;
constexpr int kMaxKeptNames = 100;  // "-2" ... "-100" after the date

std::u16string Num(uint64_t v) { return plat::Widen(std::to_string(v)); }
std::u16string BrushNo(size_t i) { return u"第 " + Num(uint64_t(i + 1)) + u" 支画笔："; }

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

constexpr const char16_t* kShort = u"文件不足 32 字节的文件头";

BrushPresetsLoad Refuse(std::u16string why) {
  BrushPresetsLoad r;
  r.status = PresetsStatus::Refused;
  r.error = std::move(why);
  return r;
}

// Empty when the header may be used; every bound holds before the body is decoded.
std::u16string CheckHeader(const Header& h, uint64_t fileLength) {
  if (h.fileSize != fileLength)
    return u"文件长 " + Num(fileLength) + u" 字节，文件头记的却是 " + Num(uint64_t(h.fileSize)) + u" 字节";
  if (h.magic != BRUSH_PRESETS_MAGIC) return u"不是画笔预设文件（文件标识不符）";
  if (h.version != BRUSH_PRESETS_VERSION) return u"文件版本为 " + Num(uint64_t(h.version)) + u"，只能读版本 150";
  if (h.check != h.bodySize + h.count + uint32_t(h.selected)) return u"文件头的校验和不符";
  if (h.bodySize > BRUSH_MAX_BODY)
    return u"文件头记的数据大小 " + Num(uint64_t(h.bodySize)) + u" 字节超出上限 " + Num(uint64_t(BRUSH_MAX_BODY)) + u" 字节";
  return {};
}

// Decodes the body, which must end exactly at the header's size; bytes after the stream are
// not looked at. The body grows with what the stream gives, never by the header's word alone.
std::u16string Decode(OCoderInput* input, uint32_t bodySize, std::vector<BYTE>* body, GSystem* system) {
  const std::u16string broken = u"压缩数据损坏，解不出文件头记的 " + Num(uint64_t(bodySize)) + u" 字节";
  GCoderRef decoder(system, u"XDecoderZlib");
  GCoderState st{};
  if (!decoder->OutputBegin(input, &st, kLevel)) return broken;
  bool complete = false;
  BYTE scratch[kScratch];
  body->clear();
  for (;;) {
    // A full body still needs the stream's end; any further byte is too many.
    const size_t done = body->size();
    const bool full = done == bodySize;
    const size_t left = bodySize - done;
    const UINT room = full ? kScratch : left < kPiece ? UINT(left) : kPiece;
    if (!full) body->resize(done + room);
    const BOOL ok = decoder->Output(full ? scratch : body->data() + done, room, &st);
    const bool sane = ok && st.uOutputSize <= room && !(full && st.uOutputSize);
    body->resize(done + (sane && !full ? st.uOutputSize : 0));
    if (!sane) break;
    if (st.bStreamEnd) {
      complete = body->size() == bodySize;
      break;
    }
    if (st.uOutputSize == 0) break;  // no progress and no end: it would spin
  }
  const bool ended = decoder->OutputEnd() != FALSE;
  return complete && ended ? std::u16string() : broken;
}

// Takes one text of `bytes` bytes (even, at least 2, 0-terminated) at p.
bool TakeText(const BYTE* p, uint32_t bytes, std::u16string* out) {
  if (p[bytes - 2] != 0 || p[bytes - 1] != 0) return false;
  out->resize(bytes / 2 - 1);
  for (size_t i = 0; i < out->size(); ++i) (*out)[i] = char16_t(p[2 * i] | p[2 * i + 1] << 8);
  return true;
}

struct Text {
  const char16_t* what;
  uint32_t bytes;
  std::u16string* out;
};

// Reads the record at p (left bytes of the body): empty when it is whole, else why not.
// *size gets its length in the body, from the sizes of its parts.
std::u16string ParseRecord(const BYTE* p, size_t left, BrushPresetRecord* r, uint64_t* size) {
  const std::u16string cut = u"数据在记录中途结束";
  if (left < BRUSH_RECORD_HEAD) return cut;
  const uint32_t check = GetLE32(p), recordSize = GetLE32(p + 4), items = GetLE32(p + 8);
  const uint32_t n = GetLE32(p + 12), d = GetLE32(p + 16), e = GetLE32(p + 20);
  if (check != recordSize + items + n + d + e) return u"记录的校验和不符";
  const Text texts[3] = {{u"引擎名", e, &r->engine}, {u"名称", n, &r->name}, {u"说明", d, &r->description}};
  for (const Text& t : texts)
    if (t.bytes < 2 || t.bytes % 2) return std::u16string(t.what) + u"长度 " + Num(uint64_t(t.bytes)) + u" 不是 2 以上的偶数";
  *size = BRUSH_RECORD_HEAD + uint64_t(e) + n + d + uint64_t(items) * kSetBytesPerItem;
  if (*size > left) return cut;
  r->flags = GetLE32(p + 32);
  const BYTE* q = p + BRUSH_RECORD_HEAD;
  for (const Text& t : texts) {
    if (!TakeText(q, t.bytes, t.out)) return std::u16string(t.what) + u"没有结尾的 0";
    q += t.bytes;
  }
  for (auto& set : r->sets) {
    set.resize(items);
    for (uint32_t k = 0; k < items; ++k, q += 4) set[k] = int32_t(GetLE32(q));
  }
  return {};
}

// Splits the body into records, at most 100; the first one that cannot be read ends the list
// (the ones before it are kept) and says why. Bytes after the last record are not looked at.
std::u16string ParseBody(const std::vector<BYTE>& body, uint32_t count, std::vector<BrushPresetRecord>* out) {
  size_t at = 0;
  for (uint32_t i = 0; i < count && i < BRUSH_MAX_BRUSHES; ++i) {
    BrushPresetRecord r;
    uint64_t size = 0;
    if (std::u16string why = ParseRecord(body.data() + at, body.size() - at, &r, &size); !why.empty())
      return BrushNo(i) + why;
    out->push_back(std::move(r));
    at += size_t(size);
  }
  if (count > BRUSH_MAX_BRUSHES)
    return u"文件中有 " + Num(uint64_t(count)) + u" 支画笔，只读入了前 " + Num(BRUSH_MAX_BRUSHES) + u" 支";
  return {};
}

// Everything after the header: the body's bytes come from input.
BrushPresetsLoad ReadBody(const Header& h, uint64_t fileLength, OCoderInput* input, GSystem* system) {
  if (std::u16string why = CheckHeader(h, fileLength); !why.empty()) return Refuse(why);
  std::vector<BYTE> body;
  if (std::u16string why = Decode(input, h.bodySize, &body, system); !why.empty()) return Refuse(why);
  BrushPresetsLoad r;
  r.presets.selected = h.selected;
  r.error = ParseBody(body, h.count, &r.presets.brushes);
  r.status = r.error.empty() ? PresetsStatus::Loaded : PresetsStatus::Partial;
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

// Empty when the reader would read the presets whole; *total gets the body's size.
std::u16string CheckRecords(const BrushPresets& presets, uint64_t* total) {
  if (presets.brushes.size() > BRUSH_MAX_BRUSHES)
    return u"共 " + Num(uint64_t(presets.brushes.size())) + u" 支画笔，最多只能保存 100 支";
  *total = 0;
  for (size_t i = 0; i < presets.brushes.size(); ++i) {
    const BrushPresetRecord& r = presets.brushes[i];
    for (const auto& set : r.sets)
      if (set.size() != r.ItemCount()) return BrushNo(i) + u"各组数值的个数不同";
    *total += GetBrushRecordSize(r);
  }
  if (*total > BRUSH_MAX_BODY)
    return u"数据共 " + Num(*total) + u" 字节，超出上限 " + Num(uint64_t(BRUSH_MAX_BODY)) + u" 字节";
  return {};
}

std::u16string Join(std::u16string folder, const char16_t* name) {
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  return folder + name;
}

}  // namespace

uint64_t GetBrushRecordSize(const BrushPresetRecord& r) {
  return 42 + 2 * (uint64_t(r.engine.size()) + r.name.size() + r.description.size()) +
         kSetBytesPerItem * uint64_t(r.ItemCount());
}

BrushPresetsLoad ReadPresets(const BYTE* data, size_t size, GSystem* system) {
  try {
    if (size < BRUSH_PRESETS_HEADER) return Refuse(kShort);
    RangeInput input(data + BRUSH_PRESETS_HEADER, size - BRUSH_PRESETS_HEADER);
    return ReadBody(Header::Parse(data), size, &input, system);
  }
  GCATCH(u"BrushPresets", u"::Read()")
}

BrushPresetsLoad LoadPresets(const std::u16string& path, GSystem* system) {
  try {
    if (!plat::FileExists(path)) return BrushPresetsLoad{};
    FILE* f = plat::GetFileLength(path) >= 0 ? plat::OpenFile(path, "rb") : nullptr;
    if (!f) return Refuse(u"文件无法打开");
    struct Closer {
      FILE* f;
      ~Closer() { std::fclose(f); }
    } closer{f};
    BYTE head[BRUSH_PRESETS_HEADER];
    const int64_t length = plat::SeekFile(f, 0, SEEK_END) ? plat::TellFile(f) : -1;
    if (length < 0 || !plat::SeekFile(f, 0, SEEK_SET)) return Refuse(u"文件无法读取");
    if (length < int64_t(BRUSH_PRESETS_HEADER) || std::fread(head, BRUSH_PRESETS_HEADER, 1, f) != 1)
      return Refuse(kShort);
    const Header h = Header::Parse(head);
    FileInput input(f, uint64_t(length) - BRUSH_PRESETS_HEADER);
    return ReadBody(h, uint64_t(length), &input, system);
  }
  GCATCH(u"BrushPresets", u"::Load()", ->AppendString(path.c_str()))
}

BrushPresetsSave EncodePresets(const BrushPresets& presets, GSystem* system, std::vector<BYTE>* file) {
  try {
    uint64_t total = 0;
    if (std::u16string why = CheckRecords(presets, &total); !why.empty()) return {false, why};
    std::vector<BYTE> body(total);
    BYTE* p = body.data();
    for (const BrushPresetRecord& r : presets.brushes) {
      const uint32_t size = uint32_t(GetBrushRecordSize(r)), items = r.ItemCount();
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
    if (!temp.f) return {false, u"无法在 " + plat::FolderOf(path) + u" 中建立新文件"};
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), temp.f) == bytes.size();
    // A failed close (the last buffered bytes not written) is a failed save.
    const bool closed = std::fclose(std::exchange(temp.f, nullptr)) == 0;
    if (!written || !closed) return {false, u"写入 " + temp.path + u" 失败"};
    plat::TakeFileMode(temp.path, path);
    if (!plat::ReplaceFile(temp.path, path)) return {false, u"新文件无法取代 " + path};
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

std::u16string KeepPresetsAside(const std::u16string& path) {
  SYSTEMTIME now{};
  plat::GetLocalTime(&now);
  char date[16];
  std::snprintf(date, sizeof date, "%04u%02u%02u", unsigned(now.wYear) % 10000, unsigned(now.wMonth) % 100,
                unsigned(now.wDay) % 100);
  const std::u16string base = path + u".bad-" + plat::Widen(date);
  for (int n = 1; n <= kMaxKeptNames; ++n) {
    const std::u16string kept = n == 1 ? base : base + u"-" + Num(uint64_t(n));
    if (plat::MoveFileNoReplace(path, kept)) return kept;
    if (!plat::FileExists(path)) break;  // gone meanwhile: nothing to keep
  }
  return {};
}

std::u16string FindPresetsFile() { return FindPresetsFile(plat::GetProgramFolder(), plat::GetUserDataFolder()); }

std::u16string PreparePresetsFile() {
  return PreparePresetsFile(plat::GetProgramFolder(), plat::GetUserDataFolder());
}

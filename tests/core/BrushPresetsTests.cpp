#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "XCoderZlib.h"
#include "common/FakeSystem.h"
#include "common/PresetsFileBytes.h"
#include "panels/BrushPresets.h"
#include "platform/base/Files.h"

// The largest single allocation made on this thread while watched: a reader that trusts a
// header's sizes asks for gigabytes here before the stream shows they are a lie.
namespace {
thread_local bool t_watch = false;
thread_local size_t t_largest = 0;
void* Allocate(size_t n) {
  if (t_watch && n > t_largest) t_largest = n;
  return std::malloc(n ? n : 1);
}
}  // namespace

void* operator new(size_t n) {
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

namespace fs = std::filesystem;
using namespace presets_bytes;

struct Watch {
  Watch() {
    t_largest = 0;
    t_watch = true;
  }
  ~Watch() { t_watch = false; }
  size_t Largest() const { return t_largest; }
};

Bytes ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

BrushPresetRecord Brush(std::u16string engine, std::u16string name, std::u16string desc, uint32_t items,
                        uint32_t flags, int32_t seed) {
  BrushPresetRecord r{std::move(engine), std::move(name), std::move(desc), flags, {}};
  for (int k = 0; k < 5; ++k)
    for (uint32_t i = 0; i < items; ++i) r.sets[size_t(k)].push_back(int32_t(uint32_t(seed) * 7919u + uint32_t(k) * 131u + i));
  return r;
}

class BrushPresetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys.Register(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
    sys.Register(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
    dir = fs::path(plat::ToUtf8(plat::GetTempFolder())) / ("tavrik_brushpresets_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    file = dir / "Config.cfb";
  }
  void TearDown() override {
    fs::remove_all(dir);
    EXPECT_EQ(sys.Entry(u"XEncoderZlib")->Refs(), 0);
    EXPECT_EQ(sys.Entry(u"XDecoderZlib")->Refs(), 0);
  }
  std::u16string Path() const { return plat::FromUtf8(file.string()); }
  // Names in the folder other than Config.cfb: a failed save must leave none behind.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename() != "Config.cfb") names.push_back(e.path().filename().string());
    return names;
  }
  BrushPresets Several() const {
    BrushPresets p;
    p.brushes.push_back(Brush(u"XBrushPen", u"圆头笔", u"硬边圆笔", 12, 0x1E | 0x100, 1));
    p.brushes.push_back(Brush(u"XBrushAir", u"Air", u"", 0, 0x200, 2));
    p.brushes.push_back(Brush(u"XBrushInk", u"Ink", u"smooth ink", 255, 0x04, 3));
    p.brushes.push_back(Brush(u"XBrushEraser", std::u16string(255, u'e'), u"d", 1, 0, 4));
    p.brushes[0].sets[3][5] = INT32_MIN;
    p.brushes[0].sets[4][0] = INT32_MAX;
    p.selected = 2;
    return p;
  }

  FakeSystem sys;
  fs::path dir, file;
};

// One brush of 3 items, name of 2 characters, description of 4, engine name of 6.
TEST_F(BrushPresetsTest, WritesTheRecordLayout) {
  BrushPresets p;
  p.brushes.push_back(Brush(u"XBrush", u"Pe", u"Desc", 3, 0x10A, 9));
  p.selected = 0;
  EXPECT_EQ(GetBrushRecordSize(p.brushes[0]), 126u);
  ASSERT_TRUE(SavePresets(Path(), p, &sys).ok);

  const Bytes bytes = ReadAll(file);
  ASSERT_GT(bytes.size(), 34u);
  EXPECT_EQ(Get32(bytes, 0), 0x00424643u);
  EXPECT_EQ(Get32(bytes, 4), bytes.size());
  EXPECT_EQ(Get32(bytes, 8), 150u);
  EXPECT_EQ(Get32(bytes, 12), 126u + 1u + 0u);
  EXPECT_EQ(Get32(bytes, 16), 126u);
  EXPECT_EQ(Get32(bytes, 20), 1u);
  EXPECT_EQ(Get32(bytes, 24), 0u);
  EXPECT_EQ(Get32(bytes, 28), 0u);
  EXPECT_EQ(bytes[32], 0x78);  // a zlib stream at level 2 (the level bits say "fast")
  EXPECT_EQ(bytes[33], 0x5E);

  const Bytes body = Unpack(bytes);
  ASSERT_EQ(body.size(), 126u);
  const uint32_t head[9] = {159, 126, 3, 6, 10, 14, 0, 0, 0x10A};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(Get32(body, size_t(4 * i)), head[i]) << "field " << i;
  Bytes texts;
  PutText(texts, u"XBrush");
  PutText(texts, u"Pe");
  PutText(texts, u"Desc");
  EXPECT_EQ(Bytes(body.begin() + 36, body.begin() + 66), texts);
  for (int k = 0; k < 5; ++k)
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(int32_t(Get32(body, size_t(66 + 12 * k + 4 * i))), p.brushes[0].sets[size_t(k)][size_t(i)]);

  const BrushPresetsLoad back = LoadPresets(Path(), &sys);
  ASSERT_EQ(back.status, PresetsStatus::Loaded) << U8(back.error);
  EXPECT_EQ(back.presets, p);
}

TEST_F(BrushPresetsTest, RoundTripKeepsEveryBrushSetAndFlag) {
  const BrushPresets p = Several();
  ASSERT_TRUE(SavePresets(Path(), p, &sys).ok);
  const Bytes first = ReadAll(file);
  const BrushPresetsLoad back = LoadPresets(Path(), &sys);
  ASSERT_EQ(back.status, PresetsStatus::Loaded) << U8(back.error);
  EXPECT_TRUE(back.error.empty());
  EXPECT_EQ(back.presets, p);
  // The same bytes from memory, and a save of what was read writes the same file again.
  EXPECT_EQ(ReadPresets(first.data(), first.size(), &sys).presets, p);
  ASSERT_TRUE(SavePresets(Path(), back.presets, &sys).ok);
  EXPECT_EQ(ReadAll(file), first);
  EXPECT_TRUE(Leftovers().empty());
}

// A record whose component is gone is handed back as read; its bytes come out the same,
// whatever it holds (an inner 0 in a name, no items, odd flags, a selected row past the end).
TEST_F(BrushPresetsTest, RecordOfAMissingComponentIsWrittenBackUnchanged) {
  const Bytes kept = Record(u"XBrushGone", std::u16string(u"a\0b", 3), u"", 0, 0xDEADBEEF, 5);
  Bytes body = Record(u"XBrushPen", u"Pen", u"hard", 4, 0x100, 1);
  const size_t keptAt = body.size();
  body.insert(body.end(), kept.begin(), kept.end());
  const Bytes tail = Record(u"XBrushInk", u"Ink", u"wet", 7, 0x1E, 2);
  body.insert(body.end(), tail.begin(), tail.end());
  WriteAll(file, Pack(body, 3, 7));

  BrushPresetsLoad got = LoadPresets(Path(), &sys);
  ASSERT_EQ(got.status, PresetsStatus::Loaded) << U8(got.error);
  ASSERT_EQ(got.presets.brushes.size(), 3u);
  EXPECT_EQ(got.presets.brushes[1].name, std::u16string(u"a\0b", 3));
  // The list edits the brushes it has a component for; the other record goes back as it was.
  got.presets.brushes[0].sets[0][0] += 1;
  got.presets.brushes[2].flags = 0;
  ASSERT_TRUE(SavePresets(Path(), got.presets, &sys).ok);

  const Bytes saved = ReadAll(file);
  EXPECT_EQ(int32_t(Get32(saved, 24)), 7);
  const Bytes again = Unpack(saved);
  ASSERT_EQ(again.size(), body.size());
  EXPECT_EQ(Bytes(again.begin() + long(keptAt), again.begin() + long(keptAt + kept.size())), kept);
  EXPECT_NE(again, body);
}

TEST_F(BrushPresetsTest, EmptyListIsSavedOverTheOldFile) {
  ASSERT_TRUE(SavePresets(Path(), Several(), &sys).ok);
  ASSERT_TRUE(SavePresets(Path(), BrushPresets{}, &sys).ok);
  const Bytes bytes = ReadAll(file);
  EXPECT_EQ(Get32(bytes, 16), 0u);
  EXPECT_EQ(Get32(bytes, 20), 0u);
  EXPECT_EQ(int32_t(Get32(bytes, 24)), -1);
  const BrushPresetsLoad back = LoadPresets(Path(), &sys);
  ASSERT_EQ(back.status, PresetsStatus::Loaded) << U8(back.error);
  EXPECT_TRUE(back.presets.brushes.empty());
  EXPECT_EQ(back.presets.selected, -1);
}

TEST_F(BrushPresetsTest, MissingFileIsNotAnError) {
  const BrushPresetsLoad got = LoadPresets(Path(), &sys);
  EXPECT_EQ(got.status, PresetsStatus::Missing);
  EXPECT_TRUE(got.error.empty());
  fs::create_directory(file);  // a folder of that name is no presets file
  EXPECT_EQ(LoadPresets(Path(), &sys).status, PresetsStatus::Refused);
}

// Two records: the first at 0 (engine "Round", E = 12; name "Pen", N = 8), the second after.
struct TwoRecords {
  Bytes r0 = Record(u"Round", u"Pen", u"d", 3, 0x100, 1);
  Bytes r1 = Record(u"Soft", u"Air", u"spray", 2, 0, 2);
  size_t at1 = r0.size();
  Bytes Body() const {
    Bytes b = r0;
    b.insert(b.end(), r1.begin(), r1.end());
    return b;
  }
};

// A damaged header or stream refuses the file whole and says why, and the reader never
// allocates by a header's word: the body grows only with what the stream gives.
TEST_F(BrushPresetsTest, DamagedHeadersAndStreamsAreRefusedWhole) {
  const Bytes good = Pack(TwoRecords().Body(), 2, 1);
  struct Case {
    const char* name;
    std::function<void(Bytes&)> file;
    const char16_t* why;
  };
  const Case cases[] = {
      {"empty", [](Bytes& f) { f.clear(); }, u"不足 32 字节"},
      {"shorter than a header", [](Bytes& f) { f.resize(20); }, u"不足 32 字节"},
      {"longer than the header says", [](Bytes& f) { f.push_back(0); }, u"文件头记的却是"},
      {"shorter than the header says", [](Bytes& f) { f.pop_back(); }, u"文件头记的却是"},
      {"magic", [](Bytes& f) { f[3] = 1; }, u"文件标识不符"},
      {"version 151", [](Bytes& f) { Set32(f, 8, 151); }, u"版本为 151"},
      {"header check off by one", [](Bytes& f) { Set32(f, 12, Get32(f, 12) + 1); }, u"文件头的校验和"},
      {"body size 0x7FFFFFFF", [](Bytes& f) { Set32(f, 16, 0x7FFFFFFF), RecheckHeader(f); }, u"超出上限"},
      {"body size 0xFFFFFFF0", [](Bytes& f) { Set32(f, 16, 0xFFFFFFF0u), RecheckHeader(f); }, u"超出上限"},
      {"32 MiB claimed by a tiny file", [](Bytes& f) { Set32(f, 16, 32u << 20), RecheckHeader(f); }, u"压缩数据损坏"},
      {"size one short of the stream", [](Bytes& f) { Set32(f, 16, Get32(f, 16) - 1), RecheckHeader(f); },
       u"压缩数据损坏"},
      {"size one past the stream", [](Bytes& f) { Set32(f, 16, Get32(f, 16) + 1), RecheckHeader(f); },
       u"压缩数据损坏"},
      {"stream cut short", [](Bytes& f) { f.erase(f.end() - 6, f.end()), Set32(f, 4, uint32_t(f.size())); },
       u"压缩数据损坏"},
      {"a flipped byte in the stream", [](Bytes& f) { f[f.size() - 3] ^= 0x40; }, u"压缩数据损坏"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = good;
    c.file(bytes);
    WriteAll(file, bytes);
    Watch watch;
    for (const BrushPresetsLoad& got : {LoadPresets(Path(), &sys), ReadPresets(bytes.data(), bytes.size(), &sys)}) {
      EXPECT_EQ(got.status, PresetsStatus::Refused);
      EXPECT_NE(got.error.find(c.why), std::u16string::npos) << U8(got.error);
      EXPECT_TRUE(got.presets.brushes.empty());
    }
    EXPECT_LE(watch.Largest(), size_t(1) << 20);
  }
  // The same file, untouched, loads: the cases above fail for their own reason.
  WriteAll(file, good);
  EXPECT_EQ(LoadPresets(Path(), &sys).status, PresetsStatus::Loaded);
}

// A record that cannot be read ends the list: the records before it are handed back, with
// the reason.
TEST_F(BrushPresetsTest, ADamagedRecordEndsTheListAndTheRecordsBeforeItStay) {
  const TwoRecords two;
  const size_t at1 = two.at1;
  struct Case {
    const char* name;
    std::function<void(Bytes&)> body;
    size_t kept;
    const char16_t* why;
    uint32_t count = 2;
  };
  const Case cases[] = {
      {"record check off by one", [](Bytes& b) { Set32(b, 0, Get32(b, 0) + 1); }, 0, u"第 1 支画笔：记录的校验和"},
      {"second record's check off", [at1](Bytes& b) { Set32(b, at1, Get32(b, at1) ^ 0x100); }, 1,
       u"第 2 支画笔：记录的校验和"},
      {"odd E", [](Bytes& b) { Set32(b, 20, 13), Recheck(b, 0); }, 0, u"第 1 支画笔：引擎名长度 13"},
      {"E of 0", [](Bytes& b) { Set32(b, 20, 0), Recheck(b, 0); }, 0, u"第 1 支画笔：引擎名长度 0"},
      {"N past the body", [](Bytes& b) { Set32(b, 12, 0x7FFFFFFE), Recheck(b, 0); }, 0, u"第 1 支画笔：数据在记录中途结束"},
      {"items past the body", [](Bytes& b) { Set32(b, 8, 0xFFFFFFFF), Recheck(b, 0); }, 0, u"中途结束"},
      {"odd D", [at1](Bytes& b) { Set32(b, at1 + 16, 11), Recheck(b, at1); }, 1, u"第 2 支画笔：说明长度 11"},
      {"name without terminator", [](Bytes& b) { b[36 + 12 + 8 - 2] = 'x'; }, 0, u"第 1 支画笔：名称没有结尾的 0"},
      {"engine name without terminator", [](Bytes& b) { b[36 + 12 - 1] = 1; }, 0, u"第 1 支画笔：引擎名没有结尾的 0"},
      {"last record longer than the body",
       [at1](Bytes& b) { Set32(b, at1 + 16, Get32(b, at1 + 16) + 2), Recheck(b, at1); }, 1,
       u"第 2 支画笔：数据在记录中途结束"},
      {"one record more than the body holds", [](Bytes&) {}, 2, u"第 3 支画笔：数据在记录中途结束", 3},
      {"count 0xFFFFFFFF", [](Bytes&) {}, 2, u"第 3 支画笔", 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes body = two.Body();
    c.body(body);
    const Bytes bytes = Pack(body, c.count, 0);
    WriteAll(file, bytes);
    for (const BrushPresetsLoad& got : {LoadPresets(Path(), &sys), ReadPresets(bytes.data(), bytes.size(), &sys)}) {
      EXPECT_EQ(got.status, PresetsStatus::Partial);
      EXPECT_NE(got.error.find(c.why), std::u16string::npos) << U8(got.error);
      ASSERT_EQ(got.presets.brushes.size(), c.kept);
      if (c.kept > 0) {
        EXPECT_EQ(got.presets.brushes[0].name, u"Pen");
      }
      if (c.kept > 1) {
        EXPECT_EQ(got.presets.brushes[1].sets[4][1], int32_t(2 * 2654435761u + 9 * 40503u));
      }
    }
  }
}

// What the format allows is read whole: long texts, any item count, a record-size word that
// is wrong while the check adds up (the record is walked by its parts), reserved words that
// are not 0, bytes after the stream or after the last record, any stored selection and flags.
TEST_F(BrushPresetsTest, WhatTheFormatAllowsIsReadWhole) {
  const std::u16string long256(256, u'长'), long1000(1000, u'x');
  const Bytes tail = Record(u"Soft", u"Air", u"spray", 2, 0, 2);
  struct Case {
    const char* name;
    Bytes first;                          // the first record; the second is `tail`
    std::function<void(Bytes&)> file;     // then the file's bytes
    int32_t selected = 1;
  };
  auto none = [](Bytes&) {};
  auto fixed = [](Bytes b, size_t at, uint32_t v) { return Set32(b, at, v), b; };
  const Bytes plain = Record(u"Round", u"Pen", u"d", 3, 0x100, 1);
  Bytes sizeOff = fixed(plain, 4, Get32(plain, 4) + 40);
  Recheck(sizeOff, 0);
  const Case cases[] = {
      {"a name of 256 and a description of 1000", Record(u"Round", long256, long1000, 3, 0x100, 1), none},
      {"an engine name of 256", Record(long256, u"Pen", u"d", 3, 0x100, 1), none},
      {"256 items", Record(u"Round", u"Pen", u"d", 256, 0x100, 1), none},
      {"a record-size word off while its check adds up", sizeOff, none},
      {"reserved words not 0", fixed(fixed(plain, 24, 7), 28, 9), none},
      {"flags as stored", Record(u"Round", u"Pen", u"d", 3, 0xFFFFFFFF, 1), none},
      {"4 bytes after the stream", plain,
       [](Bytes& f) { f.insert(f.end(), {1, 2, 3, 4}), Set32(f, 4, uint32_t(f.size())); }},
      {"selection -1", plain, none, -1},
      {"selection past the rows", plain, none, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes body = c.first;
    body.insert(body.end(), tail.begin(), tail.end());
    Bytes bytes = Pack(body, 2, c.selected);
    c.file(bytes);
    WriteAll(file, bytes);
    for (const BrushPresetsLoad& got : {LoadPresets(Path(), &sys), ReadPresets(bytes.data(), bytes.size(), &sys)}) {
      ASSERT_EQ(got.status, PresetsStatus::Loaded) << U8(got.error);
      ASSERT_EQ(got.presets.brushes.size(), 2u);
      EXPECT_EQ(got.presets.selected, c.selected);
      const BrushPresetRecord& r = got.presets.brushes[0];
      EXPECT_EQ(r.flags, Get32(c.first, 32));
      EXPECT_EQ(r.ItemCount(), Get32(c.first, 8));
      EXPECT_EQ(2 * (r.engine.size() + r.name.size() + r.description.size()) + 6,
                size_t(Get32(c.first, 12)) + Get32(c.first, 16) + Get32(c.first, 20));
      EXPECT_EQ(got.presets.brushes[1].name, u"Air") << "the second record is where the first one's parts end";
      // What was read is written and read again unchanged.
      std::vector<BYTE> again;
      ASSERT_TRUE(EncodePresets(got.presets, &sys, &again).ok);
      EXPECT_EQ(ReadPresets(again.data(), again.size(), &sys).presets, got.presets);
    }
  }
  EXPECT_EQ(LoadPresets(Path(), &sys).presets.brushes[0].name, u"Pen");

  // Bytes after the last record are not looked at.
  Bytes body = plain;
  body.insert(body.end(), 6, 0);
  Bytes bytes = Pack(body, 1, 0);
  EXPECT_EQ(ReadPresets(bytes.data(), bytes.size(), &sys).status, PresetsStatus::Loaded);
  // 101 brushes: the first 100 are read, and the file is not read whole.
  body.clear();
  for (uint32_t i = 0; i < 101; ++i) {
    const Bytes r = Record(u"Round", std::u16string(u"第").append(plat::Widen(std::to_string(i))), u"", 1, 0, i);
    body.insert(body.end(), r.begin(), r.end());
  }
  bytes = Pack(body, 101, 0);
  const BrushPresetsLoad got = ReadPresets(bytes.data(), bytes.size(), &sys);
  EXPECT_EQ(got.status, PresetsStatus::Partial);
  EXPECT_NE(got.error.find(u"101 支画笔，只读入了前 100 支"), std::u16string::npos) << U8(got.error);
  ASSERT_EQ(got.presets.brushes.size(), 100u);
  EXPECT_EQ(got.presets.brushes[99].name, u"第99");
}

// A file that was not read whole goes out of the way under a name of its own: the date, then
// a number; an earlier kept file is never overwritten.
TEST_F(BrushPresetsTest, KeptAsideFilesNeverOverwriteEachOther) {
  EXPECT_TRUE(KeepPresetsAside(Path()).empty()) << "no file, nothing kept";
  std::vector<std::u16string> kept;
  for (uint8_t round = 1; round <= 3; ++round) {
    WriteAll(file, Bytes(5, round));
    kept.push_back(KeepPresetsAside(Path()));
    ASSERT_FALSE(kept.back().empty());
    EXPECT_FALSE(fs::exists(file));
  }
  const std::string base = plat::ToUtf8(kept[0]), path = file.string();
  ASSERT_EQ(base.size(), path.size() + 13);
  EXPECT_EQ(base.compare(0, path.size() + 5, path + ".bad-"), 0) << base;
  for (size_t i = path.size() + 5; i < base.size(); ++i) EXPECT_TRUE(std::isdigit(base[i])) << "a date YYYYMMDD";
  // Later rounds the same day take the numbers (a round after midnight takes the new date).
  for (size_t i = 0; i < kept.size(); ++i) {
    const std::string name = plat::ToUtf8(kept[i]);
    if (i > 0 && name.compare(0, base.size(), base) == 0) {
      EXPECT_EQ(name, base + "-" + std::to_string(i + 1));
    }
    EXPECT_EQ(ReadAll(name), Bytes(5, uint8_t(i + 1))) << "each kept as it was";
  }
}

// A failed save leaves the old file whole and no new file behind.
TEST_F(BrushPresetsTest, FailedSaveKeepsTheOldFile) {
  BrushPresets old;
  old.brushes.push_back(Brush(u"XBrushPen", u"Old", u"old", 2, 0, 1));
  ASSERT_TRUE(SavePresets(Path(), old, &sys).ok);
  const Bytes before = ReadAll(file);
  BrushPresets big = Several();
  for (int i = 0; i < 40; ++i) big.brushes.push_back(Brush(u"XBrushInk", u"Ink", u"noise", 255, 0, 100 + i));
  BrushPresets small;
  small.brushes.push_back(Brush(u"XBrushPen", u"New", u"new", 3, 0, 2));

  // The file system refuses bytes past 48: a big file fails in a write, a small one in the close.
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  for (const BrushPresets* p : {&big, &small}) {
    rlimit low = saved;
    low.rlim_cur = 48;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
    const BrushPresetsSave r = SavePresets(Path(), *p, &sys);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(u"失败"), std::u16string::npos) << U8(r.error);
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_TRUE(Leftovers().empty());
  }
  std::signal(SIGXFSZ, previous);

  // The target cannot be replaced (a folder of that name).
  const fs::path other = dir / "sub";
  fs::create_directories(other / "Config.cfb" / "x");
  BrushPresetsSave r = SavePresets(plat::FromUtf8((other / "Config.cfb").string()), small, &sys);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(fs::is_directory(other / "Config.cfb"));
  EXPECT_EQ(std::distance(fs::directory_iterator(other), {}), 1);

  // No file can be made where the folder is a file.
  r = SavePresets(Path() + u"/Config.cfb", small, &sys);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(u"无法在"), std::u16string::npos) << U8(r.error);
  EXPECT_EQ(ReadAll(file), before);
}

// The writer refuses what the reader would refuse, and touches no file doing so.
TEST_F(BrushPresetsTest, WriterRefusesWhatTheReaderRefuses) {
  const auto brush = [] { return Brush(u"XBrushPen", u"Pen", u"d", 2, 0, 1); };
  struct Case {
    const char* name;
    std::function<void(BrushPresets&)> make;
    const char16_t* why;
  };
  const Case cases[] = {
      {"101 brushes", [&](BrushPresets& p) { p.brushes.assign(101, brush()); }, u"共 101 支画笔"},
      {"sets of two sizes", [&](BrushPresets& p) { p.brushes.assign(1, brush()), p.brushes[0].sets[4].pop_back(); },
       u"第 1 支画笔：各组数值的个数不同"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BrushPresets p;
    c.make(p);
    const BrushPresetsSave r = SavePresets(Path(), p, &sys);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(c.why), std::u16string::npos) << U8(r.error);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(Leftovers().empty());
  }
  // 100 brushes with long texts and many items go through.
  BrushPresets most;
  const std::u16string longText(300, u'x');
  most.brushes.assign(100, Brush(longText, longText, longText, 256, 0x3FF, 7));
  ASSERT_TRUE(SavePresets(Path(), most, &sys).ok);
  EXPECT_EQ(Get32(ReadAll(file), 16), 100u * (42 + 2 * 900 + 20 * 256));
  EXPECT_EQ(LoadPresets(Path(), &sys).presets, most);
}

// Program folder + BRUSH/Config.cfb first; the user's data folder when the program's
// cannot take it.
TEST_F(BrushPresetsTest, FileLivesInTheProgramFolderElseTheUsers) {
  const fs::path program = dir / "program", user = dir / "user";
  fs::create_directories(program);
  fs::create_directories(user);
  const std::u16string prog16 = plat::FromUtf8(program.string()), user16 = plat::FromUtf8(user.string()) + u"/";
  EXPECT_TRUE(FindPresetsFile(prog16, user16).empty());

  EXPECT_EQ(PreparePresetsFile(prog16, user16), prog16 + u"/BRUSH/Config.cfb");
  EXPECT_TRUE(fs::is_directory(program / "BRUSH"));
  EXPECT_TRUE(FindPresetsFile(prog16, user16).empty());  // a folder alone is no file

  // A program folder that cannot hold BRUSH (it is a file): the user's folder.
  const fs::path blocked = dir / "blocked";
  WriteAll(blocked, {1});
  const std::u16string blocked16 = plat::FromUtf8(blocked.string());
  EXPECT_EQ(PreparePresetsFile(blocked16, user16), user16 + u"BRUSH/Config.cfb");
  EXPECT_TRUE(fs::is_directory(user / "BRUSH"));
  EXPECT_TRUE(PreparePresetsFile(blocked16, blocked16).empty());

  // Load from the first that exists.
  WriteAll(user / "BRUSH" / "Config.cfb", {1});
  EXPECT_EQ(FindPresetsFile(prog16, user16), user16 + u"BRUSH/Config.cfb");
  WriteAll(program / "BRUSH" / "Config.cfb", {2});
  EXPECT_EQ(FindPresetsFile(prog16, user16), prog16 + u"/BRUSH/Config.cfb");
}

}  // namespace

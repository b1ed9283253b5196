#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
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
#include "odata/LittleEndian.h"
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
using Bytes = std::vector<uint8_t>;

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

Bytes Unpack(const Bytes& file) {
  Bytes body(GetLE32(file.data() + 16));
  uLongf n = uLongf(body.size());
  EXPECT_EQ(uncompress(body.data(), &n, file.data() + 32, uLong(file.size() - 32)), Z_OK);
  EXPECT_EQ(n, body.size());
  return body;
}

// The file around a body, written without the code under test: header fields as given.
Bytes Pack(const Bytes& body, uint32_t count, int32_t selected) {
  uLongf n = compressBound(uLong(body.size()));
  Bytes file(32 + n);
  EXPECT_EQ(compress2(file.data() + 32, &n, body.data(), uLong(body.size()), 2), Z_OK);
  file.resize(32 + n);
  const uint32_t size = uint32_t(body.size());
  const uint32_t h[8] = {0x00424643, uint32_t(file.size()), 150, size + count + uint32_t(selected),
                         size, count, uint32_t(selected), 0};
  for (int i = 0; i < 8; ++i) PutLE32(file.data() + 4 * i, h[i]);
  return file;
}

void Put32(Bytes& b, uint32_t v) {
  uint8_t q[4];
  PutLE32(q, v);
  b.insert(b.end(), q, q + 4);
}

void PutText(Bytes& b, const std::u16string& s) {
  for (char16_t c : s) b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8)});
  b.insert(b.end(), {0, 0});
}

// One record written by hand, for files the writer under test would not make itself.
Bytes Record(const std::u16string& engine, const std::u16string& name, const std::u16string& desc, uint32_t items,
             uint32_t flags, uint32_t seed) {
  const uint32_t e = uint32_t(2 * engine.size() + 2), n = uint32_t(2 * name.size() + 2),
                 d = uint32_t(2 * desc.size() + 2);
  const uint32_t size = 36 + e + n + d + 20 * items;
  Bytes b;
  for (uint32_t v : {size + items + n + d + e, size, items, n, d, e, 0u, 0u, flags}) Put32(b, v);
  PutText(b, engine);
  PutText(b, name);
  PutText(b, desc);
  for (uint32_t i = 0; i < 5 * items; ++i) Put32(b, seed * 2654435761u + i * 40503u);
  return b;
}

void Set32(Bytes& b, size_t at, uint32_t v) { PutLE32(b.data() + at, v); }
uint32_t Get32(const Bytes& b, size_t at) { return GetLE32(b.data() + at); }
void Recheck(Bytes& body, size_t at) {
  uint32_t sum = 0;
  for (size_t k = 4; k <= 20; k += 4) sum += Get32(body, at + k);
  Set32(body, at, sum);
}
void RecheckHeader(Bytes& file) { Set32(file, 12, Get32(file, 16) + Get32(file, 20) + Get32(file, 24)); }

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

// Every damaged file is refused whole, says why, and never makes the reader allocate more
// than 100 brushes' worth.
TEST_F(BrushPresetsTest, DamagedFilesAreRefused) {
  // Two records: the first at 0 (engine "Round", E = 12; name "Pen", N = 8), the second after.
  const Bytes r0 = Record(u"Round", u"Pen", u"d", 3, 0x100, 1);
  const Bytes r1 = Record(u"Soft", u"Air", u"spray", 2, 0, 2);
  Bytes good = r0;
  good.insert(good.end(), r1.begin(), r1.end());
  const size_t at1 = r0.size();
  using BodyFix = std::function<void(Bytes&)>;
  struct Case {
    const char* name;
    BodyFix body;
    std::function<void(Bytes&)> file;
    const char16_t* why;
    uint32_t count = 2;
  };
  auto none = [](Bytes&) {};
  const Case cases[] = {
      {"shorter than a header", none, [](Bytes& f) { f.resize(20); }, u"shorter than its 32-byte header"},
      {"longer than the header says", none, [](Bytes& f) { f.push_back(0); }, u"its header says"},
      {"shorter than the header says", none, [](Bytes& f) { f.pop_back(); }, u"its header says"},
      {"magic", none, [](Bytes& f) { f[3] = 1; }, u"magic"},
      {"version 151", none, [](Bytes& f) { Set32(f, 8, 151); }, u"version 151"},
      {"header check off by one", none, [](Bytes& f) { Set32(f, 12, Get32(f, 12) + 1); }, u"header check"},
      {"101 brushes", none, [](Bytes& f) { Set32(f, 20, 101), RecheckHeader(f); }, u"101 brushes"},
      {"huge size, tiny file", none, [](Bytes& f) { Set32(f, 16, 0xFFFFFFF0u), RecheckHeader(f); },
       u"cannot hold"},
      {"size above 2 brushes' worth", none, [](Bytes& f) { Set32(f, 16, 2 * BRUSH_MAX_RECORD + 1), RecheckHeader(f); },
       u"cannot hold"},
      {"size one short of the stream", none, [](Bytes& f) { Set32(f, 16, Get32(f, 16) - 1), RecheckHeader(f); },
       u"header's size"},
      {"size one past the stream", none, [](Bytes& f) { Set32(f, 16, Get32(f, 16) + 1), RecheckHeader(f); },
       u"header's size"},
      {"stream cut short", none, [](Bytes& f) { f.erase(f.end() - 6, f.end()), Set32(f, 4, uint32_t(f.size())); },
       u"header's size"},
      {"bytes after the stream", none, [](Bytes& f) { f.push_back(7), Set32(f, 4, uint32_t(f.size())); },
       u"bytes follow"},
      {"record check off by one", [](Bytes& b) { Set32(b, 0, Get32(b, 0) + 1); }, none, u"brush 1: the record check"},
      {"odd E", [](Bytes& b) { Set32(b, 20, 13), Recheck(b, 0); }, none, u"brush 1: engine name size 13"},
      {"E of 0", [](Bytes& b) { Set32(b, 20, 0), Recheck(b, 0); }, none, u"brush 1: engine name size 0"},
      {"N past the body", [](Bytes& b) { Set32(b, 12, 0x7FFFFFFE), Recheck(b, 0); }, none, u"brush 1: name size"},
      {"odd D", [at1](Bytes& b) { Set32(b, at1 + 16, 11), Recheck(b, at1); }, none, u"brush 2: description size 11"},
      {"name without terminator", [](Bytes& b) { b[36 + 12 + 8 - 2] = 'x'; }, none,
       u"brush 1: the name has no terminating 0"},
      {"engine name without terminator", [](Bytes& b) { b[36 + 12 - 1] = 1; }, none,
       u"brush 1: the engine name has no terminating 0"},
      {"record size off by two", [](Bytes& b) { Set32(b, 4, Get32(b, 4) + 2), Recheck(b, 0); }, none,
       u"brush 1: the record size"},
      {"256 items", [](Bytes& b) { Set32(b, 8, 256), Recheck(b, 0); }, none, u"brush 1: 256 items"},
      {"reserved word", [](Bytes& b) { Set32(b, 28, 1); }, none, u"brush 1: the reserved"},
      {"last record longer than the body",
       [at1](Bytes& b) { Set32(b, at1 + 16, Get32(b, at1 + 16) + 2), Set32(b, at1 + 4, Get32(b, at1 + 4) + 2),
                         Recheck(b, at1); },
       none, u"brush 2: the body ends inside the record"},
      {"one record more than the body holds", none, none, u"brush 3: the body ends inside the record", 3},
      {"bytes after the last record", [](Bytes& b) { b.insert(b.end(), 6, 0); }, none, u"after the last brush"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes body = good;
    c.body(body);
    Bytes bytes = Pack(body, c.count, 1);
    c.file(bytes);
    WriteAll(file, bytes);
    Watch watch;
    for (const BrushPresetsLoad& got : {LoadPresets(Path(), &sys), ReadPresets(bytes.data(), bytes.size(), &sys)}) {
      EXPECT_EQ(got.status, PresetsStatus::Refused);
      EXPECT_NE(got.error.find(c.why), std::u16string::npos) << U8(got.error);
      EXPECT_TRUE(got.presets.brushes.empty());
    }
    EXPECT_LE(watch.Largest(), size_t(BRUSH_MAX_BODY));
  }
  // The same body, untouched, loads: the cases above fail for their own reason.
  WriteAll(file, Pack(good, 2, 1));
  EXPECT_EQ(LoadPresets(Path(), &sys).presets.brushes.size(), 2u);
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
    EXPECT_NE(r.error.find(u"failed"), std::u16string::npos) << U8(r.error);
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
  EXPECT_NE(r.error.find(u"no new file"), std::u16string::npos) << U8(r.error);
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
      {"101 brushes", [&](BrushPresets& p) { p.brushes.assign(101, brush()); }, u"101 brushes"},
      {"256 items", [](BrushPresets& p) { p.brushes.push_back(Brush(u"X", u"N", u"D", 256, 0, 1)); }, u"256 items"},
      {"sets of two sizes", [&](BrushPresets& p) { p.brushes.assign(1, brush()), p.brushes[0].sets[4].pop_back(); },
       u"differ in size"},
      {"a name of 256", [&](BrushPresets& p) { p.brushes.assign(1, brush()), p.brushes[0].name.assign(256, u'n'); },
       u"longer than 255"},
      {"an engine name of 256",
       [&](BrushPresets& p) { p.brushes.assign(1, brush()), p.brushes[0].engine.assign(256, u'n'); },
       u"longer than 255"},
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
  // The largest presets the bounds allow go through.
  BrushPresets most;
  const std::u16string longest(255, u'x');
  most.brushes.assign(100, Brush(longest, longest, longest, 255, 0x3FF, 7));
  ASSERT_TRUE(SavePresets(Path(), most, &sys).ok);
  EXPECT_EQ(Get32(ReadAll(file), 16), BRUSH_MAX_BODY);
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

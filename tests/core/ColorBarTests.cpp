#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/ColorBar.h"
#include "core/Hsv.h"
#include "odata/GCompRef.h"
#include "odata/LittleEndian.h"
#include "platform/base/Files.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<COLORREF> Slots(const CColorBar& bar) {
  std::vector<COLORREF> v;
  for (int i = 0; i <= COLORBAR_RECENT; ++i) v.push_back(bar.GetColor(i));
  return v;
}

struct Counter final : IColorBarObserver {
  int changes = 0;
  void OnColorsChanged() override { ++changes; }
};

TEST(ColorBar, SlotsAreTheCurrentColourThenTheRecentOnes) {
  CColorBar bar;
  bar.SetColor(0xFF123456);  // only 0x00RRGGBB is kept
  EXPECT_EQ(bar.GetColor(0), 0x123456u);
  const std::vector<COLORREF> slots = Slots(bar);
  for (int i = 1; i <= COLORBAR_RECENT; ++i)
    for (int j = 1; j < i; ++j) EXPECT_NE(slots[size_t(i)], slots[size_t(j)]) << "a new bar repeats a colour";
  EXPECT_EQ(bar.GetColor(-1), CColorBar::NO_COLOR);
  EXPECT_EQ(bar.GetColor(COLORBAR_RECENT + 1), CColorBar::NO_COLOR);
}

TEST(ColorBar, PushingMakesCurrentAndMovesToTheFrontWithoutDuplicates) {
  // The same rules whether the colour comes as RGB, kept exactly, or packed as HSV.
  const struct {
    const char* what;
    std::function<void(CColorBar&, COLORREF)> push;
    std::function<COLORREF(COLORREF)> kept;
  } ways[] = {
      {"PushRgb", [](CColorBar& bar, COLORREF c) { bar.PushRgb(c); }, [](COLORREF c) { return c; }},
      {"PushColor", [](CColorBar& bar, COLORREF c) { bar.PushColor(RgbToHsv(c)); },
       [](COLORREF c) { return HsvToRgb(RgbToHsv(c)); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    CColorBar bar;
    Counter seen;
    bar.SetObserver(&seen);
    const std::vector<COLORREF> before = Slots(bar);
    // A colour already in the list moves up; the colours in front of it shift down by one.
    const COLORREF fifth = bar.GetColor(5);
    ASSERT_EQ(way.kept(fifth), fifth);
    way.push(bar, fifth);
    std::vector<COLORREF> expect = before;
    expect.erase(expect.begin() + 5);
    expect.insert(expect.begin() + 1, fifth);
    expect[0] = fifth;
    EXPECT_EQ(Slots(bar), expect);
    // The first one again changes nothing.
    way.push(bar, fifth);
    EXPECT_EQ(Slots(bar), expect);
    // A new colour drops the oldest.
    way.push(bar, 0x804020);
    expect.pop_back();
    expect.insert(expect.begin() + 1, way.kept(0x804020));
    expect[0] = way.kept(0x804020);
    EXPECT_EQ(Slots(bar), expect);
    EXPECT_EQ(seen.changes, 3);

    // Twenty-five new greys: the last nineteen remain, newest first.
    for (COLORREF g = 100; g < 125; ++g) way.push(bar, g * 0x010101);
    for (int i = 1; i <= COLORBAR_RECENT; ++i) EXPECT_EQ(bar.GetColor(i), way.kept((125 - i) * 0x010101u));
    EXPECT_EQ(bar.GetColor(0), way.kept(124 * 0x010101u));
  }
  CColorBar bar;
  bar.PushRgb(0xFF123456);  // only 0x00RRGGBB is kept
  EXPECT_EQ(bar.GetColor(0), 0x123456u);
  EXPECT_EQ(bar.GetColor(1), 0x123456u);
}

TEST(ColorBar, ThePushedHsvColourIsKeptWhileItIsCurrent) {
  CColorBar bar;
  // A grey and a black keep the hue and saturation they were pushed with.
  for (HSVCOLOR c : {MakeHsv(700, 0, 128), MakeHsv(1200, 180, 0), MakeHsv(3, 256, 256)}) {
    bar.PushColor(c);
    EXPECT_EQ(bar.GetColor(0), HsvToRgb(c));
    EXPECT_EQ(bar.GetCurrentHsv(), c);
  }
  // Out-of-range fields are brought into range before they are kept.
  bar.PushColor(MakeHsv(1600, 300, 511));
  EXPECT_EQ(bar.GetCurrentHsv(), MakeHsv(64, 256, 256));
  EXPECT_EQ(bar.GetColor(0), HsvToRgb(64, 256, 256));
  // Once another colour is current, its HSV comes from its RGB.
  bar.PushColor(MakeHsv(700, 0, 128));
  bar.SetColor(0x804020);
  EXPECT_EQ(bar.GetCurrentHsv(), RgbToHsv(0x804020));
  bar.PushRgb(0x6020A0);
  EXPECT_EQ(bar.GetCurrentHsv(), RgbToHsv(0x6020A0));
}

class ColorBarFileTest : public ::testing::Test {
 protected:
  ColorBarFileTest() {
    dir = plat::GetTempFolder() + u"tavrik_colorbar_" + plat::Widen(std::to_string(::getpid()));
    std::system(("mkdir -p '" + plat::ToUtf8(dir) + "'").c_str());
    path = dir + u"/section.bin";
  }
  ~ColorBarFileTest() override { std::system(("rm -rf '" + plat::ToUtf8(dir) + "'").c_str()); }

  Bytes Save(CColorBar& bar) {
    GCompRef<CFileOut> out = new CFileOut();
    EXPECT_TRUE(out->Open(path.c_str()));
    uint64_t bytes = 0;
    UINT progress = 1;
    EXPECT_TRUE(bar.GetFileSave()->Begin(&progress));
    EXPECT_TRUE(bar.GetFileSave()->Save(out, &bytes, nullptr));
    EXPECT_TRUE(bar.GetFileSave()->End());
    EXPECT_TRUE(out->Close());
    std::ifstream in(plat::ToUtf8(path), std::ios::binary);
    Bytes all(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(bytes, all.size());
    return all;
  }
  // Begin, Load and End(failed) as the container runs them; Load's answer.
  BOOL Load(CColorBar& bar, const Bytes& section) {
    {
      std::ofstream out(plat::ToUtf8(path), std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(section.data()), std::streamsize(section.size()));
    }
    GCompRef<CFileIn> in = new CFileIn();
    EXPECT_TRUE(in->Open(path.c_str()));
    uint64_t bytes = 0;
    EXPECT_TRUE(bar.GetFileLoad()->Begin());
    const BOOL ok = bar.GetFileLoad()->Load(in, &bytes, nullptr);
    EXPECT_EQ(bytes, ok ? section.size() : 0u);
    EXPECT_TRUE(bar.GetFileLoad()->End(!ok));
    return ok;
  }
  static void Reseal(Bytes& s) {
    uint32_t sum = 0;
    for (size_t at = 4; at < 92; at += 4) sum += GetLE32(&s[at]);
    PutLE32(&s[0], sum);
  }

  std::u16string dir, path;
};

TEST_F(ColorBarFileTest, SectionRoundTripsExactly) {
  CColorBar bar;
  for (COLORREF c : {0x010203u, 0xFFFFFFu, 0x000000u, 0x7F8081u}) bar.PushRgb(c);
  bar.SetColor(0xFEDCBA);
  const Bytes s = Save(bar);
  ASSERT_EQ(s.size(), ColorBarSection::kBytes);
  EXPECT_EQ(GetLE32(&s[4]), 0x00010000u);
  EXPECT_EQ(GetLE32(&s[8]), 96u);
  EXPECT_EQ(GetLE32(&s[12]), 0xFEDCBAu);
  EXPECT_EQ(GetLE32(&s[16]), 0x7F8081u);
  EXPECT_EQ(GetLE32(&s[92]), 0u);

  CColorBar loaded;
  Counter seen;
  loaded.SetObserver(&seen);
  ASSERT_TRUE(Load(loaded, s));
  EXPECT_EQ(Slots(loaded), Slots(bar));
  EXPECT_EQ(seen.changes, 1);
  EXPECT_EQ(Save(loaded), s);

  // A section read well is still dropped when the document fails elsewhere.
  CColorBar untouched;
  const std::vector<COLORREF> before = Slots(untouched);
  GCompRef<CFileIn> in = new CFileIn();
  ASSERT_TRUE(in->Open(path.c_str()));
  ASSERT_TRUE(untouched.GetFileLoad()->Begin());
  ASSERT_TRUE(untouched.GetFileLoad()->Load(in, nullptr, nullptr));
  EXPECT_TRUE(untouched.GetFileLoad()->End(TRUE));
  EXPECT_EQ(Slots(untouched), before);
}

TEST_F(ColorBarFileTest, DamagedSectionsAreRefusedAndChangeNothing) {
  CColorBar source;
  source.PushRgb(0x445566);
  source.SetColor(0x112233);
  const Bytes good = Save(source);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    BOOL accepted;
  } cases[] = {
      {"check word off by one", [](Bytes& s) { PutLE32(&s[0], GetLE32(&s[0]) + 1); }, FALSE},
      {"one colour byte changed", [](Bytes& s) { s[40] ^= 0x10; }, FALSE},
      {"version 0x0000FFFF", [](Bytes& s) { PutLE32(&s[4], 0x0000FFFF), Reseal(s); }, FALSE},
      {"version 0x00020000", [](Bytes& s) { PutLE32(&s[4], 0x00020000), Reseal(s); }, FALSE},
      {"version 0x0001FFFF", [](Bytes& s) { PutLE32(&s[4], 0x0001FFFF), Reseal(s); }, TRUE},
      {"size 95", [](Bytes& s) { PutLE32(&s[8], 95), Reseal(s); }, FALSE},
      {"current colour with a top byte", [](Bytes& s) { PutLE32(&s[12], 0x01112233), Reseal(s); }, FALSE},
      {"recent colour twice", [](Bytes& s) { PutLE32(&s[20], GetLE32(&s[16])), Reseal(s); }, FALSE},
      {"cut short", [](Bytes& s) { s.resize(95); }, FALSE},
      {"reserved word set", [](Bytes& s) { PutLE32(&s[92], 7); }, TRUE},
  };
  for (const Case& c : cases) {
    Bytes s = good;
    c.damage(s);
    CColorBar bar;
    bar.SetColor(0xABCDEF);
    const std::vector<COLORREF> before = Slots(bar);
    Counter seen;
    bar.SetObserver(&seen);
    EXPECT_EQ(Load(bar, s), c.accepted) << c.what;
    if (c.accepted) {
      EXPECT_EQ(Slots(bar), Slots(source)) << c.what;
    } else {
      EXPECT_EQ(Slots(bar), before) << c.what;
      EXPECT_EQ(seen.changes, 0) << c.what;
    }
  }
}

}  // namespace

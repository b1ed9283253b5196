// Settings on a test file: values survive a reload, integers read back clamped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/base/Text.h"
#include "platform/gui/Settings.h"

namespace {

using gui::Settings;

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = std::filesystem::temp_directory_path() /
             ("tavrik-settings-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini");
    std::filesystem::remove(m_path);
    Settings::UseFile(plat::FromUtf8(m_path.string()));
  }
  void TearDown() override {
    Settings::UseFile(plat::FromUtf8(m_path.string() + ".unused"));
    std::filesystem::remove(m_path);
  }
  void Reload() { Settings::UseFile(plat::FromUtf8(m_path.string())); }
  std::filesystem::path m_path;
};

TEST_F(SettingsFile, ValuesSurviveAReload) {
  EXPECT_TRUE(Settings::WriteInt(u"Configure", u"nSpaceWidth", 1234));
  EXPECT_TRUE(Settings::WriteInt(u"windows", u"main.left", -20));
  EXPECT_TRUE(Settings::WriteString(u"Settings", u"name", u"图层 one"));
  const uint8_t blob[] = {0, 1, 0xFF, 0x80, 0};
  EXPECT_TRUE(Settings::WriteBinary(u"Set", u"Bar0", blob, sizeof blob));
  EXPECT_TRUE(Settings::Flush());
  Reload();
  EXPECT_EQ(Settings::ReadInt(u"Configure", u"nSpaceWidth", 1000, 1, 10000), 1234);
  EXPECT_EQ(Settings::ReadInt(u"windows", u"main.left", 0, -100000, 100000), -20);
  EXPECT_EQ(Settings::ReadString(u"Settings", u"name"), u"图层 one");
  std::vector<uint8_t> back;
  EXPECT_TRUE(Settings::ReadBinary(u"Set", u"Bar0", &back));
  EXPECT_EQ(back, std::vector<uint8_t>(blob, blob + sizeof blob));
  EXPECT_FALSE(Settings::ReadBinary(u"Set", u"Bar9", &back));
  EXPECT_TRUE(back.empty());
  EXPECT_TRUE(Settings::Contains(u"Configure", u"nSpaceWidth"));
  Settings::Remove(u"Configure", u"nSpaceWidth");
  EXPECT_FALSE(Settings::Contains(u"Configure", u"nSpaceWidth"));
  EXPECT_EQ(Settings::ReadString(u"Settings", u"absent", u"dflt"), u"dflt");
}

TEST_F(SettingsFile, IntegersAreClampedWhenRead) {
  // What another program (or a hand edit) may have left in the file.
  {
    std::ofstream f(m_path);
    f << "[Configure]\n"
         "nTabletPressure=5000\n"
         "nMouseTolerance=-7\n"
         "nStartupCreateLayer=abc\n"
         "nSpaceWidth=99999999999\n"
         "nSpaceHeight=640\n";
  }
  Reload();
  const struct {
    const char16_t* key;
    int def, min, max, expected;
  } cases[] = {
      {u"nTabletPressure", 75, 0, 100, 100},
      {u"nMouseTolerance", 1, 0, 16, 0},
      {u"nStartupCreateLayer", 1, 0, 2, 1},        // not a number: the default
      {u"nSpaceWidth", 1000, 1, 10000, 10000},     // beyond 32 bits
      {u"nSpaceHeight", 1000, 1, 10000, 640},
      {u"nFlowerAlphaEnable", 0, 0, 1, 0},         // absent
      {u"nMouseClickInterval", 300, 350, 5000, 350},  // a default outside is clamped too
  };
  for (const auto& c : cases)
    EXPECT_EQ(Settings::ReadInt(u"Configure", c.key, c.def, c.min, c.max), c.expected)
        << plat::ToUtf8(c.key);
}

}  // namespace

// A system object per test, pointed at the test plug-ins, with its log in a fresh folder.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "SRC/GSystem.h"
#include "platform/base/Files.h"
#include "platform/base/Text.h"

inline std::string U8(const std::u16string& s) { return plat::ToUtf8(s); }

// The full text of an error with its trail.
inline std::u16string FullText(GError* e) {
  std::u16string buf(0x8000, u'\0');
  buf.resize(e->CopyText(buf.data(), 0x8000 - 1));
  return buf;
}

// Frees a thrown record nobody holds.
inline void Free(GError* e) {
  e->AddRef();
  e->Release();
}

// A folder under the temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder() {
    std::string templ = plat::ToUtf8(plat::GetTempFolder()) + "tavrik_sys_XXXXXX";
    char* made = mkdtemp(templ.data());
    EXPECT_NE(made, nullptr);
    m_path = templ;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::filesystem::path& Path() const { return m_path; }
  std::u16string U16() const { return plat::FromUtf8(m_path.string()); }

 private:
  std::filesystem::path m_path;
};

class SystemFixture : public ::testing::Test {
 protected:
  void SetUp() override { Start(0); }
  void TearDown() override { End(); }

  void Start(uint32_t threshold) {
    being = GCreateSystem(u"Tavrik", nullptr, threshold, &sys);
    being->AddRef();
    sys->SetModuleFolder(plat::FromUtf8(TEST_SYSTEM_HOME));
    sys->SetLogFolder(logFolder.U16());
  }
  // Destroys the system object (as the program does at exit).
  void End() {
    if (being) being->Release();
    being = nullptr;
    sys = nullptr;
  }
  int Load() { return sys->LoadComponents(u"System/*.so"); }

  TempFolder logFolder;
  OBeing* being = nullptr;
  CSystem* sys = nullptr;
};

// What the fuzz targets share: the check that stops a run, the system object, which creates
// the component classes it was given by name, and the writing of starting seeds.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "odata/GSystem.h"
#include "platform/base/Files.h"

// A broken promise of the code under test: libFuzzer keeps the input that made it.
#define FUZZ_CHECK(cond)       \
  do {                         \
    if (!(cond)) std::abort(); \
  } while (0)

class FuzzSystem final : public GSystem {
 public:
  void Add(const char16_t* name, ComponentFactory factory) { m_classes[name] = factory; }
  OComponent* NewObj(const char16_t* name, OComponent* outer) override {
    auto it = m_classes.find(name);
    if (it == m_classes.end()) GTHROW(u"NO_NEW_OBJECT");
    return it->second(this, outer, nullptr);
  }
  OComponentClass* AddComponent(const GComponentRecord*) override { return nullptr; }
  BOOL DelComponent(const char16_t*) override { return FALSE; }
  int LoadComponents(const char16_t*) override { return 0; }
  void ReportError(GError*) override {}
  void SetMainWindow(HWND) override {}
  HWND GetMainWindow() override { return nullptr; }
  void BeginEnum(const char16_t*) override {}
  BOOL EnumNext(const char16_t**, const char16_t**) override { return FALSE; }
  BOOL EndEnum() override { return TRUE; }

 private:
  std::map<std::u16string, ComponentFactory> m_classes;
};

// Writes folder/name: the steering byte, then the bytes; ends the program on failure.
inline void WriteSeed(const char* folder, const std::string& name, uint8_t mode, const std::vector<uint8_t>& bytes) {
  const std::string path = std::string(folder) + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::exit(1);
  std::fwrite(&mode, 1, 1, f);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  if (std::fclose(f) != 0) std::exit(1);
}

// With `variable` set in the environment, writes the seeds into the folder it names and exits
// (the build makes the starting corpus this way).
inline void WriteSeedsWhenAsked(const char* variable, void (*write)(const char* folder)) {
  if (const char* folder = std::getenv(variable)) {
    write(folder);
    std::exit(0);
  }
}

// A private folder for a target's files in the temporary folder, made once; those of earlier
// runs that ended go first. At exit the files named go and the folder with them.
inline const std::u16string& FuzzFolder(const char16_t* prefix, std::vector<std::u16string> files) {
  static std::u16string folder;
  static std::vector<std::u16string> names;
  if (folder.empty()) {
    plat::RemoveStalePrivateFolders(plat::GetTempFolder(), prefix);
    folder = plat::CreatePrivateFolder(plat::GetTempFolder(), prefix);
    names = std::move(files);
    if (!folder.empty()) std::atexit([] {
      for (const std::u16string& name : names) plat::DeleteFile(folder + name);
      plat::RemoveFolder(folder);
    });
  }
  return folder;
}

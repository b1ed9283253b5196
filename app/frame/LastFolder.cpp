#include "LastFolder.h"

#include "platform/base/Files.h"
#include "platform/gui/Settings.h"

namespace lastfolder {

namespace {
constexpr const char16_t* kSection = u"Settings";
constexpr const char16_t* kKey = u"LastFolder";
}  // namespace

std::u16string Get() {
  const std::u16string folder = gui::Settings::ReadString(kSection, kKey);
  return !folder.empty() && plat::IsFolder(folder) ? folder : u"";
}

void Remember(const std::u16string& chosenPath) {
  if (chosenPath.empty()) return;
  gui::Settings::WriteString(kSection, kKey, plat::AbsolutePath(plat::FolderOf(chosenPath)).c_str());
}

std::u16string StartPath(const std::u16string& proposed) {
  if (proposed.find(u'/') != std::u16string::npos) return proposed;
  const std::u16string folder = Get();
  if (folder.empty() || proposed.empty()) return folder.empty() ? proposed : folder;
  return folder + (folder.back() == u'/' ? u"" : u"/") + proposed;
}

}  // namespace lastfolder

// Reading the package's brush presets where it installs them.
#pragma once
#include <string>

namespace dorvil {

// The folder holding the package's presets; set at build time from the package, changeable
// for tests.
std::string PresetFolder();
void SetPresetFolder(const std::string& folder);

enum class PresetStatus { OK, MISSING, UNREADABLE };

// Reads the preset at folder + "/" + relative into *text and checks that libmypaint accepts
// it; *path gets the full path tried.
PresetStatus ReadPreset(const char* relative, std::string* text, std::string* path);

}  // namespace dorvil

#include "BrushPreset.h"

#include <mypaint-brush.h>

#include <fstream>
#include <mutex>
#include <sstream>

#ifndef DORVIL_PRESET_DIR
#define DORVIL_PRESET_DIR "/usr/share/mypaint-data/1.0/brushes"
#endif

namespace dorvil {
namespace {

std::mutex g_folderLock;
std::string& Folder() {
  static std::string folder = DORVIL_PRESET_DIR;
  return folder;
}

}  // namespace

std::string PresetFolder() {
  std::lock_guard<std::mutex> lock(g_folderLock);
  return Folder();
}

void SetPresetFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_folderLock);
  Folder() = folder;
}

PresetStatus ReadPreset(const char* relative, std::string* text, std::string* path) {
  *path = PresetFolder() + "/" + relative;
  std::ifstream in(*path, std::ios::binary);
  if (!in) return PresetStatus::MISSING;
  std::ostringstream body;
  body << in.rdbuf();
  if (in.bad()) return PresetStatus::UNREADABLE;
  *text = body.str();
  MyPaintBrush* probe = mypaint_brush_new();
  if (!probe) return PresetStatus::UNREADABLE;
  bool ok = mypaint_brush_from_string(probe, text->c_str());
  mypaint_brush_unref(probe);
  if (!ok) text->clear();
  return ok ? PresetStatus::OK : PresetStatus::UNREADABLE;
}

}  // namespace dorvil

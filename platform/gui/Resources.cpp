#include "Resources.h"

#include <map>
#include <mutex>

namespace gui {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<UINT, BitmapMaker> bitmaps;
  std::map<UINT, CursorMaker> cursorMakers;
  std::map<UINT, HCURSOR> cursors;
  std::map<UINT, std::unique_ptr<ToolBarResource>> toolbars;
  std::map<UINT, std::u16string> strings;
};

Registry& Reg() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterBitmapResource(UINT id, BitmapMaker maker) {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  Reg().bitmaps[id] = std::move(maker);
}

void RegisterCursorResource(UINT id, CursorMaker maker) {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  Reg().cursorMakers[id] = std::move(maker);
  Reg().cursors.erase(id);
}

void RegisterToolBarResource(UINT id, ToolBarResource toolbar) {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  Reg().toolbars[id] = std::make_unique<ToolBarResource>(std::move(toolbar));
}

void RegisterStringResource(UINT id, std::u16string text) {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  Reg().strings[id] = std::move(text);
}

std::unique_ptr<ScreenImage> LoadBitmapResource(UINT id) {
  BitmapMaker maker;
  {
    std::lock_guard<std::mutex> lock(Reg().mutex);
    auto it = Reg().bitmaps.find(id);
    if (it == Reg().bitmaps.end()) return nullptr;
    maker = it->second;
  }
  return maker ? maker() : nullptr;
}

HCURSOR LoadCursorResource(UINT id) {
  CursorMaker maker;
  {
    std::lock_guard<std::mutex> lock(Reg().mutex);
    if (auto made = Reg().cursors.find(id); made != Reg().cursors.end()) return made->second;
    auto it = Reg().cursorMakers.find(id);
    if (it == Reg().cursorMakers.end()) return nullptr;
    maker = it->second;
  }
  HCURSOR cursor = maker ? maker() : nullptr;
  std::lock_guard<std::mutex> lock(Reg().mutex);
  if (cursor) Reg().cursors[id] = cursor;
  return cursor;
}

const ToolBarResource* FindToolBarResource(UINT id) {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  auto it = Reg().toolbars.find(id);
  return it == Reg().toolbars.end() ? nullptr : it->second.get();
}

std::u16string LoadStringResource(UINT id) {
  std::lock_guard<std::mutex> lock(Reg().mutex);
  auto it = Reg().strings.find(id);
  return it == Reg().strings.end() ? std::u16string() : it->second;
}

std::u16string StringResourcePart(UINT id, int part) {
  std::u16string text = LoadStringResource(id);
  size_t lf = text.find(u'\n');
  if (lf == std::u16string::npos) return text;
  return part == 0 ? text.substr(0, lf) : text.substr(lf + 1);
}

}  // namespace gui

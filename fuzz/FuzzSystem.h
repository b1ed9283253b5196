// The system object of the fuzz targets: creates the component classes it was given by name.
#pragma once
#include <map>
#include <string>

#include "odata/GSystem.h"

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

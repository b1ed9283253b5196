// A system object for tests and benchmarks of single components: creates the classes it is
// given, keeps reported errors, and counts entry references so leaks show.
#pragma once
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "odata/GSystem.h"

class FakeEntry final : public OComponentClass {
 public:
  explicit FakeEntry(ComponentFactory f) : m_factory(f) {}
  int32_t AddRef() override { return ++m_refs; }
  int32_t Release() override { return --m_refs; }
  const char16_t* GetDescription() override { return u"test"; }
  OComponent* CreateInstance(GSystem* system, OComponent* outer) override {
    ++m_created;
    return m_factory(system, outer, this);
  }
  HMODULE GetModule() override { return nullptr; }
  int32_t Refs() const { return m_refs; }
  // Objects made so far.
  int32_t Created() const { return m_created; }

 private:
  ComponentFactory m_factory;
  std::atomic<int32_t> m_created{0};
  std::atomic<int32_t> m_refs{0};
};

class FakeSystem final : public GSystem {
 public:
  ~FakeSystem() override {
    for (GError* e : m_errors) e->Release();
    for (auto& [name, entry] : m_entries) delete entry;
  }
  void Register(const char16_t* name, ComponentFactory f) { m_entries[name] = new FakeEntry(f); }
  FakeEntry* Entry(const char16_t* name) { return m_entries.at(name); }

  OComponent* NewObj(const char16_t* name, OComponent* outer) override {
    auto it = m_entries.find(name);
    if (it == m_entries.end()) GTHROW(u"NO_NEW_OBJECT");
    return it->second->CreateInstance(this, outer);
  }
  OComponentClass* AddComponent(const GComponentRecord*) override { return nullptr; }
  BOOL DelComponent(const char16_t*) override { return FALSE; }
  int LoadComponents(const char16_t*) override { return 0; }
  void ReportError(GError* e) override {
    if (!e) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    e->AddRef();
    m_errors.push_back(e);
  }
  void SetMainWindow(HWND) override {}
  HWND GetMainWindow() override { return nullptr; }
  void BeginEnum(const char16_t*) override {}
  BOOL EnumNext(const char16_t**, const char16_t**) override { return FALSE; }
  BOOL EndEnum() override { return TRUE; }

  size_t ErrorCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors.size();
  }
  uint32_t ErrorKind(size_t i) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors.at(i)->GetKind();
  }
  std::u16string ErrorText(size_t i) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::u16string buf(0x8000, u'\0');
    buf.resize(m_errors.at(i)->CopyText(buf.data(), 0x8000));
    return buf;
  }

 private:
  std::mutex m_mutex;
  std::map<std::u16string, FakeEntry*> m_entries;
  std::vector<GError*> m_errors;
};

// Readable UTF-16 in test failure messages.
inline std::string U8(const std::u16string& s) { return plat::ToUtf8(s); }

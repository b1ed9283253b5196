// Components: reference-counted objects created by name through the system object, and the
// table a plug-in exports to publish its component classes.
#pragma once
#include <atomic>
#include <cstdint>
#include <new>

#include "platform/base/Text.h"
#include "platform/base/Types.h"
#include "OBeing.h"

struct GSystem;

// The base of every component interface.
struct ODATA_EXPORT OComponent : OBeing {
  // The interface of that name, or null. No reference is added.
  virtual void* GetInterface(const char16_t* name) = 0;
};

// A registry entry of the system object: one component class.
struct ODATA_EXPORT OComponentClass : OBeing {
  virtual const char16_t* GetDescription() = 0;
  virtual OComponent* CreateInstance(GSystem* system, OComponent* outer) = 0;
  // The library the class lives in.
  virtual HMODULE GetModule() = 0;
};

// Makes a new component with count 0, or null when memory runs out.
using ComponentFactory = OComponent* (*)(GSystem* system, OComponent* outer, OComponentClass* entry);

struct GComponentRecord {
  const char16_t* interfaceName;
  const char16_t* implementationName;
  const char16_t* description;
  ComponentFactory factory;
};

// The text of the table's header record; a library whose header differs is refused.
inline constexpr char16_t GCOMPONENT_TABLE_HEADER[] = u" component \n?";
// The one symbol a plug-in exports: a pointer to its table.
inline constexpr char GCOMPONENT_TABLE_SYMBOL[] = "__excomfo";

// Defines a plug-in's exported table pointer.
#define GEXPORT_COMPONENT_TABLE(table)                                                  \
  extern "C" __attribute__((visibility("default"))) const GComponentRecord* __excomfo; \
  const GComponentRecord* __excomfo = (table)

// The inner lifetime object of every component: it holds the registry entry, so the
// library of a class stays loaded while any of its objects lives.
class ODATA_EXPORT XBeing final : public OBeing {
 public:
  int32_t AddRef() override { return ++m_count; }
  int32_t Release() override {
    int32_t n = --m_count;
    if (n == 0) delete m_pSelf;
    return n;
  }

  OComponentClass* m_pEntry = nullptr;
  GSystem* m_pSystem = nullptr;
  std::atomic<int32_t> m_count{0};
  OComponent* m_pOuter = nullptr;
  OComponent* m_pSelf = nullptr;
};

// The common body of component classes: counting (forwarded to an outer object when
// aggregated), GetInterface with the shared names, and the entry reference.
template <class Primary>
class GComponent : public Primary {
 public:
  int32_t AddRef() override {
    return m_xBeing.m_pOuter ? m_xBeing.m_pOuter->AddRef() : m_xBeing.AddRef();
  }
  int32_t Release() override {
    return m_xBeing.m_pOuter ? m_xBeing.m_pOuter->Release() : m_xBeing.Release();
  }
  void* GetInterface(const char16_t* name) override {
    if (!name) return nullptr;
    if (plat::StrCmp(name, u"GSystem") == 0) return m_xBeing.m_pSystem;
    if (plat::StrCmp(name, u"m_xBeing") == 0) return &m_xBeing;
    if (void* own = FindInterface(name)) return own;
    return m_xBeing.m_pOuter ? m_xBeing.m_pOuter->GetInterface(name) : nullptr;
  }

  // Called by the factory: binds the object to its class and runs its initialisation.
  void BindComponent(GSystem* system, OComponent* outer, OComponentClass* entry) {
    m_xBeing.m_pSelf = this;
    m_xBeing.m_pSystem = system;
    m_xBeing.m_pOuter = outer;
    m_xBeing.m_pEntry = entry;
    if (entry) entry->AddRef();
  }
  GSystem* GetSystem() const { return m_xBeing.m_pSystem; }
  OComponentClass* GetEntry() const { return m_xBeing.m_pEntry; }
  // The class's own initialisation, run by the factory after binding.
  virtual void InitInstance() {}

 protected:
  GComponent() = default;
  ~GComponent() override {
    if (m_xBeing.m_pEntry) m_xBeing.m_pEntry->Release();
  }
  // The class's own interface names; null for any other name.
  virtual void* FindInterface(const char16_t* name) = 0;

  XBeing m_xBeing;
};

// The factory of a component class T (derived from GComponent). When the class's
// initialisation throws, the entry reference is dropped, the object freed and the error
// passed on to the caller.
template <class T>
OComponent* GCreateComponent(GSystem* system, OComponent* outer, OComponentClass* entry) {
  T* obj = new (std::nothrow) T();
  if (!obj) return nullptr;
  obj->BindComponent(system, outer, entry);
  try {
    obj->InitInstance();
  } catch (...) {
    delete obj;
    throw;
  }
  return obj;
}

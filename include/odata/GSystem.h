// The system object's interface, as components see it.
#pragma once
#include "platform/base/Types.h"
#include "GError.h"
#include "OComponent.h"

struct ODATA_EXPORT GSystem {
  // Creates a component by implementation name (count 0); throws "NO_NEW_OBJECT" when the
  // name is unknown or the factory fails.
  virtual OComponent* NewObj(const char16_t* implementationName, OComponent* outer) = 0;
  // Registers one class; null when the name is taken.
  virtual OComponentClass* AddComponent(const GComponentRecord* record) = 0;
  // Removes a class by implementation name; 1 when found.
  virtual BOOL DelComponent(const char16_t* implementationName) = 0;
  // Loads the plug-ins of the program folder matching pattern ("System/*.so").
  virtual int LoadComponents(const char16_t* pattern) = 0;
  virtual void ReportError(GError* error) = 0;
  virtual void SetMainWindow(HWND hwnd) = 0;
  virtual HWND GetMainWindow() = 0;
  // Enumeration by interface name, in descending order of implementation name; holds the
  // system lock from BeginEnum to EndEnum.
  virtual void BeginEnum(const char16_t* interfaceName) = 0;
  virtual BOOL EnumNext(const char16_t** implementationName, const char16_t** description) = 0;
  virtual BOOL EndEnum() = 0;
  BOOL Next(const char16_t** implementationName, const char16_t** description) {
    return EnumNext(implementationName, description);
  }
  virtual ~GSystem() = default;
};

// Creates a component by name and returns its interface of that name (count unchanged).
template <class T>
T* GNewObj(GSystem* system, const char16_t* implementationName, const char16_t* interfaceName,
           OComponent* outer = nullptr) {
  OComponent* c = system->NewObj(implementationName, outer);
  return static_cast<T*>(c->GetInterface(interfaceName));
}

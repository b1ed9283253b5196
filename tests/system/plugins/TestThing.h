// The component the test plug-ins offer: it tells which library made it and can fail
// with an error record made inside that library.
#pragma once
#include "odata/GError.h"
#include "odata/OComponent.h"

struct ODATA_EXPORT OTestThing : OComponent {
  virtual int32_t Library() = 0;
  // Throws a failed check from inside the plug-in.
  virtual void Fail() = 0;
};

template <int32_t LibraryId>
class XTestThing : public GComponent<OTestThing> {
 public:
  int32_t Library() override { return LibraryId; }
  void Fail() override {
    try {
      GCHECK(Library() < 0);
    }
    GCATCH(u"XTestThing", u"::Fail()")
  }

 protected:
  void* FindInterface(const char16_t* name) override {
    return plat::StrCmp(name, u"OTestThing") == 0 ? static_cast<OTestThing*>(this) : nullptr;
  }
};

// A class whose initialisation fails.
template <int32_t LibraryId>
class XInitFails final : public XTestThing<LibraryId> {
 public:
  void InitInstance() override { GTHROW(u"!initialised"); }
};

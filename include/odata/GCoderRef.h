// A coder made by name through the system object. The component reference is held, so an
// object that lacks the "OCoder" interface is still released.
#pragma once
#include "GCompRef.h"
#include "GError.h"
#include "GSystem.h"
#include "OCoder.h"

struct GCoderRef {
  GCompRef<OComponent> obj;
  OCoder* coder = nullptr;

  GCoderRef(GSystem* system, const char16_t* name) {
    GVERIFY(system, u"!m_xBeing.m_pSystem");
    obj = system->NewObj(name, nullptr);
    coder = obj ? static_cast<OCoder*>(obj->GetInterface(u"OCoder")) : nullptr;
    GVERIFY(coder, u"!poCoder");
  }
  OCoder* operator->() const { return coder; }
};

// Layers for tests: made through a fake system object the way the display device makes them.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "common/Thrown.h"
#include "Morvane.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

class LayerTest : public ::testing::Test {
 protected:
  LayerTest() { sys.Register(u"Morvane", GCreateComponent<Morvane>); }

  // An empty (myNULL) layer.
  GCompRef<OLayer> NewEmpty() {
    return static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer__"));
  }
  GCompRef<OLayer> NewLayer(int w, int h, int format, UINT id = 1) {
    GCompRef<OLayer> l = NewEmpty();
    l->Initialize(nullptr, w, h, format, id);
    return l;
  }
  static OProperty* Props(OLayer* l) { return static_cast<OProperty*>(l->GetInterface(u"OProperty")); }

  FakeSystem sys;
};


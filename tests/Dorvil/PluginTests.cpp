// The built plug-in: the one exported symbol and its table of six "OBrush" families and the
// paint engine.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "odata/OComponent.h"
#include "platform/base/Text.h"

namespace {

TEST(DorvilPlugin, ExportsATableOfOneBrushComponentPerFamilyAndTheEngine) {
  void* lib = dlopen(DORVIL_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto* table = static_cast<const GComponentRecord* const*>(dlsym(lib, GCOMPONENT_TABLE_SYMBOL));
  ASSERT_NE(table, nullptr);
  const GComponentRecord* r = *table;
  EXPECT_EQ(plat::StrCmp(r[0].description, GCOMPONENT_TABLE_HEADER), 0);
  std::set<std::u16string> brushes, engines;
  size_t n = 1;
  for (; r[n].interfaceName; ++n) {
    EXPECT_NE(r[n].factory, nullptr);
    if (plat::StrCmp(r[n].interfaceName, u"OBrush") == 0) brushes.insert(r[n].implementationName);
    else if (plat::StrCmp(r[n].interfaceName, u"ODorvil") == 0) engines.insert(r[n].implementationName);
    else ADD_FAILURE() << "an unexpected interface";
  }
  EXPECT_EQ(n - 1, 7u);
  EXPECT_EQ(brushes.size(), 6u);
  EXPECT_EQ(engines, std::set<std::u16string>{u"Dorvil"});
  // Nothing else of the library is visible.
  EXPECT_EQ(dlsym(lib, "_ZN11DorvilBrush8ActivateEP12BrushContextP9JobRecord"), nullptr);
  dlclose(lib);
}

}  // namespace

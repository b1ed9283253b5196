// The program: builds the system object, loads the plug-ins beside it and lists the
// component classes they offer.
#include <cstdio>

#include "SRC/GSystem.h"
#include "platform/base/Text.h"

namespace {

std::string Show(const char16_t* text) { return text ? plat::ToUtf8(text) : std::string(); }

}  // namespace

int main() {
  CSystem* system = nullptr;
  OBeing* being = GCreateSystem(u"Tavrik", nullptr, 0, &system);
  being->AddRef();
  g_pSystem = system;

  int rc = 0;
  try {
    int count = g_pSystem->LoadComponents(u"System/*.so");
    std::printf("%d component classes\n", count);
    g_pSystem->ForEachEntry([](const GComponentRecord& record) {
      std::printf("%s\t%s\t%s\n", Show(record.interfaceName).c_str(),
                  Show(record.implementationName).c_str(), Show(record.description).c_str());
    });
  } catch (GErrRecord* e) {
    g_pSystem->ReportError(e);
    rc = 1;
  }

  g_pSystem = nullptr;
  being->Release();
  return rc;
}

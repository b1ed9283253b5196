// Runs the program's tests inside an application object on the offscreen platform, with
// settings in a file of their own so that no test reads or changes the user's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QtGlobal>
#include <string>

#include "platform/base/Files.h"
#include "platform/base/Text.h"
#include "platform/gui/Application.h"
#include "platform/gui/Settings.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  const std::u16string settings =
      plat::GetTempFolder() + u"tavrik_app_tests_" + plat::Widen(std::to_string(::getpid())) + u".ini";
  gui::Settings::UseFile(settings);
  int rc;
  {
    gui::Application app(argc, argv);
    rc = RUN_ALL_TESTS();
  }
  gui::Settings::UseFile(u"");
  plat::DeleteFile(settings);
  return rc;
}

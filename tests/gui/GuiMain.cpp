// Runs the tests inside an application object on the offscreen platform.
#include <gtest/gtest.h>

#include <QtGlobal>

#include "platform/gui/Application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  gui::Application app(argc, argv);
  return RUN_ALL_TESTS();
}

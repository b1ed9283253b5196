// The main of a benchmark of the program's panels: an offscreen Qt application (unless a
// platform is named) with the program's resources, then the registered benchmarks.
#pragma once
#include <benchmark/benchmark.h>

#include <QApplication>

#include "frame/ResourceArt.h"

inline int RunPanelBenchmarks(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  RegisterProgramResources();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

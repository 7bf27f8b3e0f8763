#pragma once

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <functional>

namespace brindlewick {

// Runs the registered benchmarks inside a Qt application object, which the store, the network
// and the repository need (painting needs a QGuiApplication: pass it as `Application`).
// `prepare` runs before any timing starts (e.g. generating inputs).
template <typename Application = QCoreApplication>
int runBenchmarks(int argc, char** argv, const std::function<void()>& prepare = {}) {
  Application application(argc, argv);
  if (prepare)
    prepare();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

} // namespace brindlewick

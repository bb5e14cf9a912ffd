#pragma once

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>

#include "platform/desktop/EventLoopMainQueue.h"
#include "support/XdgSandbox.h"

namespace tallowmere::bench {

// Runs the registered benchmarks in an offscreen application whose main
// queue is its event loop, with the XDG folders in a sandbox.
[[noreturn]] inline void runOffscreenBenchmarks(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    test::XdgSandbox sandbox;
    sandbox.SetUp();
    QApplication application(argc, argv);
    desktop::EventLoopMainQueue::install();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sandbox.TearDown();
    std::_Exit(0);  // the seeded store lives to the end; skip its teardown
}

}  // namespace tallowmere::bench

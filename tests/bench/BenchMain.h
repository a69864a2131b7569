#pragma once
// The main of a benchmark program that runs offscreen on the manual run loop, with its
// settings (and, when asked, its data and cache) in a temporary folder removed at the end,
// so a run neither reads nor writes the user's own.

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <QApplication>
#include <benchmark/benchmark.h>

#include "platform/foundation/RunLoop.h"

namespace qs::bench {

inline int runOffscreen(int argc, char** argv, bool dataAndCacheToo) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char dir[] = "/tmp/quayside-bench-XXXXXX";
    const std::string config = ::mkdtemp(dir) ? dir : "";
    if (!config.empty() && dataAndCacheToo) {
        setenv("XDG_CONFIG_HOME", (config + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (config + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (config + "/cache").c_str(), 1);
    } else if (!config.empty()) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    }
    QApplication app(argc, argv);
    RunLoop::setMain(std::make_shared<ManualRunLoop>());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    if (!config.empty()) std::filesystem::remove_all(config, ec);
    return 0;
}

}  // namespace qs::bench

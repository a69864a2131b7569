// Files dropped on the trash: how long the main thread is held by a drop of 10,000 files
// (the move runs in the background) and how long until every file is in the trash.
// Works on a private XDG_DATA_HOME under /tmp; needs no X server.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "tracking/FinderOperations.h"

namespace {

using namespace qs;
namespace fs = std::filesystem;

void BM_DropTenThousandFilesOnTheTrash(benchmark::State& state) {
    auto loop = std::make_shared<ManualRunLoop>();
    RunLoop::setMain(loop);
    const std::string root = "/tmp/quayside-bench-trash-" + std::to_string(::getpid());
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    const int count = int(state.range(0));
    double held = 0, finished = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(root);
        fs::create_directories(root + "/files");
        std::vector<URLPtr> urls;
        urls.reserve(size_t(count));
        for (int i = 0; i < count; ++i) {
            const std::string path = root + "/files/file " + std::to_string(i) + ".txt";
            std::ofstream(path) << i;
            urls.push_back(URL::fileURLWithPath(path));
        }
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        bool done = false, ok = false;
        FileOperations::moveItemsToTrash(urls, [&](bool result) {
            done = true;
            ok = result;
        });
        const auto returned = std::chrono::steady_clock::now();
        while (!done) {
            loop->waitForBackground();
            loop->runPending();
        }
        const auto end = std::chrono::steady_clock::now();
        held += std::chrono::duration<double, std::milli>(returned - start).count();
        finished += std::chrono::duration<double, std::milli>(end - start).count();
        if (!ok) state.SkipWithError("not every file reached the trash");
    }
    state.counters["main_thread_ms"] = held / double(state.iterations());
    state.counters["all_in_trash_ms"] = finished / double(state.iterations());
    fs::remove_all(root);
}
BENCHMARK(BM_DropTenThousandFilesOnTheTrash)->Arg(10000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

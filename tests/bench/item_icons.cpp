// The icons of 20 dock items (applications whose desktop entries name icons of the
// installed theme) through the item icon cache at 64 pixels: from the first request to
// the last `ready` (with the theme's folders already listed, and with them listed anew),
// the main thread's share of those first requests, and requests answered from the cache.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QGuiApplication>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/FileSystemNode.h"
#include "dock_ui/ItemIconCache.h"
#include "platform/desktop/IconTheme.h"
#include "platform/foundation/RunLoop.h"
#include "platform/sim/SimBackend.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSize = 64;
const char* kIcons[] = {"utilities-terminal", "accessories-text-editor", "help-browser", "system-file-manager",
                        "preferences-system", "applications-games", "audio-x-generic", "video-x-generic",
                        "image-x-generic", "package-x-generic", "x-office-document", "x-office-spreadsheet",
                        "x-office-presentation", "computer", "network-workgroup", "printer",
                        "camera-photo", "folder", "user-trash", "text-x-generic"};

struct Dock {
    qs::sim::SimBackend sim;
    std::shared_ptr<qs::ManualRunLoop> loop = std::make_shared<qs::ManualRunLoop>();
    std::vector<qs::ObjectPtr> items;
    std::string root;

    Dock() {
        qs::RunLoop::setMain(loop);
        sim = qs::sim::installSimBackend(false);
        char pattern[] = "/tmp/quayside-bench-icons-XXXXXX";
        root = ::mkdtemp(pattern);
        for (const char* icon : kIcons) {
            const std::string path = root + "/" + icon + ".desktop";
            std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=" << icon << "\nExec=true\nIcon=" << icon
                                << "\n";
            sim.desktop->setIconless(path);  // the entry's icon, through the theme
            items.push_back(qs::FileSystemNode::initWithPath(path));
        }
    }
    ~Dock() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Asks for every icon; then runs the jobs until every `ready` has come.
    int loadAll(qs::ItemIconCache& cache) {
        int ready = 0;
        for (auto& item : items) cache.iconForItem(item, kSize, nullptr, [&](const QImage&) { ++ready; });
        while (cache.pendingCount() > 0) {
            loop->waitForBackground();
            loop->runPending();
        }
        return ready;
    }
};

Dock& dock() {
    static Dock* d = new Dock;
    return *d;
}

void BM_FirstRequestToReady20Items(benchmark::State& state) {
    auto& d = dock();
    { qs::ItemIconCache warm; d.loadAll(warm); }  // the theme's folders listed once
    for (auto _ : state) {
        qs::ItemIconCache cache;
        if (d.loadAll(cache) != 20) state.SkipWithError("not every icon came");
    }
}
BENCHMARK(BM_FirstRequestToReady20Items)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirstRequestToReady20ItemsListingTheTheme(benchmark::State& state) {
    auto& d = dock();
    for (auto _ : state) {
        qs::desktop::IconTheme::resetShared();
        qs::ItemIconCache cache;
        if (d.loadAll(cache) != 20) state.SkipWithError("not every icon came");
    }
}
BENCHMARK(BM_FirstRequestToReady20ItemsListingTheTheme)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the first requests cost the main thread (the loading itself runs on workers).
void BM_FirstRequestMainThreadShare20Items(benchmark::State& state) {
    auto& d = dock();
    for (auto _ : state) {
        state.PauseTiming();
        auto cache = std::make_unique<qs::ItemIconCache>();
        state.ResumeTiming();
        for (auto& item : d.items) cache->iconForItem(item, kSize, nullptr, [](const QImage&) {});
        state.PauseTiming();
        while (cache->pendingCount() > 0) {
            d.loop->waitForBackground();
            d.loop->runPending();
        }
        cache.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstRequestMainThreadShare20Items)->Unit(benchmark::kMicrosecond);

// Of that share, asking the 20 items for their (deferred) icons.
void BM_ItemIconLookup20Items(benchmark::State& state) {
    auto& d = dock();
    for (auto _ : state)
        for (auto& item : d.items) benchmark::DoNotOptimize(qs::ItemIconCache::iconOfItem(*item));
}
BENCHMARK(BM_ItemIconLookup20Items)->Unit(benchmark::kMicrosecond);

void BM_CachedRequest20Items(benchmark::State& state) {
    auto& d = dock();
    qs::ItemIconCache cache;
    d.loadAll(cache);
    for (auto _ : state) {
        int hits = 0;
        for (auto& item : d.items) hits += !cache.iconForItem(item, kSize, nullptr, nullptr).isNull();
        if (hits != 20) state.SkipWithError("a miss");
    }
    state.counters["cachedKiB"] = double(cache.byteCount()) / 1024.0;
}
BENCHMARK(BM_CachedRequest20Items)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Listing a folder of 10,000 files as a file item's children: a fresh item (every child
// made anew) and a relisting of the same item (earlier children reused).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/FileSystemNode.h"

namespace fs = std::filesystem;

namespace {

const std::string& folderOf10000() {
    static std::string folder = [] {
        char pattern[] = "/tmp/quayside-bench-XXXXXX";
        std::string root = ::mkdtemp(pattern);
        for (int i = 0; i < 10000; ++i) std::ofstream(root + "/file " + std::to_string(i) + ".txt");
        std::ofstream(root + "/.hidden");
        std::atexit([] { std::error_code ec; fs::remove_all(folderOf10000(), ec); });
        return root;
    }();
    return folder;
}

void BM_ListFreshFolderItem(benchmark::State& state) {
    const std::string& folder = folderOf10000();
    for (auto _ : state) {
        auto node = qs::FileSystemNode::initWithPath(folder);
        auto children = node->children();
        if (children.size() != 10000) state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(children);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_ListFreshFolderItem)->Unit(benchmark::kMillisecond);

void BM_RelistFolderItem(benchmark::State& state) {
    auto node = qs::FileSystemNode::initWithPath(folderOf10000());
    (void)node->children();
    for (auto _ : state) {
        node->invalidateChildren();
        auto children = node->children();
        benchmark::DoNotOptimize(children);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_RelistFolderItem)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Archiving and unarchiving the dock model with 10, 100 and 1,000 items (documents, with
// a separator and a group of two files every tenth item, plus the start menu and the
// trash), as the dock manager does on every "saveDocksData" and at start.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <benchmark/benchmark.h>

#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/Separator.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace qs;

// Private XDG folders, the sim desktop and a manual run loop, made once.
struct Environment {
    std::string root;
    Environment() {
        root = (std::filesystem::temp_directory_path() / "quayside-bench-model").string();
        std::filesystem::remove_all(root);
        for (auto sub : {"config", "data", "cache", "docs"}) std::filesystem::create_directories(root + "/" + sub);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
        RunLoop::setMain(std::make_shared<ManualRunLoop>());
        sim::installSimBackend();
        UserDefaults::standardUserDefaults().setBool(true, "DoNotDisplayRunning");
    }
    ~Environment() { std::filesystem::remove_all(root); }
    std::string document(int i) {
        std::string path = root + "/docs/file-" + std::to_string(i) + ".txt";
        if (!std::filesystem::exists(path)) std::ofstream(path) << i;
        return path;
    }
};

Environment& environment() {
    static Environment env;
    return env;
}

std::shared_ptr<DockModel> makeModel(int items) {
    auto& env = environment();
    auto model = DockModel::create();
    for (int i = 0; i < items; ++i) {
        if (i % 10 == 5) {
            model->addSeparatorAffterItem(nullptr);
        } else if (i % 10 == 9) {
            auto group = GroupModel::create();
            group->prcessFiles({URL::fileURLWithPath(env.document(100000 + 2 * i)),
                                URL::fileURLWithPath(env.document(100001 + 2 * i))});
            model->addItem(group, nullptr);
        } else {
            model->addItem(FileSystemNode::initWithPath(env.document(i)));
        }
    }
    return model;
}

void BM_ArchiveModel(benchmark::State& state) {
    auto model = makeModel(int(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        Data data = KeyedArchiver::archivedDataWithRootObject(Value(model));
        bytes = data.size();
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["items"] = double(model->panelContent().size());
    state.counters["bytes"] = double(bytes);
}

void BM_UnarchiveModel(benchmark::State& state) {
    auto model = makeModel(int(state.range(0)));
    Data data = KeyedArchiver::archivedDataWithRootObject(Value(model));
    model.reset();
    size_t items = 0;
    for (auto _ : state) {
        auto back = KeyedUnarchiver::unarchiveObjectWithData(data).objectAs<DockModel>();
        items = back ? back->panelContent().size() : 0;
        benchmark::DoNotOptimize(back.get());
    }
    state.counters["items"] = double(items);
}

BENCHMARK(BM_ArchiveModel)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnarchiveModel)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

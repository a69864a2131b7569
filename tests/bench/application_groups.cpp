// Grouping windows into applications, as each refresh of the window list does: one window
// opening in an application of 50 and of 500 windows (the others already known, so only
// the new one is identified), and a refresh in which nothing changed.
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/desktop/ApplicationGroups.h"

namespace {

using namespace qs::desktop;

WindowOwner owner(WindowNumber number) {
    WindowOwner w;
    w.window = number;
    w.process = qs::desktop::Pid(1000 + number % 50);
    w.wmInstance = "xterm";
    w.wmClass = "XTerm";
    w.applicationId = "";
    return w;
}

ApplicationIdentity identify(const WindowOwner& o) {
    DesktopEntry xterm;
    xterm.id = "debian-xterm";
    xterm.name = "XTerm";
    xterm.startupWMClass = "XTerm";
    return identityOf(o, o.wmClass == "XTerm" ? std::optional<DesktopEntry>(xterm) : std::nullopt, "", -1);
}

void BM_OneWindowOpensInAGroup(benchmark::State& state) {
    const auto count = WindowNumber(state.range(0));
    std::vector<WindowOwner> before;
    for (WindowNumber n = 1; n <= count; ++n) before.push_back(owner(n));
    std::vector<WindowOwner> after = before;
    after.insert(after.begin(), owner(count + 1));
    for (auto _ : state) {
        state.PauseTiming();
        ApplicationGroups groups(identify);
        groups.update(before);
        state.ResumeTiming();
        benchmark::DoNotOptimize(groups.update(after));
    }
}
BENCHMARK(BM_OneWindowOpensInAGroup)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

void BM_RefreshWithNothingChanged(benchmark::State& state) {
    std::vector<WindowOwner> windows;
    for (WindowNumber n = 1; n <= WindowNumber(state.range(0)); ++n) windows.push_back(owner(n));
    ApplicationGroups groups(identify);
    groups.update(windows);
    for (auto _ : state) benchmark::DoNotOptimize(groups.update(windows));
}
BENCHMARK(BM_RefreshWithNothingChanged)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

#include "platform/foundation/Log.h"

#include <cstdio>
#include <mutex>
#include <unordered_set>

namespace qs {

namespace {

// Never destroyed: destructors of other statics may still log at exit. The mutex is
// recursive so that a sink which itself logs does not deadlock.
struct LogState {
    std::recursive_mutex mutex;
    std::function<void(const std::string&)> sink;
};

LogState& state() {
    static LogState* s = new LogState;
    return *s;
}

}  // namespace

void logLine(const std::string& line) {
    LogState& s = state();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    std::fprintf(stderr, "quayside: %s\n", line.c_str());
    if (s.sink) {
        // A sink that logs must not call itself again endlessly.
        static thread_local bool inSink = false;
        if (inSink) return;
        struct Reset {
            ~Reset() { inSink = false; }
        } reset;
        inSink = true;
        s.sink(line);
    }
}

namespace {
struct OnceState {
    std::mutex mutex;
    std::unordered_set<std::string> written;
};

OnceState& onceState() {
    static OnceState* s = new OnceState;
    return *s;
}
}  // namespace

void logOnce(const std::string& line) {
    OnceState& s = onceState();
    {
        std::lock_guard lock(s.mutex);
        if (s.written.size() >= 4096) s.written.clear();
        if (!s.written.insert(line).second) return;
    }
    logLine(line);
}

void resetLogOnceForTesting() {
    OnceState& s = onceState();
    std::lock_guard lock(s.mutex);
    s.written.clear();
}

void setLogSink(std::function<void(const std::string&)> sink) {
    LogState& s = state();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    s.sink = std::move(sink);
}

}  // namespace qs

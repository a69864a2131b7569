#include "platform/foundation/Log.h"

#include <cstdio>
#include <mutex>

namespace qs {

namespace {
std::mutex& logMutex() {
    static std::mutex m;
    return m;
}
std::function<void(const std::string&)>& sink() {
    static std::function<void(const std::string&)> s;
    return s;
}
}  // namespace

void logLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(logMutex());
    std::fprintf(stderr, "quayside: %s\n", line.c_str());
    if (sink()) sink()(line);
}

void setLogSink(std::function<void(const std::string&)> s) {
    std::lock_guard<std::mutex> lock(logMutex());
    sink() = std::move(s);
}

}  // namespace qs

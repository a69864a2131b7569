#include "platform/desktop/CrashReporting.h"

namespace qs {

namespace {
struct State {
    bool started = false;
    std::string secret;
    std::vector<std::string> services;
    int logLevel = 0;
    std::weak_ptr<MSCrashesDelegate> delegate;
};
State& state() {
    static State s;
    return s;
}
}  // namespace

void MSAppCenter::start(const std::string& appSecret, const std::vector<std::string>& services) {
    state().started = true;
    state().secret = appSecret;
    state().services = services;
}

void MSAppCenter::setLogLevel(int level) { state().logLevel = level; }
bool MSAppCenter::isStarted() { return state().started; }
const std::string& MSAppCenter::appSecret() { return state().secret; }
const std::vector<std::string>& MSAppCenter::services() { return state().services; }
int MSAppCenter::logLevel() { return state().logLevel; }
void MSAppCenter::resetForTesting() { state() = State(); }

void MSCrashes::setDelegate(std::weak_ptr<MSCrashesDelegate> delegate) { state().delegate = std::move(delegate); }
std::shared_ptr<MSCrashesDelegate> MSCrashes::delegate() { return state().delegate.lock(); }

}  // namespace qs

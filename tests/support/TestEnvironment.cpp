#include "support/TestEnvironment.h"

#include <cstdlib>
#include <filesystem>

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

namespace qs::test {

TestEnvironment::TestEnvironment() {
    std::string templ = (std::filesystem::temp_directory_path() / "quayside-test-XXXXXX").string();
    char* made = mkdtemp(templ.data());
    root_ = made ? made : templ;
    std::filesystem::create_directories(configHome());
    std::filesystem::create_directories(dataHome());
    std::filesystem::create_directories(cacheHome());
    setenv("XDG_CONFIG_HOME", configHome().c_str(), 1);
    setenv("XDG_DATA_HOME", dataHome().c_str(), 1);
    setenv("XDG_CACHE_HOME", cacheHome().c_str(), 1);
    loop_ = std::make_shared<ManualRunLoop>();
    RunLoop::setMain(loop_);
    UserDefaults::resetForTesting();
    setLogSink([this](const std::string& line) { logs_.push_back(line); });
}

TestEnvironment::~TestEnvironment() {
    setLogSink(nullptr);
    UserDefaults::resetForTesting();
    RunLoop::setMain(std::make_shared<ManualRunLoop>());
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

bool TestEnvironment::logged(const std::string& fragment) const {
    for (const auto& l : logs_)
        if (l.find(fragment) != std::string::npos) return true;
    return false;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

}  // namespace qs::test

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qs::test {

void dropRootForChild(const std::string& root) {
    if (geteuid() != 0) return;
    std::error_code ec;
    ::chmod(root.c_str(), 0777);
    for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0777);
    constexpr gid_t kNobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) std::_Exit(90);
}

}  // namespace qs::test

namespace qs::test {

void limitChildMemory(size_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
    (void)bytes;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    (void)bytes;
#else
    rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_AS, &limit);
#endif
#else
    rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_AS, &limit);
#endif
}

}  // namespace qs::test

#pragma once
// Per-test isolation: a private XDG_CONFIG_HOME / XDG_DATA_HOME / XDG_CACHE_HOME,
// a fresh ManualRunLoop installed as the main run loop, and captured log lines.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/RunLoop.h"

namespace qs::test {

class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();

    const std::string& root() const { return root_; }
    std::string configHome() const { return root_ + "/config"; }
    std::string dataHome() const { return root_ + "/data"; }
    std::string cacheHome() const { return root_ + "/cache"; }
    ManualRunLoop& loop() { return *loop_; }
    const std::vector<std::string>& logLines() const { return logs_; }
    bool logged(const std::string& fragment) const;

private:
    std::string root_;
    std::shared_ptr<ManualRunLoop> loop_;
    std::vector<std::string> logs_;
};

// An environment variable set for a scope, then put back as it was.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// A gtest fixture holding a TestEnvironment.
class IsolatedTest : public ::testing::Test {
protected:
    TestEnvironment env;
};

}  // namespace qs::test

namespace qs::test {

// For a child process (a death test): when running as root, opens the folders below
// `root` to everyone and becomes the unprivileged user "nobody", so that file permissions
// apply as they do to a user. Does nothing otherwise.
void dropRootForChild(const std::string& root);
// For a child process: an address-space limit, so that a reader without a bound fails
// with an allocation error instead of taking the machine's memory. Nothing under
// AddressSanitizer, which reserves its shadow memory as address space.
void limitChildMemory(size_t bytes);

}  // namespace qs::test

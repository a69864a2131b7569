// Permission checks: the order of the questions, the prompts, full disk access read
// from the real home and trash folders, and the requests.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/FileServices.h"
#include "tracking/AccessHelper.h"
#include "tracking/TrackingFixture.h"

namespace qs::test {
namespace {

namespace fs = std::filesystem;

class AccessHelperTest : public TrackingTest {
protected:
    void SetUp() override {
        TrackingTest::SetUp();
        perms = backend.permissions;
        const char* home = std::getenv("HOME");
        savedHome = home ? home : "";
        fs::create_directories(homeDir());
        setenv("HOME", homeDir().c_str(), 1);
    }
    void TearDown() override { setenv("HOME", savedHome.c_str(), 1); }
    std::string homeDir() const { return env.root() + "/home"; }

    std::shared_ptr<sim::SimPermissions> perms;
    std::string savedHome;
};

TEST_F(AccessHelperTest, AllAccessAsksInOrderAndStopsAtTheFirstNo) {
    EXPECT_TRUE(AccessHelper::allAccessGranted());
    EXPECT_EQ(perms->screenRecordingQueries(), 1);
    EXPECT_EQ(perms->trustQueries(), 1);
    EXPECT_EQ(perms->fullDiskAccessQueries(), 1);

    perms->setScreenRecordingGranted(false);
    EXPECT_FALSE(AccessHelper::allAccessGranted());
    EXPECT_EQ(perms->trustQueries(), 1);  // not asked
    EXPECT_EQ(perms->fullDiskAccessQueries(), 1);

    perms->setScreenRecordingGranted(true);
    perms->setTrusted(false);
    EXPECT_FALSE(AccessHelper::allAccessGranted());
    EXPECT_EQ(perms->trustQueries(), 2);
    EXPECT_EQ(perms->fullDiskAccessQueries(), 1);  // not asked

    perms->setTrusted(true);
    perms->forceFullDiskAccessStatus(desktop::PermissionStatusDenied);
    EXPECT_FALSE(AccessHelper::allAccessGranted());
    for (int status : {0, 1, 3}) {
        perms->forceFullDiskAccessStatus(status);
        EXPECT_FALSE(AccessHelper::fullDiskAccessGranted()) << status;
    }
    perms->forceFullDiskAccessStatus(2);
    EXPECT_TRUE(AccessHelper::fullDiskAccessGranted());
    EXPECT_EQ(perms->prompts(), 0);  // checking never asks the user
}

TEST_F(AccessHelperTest, OnlyTheOpenCallsPromptAndRequestsCompleteOnTheMainLoop) {
    EXPECT_TRUE(AccessHelper::accessibilityEnabled());
    EXPECT_TRUE(AccessHelper::accessibilityGranted());
    EXPECT_EQ(perms->prompts(), 0);
    AccessHelper::openAccessibility();
    AccessHelper::requestAccessibilityAccess();
    EXPECT_EQ(perms->prompts(), 2);

    AccessHelper::requestScreenRecordingAccess();
    EXPECT_EQ(perms->screenRecordingRequests(), 1);

    AccessHelper::openFullDiskAccess();
    EXPECT_EQ(perms->fullDiskAccessRequests(), 1);
    EXPECT_EQ(perms->fullDiskAccessCompletions(), 0);
    run();
    EXPECT_EQ(perms->fullDiskAccessCompletions(), 1);
}

TEST_F(AccessHelperTest, WithoutAPermissionServiceNothingIsGranted) {
    desktop::services().permissions.reset();
    EXPECT_FALSE(AccessHelper::allAccessGranted());
    EXPECT_FALSE(AccessHelper::accessibilityEnabled());
    EXPECT_FALSE(AccessHelper::recordScreenGranted());
    EXPECT_FALSE(AccessHelper::fullDiskAccessGranted());
    AccessHelper::openAccessibility();
    AccessHelper::openFullDiskAccess();
    AccessHelper::requestScreenRecordingAccess();
}

TEST_F(AccessHelperTest, FullDiskAccessFollowsTheTrashAndHomeFolders) {
    const std::string trash = desktop::files::trashDirectory();
    EXPECT_FALSE(fs::exists(trash));
    EXPECT_TRUE(AccessHelper::fullDiskAccessGranted());  // not made yet, but it can be

    fs::create_directories(trash + "/files");
    fs::create_directories(trash + "/info");
    EXPECT_TRUE(AccessHelper::fullDiskAccessGranted());

    // A trash that is no folder cannot take anything.
    fs::remove_all(trash + "/files");
    std::ofstream(trash + "/files") << "not a folder";
    EXPECT_FALSE(AccessHelper::fullDiskAccessGranted());
    fs::remove(trash + "/files");
    fs::remove_all(trash);
    std::ofstream(trash) << "not a folder";
    EXPECT_FALSE(AccessHelper::fullDiskAccessGranted());
    fs::remove(trash);
    fs::create_directories(trash);

    setenv("HOME", (env.root() + "/no-such-home").c_str(), 1);
    EXPECT_FALSE(AccessHelper::fullDiskAccessGranted());
    setenv("HOME", homeDir().c_str(), 1);
    EXPECT_TRUE(AccessHelper::fullDiskAccessGranted());
}

// Permission bits: an unwritable trash or home. The super-user passes every permission
// check, so as root the checks run in a child process that has become "nobody".
TEST_F(AccessHelperTest, AnUnwritableTrashOrHomeDeniesFullDiskAccess) {
    const std::string trash = desktop::files::trashDirectory();
    fs::create_directories(trash);
    auto checks = [&]() -> int {
        int failures = 0;
        if (!AccessHelper::fullDiskAccessGranted()) failures |= 1;
        ::chmod(trash.c_str(), 0500);
        if (AccessHelper::fullDiskAccessGranted()) failures |= 2;
        ::chmod(trash.c_str(), 0300);  // writable but unreadable
        if (AccessHelper::fullDiskAccessGranted()) failures |= 4;
        ::chmod(trash.c_str(), 0700);
        ::chmod(homeDir().c_str(), 0500);
        if (AccessHelper::fullDiskAccessGranted()) failures |= 8;
        ::chmod(homeDir().c_str(), 0700);
        if (!AccessHelper::fullDiskAccessGranted()) failures |= 16;
        return failures;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(checks(), 0);
        return;
    }
    const uid_t nobody = 65534;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (const std::string& p : {env.root(), env.dataHome(), trash, homeDir()})
            if (::chown(p.c_str(), nobody, nobody) != 0) ::_exit(100);
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(101);
        ::_exit(checks());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed checks (bits): " << WEXITSTATUS(status);
}

}  // namespace
}  // namespace qs::test

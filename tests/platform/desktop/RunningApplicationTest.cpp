#include <gtest/gtest.h>

#include "platform/desktop/Workspace.h"

namespace qs {
namespace {

RunningApplication make(desktop::Pid pid, uint64_t startTime) {
    RunningApplication::Info info;
    info.pid = pid;
    info.startTime = startTime;
    return RunningApplication(info);
}

TEST(RunningApplicationTest, OneProcessIsEqualToItselfAndNotToALaterOneWithItsIdentifier) {
    auto first = make(100, 5000), same = make(100, 5000), reused = make(100, 9000), other = make(101, 5000);
    EXPECT_TRUE(first.isEqual(&same));
    EXPECT_FALSE(first.isEqual(&reused));
    EXPECT_FALSE(first.isEqual(&other));
    EXPECT_EQ(first.hash(), reused.hash());  // equal objects hash alike; the hash is the identifier
    // A start time that is not known matches any.
    auto unknown = make(100, 0);
    EXPECT_TRUE(unknown.isEqual(&first));
    EXPECT_TRUE(reused.isEqual(&unknown));
}

}  // namespace
}  // namespace qs

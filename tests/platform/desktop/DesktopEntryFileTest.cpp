// Reading desktop entries and other key files from folders anyone can write to: a FIFO
// named like an entry blocked the reader (and with it the start), /dev/zero behind a
// link filled the memory.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/desktop/DesktopEntryFile.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

namespace fs = std::filesystem;

class DesktopEntryFileTest : public test::IsolatedTest {
protected:
    std::string apps() const { return env.dataHome() + "/applications"; }
};

TEST_F(DesktopEntryFileTest, FifosDevicesAndHugeFilesAreNotReadAsEntries) {
    fs::create_directories(apps());
    ASSERT_EQ(mkfifo((apps() + "/trap.desktop").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", apps() + "/zero.desktop");
    {
        std::ofstream huge(apps() + "/huge.desktop");
        huge << "[Desktop Entry]\nType=Application\nName=Huge\n";
    }
    fs::resize_file(apps() + "/huge.desktop", (size_t(8) << 20) + 1);
    EXPECT_EXIT(
        {
            alarm(10);
            test::limitChildMemory(size_t(4) << 30);
            for (const char* name : {"trap.desktop", "zero.desktop", "huge.desktop"}) {
                const std::string path = env.dataHome() + "/applications/" + name;
                if (desktop::readKeyFileGroup(path, "Desktop Entry") || desktop::readDesktopEntryFile(path))
                    std::exit(2);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    // An ordinary entry beside them still reads.
    std::ofstream(apps() + "/fine.desktop") << "[Desktop Entry]\nType=Application\nName=Fine\nExec=true\n";
    auto entry = desktop::readDesktopEntryFile(apps() + "/fine.desktop");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Fine");
}

}  // namespace
}  // namespace qs

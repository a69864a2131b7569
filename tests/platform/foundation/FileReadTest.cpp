#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/foundation/FileRead.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

namespace fs = std::filesystem;
using FileRead::Status;

class FileReadTest : public test::IsolatedTest {
protected:
    std::string path(const std::string& name) const { return env.root() + "/" + name; }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
};

TEST_F(FileReadTest, RegularFilesUpToTheBoundAreRead) {
    write("ten", "0123456789");
    auto r = FileRead::readFile(path("ten"), 10);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.text(), "0123456789");
    // Through a link too.
    fs::create_symlink(path("ten"), path("link"));
    EXPECT_EQ(FileRead::readFile(path("link"), 10).text(), "0123456789");

    auto over = FileRead::readFile(path("ten"), 9);
    EXPECT_EQ(over.status, Status::TooLarge);
    EXPECT_TRUE(over.bytes.empty());
    EXPECT_NE(over.error.find("9"), std::string::npos) << over.error;
    EXPECT_TRUE(env.logged("too large"));

    EXPECT_EQ(FileRead::readFile(path("absent"), 10).status, Status::Missing);
    fs::create_symlink(path("absent"), path("dangling"));
    EXPECT_EQ(FileRead::readFile(path("dangling"), 10).status, Status::Missing);
}

TEST_F(FileReadTest, FoldersFifosAndDevicesAreRefusedWithoutBlocking) {
    fs::create_directories(path("folder"));
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_symlink(path("fifo"), path("fifo-link"));
    fs::create_symlink("/dev/zero", path("zero-link"));
    // In a child with an alarm: a reader that blocks on the FIFO or reads /dev/zero
    // without end fails this test instead of hanging it.
    EXPECT_EXIT(
        {
            alarm(10);
            for (const char* name : {"folder", "fifo", "fifo-link", "zero-link"}) {
                auto r = FileRead::readFile(env.root() + "/" + name, size_t(1) << 40);
                if (r.status != Status::NotRegular || !r.bytes.empty()) std::exit(2);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    auto r = FileRead::readFile(path("folder"), 100);
    EXPECT_EQ(r.status, Status::NotRegular);
    EXPECT_NE(r.error.find("a folder"), std::string::npos) << r.error;
    // Told once per file and kind, however often it is tried.
    FileRead::readFile(path("folder"), 100);
    size_t lines = 0;
    for (const auto& l : env.logLines()) lines += l.find(path("folder")) != std::string::npos;
    EXPECT_EQ(lines, 1u);
}

}  // namespace
}  // namespace qs

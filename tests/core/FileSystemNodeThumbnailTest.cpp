// File item icons from the freedesktop thumbnail cache, and last-used dates from the
// recently-used list, on a private XDG_CACHE_HOME / XDG_DATA_HOME.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <QCryptographicHash>
#include <QImage>
#include <filesystem>
#include <fstream>

#include "core/CustomIconsHelper.h"
#include "core/FileSystemNode.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

class FileSystemNodeThumbnailTest : public IsolatedTest {
protected:
    void SetUp() override {
        CustomIconsHelper::resetSharedInstanceForTesting();
        backend = sim::installSimBackend(false);
        UserDefaults::standardUserDefaults().setBool(true, "ShowThumbnails");
    }
    void TearDown() override { CustomIconsHelper::resetSharedInstanceForTesting(); }
    std::string makePicture(const std::string& name, QColor colour, int w = 400, int h = 300) {
        std::string path = env.root() + "/" + name;
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(colour);
        image.save(QString::fromStdString(path), "PNG");
        return path;
    }
    // A cache entry as a thumbnailer writes it: large/md5(uri).png with Thumb::URI and
    // Thumb::MTime.
    void cacheThumbnail(const std::string& path, QColor colour, long long mtime) {
        std::string uri = desktop::files::fileURI(path);
        auto md5 = QCryptographicHash::hash(QByteArray::fromStdString(uri), QCryptographicHash::Md5).toHex();
        std::string folder = env.cacheHome() + "/thumbnails/large";
        fs::create_directories(folder);
        QImage thumb(256, 192, QImage::Format_RGB32);
        thumb.fill(colour);
        // Keys go in as tEXt chunks of their own (the writer's description text would
        // split "Thumb::MTime" at its colon).
        thumb.setText("Thumb::URI", QString::fromStdString(uri));
        thumb.setText("Thumb::MTime", QString::number(mtime));
        ASSERT_TRUE(thumb.save(QString::fromStdString(folder + "/") + QString::fromLatin1(md5) + ".png", "PNG"));
    }
    static long long mtimeOf(const std::string& path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? (long long)st.st_mtime : -1;
    }
    static QColor centre(const ImagePtr& image) {
        return image->qimage().pixelColor(image->qimage().width() / 2, image->qimage().height() / 2);
    }
    sim::SimBackend backend;
};

TEST_F(FileSystemNodeThumbnailTest, ACachedThumbnailOfTheCurrentVersionIsUsed) {
    std::string path = makePicture("photo one.png", Qt::red);
    cacheThumbnail(path, Qt::blue, mtimeOf(path));
    auto icon = FileSystemNode::initWithPath(path)->icon();
    ASSERT_TRUE(icon);
    EXPECT_EQ(centre(icon), QColor(Qt::blue));
    EXPECT_LE(std::max(icon->size().width, icon->size().height), 200.0);
}

TEST_F(FileSystemNodeThumbnailTest, AStaleThumbnailGivesWayToThePictureItself) {
    std::string path = makePicture("photo.png", Qt::red);
    cacheThumbnail(path, Qt::blue, mtimeOf(path) - 100);
    auto icon = FileSystemNode::initWithPath(path)->icon();
    ASSERT_TRUE(icon);
    EXPECT_EQ(centre(icon), QColor(Qt::red));
    EXPECT_EQ(icon->size().width, 200.0) << "scaled to fit 200 x 200";
}

TEST_F(FileSystemNodeThumbnailTest, FilesWithoutThumbnailsAndCustomIcons) {
    std::string text = env.root() + "/notes.txt";
    std::ofstream(text) << "x";
    std::string broken = env.root() + "/broken.png";
    std::ofstream(broken) << "not a picture";
    auto workspaceIcon = backend.desktop->iconForFile(text);
    EXPECT_EQ(centre(FileSystemNode::initWithPath(text)->icon()), centre(workspaceIcon));
    EXPECT_TRUE(FileSystemNode::initWithPath(broken)->icon()) << "an undecodable picture falls back";

    std::string path = makePicture("mine.png", Qt::red);
    auto node = FileSystemNode::initWithPath(path);
    QImage custom(16, 16, QImage::Format_RGB32);
    custom.fill(Qt::green);
    node->setCustomIcon(std::make_shared<Image>(custom));
    EXPECT_EQ(centre(FileSystemNode::initWithPath(path)->icon()), QColor(Qt::green))
        << "a custom icon wins over the thumbnail, for any item of the URL";
}

TEST_F(FileSystemNodeThumbnailTest, LastOpenedComesFromTheRecentlyUsedListElseTheAccessTime) {
    std::string used = env.root() + "/used file.txt", other = env.root() + "/other.txt";
    std::ofstream(used) << "u";
    std::ofstream(other) << "o";
    struct utimbuf times {1000000000, 1000000000};
    ::utime(other.c_str(), &times);
    fs::create_directories(env.dataHome());
    std::ofstream(env.dataHome() + "/recently-used.xbel")
        << "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n"
        << "<bookmark href=\"" << desktop::files::fileURI(used)
        << "\" added=\"2020-01-01T00:00:00Z\" modified=\"2020-01-02T00:00:00Z\" visited=\"2021-06-01T12:00:00Z\"/>\n"
        << "</xbel>\n";
    auto last = FileSystemNode::initWithPath(used)->lastOpened();
    ASSERT_TRUE(last);
    EXPECT_DOUBLE_EQ(last->timeIntervalSince1970, 1622548800.0);
    auto fallback = FileSystemNode::initWithPath(other)->lastOpened();
    ASSERT_TRUE(fallback);
    EXPECT_DOUBLE_EQ(fallback->timeIntervalSince1970, 1000000000.0);
    EXPECT_FALSE(FileSystemNode::initWithPath(env.root() + "/missing")->lastOpened());

    // A list cut off in the middle keeps what came before the fault.
    std::ofstream(env.dataHome() + "/recently-used.xbel", std::ios::trunc)
        << "<xbel><bookmark href=\"" << desktop::files::fileURI(used)
        << "\" visited=\"2022-01-01T00:00:00Z\"/><bookmark href=";
    auto cut = FileSystemNode::initWithPath(used)->lastOpened();
    ASSERT_TRUE(cut);
    EXPECT_DOUBLE_EQ(cut->timeIntervalSince1970, 1640995200.0);
    EXPECT_TRUE(env.logged("recently-used"));
}

}  // namespace
}  // namespace qs::test

#include <gtest/gtest.h>

#include <QImage>
#include <fstream>
#include <unistd.h>

#include "platform/foundation/Image.h"
#include "platform/foundation/URL.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

class UrlTest : public test::IsolatedTest {};

TEST_F(UrlTest, FileURLsEncodeAndDecodeTheirPath) {
    for (const std::string path : {"/tmp/a b/c%d#e?f", "/home/zoë/日本/x+y=z;w@v", "/", "/a/[b]/\"q\"/\\"}) {
        auto url = URL::fileURLWithPath(path);
        EXPECT_EQ(url->path(), path) << url->absoluteString();
        EXPECT_TRUE(url->isFileURL());
        EXPECT_EQ(url->absoluteString().find_first_of(" #?\"[]\\"), std::string::npos) << url->absoluteString();
    }
    EXPECT_EQ(URL::fileURLWithPath("/tmp/a b")->absoluteString(), "file:///tmp/a%20b");
    EXPECT_EQ(URL::fileURLWithPath("/opt/app", true)->absoluteString(), "file:///opt/app/");
    EXPECT_EQ(URL::fileURLWithPath("/opt/app/", true)->path(), "/opt/app");
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    EXPECT_EQ(URL::fileURLWithPath("rel/x")->path(), std::string(cwd) + "/rel/x");
    EXPECT_EQ(URL::fileURLWithPath("")->path(), std::string(cwd) == "/" ? "/" : std::string(cwd));
}

TEST_F(UrlTest, URLWithStringNeedsASchemeAndValidCharacters) {
    EXPECT_FALSE(URL::URLWithString(""));
    EXPECT_FALSE(URL::URLWithString("/usr/share/applications"));
    EXPECT_FALSE(URL::URLWithString(":nothing"));
    EXPECT_FALSE(URL::URLWithString("1http://x"));
    EXPECT_FALSE(URL::URLWithString("http://a b"));
    EXPECT_FALSE(URL::URLWithString("http://x/%zz"));
    EXPECT_FALSE(URL::URLWithString("http://x/%4"));
    auto feed = URL::URLWithString("HTTPS://example.org/feed.xml?x=1#top");
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->scheme(), "HTTPS");
    EXPECT_FALSE(feed->isFileURL());
    EXPECT_EQ(feed->path(), "");
    EXPECT_EQ(feed->lastPathComponent(), "feed.xml");
    EXPECT_EQ(feed->pathExtension(), "xml");
    EXPECT_TRUE(URL::URLWithString("FILE:///x")->isFileURL());
}

TEST_F(UrlTest, ComponentsAndEquality) {
    EXPECT_EQ(URL::fileURLWithPath("/a/b.tar.gz")->pathExtension(), "gz");
    EXPECT_EQ(URL::fileURLWithPath("/a/.bashrc")->pathExtension(), "");
    EXPECT_EQ(URL::fileURLWithPath("/a/name.")->pathExtension(), "");
    EXPECT_EQ(URL::fileURLWithPath("/a/Dir.app", true)->lastPathComponent(), "Dir.app");
    EXPECT_EQ(URL::fileURLWithPath("/")->lastPathComponent(), "/");
    auto a = URL::fileURLWithPath("/x y"), b = URL::URLWithString("file:///x%20y");
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(URL::fileURLWithPath("/x y", true).get()));
    EXPECT_EQ(Value(a), Value(b));
}

TEST_F(UrlTest, RelativeReferencesResolveAgainstTheBase) {
    auto base = URL::URLWithString("http://a/b/c/d;p?q");
    ASSERT_TRUE(base);
    auto resolve = [&](const std::string& r) {
        auto u = URL::URLWithStringRelativeToURL(r, *base);
        return u ? u->absoluteString() : std::string("<nil>");
    };
    EXPECT_EQ(resolve("g"), "http://a/b/c/g");
    EXPECT_EQ(resolve("./g/"), "http://a/b/c/g/");
    EXPECT_EQ(resolve("../g"), "http://a/b/g");
    EXPECT_EQ(resolve("../../../../g"), "http://a/g");
    EXPECT_EQ(resolve("/./g"), "http://a/g");
    EXPECT_EQ(resolve("//g"), "http://g");
    EXPECT_EQ(resolve("?y"), "http://a/b/c/d;p?y");
    EXPECT_EQ(resolve("#s"), "http://a/b/c/d;p?q#s");
    EXPECT_EQ(resolve(""), "http://a/b/c/d;p?q");
    EXPECT_EQ(resolve(".."), "http://a/b/");
    EXPECT_EQ(resolve("ftp://other/x"), "ftp://other/x");
    EXPECT_EQ(resolve("a b"), "<nil>");
}

class ImageTest : public test::IsolatedTest {};

TEST_F(ImageTest, PNGRoundTripAndBadData) {
    QImage picture(5, 4, QImage::Format_ARGB32);
    picture.fill(qRgba(1, 2, 3, 4));
    picture.setPixel(4, 3, qRgba(200, 100, 50, 255));
    Data png = Image(picture).PNGRepresentation();
    auto back = Image::imageWithPNGData(png);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), (Size{5, 4}));
    EXPECT_EQ(back->qimage().convertToFormat(QImage::Format_ARGB32), picture);
    EXPECT_FALSE(Image::imageWithPNGData({}));
    EXPECT_FALSE(Image::imageWithPNGData(Data{'n', 'o', 'p', 'e'}));
    png.resize(png.size() / 3);
    (void)Image::imageWithPNGData(png);  // a truncated stream must not bring the program down
    EXPECT_TRUE(Image(QImage()).PNGRepresentation().empty());
}

TEST_F(ImageTest, FilesThatAreMissingOrBroken) {
    EXPECT_FALSE(Image::imageWithContentsOfFile(env.root() + "/missing.png"));
    EXPECT_TRUE(env.logLines().empty());  // a miss is ordinary
    std::string broken = env.root() + "/broken.png";
    std::ofstream(broken) << "not an image";
    EXPECT_FALSE(Image::imageWithContentsOfFile(broken));
    EXPECT_TRUE(env.logged("broken.png"));
    std::string good = env.root() + "/good.png";
    QImage(2, 2, QImage::Format_RGB32).save(QString::fromStdString(good));
    auto image = Image::imageWithContentsOfFile(good);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{2, 2}));
}

}  // namespace
}  // namespace qs

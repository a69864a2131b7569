// The item icon cache: answers from the cache or from one background job per item and
// size, handed back on the main thread to live contexts only; invalidation by the items'
// "icon" changes; broken icons replaced by the generic icon of their kind with one log
// line per source; icons found through a private icon theme.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QObject>
#include <algorithm>
#include <filesystem>

#include "core/CustomIconsHelper.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/RunningApplicationPersistent.h"
#include "core/Separator.h"
#include "dock_ui/IconTestSupport.h"
#include "dock_ui/ItemIconCache.h"
#include "platform/desktop/IconSources.h"
#include "platform/foundation/Log.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

ImagePtr solid(QColor colour, int side = 64) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    return std::make_shared<Image>(image);
}

QColor centre(const QImage& image) { return image.pixelColor(image.width() / 2, image.height() / 2); }

class ItemIconCacheTest : public IsolatedTest {
protected:
    ItemIconCacheTest() {
        CustomIconsHelper::resetSharedInstanceForTesting();
        resetLogOnceForTesting();
        sim = sim::installSimBackend(false);
        share = installTestIconTheme(env.root(), env.configHome());
    }
    ~ItemIconCacheTest() override { CustomIconsHelper::resetSharedInstanceForTesting(); }

    // Runs the background jobs and hands their results back, until nothing is pending.
    void settle() {
        for (int i = 0; i < 20 && cache.pendingCount() > 0; ++i) {
            env.loop().waitForBackground();
            env.loop().runPending();
        }
    }

    // A file item whose icon comes from its desktop entry (the simulated workspace has
    // no icon for it).
    FileSystemNodePtr application(const std::string& name, const std::string& icon) {
        const std::string path = env.dataHome() + "/applications/" + name + ".desktop";
        writeFile(path, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + name + "\nIcon=" + icon + "\n");
        sim.desktop->setIconless(path);
        return FileSystemNode::initWithPath(path);
    }

    // Asks for the icon and waits for it; the ready image.
    QImage load(const ObjectPtr& item, int size) {
        QImage got;
        QImage now = cache.iconForItem(item, size, nullptr, [&](const QImage& image) { got = image; });
        if (!now.isNull()) return now;
        settle();
        return got;
    }

    size_t linesContaining(const std::string& fragment) const {
        return std::count_if(env.logLines().begin(), env.logLines().end(),
                             [&](const std::string& l) { return l.find(fragment) != std::string::npos; });
    }

    IconThemeEnvironment restore;  // first made, last undone
    sim::SimBackend sim;
    std::string share;
    ItemIconCache cache;
};

TEST_F(ItemIconCacheTest, APendingAnswerThenTheCachedOne) {
    auto group = GroupModel::create();
    group->setIcon(solid(Qt::red, 64));
    int calls = 0;
    QImage got;
    EXPECT_TRUE(cache.iconForItem(group, 32, nullptr, [&](const QImage& i) { ++calls, got = i; }).isNull());
    EXPECT_EQ(cache.pendingCount(), 1u);
    EXPECT_EQ(calls, 0) << "never called before the main loop runs";
    settle();
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(got.size(), QSize(32, 32));
    EXPECT_EQ(got.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(centre(got), QColor(Qt::red));

    QImage cached = cache.iconForItem(group, 32, nullptr, [&](const QImage&) { ++calls; });
    EXPECT_EQ(cached, got);
    EXPECT_EQ(calls, 1) << "a cached answer calls nothing";
    EXPECT_EQ(cache.jobCount(), 1u);
    EXPECT_EQ(cache.entryCount(), 1u);
}

TEST_F(ItemIconCacheTest, OneJobPerItemAndSizeAndEveryWaiterToldOnce) {
    auto group = GroupModel::create();
    group->setIcon(solid(Qt::green, 100));
    QObject a, b;
    int calls = 0;
    cache.iconForItem(group, 48, &a, [&](const QImage&) { ++calls; });
    cache.iconForItem(group, 48, &b, [&](const QImage&) { ++calls; });
    cache.iconForItem(group, 48, nullptr, nullptr);  // a request without a callback joins too
    EXPECT_EQ(cache.jobCount(), 1u);
    cache.iconForItem(group, 24, &a, [&](const QImage&) { ++calls; });
    EXPECT_EQ(cache.jobCount(), 2u) << "another size is another job";
    settle();
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(cache.entryCount(), 2u);
    // Aspect kept: a wide icon fits the square without padding.
    auto wide = GroupModel::create();
    QImage pixels(200, 100, QImage::Format_ARGB32);
    pixels.fill(Qt::blue);
    wide->setIcon(std::make_shared<Image>(pixels));
    EXPECT_EQ(load(wide, 40).size(), QSize(40, 20));
}

TEST_F(ItemIconCacheTest, ReadyIsNotCalledAfterItsContextIsDestroyed) {
    auto group = GroupModel::create();
    group->setIcon(solid(Qt::red));
    auto* gone = new QObject;
    QObject kept;
    int goneCalls = 0, keptCalls = 0;
    cache.iconForItem(group, 32, gone, [&](const QImage&) { ++goneCalls; });
    cache.iconForItem(group, 32, &kept, [&](const QImage&) { ++keptCalls; });
    delete gone;
    settle();
    EXPECT_EQ(goneCalls, 0);
    EXPECT_EQ(keptCalls, 1);
    EXPECT_FALSE(cache.iconForItem(group, 32, nullptr, nullptr).isNull()) << "the result is still cached";
}

TEST_F(ItemIconCacheTest, AnIconChangeDropsTheCacheAndStaleResults) {
    auto group = GroupModel::create();
    group->setIcon(solid(Qt::red));
    EXPECT_EQ(centre(load(group, 32)), QColor(Qt::red));

    // The cache observes "icon": no call to invalidate is needed.
    group->setIcon(solid(Qt::blue));
    EXPECT_TRUE(cache.iconForItem(group, 32, nullptr, nullptr).isNull()) << "the old icon is not answered";
    settle();
    EXPECT_EQ(centre(cache.iconForItem(group, 32, nullptr, nullptr)), QColor(Qt::blue));

    // A change while a job runs: the job's result is stale, and those who waited get
    // the new icon, once.
    std::vector<QColor> seen;
    cache.iconForItem(group, 64, nullptr, [&](const QImage& i) { seen.push_back(centre(i)); });
    env.loop().waitForBackground();  // the job has its (old, green-less) result ready
    group->setIcon(solid(Qt::green));
    settle();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], QColor(Qt::green));
    EXPECT_EQ(centre(cache.iconForItem(group, 64, nullptr, nullptr)), QColor(Qt::green));

    // A request after the change does not join the stale job: one fresh job for all.
    seen.clear();
    cache.iconForItem(group, 16, nullptr, [&](const QImage& i) { seen.push_back(centre(i)); });
    group->setIcon(solid(Qt::yellow));
    cache.iconForItem(group, 16, nullptr, [&](const QImage& i) { seen.push_back(centre(i)); });
    settle();
    EXPECT_EQ(seen, (std::vector<QColor>{Qt::yellow, Qt::yellow}));
    EXPECT_EQ(centre(cache.iconForItem(group, 16, nullptr, nullptr)), QColor(Qt::yellow));

    // An explicit invalidate does the same for a change the item does not announce.
    const size_t jobs = cache.jobCount();
    cache.invalidate(group.get());
    EXPECT_EQ(cache.entryCount(), 0u);
    EXPECT_TRUE(cache.iconForItem(group, 16, nullptr, nullptr).isNull());
    settle();
    EXPECT_EQ(cache.jobCount(), jobs + 1);
}

TEST_F(ItemIconCacheTest, EntriesOfItemsThatAreGoneAndBeyondTheBoundAreDropped) {
    auto first = GroupModel::create();
    first->setIcon(solid(Qt::red));
    load(first, 32);
    EXPECT_EQ(first->observationCount(), 1u) << "the cache observes the item's icon";
    first.reset();
    auto second = GroupModel::create();
    second->setIcon(solid(Qt::blue));
    load(second, 32);
    EXPECT_EQ(cache.entryCount(), 1u) << "the gone item's entry went at the next load";

    // An item whose job is pending when it goes: nothing is cached, nobody is called.
    auto third = GroupModel::create();
    third->setIcon(solid(Qt::green));
    int calls = 0;
    cache.iconForItem(third, 32, nullptr, [&](const QImage&) { ++calls; });
    third.reset();
    settle();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(cache.entryCount(), 1u);

    // The least recently used go first once the bound is passed (32 x 32 x 4 bytes each).
    cache.setByteLimit(3 * 32 * 32 * 4);
    std::vector<std::shared_ptr<GroupModel>> groups;
    for (int i = 0; i < 5; ++i) {
        groups.push_back(GroupModel::create());
        groups.back()->setIcon(solid(QColor(i * 40, 0, 0)));
        load(groups.back(), 32);
        load(second, 32);  // kept in use
    }
    EXPECT_LE(cache.byteCount(), cache.byteLimit());
    EXPECT_EQ(cache.entryCount(), 3u);
    EXPECT_FALSE(cache.iconForItem(second, 32, nullptr, nullptr).isNull()) << "the one in use stays";
    EXPECT_TRUE(cache.iconForItem(groups[0], 32, nullptr, nullptr).isNull()) << "the oldest went";
    settle();
}

TEST_F(ItemIconCacheTest, ItemsWithoutAnyIconAnswerNullAndCallNothing) {
    auto separator = Separator::create();
    int calls = 0;
    EXPECT_TRUE(cache.iconForItem(separator, 32, nullptr, [&](const QImage&) { ++calls; }).isNull());
    settle();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(cache.jobCount(), 0u);
    EXPECT_TRUE(cache.iconForItem(nullptr, 32, nullptr, nullptr).isNull());
    EXPECT_TRUE(cache.iconForItem(GroupModel::create(), 0, nullptr, nullptr).isNull());
}

TEST_F(ItemIconCacheTest, IconsComeFromTheThemeAtTheNearestSize) {
    auto app = application("Harbour", "harbour-app");
    EXPECT_EQ(centre(load(app, 16)), QColor(Qt::red));
    EXPECT_EQ(centre(load(app, 40)), QColor(Qt::green)) << "48 is nearest to 40";
    EXPECT_EQ(centre(load(app, 100)), QColor(Qt::blue)) << "128 is nearest to 100";
    QImage large = load(app, 100);
    EXPECT_EQ(large.size(), QSize(100, 100)) << "scaled to the size asked for";

    // A drawing is rendered at the size asked for (where the SVG plugin is installed).
    QImage drawing = load(application("Drawing", "harbour-drawing"), 80);
    EXPECT_EQ(drawing.size(), QSize(80, 80));
    if (!env.logged("harbour-drawing")) EXPECT_EQ(centre(drawing), QColor(Qt::yellow));

    // What the theme lacks, the theme it inherits has; a path is read as a file.
    EXPECT_EQ(centre(load(application("Hicolor", "hicolor-only"), 32)), QColor(Qt::magenta));
    const std::string file = env.root() + "/own icon.png";
    writePNG(file, Qt::cyan, 20, 20);
    EXPECT_EQ(centre(load(application("Own", file), 20)), QColor(Qt::cyan));
}

// Thousands of folders or documents show one icon of the theme: it is decoded once per
// size and held once, and an item asking later is answered at once.
TEST_F(ItemIconCacheTest, ItemsWithOneIconSourceShareOneLoadAndOneImage) {
    auto first = application("First", "harbour-app");
    auto second = application("Second", "harbour-app");
    auto own = application("Own", "hicolor-only");
    int calls = 0;
    cache.iconForItem(first, 40, nullptr, [&](const QImage&) { ++calls; });
    cache.iconForItem(second, 40, nullptr, [&](const QImage&) { ++calls; });
    cache.iconForItem(own, 40, nullptr, [&](const QImage&) { ++calls; });
    EXPECT_EQ(cache.jobCount(), 2u) << "one load for the shared icon, one for the other";
    settle();
    EXPECT_EQ(calls, 3);
    const QImage a = cache.iconForItem(first, 40, nullptr, nullptr), b = cache.iconForItem(second, 40, nullptr, nullptr);
    EXPECT_EQ(centre(a), QColor(Qt::green));
    EXPECT_EQ(a.cacheKey(), b.cacheKey()) << "one image held for both";
    EXPECT_EQ(cache.byteCount(), size_t(2 * 40 * 40 * 4)) << "the shared image counted once";

    // Many more: answered at once, no job, no more memory.
    std::vector<FileSystemNodePtr> more;
    for (int i = 0; i < 50; ++i) {
        more.push_back(application("More" + std::to_string(i), "harbour-app"));
        int late = 0;
        const QImage now = cache.iconForItem(more.back(), 40, nullptr, [&](const QImage&) { ++late; });
        ASSERT_EQ(now.cacheKey(), a.cacheKey());
        EXPECT_EQ(late, 0) << "an answer at once calls nothing";
    }
    EXPECT_EQ(cache.jobCount(), 2u);
    EXPECT_EQ(cache.byteCount(), size_t(2 * 40 * 40 * 4));

    // One item's icon changing leaves the others theirs; the shared pixels stay while
    // anyone holds them, and are let go with the last of them.
    first->setCustomIcon(solid(Qt::blue, 40));
    EXPECT_EQ(centre(load(first, 40)), QColor(Qt::blue));
    EXPECT_EQ(cache.iconForItem(second, 40, nullptr, nullptr).cacheKey(), a.cacheKey());
    EXPECT_EQ(cache.byteCount(), size_t(3 * 40 * 40 * 4));
    cache.setByteLimit(40 * 40 * 4);  // room for one image: the most recent one
    EXPECT_EQ(cache.byteCount(), size_t(40 * 40 * 4));
    EXPECT_FALSE(cache.iconForItem(second, 40, nullptr, nullptr).isNull());
    settle();
}

TEST_F(ItemIconCacheTest, BrokenIconsGiveTheGenericIconOfTheirKindWithOneLogLine) {
    std::vector<std::string> ignored;
    const QImage genericApp = desktop::genericIconSource(desktop::GenericKind::Application)->load(32, ignored);
    ASSERT_FALSE(genericApp.isNull());

    const std::string corrupt = env.root() + "/corrupt.png";
    writeFile(corrupt, "\x89PNG\r\n\x1a\nthis is no picture at all");
    const std::string huge = env.root() + "/huge.png";
    writeHugePNGHeader(huge, 30000, 30000);
    const std::string loopA = env.root() + "/loop-a.png", loopB = env.root() + "/loop-b.png";
    fs::create_symlink(loopB, loopA);
    fs::create_symlink(loopA, loopB);

    struct Case {
        std::string icon, logged;
    };
    for (const Case& c : {Case{corrupt, corrupt}, Case{huge, "too large"}, Case{loopA, "symbolic links"},
                          Case{"no-such-icon-anywhere", "no icon \"no-such-icon-anywhere\""}}) {
        SCOPED_TRACE(c.icon);
        auto app = application("Broken" + std::to_string(std::hash<std::string>()(c.icon) % 1000), c.icon);
        QImage shown = load(app, 32);
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(shown, genericApp.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        EXPECT_EQ(linesContaining(c.logged), 1u);
        // Other sizes and other requests of the same source write no further line.
        load(app, 48);
        cache.invalidate(app.get());
        load(app, 32);
        EXPECT_EQ(linesContaining(c.logged), 1u);
    }
}

TEST_F(ItemIconCacheTest, TheCustomIconComesFirstAndABrokenOneGivesTheDocumentIcon) {
    const std::string file = env.root() + "/notes.txt";
    writeFile(file, "some notes\n");
    sim.desktop->setIconless(file);
    auto node = FileSystemNode::initWithPath(file);
    const QImage ownIcon = load(node, 32);
    ASSERT_FALSE(ownIcon.isNull());

    node->setCustomIcon(solid(Qt::darkGreen));
    EXPECT_EQ(centre(load(node, 32)), QColor(Qt::darkGreen)) << "the custom icon replaced the cached one";

    // Custom icons are archived PNG data, decoded when drawn: a body that breaks after a
    // sound header shows the document icon of the file's type instead.
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage pixels(64, 64, QImage::Format_ARGB32);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) pixels.setPixel(x, y, qRgb(x * 4, y * 4, (x * y) & 255));
        pixels.save(&buffer, "PNG");
    }
    png.truncate(png.size() / 2);  // a sound header, half the pixel data
    auto broken = Image::imageWithPNGDataDeferred(Data(png.begin(), png.end()));
    ASSERT_TRUE(broken);
    node->setCustomIcon(broken);
    EXPECT_EQ(load(node, 32), ownIcon);
    EXPECT_EQ(linesContaining("the icon of " + file), 1u);

    // A running application: its custom icon, shared with its bundle's file item.
    auto entry = application("Mail", "harbour-app");
    RunningApplication::Info info;
    info.localizedName = "Mail";
    info.bundlePath = entry->path();
    auto running = sim.desktop->addApplication(info);
    EXPECT_EQ(centre(load(running, 48)), QColor(Qt::green));
    Persistent::setCustomIcon(*running, solid(Qt::darkBlue));
    EXPECT_EQ(centre(load(running, 48)), QColor(Qt::darkBlue));
}

}  // namespace
}  // namespace qs::test

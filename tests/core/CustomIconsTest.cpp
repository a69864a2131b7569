// Custom icons: stable keys, persistence in "customIconsData", and the kept flag and icon
// of running applications.

#include <gtest/gtest.h>

#include <filesystem>

#include "core/CustomIconsHelper.h"
#include "core/DockTestSupport.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/RunningApplicationPersistent.h"
#include "core/Separator.h"
#include "platform/sim/SimBackend.h"
#include "support/Files.h"

namespace qs {
namespace {

using test::PostCounter;

ImagePtr solid(QColor color, int side = 16) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(color);
    return std::make_shared<Image>(image);
}

class CustomIconsTest : public test::IsolatedTest {
protected:
    CustomIconsTest() { sim = sim::installSimBackend(); }

    RunningApplicationPtr app(const std::string& name, const std::string& bundlePath) {
        RunningApplication::Info info;
        info.localizedName = name;
        info.bundlePath = bundlePath;
        return sim.desktop->addApplication(info);
    }
    UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }

    sim::SimBackend sim;
};

TEST_F(CustomIconsTest, KeysAreStableHashesOfTheURLOrName) {
    const std::string bundle = "/usr/share/applications/org.example.Mail.desktop";
    auto mail = app("Mail", bundle);
    auto node = FileSystemNode::initWithPath(bundle);
    // The key must be the same in every run: a fixed FNV-1a value of the URL string.
    EXPECT_EQ(CustomIconsHelper::hashForItem(node.get()), 0xac16809cfefdcc1eull);
    EXPECT_EQ(CustomIconsHelper::hashForItem(mail.get()), CustomIconsHelper::hashForItem(node.get()));

    auto bare = app("Foo", "");
    EXPECT_EQ(CustomIconsHelper::hashForItem(bare.get()), stableHash("Foo"));
    EXPECT_EQ(CustomIconsHelper::hashForItem(GroupModel::create().get()), 0u);
    EXPECT_EQ(CustomIconsHelper::hashForItem(Separator::create().get()), 0u);
    EXPECT_EQ(CustomIconsHelper::hashForItem(nullptr), 0u);
}

TEST_F(CustomIconsTest, AnIconSurvivesARestartAndClearingRewritesTheStore) {
    auto node = FileSystemNode::initWithPath("/home/user/Documents/report.pdf");
    CustomIconsHelper::sharedInstance().setCustomIconForItem(node.get(), solid(Qt::blue));
    ASSERT_TRUE(defaults().hasDataForKey("customIconsData"));

    // A restart: the defaults are read again from disk, the store from the defaults.
    UserDefaults::resetForTesting();
    auto again = FileSystemNode::initWithPath("/home/user/Documents/report.pdf");
    auto icon = CustomIconsHelper::sharedInstance().getCustomIconForItem(again.get());
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->qimage().pixelColor(3, 3), QColor(Qt::blue));

    Data before = defaults().dataForKey("customIconsData");
    CustomIconsHelper::sharedInstance().setCustomIconForItem(again.get(), nullptr);
    EXPECT_NE(defaults().dataForKey("customIconsData"), before);
    EXPECT_FALSE(CustomIconsHelper().getCustomIconForItem(again.get()));
}

TEST_F(CustomIconsTest, KindsWithoutAKeyDoNotShareOneIcon) {
    auto first = Separator::create(), second = Separator::create();
    CustomIconsHelper::sharedInstance().setCustomIconForItem(first.get(), solid(Qt::green));
    EXPECT_FALSE(CustomIconsHelper::sharedInstance().getCustomIconForItem(second.get()));
    EXPECT_EQ(CustomIconsHelper::sharedInstance().count(), 0u);
}

// A table that cannot be read was replaced by an empty one at the next icon change. It
// is kept aside as a file; one read in part is copied aside whole before it is replaced.
TEST_F(CustomIconsTest, AnUnreadableTableIsKeptAsideAndOneReadInPartIsCopiedFirst) {
    const std::string folder = std::filesystem::path(defaults().filePath()).parent_path().string();
    auto keptFiles = [&] {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.path().filename().string().find(".customIconsData.unreadable-") != std::string::npos)
                found.push_back(e.path().string());
        return found;
    };
    auto contents = [](const std::string& path) {
        const std::string bytes = test::readFileOrEmpty(path);
        return Data(bytes.begin(), bytes.end());
    };
    defaults().setObject(Value(Data{1, 2, 3, 4}), "customIconsData");
    CustomIconsHelper store;
    EXPECT_EQ(store.count(), 0u);
    EXPECT_TRUE(env.logged("customIconsData"));
    auto kept = keptFiles();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(contents(kept[0]), (Data{1, 2, 3, 4}));
    EXPECT_TRUE(defaults().objectForKey("customIconsData").isNil());
    // The next change writes a fresh table and leaves the kept one alone.
    auto node = FileSystemNode::initWithPath("/tmp/x");
    store.setCustomIconForItem(node.get(), solid(Qt::red));
    EXPECT_EQ(contents(kept[0]), (Data{1, 2, 3, 4}));

    // A table whose entries are not images or whose keys are not numbers loses only those
    // in use, and the whole of it is kept.
    Dictionary table{{std::to_string(CustomIconsHelper::hashForItem(node.get())), Value(solid(Qt::red))},
                     {"not-a-number", Value(solid(Qt::red))},
                     {"42", Value("text")}};
    Data partly = KeyedArchiver::archivedDataWithRootObject(Value(table));
    defaults().setObject(Value(partly), "customIconsData");
    CustomIconsHelper partial;
    EXPECT_EQ(partial.count(), 1u);
    EXPECT_TRUE(partial.getCustomIconForItem(node.get()));
    ASSERT_EQ(keptFiles().size(), 2u);
    bool copied = false;
    for (const auto& file : keptFiles()) copied = copied || contents(file) == partly;
    EXPECT_TRUE(copied);
    EXPECT_TRUE(env.logged("2 custom icon(s) that cannot be read"));
}

TEST_F(CustomIconsTest, KeptFlagIsOffUntilMarkedAndMarkingPostsOnce) {
    auto mail = app("Mail", "/usr/share/applications/mail.desktop");
    EXPECT_FALSE(Persistent::isPersistent(*mail));

    std::vector<Value> objects;
    auto token = NotificationCenter::defaultCenter().addObserver(
        this, "isPersistent", nullptr, [&](const Notification& n) { objects.push_back(n.object); });
    int announced = 0;
    auto watch = mail->observe("isPersistent", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++announced; });

    Persistent::setIsPersistent(*mail, true);
    EXPECT_TRUE(Persistent::isPersistent(*mail));
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].object(), mail);
    EXPECT_EQ(announced, 1);

    // The flag belongs to that application object only: not to the same application
    // launched again after it quit.
    sim.desktop->terminateApplication(mail->processIdentifier());
    auto other = app("Mail", "/usr/share/applications/mail.desktop");
    ASSERT_NE(other, mail);
    EXPECT_FALSE(Persistent::isPersistent(*other));
    Persistent::setIsPersistent(*mail, false);
    EXPECT_FALSE(Persistent::isPersistent(*mail));
    NotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(CustomIconsTest, ApplicationIconHonoursTheCustomIconSharedWithItsFileItem) {
    const std::string bundle = "/usr/share/applications/org.example.Edit.desktop";
    auto edit = app("Edit", bundle);
    auto node = FileSystemNode::initWithPath(bundle);
    auto plain = Persistent::icon(*edit);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->qimage(), node->icon()->qimage());

    int iconChanges = 0;
    auto watch = edit->observe("icon", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++iconChanges; });
    auto custom = solid(Qt::magenta);
    Persistent::setCustomIcon(*edit, custom);
    EXPECT_EQ(iconChanges, 1);
    EXPECT_EQ(Persistent::icon(*edit), custom);
    EXPECT_EQ(Persistent::customIcon(*edit), custom);
    // The kept file item of the same bundle shows it too.
    EXPECT_EQ(CustomIconsHelper::sharedInstance().getCustomIconForItem(node.get()), custom);

    Persistent::clearCustomIcon(*edit);
    EXPECT_EQ(iconChanges, 2);
    EXPECT_FALSE(CustomIconsHelper::sharedInstance().getCustomIconForItem(node.get()));
    EXPECT_EQ(Persistent::icon(*edit)->qimage(), plain->qimage());
}

TEST_F(CustomIconsTest, AnApplicationWithoutABundleKeysByNameAndKeepsItsOwnIcon) {
    RunningApplication::Info info;
    info.localizedName = "scratch";
    info.executablePath = "/usr/bin/scratch";
    auto scratch = sim.desktop->addApplication(info);
    auto own = Persistent::icon(*scratch);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->qimage(), scratch->icon()->qimage());
    Persistent::setCustomIcon(*scratch, solid(Qt::yellow));
    RunningApplication::Info twin = info;
    twin.pid = 0;
    auto sameName = sim.desktop->addApplication(twin);
    EXPECT_TRUE(Persistent::customIcon(*sameName));
}

}  // namespace
}  // namespace qs

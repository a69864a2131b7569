#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <QImage>
#include <gtest/gtest.h>

#include "core/ThemeManager.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "support/Files.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace qs {
namespace {

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

void writePicture(const fs::path& path, int w = 32, int h = 8, QColor color = Qt::blue) {
    fs::create_directories(path.parent_path());
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(QString::fromStdString(path.string()), "PNG"));
}

std::string plistNaming(const std::string& picture) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>backgroundImage</key><string>" +
           picture + "</string></dict></plist>\n";
}

uint32_t crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string be32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A PNG whose header announces the size and that holds no picture data at all.
std::string pngHeaderOnly(uint32_t w, uint32_t h) {
    std::string ihdr = "IHDR" + be32(w) + be32(h) + std::string("\x08\x06\x00\x00\x00", 5);
    std::string idat = "IDAT" + std::string("\x78\x9c\x03\x00", 4);  // a few bytes, far from a picture
    std::string iend = "IEND";
    return std::string("\x89PNG\r\n\x1a\n", 8) + be32(13) + ihdr + be32(crc32(ihdr)) + be32(4) + idat +
           be32(crc32(idat)) + be32(0) + iend + be32(crc32(iend));
}

class ThemeManagerTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend();
        ThemeManager::resetSharedInstanceForTesting();
        // No resource themes unless a test gives some.
        ThemeManager::setResourceThemesDirectoryForTesting(env.root() + "/no-resources");
    }
    void TearDown() override {
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::nullopt);
        desktop::install({});
    }

    fs::path themes() const { return fs::path(env.dataHome()) / "org.quayside.Quayside" / "themes"; }

    static std::vector<std::string> names(const ThemeManager& m) {
        std::vector<std::string> out;
        for (auto& t : m.themeList()) out.push_back(t->themeName());
        return out;
    }
    static std::set<std::string> pictureNames(const ThemeManager& m) {
        std::set<std::string> out;
        for (size_t i = 4; i < m.themeList().size(); ++i) out.insert(m.themeList()[i]->themeName());
        return out;
    }
    static ThemeInfoPtr named(const ThemeManager& m, const std::string& name) {
        for (auto& t : m.themeList())
            if (t->themeName() == name) return t;
        return nullptr;
    }

    sim::SimBackend sim;
};

TEST_F(ThemeManagerTest, AnEmptyThemesFolderListsTheFourBuiltInThemes) {
    fs::create_directories(themes());
    auto m = ThemeManager::sharedInstance();
    EXPECT_EQ(ThemeManager::sharedInstance(), m);
    ASSERT_EQ(names(*m), (std::vector<std::string>{"System Light", "System Dark", "Transparent", "Color"}));
    const int types[] = {0, 1, 3, 4};
    for (int i = 0; i < 4; ++i) {
        const auto& t = m->themeList()[size_t(i)];
        EXPECT_EQ(t->themeType(), types[i]);
        EXPECT_EQ(t->isDarkAppearance(), i == 1);
        EXPECT_EQ(t->windowAppearance(), i == 1 ? NSAppearanceNameVibrantDark : NSAppearanceNameVibrantLight);
        EXPECT_EQ(t->backgroundImage(), nullptr);
        EXPECT_EQ(t->description(), t->themeName());
    }
    EXPECT_EQ(m->themeIndex(), 0);
    EXPECT_EQ(m->currenThemeInfo()->themeName(), "System Light");
}

TEST_F(ThemeManagerTest, PictureThemesFromFoldersAndWhatIsNotOne) {
    writeFile(themes() / "A" / "theme.plist", plistNaming("missing.png"));
    writePicture(themes() / "A" / "background.png");
    writePicture(themes() / "B" / "background.png", 40, 10);
    writeFile(themes() / "C" / "theme.plist", plistNaming("pic.png"));
    writePicture(themes() / "C" / "pic.png");
    writeFile(themes() / "D" / "theme.plist", "<plist><array><string>x</string></array></plist>");
    writePicture(themes() / "D" / "background.png");
    writePicture(themes() / ".E" / "background.png");
    writePicture(themes() / "F" / "G" / "background.png");
    writePicture(themes() / "x.png");
    writeFile(themes() / "H" / "theme.plist", plistNaming("/pictures/h.png"));  // a leading "/" is a separator
    writePicture(themes() / "H" / "pictures" / "h.png");

    auto m = ThemeManager::sharedInstance();
    EXPECT_EQ(pictureNames(*m), (std::set<std::string>{"B", "C", "H"}));
    auto b = named(*m, "B");
    EXPECT_EQ(b->themeType(), 5);
    EXPECT_FALSE(b->backwardImageRotation());
    EXPECT_FALSE(b->isDarkAppearance());
    EXPECT_EQ(b->windowAppearance(), NSAppearanceNameVibrantLight);
    ASSERT_TRUE(b->backgroundImage());
    EXPECT_EQ(b->backgroundImage()->size(), MakeSize(40, 10));
    EXPECT_TRUE(named(*m, "C")->backwardImageRotation());
    EXPECT_TRUE(env.logged("\"A\" skipped"));
    EXPECT_TRUE(env.logged("\"D\" skipped"));
    EXPECT_TRUE(env.logged("\"F\" skipped"));
    // The built-in themes come first, whatever the folder holds.
    EXPECT_EQ(m->themeList()[3]->themeName(), "Color");
}

TEST_F(ThemeManagerTest, BadThemeFoldersAreSkippedWithALogLine) {
    const std::string outside = "sentinel";
    writePicture(themes() / "Good" / "background.png");
    // Unreadable descriptions: not a property list, a folder, a link looping on itself.
    writeFile(themes() / "Garbage" / "theme.plist", std::string("\x00\x01\xff garbage", 11));
    writePicture(themes() / "Garbage" / "background.png");
    fs::create_directories(themes() / "FolderPlist" / "theme.plist");
    fs::create_directories(themes() / "LoopPlist");
    fs::create_symlink("theme.plist", themes() / "LoopPlist" / "theme.plist");
    // Pictures outside the theme folder.
    writeFile(themes() / "Climber" / "theme.plist", plistNaming("../Good/background.png"));
    writeFile(themes() / "Deep" / "theme.plist", plistNaming("a/../../../../etc/passwd"));
    writeFile(themes() / "NoName" / "theme.plist", "<plist><dict><key>other</key><string>x</string></dict></plist>");
    // Links that loop: the theme folder itself, and its picture.
    fs::create_symlink("LoopFolder", themes() / "LoopFolder");
    fs::create_directories(themes() / "LoopPicture");
    fs::create_symlink("background.png", themes() / "LoopPicture" / "background.png");
    // Pictures that are no pictures.
    writeFile(themes() / "Corrupt" / "background.png", "this is not a picture at all");
    {
        writePicture(themes() / "Truncated" / "full.png", 300, 300, QColor(10, 200, 30));
        std::string bytes = test::readFileOrEmpty(themes() / "Truncated" / "full.png");
        writeFile(themes() / "Truncated" / "background.png", bytes.substr(0, bytes.size() / 2));
        fs::remove(themes() / "Truncated" / "full.png");
    }
    writeFile(themes() / "Empty" / "background.png", pngHeaderOnly(0, 0));
    writeFile(themes() / "Huge" / "background.png", pngHeaderOnly(20000, 20000));
    writeFile(themes() / "Wide" / "background.png", pngHeaderOnly(9000, 1));
    // A pipe would block a reader forever.
    fs::create_directories(themes() / "Pipe");
    ASSERT_EQ(::mkfifo((themes() / "Pipe" / "background.png").c_str(), 0600), 0);

    auto m = ThemeManager::sharedInstance();
    EXPECT_EQ(pictureNames(*m), (std::set<std::string>{"Good"}));
    for (const char* name : {"Garbage", "FolderPlist", "LoopPlist", "Climber", "Deep", "NoName", "LoopFolder",
                             "LoopPicture", "Corrupt", "Truncated", "Empty", "Huge", "Wide", "Pipe"})
        EXPECT_TRUE(env.logged(std::string("\"") + name + "\" skipped")) << name;
    EXPECT_TRUE(env.logged("lies outside the theme folder"));
    EXPECT_TRUE(env.logged("20000 x 20000 pixels, larger than"));
    EXPECT_TRUE(env.logged("9000 x 1 pixels, larger than"));
}

TEST_F(ThemeManagerTest, ResourceThemesAreCopiedOnTheFirstStartAndBackOnReset) {
    const fs::path resources = fs::path(env.root()) / "resources" / "themes";
    writePicture(resources / "One" / "background.png", 16, 4, Qt::red);
    writeFile(resources / "Two" / "theme.plist", plistNaming("two.png"));
    writePicture(resources / "Two" / "two.png");
    ThemeManager::setResourceThemesDirectoryForTesting(resources.string());

    ASSERT_FALSE(fs::exists(themes()));
    auto m = ThemeManager::sharedInstance();
    EXPECT_EQ(pictureNames(*m), (std::set<std::string>{"One", "Two"}));
    EXPECT_TRUE(fs::exists(themes() / "Two" / "theme.plist"));

    // Deleted themes stay deleted on a refresh; a reset brings them back.
    fs::remove_all(themes() / "One");
    m->refreshThemes();
    EXPECT_EQ(pictureNames(*m), (std::set<std::string>{"Two"}));
    // An edited theme keeps the user's edit through a reset.
    writePicture(themes() / "Two" / "two.png", 64, 64, Qt::green);
    m->resetThemes();
    EXPECT_EQ(pictureNames(*m), (std::set<std::string>{"One", "Two"}));
    EXPECT_EQ(named(*m, "Two")->backgroundImage()->size(), MakeSize(64, 64));
    EXPECT_EQ(m->themeList().size(), 6u);
}

TEST_F(ThemeManagerTest, TheProgramsOwnPictureThemesLoad) {
    ThemeManager::setResourceThemesDirectoryForTesting(std::string(QUAYSIDE_BUILD_THEMES_DIR));
    auto m = ThemeManager::sharedInstance();
    ASSERT_EQ(pictureNames(*m), (std::set<std::string>{"Harbour", "Night", "Sandstone"})) << env.logLines().size();
    EXPECT_TRUE(named(*m, "Harbour")->backwardImageRotation());
    EXPECT_TRUE(named(*m, "Night")->backwardImageRotation());
    EXPECT_FALSE(named(*m, "Sandstone")->backwardImageRotation());
    for (const char* name : {"Harbour", "Night", "Sandstone"}) {
        auto image = named(*m, name)->backgroundImage();
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(image->size(), MakeSize(1024, 128)) << name;
    }
    EXPECT_FALSE(fs::exists(themes() / ".copied"));
}

TEST_F(ThemeManagerTest, ChoosingAThemeStoresItAtOnceThenAnnouncesIt) {
    fs::create_directories(themes());
    auto m = ThemeManager::sharedInstance();
    auto& defaults = UserDefaults::standardUserDefaults();
    std::vector<std::string> events;
    int writesAtChange = -1;
    auto observation = m->observe("themeIndex", KeyValueObservingOptionNew, [&](const KeyValueChange& change) {
        events.push_back("kvo " + change.newValue.description());
        EXPECT_EQ(Value(defaults.integerForKey("themeIndex")), change.newValue);
        writesAtChange = defaults.writeCount();
    });
    int writesBefore = defaults.writeCount();
    auto token = NotificationCenter::defaultCenter().addObserver(
        this, kThemeIndexNotification, nullptr, [&](const Notification&) { events.push_back("ThemeIndex"); });

    m->setThemeIndex(2);
    EXPECT_EQ(events, (std::vector<std::string>{"kvo 2", "ThemeIndex"}));
    EXPECT_GT(writesAtChange, writesBefore);
    EXPECT_EQ(m->currenThemeInfo()->themeName(), "Transparent");

    // A refresh re-applies the same index, announcing it again.
    events.clear();
    m->refreshThemes();
    EXPECT_EQ(events, (std::vector<std::string>{"kvo 2", "ThemeIndex"}));
    // The chooser's binding sets it by key.
    m->setValueForKey(Value(3), "themeIndex");
    EXPECT_EQ(m->valueForKey("currenThemeInfo").objectAs<ThemeInfo>()->themeName(), "Color");
    EXPECT_EQ(m->valueForKey("themeList").count(), 4u);
    NotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(ThemeManagerTest, AStoredIndexOutsideTheListSelectsThemeZero) {
    fs::create_directories(themes());
    for (int64_t stored : {int64_t(9), int64_t(-3), int64_t(70000)}) {
        UserDefaults::standardUserDefaults().setInteger(stored, "themeIndex");
        ThemeManager::resetSharedInstanceForTesting();
        auto m = ThemeManager::sharedInstance();
        EXPECT_EQ(m->themeIndex(), 0) << stored;
        EXPECT_EQ(m->currenThemeInfo()->themeName(), "System Light") << stored;
        EXPECT_EQ(UserDefaults::standardUserDefaults().integerForKey("themeIndex"), 0);
    }
    auto m = ThemeManager::sharedInstance();
    m->setThemeIndex(12);
    EXPECT_EQ(m->themeIndex(), 0);
    EXPECT_TRUE(env.logged("theme 0 is used"));
}

TEST_F(ThemeManagerTest, BackgroundColourRoundTripsAndBadDataReadsAsBlack) {
    fs::create_directories(themes());
    writePicture(themes() / "P" / "background.png");
    auto m = ThemeManager::sharedInstance();
    auto& defaults = UserDefaults::standardUserDefaults();
    EXPECT_TRUE(m->themeList()[0]->backgroundColor()->isEqual(Color::blackColor().get()));

    auto colour = Color::colorWithCalibratedRed(0.8, 1.0 / 3.0, 0.1234567, 0.75);
    defaults.setObject(Value(colour->archivedData()), "backgroundColor");
    for (auto& theme : m->themeList()) EXPECT_TRUE(theme->backgroundColor()->isEqual(colour.get())) << theme->themeName();

    defaults.setObject(Value(Data{1, 2, 3}), "backgroundColor");
    EXPECT_TRUE(m->themeList()[3]->backgroundColor()->isEqual(Color::blackColor().get()));
    EXPECT_TRUE(m->themeList()[3]->backgroundColor()->isEqual(Color::blackColor().get()));
    auto lines = std::count_if(env.logLines().begin(), env.logLines().end(),
                               [](const std::string& l) { return l.find("backgroundColor") != std::string::npos; });
    EXPECT_EQ(lines, 1);  // once, not at every draw
    defaults.setObject(Value("red"), "backgroundColor");
    EXPECT_TRUE(m->themeList()[3]->backgroundColor()->isEqual(Color::blackColor().get()));
}

TEST_F(ThemeManagerTest, TheThemesFolderLivesInTheDataHomeAndOpensInTheFileManager) {
    auto m = ThemeManager::sharedInstance();
    auto dir = m->getOrCreateThemeDir();
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->path(), themes().string());
    EXPECT_EQ(m->getOrCreateApplicationDirectory()->path(), themes().parent_path().string());
    m->openThemeFolder();
    EXPECT_EQ(sim.files->calls(), (std::vector<std::string>{"showFolder " + themes().string()}));
}

TEST_F(ThemeManagerTest, WithoutAThemesFolderOnlyTheBuiltInThemesRemain) {
    // A file where the folder should be: no one can make it, not even root.
    writeFile(fs::path(env.dataHome()) / "org.quayside.Quayside", "in the way");
    auto m = ThemeManager::sharedInstance();
    EXPECT_EQ(m->themeList().size(), 4u);
    EXPECT_EQ(m->getOrCreateThemeDir(), nullptr);
    m->openThemeFolder();
    EXPECT_TRUE(sim.files->calls().empty());
    EXPECT_TRUE(env.logged("cannot make the folder"));
}

TEST_F(ThemeManagerTest, PicturesDecodeWhenFirstDrawnAndAreThereWhenTheThemeSwitches) {
    writePicture(themes() / "Red" / "background.png", 40, 10, Qt::red);
    writeFile(themes() / "Green" / "theme.plist", plistNaming("green.png"));
    writePicture(themes() / "Green" / "green.png", 20, 6, Qt::green);
    {
        // A whole header and a damaged chunk further on: refused when the list is made.
        writePicture(themes() / "Damaged" / "full.png", 64, 64, Qt::yellow);
        std::string bytes = test::readFileOrEmpty(themes() / "Damaged" / "full.png");
        bytes[bytes.size() - 20] ^= 0x5A;
        writeFile(themes() / "Damaged" / "background.png", bytes);
        fs::remove(themes() / "Damaged" / "full.png");
    }
    auto m = ThemeManager::sharedInstance();
    EXPECT_EQ(pictureNames(*m), (std::set<std::string>{"Red", "Green"}));
    EXPECT_TRUE(env.logged("\"Damaged\" skipped"));
    auto red = named(*m, "Red"), green = named(*m, "Green");
    ASSERT_TRUE(red && red->backgroundImage() && green && green->backgroundImage());
    EXPECT_TRUE(red->backgroundImage()->isDeferred()) << "a theme not shown decodes nothing";
    EXPECT_EQ(red->backgroundImage()->size(), MakeSize(40, 10)) << "the size comes from the header";

    for (const auto& theme : {red, green}) {
        const auto index = std::find(m->themeList().begin(), m->themeList().end(), theme) - m->themeList().begin();
        m->setThemeIndex(int16_t(index));
        ASSERT_EQ(m->currenThemeInfo(), theme);
        const QImage pixels = theme->backgroundImage()->qimage();
        ASSERT_FALSE(pixels.isNull()) << theme->themeName();
        EXPECT_EQ(pixels.size(), theme == red ? QSize(40, 10) : QSize(20, 6));
        EXPECT_EQ(pixels.pixelColor(3, 3), theme == red ? QColor(Qt::red) : QColor(Qt::green));
    }

    // Made again with a picture theme current: its picture is decoded at once, off the
    // main thread, and is the same picture when drawn.
    ThemeManager::resetSharedInstanceForTesting();
    m = ThemeManager::sharedInstance();
    green = named(*m, "Green");
    ASSERT_EQ(m->currenThemeInfo(), green);
    EXPECT_EQ(green->backgroundImage()->qimage().pixelColor(1, 1), QColor(Qt::green));
    EXPECT_FALSE(green->backgroundImage()->isDeferred());
    EXPECT_TRUE(named(*m, "Red")->backgroundImage()->isDeferred());
}

}  // namespace
}  // namespace qs

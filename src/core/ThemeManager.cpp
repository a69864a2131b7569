#include "core/ThemeManager.h"

#include <cstdlib>
#include <filesystem>

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QString>
#include <QThreadPool>

#include "platform/desktop/FileServices.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"

namespace fs = std::filesystem;

namespace qs {

namespace {

constexpr const char* kBundleIdentifier = "org.quayside.Quayside";
// A theme's plist is a few lines; anything larger is not one.
constexpr std::uintmax_t kMaxPlistBytes = 1024 * 1024;

std::string dataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share";
}

std::string applicationDirectoryPath() { return dataHome() + "/" + kBundleIdentifier; }
std::string themesDirectoryPath() { return applicationDirectoryPath() + "/themes"; }

// True for anything at the path, a dangling or looping symbolic link included.
bool entryExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

URLPtr makeDirectory(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (!fs::is_directory(path, ec)) {
        log("cannot make the folder ", path, ": ",
            ec ? ec.message() : std::string("something else is in the way"));
        return nullptr;
    }
    return URL::fileURLWithPath(path, true);
}

std::optional<std::string>& resourceOverride() {
    static std::optional<std::string> directory;
    return directory;
}

std::string programDirectory() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath().toStdString();
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

// Names the file system lists in a folder, in its order, without hidden entries.
std::vector<fs::path> listFolder(const std::string& folder) {
    std::vector<fs::path> entries;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec) {
        log("cannot list the folder ", folder, ": ", ec.message());
        return entries;
    }
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().filename().string();
        if (!name.empty() && name[0] != '.') entries.push_back(it->path());
    }
    if (ec) log("cannot list all of the folder ", folder, ": ", ec.message());
    return entries;
}

// A theme picture read when it is first drawn. Only the current theme's picture is
// needed to draw the dock; the others decode when their theme is chosen or shown.
class ThemePictureSource : public ImageSource {
public:
    ThemePictureSource(std::string path, std::string theme) : path_(std::move(path)), theme_(std::move(theme)) {}
    QImage load(int, std::vector<std::string>& problems) const override {
        std::string whyNot;
        std::unique_ptr<QFile> file = Image::openFile(path_, whyNot);
        if (!file) {
            problems.push_back("theme \"" + theme_ + "\": its picture cannot be read (" + whyNot + ")");
            return {};
        }
        QImageReader reader(file.get());
        // Checked to be a PNG: the built-in decoder, without asking every format plugin.
        reader.setFormat("png");
        reader.setAutoDetectImageFormat(false);
        QImage image = Image::readBounded(reader, path_, ThemeManager::kMaxPicturePixels, whyNot);
        if (image.isNull()) problems.push_back("theme \"" + theme_ + "\": its picture " + path_ + " does not decode (" + whyNot + ")");
        return image;
    }
    std::string description() const override { return "the picture of the theme \"" + theme_ + "\""; }

private:
    std::string path_;
    std::string theme_;
};

// The picture of a theme, with its size checked before it is decoded. A whole PNG file
// (the usual theme picture) is decoded when first drawn; other formats are decoded now,
// so that a picture that does not decode keeps its theme out of the list.
ImagePtr loadPicture(const fs::path& path, const std::string& theme) {
    std::string why;
    std::unique_ptr<QFile> file = Image::openFile(path.string(), why);
    if (!file) {
        log("theme \"", theme, "\" skipped: cannot read its picture: ", why);
        return nullptr;
    }
    const QSize pngSize = Image::pngFileHeaderSize(path.string());
    QImageReader reader(file.get());
    const QSize size = pngSize.isValid() ? pngSize : reader.size();
    if (!size.isValid()) {
        log("theme \"", theme, "\" skipped: ", path.string(), " is no picture whose size can be read (",
            reader.errorString().toStdString(), ")");
        return nullptr;
    }
    if (size.isEmpty()) {
        log("theme \"", theme, "\" skipped: its picture ", path.string(), " is empty (", size.width(), " x ",
            size.height(), ")");
        return nullptr;
    }
    if (size.width() > ThemeManager::kMaxPictureSide || size.height() > ThemeManager::kMaxPictureSide ||
        int64_t(size.width()) * size.height() > ThemeManager::kMaxPicturePixels) {
        log("theme \"", theme, "\" skipped: its picture ", path.string(), " is ", size.width(), " x ", size.height(),
            " pixels, larger than the ", ThemeManager::kMaxPictureSide, " x ", ThemeManager::kMaxPictureSide,
            " and ", ThemeManager::kMaxPicturePixels, "-pixel limit");
        return nullptr;
    }
    if (pngSize.isValid()) {
        if (!Image::isWholePngFile(path.string())) {
            log("theme \"", theme, "\" skipped: its picture ", path.string(),
                " does not decode (the PNG file is cut off or damaged)");
            return nullptr;
        }
        return Image::imageWithSource(std::make_shared<ThemePictureSource>(path.string(), theme),
                                      Size{double(size.width()), double(size.height())});
    }
    QImage image = reader.read();
    if (image.isNull()) {
        log("theme \"", theme, "\" skipped: its picture ", path.string(), " does not decode (",
            reader.errorString().toStdString(), ")");
        return nullptr;
    }
    return std::make_shared<Image>(std::move(image));
}

// The picture that a theme's plist names, or nullptr (with a log line).
ImagePtr loadPlistPicture(const fs::path& folder, const fs::path& plist, const std::string& theme) {
    std::string why, error;
    std::optional<Value> root = PropertyList::readFile(plist.string(), &error, kMaxPlistBytes);
    if (!root) {
        why = error.empty() ? "it is no property list" : error;
        // The reader names the file itself; it is named once below.
        const std::string prefix = plist.string() + ": ";
        if (why.rfind(prefix, 0) == 0) why.erase(0, prefix.size());
    }
    if (why.empty() && !root->isDictionary()) why = "it is no dictionary";
    if (!why.empty()) {
        log("theme \"", theme, "\" skipped: cannot read ", plist.string(), ": ", why);
        return nullptr;
    }
    const Value named = (*root)["backgroundImage"];
    const std::string* name = named.string();
    if (!name || name->empty()) {
        log("theme \"", theme, "\" skipped: ", plist.string(), " names no picture under \"backgroundImage\"");
        return nullptr;
    }
    // The name is a path inside the theme folder: a leading "/" is only a separator,
    // and ".." may not climb out of the folder.
    std::string inside = *name;
    inside.erase(0, inside.find_first_not_of('/'));
    fs::path relative = fs::path(inside).lexically_normal();
    if (relative.empty() || *relative.begin() == "..") {
        log("theme \"", theme, "\" skipped: its picture \"", *name, "\" lies outside the theme folder");
        return nullptr;
    }
    return loadPicture(folder / relative, theme);
}

ThemeInfoPtr makeTheme(int32_t type, std::string name, bool dark, ImagePtr image = nullptr, bool rotation = false) {
    auto theme = std::make_shared<ThemeInfo>();
    theme->setThemeType(type);
    theme->setThemeName(std::move(name));
    theme->setIsDarkAppearance(dark);
    theme->setWindowAppearance(dark ? NSAppearanceNameVibrantDark : NSAppearanceNameVibrantLight);
    theme->setBackgroundImage(std::move(image));
    theme->setBackwardImageRotation(rotation);
    return theme;
}

// Copies one resource theme folder; a failure leaves what was copied and is logged.
void copyResourceTheme(const fs::path& source, const fs::path& destination) {
    std::error_code ec;
    fs::copy(source, destination, fs::copy_options::recursive, ec);
    if (ec) log("cannot copy the theme ", source.string(), " to ", destination.string(), ": ", ec.message());
}

std::shared_ptr<ThemeManager>& sharedSlot() {
    static std::shared_ptr<ThemeManager> instance;
    return instance;
}

}  // namespace

// ThemeInfo

ColorPtr ThemeInfo::backgroundColor() const {
    auto& defaults = UserDefaults::standardUserDefaults();
    Value stored = defaults.objectForKey("backgroundColor");
    if (stored.isNil()) return Color::blackColor();
    if (const Data* data = stored.data())
        if (auto color = Color::colorWithArchivedData(*data)) return color;
    // Read at every draw: the same bad value is reported once.
    static std::string reported;
    std::string seen = stored.description();
    if (seen != reported) {
        reported = seen;
        log("the background colour stored under \"backgroundColor\" is no colour; black is used");
    }
    return Color::blackColor();
}

Value ThemeInfo::valueForKey(const std::string& key) const {
    if (key == "isDarkAppearance") return Value(isDarkAppearance_);
    if (key == "backwardImageRotation") return Value(backwardImageRotation_);
    if (key == "themeType") return Value(int(themeType_));
    if (key == "themeName" || key == "description") return Value(themeName_);
    if (key == "windowAppearance") return Value(windowAppearance_);
    if (key == "backgroundImage") return backgroundImage_ ? Value(backgroundImage_) : Value();
    if (key == "backgroundColor") return Value(std::const_pointer_cast<Color>(backgroundColor()));
    return Object::valueForKey(key);
}

// ThemeManager

std::shared_ptr<ThemeManager> ThemeManager::sharedInstance() {
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_shared<ThemeManager>();
        slot->refreshThemes();
    }
    return slot;
}

void ThemeManager::resetSharedInstanceForTesting() { sharedSlot().reset(); }

std::string ThemeManager::resourceThemesDirectory() {
    if (resourceOverride()) return *resourceOverride();
    const std::string dir = programDirectory();
    if (dir.empty()) return {};
    std::error_code ec;
    for (const fs::path candidate : {fs::path(dir) / "resources" / "themes",
                                     fs::path(dir) / ".." / "share" / "quayside" / "themes"}) {
        if (fs::is_directory(candidate, ec)) return candidate.lexically_normal().string();
    }
    return {};
}

void ThemeManager::setResourceThemesDirectoryForTesting(std::optional<std::string> directory) {
    resourceOverride() = std::move(directory);
}

Value ThemeManager::valueForKey(const std::string& key) const {
    if (key == "themeIndex") return Value(int(themeIndex_));
    if (key == "themeList") {
        Array list;
        for (const auto& theme : themeList_) list.push_back(Value(theme));
        return Value(std::move(list));
    }
    if (key == "currenThemeInfo") {
        auto theme = currenThemeInfo();
        return theme ? Value(theme) : Value();
    }
    return Object::valueForKey(key);
}

void ThemeManager::setValueForKey(const Value& value, const std::string& key) {
    if (key == "themeIndex") {
        int64_t index = value.integerValue();
        return setThemeIndex(index < 0 || index > INT16_MAX ? int16_t(-1) : int16_t(index));
    }
    Object::setValueForKey(value, key);
}

void ThemeManager::setThemeIndex(int16_t index) {
    if (index < 0 || size_t(index) >= themeList_.size()) {
        log("theme ", index, " does not exist (", themeList_.size(), " themes); theme 0 is used");
        index = 0;
    }
    willChangeValueForKey("themeIndex");
    themeIndex_ = index;
    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.setInteger(index, "themeIndex");
    defaults.synchronize();
    didChangeValueForKey("themeIndex");
    NotificationCenter::defaultCenter().postNotificationName(kThemeIndexNotification);
}

ThemeInfoPtr ThemeManager::currenThemeInfo() const {
    if (themeList_.empty()) return nullptr;
    if (themeIndex_ < 0 || size_t(themeIndex_) >= themeList_.size()) return themeList_.front();
    return themeList_[size_t(themeIndex_)];
}

void ThemeManager::refreshThemes() { rebuild(false); }

void ThemeManager::resetThemes() { rebuild(true); }

void ThemeManager::rebuild(bool reset) {
    themeList_.clear();
    if (reset) {
        clearCopyThemesFromBundle();
    } else if (!entryExists(themesDirectoryPath())) {
        // The first start: the folder is made here and gets every resource theme. Once
        // it exists nothing is copied, so themes the user deleted stay deleted.
        if (auto dir = getOrCreateThemeDir()) {
            std::string resources = resourceThemesDirectory();
            if (resources.empty()) {
                log("no resource themes were found next to the program");
            } else {
                for (const auto& source : listFolder(resources))
                    copyResourceTheme(source, fs::path(dir->path()) / source.filename());
            }
        }
    }
    createPredefinedThemes();
    loadThemes();

    int64_t stored = UserDefaults::standardUserDefaults().integerForKey("themeIndex");
    if (stored < 0 || stored >= int64_t(themeList_.size())) {
        log("the stored theme ", stored, " does not exist (", themeList_.size(), " themes); theme 0 is used");
        stored = 0;
    }
    setThemeIndex(int16_t(stored));
    // The current theme's picture is decoded off the main thread while the dock is
    // being made; drawing it waits for that decode when it comes first.
    if (auto theme = currenThemeInfo())
        if (ImagePtr picture = theme->backgroundImage(); picture && picture->isDeferred())
            QThreadPool::globalInstance()->start([picture] { picture->isValid(); });
}

void ThemeManager::addTheme(ThemeInfoPtr theme) {
    if (!theme) return;
    willChangeValueForKey("themeList");
    themeList_.push_back(std::move(theme));
    didChangeValueForKey("themeList");
}

void ThemeManager::openThemeFolder() {
    auto dir = getOrCreateThemeDir();
    if (!dir) return;
    auto* files = desktop::fileServices();
    if (!files || !files->showFolder(dir->path())) {
        log("the themes folder ", dir->path(), " could not be opened");
        desktop::tellUserItFailed("The themes folder " + desktop::quotedName(dir->path()) + " could not be opened.");
    }
}

URLPtr ThemeManager::getOrCreateApplicationDirectory() { return makeDirectory(applicationDirectoryPath()); }

URLPtr ThemeManager::getOrCreateThemeDir() {
    if (!getOrCreateApplicationDirectory()) return nullptr;
    return makeDirectory(themesDirectoryPath());
}

void ThemeManager::createPredefinedThemes() {
    addTheme(makeTheme(ThemeInfo::SystemLight, "System Light", false));
    addTheme(makeTheme(ThemeInfo::SystemDark, "System Dark", true));
    addTheme(makeTheme(ThemeInfo::Transparent, "Transparent", false));
    addTheme(makeTheme(ThemeInfo::ColorTheme, "Color", false));
}

void ThemeManager::loadThemes() {
    auto dir = getOrCreateThemeDir();
    if (!dir) return;
    for (const fs::path& entry : listFolder(dir->path())) {
        const std::string name = entry.filename().string();
        std::error_code ec;
        fs::file_status st = fs::status(entry, ec);
        if (ec) {
            log("theme \"", name, "\" skipped: ", ec.message());
            continue;
        }
        if (!fs::is_directory(st)) continue;  // a stray file is no theme

        const fs::path plist = entry / "theme.plist";
        if (entryExists(plist)) {
            if (auto image = loadPlistPicture(entry, plist, name))
                addTheme(makeTheme(ThemeInfo::PictureTheme, name, false, std::move(image), true));
            continue;
        }
        const fs::path picture = entry / "background.png";
        if (!entryExists(picture)) {
            log("theme \"", name, "\" skipped: it holds neither theme.plist nor background.png");
            continue;
        }
        if (auto image = loadPicture(picture, name))
            addTheme(makeTheme(ThemeInfo::PictureTheme, name, false, std::move(image), false));
    }
}

void ThemeManager::clearCopyThemesFromBundle() {
    std::string resources = resourceThemesDirectory();
    if (resources.empty()) {
        log("no resource themes were found next to the program");
        return;
    }
    auto dir = getOrCreateThemeDir();
    if (!dir) return;
    for (const auto& source : listFolder(resources)) {
        fs::path destination = fs::path(dir->path()) / source.filename();
        if (!entryExists(destination)) copyResourceTheme(source, destination);
    }
}

}  // namespace qs

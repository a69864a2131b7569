#pragma once
// The themes of the dock background: four built into the program (system light, system
// dark, transparent, a flat colour) and the picture themes the user keeps as folders in
// $XDG_DATA_HOME/org.quayside.Quayside/themes. ThemeManager builds and holds the list
// and the index of the current theme; ThemeInfo describes one theme.
//
// A picture theme is a folder whose name is the theme's name, holding either
// "theme.plist" (a dictionary whose "backgroundImage" names the picture, relative to
// the folder) or, without a plist, "background.png". The first time the themes folder
// is made, the program's own picture themes (the resource themes, shipped next to the
// program) are copied into it; a reset copies back those that the user deleted.
//
// Bad theme folders are skipped with a log line: an unreadable or malformed
// "theme.plist", a picture path that leaves the theme folder, a file that is no regular
// file (a symbolic-link loop, a pipe, a device), a picture that does not decode, is
// empty, or is larger than kMaxPictureSide pixels on a side or kMaxPicturePixels pixels
// in all (the size is read from the file's header before anything is decoded). A PNG
// picture is checked whole (every chunk and its checksum) when the list is built and
// decoded when first drawn; the current theme's picture is decoded off the main thread
// at once. Pictures in other formats are decoded when the list is built.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Image.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Color.h"

namespace qs {

// The window appearances a theme asks for.
inline constexpr const char* NSAppearanceNameVibrantLight = "NSAppearanceNameVibrantLight";
inline constexpr const char* NSAppearanceNameVibrantDark = "NSAppearanceNameVibrantDark";

// Posted on the default centre (object nil) after every setThemeIndex.
inline constexpr const char* kThemeIndexNotification = "ThemeIndex";

class ThemeInfo : public Object {
public:
    // Theme kinds (themeType). There is no type 2.
    enum : int32_t {
        SystemLight = 0,
        SystemDark = 1,
        Transparent = 3,
        ColorTheme = 4,
        PictureTheme = 5,
    };

    std::string className() const override { return "ThemeInfo"; }
    std::vector<std::string> classHierarchy() const override { return {"ThemeInfo", "NSObject"}; }
    // The theme's name.
    std::string description() const override { return themeName_; }
    Value valueForKey(const std::string& key) const override;

    bool isDarkAppearance() const { return isDarkAppearance_; }
    void setIsDarkAppearance(bool dark) { isDarkAppearance_ = dark; }
    // Picture themes: YES when described by a "theme.plist", NO for a bare
    // "background.png"; the background drawing turns the picture by it.
    bool backwardImageRotation() const { return backwardImageRotation_; }
    void setBackwardImageRotation(bool backward) { backwardImageRotation_ = backward; }
    int32_t themeType() const { return themeType_; }
    void setThemeType(int32_t type) { themeType_ = type; }
    const std::string& themeName() const { return themeName_; }
    void setThemeName(std::string name) { themeName_ = std::move(name); }
    // NSAppearanceNameVibrantLight or NSAppearanceNameVibrantDark.
    const std::string& windowAppearance() const { return windowAppearance_; }
    void setWindowAppearance(std::string appearance) { windowAppearance_ = std::move(appearance); }
    // The picture of a picture theme; nullptr for the others.
    const ImagePtr& backgroundImage() const { return backgroundImage_; }
    void setBackgroundImage(ImagePtr image) { backgroundImage_ = std::move(image); }

    // The user's background colour (the user default "backgroundColor", a colour's
    // archived data), read at each call; the same for every theme. Black when there is
    // none, and black with a log line when the data is no colour.
    ColorPtr backgroundColor() const;

private:
    bool isDarkAppearance_ = false;
    bool backwardImageRotation_ = false;
    int32_t themeType_ = 0;
    std::string themeName_;
    std::string windowAppearance_ = NSAppearanceNameVibrantLight;
    ImagePtr backgroundImage_;
};

using ThemeInfoPtr = std::shared_ptr<ThemeInfo>;

class ThemeManager : public Object {
public:
    // Pictures larger than this are refused before they are decoded.
    static constexpr int kMaxPictureSide = 8192;
    static constexpr int64_t kMaxPicturePixels = 16 * 1024 * 1024;

    // The one instance; the first call builds the list (refreshThemes).
    static std::shared_ptr<ThemeManager> sharedInstance();
    // Forgets the shared instance, so that the next sharedInstance() builds a new one
    // (tests point XDG_DATA_HOME elsewhere first).
    static void resetSharedInstanceForTesting();

    // The folder of the resource themes: "resources/themes" beside the program (the build
    // tree), else "../share/quayside/themes" beside it (an installed program); "" when
    // neither exists.
    static std::string resourceThemesDirectory();
    // Replaces that search (tests); nullopt restores it.
    static void setResourceThemesDirectoryForTesting(std::optional<std::string> directory);

    ThemeManager() = default;
    std::string className() const override { return "ThemeManager"; }
    // "themeIndex", "themeList" (an array of ThemeInfo) and "currenThemeInfo"; the theme
    // chooser sets "themeIndex".
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

    int16_t themeIndex() const { return themeIndex_; }
    // Announces "themeIndex", stores the index in the user default "themeIndex" and
    // writes the defaults at once, then posts "ThemeIndex". An index outside the list
    // selects theme 0 (with a log line).
    void setThemeIndex(int16_t index);
    const std::vector<ThemeInfoPtr>& themeList() const { return themeList_; }
    // The theme at themeIndex (theme 0 when the index is outside the list).
    ThemeInfoPtr currenThemeInfo() const;

    // Builds the list anew: the resource themes copied on the first start (when the
    // themes folder did not exist yet), the built-in themes, the picture themes in the
    // order the file system lists them, then the stored "themeIndex" applied.
    void refreshThemes();
    // The same, copying back every resource theme whose folder is missing (folders that
    // exist are left as the user made them) in place of the first-start copy.
    void resetThemes();
    // Appends a theme, announcing "themeList".
    void addTheme(ThemeInfoPtr theme);
    // Opens the themes folder in the desktop's file manager, when the folder exists or
    // can be made.
    void openThemeFolder();
    // $XDG_DATA_HOME/org.quayside.Quayside/themes and $XDG_DATA_HOME/org.quayside.Quayside,
    // created with their parents when missing; nullptr (with a log line) when that fails.
    URLPtr getOrCreateThemeDir();
    URLPtr getOrCreateApplicationDirectory();

    void createPredefinedThemes();
    void loadThemes();
    void clearCopyThemesFromBundle();

private:
    void rebuild(bool reset);

    int16_t themeIndex_ = 0;
    std::vector<ThemeInfoPtr> themeList_;
};

using ThemeManagerPtr = std::shared_ptr<ThemeManager>;

}  // namespace qs

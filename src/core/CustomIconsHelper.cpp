#include "core/CustomIconsHelper.h"

#include <cerrno>
#include <cstdlib>

#include "core/FileSystemNode.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"

namespace qs {

namespace {
constexpr const char* kDefaultsKey = "customIconsData";

std::unique_ptr<CustomIconsHelper>& sharedSlot() {
    static std::unique_ptr<CustomIconsHelper> slot;
    return slot;
}
// The defaults the shared store was read from; a new standard defaults object (tests
// install one each) gets a store read from it.
std::weak_ptr<UserDefaults>& sharedSource() {
    static std::weak_ptr<UserDefaults> source;
    return source;
}

// Archive dictionaries have string keys: the key is stored in decimal.
bool parseKey(const std::string& text, uint64_t& key) {
    if (text.empty() || text.size() > 20) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    errno = 0;
    char* end = nullptr;
    key = std::strtoull(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}
}  // namespace

CustomIconsHelper& CustomIconsHelper::sharedInstance() {
    auto& slot = sharedSlot();
    auto current = UserDefaults::standardUserDefaultsPtr();
    if (!slot || sharedSource().lock() != current) {
        slot = std::make_unique<CustomIconsHelper>();
        sharedSource() = current;
    }
    return *slot;
}

void CustomIconsHelper::resetSharedInstanceForTesting() { sharedSlot().reset(); }

CustomIconsHelper::CustomIconsHelper() {
    auto& defaults = UserDefaults::standardUserDefaults();
    if (defaults.objectForKey(kDefaultsKey).isNil()) return;
    // A table that cannot be read is kept aside (the next change would replace it), and
    // the store starts empty; one read in part is copied aside before it is replaced.
    KeyedUnarchiver::Report report;
    Value root;
    if (defaults.hasDataForKey(kDefaultsKey))
        root = KeyedUnarchiver::unarchiveObjectWithData(defaults.dataForKey(kDefaultsKey), report);
    const Dictionary* table = root.dictionary();
    if (!table) {
        defaults.keepValueAside(kDefaultsKey, !defaults.hasDataForKey(kDefaultsKey) ? "it is not data"
                                              : report.failure.empty()           ? "it holds no icon table"
                                                                                 : report.failure);
        return;
    }
    size_t skipped = 0;
    for (const auto& [text, value] : *table) {
        uint64_t key = 0;
        auto image = value.objectAs<Image>();
        if (!parseKey(text, key) || key == 0 || !image) {
            ++skipped;
            continue;
        }
        icons_[key] = std::move(image);
    }
    if (skipped) report.leftOut.push_back(std::to_string(skipped) + " custom icon(s) that cannot be read");
    if (!report.complete()) {
        std::string file = defaults.keepValueAside(kDefaultsKey, "not every icon could be read", false);
        log("-[CustomIconsHelper init] the custom icons were read without what could not be read (", report.summary(),
            ")", file.empty() ? std::string("; no copy of them could be kept") : "; the whole table is kept as " + file);
    }
}

uint64_t CustomIconsHelper::hashForItem(const Object* item) {
    if (!item) return 0;
    const std::string kind = item->className();
    if (kind == "NSRunningApplication") {
        auto app = dynamic_cast<const RunningApplication*>(item);
        if (!app) return 0;
        if (auto url = app->bundleURL()) return url->hash();
        return stableHash(app->localizedName());
    }
    if (kind == "FileSystemNode") {
        auto node = dynamic_cast<const FileSystemNode*>(item);
        auto url = node ? node->URL() : item->valueForKey("URL").objectAs<URL>();
        return url ? url->hash() : 0;
    }
    return 0;
}

ImagePtr CustomIconsHelper::getCustomIconForItem(const Object* item) const {
    uint64_t key = hashForItem(item);
    if (key == 0) return nullptr;
    auto it = icons_.find(key);
    return it == icons_.end() ? nullptr : it->second;
}

void CustomIconsHelper::setCustomIconForItem(const Object* item, ImagePtr icon) {
    if (!icon) {
        clearCustomIconForItem(item);
        return;
    }
    uint64_t key = hashForItem(item);
    if (key == 0) {
        log("-[CustomIconsHelper setCustomIconForItem:icon:] this kind of item has no custom icon; ignored");
        return;
    }
    icons_[key] = std::move(icon);
    seveCustomIcons();
}

void CustomIconsHelper::clearCustomIconForItem(const Object* item) {
    uint64_t key = hashForItem(item);
    if (key != 0) icons_.erase(key);
    seveCustomIcons();
}

void CustomIconsHelper::seveCustomIcons() {
    Dictionary table;
    for (const auto& [key, image] : icons_) table.emplace(std::to_string(key), Value(image));
    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.setArchivedData(KeyedArchiver::archivedDataWithRootObject(Value(std::move(table))), kDefaultsKey);
    defaults.synchronize();
}

}  // namespace qs

#pragma once
// Other applications' badges. Applications announce their launcher state with the
// com.canonical.Unity.LauncherEntry "Update" signal on the session bus: an app_uri
// "application://<desktop-id>.desktop" and the properties "count" and "count-visible".
// The label of an application is its count in decimal while the count is visible, else
// empty. LauncherEntryBadges keeps the latest state per desktop id; the bus listening is
// the backend's (x11/), which hands each signal it decodes to update().

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace qs::desktop {

class BadgeSource {
public:
    virtual ~BadgeSource() = default;
    // NO when badges cannot be read at all (no session bus): every label is then empty.
    virtual bool available() = 0;
    // The label of the application of a desktop id ("org.gnome.Evolution"): its count in
    // decimal while the count is visible, else "".
    virtual std::string statusLabel(const std::string& desktopId) = 0;
};

// One "Update": the properties it carries (absent ones keep their previous value).
struct LauncherEntryUpdate {
    std::optional<int64_t> count;
    std::optional<bool> countVisible;
};

// The latest state per desktop id, bounded: at most kMaxEntries ids are kept (the one
// updated longest ago goes first), so a flood of signals costs a map update each and
// never grows memory. Thread-safe.
class LauncherEntryBadges : public BadgeSource {
public:
    static constexpr size_t kMaxEntries = 256;
    // Larger counts are shown as this one.
    static constexpr int64_t kMaxCount = 99999;
    static constexpr size_t kMaxDesktopIdLength = 255;

    // The desktop id named by an app_uri ("application://org.gnome.Evolution.desktop"
    // gives "org.gnome.Evolution"), or nullopt when the uri names none.
    static std::optional<std::string> desktopIdFromURI(std::string_view appUri);

    // Applies one update. NO (and nothing changes) when the uri names no desktop id or
    // the update carries nothing usable; a negative count is ignored, a huge one clamped.
    bool update(std::string_view appUri, const LauncherEntryUpdate& update);
    void clear();
    size_t size() const;

    void setAvailable(bool available);
    bool available() override;
    std::string statusLabel(const std::string& desktopId) override;

private:
    struct Entry {
        int64_t count = 0;
        bool countVisible = false;
        uint64_t stamp = 0;  // when it was last updated
    };
    mutable std::mutex mutex_;
    std::map<std::string, Entry, std::less<>> entries_;
    uint64_t clock_ = 0;
    bool available_ = true;
};

}  // namespace qs::desktop

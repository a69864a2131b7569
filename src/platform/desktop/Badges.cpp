#include "platform/desktop/Badges.h"

#include <algorithm>

namespace qs::desktop {

namespace {
constexpr std::string_view kScheme = "application://";
constexpr std::string_view kSuffix = ".desktop";
}  // namespace

std::optional<std::string> LauncherEntryBadges::desktopIdFromURI(std::string_view uri) {
    if (uri.substr(0, kScheme.size()) != kScheme) return std::nullopt;
    std::string_view id = uri.substr(kScheme.size());
    if (id.size() > kSuffix.size() && id.substr(id.size() - kSuffix.size()) == kSuffix)
        id.remove_suffix(kSuffix.size());
    if (id.empty() || id.size() > kMaxDesktopIdLength || id == "." || id == ".." || id.front() == '.')
        return std::nullopt;
    // A desktop id is a file name: no folders, no control characters, no blanks at the
    // ends. Anything else is not taken for one.
    for (unsigned char c : id)
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) return std::nullopt;
    if (id.front() == ' ' || id.back() == ' ') return std::nullopt;
    return std::string(id);
}

bool LauncherEntryBadges::update(std::string_view appUri, const LauncherEntryUpdate& update) {
    auto id = desktopIdFromURI(appUri);
    if (!id) return false;
    std::optional<int64_t> count = update.count;
    if (count && *count < 0) count.reset();  // not a count: the previous one stays
    if (count) count = std::min(*count, kMaxCount);
    if (!count && !update.countVisible) return false;

    std::lock_guard lock(mutex_);
    auto it = entries_.find(*id);
    if (it == entries_.end()) {
        if (entries_.size() >= kMaxEntries) {
            auto oldest = std::min_element(entries_.begin(), entries_.end(),
                                           [](const auto& a, const auto& b) { return a.second.stamp < b.second.stamp; });
            entries_.erase(oldest);
        }
        it = entries_.emplace(std::move(*id), Entry{}).first;
    }
    if (count) it->second.count = *count;
    if (update.countVisible) it->second.countVisible = *update.countVisible;
    it->second.stamp = ++clock_;
    return true;
}

void LauncherEntryBadges::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

size_t LauncherEntryBadges::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void LauncherEntryBadges::setAvailable(bool available) {
    std::lock_guard lock(mutex_);
    available_ = available;
}

bool LauncherEntryBadges::available() {
    std::lock_guard lock(mutex_);
    return available_;
}

std::string LauncherEntryBadges::statusLabel(const std::string& desktopId) {
    std::lock_guard lock(mutex_);
    if (!available_) return {};
    auto it = entries_.find(desktopId);
    if (it == entries_.end() || !it->second.countVisible) return {};
    return std::to_string(it->second.count);
}

}  // namespace qs::desktop

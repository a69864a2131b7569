#include "core/ItemImages.h"

#include <map>
#include <mutex>

#include "platform/desktop/IconSources.h"

namespace qs {

namespace {

using desktop::DrawnIcon;
using desktop::GenericKind;

GenericKind kindOf(GenericIcon kind) {
    switch (kind) {
    case GenericIcon::Folder: return GenericKind::Folder;
    case GenericIcon::Application: return GenericKind::Application;
    case GenericIcon::Missing: return GenericKind::Missing;
    case GenericIcon::File:
    default: return GenericKind::Document;
    }
}

// The named image's source: the theme's icon where the desktop has one, else drawn.
ImageSourcePtr sourceNamed(const std::string& name) {
    if (name == "Recycle_Bin") return desktop::themeIconSource({"user-trash"}, desktop::drawnIconSource(DrawnIcon::Trash));
    if (name == "Recycle_Bin_Full")
        return desktop::themeIconSource({"user-trash-full"}, desktop::drawnIconSource(DrawnIcon::TrashFull));
    if (name == "Spaceship") return desktop::themeIconSource({"start-here"}, desktop::drawnIconSource(DrawnIcon::StartMenu));
    if (name == "Group") return desktop::drawnIconSource(DrawnIcon::Group);
    if (name == "folder") return desktop::genericIconSource(GenericKind::Folder);
    if (name == "application") return desktop::genericIconSource(GenericKind::Application);
    if (name == "missing") return desktop::genericIconSource(GenericKind::Missing);
    return desktop::genericIconSource(GenericKind::Document);
}

}  // namespace

ImagePtr imageNamed(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, ImagePtr> cache;
    std::lock_guard lock(mutex);
    auto& slot = cache[name];
    if (!slot) slot = desktop::deferredIcon(sourceNamed(name));
    return slot;
}

ImagePtr genericIcon(GenericIcon kind) {
    switch (kind) {
    case GenericIcon::Folder: return imageNamed("folder");
    case GenericIcon::Application: return imageNamed("application");
    case GenericIcon::Missing: return imageNamed("missing");
    case GenericIcon::File:
    default: return imageNamed("file");
    }
}

ImagePtr themeIcon(std::vector<std::string> namesOrPaths, GenericIcon fallback) {
    return desktop::deferredIcon(
        desktop::themeIconSource(std::move(namesOrPaths), desktop::genericIconSource(kindOf(fallback))));
}

}  // namespace qs

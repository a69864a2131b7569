#include "platform/desktop/Desktop.h"

#include <utility>

#include "platform/desktop/FileServices.h"
#include "platform/foundation/UserDefaults.h"

namespace qs::desktop {

namespace {
Services& slot() {
    static Services installed;
    return installed;
}
}  // namespace

Services& services() { return slot(); }

void install(Services services) {
    slot() = std::move(services);
    // The defaults notice edits of their files through the installed folder watching.
    std::weak_ptr<FileServices> files = slot().files;
    UserDefaults::setFolderWatcher(
        [files](const std::string& folder, UserDefaults::ChangedPaths changed) -> std::shared_ptr<void> {
            auto service = files.lock();
            if (!service) return nullptr;
            std::shared_ptr<FileWatch> watch = service->watchPaths(
                {folder}, false, 0.1, [folder, changed](const std::vector<FileEvent>& events) {
                    std::vector<std::string> paths;
                    for (const auto& e : events)
                        paths.push_back(e.flags & (FileEventMustScanSubDirs | FileEventRootChanged) ? folder : e.path);
                    changed(paths);
                });
            return watch;
        });
}

}  // namespace qs::desktop

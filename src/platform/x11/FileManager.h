#pragma once
// The file services of the real desktop: folder watching on inotify, and the file
// manager over D-Bus (org.freedesktop.FileManager1: ShowItems, ShowItemProperties,
// ShowFolders), falling back to opening the containing folder with xdg-open.

#include <string>
#include <vector>

#include "platform/desktop/FileServices.h"

namespace qs::x11 {

class FileManagerServices : public desktop::FileServices {
public:
    std::unique_ptr<desktop::FileWatch> watchPaths(const std::vector<std::string>& paths, bool subdirectories,
                                                   double latency, desktop::FileWatchHandler handler) override;
    bool showItems(const std::vector<std::string>& paths) override;
    bool showItemProperties(const std::vector<std::string>& paths) override;
    bool showFolder(const std::string& pathOrURI) override;

    // The file manager's D-Bus call; NO when there is no session bus, no file manager
    // service, or it answered with an error.
    static bool callFileManager(const std::string& method, const std::vector<std::string>& uris);
    // Opens a folder or URI with the desktop's default handler (xdg-open). NO when there
    // is no xdg-open; when xdg-open then finds no program for it, the user is told
    // `whatFailed`.
    static bool openWithDefaultHandler(const std::string& pathOrURI, const std::string& whatFailed);
};

}  // namespace qs::x11

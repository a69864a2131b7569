#pragma once
// Simulated file services: folder watches that the test feeds with events, and a file
// manager that records what it was asked. The in-process file operations and the trash
// work on the real (test-private) folders and need nothing from here.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/desktop/FileServices.h"

namespace qs::sim {

class SimFiles : public desktop::FileServices {
public:
    std::unique_ptr<desktop::FileWatch> watchPaths(const std::vector<std::string>& paths, bool subdirectories,
                                                   double latency, desktop::FileWatchHandler handler) override;
    bool showItems(const std::vector<std::string>& paths) override;
    bool showItemProperties(const std::vector<std::string>& paths) override;
    bool showFolder(const std::string& pathOrURI) override;

    // Hands the events under a watched folder (its direct entries, or its whole tree
    // for a watch of subdirectories) to each live watch, as one batch posted to the main
    // run loop. Answers how many watches were given a batch.
    size_t deliverEvents(const std::vector<desktop::FileEvent>& events);
    size_t liveWatchCount() const;
    // Paths of every watch started so far, in order.
    std::vector<std::vector<std::string>> watchedPaths() const;

    // Whether a file manager answers (showItems & co. then answer YES).
    void setFileManagerAvailable(bool available);
    // "showItems <path>...", "showItemProperties <path>...", "showFolder <path>".
    std::vector<std::string> calls() const;

    struct WatchState;

private:
    bool record(const std::string& call);

    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<WatchState>> watches_;
    std::vector<std::vector<std::string>> watched_;
    std::vector<std::string> calls_;
    bool fileManager_ = true;
};

}  // namespace qs::sim

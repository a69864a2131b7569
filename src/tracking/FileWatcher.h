#pragma once
// Watches folder trees for files created, removed and renamed, collects the changed
// paths for half a second and reports them in one call with one event code.
//
// The most recently created watcher is the process-wide current one: every batch is
// collected into its dictionary and every report goes to it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/FileServices.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Value.h"

namespace qs {

class FileWatcher : public Object {
public:
    // Receives the live dictionary (path -> "created" / "removed" / "renamed"), which is
    // emptied right after the call: a receiver that keeps it must copy it.
    using Block = std::function<void(Dictionary& changes, long code)>;

    enum : long { kRemoved = 0, kCreated = 1, kRenamed = 2, kOther = 4 };

    static std::shared_ptr<FileWatcher> initWithBlock(Block block);
    static std::shared_ptr<FileWatcher> init();
    ~FileWatcher() override;

    std::string className() const override { return "FileWatcher"; }

    // Closes any open stream, then watches the trees of the paths ("/" for none).
    void openEventStream(const std::vector<std::string>& paths, double latency);
    void close();
    bool isOpen() const { return static_cast<bool>(eventStream_); }

    // The report: nothing for an empty dictionary; otherwise the block with the code of
    // the first value, then the dictionary is emptied.
    void judgeFileStatus(Dictionary& changes);
    // YES when every value is the same string.
    static bool _moreDictHandle(const Dictionary& changes);
    // The first value ("" when empty).
    static std::string _getMoreOperationStatus(const Dictionary& changes);
    static long codeForStatus(const std::string& status);

    // One delivered batch: each event that counts is collected into the current
    // watcher's dictionary, and a report is queued 0.5 s later.
    static void handleEvents(const std::vector<desktop::FileEvent>& events);

    Dictionary& mDict() { return mDict_; }
    static std::shared_ptr<FileWatcher> current();

    FileWatcher() = default;

private:
    Block callbackBlock_;
    std::unique_ptr<desktop::FileWatch> eventStream_;
    Dictionary mDict_;
};

}  // namespace qs

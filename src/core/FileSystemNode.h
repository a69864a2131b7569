#pragma once
// The dock item for anything on disk: an application (a desktop entry), a document or a
// folder. It holds only its URL; names, kind, dates and icon are read from the file
// system when asked. Folders list their children (cached until invalidated) and can be
// watched for changes.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/FileServices.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/Image.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/URL.h"

namespace qs {

class FileSystemNode;
using FileSystemNodePtr = std::shared_ptr<FileSystemNode>;

class FileSystemNode : public Object, public Coding {
public:
    static FileSystemNodePtr initWithURL(URLPtr url);
    static FileSystemNodePtr initWithPath(const std::string& path);
    static std::shared_ptr<FileSystemNode> initWithCoder(Coder& coder);
    explicit FileSystemNode(URLPtr url) : URL_(std::move(url)) {}
    ~FileSystemNode() override;

    std::string className() const override { return "FileSystemNode"; }
    std::vector<std::string> classHierarchy() const override { return {"FileSystemNode", "NSObject"}; }
    bool isEqual(const Object* other) const override;
    uint64_t hash() const override;
    std::string description() const override;
    Value valueForKey(const std::string& key) const override;
    void encodeWithCoder(Coder& coder) const override;

    URLPtr URL() const;
    std::string path() const;
    bool isPersistent() const { return true; }

    // Names and kinds.
    std::string displayName() const;  // the file-system name, extension included
    // A desktop entry's Name; for an application entry that is not installed, the
    // application's name from its id ("org.gnome.Calculator.desktop": "Calculator");
    // else displayName.
    std::string localizedName() const;
    std::string filename() const;       // displayName without its extension
    std::string displayNameWithoutExt() const { return filename(); }
    std::string name() const { return filename(); }
    bool isDirectory() const;
    bool isPackage() const;
    bool isApplication() const;  // a desktop entry of Type=Application
    // A desktop entry's path whose file is not there: an application not installed.
    bool isMissingApplication() const;
    std::string documentKind() const;

    // Attributes; nullopt or 0 when unreadable.
    std::optional<Date> creationDate() const;
    std::optional<Date> addedDate() const;
    std::optional<Date> modificationDate() const;
    Value labelColor() const { return {}; }  // no label colours on this desktop
    uint64_t size() const;
    std::string formattedFileSize() const;
    std::optional<Date> lastOpened() const;

    // Icons.
    ImagePtr icon() const;
    ImagePtr customIcon() const;
    void setCustomIcon(ImagePtr icon);
    void clearCustomIcon();
    void updateIcon();

    // Running state and actions.
    bool isRunning();
    bool isEqualToAppWithBundleURL(const URLPtr& bundleURL) const;
    // Opens the file or launches the application, or brings a running application
    // forward; NO (and the user is told why) when nothing could be opened or launched.
    bool clickAction(const Object* clicked);
    // Files dropped on the item: an application opens them; a folder takes them in,
    // moved from its own file system and copied from another (FileOperations::
    // dropItemsIntoFolder), telling the user what could not be put there; a document
    // does nothing.
    void prcessFiles(const std::vector<URLPtr>& files);
    bool showAsGrid() const { return showAsGrid_; }
    void setShowAsGrid(bool value);
    bool openInFinder() const { return openInFinder_; }
    void setOpenInFinder(bool value);

    // Children and watching. `children` lists at once on the calling thread when the
    // cache is stale; the cache is guarded, so any thread may ask.
    std::vector<FileSystemNodePtr> children();
    void invalidateChildren();
    // Relists and publishes "childrenArray" on the calling thread (the main thread).
    void populateChildrenArray();
    // Lists on a background thread, then publishes on the main thread and calls `then`.
    void populateChildrenArrayInBackground(std::function<void()> then = {});
    Array childrenArray() const;
    void setChildrenArray(Array children);
    // Watches the listed folders (one that does not exist yet from the folder above it,
    // and from itself once it appears); a change in them relists in the background, then
    // posts "PopulateChildrenArray" with this item.
    void watchChanges();
    void stopWatching();
    bool isWatching() const { return static_cast<bool>(watch_); }

    // The folders listed for this node: its own path, and for the user's applications
    // folder every XDG applications folder.
    std::vector<std::string> listedFolders() const;
    // The folders watched for them: each listed folder, or while it does not exist the
    // nearest folder above it that does (so that it is followed once it appears).
    std::vector<std::string> watchedFolders() const;

private:
    std::vector<FileSystemNodePtr> listChildren(const std::vector<FileSystemNodePtr>& previous) const;
    void publishChildren(std::vector<FileSystemNodePtr> listed);

    RunningApplicationPtr app_;
    bool openInFinder_ = false;
    bool showAsGrid_ = false;
    std::unique_ptr<desktop::FileWatch> watch_;
    URLPtr URL_;
    mutable std::mutex mutex_;  // guards the children cache and childrenArray_
    bool childrenDirty_ = false;
    bool childrenListed_ = false;
    Array childrenArray_;
    std::vector<FileSystemNodePtr> internalChildren_;
};

// The user's applications folder ($XDG_DATA_HOME/applications), the counterpart of the
// local Applications folder.
std::string localApplicationsFolder();

}  // namespace qs

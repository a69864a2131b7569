#pragma once
// The trash at the end of the dock: one shared object whose icon shows whether the
// user's trash ($XDG_DATA_HOME/Trash/files) holds anything, with optional custom icons
// for the empty and the full state that only the archive supplies. It opens and empties
// the trash and moves dropped files into it.
//
// The state follows the real contents of the trash's files/ folder, watched with
// inotify (FileOperations::addTrashObserver), and is read afresh whenever the icon is
// recomputed.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Image.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/URL.h"

namespace qs {

class TrashModel : public Object, public Coding {
public:
    // The shared instance; the first call builds it (name "Trash Bin", the trash watcher,
    // the icon of the current state).
    static std::shared_ptr<TrashModel> init();
    // The shared instance, with the decoded name and custom icons applied to it.
    static std::shared_ptr<TrashModel> initWithCoder(Coder& coder);
    ~TrashModel() override;

    std::string className() const override { return "TrashModel"; }
    std::vector<std::string> classHierarchy() const override { return {"TrashModel", "NSObject"}; }
    void encodeWithCoder(Coder& coder) const override;
    Value valueForKey(const std::string& key) const override;
    std::string description() const override;

    const std::string& name() const { return name_; }
    const std::string& localizedName() const { return name_; }
    ImagePtr icon() const { return icon_; }
    ImagePtr emptyIcon() const { return emptyIcon_; }
    ImagePtr fullIcon() const { return fullIcon_; }

    // Announces "name" and "localizedName", stores, posts "saveDocksData".
    void setName(const std::string& name);
    // Announces "icon", stores, posts "saveDocksData".
    void setIcon(ImagePtr icon);
    // Store, then setIcon(trashImage()).
    void setEmptyIcon(ImagePtr icon);
    void setFullIcon(ImagePtr icon);

    // The custom or built-in ("Recycle_Bin" / "Recycle_Bin_Full") image of the state.
    ImagePtr trashImage() const;
    bool isEmpty() const;
    bool isTrashFull() const { return !isEmpty(); }

    // The trash watcher's call: setIcon(trashImage()), once for the posts of one batch
    // (on the next turn of the main run loop).
    void trashNotify(const Notification& notification);

    bool openTrash();
    bool emptyTrash();
    // YES only when every file was moved into the trash.
    bool moveItemsToTrash(const std::vector<URLPtr>& urls);
    // The same off the main thread (a drop of thousands of files keeps the dock
    // responsive); done(ok) follows on the main loop.
    void moveItemsToTrash(const std::vector<URLPtr>& urls, std::function<void(bool)> done);

    // Drops the shared instance (and its observers) so the next init builds a fresh one.
    static void resetSharedInstanceForTesting();

    TrashModel() = default;

private:
    void setUp();

    std::string name_;
    ImagePtr icon_;
    ImagePtr emptyIcon_;
    ImagePtr fullIcon_;
    bool iconUpdatePending_ = false;
};

using TrashModelPtr = std::shared_ptr<TrashModel>;

}  // namespace qs

#pragma once
// The start menu's dock item: one shared object holding the user's own entries (file,
// folder and application items) and the applications found in the XDG application
// folders ($XDG_DATA_HOME/applications, then each $XDG_DATA_DIRS/applications), which
// it keeps current while those folders change. Entries hidden from menus (NoDisplay,
// Hidden, OnlyShowIn / NotShowIn against $XDG_CURRENT_DESKTOP) are left out of the
// applications list.

#include <memory>
#include <string>
#include <vector>

#include "core/FileSystemNode.h"
#include "platform/foundation/Image.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"

namespace qs {

class MenuModel : public Object, public Coding {
public:
    // The shared instance; the first call loads the sample entries and the applications.
    static std::shared_ptr<MenuModel> init();
    // The shared instance with the archived entries ("modelContent") and custom icon.
    static std::shared_ptr<MenuModel> initWithCoder(Coder& coder);
    // The shared instance when one was made; nullptr otherwise (nothing is made).
    static std::shared_ptr<MenuModel> existingInstance();
    ~MenuModel() override;

    std::string className() const override { return "MenuModel"; }
    std::vector<std::string> classHierarchy() const override { return {"MenuModel", "NSObject"}; }
    // Equal to any object of class name "MenuModel".
    bool isEqual(const Object* other) const override;
    uint64_t hash() const override;
    void encodeWithCoder(Coder& coder) const override;
    Value valueForKey(const std::string& key) const override;

    std::string name() const { return "Start Menu"; }
    std::string localizedName() const { return "Start Menu"; }

    const std::vector<FileSystemNodePtr>& modelContent() const { return modelContent_; }
    const std::vector<FileSystemNodePtr>& appsArray() const { return appsArray_; }
    ImagePtr customIcon() const { return customIcon_; }
    FileSystemNodePtr appDir() const { return appDir_; }
    ImagePtr icon() const { return menuIcon(); }
    void setIcon(ImagePtr icon);

    // The custom icon when set, else the image "Spaceship".
    ImagePtr menuIcon() const;
    // Stores it, sets the icon, posts "saveDocksData".
    void setCustomIcon(ImagePtr icon);

    // Edits of the entries, each inside a "modelContent" change; each posts
    // "saveDocksData" whether or not it changed anything.
    void addItemToModelContent(const FileSystemNodePtr& item);
    void inserItemToModelContent(const FileSystemNodePtr& item, long index);
    void removeItemFromModelContent(const FileSystemNodePtr& item);
    // Removes the entry at that index (not merely one equal to it: the list may hold
    // the same file twice); an index outside the list changes nothing. Posts
    // "saveDocksData" as the other edits do.
    void removeItemFromModelContentAtIndex(long index);

    static FileSystemNodePtr createItemForPath(const std::string& path);
    // The node of a standard folder of the user ("Desktop", "Documents", "Downloads",
    // "Home") or of the applications folder ("Applications"); nullptr when there is none.
    static FileSystemNodePtr createItemForSearchPathDirectory(const std::string& directory);

    void loadSampleItems();
    void loadApps();
    void updateApps(const Notification& notification);

    // Drops the shared instance so the next init builds a fresh one.
    static void resetSharedInstanceForTesting();

    MenuModel() = default;

private:
    void loadUpdateApps();

    std::vector<FileSystemNodePtr> modelContent_;
    std::vector<FileSystemNodePtr> appsArray_;
    ImagePtr customIcon_;
    FileSystemNodePtr appDir_;
    bool observingApps_ = false;
};

using MenuModelPtr = std::shared_ptr<MenuModel>;

}  // namespace qs

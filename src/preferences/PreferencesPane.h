#pragma once
// A pane of the preferences window: a view controller whose view comes from the
// interface file named after its class, and which tells the window how to show it in
// the toolbar (its identifier, image and label).
//
// The view is made on first use (loadView, then viewDidLoad). Its bindings, declared in
// the interface file, are made by bindInterface with the objects "owner" (the pane
// itself, so "owner:config.position" follows the pane's configuration) and "defaults"
// (the shared defaults controller). The window tells a pane when it appears and when the
// window has closed; a closed window's panes have inactive bindings and observe nothing.

#include <QIcon>
#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "platform/foundation/Object.h"

namespace qs {

// The program's localized string for a key (the key itself when there is no translation).
std::string localizedString(const char* key);

class PreferencesPane : public Object {
public:
    ~PreferencesPane() override;

    std::string className() const override { return "NSViewController"; }

    virtual std::string viewIdentifier() const = 0;
    std::string identifier() const { return viewIdentifier(); }
    virtual QIcon toolbarItemImage() const = 0;
    virtual std::string toolbarItemLabel() const = 0;

    // Loads the view on the first call.
    QWidget* view();
    bool isViewLoaded() const { return !view_.isNull(); }

    // The window shows the pane / the window has closed (or shows another pane).
    virtual void viewWillAppear();
    virtual void viewDidDisappear();

protected:
    // Makes the widget of the interface file (no parent).
    virtual QWidget* loadView() = 0;
    virtual void viewDidLoad() {}
    // Objects the interface file names besides "owner" and "defaults".
    virtual std::map<std::string, ObjectPtr> interfaceObjects() { return {}; }

private:
    QPointer<QWidget> view_;
};

using PreferencesPanePtr = std::shared_ptr<PreferencesPane>;

// An image drawn for a toolbar item: `themeName` from the icon theme when it has it,
// else a drawing of our own ("widget", "ExcludedApps", "general", "color", "advanced").
QIcon toolbarImage(const char* themeName, const char* drawing);

}  // namespace qs

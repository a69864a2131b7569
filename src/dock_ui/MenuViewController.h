#pragma once
// The start menu: a transient popover beside the start-menu item with two lists, the
// user's own entries and the applications of the XDG application folders, a search
// field that filters the applications, and buttons that open the start-menu editor, the
// preferences, the documentation page, and quit.
//
// The popover takes the keyboard while open: typing goes to the search field, which
// filters the applications by name ignoring case and diacritics ("cal" finds
// "Calculator", "iCal" and "Cálculo"); the entries are never filtered. Up and Down in
// the field move the selection of the applications, Return opens the selected one (the
// first one when none is selected). Moving the pointer over a row selects it and gives
// its list the keyboard; Return there opens that row, and typed text goes on to the
// search field. A click on a row opens it. Opening an item closes the popover; a running
// application is brought forward, anything else is opened through its desktop entry or
// the default application, off the main thread. Escape and a press outside close it.
//
// The cell actions of each dock panel own one controller and toggle it from the
// start-menu item: isShow, showStartMenuWith and closeStartMenu.
//
// Main thread only (the opening of a chosen item runs in the background by itself).

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include <QPointer>
#include <QString>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"
#include "platform/ui/ArrayController.h"
#include "platform/ui/Popover.h"

class QLineEdit;
class QMessageBox;
class QListView;
class QPushButton;
class QWidget;

namespace Ui {
class MenuViewController;
}

namespace qs {

class FileSystemNode;
class MenuItemListModel;
class MenuModel;

// The window that edits the start menu's own entries; the preferences layer provides it
// (see StartMenuCommands::makeEditor).
class StartMenuEditor {
public:
    virtual ~StartMenuEditor() = default;
    virtual void setModel(const std::shared_ptr<MenuModel>& model) = 0;
    // Brings the editor's window forward.
    virtual void showWindow() = 0;
};

// The program's commands behind the popover's buttons, installed by the layers above
// the dock interface (the application delegate and the preferences). A command that is
// not installed logs a line and does nothing, except terminate, which quits the Qt
// application (the program's termination steps run on QCoreApplication::aboutToQuit).
struct StartMenuCommands {
    // The application delegate's showPreferences: the preferences window.
    std::function<void()> showPreferences;
    // Makes the start-menu editor; called once, on the first use of the edit button.
    std::function<std::shared_ptr<StartMenuEditor>()> makeEditor;
    // Quits the program.
    std::function<void()> terminate;
    // The application delegate's openDocs: the installed documentation.
    std::function<void()> openDocs;
};

class MenuViewController : public Object, public KeyValueObserver, public PopoverDelegate {
public:
    // The search predicate, as a text (the filter applies it by foldForSearch).
    static constexpr const char* kPredicateFormat = "(name contains[cd] $searchString)";
    // Icons of the rows, in points.
    static constexpr int kIconSize = 24;
    // A request to show that follows a close by a press outside within this many seconds
    // is that same press reaching the start-menu item: it leaves the menu closed.
    static constexpr double kReopenGuard = 0.35;

    // init: loads the view (so viewDidLoad runs now, before any model is set) and makes
    // the popover: transient, not animated, taking the keyboard.
    static std::shared_ptr<MenuViewController> init();
    MenuViewController();
    ~MenuViewController() override;

    std::string className() const override { return "MenuViewController"; }
    // "model".
    Value valueForKey(const std::string& key) const override;

    // The commands behind the buttons (see StartMenuCommands).
    static void setCommands(StartMenuCommands commands);
    static const StartMenuCommands& commands();

    void viewDidLoad();
    // Sets the model, makes the view the popover's content and shows the popover at the
    // rectangle of the view (in the view's own coordinates) on the given edge.
    void showStartMenuWith(const std::shared_ptr<MenuModel>& model, const Rect& rect, QWidget* view,
                           RectEdge preferredEdge);
    void closeStartMenu();
    bool isShow() const;

    // Focuses the search field, then focusInputField.
    void viewWillAppear();
    // Selects the search text, then puts the caret at its end.
    void focusInputField();
    void setupObservers();
    void observeValueForKeyPath(const std::string& keyPath, Object* object, const KeyValueChange& change,
                                void* context) override;
    // Hover tracking over both lists.
    void updateTrackingAreas();
    // The pointer at a global (Qt) position: the entries list first, then the
    // applications list; the row under it, when there is one, becomes the only selected
    // row and its list gets the keyboard.
    void mouseMoved(const QPoint& globalPosition);
    // Applies the search text to the applications (none when empty).
    void updateFilterAction();
    // The first selected entry / application is opened and the popover closes.
    void clickAction();
    void appsClickAction();
    // Opens the item: a running application comes forward, anything else is opened in
    // the background. A file that is gone is logged and left alone; an application that
    // is not installed is said so in a message.
    void doAction(const std::shared_ptr<FileSystemNode>& item);
    // The editor (made on first use, then reused) with the current model, in front.
    void customizeMenu();
    void QuaysidePrefs();
    void openDocs();
    void quit();
    void tableViewSelectionDidChange() {}

    // PopoverDelegate.
    void popoverDidClose(Popover& popover) override;

    // The text as the search compares it: canonical decomposition without the
    // non-spacing marks, case-folded.
    static QString foldForSearch(const QString& text);

    // Parts, for the cell actions and tests.
    QWidget* view() const { return view_.get(); }
    Popover* popover() const { return popover_.get(); }
    std::shared_ptr<MenuModel> model() const { return model_; }
    QListView* tableView() const;
    QListView* appTableView() const;
    QLineEdit* searchField() const;
    QPushButton* customizeButton() const;
    QPushButton* preferencesButton() const;
    QPushButton* documentationButton() const;
    QPushButton* quitButton() const;
    const ArrayControllerPtr& arrayController() const { return arrayController_; }
    const ArrayControllerPtr& appsArrayController() const { return appsArrayController_; }
    std::shared_ptr<StartMenuEditor> prefs() const { return prefs_; }
    // The message that tells an application is not installed, while it is shown.
    QMessageBox* notInstalledMessage() const;
    // The name a row shows for an item (a desktop entry's Name, else the file name).
    QString displayNameFor(const Object* item) const;

private:
    friend class MenuViewEvents;
    struct Names {
        std::weak_ptr<Object> item;
        QString display;
        QString folded;
    };
    const Names& namesFor(const Value& item) const;
    bool filterAccepts(const Value& item) const;
    void setModel(const std::shared_ptr<MenuModel>& model);
    void selectRow(QListView* list, int row);
    // Moves the applications' selection by `delta` rows (from the search field).
    void moveApplicationSelection(int delta);
    // The first selected object of a controller, as a file item.
    static std::shared_ptr<FileSystemNode> firstSelected(const ArrayController& controller);
    void choose(const std::shared_ptr<FileSystemNode>& item);
    void syncSelectionToView(QListView* list, const ArrayController& controller);

    std::unique_ptr<QWidget> view_;
    std::unique_ptr<Ui::MenuViewController> ui_;
    std::unique_ptr<Popover> popover_;
    std::shared_ptr<MenuModel> model_;
    ArrayControllerPtr arrayController_;
    ArrayControllerPtr appsArrayController_;
    MenuItemListModel* entriesModel_ = nullptr;  // owned by view_
    MenuItemListModel* appsModel_ = nullptr;     // owned by view_
    QObject* events_ = nullptr;                  // owned by view_
    std::shared_ptr<StartMenuEditor> prefs_;
    KeyValueObservation entriesSelection_;
    KeyValueObservation appsSelection_;
    bool syncingSelection_ = false;
    bool trackingMouse_ = false;
    QString searchString_;  // folded; empty: no filter
    mutable std::unordered_map<const Object*, Names> names_;
    // The last close that the user caused outside the controller (a press outside,
    // Escape), for the toggle from the start-menu item.
    double userClosedAt_ = -1.0;
    QPointer<QWidget> lastPositioningView_;
    bool closingOurselves_ = false;
    QPointer<QMessageBox> notInstalled_;
};

using MenuViewControllerPtr = std::shared_ptr<MenuViewController>;

}  // namespace qs

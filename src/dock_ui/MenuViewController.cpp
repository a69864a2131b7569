#include "dock_ui/MenuViewController.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include <QAbstractListModel>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>

#include "core/FileSystemNode.h"
#include "core/MenuModel.h"
#include "dock_ui/ItemIconCache.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/DesktopEntryFile.h"
#include "platform/desktop/Workspace.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "ui_MenuViewController.h"

namespace qs {

namespace {

char myContext[] = "myContext";

StartMenuCommands& installedCommands() {
    static StartMenuCommands commands;
    return commands;
}

bool isReturn(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

// One list row per arranged object of an array controller, following its
// "arrangedObjects". Rows show the item's name and its icon, which the icon cache may
// deliver later.
class MenuItemListModel : public QAbstractListModel {
public:
    MenuItemListModel(MenuViewController& owner, ArrayControllerPtr controller, QListView* list)
        : QAbstractListModel(list), owner_(owner), controller_(std::move(controller)), list_(list) {
        arranged_ = controller_->observe("arrangedObjects", KeyValueObservingOptionNew,
                                         [this](const KeyValueChange&) { rearranged(); });
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(controller_->arrangedObjects().size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const Array& objects = controller_->arrangedObjects();
        if (!index.isValid() || index.row() < 0 || size_t(index.row()) >= objects.size()) return {};
        const Value& item = objects[size_t(index.row())];
        switch (role) {
        case Qt::DisplayRole: return owner_.displayNameFor(item.object().get());
        case Qt::ToolTipRole: {
            if (auto node = item.objectAs<FileSystemNode>()) return QString::fromStdString(node->path());
            return {};
        }
        case Qt::DecorationRole: {
            const int pixels = int(std::lround(MenuViewController::kIconSize * list_->devicePixelRatioF()));
            QPointer<QListView> list = list_;
            QImage icon = ItemIconCache::shared().iconForItem(item.object(), pixels, list_, [list](const QImage&) {
                if (list) list->viewport()->update();
            });
            if (icon.isNull()) {
                // Until the cache delivers it, a clear picture of the icon's size: the
                // list takes its row height from its first row, and a row sized without
                // its icon would let the icons drawn later overlap.
                icon = QImage(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
                icon.fill(Qt::transparent);
            }
            icon.setDevicePixelRatio(list_->devicePixelRatioF());
            return icon;
        }
        default: return {};
        }
    }

    // Called after every new arrangement, with the view's selection made again.
    std::function<void()> afterReset;

private:
    void rearranged() {
        beginResetModel();
        endResetModel();
        if (afterReset) afterReset();
    }

    MenuViewController& owner_;
    ArrayControllerPtr controller_;
    QListView* list_;
    KeyValueObservation arranged_;
};

// The view's input: hover over the lists, the keys of the search field and the lists.
class MenuViewEvents : public QObject {
public:
    MenuViewEvents(MenuViewController& owner, QObject* parent) : QObject(parent), owner_(owner) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* entries = owner_.tableView();
        auto* apps = owner_.appTableView();
        if (event->type() == QEvent::MouseMove && (watched == entries->viewport() || watched == apps->viewport())) {
            owner_.mouseMoved(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            return false;
        }
        if (event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == owner_.searchField()) {
            if (isReturn(key->key())) {
                if (owner_.appsArrayController()->arrangedObjects().empty()) return true;
                if (owner_.appsArrayController()->selectionIndexes().empty()) owner_.selectRow(apps, 0);
                owner_.appsClickAction();
                return true;
            }
            if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up) {
                owner_.moveApplicationSelection(key->key() == Qt::Key_Down ? 1 : -1);
                return true;
            }
            return false;
        }
        if (watched == entries || watched == apps) {
            if (isReturn(key->key())) {
                if (watched == entries)
                    owner_.clickAction();
                else
                    owner_.appsClickAction();
                return true;
            }
            // Typing over a list (which the pointer gave the keyboard) goes on in the
            // search field.
            const Qt::KeyboardModifiers chords = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
            const QString text = key->text();
            const bool typed = !(key->modifiers() & chords) && !text.isEmpty() && text.at(0).isPrint();
            if (typed || key->key() == Qt::Key_Backspace) {
                QLineEdit* field = owner_.searchField();
                field->setFocus(Qt::OtherFocusReason);
                QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                               ushort(key->count()));
                QCoreApplication::sendEvent(field, &copy);
                return true;
            }
        }
        return false;
    }

private:
    MenuViewController& owner_;
};

void MenuViewController::setCommands(StartMenuCommands commands) { installedCommands() = std::move(commands); }

const StartMenuCommands& MenuViewController::commands() { return installedCommands(); }

std::shared_ptr<MenuViewController> MenuViewController::init() {
    auto controller = std::make_shared<MenuViewController>();
    controller->viewDidLoad();
    // The content follows the model of the latest show.
    controller->arrayController_->bind("contentArray", controller, "model.modelContent");
    controller->appsArrayController_->bind("contentArray", controller, "model.appsArray");
    controller->popover_->setDelegate(controller);
    return controller;
}

MenuViewController::MenuViewController()
    : view_(std::make_unique<QWidget>()),
      ui_(std::make_unique<Ui::MenuViewController>()),
      popover_(std::make_unique<Popover>()),
      arrayController_(ArrayController::create()),
      appsArrayController_(ArrayController::create()) {
    ui_->setupUi(view_.get());
    view_->setAttribute(Qt::WA_AcceptTouchEvents);
    popover_->setBehavior(NSPopoverBehaviorTransient);
    popover_->setAnimates(false);
    popover_->setTakesKeyboardFocus(true);
    popover_->setContentSize(MakeSize(view_->width(), view_->height()));
}

MenuViewController::~MenuViewController() {
    // The lists' models stop following the controllers before anything goes.
    if (auto* m = entriesModel_) m->afterReset = nullptr;
    if (auto* m = appsModel_) m->afterReset = nullptr;
    popover_.reset();
    view_.reset();
}

Value MenuViewController::valueForKey(const std::string& key) const {
    if (key == "model") return model_ ? Value(model_) : Value();
    return Object::valueForKey(key);
}

QListView* MenuViewController::tableView() const { return ui_->tableView; }
QListView* MenuViewController::appTableView() const { return ui_->appTableView; }
QLineEdit* MenuViewController::searchField() const { return ui_->searchField; }
QPushButton* MenuViewController::customizeButton() const { return ui_->customizeButton; }
QPushButton* MenuViewController::preferencesButton() const { return ui_->preferencesButton; }
QPushButton* MenuViewController::documentationButton() const { return ui_->documentationButton; }
QPushButton* MenuViewController::quitButton() const { return ui_->quitButton; }

void MenuViewController::viewDidLoad() {
    for (QListView* list : {tableView(), appTableView()}) {
        list->setAutoFillBackground(false);
        list->viewport()->setAutoFillBackground(false);
        QPalette palette = list->palette();
        palette.setColor(QPalette::Base, Qt::transparent);
        list->setPalette(palette);
    }
    entriesModel_ = new MenuItemListModel(*this, arrayController_, tableView());
    appsModel_ = new MenuItemListModel(*this, appsArrayController_, appTableView());
    tableView()->setModel(entriesModel_);
    appTableView()->setModel(appsModel_);
    entriesModel_->afterReset = [this] { syncSelectionToView(tableView(), *arrayController_); };
    appsModel_->afterReset = [this] { syncSelectionToView(appTableView(), *appsArrayController_); };

    // The lists' selections and the controllers' selections are one.
    auto follow = [this](QListView* list, const ArrayControllerPtr& controller) {
        QObject::connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, view_.get(),
                         [list, controller, this] {
                             if (syncingSelection_) return;
                             IndexSet rows;
                             for (const QModelIndex& index : list->selectionModel()->selectedRows())
                                 rows.push_back(size_t(index.row()));
                             controller->setSelectionIndexes(rows);
                             tableViewSelectionDidChange();
                         });
    };
    follow(tableView(), arrayController_);
    follow(appTableView(), appsArrayController_);
    entriesSelection_ = arrayController_->observe("selectionIndexes", KeyValueObservingOptionNew, [this](const KeyValueChange&) {
        syncSelectionToView(tableView(), *arrayController_);
    });
    appsSelection_ = appsArrayController_->observe("selectionIndexes", KeyValueObservingOptionNew, [this](const KeyValueChange&) {
        syncSelectionToView(appTableView(), *appsArrayController_);
    });

    QObject::connect(tableView(), &QListView::clicked, view_.get(), [this](const QModelIndex& index) {
        selectRow(tableView(), index.row());
        clickAction();
    });
    QObject::connect(appTableView(), &QListView::clicked, view_.get(), [this](const QModelIndex& index) {
        selectRow(appTableView(), index.row());
        appsClickAction();
    });
    QObject::connect(searchField(), &QLineEdit::textChanged, view_.get(), [this] { updateFilterAction(); });
    QObject::connect(customizeButton(), &QPushButton::clicked, view_.get(), [this] { customizeMenu(); });
    QObject::connect(preferencesButton(), &QPushButton::clicked, view_.get(), [this] { QuaysidePrefs(); });
    QObject::connect(documentationButton(), &QPushButton::clicked, view_.get(), [this] { openDocs(); });
    QObject::connect(quitButton(), &QPushButton::clicked, view_.get(), [this] { quit(); });

    auto* events = new MenuViewEvents(*this, view_.get());
    events_ = events;
    searchField()->installEventFilter(events);
    for (QListView* list : {tableView(), appTableView()}) list->installEventFilter(events);

    updateTrackingAreas();
    setupObservers();
}

void MenuViewController::updateTrackingAreas() {
    if (trackingMouse_) return;
    trackingMouse_ = true;
    for (QListView* list : {tableView(), appTableView()}) {
        list->setMouseTracking(true);
        list->viewport()->setMouseTracking(true);
        list->viewport()->installEventFilter(events_);
    }
}

void MenuViewController::setupObservers() {
    const unsigned options = KeyValueObservingOptionNew | KeyValueObservingOptionOld;
    addObserver(this, "model.modelContent", options, myContext);
    addObserver(this, "model.appsArray", options, myContext);
}

void MenuViewController::observeValueForKeyPath(const std::string& keyPath, Object*, const KeyValueChange&,
                                                void* context) {
    if (context != myContext) return;
    if (keyPath == "model.modelContent") {
        arrayController_->rearrangeObjects();
    } else if (keyPath == "model.appsArray") {
        // The folders changed: an entry may have a new name (its item stays the same).
        // Names are read again when next needed.
        names_.clear();
        appsArrayController_->rearrangeObjects();
        appTableView()->viewport()->update();
    }
}

void MenuViewController::setModel(const std::shared_ptr<MenuModel>& model) {
    if (model == model_) return;
    willChangeValueForKey("model");
    model_ = model;
    didChangeValueForKey("model");
}

void MenuViewController::showStartMenuWith(const std::shared_ptr<MenuModel>& model, const Rect& rect, QWidget* view,
                                           RectEdge preferredEdge) {
    if (!model) {
        log("the start menu has no model to show");
        return;
    }
    if (!view) {
        log("the start menu has no item to stand beside");
        return;
    }
    // The press outside that closed the menu reaches the start-menu item afterwards and
    // would open it again at once: the click that meant "close" leaves it closed.
    const double now = RunLoop::main().now();
    const bool reopening = userClosedAt_ >= 0.0 && view == lastPositioningView_ && now - userClosedAt_ < kReopenGuard;
    userClosedAt_ = -1.0;
    if (reopening && !isShow()) return;

    setModel(model);
    if (popover_->contentView() != view_.get()) popover_->setContentView(view_.get());
    viewWillAppear();
    popover_->showRelativeToRect(rect, view, preferredEdge);
    lastPositioningView_ = view;
}

void MenuViewController::closeStartMenu() {
    closingOurselves_ = true;
    popover_->close();
    closingOurselves_ = false;
}

bool MenuViewController::isShow() const { return popover_ && popover_->isShown(); }

void MenuViewController::popoverDidClose(Popover&) {
    // A press outside closes the menu while the button is down; Escape does not.
    if (!closingOurselves_ && QGuiApplication::mouseButtons() != Qt::NoButton) userClosedAt_ = RunLoop::main().now();
}

void MenuViewController::viewWillAppear() {
    searchField()->setFocus(Qt::PopupFocusReason);
    focusInputField();
}

void MenuViewController::focusInputField() {
    QLineEdit* field = searchField();
    field->selectAll();
    field->setCursorPosition(int(field->text().size()));  // the caret at the end, nothing selected
}

void MenuViewController::mouseMoved(const QPoint& globalPosition) {
    for (QListView* list : {tableView(), appTableView()}) {
        if (!list->isVisible()) continue;
        const QPoint p = list->viewport()->mapFromGlobal(globalPosition);
        if (!list->viewport()->rect().contains(p)) continue;
        const QModelIndex index = list->indexAt(p);
        if (!index.isValid()) continue;
        selectRow(list, index.row());
        list->setFocus(Qt::MouseFocusReason);
    }
}

QString MenuViewController::foldForSearch(const QString& text) {
    bool ascii = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) return text.toLower();
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) out.append(c);
    return out.toCaseFolded();
}

const MenuViewController::Names& MenuViewController::namesFor(const Value& item) const {
    auto object = item.object();
    auto it = names_.find(object.get());
    if (it != names_.end() && !it->second.item.expired()) return it->second;
    Names names;
    names.item = object;
    if (auto node = std::dynamic_pointer_cast<FileSystemNode>(object)) {
        // An application's Name; a desktop entry that cannot be read shows its file name
        // without ".desktop".
        std::string name = node->localizedName();
        if (name == node->displayName() && desktop::isDesktopEntryPath(node->path())) name = node->filename();
        names.display = QString::fromStdString(name);
    }
    else if (object)
        names.display = QString::fromStdString(object->valueForKey("localizedName").stringValue());
    else
        names.display = QString::fromStdString(item.stringValue());
    names.folded = foldForSearch(names.display);
    auto& slot = names_[object.get()];
    slot = std::move(names);
    return slot;
}

QString MenuViewController::displayNameFor(const Object* item) const {
    auto it = names_.find(item);
    if (it != names_.end() && !it->second.item.expired()) return it->second.display;
    if (!item) return {};
    // Rows are only made for arranged objects, which are alive.
    return namesFor(Value(const_cast<Object*>(item)->shared_from_this())).display;
}

bool MenuViewController::filterAccepts(const Value& item) const {
    if (searchString_.isEmpty()) return true;
    return namesFor(item).folded.contains(searchString_);
}

void MenuViewController::updateFilterAction() {
    const QString text = searchField()->text();
    searchString_ = text.isEmpty() ? QString() : foldForSearch(text);
    if (searchString_.isEmpty())
        appsArrayController_->setFilterPredicate(nullptr);
    else
        appsArrayController_->setFilterPredicate([this](const Value& item) { return filterAccepts(item); });
}

void MenuViewController::selectRow(QListView* list, int row) {
    auto* model = list->model();
    if (!model || row < 0 || row >= model->rowCount()) return;
    const QModelIndex index = model->index(row, 0);
    list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MenuViewController::moveApplicationSelection(int delta) {
    const int count = int(appsArrayController_->arrangedObjects().size());
    if (count == 0) return;
    const IndexSet& selected = appsArrayController_->selectionIndexes();
    int row = selected.empty() ? (delta > 0 ? 0 : count - 1) : std::clamp(int(selected.front()) + delta, 0, count - 1);
    selectRow(appTableView(), row);
    appTableView()->scrollTo(appTableView()->model()->index(row, 0));
}

void MenuViewController::syncSelectionToView(QListView* list, const ArrayController& controller) {
    // Right after a new arrangement the controller may still hold the old indexes; its
    // own announcement of the new ones follows and syncs again. The view never writes
    // back what it is given here.
    QItemSelection selection;
    for (size_t row : controller.selectionIndexes()) {
        const QModelIndex index = list->model()->index(int(row), 0);
        if (index.isValid()) selection.select(index, index);
    }
    syncingSelection_ = true;
    list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    syncingSelection_ = false;
}

std::shared_ptr<FileSystemNode> MenuViewController::firstSelected(const ArrayController& controller) {
    Array selected = controller.selectedObjects();
    if (selected.empty()) return nullptr;
    return selected.front().objectAs<FileSystemNode>();
}

void MenuViewController::clickAction() { choose(firstSelected(*arrayController_)); }

void MenuViewController::appsClickAction() { choose(firstSelected(*appsArrayController_)); }

void MenuViewController::choose(const std::shared_ptr<FileSystemNode>& item) {
    if (!item) return;
    closeStartMenu();
    doAction(item);
}

void MenuViewController::doAction(const std::shared_ptr<FileSystemNode>& item) {
    if (!item) return;
    const std::string path = item->path();
    std::error_code ec;
    if (item->isMissingApplication()) {
        // A sample entry of an application this machine does not have.
        const QString name = displayNameFor(item.get());
        log("the start-menu item ", path, ": ", name.toStdString(), " is not installed");
        if (notInstalled_) notInstalled_->close();
        notInstalled_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Quayside"),
                                        QStringLiteral("\u201C%1\u201D is not installed.").arg(name), QMessageBox::Ok);
        notInstalled_->setInformativeText(
            QStringLiteral("Its desktop entry %1 is missing.").arg(QString::fromStdString(path)));
        notInstalled_->setAttribute(Qt::WA_DeleteOnClose);
        notInstalled_->setModal(false);
        notInstalled_->show();
        return;
    }
    if (path.empty() || !std::filesystem::exists(path, ec)) {
        // An entry whose file went away (a removed desktop entry, an unmounted folder):
        // nothing to open; the entry stays the user's.
        log("the start-menu item ", path.empty() ? item->description() : path, " no longer exists; not opened");
        return;
    }
    const bool application = item->isApplication();
    // A running application only comes forward: quick, and on the main thread where the
    // window tracking lives.
    if (application && item->isRunning()) {
        item->clickAction(item.get());
        return;
    }
    std::shared_ptr<desktop::Workspace> ws = desktop::services().workspace;
    URLPtr url = item->URL();
    if (!ws || !url) {
        log("cannot open ", path, ": no workspace");
        return;
    }
    // The desktop entry is read here, so the launch in the background only runs it.
    if (application && !ws->entryAtPath(path)) {
        log("cannot open ", path, ": its desktop entry cannot be read");
        return;
    }
    // Starting a program or asking the default application can be slow: it runs in the
    // background, and the popover is already closed.
    RunLoop::main().runInBackground<bool>(
        [ws, application, path, url] { return application ? ws->launchApplication(path) : ws->openURL(*url); },
        [path, application](bool ok) {
            if (ok) return;
            log("cannot open ", path);
            desktop::tellUserItFailed(desktop::quotedName(path) +
                                      (application ? " could not be started." : " could not be opened."));
        });
}

void MenuViewController::customizeMenu() {
    if (!prefs_) {
        if (const auto& make = commands().makeEditor) prefs_ = make();
        if (!prefs_) {
            log("the start-menu editor is not available");
            return;
        }
    }
    prefs_->setModel(model_);
    // The editor is a window of its own that wants the keyboard: the menu makes way.
    closeStartMenu();
    if (auto self = RunningApplication::currentApplication())
        self->activateWithOptions(NSApplicationActivateIgnoringOtherApps);
    prefs_->showWindow();
}

void MenuViewController::QuaysidePrefs() {
    closeStartMenu();
    if (const auto& show = commands().showPreferences)
        show();
    else
        log("the preferences window is not available");
}

QMessageBox* MenuViewController::notInstalledMessage() const { return notInstalled_.data(); }

void MenuViewController::openDocs() {
    closeStartMenu();
    if (const auto& open = commands().openDocs)
        open();
    else
        log("the documentation is not available");
}

void MenuViewController::quit() {
    closeStartMenu();
    if (const auto& terminate = commands().terminate)
        terminate();
    else
        QCoreApplication::exit(0);
}

}  // namespace qs

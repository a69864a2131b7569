#include "platform/ui/MenuPresenter.h"

#include <algorithm>
#include <optional>
#include <set>

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include "platform/foundation/NotificationCenter.h"

namespace qs::MenuPresenter {

namespace {

// The menus on screen now; tracking begins when the first opens and ends when the last
// closes.
std::set<const QMenu*>& openMenus() {
    static std::set<const QMenu*> menus;
    return menus;
}

void menuOpened(const QMenu* menu) {
    if (!openMenus().insert(menu).second || openMenus().size() != 1) return;
    NotificationCenter::defaultCenter().postNotificationName(kMenuDidBeginTracking);
}

void menuClosed(const QMenu* menu) {
    if (openMenus().erase(menu) == 0 || !openMenus().empty()) return;
    NotificationCenter::defaultCenter().postNotificationName(kMenuDidEndTracking);
}

// A QMenu that shows one model menu and rebuilds itself from it before each showing.
//
// The title of a submenu's QMenu is the text of the entry that holds it: Qt shows a
// menu's title on the action holding it, so a submenu keeps its entry's title whatever
// its model is titled (a lazily filled folder's model carries the folder's path).
class ModelMenu : public QMenu {
public:
    ModelMenu(MenuPtr model, QWidget* parent, std::optional<QString> entryTitle = std::nullopt)
        : QMenu(parent), model_(std::move(model)), entryTitle_(std::move(entryTitle)) {
        setTitle(entryTitle_ ? *entryTitle_ : displayText(model_->title()));
        setToolTipsVisible(true);
        // Every separator of the model shows, two in a row included, as the model says.
        setSeparatorsCollapsible(false);
        connect(this, &QMenu::aboutToShow, this, [this] {
            // A menu prepared for this showing keeps its actions (one of them may be the
            // positioning action Qt is holding).
            if (prepared_)
                prepared_ = false;
            else
                rebuild(true);
            menuOpened(this);
            if (auto d = model_->delegate()) d->menuWillOpen(*model_);
        });
        connect(this, &QMenu::aboutToHide, this, [this] {
            menuClosed(this);
            if (auto d = model_->delegate()) d->menuDidClose(*model_);
        });
        rebuild(false);
    }
    ~ModelMenu() override { menuClosed(this); }

    // Updates and builds the menu now, for a showing that follows at once.
    void prepare() {
        rebuild(true);
        prepared_ = true;
    }

    bool chosen = false;

private:
    void rebuild(bool update) {
        if (update) model_->update();
        // The submenus of the previous showing go with their actions.
        for (QAction* a : actions())
            if (QMenu* sub = a->menu()) sub->deleteLater();
        clear();
        if (!entryTitle_) setTitle(displayText(model_->title()));
        for (const MenuItemPtr& item : model_->items()) {
            if (item->isHidden()) continue;
            if (item->isSeparatorItem()) {
                addSeparator();
                continue;
            }
            QAction* action = addAction(displayText(item->title()));
            if (item->image() && item->image()->isValid())
                action->setIcon(QIcon(QPixmap::fromImage(item->image()->qimage())));
            if (!item->toolTip().empty()) action->setToolTip(QString::fromStdString(item->toolTip()));
            action->setEnabled(model_->isItemEnabled(*item));
            if (item->state() != NSControlStateValueOff) {
                action->setCheckable(true);
                action->setChecked(true);
            }
            if (item->submenu()) {
                action->setMenu(new ModelMenu(item->submenu(), this, action->text()));
                continue;
            }
            std::weak_ptr<MenuItem> weak = item;
            connect(action, &QAction::triggered, this, [this, weak] {
                markChosen();
                if (auto i = weak.lock()) i->performAction();
            });
        }
    }

    // A choice in a submenu counts for the menu that was popped up.
    void markChosen() {
        for (QObject* o = this; o; o = o->parent())
            if (auto* m = dynamic_cast<ModelMenu*>(o)) m->chosen = true;
    }

    MenuPtr model_;
    std::optional<QString> entryTitle_;
    bool prepared_ = false;
};

}  // namespace

QString displayText(const std::string& title) {
    return QString::fromStdString(title).replace(QLatin1Char('&'), QLatin1String("&&"));
}

bool isTracking() { return !openMenus().empty(); }

bool hasEntries(const QMenu& menu) {
    const auto actions = menu.actions();
    return std::any_of(actions.begin(), actions.end(), [](const QAction* a) { return a->isVisible() && !a->isSeparator(); });
}

QMenu* makeQMenu(const MenuPtr& menu, QWidget* parent) {
    if (!menu) return nullptr;
    return new ModelMenu(menu, parent);
}

bool popUpMenuPositioningItem(const MenuPtr& menu, const MenuItemPtr& item, const Point& location, QWidget* view) {
    if (!menu) return false;
    auto* shown = static_cast<ModelMenu*>(makeQMenu(menu, nullptr));
    QPointer<ModelMenu> guard(shown);
    shown->prepare();
    if (!hasEntries(*shown)) {
        // Nothing to choose: no pop-up, which would hold the pointer and swallow the
        // next click.
        delete shown;
        return false;
    }
    QPoint at(int(location.x), int(location.y));
    if (view) at = view->mapToGlobal(at);
    QAction* positioned = nullptr;
    if (item) {
        long index = menu->indexOfItem(item);
        long shownIndex = 0;
        for (long i = 0; i < long(menu->numberOfItems()) && index >= 0; ++i) {
            if (menu->itemAtIndex(size_t(i))->isHidden()) continue;
            if (i == index && shownIndex < shown->actions().size()) positioned = shown->actions().at(shownIndex);
            ++shownIndex;
        }
    }
    shown->exec(at, positioned);
    bool chosen = guard && guard->chosen;
    delete guard.data();
    return chosen;
}

}  // namespace qs::MenuPresenter

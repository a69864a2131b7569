#include "platform/ui/MenuPresenter.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

namespace qs::MenuPresenter {

namespace {

// A QMenu that shows one model menu and rebuilds itself from it before each showing.
class ModelMenu : public QMenu {
public:
    ModelMenu(MenuPtr model, QWidget* parent) : QMenu(parent), model_(std::move(model)) {
        setTitle(displayText(model_->title()));
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
            if (auto d = model_->delegate()) d->menuWillOpen(*model_);
        });
        connect(this, &QMenu::aboutToHide, this, [this] {
            if (auto d = model_->delegate()) d->menuDidClose(*model_);
        });
        rebuild(false);
    }

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
        setTitle(displayText(model_->title()));
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
                action->setMenu(new ModelMenu(item->submenu(), this));
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
    bool prepared_ = false;
};

}  // namespace

QString displayText(const std::string& title) {
    return QString::fromStdString(title).replace(QLatin1Char('&'), QLatin1String("&&"));
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

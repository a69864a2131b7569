#include "preferences/BlacklistViewController.h"

#include <QHeaderView>
#include <QPushButton>

#include "core/BlacklistItem.h"
#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "platform/desktop/DesktopEntryFile.h"
#include "platform/ui/BindingTableModel.h"
#include "platform/ui/OpenPanel.h"
#include "ui_BlacklistViewController.h"

namespace qs {

std::shared_ptr<BlacklistViewController> BlacklistViewController::create() {
    return std::make_shared<BlacklistViewController>();
}

BlacklistViewController::BlacklistViewController() = default;
BlacklistViewController::~BlacklistViewController() = default;

QIcon BlacklistViewController::toolbarItemImage() const { return toolbarImage(nullptr, "ExcludedApps"); }

Value BlacklistViewController::valueForKey(const std::string& key) const {
    if (key == "model") {
        auto m = model();
        return m ? Value(m) : Value();
    }
    if (key == "arrayController") return Value(arrayController_);
    return PreferencesPane::valueForKey(key);
}

void BlacklistViewController::setModel(const std::shared_ptr<DockModel>& model) {
    willChangeValueForKey("model");
    model_ = model;
    didChangeValueForKey("model");
}

void BlacklistViewController::bindContent() {
    // The controller's content is the model's block list; each change of it arranges the
    // table again. Only while the pane shows: a closed window follows nothing.
    arrayController_->bind("contentArray", shared_from_this(), "model.blackList");
    listObservation_ = observe("model.blackList", KeyValueObservingOptionNew | KeyValueObservingOptionOld,
                               [this](const KeyValueChange&) { arrayController_->rearrangeObjects(); });
}

QTableView* BlacklistViewController::tableView() const { return ui_ ? ui_->tableView : nullptr; }

QWidget* BlacklistViewController::loadView() {
    auto* view = new QWidget;
    ui_ = std::make_unique<Ui::BlacklistViewController>();
    ui_->setupUi(view);
    return view;
}

void BlacklistViewController::viewDidLoad() {
    QTableView* table = ui_->tableView;
    tableModel_ = new BindingTableModel(arrayController_,
                                        {{QString::fromStdString(localizedString("Application")), "localizedName", "icon"},
                                         {QString::fromStdString(localizedString("Location")), "bundleURL", ""}},
                                        table);
    tableModel_->attachView(table);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(0, 200);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideMiddle);
    table->verticalHeader()->hide();
    QObject::connect(ui_->addButton, &QPushButton::clicked, ui_->addButton, [this] { addApplication(); });
    QObject::connect(ui_->removeButton, &QPushButton::clicked, ui_->removeButton, [this] { removeItem(); });
    arrayController_->rearrangeObjects();
}

void BlacklistViewController::viewWillAppear() {
    PreferencesPane::viewWillAppear();
    if (!arrayController_->isBound("contentArray")) bindContent();
    if (tableModel_) tableModel_->setActive(true);
}

void BlacklistViewController::viewDidDisappear() {
    PreferencesPane::viewDidDisappear();
    // A closed pane follows nothing; it reads the block list again when it shows.
    listObservation_.invalidate();
    arrayController_->unbind("contentArray");
    if (tableModel_) tableModel_->setActive(false);
}

void BlacklistViewController::addApplication() {
    auto panel = OpenPanel::openPanel();
    panel->canChooseFiles = true;
    panel->canChooseDirectories = false;
    panel->allowsMultipleSelection = true;
    panel->canCreateDirectories = false;
    panel->resolvesAliases = true;
    // The user's applications folder, else the first system one that exists (never the
    // program's working folder).
    panel->directoryURL = desktop::firstExistingApplicationFolder();
    panel->nameFilters = {localizedString("Applications (*.desktop)"), localizedString("All files (*)")};
    std::weak_ptr<Object> weak = weak_from_this();
    panel->beginWithCompletionHandler([weak, panel](int response) {
        auto self = std::static_pointer_cast<BlacklistViewController>(weak.lock());
        auto model = self ? self->model() : nullptr;
        if (model && response == OpenPanel::NSModalResponseOK) {
            std::vector<FileSystemNodePtr> nodes;
            for (const URLPtr& url : panel->URLs()) nodes.push_back(FileSystemNode::initWithURL(url));
            for (const auto& node : nodes) model->addToBlackListNode(node);
        }
        panel->close();
    });
}

void BlacklistViewController::removeItem() {
    auto model = this->model();
    if (!model) return;
    Array selected = arrayController_->selectedObjects();
    if (selected.empty()) return;
    model->removeFromBlackListItem(selected.front().objectAs<BlacklistItem>());
}

}  // namespace qs

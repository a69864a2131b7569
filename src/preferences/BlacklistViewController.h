#pragma once
// The block-list pane: the applications the dock never shows (the dock model's
// blackList), in a table, with buttons that add applications (an open panel choosing
// desktop entries, several at once) and remove the first selected one.

#include <memory>
#include <string>

#include "platform/ui/ArrayController.h"
#include "preferences/PreferencesPane.h"

namespace Ui {
class BlacklistViewController;
}

class QTableView;

namespace qs {

class BindingTableModel;
class DockModel;

class BlacklistViewController : public PreferencesPane {
public:
    static std::shared_ptr<BlacklistViewController> create();
    BlacklistViewController();
    ~BlacklistViewController() override;

    std::string className() const override { return "BlacklistViewController"; }
    std::string viewIdentifier() const override { return "Blacklist"; }
    QIcon toolbarItemImage() const override;
    std::string toolbarItemLabel() const override { return localizedString("Blacklist/Excluded"); }
    Value valueForKey(const std::string& key) const override;

    std::shared_ptr<DockModel> model() const { return model_.lock(); }
    // Announces "model": the table follows the new model's block list.
    void setModel(const std::shared_ptr<DockModel>& model);

    const std::shared_ptr<ArrayController>& arrayController() const { return arrayController_; }
    QTableView* tableView() const;

    // Actions.
    void addApplication();
    void removeItem();

    void viewWillAppear() override;
    void viewDidDisappear() override;

protected:
    QWidget* loadView() override;
    void viewDidLoad() override;

private:
    void bindContent();

    std::weak_ptr<DockModel> model_;
    std::shared_ptr<ArrayController> arrayController_ = ArrayController::create();
    std::unique_ptr<Ui::BlacklistViewController> ui_;
    BindingTableModel* tableModel_ = nullptr;
    KeyValueObservation listObservation_;
};

}  // namespace qs

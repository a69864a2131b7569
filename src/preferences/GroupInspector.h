#pragma once
// The group inspector: the window where the user changes a group's name and icon.
//
// The window comes from the interface file named after the class: a field bound to the
// group's name, a well bound to its icon, "Choose..." (the choose-icon panel, then the
// group's setIcon) and "Reset" (the group's resetIcon, back to the "Group" image). Every
// change goes through the group's setters, which save the dock and announce the change,
// so the dock cell shows it at once.
//
// The name is taken when editing ends (Return, leaving the field, closing the window, or
// the inspector going away with the dock it was opened from), not at every keystroke. A
// name is one line: line breaks and tabs become spaces, surrounding spaces go, and it is
// at most kMaxNameLength characters (longer ones are cut, with a log line). An empty name
// is refused (a log line) and the field shows the group's name again. A chosen or dropped
// file that is no usable image leaves the icon as it was.

#include <QLineEdit>
#include <memory>
#include <optional>
#include <string>

#include "core/GroupModel.h"
#include "dock_ui/Inspectors.h"
#include "platform/foundation/Object.h"

namespace Ui {
class GroupInspector;
}

namespace qs {

class CustomIconImageView;
class InspectorWindowWidget;
class KeyValueAdapter;
class OpenPanel;

// A line edit whose bound value is the text as committed when editing ends.
class GroupNameField : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString committedText READ committedText WRITE setCommittedText NOTIFY committed USER true)
public:
    explicit GroupNameField(QWidget* parent = nullptr);
    QString committedText() const { return text(); }
    void setCommittedText(const QString& text);
    // Commits the text when it was edited since it was last set or committed.
    void commit();

signals:
    void committed();
};

class GroupInspector : public Object, public InspectorWindow {
public:
    static constexpr size_t kMaxNameLength = 255;

    static std::shared_ptr<GroupInspector> create();
    GroupInspector();
    ~GroupInspector() override;

    std::string className() const override { return "GroupInspector"; }

    QWidget* window();
    bool isWindowLoaded() const { return window_ != nullptr; }

    const GroupModelPtr& model() const { return model_; }
    // A group; any other value leaves the inspector without a group (logged).
    void setModel(const Value& item) override;
    void orderFront() override;

    // Actions.
    void loadIcon();
    void resetIcon();

    GroupNameField* nameField() const;
    CustomIconImageView* imageView() const;

    // "model"; "groupName" (its "name") and "groupIcon" (its "icon"): the group's name
    // and icon, set through the group's setters (what the field and the well are bound to).
    Value valueForKey(const std::string& key) const override;

    // The name to store for what the user typed; nullopt when it is refused.
    static std::optional<std::string> acceptedName(const std::string& typed);

private:
    void setName(const Value& typed);

    GroupModelPtr model_;
    std::shared_ptr<KeyValueAdapter> name_;
    std::shared_ptr<KeyValueAdapter> icon_;
    std::unique_ptr<Ui::GroupInspector> ui_;
    std::unique_ptr<InspectorWindowWidget> window_;
    std::weak_ptr<OpenPanel> panel_;
};

}  // namespace qs

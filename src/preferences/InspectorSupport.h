#pragma once
// What the item and group inspectors share: their top-level window, which closes by
// hiding (the inspector is reused) and whose bindings observe only while it is shown, so
// a closed inspector adds no work to changes of the dock.

#include <QWidget>
#include <functional>

namespace qs {

class InspectorWindowWidget : public QWidget {
public:
    InspectorWindowWidget();
    // Called when the user closes the window, before it hides.
    std::function<void()> onClose;
    // Shows the window, restores it when minimised, and brings it to the front.
    void orderFront();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

}  // namespace qs

#pragma once
// One thumbnail of the window-preview popover: the picture and title of one window of
// another application. The cell highlights while the pointer is over it, asks for a
// fresh picture while the pointer moves over it, marks a minimised window, brings the
// window forward on a click, and, when the setting "WindowControls" is on, offers
// close, minimise and maximise buttons and a placement panel whose buttons put the
// window in a part of its screen.
//
// The represented object is the window (an SIWindow); its "previewImage", "title" and
// "isWindowMinimized" are followed as the window announces them (the minimised mark, in
// the picture's top right corner, follows the window live). Until the first picture
// arrives the cell shows a placeholder. The controls stand in the title row, clear of the
// picture: close on the left, minimise and maximise (plain buttons) on the right; the
// placement panel lies across the bottom of the picture. Any other object makes every
// action of the cell do nothing.
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include "dock_ui/SmallButtons.h"
#include "dock_ui/WPCellDelegate.h"
#include "dock_ui/WindowButton.h"
#include "platform/foundation/Image.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/CollectionView.h"

namespace qs {

class SIWindow;


// The cell's view. Setting `higlighted` marks the view for redisplay, then stores the
// value; the highlight itself is the layer colour the cell sets, drawn as a rounded
// rectangle of the layer's corner radius.
class WPCollectionItemView : public QWidget {
public:
    explicit WPCollectionItemView(QWidget* parent = nullptr);

    bool higlighted() const { return higlighted_; }
    void setHiglighted(bool higlighted);

    // The layer's background colour (transparent: none) and corner radius.
    QColor layerBackgroundColor() const { return layerColor_; }
    void setLayerBackgroundColor(const QColor& color);
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool higlighted_ = false;
    QColor layerColor_ = Qt::transparent;
    double cornerRadius_ = 0.0;
};

// A horizontal row of views (the placement panel's button row).
class StackView : public QWidget {
public:
    explicit StackView(QWidget* parent = nullptr);
};

// The placement panel: a translucent dark panel holding the placement buttons.
class WindowManView : public QWidget {
public:
    static constexpr double kPanelAlpha = 0.5;

    explicit WindowManView(QWidget* parent = nullptr);

    // Enables or disables the plain push buttons directly inside the panel's direct
    // stack views (subclasses of either are left alone).
    void setButtonsEnabled(bool enabled);

protected:
    void paintEvent(QPaintEvent* event) override;
};

class WPCollectionItemCell : public CollectionViewItem {
    Q_OBJECT

public:
    static constexpr double kCornerRadius = 6.0;
    static constexpr double kHighlightAlpha = 0.2;
    // After a window action the minimised mark is set at once and again this much later,
    // when the window manager has carried the change out.
    static constexpr double kStateRecheckDelay = 0.3;
    // A pointer moving over the picture asks for a fresh one at most this often.
    static constexpr double kPreviewRefreshInterval = 0.1;
    // The placement tags of the placement panel's buttons, in their order.
    static const std::vector<int>& placementTags();

    WPCollectionItemCell();
    ~WPCollectionItemCell() override;

    // The popover's controller, told when a click hides the popover (copied to the
    // cells made from a prototype).
    std::shared_ptr<WPCellDelegate> previewController() const { return controller_.lock(); }
    void setPreviewController(const std::weak_ptr<WPCellDelegate>& controller) { controller_ = controller; }

    // Outlets. The close, minimise and maximise buttons and the placement panel are made
    // when the controls first show (nullptr until then).
    ButtonWithShadow* image() const { return image_; }
    QLabel* textField() const { return textField_; }
    QPushButton* closeButton() const { return closeButton_; }
    WindowButton* minimazeButton() const { return minimazeButton_; }
    WindowButton* maximizeButton() const { return maximizeButton_; }
    WindowManView* windowManPanel() const { return windowManPanel_; }
    QLabel* hiddenIndicator() const { return hiddenIndicator_; }
    WPCollectionItemView* itemView() const;
    // The placement button of a tag; nullptr when there is none.
    QPushButton* placementButton(int tag) const;

    // The window, when the represented object is one.
    std::shared_ptr<SIWindow> window() const;
    // The title shown, and whether the picture shown is a placeholder.
    QString titleText() const { return title_; }
    bool showsPlaceholder() const;

    // CollectionViewItem.
    std::shared_ptr<CollectionViewItem> copy() const override;
    void loadView() override;
    void viewDidLoad() override;
    void setRepresentedObject(const Value& object) override;
    void setSelected(bool selected) override;
    void viewDidDisappear() override;
    void mouseEntered(const Event& event) override;
    void mouseMoved(const Event& event) override;
    void mouseExited(const Event& event) override;

    void setControls(bool show);
    void setHiddenState();
    void updateTrackingAreas();
    void higlightSelected(bool selected);

    // Actions.
    void click();
    void closeClick();
    void minimaizeClick();
    void maximazeClick();
    // wdAction: with the pressed placement button (its "tag" property).
    void wdAction(QPushButton* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutSubviews();
    void makeControls();
    void layoutControls();
    void bindWindow();
    void refreshImage();
    void refreshTitle();
    // setHiddenState now and once more a moment later.
    void refreshHiddenStateSoon();
    std::shared_ptr<SIWindow> actionWindow(bool orRespondsToSelector) const;

    std::weak_ptr<WPCellDelegate> controller_;
    QPointer<ButtonWithShadow> image_;
    QPointer<QLabel> textField_;
    QPointer<QPushButton> closeButton_;
    QPointer<WindowButton> minimazeButton_;
    QPointer<WindowButton> maximizeButton_;
    QPointer<WindowManView> windowManPanel_;
    QPointer<QLabel> hiddenIndicator_;
    KeyValueObservation imageObservation_;
    KeyValueObservation titleObservation_;
    KeyValueObservation minimizedObservation_;
    std::unique_ptr<Timer> recheck_;
    double lastRefresh_ = -1.0;
    QString title_;
};

}  // namespace qs

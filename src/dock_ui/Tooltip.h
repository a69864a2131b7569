#pragma once
// The name of the dock item under the pointer, in a small popover beside the item
// instead of the system's tool tip. One tooltip is made per hover and shown at once;
// it can close itself 1.5 seconds later. It never takes the keyboard focus: it is an
// application-defined popover, which shows as a tool-tip window. It gives way to menus
// and other popovers (Popover::setGivesWay): it closes when one opens and does not show
// while one is open.
//
// The text wraps at 220 points (a word longer than that breaks where it must), keeps
// its line breaks and its direction (right-to-left text is laid out right to left), and
// is never taller than the screen: the lines that do not fit are dropped and the last
// shown line ends in an ellipsis.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QString>
#include <QTextLayout>
#include <QWidget>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Popover.h"

namespace qs {

// A borderless, unselectable, transparent text field that wraps words, with the
// default font and text colour.
class TooltipTextField : public QWidget {
public:
    explicit TooltipTextField(QWidget* parent = nullptr);

    QString stringValue() const { return text_; }
    void setStringValue(const QString& text);
    // The text's size for a width and a height limit, each dimension rounded up to whole
    // points: the widest line (at most the width) by the height of the lines, at most
    // the limit but always one line.
    Size sizeThatFits(const Size& limit) const;
    // How many lines the field shows at its current size, and whether text was cut.
    int visibleLineCount() const;
    bool isTruncated() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Layout {
        std::unique_ptr<QTextLayout> layout;
        int lines = 0;            // lines of `layout` that are shown
        bool truncated = false;   // the last shown line is `elided` instead
        std::unique_ptr<QTextLayout> elided;
        double width = 0.0;       // the widest shown line
        double height = 0.0;      // the shown lines
    };
    Layout layOut(double width, double maxHeight) const;
    const Layout& cachedLayout() const;

    QString text_;
    QString laidOutText_;  // text_ with line breaks made line separators, length-capped
    bool cutShort_ = false;
    mutable Layout cache_;
    mutable QSize cacheSize_{-1, -1};
};

class Tooltip : public Popover {
public:
    static constexpr double kWrapWidth = 220.0;
    static constexpr double kHorizontalInset = 6.0;
    static constexpr double kVerticalInset = 4.0;
    static constexpr double kAutoCloseDelay = 1.5;

    // initWithString:andShowRelativeToRect:ofView:preferredEdge:autoClose: — set up with
    // the string and shown (or not, see showRelativeToRect); never nullptr.
    static std::shared_ptr<Tooltip> initWithString(const std::optional<std::string>& string, const Rect& rect,
                                                   QWidget* view, RectEdge preferredEdge, bool autoClose);
    // initWithString: — nullptr for a nil or empty string; otherwise set up, not shown.
    static std::shared_ptr<Tooltip> initWithString(const std::optional<std::string>& string);

    // init: a tooltip that does not animate, with no content yet.
    Tooltip();
    ~Tooltip() override;

    // Keeps a copy of the string and builds the content: the text field (empty for nil)
    // at (6, 4) with its fitted size (w, h), in a view of (w + 12, h + 8), which is also
    // the content size.
    void setUpWithString(const std::optional<std::string>& string);
    // Shows only when the view exists and its window is shown; then, with autoClose,
    // hideTooltip follows 1.5 seconds later on the main run loop.
    void showRelativeToRect(const Rect& rect, QWidget* view, RectEdge preferredEdge, bool autoClose);
    using Popover::showRelativeToRect;
    // close.
    void hideTooltip();

    // The text as stored by setUpWithString (nullopt for nil).
    const std::optional<std::string>& tooltip() const { return tooltip_; }
    TooltipTextField* textField() const { return field_; }

private:
    std::optional<std::string> tooltip_;
    std::unique_ptr<QWidget> view_;
    TooltipTextField* field_ = nullptr;
    // Scheduled hides, with the run loop each went to.
    std::vector<std::pair<RunLoop*, RunLoop::TimerId>> pendingHides_;
};

}  // namespace qs

#pragma once
// A popover (the platform's NSPopover): a frameless top-level window that shows a
// content widget in a rounded bubble with an arrow pointing at an anchor rectangle of
// another view.
//
// Placement. The popover stands beside the anchor at the preferred edge, the edges
// named as the platform names them in its y-up screen coordinates: MinX left of the
// anchor, MaxX right of it, MinY below it, MaxY above it. When the screen (its visible
// frame) has no room there, it flips to the opposite edge, then tries the other two;
// along the edge it is centred on the anchor and kept on the screen, the arrow still
// pointing at the anchor's middle. A bottom dock asks for MinY and so gets its popovers
// above its items; a top dock gets them below.
//
// Behaviour (who closes it):
//   transient           a press anywhere outside the popover, or Escape, closes it. The
//                       window is a Qt pop-up: it holds the pointer and the keyboard while
//                       open (on X11 an override-redirect window with a grab), so it never
//                       changes the active window. A press outside that lands on one of
//                       this program's widgets still reaches that widget after the close.
//   semi-transient      a press in the positioning view's window, or Escape while the
//                       popover has the keyboard, closes it; presses elsewhere do not.
//   application-defined only the program closes it.
// Every kind also closes when the positioning view goes away or its window closes or
// hides. However a popover closes, its delegate hears willClose and didClose once.
//
// Keyboard focus. A popover takes no keyboard focus unless setTakesKeyboardFocus(YES)
// (a popover with a search field): then the content's focus widget gets the focus when
// it shows, through the pop-up's keyboard grab when transient, else by activating the
// popover's own window (a frameless tool window that stays on top). Without it a
// non-transient popover is a tool-tip window (override-redirect on X11) that is never
// activated.
//
// Translucency. While a compositing manager runs the window has an alpha channel and
// the bubble is drawn slightly translucent in the palette's window colour; without one
// it is drawn opaque and the window is shaped to the bubble, so no corner shows.
//
// The content widget stays its owner's: the popover borrows it (as a child of its
// window) while it is the content and gives it back, hidden and without a parent, when
// another content replaces it or the popover goes away.
//
// Giving way. A popover that gives way (a tooltip) never stands over a menu or another
// popover: it closes when a menu of the program opens (MenuPresenter) or another popover
// that does not give way shows, and it does not show while either is on screen.
//
// Main thread only. A delegate must not destroy the popover from inside a delegate call;
// it may drop its reference on a later turn of the run loop.

#include <memory>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "platform/foundation/Geometry.h"
#include "platform/ui/ValueAnimation.h"


namespace qs {

enum PopoverBehavior : int {
    NSPopoverBehaviorApplicationDefined = 0,
    NSPopoverBehaviorTransient = 1,
    NSPopoverBehaviorSemitransient = 2,
};

class Popover;

// Every call has a default, so a delegate overrides what it needs.
class PopoverDelegate {
public:
    virtual ~PopoverDelegate() = default;
    // Asked before a close that the user started (a press outside, Escape) and by
    // performClose; NO keeps the popover open. close() does not ask.
    virtual bool popoverShouldClose(Popover& popover);
    virtual void popoverWillShow(Popover& popover);
    virtual void popoverDidShow(Popover& popover);
    virtual void popoverWillClose(Popover& popover);
    virtual void popoverDidClose(Popover& popover);
};

// Where a popover of a given content size stands for an anchor.
struct PopoverPlacement {
    Rect frame;                      // the window's frame, platform coordinates
    RectEdge edge = NSRectEdgeMinY;  // the anchor's edge it stands at, after any flip
    // The arrow tip's distance from the frame's left side (edges MinY and MaxY) or from
    // its bottom side (edges MinX and MaxX).
    double arrowPosition = 0.0;
};

class Popover : public QObject {
    Q_OBJECT

public:
    // The arrow: its length (the window is this much larger than the content on the
    // anchor's side) and the width of its base; the bubble's corner radius.
    static constexpr double kArrowLength = 8.0;
    static constexpr double kArrowWidth = 16.0;
    static constexpr double kCornerRadius = 6.0;
    // The fade of a popover that animates (only while a compositing manager runs).
    static constexpr double kFadeDuration = 0.2;

    Popover();
    ~Popover() override;
    Popover(const Popover&) = delete;
    Popover& operator=(const Popover&) = delete;

    // The content (the platform's content view controller's view). See the header note
    // on ownership. Setting a content takes its current size as the content size, unless
    // the content has no size yet and a content size was set before.
    QWidget* contentView() const { return content_; }
    void setContentView(QWidget* view);
    // The content's size in points; the window adds the arrow to it.
    Size contentSize() const { return contentSize_; }
    void setContentSize(const Size& size);

    PopoverBehavior behavior() const { return behavior_; }
    void setBehavior(PopoverBehavior behavior);
    // Whether showing fades in (YES by default). The fade needs a compositing manager;
    // without one the popover appears at once.
    bool animates() const { return animates_; }
    void setAnimates(bool animates) { animates_ = animates; }
    bool takesKeyboardFocus() const { return takesKeyboardFocus_; }
    void setTakesKeyboardFocus(bool takes);
    // See "Giving way" in the header note (NO by default).
    bool givesWay() const { return givesWay_; }
    void setGivesWay(bool givesWay);

    std::shared_ptr<PopoverDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<PopoverDelegate> delegate) { delegate_ = std::move(delegate); }

    // Shows the popover pointing at `positioningRect`, given in the view's own (Qt)
    // coordinates, at the preferred edge. A popover already shown moves to the new
    // anchor (its window is shown again if it was ordered out) without telling the
    // delegate again. With no view, or a view whose window is not shown, nothing happens
    // but a log line.
    void showRelativeToRect(const Rect& positioningRect, QWidget* positioningView, RectEdge preferredEdge);
    // Closes at once, without asking the delegate; nothing when not shown.
    void close();
    // Closes unless the delegate's popoverShouldClose answers NO.
    void performClose();
    bool isShown() const { return shown_; }

    // Hides the window and leaves the popover shown (the platform's orderOut: on the
    // popover's window); showing again brings it back.
    void orderOut();

    QWidget* positioningView() const { return anchor_; }
    Rect positioningRect() const { return positioningRect_; }
    RectEdge preferredEdge() const { return preferredEdge_; }
    // The edge the popover stands at now (after any flip) and the window side that holds
    // the arrow (the opposite one: a popover above its anchor has its arrow at the bottom).
    RectEdge shownEdge() const { return placement_.edge; }
    RectEdge arrowEdge() const;
    // The window's frame in platform coordinates (as last placed).
    Rect frame() const { return placement_.frame; }
    // The popover's top-level window. It is made again when the compositing manager
    // started or stopped between two shows, so do not keep it.
    QWidget* window() const;
    // Whether the window was made with an alpha channel (a compositing manager ran).
    bool isTranslucent() const { return translucent_; }

    // The placement rule of the header note; `bounds` is the visible frame of the screen
    // (a null rectangle: no screen, the preferred edge as it stands).
    static PopoverPlacement placement(const Rect& anchor, const Size& contentSize, RectEdge preferredEdge,
                                      const Rect& bounds);
    // The rectangle a popover anchored at `anchor` must stay in: the visible frame (the
    // frame when that is empty) of the screen holding the anchor's middle, else of the
    // screen it overlaps most, else of the main screen; a null rectangle without screens.
    static Rect screenBoundsForRect(const Rect& anchor);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class PopoverWindow;
    void configureWindow();
    void layoutWindow();
    void focusContent();
    void watchAnchor(QWidget* view);
    void unwatchAnchor();
    void closeFromWindow();
    void windowHidden();
    QWidget* makeWindow(bool translucent);
    // Whether a menu or a popover that does not give way is on screen.
    static bool somethingToGiveWayTo(const Popover* asking);
    // Closes the shown popovers that give way (but `except`).
    static void closeThoseGivingWay(const Popover* except);

    QPointer<QWidget> window_;
    QPointer<QWidget> content_;
    QPointer<QWidget> anchor_;
    QPointer<QWidget> anchorWindow_;
    QMetaObject::Connection anchorGone_;
    bool watchingApplication_ = false;
    std::weak_ptr<PopoverDelegate> delegate_;
    Size contentSize_;
    bool contentSizeSet_ = false;
    Rect positioningRect_;
    RectEdge preferredEdge_ = NSRectEdgeMinY;
    PopoverPlacement placement_;
    PopoverBehavior behavior_ = NSPopoverBehaviorApplicationDefined;
    bool animates_ = true;
    bool takesKeyboardFocus_ = false;
    bool givesWay_ = false;
    bool translucent_ = false;
    bool shown_ = false;
    bool closing_ = false;
    bool hidingWindow_ = false;  // the popover hides its own window: not a close
    ValueAnimation fade_;
};

}  // namespace qs

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include "platform/desktop/Desktop.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/EventQueue.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ViewGeometry.h"
#include "platform/ui/WindowAttributes.h"
#include "support/TestEnvironment.h"
#include "toolkit/DrawingSupport.h"
#include "toolkit/NTImageMaker.h"
#include "toolkit/ViewExtensions.h"

namespace qs {
namespace {

using namespace NSView_CoreExtensions;
using test::near;
using test::pixelAt;

// Frame accessors ---------------------------------------------------------------------------

TEST(ViewFrames, SettersApplyTheFrameOnlyWhereTheyShould) {
    QWidget parent;
    parent.resize(200, 100);
    auto* view = new QWidget(&parent);
    view->setGeometry(10, 20, 30, 40);
    // Qt counts a widget whose geometry was set as explicitly sized: that is how a frame
    // that was applied without changing shows.
    view->setAttribute(Qt::WA_Resized, false);

    setHeight(view, 40);
    EXPECT_FALSE(view->testAttribute(Qt::WA_Resized));
    setRight(view, 40);
    EXPECT_FALSE(view->testAttribute(Qt::WA_Resized));
    setBottom(view, 60);
    EXPECT_FALSE(view->testAttribute(Qt::WA_Resized));
    setWidth(view, 30);
    EXPECT_TRUE(view->testAttribute(Qt::WA_Resized));
    EXPECT_EQ(view->geometry(), QRect(10, 20, 30, 40));

    setRight(view, 50);
    EXPECT_EQ(view->geometry(), QRect(20, 20, 30, 40));
    setBottom(view, 100);
    EXPECT_EQ(view->geometry(), QRect(20, 60, 30, 40));
    setHeight(view, 10);
    setLeft(view, 0);
    setTop(view, 5);
    EXPECT_EQ(view->geometry(), QRect(0, 5, 30, 10));
    setOrigin(view, {7, 8});
    setSize(view, {12, 14});
    EXPECT_EQ(view->geometry(), QRect(7, 8, 12, 14));
    EXPECT_DOUBLE_EQ(right(view), 19);
    EXPECT_DOUBLE_EQ(bottom(view), 22);
    EXPECT_DOUBLE_EQ(centerX(view), 6);
    EXPECT_DOUBLE_EQ(centerY(view), 7);
}

TEST(ViewFrames, InAnUnflippedSuperviewTheFrameCountsFromTheBottom) {
    QWidget parent;
    parent.resize(200, 100);
    ViewGeometry::setFlipped(&parent, false);
    auto* view = new QWidget(&parent);
    view->setGeometry(10, 10, 30, 20);
    EXPECT_DOUBLE_EQ(top(view), 70);
    EXPECT_DOUBLE_EQ(bottom(view), 90);
    setTop(view, 0);
    EXPECT_EQ(view->geometry(), QRect(10, 80, 30, 20));
    // The origin stays where it is when the size changes: the bottom edge holds.
    setSize(view, {30, 50});
    EXPECT_EQ(view->geometry(), QRect(10, 50, 30, 50));
}

// The widget tree ---------------------------------------------------------------------------

TEST(ViewTree, SearchesGoInTheirOwnOrders) {
    // root: [A (group box) -> [B (label)], C (label), a dialog (a window, not a subview)]
    QWidget root;
    auto* a = new QGroupBox(&root);
    auto* b = new QLabel(a);
    auto* c = new QLabel(&root);
    auto* dialog = new QDialog(&root);
    new QLabel(dialog);

    EXPECT_EQ(findKindOfSubview(&root, "QLabel"), c);
    EXPECT_EQ(descendantOrSelfWithClass(&root, "QLabel"), b);
    EXPECT_EQ(descendantOrSelfWithClass(b, "QLabel"), b);
    EXPECT_EQ(subviewsWithClass(&root, "QLabel"), (std::vector<QWidget*>{b, c}));
    // A label is a frame: kinds are matched as Qt classes inherit.
    EXPECT_EQ(subviewsWithClass(&root, "QFrame"), (std::vector<QWidget*>{b, c}));
    EXPECT_EQ(findKindOfEnclosingView(b, "QGroupBox"), a);
    EXPECT_EQ(findKindOfEnclosingView(a, "QGroupBox"), nullptr);
    EXPECT_EQ(findKindOfSubview(&root, "QLineEdit"), nullptr);
    EXPECT_TRUE(isParentView(b, &root));
    EXPECT_FALSE(isParentView(&root, b));
    EXPECT_FALSE(isParentView(b, b));
    EXPECT_EQ(contentWindow(b), &root);

    EXPECT_EQ(findScrollView(&root), nullptr);
    auto* inner = new QScrollArea(a);
    auto* outer = new QScrollArea(&root);
    EXPECT_EQ(findScrollView(&root), inner);
    delete inner;
    EXPECT_EQ(findScrollView(&root), outer);
}

TEST(ViewTree, AddingRemovingAndResizing) {
    QWidget root;
    root.resize(80, 60);
    root.show();
    auto* loose = new QWidget;
    add(&root, true, loose);
    EXPECT_EQ(loose->parentWidget(), &root);
    EXPECT_TRUE(loose->isVisible());
    // A view with a superview is not moved by add YES.
    QWidget other;
    add(&other, true, loose);
    EXPECT_EQ(loose->parentWidget(), &root);

    add(&root, false, loose);
    EXPECT_EQ(loose->parentWidget(), nullptr);
    EXPECT_FALSE(loose->isVisible());
    // A view hidden on purpose stays hidden when it comes back.
    loose->hide();
    add(&root, true, loose);
    EXPECT_FALSE(loose->isVisible());
    loose->show();

    QPointer<QWidget> guard = loose;
    QWidget* variable = loose;
    removeOneView(&root, variable);
    EXPECT_EQ(variable, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());

    auto* first = new QWidget(&root);
    auto* second = new QWidget(first);
    auto* third = new QWidget(&root);
    first->setGeometry(5, 5, 10, 10);
    third->setGeometry(7, 9, 10, 10);
    resizeSubviewsToParentSize(&root);
    EXPECT_EQ(first->geometry(), QRect(5, 5, 80, 60));
    EXPECT_EQ(third->geometry(), QRect(7, 9, 80, 60));
    EXPECT_EQ(second->geometry(), QRect(0, 0, 80, 60));
    resizeSubviewsToParentBounds(&root);
    EXPECT_EQ(first->geometry(), QRect(0, 0, 80, 60));

    removeAllSubviews(&root);
    EXPECT_TRUE(subviews(&root).empty());
    EXPECT_EQ(first->parentWidget(), nullptr);
    EXPECT_EQ(second->parentWidget(), first);
    delete first;
    delete third;
}

// Answering a selector ----------------------------------------------------------------------

class BackgroundPainter : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    Q_INVOKABLE void drawBackgroundInSubview(QWidget* subview, const QRectF& rect) {
        calls.push_back({subview, rect});
        depth = GraphicsContext::currentContext() ? GraphicsContext::currentContext()->gStateDepth() : -1;
    }
    std::vector<std::pair<QWidget*, QRectF>> calls;
    int depth = -1;
};

class WindowDelegate : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void drawBackgroundInSubview(QWidget* subview, const QRectF& rect) { calls.push_back({subview, rect}); }
    Q_INVOKABLE void windowDidResize() {}
    std::vector<std::pair<QWidget*, QRectF>> calls;
};

class WrongSignature : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    Q_INVOKABLE void drawBackgroundInSubview(int) {}
};

TEST(ViewSelectors, TheNearestSuperviewAnswersThenTheWindowsDelegate) {
    test::TestEnvironment env;
    QWidget window;
    window.resize(200, 100);
    WindowDelegate delegate;
    WindowAttributes::setDelegate(&window, &delegate);
    auto* painter = new BackgroundPainter(&window);
    painter->setGeometry(0, 0, 100, 50);
    auto* view = new QWidget(painter);
    view->setGeometry(10, 5, 20, 20);

    EXPECT_EQ(parentWhichRespondsToSelector(view, "drawBackgroundInSubview"), painter);
    // Not the view itself, and signals do not answer.
    EXPECT_EQ(parentWhichRespondsToSelector(painter, "drawBackgroundInSubview"), &delegate);
    EXPECT_EQ(parentWhichRespondsToSelector(view, "windowDidResize"), &delegate);
    EXPECT_EQ(parentWhichRespondsToSelector(view, "destroyed"), nullptr);
    EXPECT_EQ(parentWhichRespondsToSelector(view, "noSuchMethod"), nullptr);

    auto maker = NTImageMaker::maker({10, 10});
    maker->lockFocus();
    const int depth = GraphicsContext::currentContext()->gStateDepth();
    askParentToDrawBackground(view);
    ASSERT_EQ(painter->calls.size(), 1u);
    EXPECT_EQ(painter->calls[0].first, view);
    EXPECT_EQ(painter->calls[0].second, QRectF(-10, -5, 100, 50));
    EXPECT_EQ(painter->depth, depth + 1);
    EXPECT_EQ(GraphicsContext::currentContext()->gStateDepth(), depth);

    // An unflipped view gets the rectangle in its own y-up coordinates.
    ViewGeometry::setFlipped(view, false);
    askParentToDrawBackground(view);
    EXPECT_EQ(painter->calls[1].second, QRectF(-10, -25, 100, 50));

    // The window's delegate draws over the window's area.
    askParentToDrawBackground(painter);
    ASSERT_EQ(delegate.calls.size(), 1u);
    EXPECT_EQ(delegate.calls[0].first, painter);
    EXPECT_EQ(delegate.calls[0].second, QRectF(0, 0, 200, 100));

    // A method of the name that takes other arguments is logged, not called.
    QWidget window2;
    auto* wrong = new WrongSignature(&window2);
    auto* child = new QWidget(wrong);
    askParentToDrawBackground(child);
    EXPECT_TRUE(env.logged("drawBackgroundInSubview"));
    maker->unlockFocus();
}

// State -------------------------------------------------------------------------------------

TEST(ViewState, VisibilityAndFirstResponders) {
    QWidget window;
    window.resize(200, 100);
    auto* label = new QLabel("name", &window);
    auto* box = new QWidget(&window);
    box->setGeometry(0, 30, 100, 40);
    auto* first = new QLineEdit(box);
    auto* second = new QLineEdit(&window);
    second->setGeometry(0, 70, 100, 20);
    auto* empty = new QWidget(&window);
    empty->setGeometry(10, 10, 0, 10);

    EXPECT_FALSE(isVisible(first));  // the window is not shown
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(isVisible(first));
    EXPECT_TRUE(isVisible(label));
    EXPECT_FALSE(isVisible(empty));
    box->hide();
    EXPECT_FALSE(isVisible(first));
    box->show();

    EXPECT_TRUE(isInitialFirstResponder(first));
    EXPECT_FALSE(isInitialFirstResponder(second));
    window.setFocusProxy(second);
    EXPECT_TRUE(isInitialFirstResponder(second));
    window.setFocusProxy(nullptr);

    second->setFocus();
    EXPECT_TRUE(isFirstResponder(second));
    EXPECT_FALSE(isFirstResponder(first));
    EXPECT_TRUE(containsFirstResponder(second));
    EXPECT_FALSE(containsFirstResponder(box));
    first->setFocus();
    EXPECT_TRUE(containsFirstResponder(box));
    EXPECT_TRUE(containsFirstResponder(&window));
    EXPECT_FALSE(isFirstResponder(box));
}

TEST(ViewState, TheMouseIsTestedWhereTheDesktopSaysItIs) {
    test::TestEnvironment env;
    auto sim = sim::installSimBackend();
    QWidget window;
    window.setGeometry(100, 100, 50, 40);
    window.show();
    QApplication::processEvents();
    auto pointAt = [&](double x, double y) { sim.desktop->postMouse(desktop::MouseEventType::Moved, {x, y}, 0); };

    pointAt(110, 110);
    EXPECT_TRUE(mouseInRectNow(&window));
    pointAt(150, 110);  // the right edge is out
    EXPECT_FALSE(mouseInRectNow(&window));
    pointAt(149, 100);  // the top row is in
    EXPECT_TRUE(mouseInRectNow(&window));
    pointAt(120, 139);  // and so is the bottom row, flipped or not
    EXPECT_TRUE(mouseInRectNow(&window));
    ViewGeometry::setFlipped(&window, false);
    EXPECT_TRUE(mouseInRectNow(&window));
    pointAt(120, 100);
    EXPECT_TRUE(mouseInRectNow(&window));
    pointAt(120, 140);
    EXPECT_FALSE(mouseInRectNow(&window));
    desktop::install({});
}

// Mouse tracking ----------------------------------------------------------------------------

class Tracking : public test::IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend();
        queue = std::make_shared<ScriptedEventQueue>();
        EventQueue::setCurrent(queue);
    }
    void TearDown() override {
        EventQueue::setCurrent(nullptr);
        desktop::install({});
    }
    static Event mouse(int type, double x, double y) { return Event::mouseEvent(type, {x, y}); }
    Event down() { return mouse(NSEventTypeLeftMouseDown, 50, 50); }

    sim::SimBackend sim;
    std::shared_ptr<ScriptedEventQueue> queue;
    QWidget view;
};

TEST_F(Tracking, OnlyALeftMouseDownIsTracked) {
    queue->post(mouse(NSEventTypeLeftMouseUp, 50, 50));
    EXPECT_FALSE(trackMouseDown(&view, mouse(NSEventTypeRightMouseDown, 50, 50), 3));
    EXPECT_FALSE(trackMouseDown(&view, Event::keyEvent(NSEventTypeKeyDown, u"a"), 3));
    EXPECT_EQ(queue->requestCount(), 0u);
    EXPECT_EQ(queue->pending().size(), 1u);
}

TEST_F(Tracking, AMouseUpIsAClickAndADragOutOfTheSquareIsNot) {
    // Drags inside the square (the bottom edge counts in, unflipped) are taken and passed over.
    queue->post(mouse(NSEventTypeLeftMouseDragged, 52, 48));
    queue->post(mouse(NSEventTypeLeftMouseDragged, 50, 53));
    queue->post(mouse(NSEventTypeLeftMouseUp, 51, 51));
    auto click = trackMouseDown(&view, down(), 3);
    ASSERT_TRUE(click);
    EXPECT_EQ(click->type, NSEventTypeLeftMouseUp);
    EXPECT_EQ(click->locationInWindow, (Point{51, 51}));
    EXPECT_TRUE(queue->pending().empty());

    queue->post(mouse(NSEventTypeLeftMouseDragged, 53.5, 50));
    queue->post(mouse(NSEventTypeLeftMouseUp, 53.5, 50));
    EXPECT_FALSE(trackMouseDown(&view, down(), 3));
    EXPECT_EQ(queue->pending().size(), 1u);  // the mouse-up is left for the normal handling

    queue = std::make_shared<ScriptedEventQueue>();
    EventQueue::setCurrent(queue);
    queue->post(mouse(NSEventTypeLeftMouseDragged, 50, 47));  // the bottom edge, unflipped: out
    EXPECT_FALSE(trackMouseDown(&view, down(), 3));
}

TEST_F(Tracking, ItWaitsWhileTheButtonIsHeldAndNotAfterItsReleaseWasLost) {
    sim.desktop->setButtonState(1);
    queue->post(mouse(NSEventTypeLeftMouseUp, 50, 50), 5.0);
    auto click = trackMouseDown(&view, down(), 3);
    ASSERT_TRUE(click);
    EXPECT_NEAR(env.loop().now(), 5.0, 1e-9);

    // The button is up and no mouse-up ever comes: the wait ends after one slice.
    sim.desktop->setButtonState(0);
    EXPECT_FALSE(trackMouseDown(&view, down(), 3));
    EXPECT_NEAR(env.loop().now(), 7.0, 1e-9);
    EXPECT_TRUE(env.logged("without a mouse-up"));
}

// Scrolling ---------------------------------------------------------------------------------

// A 100 × 100 viewport onto a document.
class Scrolling : public ::testing::Test {
protected:
    QWidget* document(int w, int h, bool flipped, QWidget* doc = nullptr) {
        area.setFrameShape(QFrame::NoFrame);
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.resize(100, 100);
        if (!doc) doc = new QWidget;
        doc->resize(w, h);
        ViewGeometry::setFlipped(doc, flipped);
        area.setWidget(doc);
        area.verticalScrollBar()->setValue(0);
        area.horizontalScrollBar()->setValue(0);
        area.show();
        QApplication::processEvents();
        return doc;
    }
    int shownTop() const { return area.verticalScrollBar()->value(); }
    int shownLeft() const { return area.horizontalScrollBar()->value(); }

    QScrollArea area;
};

TEST_F(Scrolling, AShortDocumentDoesNotScroll) {
    QWidget* doc = document(100, 80, true);
    EXPECT_EQ(fraction(doc), 0.0f);
    setFraction(doc, 0.5f);
    scrollToEnd(doc);
    EXPECT_EQ(shownTop(), 0);
    EXPECT_EQ(scrollPositionAsPercentage(doc), (Point{0, 0}));
}

TEST_F(Scrolling, TopAndEndAreTheSameOnScreenWhicheverWayTheDocumentIsFlipped) {
    QWidget* doc = document(100, 1000, false);
    scrollToEnd(doc);
    EXPECT_EQ(shownTop(), 900);
    EXPECT_EQ(visibleRect(doc), MakeRect(0, 0, 100, 100));
    EXPECT_FLOAT_EQ(fraction(doc), 1.0f);
    scrollToTop(doc);
    EXPECT_EQ(shownTop(), 0);
    EXPECT_EQ(visibleRect(doc), MakeRect(0, 900, 100, 100));  // the highest y
    EXPECT_FLOAT_EQ(fraction(doc), 0.0f);
    setFraction(doc, 0.25f);
    EXPECT_EQ(shownTop(), 225);
    EXPECT_FLOAT_EQ(fraction(doc), 0.25f);

    ViewGeometry::setFlipped(doc, true);
    scrollToEnd(doc);
    EXPECT_EQ(visibleRect(doc), MakeRect(0, 900, 100, 100));
    scrollToTop(doc);
    EXPECT_EQ(visibleRect(doc), MakeRect(0, 0, 100, 100));  // the lowest y
    setFraction(doc, 7.0f);
    EXPECT_EQ(shownTop(), 900);
    setFraction(doc, std::nanf(""));
    EXPECT_EQ(shownTop(), 0);
}

TEST_F(Scrolling, PercentagesAreClampedPerAxis) {
    QWidget* doc = document(1000, 1000, true);
    setScrollPositionAsPercentage(doc, {2, -1});
    EXPECT_EQ(visibleRect(doc).origin, (Point{900, 0}));
    EXPECT_EQ(scrollPositionAsPercentage(doc), (Point{1, 0}));

    ViewGeometry::setFlipped(doc, false);
    setScrollPositionAsPercentage(doc, {0.5, 0.25});
    EXPECT_EQ(shownLeft(), 450);
    EXPECT_EQ(shownTop(), 225);
    EXPECT_EQ(visibleRect(doc).origin, (Point{450, 675}));
    EXPECT_EQ(scrollPositionAsPercentage(doc), (Point{0.5, 0.25}));

    // Only the axis that is larger than the viewport moves.
    QWidget* tall = document(100, 1000, false);
    setScrollPositionAsPercentage(tall, {1, 1});
    EXPECT_EQ(shownLeft(), 0);
    EXPECT_EQ(shownTop(), 900);
    QWidget loose;
    EXPECT_EQ(scrollPositionAsPercentage(&loose), (Point{0, 0}));
}

// Ends every scroll on a multiple of 25.
struct Snapping : QWidget, ScrollAdjusting {
    Rect adjustScroll(const Rect& proposed) override {
        Rect r = proposed;
        r.origin.y = std::round(r.origin.y / 25) * 25;
        return r;
    }
};

TEST_F(Scrolling, LinesAndPagesMoveDownTheScreen) {
    QWidget* doc = document(100, 1000, true);
    area.verticalScrollBar()->setSingleStep(20);
    scrollDownByLines(doc, 3);
    EXPECT_EQ(shownTop(), 60);
    scrollDownByLines(doc, -1);
    EXPECT_EQ(shownTop(), 40);
    // A page keeps nothing in view by default, and what the page step leaves otherwise.
    scrollDownByPages(doc, 1);
    EXPECT_EQ(shownTop(), 140);
    area.verticalScrollBar()->setPageStep(90);
    scrollDownByPages(doc, 2);
    EXPECT_EQ(shownTop(), 320);

    ViewGeometry::setFlipped(doc, false);
    scrollDownByLines(doc, 1);
    EXPECT_EQ(shownTop(), 340);
    scrollDownByAdjustedPixels(doc, 10000);
    EXPECT_EQ(shownTop(), 900);

    auto* snapping = new Snapping;
    document(100, 1000, true, snapping);
    scrollDownByAdjustedPixels(snapping, 30);
    EXPECT_EQ(shownTop(), 25);
    scrollDownByAdjustedPixels(snapping, 14);
    EXPECT_EQ(shownTop(), 50);
}

// Drawing aids ------------------------------------------------------------------------------

ImagePtr drawn(Size size, const std::function<void()>& draw) {
    auto maker = NTImageMaker::maker(size);
    maker->lockFocus();
    draw();
    return maker->unlockFocus();
}

TEST(ViewDrawing, HighlightRingPixels) {
    const QColor frame = QColor::fromRgbF(0.122f, 0.361f, 0.812f, 1.0f);
    auto image = drawn({40, 40}, [] { drawHighlightRing(MakeRect(0, 0, 40, 40), false); });
    ASSERT_TRUE(image);
    // The frame shows 2 points wide inside the edge, the fill is a faint blue.
    EXPECT_TRUE(near(pixelAt(*image, 0, 20), frame)) << pixelAt(*image, 0, 20).name(QColor::HexArgb).toStdString();
    EXPECT_TRUE(near(pixelAt(*image, 20, 1), frame));
    const QColor fill = pixelAt(*image, 20, 20);
    EXPECT_NEAR(fill.alphaF(), 0.1, 0.01);
    EXPECT_GT(fill.blue(), 240);
    EXPECT_LT(fill.red(), fill.green());
    // The corners are rounded off.
    EXPECT_EQ(pixelAt(*image, 0, 0).alpha(), 0);

    auto selected = drawn({40, 40}, [] { drawHighlightRing(MakeRect(0, 0, 40, 40), true); });
    EXPECT_TRUE(near(pixelAt(*selected, 1, 20), Qt::white));
    EXPECT_TRUE(near(pixelAt(*selected, 20, 20), fill));
}

TEST(ViewDrawing, FocusRingAndErasing) {
    QWidget view;
    view.resize(30, 20);
    auto image = drawn({30, 20}, [&] {
        Color::blackColor()->setFill();
        RectFill(MakeRect(0, 0, 30, 20));
        eraseRect(&view, MakeRect(10, 5, 10, 10));
        drawFocusRing(&view);
    });
    const QColor ring = view.palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_TRUE(near(pixelAt(*image, 0, 10), ring));
    EXPECT_TRUE(near(pixelAt(*image, 15, 19), ring));
    EXPECT_EQ(pixelAt(*image, 7, 10), QColor(Qt::black));
    EXPECT_EQ(pixelAt(*image, 15, 10).alpha(), 0);
}

TEST(ViewDrawing, ViewImagesShowTheRectangleAsked) {
    QWidget view;
    view.resize(40, 40);
    auto* red = new QWidget(&view);
    red->setGeometry(0, 0, 10, 10);  // the top-left corner
    red->setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::red);
    red->setPalette(palette);

    auto whole = viewImage(&view, RectZero);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->size(), (Size{40, 40}));
    EXPECT_EQ(pixelAt(*whole, 5, 35), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*whole, 30, 5).alpha(), 0);  // what the view does not draw stays clear

    auto corner = viewImage(&view, MakeRect(0, 0, 10, 10));
    EXPECT_EQ(corner->size(), (Size{10, 10}));
    EXPECT_EQ(pixelAt(*corner, 5, 5), QColor(Qt::red));
    ViewGeometry::setFlipped(&view, false);
    corner = viewImage(&view, MakeRect(0, 30, 10, 10));
    EXPECT_EQ(pixelAt(*corner, 5, 5), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*viewImage(&view, MakeRect(0, 0, 10, 10)), 5, 5).alpha(), 0);
}

TEST(ViewDrawing, BackgroundColoursReachFieldsAndCheckBoxesOnly) {
    QWidget root;
    auto* group = new QGroupBox(&root);
    auto* plain = new QLabel("plain", group);
    auto* own = new QLabel("own", &root);
    own->setAutoFillBackground(true);
    QPalette ownPalette = own->palette();
    ownPalette.setColor(QPalette::Window, Qt::green);
    own->setPalette(ownPalette);
    auto* edit = new QLineEdit(group);
    edit->setFrame(false);
    auto* framed = new QLineEdit(group);
    QPalette framedPalette = framed->palette();
    framedPalette.setColor(QPalette::Base, Qt::yellow);
    framed->setPalette(framedPalette);
    auto* box = new QCheckBox("check", group);

    setBackgroundColorOnSubviews(&root, Color::colorWithCalibratedRed(1, 0, 0, 1));
    EXPECT_TRUE(plain->autoFillBackground());
    EXPECT_EQ(plain->palette().color(plain->backgroundRole()), QColor(Qt::red));
    EXPECT_EQ(own->palette().color(QPalette::Window), QColor(Qt::green));
    EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(Qt::red));
    EXPECT_EQ(framed->palette().color(QPalette::Base), QColor(Qt::yellow));
    EXPECT_TRUE(box->autoFillBackground());
    EXPECT_EQ(box->palette().color(box->backgroundRole()), QColor(Qt::red));
    EXPECT_FALSE(group->autoFillBackground());
}

// Debugging ---------------------------------------------------------------------------------

TEST(ViewDebugging, DownTheTreeOrUpToTheWindow) {
    test::TestEnvironment env;
    QWidget root;
    root.resize(100, 50);
    auto* label = new QLabel(&root);
    label->setGeometry(1, 2, 3, 4);
    label->setAttribute(Qt::WA_OpaquePaintEvent);

    debugViews(&root, true);
    const std::vector<std::string> down{"class: QWidget",  "frame: {{0, 0}, {100, 50}}", "isOpaque: NO",
                                        "hasLayer: NO",    "super: (null)",             "subviews:",
                                        "class: QLabel",   "frame: {{1, 2}, {3, 4}}",    "isOpaque: YES",
                                        "hasLayer: NO",    "super: QWidget",            "subviews:"};
    EXPECT_EQ(env.logLines(), down);

    test::TestEnvironment up;
    debugViews(label, false);
    ASSERT_EQ(up.logLines().size(), 8u);
    EXPECT_EQ(up.logLines()[0], "class: QLabel");
    EXPECT_EQ(up.logLines()[4], "class: QWidget");
}

}  // namespace
}  // namespace qs

#include "ViewExtensionsTest.moc"

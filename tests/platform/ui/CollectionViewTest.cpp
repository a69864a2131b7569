#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include "platform/ui/ArrayController.h"
#include "platform/ui/CollectionView.h"
#include "support/TestEnvironment.h"

namespace qs::test {
namespace {

class Thing : public Object {
public:
    explicit Thing(std::string n) : name(std::move(n)) {}
    std::string className() const override { return "Thing"; }
    std::string name;
};

class Holder : public Object {
public:
    Value valueForKey(const std::string& key) const override {
        if (key == "things") return Value(things);
        return Object::valueForKey(key);
    }
    void setThings(Array a) {
        willChangeValueForKey("things");
        things = std::move(a);
        didChangeValueForKey("things");
    }
    Array things;
};

// Records what happens to it; copies share the log.
struct Log {
    std::vector<std::string> lines;
};

class RecordingItem : public CollectionViewItem {
public:
    explicit RecordingItem(std::shared_ptr<Log> log) : log_(std::move(log)) {}
    std::shared_ptr<CollectionViewItem> copy() const override { return std::make_shared<RecordingItem>(log_); }
    void viewDidLoad() override { log_->lines.push_back("load"); }
    void viewDidDisappear() override { log_->lines.push_back("gone " + name()); }
    void mouseDown(const Event& e) override {
        log_->lines.push_back("down " + name());
        CollectionViewItem::mouseDown(e);
        if (onDown) onDown();
    }
    void mouseUp(const Event&) override { log_->lines.push_back("up " + name()); }
    void rightMouseDown(const Event&) override { log_->lines.push_back("right " + name()); }
    void mouseDragged(const Event& e) override {
        log_->lines.push_back("drag " + name());
        CollectionViewItem::mouseDragged(e);
    }
    void mouseMoved(const Event&) override { log_->lines.push_back("move " + name()); }
    std::string name() const {
        auto t = representedObject().objectAs<Thing>();
        return t ? t->name : "?";
    }
    std::function<void()> onDown;

private:
    std::shared_ptr<Log> log_;
};

class RecordingView : public CollectionView {
public:
    void itemMouseDown(CollectionViewItem&, const Event&) override { ++downs; }
    void itemMouseDragged(CollectionViewItem&, const Event&) override { ++drags; }
    int downs = 0;
    int drags = 0;
};

Array things(int n, const std::string& prefix = "t") {
    Array a;
    for (int i = 0; i < n; ++i) a.push_back(Value(std::make_shared<Thing>(prefix + std::to_string(i))));
    return a;
}

class CollectionViewTest : public IsolatedTest {
protected:
    void SetUp() override {
        view.resize(1000, 40);
        view.setItemPrototype(std::make_shared<RecordingItem>(log));
        view.setMinItemSize(MakeSize(40, 40));
        view.setMaxItemSize(MakeSize(40, 40));
        view.setMaxNumberOfRows(1);
    }
    std::shared_ptr<Log> log = std::make_shared<Log>();
    RecordingView view;
};

TEST_F(CollectionViewTest, ItemsAreCopiesOfThePrototypeKeptAcrossChangesByIdentity) {
    Array content = things(100);
    view.setContent(content);
    ASSERT_EQ(view.numberOfItems(), 100u);
    EXPECT_EQ(view.itemsMade(), 100);
    EXPECT_EQ(view.viewsMade(), 100);
    std::vector<CollectionViewItem*> before;
    for (size_t i = 0; i < 100; ++i) before.push_back(view.itemAtIndex(i));
    EXPECT_NE(before[0], view.itemPrototype().get());
    EXPECT_EQ(dynamic_cast<RecordingItem*>(before[7])->name(), "t7");
    EXPECT_EQ(before[3]->view()->geometry(), QRect(120, 0, 40, 40));

    // One more object in the middle: one new item and view, the rest moved.
    content.insert(content.begin() + 50, Value(std::make_shared<Thing>("new")));
    view.setContent(content);
    EXPECT_EQ(view.itemsMade(), 101);
    EXPECT_EQ(view.viewsMade(), 101);
    for (size_t i = 0; i < 50; ++i) EXPECT_EQ(view.itemAtIndex(i), before[i]);
    for (size_t i = 50; i < 100; ++i) EXPECT_EQ(view.itemAtIndex(i + 1), before[i]);
    EXPECT_EQ(view.itemAtIndex(51)->view()->geometry(), QRect(51 * 40, 0, 40, 40));

    // Removing and reordering: the removed item is told, the others stay.
    content.erase(content.begin());
    std::swap(content[0], content[1]);
    log->lines.clear();
    view.setContent(content);
    EXPECT_EQ(log->lines, std::vector<std::string>{"gone t0"});
    EXPECT_EQ(view.itemAtIndex(0), before[2]);
    EXPECT_EQ(view.itemAtIndex(1), before[1]);
    EXPECT_EQ(view.itemsMade(), 101);
}

TEST_F(CollectionViewTest, TheSameObjectTwiceGetsTwoItemsAndPlainValuesMatchByValue) {
    auto t = std::make_shared<Thing>("x");
    view.setContent({Value(t), Value(t), Value("plain")});
    EXPECT_EQ(view.numberOfItems(), 3u);
    EXPECT_NE(view.itemAtIndex(0), view.itemAtIndex(1));
    CollectionViewItem* plain = view.itemAtIndex(2);
    view.setContent({Value("plain"), Value(t)});
    EXPECT_EQ(view.itemAtIndex(0), plain);
    EXPECT_EQ(view.itemsMade(), 3);
}

TEST_F(CollectionViewTest, GridGeometryAndHitTesting) {
    view.setContent(things(5));
    EXPECT_EQ(view.frameForItemAtIndex(4), MakeRect(160, 0, 40, 40));
    EXPECT_EQ(view.indexOfItemAtPoint(MakePoint(165, 10)), 4);
    EXPECT_EQ(view.indexOfItemAtPoint(MakePoint(205, 10)), -1);
    EXPECT_EQ(view.indexOfItemAtPoint(MakePoint(-1, 10)), -1);
    EXPECT_EQ(view.itemAtPoint(MakePoint(45, 5)), view.itemAtIndex(1));

    // One column: top to bottom.
    view.setMaxNumberOfRows(0);
    view.setMaxNumberOfColumns(1);
    EXPECT_EQ(view.frameForItemAtIndex(3), MakeRect(0, 120, 40, 40));
    EXPECT_EQ(view.itemAtIndex(3)->view()->geometry(), QRect(0, 120, 40, 40));
    EXPECT_EQ(view.indexOfItemAtPoint(MakePoint(10, 125)), 3);

    // A free grid wraps at the view's width.
    view.setMaxNumberOfColumns(0);
    view.resize(100, 200);
    view.layoutItems();  // a hidden widget gets its resize event when shown
    EXPECT_EQ(view.frameForItemAtIndex(2), MakeRect(0, 40, 40, 40));
    EXPECT_EQ(view.itemForView(view.itemAtIndex(2)->view()), view.itemAtIndex(2));
}

TEST_F(CollectionViewTest, MouseEventsOfTheViewReachTheItemAndTheCollectionView) {
    view.setContent(things(3));
    view.show();
    QWidget* v = view.itemAtIndex(1)->view();
    QPointF p(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, p, v->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v, &press);
    QMouseEvent drag(QEvent::MouseMove, p, v->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v, &drag);
    QMouseEvent release(QEvent::MouseButtonRelease, p, v->mapToGlobal(p), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(v, &release);
    QMouseEvent right(QEvent::MouseButtonPress, p, v->mapToGlobal(p), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(v, &right);
    QMouseEvent move(QEvent::MouseMove, p, v->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(v, &move);
    EXPECT_EQ(log->lines, (std::vector<std::string>{"load", "load", "load", "down t1", "drag t1", "up t1", "right t1",
                                                     "move t1"}));
    EXPECT_EQ(view.downs, 1);
    EXPECT_EQ(view.drags, 1);
}

TEST_F(CollectionViewTest, AnItemRemovedByItsOwnClickEndsSafely) {
    Array content = things(2);
    view.setContent(content);
    view.show();
    auto* item = dynamic_cast<RecordingItem*>(view.itemAtIndex(0));
    item->onDown = [&] { view.setContent({content[1]}); };
    QWidget* v = item->view();
    QPointF p(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, p, v->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v, &press);
    EXPECT_EQ(view.numberOfItems(), 1u);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view.findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(), 1);
}

TEST_F(CollectionViewTest, ArrayControllerFollowsItsBoundContentAndTheViewFollowsTheController) {
    auto holder = std::make_shared<Holder>();
    holder->setThings(things(3));
    auto controller = ArrayController::create();
    controller->bind("contentArray", holder, "things");
    EXPECT_EQ(controller->arrangedObjects().size(), 3u);
    view.bind("content", controller, "arrangedObjects");
    view.bind("selectionIndexes", controller, "selectionIndexes");
    EXPECT_EQ(view.numberOfItems(), 3u);

    // Selection: both ways, and kept with its object when the content moves.
    view.setSelectionIndexes({1});
    EXPECT_EQ(controller->selectionIndexes(), IndexSet{1});
    EXPECT_TRUE(view.itemAtIndex(1)->isSelected());
    Array moved = holder->things;
    moved.insert(moved.begin(), Value(std::make_shared<Thing>("front")));
    holder->setThings(moved);
    EXPECT_EQ(controller->selectionIndexes(), IndexSet{2});
    EXPECT_EQ(view.selectionIndexes(), IndexSet{2});
    EXPECT_TRUE(view.itemAtIndex(2)->isSelected());
    EXPECT_FALSE(view.itemAtIndex(1)->isSelected());
    EXPECT_EQ(view.numberOfItems(), 4u);
    EXPECT_EQ(view.itemsMade(), 4);

    // Rearranging an unchanged arrangement announces nothing.
    int count = controller->arrangeCount();
    controller->rearrangeObjects();
    holder->setThings(holder->things);
    EXPECT_EQ(controller->arrangeCount(), count);

    // A filter leaves objects out; out-of-range selections are dropped.
    controller->setFilterPredicate([](const Value& v) { return v.objectAs<Thing>()->name != "front"; });
    EXPECT_EQ(view.numberOfItems(), 3u);
    EXPECT_EQ(controller->selectionIndexes(), IndexSet{1});
    EXPECT_TRUE(controller->setSelectionIndexes({7}));
    EXPECT_TRUE(controller->selectionIndexes().empty());
    EXPECT_TRUE(view.selectionIndexes().empty());

    // The binding ends with the controller's owner gone, without dangling.
    controller->unbind("contentArray");
    holder->setThings({});
    EXPECT_EQ(view.numberOfItems(), 3u);
}

}  // namespace
}  // namespace qs::test

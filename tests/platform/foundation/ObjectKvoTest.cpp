#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

// A small model object: a name, a list of items and a child node, each announced.
class Node : public Object {
public:
    explicit Node(std::string n = "") : name(std::move(n)) {}
    std::string className() const override { return "Node"; }

    Value valueForKey(const std::string& key) const override {
        if (key == "name") return Value(name);
        if (key == "items") return Value(items);
        if (key == "child") return child ? Value(child) : Value();
        return Value();
    }
    void setValueForKey(const Value& v, const std::string& key) override {
        if (key == "name")
            setName(v.stringValue());
        else
            Object::setValueForKey(v, key);
    }
    void setName(const std::string& n) {
        willChangeValueForKey("name");
        name = n;
        didChangeValueForKey("name");
    }
    void setItems(Array a) {
        willChangeValueForKey("items");
        items = std::move(a);
        didChangeValueForKey("items");
    }
    void setChild(std::shared_ptr<Node> c) {
        willChangeValueForKey("child");
        child = std::move(c);
        didChangeValueForKey("child");
    }

    std::string name;
    Array items;
    std::shared_ptr<Node> child;
};

struct Call {
    std::string keyPath;
    Object* object;
    KeyValueChange change;
    void* context;
};

class Recorder : public KeyValueObserver {
public:
    void observeValueForKeyPath(const std::string& keyPath, Object* object, const KeyValueChange& change,
                                void* context) override {
        calls.push_back({keyPath, object, change, context});
        if (onCall) onCall();
    }
    std::vector<Call> calls;
    std::function<void()> onCall;
};

char myContext[] = "myContext";
constexpr unsigned NewOld = KeyValueObservingOptionNew | KeyValueObservingOptionOld;

class ObjectKvoTest : public test::IsolatedTest {};

TEST_F(ObjectKvoTest, ClassIdentityAndStableHash) {
    Node n;
    Object plain;
    EXPECT_EQ(n.classHierarchy(), (std::vector<std::string>{"Node", "NSObject"}));
    EXPECT_EQ(plain.classHierarchy(), std::vector<std::string>{"NSObject"});
    EXPECT_TRUE(n.isKindOfClass("NSObject"));
    EXPECT_FALSE(n.isKindOfClass("FileSystemNode"));
    EXPECT_NE(n.description().find("Node"), std::string::npos);
    EXPECT_NE(n.hash(), plain.hash());
    // Published FNV-1a 64-bit vectors: the stored keys depend on these exact values.
    EXPECT_EQ(stableHash(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(stableHash("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(stableHash("foobar"), 0x85944171f73967e8ull);
    EXPECT_EQ(stableHash("é"), stableHash("\xc3\xa9"));  // over the UTF-8 bytes
}

TEST_F(ObjectKvoTest, KeyPathsWalkObjectsOnlyAndCount) {
    auto root = std::make_shared<Node>("root");
    auto child = std::make_shared<Node>("child");
    child->items = Array{1, 2, 3};
    root->child = child;

    EXPECT_EQ(root->valueForKeyPath("child.name").stringValue(), "child");
    EXPECT_EQ(root->valueForKeyPath("child.items.@count"), Value(3));
    EXPECT_TRUE(root->valueForKeyPath("child.items.@count").isInteger());
    EXPECT_TRUE(root->valueForKeyPath("name.length").isNil()) << "a string is not an object to go on with";
    EXPECT_TRUE(root->valueForKeyPath("child.child.name").isNil());
    EXPECT_TRUE(root->valueForKeyPath("child.child.items.@count").isNil());
    EXPECT_TRUE(root->valueForKeyPath("").isNil());
    EXPECT_TRUE(root->valueForKeyPath("child.items.@count.name").isNil());

    root->setValueForKeyPath(Value("renamed"), "child.name");
    EXPECT_EQ(child->name, "renamed");
    root->setValueForKeyPath(Value("x"), "child.child.name");  // broken chain: nothing happens
    root->setValueForKeyPath(Value(1), "child.unknown");
    EXPECT_TRUE(env.logged("unknown"));
}

TEST_F(ObjectKvoTest, SingleKeyGivesOldNewAndContext) {
    auto n = std::make_shared<Node>("a");
    Recorder r;
    n->addObserver(&r, "name", NewOld, myContext);
    n->setName("b");
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].keyPath, "name");
    EXPECT_EQ(r.calls[0].object, n.get());
    EXPECT_EQ(r.calls[0].context, myContext);
    EXPECT_EQ(r.calls[0].change.oldValue, Value("a"));
    EXPECT_EQ(r.calls[0].change.newValue, Value("b"));
    EXPECT_FALSE(r.calls[0].change.isPrior);

    // Only the asked-for values are filled in; other keys do not notify.
    Recorder bare;
    n->addObserver(&bare, "name", 0, nullptr);
    n->setItems(Array{1});
    n->setName("c");
    ASSERT_EQ(bare.calls.size(), 1u);
    EXPECT_TRUE(bare.calls[0].change.newValue.isNil());
    EXPECT_TRUE(bare.calls[0].change.oldValue.isNil());
}

TEST_F(ObjectKvoTest, InitialAndPriorCalls) {
    auto n = std::make_shared<Node>("a");
    Recorder r;
    n->addObserver(&r, "name",
                   KeyValueObservingOptionInitial | KeyValueObservingOptionPrior | NewOld, myContext);
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].change.newValue, Value("a"));
    EXPECT_TRUE(r.calls[0].change.oldValue.isNil());

    n->setName("b");
    ASSERT_EQ(r.calls.size(), 3u);
    EXPECT_TRUE(r.calls[1].change.isPrior);
    EXPECT_EQ(r.calls[1].change.oldValue, Value("a"));
    EXPECT_TRUE(r.calls[1].change.newValue.isNil());
    EXPECT_FALSE(r.calls[2].change.isPrior);
    EXPECT_EQ(r.calls[2].change.newValue, Value("b"));
}

TEST_F(ObjectKvoTest, LongPathIsRewiredWhenAnIntermediateChanges) {
    auto root = std::make_shared<Node>("root");
    auto first = std::make_shared<Node>("first");
    auto second = std::make_shared<Node>("second");
    root->child = first;
    Recorder r;
    root->addObserver(&r, "child.name", NewOld, myContext);
    EXPECT_EQ(first->observationCount(), 1u);

    first->setName("first'");
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].keyPath, "child.name");
    EXPECT_EQ(r.calls[0].object, root.get()) << "the observed object is the root, not the intermediate";
    EXPECT_EQ(r.calls[0].change.oldValue, Value("first"));

    root->setChild(second);
    ASSERT_EQ(r.calls.size(), 2u);
    EXPECT_EQ(r.calls[1].change.oldValue, Value("first'"));
    EXPECT_EQ(r.calls[1].change.newValue, Value("second"));
    EXPECT_EQ(first->observationCount(), 0u);
    EXPECT_EQ(second->observationCount(), 1u);

    first->setName("stale");
    EXPECT_EQ(r.calls.size(), 2u) << "the old intermediate no longer notifies";
    second->setName("second'");
    ASSERT_EQ(r.calls.size(), 3u);
    EXPECT_EQ(r.calls[2].change.newValue, Value("second'"));

    // Through nil and back.
    root->setChild(nullptr);
    EXPECT_TRUE(r.calls.back().change.newValue.isNil());
    EXPECT_EQ(second->observationCount(), 0u);
    root->setChild(first);
    EXPECT_EQ(r.calls.back().change.newValue, Value("stale"));
    first->setName("live");
    EXPECT_EQ(r.calls.back().change.newValue, Value("live"));
    EXPECT_EQ(r.calls.size(), 6u);
}

TEST_F(ObjectKvoTest, CountOperatorObservesTheCollectionKey) {
    auto root = std::make_shared<Node>();
    auto model = std::make_shared<Node>();
    model->items = Array{1, 2};
    root->child = model;
    Recorder r;
    root->addObserver(&r, "child.items.@count", NewOld, myContext);
    model->setItems(Array{1, 2, 3});
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].keyPath, "child.items.@count");
    EXPECT_EQ(r.calls[0].change.oldValue, Value(2));
    EXPECT_EQ(r.calls[0].change.newValue, Value(3));

    // A path that is nothing but an operator cannot be observed.
    Recorder none;
    root->addObserver(&none, "@count", NewOld, nullptr);
    root->addObserver(&none, "child..name", NewOld, nullptr);
    EXPECT_EQ(root->observationCount(), 1u);
    EXPECT_TRUE(env.logged("cannot be observed"));
}

TEST_F(ObjectKvoTest, NestedChangesNotifyOnceAtTheOutermostDid) {
    auto n = std::make_shared<Node>("a");
    Recorder r;
    n->addObserver(&r, "name", NewOld, myContext);
    n->willChangeValueForKey("name");
    n->setName("b");  // an inner will/did of the same key
    EXPECT_TRUE(r.calls.empty());
    n->name = "c";
    n->didChangeValueForKey("name");
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].change.oldValue, Value("a"));
    EXPECT_EQ(r.calls[0].change.newValue, Value("c"));

    // Nesting of one key does not hold back another.
    n->willChangeValueForKey("name");
    n->setItems(Array{});
    n->didChangeValueForKey("name");
    EXPECT_EQ(r.calls.size(), 2u);
}

TEST_F(ObjectKvoTest, ObserversChangedDuringANotification) {
    auto n = std::make_shared<Node>("a");
    Recorder first, second, late;
    n->addObserver(&first, "name", NewOld, nullptr);
    n->addObserver(&second, "name", NewOld, nullptr);
    first.onCall = [&] {
        n->removeObserver(&second, "name");
        n->removeObserver(&first, "name");
        n->addObserver(&late, "name", NewOld, nullptr);
    };
    n->setName("b");
    EXPECT_EQ(first.calls.size(), 1u);
    EXPECT_TRUE(second.calls.empty()) << "removed before its turn";
    EXPECT_TRUE(late.calls.empty()) << "added after this change began";
    n->setName("c");
    EXPECT_EQ(first.calls.size(), 1u);
    EXPECT_EQ(late.calls.size(), 1u);
    EXPECT_EQ(n->observationCount(), 1u);
}

TEST_F(ObjectKvoTest, RegistrationsCountAndRemoveOneAtATime) {
    auto n = std::make_shared<Node>("a");
    Recorder r;
    char other[] = "other";
    n->addObserver(&r, "name", 0, myContext);
    n->addObserver(&r, "name", 0, other);
    n->setName("b");
    EXPECT_EQ(r.calls.size(), 2u) << "one call per registration";
    n->removeObserver(&r, "name", other);
    n->setName("c");
    ASSERT_EQ(r.calls.size(), 3u);
    EXPECT_EQ(r.calls[2].context, myContext);
    n->removeObserver(&r, "name", other);
    EXPECT_TRUE(env.logged("no observer registered"));
    EXPECT_EQ(n->observationCount(), 1u);
}

TEST_F(ObjectKvoTest, ObserverDestroyedFirst) {
    auto root = std::make_shared<Node>();
    auto child = std::make_shared<Node>();
    root->child = child;
    {
        Recorder r;
        root->addObserver(&r, "child.name", NewOld, nullptr);
        root->addObserver(&r, "name", NewOld, nullptr);
        EXPECT_EQ(root->observationCount(), 2u);
    }
    EXPECT_EQ(root->observationCount(), 0u);
    EXPECT_EQ(child->observationCount(), 0u);
    child->setName("x");
    root->setName("y");
}

TEST_F(ObjectKvoTest, ObservedObjectDestroyedFirst) {
    Recorder r;
    auto child = std::make_shared<Node>();
    {
        auto root = std::make_shared<Node>();
        root->child = child;
        root->addObserver(&r, "child.name", NewOld, nullptr);
    }
    EXPECT_EQ(child->observationCount(), 0u) << "the links of a dead root go with it";
    child->setName("x");
    EXPECT_TRUE(r.calls.empty());

    // The observer's own bookkeeping was updated: it can observe again and die cleanly.
    auto again = std::make_shared<Node>();
    again->addObserver(&r, "name", 0, nullptr);
    again->setName("z");
    EXPECT_EQ(r.calls.size(), 1u);
}

TEST_F(ObjectKvoTest, IntermediateThatDiesBreaksThePathUntilRewired) {
    auto root = std::make_shared<Node>();
    Recorder r;
    root->child = std::make_shared<Node>("doomed");
    root->addObserver(&r, "child.name", NewOld, nullptr);
    root->child.reset();  // dropped without an announcement: the intermediate dies observed
    EXPECT_EQ(root->observationCount(), 1u);
    auto fresh = std::make_shared<Node>("fresh");
    root->setChild(fresh);
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_TRUE(r.calls[0].change.oldValue.isNil());
    fresh->setName("fresh'");
    EXPECT_EQ(r.calls.size(), 2u);
}

TEST_F(ObjectKvoTest, ObjectDestroyedInsideACallback) {
    auto n = std::make_shared<Node>("a");
    Recorder killer, bystander;
    n->addObserver(&killer, "name", NewOld, nullptr);
    n->addObserver(&bystander, "name", NewOld, nullptr);
    Node* raw = n.get();
    killer.onCall = [&] { n.reset(); };  // the last reference goes while the change is delivered
    raw->setName("b");
    EXPECT_EQ(killer.calls.size(), 1u);
    EXPECT_TRUE(bystander.calls.empty()) << "its registration died with the object";
}

// A controller that observes its own key paths, as the panels do; either base may go first.
class SelfWatcher : public Node, public KeyValueObserver {
public:
    SelfWatcher() { child = std::make_shared<Node>("c"); }
    void observeValueForKeyPath(const std::string& keyPath, Object*, const KeyValueChange&, void*) override {
        seen.push_back(keyPath);
    }
    std::vector<std::string> seen;
};
class SelfWatcherObserverFirst : public KeyValueObserver, public Node {
public:
    void observeValueForKeyPath(const std::string&, Object*, const KeyValueChange&, void*) override { ++calls; }
    int calls = 0;
};

TEST_F(ObjectKvoTest, ObjectObservingItself) {
    auto grandchild = std::make_shared<Node>();
    {
        auto w = std::make_shared<SelfWatcher>();
        w->addObserver(w.get(), "child.name", NewOld, myContext);
        w->addObserver(w.get(), "child.items.@count", NewOld, myContext);
        w->child->setName("d");
        w->child->setItems(Array{1});
        EXPECT_EQ(w->seen, (std::vector<std::string>{"child.name", "child.items.@count"}));
        auto o = std::make_shared<SelfWatcherObserverFirst>();
        o->child = grandchild;
        o->addObserver(o.get(), "child.name", 0, nullptr);
        grandchild->setName("x");
        EXPECT_EQ(o->calls, 1);
    }
    EXPECT_EQ(grandchild->observationCount(), 0u);
}

TEST_F(ObjectKvoTest, BlockObservation) {
    auto root = std::make_shared<Node>();
    root->child = std::make_shared<Node>("a");
    std::vector<std::string> seen;
    KeyValueObservation handle = root->observe("child.name", NewOld, [&](const KeyValueChange& c) {
        seen.push_back(c.oldValue.stringValue() + ">" + c.newValue.stringValue());
    });
    EXPECT_TRUE(handle.isValid());
    root->child->setName("b");
    KeyValueObservation moved = std::move(handle);
    root->child->setName("c");
    EXPECT_EQ(seen, (std::vector<std::string>{"a>b", "b>c"}));
    moved = KeyValueObservation();
    root->child->setName("d");
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(root->observationCount(), 0u);

    // Ended from inside its own handler.
    int calls = 0;
    KeyValueObservation self;
    self = root->observe("name", 0, [&](const KeyValueChange&) {
        ++calls;
        self.invalidate();
    });
    root->setName("x");
    root->setName("y");
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(self.isValid());
}

}  // namespace
}  // namespace qs

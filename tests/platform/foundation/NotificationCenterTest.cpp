#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"
#include "support/CpuStopwatch.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

class Same : public Object {
public:
    bool isEqual(const Object* other) const override { return dynamic_cast<const Same*>(other) != nullptr; }
};

class NotificationCenterTest : public test::IsolatedTest {
protected:
    NotificationCenter center;
    std::vector<std::string> order;
    int ownerA = 0, ownerB = 0;
};

TEST_F(NotificationCenterTest, DeliversInRegistrationOrderByName) {
    center.addObserver(&ownerA, "saveDocksData", nullptr, [&](const Notification& n) {
        order.push_back("a:" + n.name + ":" + n.userInfo.at("k").stringValue());
    });
    center.addObserver(&ownerB, "", nullptr, [&](const Notification& n) { order.push_back("any:" + n.name); });
    center.addObserver(&ownerB, "saveDocksData", nullptr, [&](const Notification&) { order.push_back("b"); });
    center.postNotificationName("saveDocksData", Value(), Dictionary{{"k", Value("v")}});
    center.postNotificationName("ThemeIndex");
    EXPECT_EQ(order, (std::vector<std::string>{"a:saveDocksData:v", "any:saveDocksData", "b", "any:ThemeIndex"}));
    EXPECT_NE(&NotificationCenter::defaultCenter(), &NotificationCenter::workspaceCenter());
}

TEST_F(NotificationCenterTest, ObjectFilterIsIdentity) {
    auto one = std::make_shared<Same>();
    auto twin = std::make_shared<Same>();  // equal, but not the same object
    center.addObserver(&ownerA, "isPersistent", one.get(), [&](const Notification&) { order.push_back("filtered"); });
    center.addObserver(&ownerA, "isPersistent", nullptr, [&](const Notification&) { order.push_back("open"); });
    center.postNotificationName("isPersistent", Value(twin));
    center.postNotificationName("isPersistent", Value("not an object"));
    center.postNotificationName("isPersistent");
    EXPECT_EQ(order, (std::vector<std::string>{"open", "open", "open"}));
    center.postNotificationName("isPersistent", Value(one));
    EXPECT_EQ(order.back(), "open");
    EXPECT_EQ(order[3], "filtered");
}

TEST_F(NotificationCenterTest, ObserversChangedDuringDelivery) {
    NotificationCenter::ObserverToken second = 0;
    center.addObserver(&ownerA, "n", nullptr, [&](const Notification&) {
        order.push_back("first");
        center.removeObserver(second);
        center.addObserver(&ownerA, "n", nullptr, [&](const Notification&) { order.push_back("late"); });
    });
    second = center.addObserver(&ownerB, "n", nullptr, [&](const Notification&) { order.push_back("second"); });
    center.postNotificationName("n");
    EXPECT_EQ(order, std::vector<std::string>{"first"});
    order.clear();
    center.removeObserver(&ownerA, "n");  // owner A's first and late both go
    center.postNotificationName("n");
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(center.observerCount(), 0u);
}

TEST_F(NotificationCenterTest, OwnerWideRemoval) {
    auto obj = std::make_shared<Object>();
    center.addObserver(&ownerA, "x", nullptr, [&](const Notification&) { order.push_back("ax"); });
    center.addObserver(&ownerA, "y", obj.get(), [&](const Notification&) { order.push_back("ay"); });
    center.addObserver(&ownerA, "y", nullptr, [&](const Notification&) { order.push_back("ay-open"); });
    center.addObserver(&ownerB, "x", nullptr, [&](const Notification&) { order.push_back("bx"); });
    center.removeObserver(&ownerA, "y", obj.get());
    center.postNotificationName("y", Value(obj));
    EXPECT_EQ(order, std::vector<std::string>{"ay-open"});
    center.removeObserver(&ownerA);
    order.clear();
    center.postNotificationName("x");
    center.postNotificationName("y");
    EXPECT_EQ(order, std::vector<std::string>{"bx"});
    EXPECT_EQ(center.addObserver(&ownerA, "z", nullptr, nullptr), 0u);
    EXPECT_TRUE(env.logged("no handler"));
}

// Thousands of observers (the cells of a large dock) register and go: each removal costs
// the observer's own registrations, and the order of the rest stays.
TEST_F(NotificationCenterTest, ThousandsOfObserversComeAndGoInLinearTimeAndTheRestKeepTheirOrder) {
    std::vector<int> owners(20000);
    auto churn = [&](size_t n) {
        test::CpuStopwatch watch;
        for (size_t i = 0; i < n; ++i) center.addObserver(&owners[i], "changeBadge", nullptr, [](const Notification&) {});
        for (size_t i = 0; i < n; ++i) {  // a cell's set-up: its earlier registrations go first
            center.removeObserver(&owners[i]);
            center.addObserver(&owners[i], "changeBadge", nullptr, [](const Notification&) {});
        }
        for (size_t i = 0; i < n; ++i) center.removeObserver(&owners[i]);
        return watch.elapsedMs();
    };
    const double small = churn(5000), large = churn(20000);
    EXPECT_LT(large, std::max(8.0 * small, 200.0)) << small << " ms for 5,000, " << large << " ms for 20,000";
    EXPECT_EQ(center.observerCount(), 0u);

    center.addObserver(&ownerA, "n", nullptr, [&](const Notification&) { order.push_back("a"); });
    for (int i = 0; i < 100; ++i) center.addObserver(&owners[size_t(i)], "n", nullptr, [&](const Notification&) {});
    auto token = center.addObserver(nullptr, "n", nullptr, [&](const Notification&) { order.push_back("token"); });
    center.addObserver(&ownerB, "n", nullptr, [&](const Notification&) { order.push_back("b"); });
    for (int i = 0; i < 100; ++i) center.removeObserver(&owners[size_t(i)]);
    center.postNotificationName("n");
    EXPECT_EQ(order, (std::vector<std::string>{"a", "token", "b"}));
    center.removeObserver(token);
    EXPECT_EQ(center.observerCount(), 2u);
}

TEST_F(NotificationCenterTest, RegistrationFromManyThreads) {
    std::atomic<int> delivered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                auto token = center.addObserver(nullptr, "tick", nullptr, [&](const Notification&) { ++delivered; });
                if (i % 2) center.removeObserver(token);
            }
        });
    for (int i = 0; i < 100; ++i) center.postNotificationName("tick");
    for (auto& th : threads) th.join();
    EXPECT_EQ(center.observerCount(), 400u);
    delivered = 0;
    center.postNotificationName("tick");
    EXPECT_EQ(delivered.load(), 400);
}

}  // namespace
}  // namespace qs

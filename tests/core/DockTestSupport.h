#pragma once
// Shared pieces of the dock start tests: a recording dock panel and its factory, a
// dictionary-backed coder, and a fixture with the sim desktop and a fresh dock manager.

#include <memory>
#include <string>
#include <vector>

#include "core/DockConfiguration.h"
#include "core/DockManager.h"
#include "core/DockModel.h"
#include "core/DockWindowController.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"
#include "tracking/Displays.h"

namespace qs::test {

// Every call on every fake panel, in order: "make#1@A", "fade#1@A", "orderOut#1",
// "close#1" (panel number, screen name).
struct PanelLog {
    std::vector<std::string> calls;
    int made = 0;
    bool contains(const std::string& c) const {
        for (auto& x : calls)
            if (x == c) return true;
        return false;
    }
    long indexOf(const std::string& c) const {
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i] == c) return long(i);
        return -1;
    }
};

inline std::string screenName(const ScreenPtr& s) { return s ? s->localizedName() : "nil"; }

class FakePanel : public DockPanelWindow {
public:
    FakePanel(std::shared_ptr<PanelLog> log, int number, std::shared_ptr<DockModel> model,
              std::shared_ptr<DockConfiguration> config, ScreenPtr madeOn)
        : model(std::move(model)), config(std::move(config)), madeOn(std::move(madeOn)), log_(std::move(log)),
          number_(number) {}

    void fadeInOnScreen(ScreenPtr s) override {
        screen_ = s;
        alpha = 1.0;
        log_->calls.push_back(tag("fade") + "@" + screenName(s));
    }
    void orderOut() override { log_->calls.push_back(tag("orderOut")); }
    void close() override {
        closed = true;
        log_->calls.push_back(tag("close"));
    }
    double alphaValue() const override { return alpha; }
    ScreenPtr screen() const override { return screen_; }
    Rect maxFrameForMaximize() const override { return maxFrame; }
    Rect maxFrameForVerticalMaximizeFrame(const Rect& r) const override {
        verticalAsked = r;
        return verticalFrame;
    }

    int number() const { return number_; }

    std::shared_ptr<DockModel> model;
    std::shared_ptr<DockConfiguration> config;
    ScreenPtr madeOn;
    double alpha = 0.0;
    bool closed = false;
    Rect maxFrame = MakeRect(0, 0, 1440, 800);
    Rect verticalFrame = RectZero;
    mutable Rect verticalAsked = RectZero;

private:
    std::string tag(const std::string& what) const { return what + "#" + std::to_string(number_); }
    std::shared_ptr<PanelLog> log_;
    int number_;
    ScreenPtr screen_;
};

// Installs a factory making FakePanels; the panels made are kept in `panels`.
struct FakePanelFactory {
    std::shared_ptr<PanelLog> log = std::make_shared<PanelLog>();
    std::shared_ptr<std::vector<std::shared_ptr<FakePanel>>> panels =
        std::make_shared<std::vector<std::shared_ptr<FakePanel>>>();

    void install() {
        auto l = log;
        auto p = panels;
        DockManager::setWindowFactory([l, p](std::shared_ptr<DockModel> m, std::shared_ptr<DockConfiguration> c,
                                             ScreenPtr s) -> DockPanelWindowPtr {
            int n = ++l->made;
            l->calls.push_back("make#" + std::to_string(n) + "@" + screenName(s));
            auto panel = std::make_shared<FakePanel>(l, n, std::move(m), std::move(c), std::move(s));
            p->push_back(panel);
            return panel;
        });
    }
    // Panels not yet closed.
    std::vector<std::shared_ptr<FakePanel>> live() const {
        std::vector<std::shared_ptr<FakePanel>> out;
        for (auto& p : *panels)
            if (!p->closed) out.push_back(p);
        return out;
    }
};

// A coder over a plain dictionary; records the order of the encode calls.
class DictionaryCoder : public Coder {
public:
    Dictionary values;
    std::vector<std::string> order;

    void encodeObject(const Value& v, const std::string& k) override { put(k, v); }
    void encodeBool(bool v, const std::string& k) override { put(k, Value(v)); }
    void encodeInt(int32_t v, const std::string& k) override { put(k, Value(v)); }
    void encodeInteger(int64_t v, const std::string& k) override { put(k, Value(v)); }
    void encodeFloat(float v, const std::string& k) override { put(k, Value(v)); }
    void encodeDouble(double v, const std::string& k) override { put(k, Value(v)); }
    Value decodeObjectForKey(const std::string& k) override { return get(k); }
    bool decodeBoolForKey(const std::string& k) override { return get(k).boolValue(); }
    int32_t decodeIntForKey(const std::string& k) override { return int32_t(get(k).integerValue()); }
    int64_t decodeIntegerForKey(const std::string& k) override { return get(k).integerValue(); }
    float decodeFloatForKey(const std::string& k) override { return float(get(k).doubleValue()); }
    double decodeDoubleForKey(const std::string& k) override { return get(k).doubleValue(); }
    bool containsValueForKey(const std::string& k) override { return values.count(k) > 0; }

private:
    void put(const std::string& k, const Value& v) {
        values[k] = v;
        order.push_back(k);
    }
    Value get(const std::string& k) const {
        auto it = values.find(k);
        return it == values.end() ? Value() : it->second;
    }
};

// Counts posts of one notification name on the default centre.
class PostCounter {
public:
    explicit PostCounter(std::string name) {
        token_ = NotificationCenter::defaultCenter().addObserver(this, name, nullptr,
                                                                 [this](const Notification&) { ++count; });
    }
    ~PostCounter() { NotificationCenter::defaultCenter().removeObserver(token_); }
    int count = 0;

private:
    NotificationCenter::ObserverToken token_;
};

// The sim desktop with screens A (primary) and B, a recording panel factory and no
// dock manager yet.
class DockTest : public IsolatedTest {
protected:
    DockTest() {
        sim = sim::installSimBackend(false);
        a = sim.screens->addScreen(MakeRect(0, 0, 1440, 900), "A");
        factory.install();
    }
    ~DockTest() override {
        DockManager::resetSharedInstanceForTesting();
        DockManager::setWindowFactory(nullptr);
        Displays::resetSharedInstanceForTesting();
    }
    std::shared_ptr<sim::SimScreen> addB() { return b = sim.screens->addScreen(MakeRect(1440, 0, 1280, 800), "B"); }
    UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
    std::shared_ptr<DockManager> start() { return DockManager::sharedInstance(); }

    sim::SimBackend sim;
    std::shared_ptr<sim::SimScreen> a, b;
    FakePanelFactory factory;
};

}  // namespace qs::test

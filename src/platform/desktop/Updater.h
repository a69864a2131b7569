#pragma once
// The update checker, as a local layer: on a Linux desktop the package manager brings
// updates, so nothing here reaches the network. It keeps the configuration it is given
// and a log of the calls, which tests read. A check the user starts is answered through
// the user driver the interface installs, honestly: no feed is fetched.

#include <memory>
#include <string>
#include <vector>

namespace qs {

class SUUpdater;

class SUUpdaterDelegate {
public:
    virtual ~SUUpdaterDelegate() = default;
    virtual std::string feedURLStringForUpdater(SUUpdater& updater) = 0;
    virtual bool updaterShouldCheckForBetaUpdates(SUUpdater& updater) = 0;
};

// What a user-started check tells the user (the updater's own user interface).
struct SUUpdateCheckResult {
    // The feed the check would read ("" when none is configured).
    std::string feedURL;
    std::string title;
    std::string message;
};

class SUUpdaterUserDriver {
public:
    virtual ~SUUpdaterUserDriver() = default;
    virtual void showUpdateCheckResult(const SUUpdateCheckResult& result) = 0;
};

class SUUpdater {
public:
    static SUUpdater& sharedUpdater();

    void setDelegate(std::weak_ptr<SUUpdaterDelegate> delegate);
    std::shared_ptr<SUUpdaterDelegate> delegate() const { return delegate_.lock(); }
    void setFeedURL(const std::string& feedURL);
    const std::string& feedURL() const { return feedURL_; }
    void setUpdateCheckInterval(double seconds);
    double updateCheckInterval() const { return updateCheckInterval_; }
    void setAutomaticallyChecksForUpdates(bool automatic);
    bool automaticallyChecksForUpdates() const { return automaticallyChecks_; }

    void checkForUpdatesInBackground();
    void installUpdatesIfAvailable();
    // A user-started check: the feed is the delegate's answer (else the one set), and
    // the user driver tells the user that no feed is configured, or that this build
    // fetches none. Nothing is sent anywhere.
    void checkForUpdates();
    // The answer a check gives for a feed.
    static SUUpdateCheckResult updateCheckResultForFeed(const std::string& feedURL);

    void setUserDriver(std::shared_ptr<SUUpdaterUserDriver> driver) { userDriver_ = std::move(driver); }
    const std::shared_ptr<SUUpdaterUserDriver>& userDriver() const { return userDriver_; }

    // Every call in order, e.g. "setFeedURL:https://...", "checkForUpdatesInBackground".
    const std::vector<std::string>& callLog() const { return calls_; }
    void resetForTesting();

private:
    std::weak_ptr<SUUpdaterDelegate> delegate_;
    std::string feedURL_;
    double updateCheckInterval_ = 0.0;
    bool automaticallyChecks_ = false;
    std::vector<std::string> calls_;
    std::shared_ptr<SUUpdaterUserDriver> userDriver_;
};

}  // namespace qs

#include "platform/desktop/Updater.h"

#include <sstream>

#include "platform/foundation/Log.h"

namespace qs {

SUUpdater& SUUpdater::sharedUpdater() {
    static SUUpdater updater;
    return updater;
}

void SUUpdater::setDelegate(std::weak_ptr<SUUpdaterDelegate> delegate) {
    delegate_ = std::move(delegate);
    calls_.push_back("setDelegate");
}

void SUUpdater::setFeedURL(const std::string& feedURL) {
    feedURL_ = feedURL;
    calls_.push_back("setFeedURL:" + feedURL);
}

void SUUpdater::setUpdateCheckInterval(double seconds) {
    updateCheckInterval_ = seconds;
    std::ostringstream os;
    os << "setUpdateCheckInterval:" << seconds;
    calls_.push_back(os.str());
}

void SUUpdater::setAutomaticallyChecksForUpdates(bool automatic) {
    automaticallyChecks_ = automatic;
    calls_.push_back(std::string("setAutomaticallyChecksForUpdates:") + (automatic ? "YES" : "NO"));
}

void SUUpdater::checkForUpdatesInBackground() { calls_.push_back("checkForUpdatesInBackground"); }
void SUUpdater::installUpdatesIfAvailable() { calls_.push_back("installUpdatesIfAvailable"); }
void SUUpdater::checkForUpdates() {
    calls_.push_back("checkForUpdates");
    std::string feed = feedURL_;
    if (auto d = delegate()) feed = d->feedURLStringForUpdater(*this);
    SUUpdateCheckResult result = updateCheckResultForFeed(feed);
    if (userDriver_)
        userDriver_->showUpdateCheckResult(result);
    else
        log(result.message);
}

SUUpdateCheckResult SUUpdater::updateCheckResultForFeed(const std::string& feedURL) {
    SUUpdateCheckResult result;
    result.feedURL = feedURL;
    result.title = "Check for Updates";
    if (feedURL.empty()) {
        result.message =
            "No update feed is configured, so Quayside cannot look for updates itself. "
            "New versions come with your system's packages or a new build.";
    } else {
        result.message = "Quayside does not fetch its update feed (" + feedURL +
                         "): nothing is sent over the network. "
                         "New versions come with your system's packages or a new build.";
    }
    return result;
}

void SUUpdater::resetForTesting() { *this = SUUpdater(); }

}  // namespace qs

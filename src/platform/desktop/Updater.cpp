#include "platform/desktop/Updater.h"

#include <sstream>

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
void SUUpdater::checkForUpdates() { calls_.push_back("checkForUpdates"); }

void SUUpdater::resetForTesting() { *this = SUUpdater(); }

}  // namespace qs

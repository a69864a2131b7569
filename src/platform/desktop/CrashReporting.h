#pragma once
// Analytics and crash reporting, as a local layer: nothing is collected or sent. It
// keeps what it is given so that tests can read it.

#include <memory>
#include <string>
#include <vector>

namespace qs {

struct MSErrorReport {
    std::string identifier;
};

class MSCrashes;

class MSCrashesDelegate {
public:
    virtual ~MSCrashesDelegate() = default;
    // crashes:shouldProcessErrorReport:
    virtual bool crashes(MSCrashes* crashes, const MSErrorReport& shouldProcessErrorReport) = 0;
};

class MSAppCenter {
public:
    static void start(const std::string& appSecret, const std::vector<std::string>& services);
    static void setLogLevel(int level);

    static bool isStarted();
    static const std::string& appSecret();
    static const std::vector<std::string>& services();
    static int logLevel();
    static void resetForTesting();
};

class MSCrashes {
public:
    static void setDelegate(std::weak_ptr<MSCrashesDelegate> delegate);
    static std::shared_ptr<MSCrashesDelegate> delegate();
};

// Service names handed to MSAppCenter::start.
inline constexpr const char* MSAnalytics = "MSAnalytics";
inline constexpr const char* MSCrashesService = "MSCrashes";

}  // namespace qs

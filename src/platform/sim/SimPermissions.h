#pragma once
// Permissions for tests: accessibility and screen recording are switches (YES unless a
// test turns them off); full disk access is computed from the real home and trash
// folders, as on X11, unless a test forces a status. Every question and request is
// counted.

#include <functional>
#include <memory>
#include <optional>

#include "platform/desktop/Permissions.h"

namespace qs::sim {

class SimPermissions : public desktop::Permissions {
public:
    void setTrusted(bool trusted) { trusted_ = trusted; }
    void setScreenRecordingGranted(bool granted) { screenRecording_ = granted; }
    // nullopt: computed from the folders.
    void forceFullDiskAccessStatus(std::optional<int> status) { forcedStatus_ = status; }

    int trustQueries() const { return trustQueries_; }
    int prompts() const { return prompts_; }
    int screenRecordingQueries() const { return screenRecordingQueries_; }
    int screenRecordingRequests() const { return screenRecordingRequests_; }
    int fullDiskAccessQueries() const { return fullDiskAccessQueries_; }
    int fullDiskAccessRequests() const { return fullDiskAccessRequests_; }
    int fullDiskAccessCompletions() const { return *fullDiskAccessCompletions_; }

    bool isProcessTrusted(bool prompt) override;
    bool screenRecordingGranted() override;
    void requestScreenRecording() override { ++screenRecordingRequests_; }
    int fullDiskAccessStatus() override;
    void requestFullDiskAccess(std::function<void()> completion) override;

private:
    bool trusted_ = true;
    bool screenRecording_ = true;
    std::optional<int> forcedStatus_;
    int trustQueries_ = 0;
    int prompts_ = 0;
    int screenRecordingQueries_ = 0;
    int screenRecordingRequests_ = 0;
    int fullDiskAccessQueries_ = 0;
    int fullDiskAccessRequests_ = 0;
    std::shared_ptr<int> fullDiskAccessCompletions_ = std::make_shared<int>(0);
};

}  // namespace qs::sim

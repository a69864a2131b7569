#pragma once
// The what's-new window. It holds only what the start needs now: showWhatsNew, which
// the start sends 2.0 s after launch. Whether a window is shown is decided with the
// window itself; for now no window is shown.

#include <string>

#include "platform/foundation/Object.h"

namespace qs {

class NewsWindowController : public Object {
public:
    std::string className() const override { return "NewsWindowController"; }
    void showWhatsNew() { ++showWhatsNewCount_; }
    int showWhatsNewCount() const { return showWhatsNewCount_; }

private:
    int showWhatsNewCount_ = 0;
};

}  // namespace qs

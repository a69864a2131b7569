#pragma once
// The compositing-manager query on X11: the owner of the selection _NET_WM_CM_S<n> of
// the connection's screen.

#include <memory>

#include "platform/desktop/Compositor.h"

namespace qs::x11 {

class XConnection;

class X11Compositor : public desktop::Compositor {
public:
    explicit X11Compositor(std::shared_ptr<XConnection> connection) : conn_(std::move(connection)) {}
    bool isCompositing() override;

private:
    std::shared_ptr<XConnection> conn_;
};

}  // namespace qs::x11

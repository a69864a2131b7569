#pragma once
// The compositing manager of an X display: the owner of the selection
// _NET_WM_CM_S<screen number>, read from the server on every question.

#include <memory>

#include "platform/desktop/Compositing.h"

namespace qs::x11 {

class XConnection;

class X11Compositing : public desktop::Compositing {
public:
    explicit X11Compositing(std::shared_ptr<XConnection> conn) : conn_(std::move(conn)) {}
    bool isCompositingManagerRunning() override;

private:
    std::shared_ptr<XConnection> conn_;
};

}  // namespace qs::x11

#pragma once
// Workspace events a test plays, posted on the workspace centre as the x11 backend
// posts them.

namespace qs::sim {

struct SimWorkspaceEvents {
    static void switchSpace();          // "NSWorkspaceActiveSpaceDidChangeNotification"
    static void changeActiveDisplay();  // "NSWorkspaceActiveDisplayDidChangeNotification"
    static void wake();                 // "NSWorkspaceDidWakeNotification"
};

}  // namespace qs::sim

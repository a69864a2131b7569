#pragma once
// Names of the notifications the desktop backends post. Screen parameters go to the
// default centre; the others to the workspace centre.

namespace qs {

inline constexpr const char* NSApplicationDidChangeScreenParametersNotification =
    "NSApplicationDidChangeScreenParametersNotification";
inline constexpr const char* NSWorkspaceActiveSpaceDidChangeNotification =
    "NSWorkspaceActiveSpaceDidChangeNotification";
inline constexpr const char* NSWorkspaceActiveDisplayDidChangeNotification =
    "NSWorkspaceActiveDisplayDidChangeNotification";
inline constexpr const char* NSWorkspaceDidWakeNotification = "NSWorkspaceDidWakeNotification";

}  // namespace qs

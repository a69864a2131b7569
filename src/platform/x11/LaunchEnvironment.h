#pragma once
// The environment and folder that programs started from the dock get. They start in the
// user's home folder (unless their desktop entry names one), in a session of their own,
// with this program's environment less what is private to it: the variables it set for
// itself (given back the values they had when it started, or removed), its own
// QUAYSIDE_* variables and its start-up notification id (DESKTOP_STARTUP_ID,
// XDG_ACTIVATION_TOKEN), which belong to this program's launch, not theirs.

#include <string>
#include <vector>

namespace qs::x11::LaunchEnvironment {

// Sets `name` for this program only: programs it starts get the value it had before.
// Call on the main thread before any program is started.
void setPrivate(const char* name, const char* value);

// "NAME=value" entries for a program started now in `folder` (its PWD).
std::vector<std::string> forChild(const std::string& folder);

// $HOME when it names a folder; else the home folder of the user's account; else "/".
std::string homeFolder();

}  // namespace qs::x11::LaunchEnvironment

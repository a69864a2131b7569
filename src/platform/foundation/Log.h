#pragma once
// A few plain console lines, as the program's helpers write them.

#include <functional>
#include <sstream>
#include <string>

namespace qs {

// Writes one line to standard error, prefixed "quayside: ", and hands it to the
// installed sink (tests capture log lines through it).
void logLine(const std::string& line);
void setLogSink(std::function<void(const std::string&)> sink);
// Writes the line unless the same line was already written by logOnce (any thread):
// for a fault that would otherwise repeat with every use, such as a broken icon file.
// Remembers at most a few thousand lines, then starts afresh.
void logOnce(const std::string& line);
// Forgets the lines logOnce has written (for tests).
void resetLogOnceForTesting();

template <class... Parts>
void log(const Parts&... parts) {
    std::ostringstream os;
    (os << ... << parts);
    logLine(os.str());
}

}  // namespace qs

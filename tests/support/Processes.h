#pragma once
// Signalling the processes a test started. A pid that names no single process (the -1 of
// a fork that failed, or 0) is never passed to kill(): -1 would signal every process the
// user may signal, 0 the test's own process group.

#include <csignal>
#include <sys/types.h>

namespace qs::test {

// Sends `signal` to the process; answers false, and sends nothing, for a pid below 1.
inline bool signalProcess(pid_t pid, int signal) { return pid > 0 && ::kill(pid, signal) == 0; }

}  // namespace qs::test

#pragma once
// Times work done on the calling thread by the CPU time it spends, not by the wall clock:
// a test that bounds how long something takes (an absurd input must not make it crawl)
// then does not fail because a loaded machine left the thread waiting for a core.

#include <ctime>

namespace qs::test {

class CpuStopwatch {
public:
    CpuStopwatch() { restart(); }
    void restart() { start_ = now(); }
    // Milliseconds of this thread's CPU time since the start.
    double elapsedMs() const { return (now() - start_) * 1000.0; }

private:
    static double now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    }
    double start_ = 0.0;
};

}  // namespace qs::test

// The simulator's clock: the performance counter, or the virtual clock that a
// test switches on and moves (sim/TestClock.h).
#include <algorithm>
#include <cmath>

#include "sim/Simulator.h"
#include "sim/TestClock.h"

namespace sim {

namespace {

LARGE_INTEGER Counter()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}
const LARGE_INTEGER gStart = Counter();

double CounterMs()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(Counter().QuadPart - gStart.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Guarded by SimLock().
bool gVirtual = false;
double gVirtualMs = 0;
// Added to the counter, so that real time goes on from where the virtual
// clock stood instead of running back.
double gRealOffsetMs = 0;

}  // namespace

double NowMs()
{
    Lock lock(SimLock());
    return gVirtual ? gVirtualMs : CounterMs() + gRealOffsetMs;
}

bool ClockIsVirtual()
{
    Lock lock(SimLock());
    return gVirtual;
}

void AdvanceClockTo(double ms)
{
    Lock lock(SimLock());
    if (gVirtual && ms > gVirtualMs) gVirtualMs = ms;
}

}  // namespace sim

using namespace sim;

extern "C" {

void WINAPI SimUseVirtualClock(BOOL on)
{
    try {
        Lock lock(SimLock());
        const bool virtualClock = on != FALSE;
        if (virtualClock == gVirtual) return;
        // A whole millisecond to start from: the times a test adds stay exact,
        // so a pump that runs 1040 ms at 1 l/s has pumped 1.04 l, not a hair less.
        if (virtualClock)
            gVirtualMs = std::ceil(CounterMs() + gRealOffsetMs);
        else
            gRealOffsetMs = std::max(gRealOffsetMs, gVirtualMs - CounterMs());
        gVirtual = virtualClock;
        LogLine(virtualClock ? "# clock virtual" : "# clock real");
    } catch (...) {
        // Nothing may unwind into the caller's frames.
    }
}

DWORD WINAPI SimTickCount()
{
    // Modulo 2^32, as the system's tick count wraps.
    return static_cast<DWORD>(static_cast<unsigned long long>(NowMs()));
}

void WINAPI SimSleep(DWORD milliseconds)
{
    bool slept = false;
    {
        Lock lock(SimLock());
        if (gVirtual) {
            gVirtualMs += milliseconds;
            slept = true;
        }
    }
    if (!slept) ::Sleep(milliseconds);
}

}  // extern "C"

// The simulator's clock as tests drive it: three exports beside the driver's
// seventeen. The program looks up the seventeen by name and never these, so
// it always runs on real time; a test that switches the virtual clock on gets
// a terminal whose replies, pump and sensors move only when the test moves
// time on, however loaded the machine is.
//
// The types are declared here once, for the simulator that exports them and
// for the tests that look them up (TSimClockEntryPoints, bound by the
// runtime's table binder).
#pragma once
#include <windows.h>

extern "C" {

// on: time stands still at its present value and moves only by SimSleep and
// by reads that wait for their bytes (they move it to the moment the bytes are
// due or their time-out runs out). Off: real time again, going on from where
// the virtual clock stood. Any thread.
void WINAPI SimUseVirtualClock(BOOL on);

// The simulator's clock in whole milliseconds, counted like GetTickCount (it
// wraps after 2^32 ms), so that it can stand in for the tick source of a
// caller. The same time as the call log's first column.
DWORD WINAPI SimTickCount();

// Waits milliseconds on the simulator's clock: on the virtual clock it moves
// the clock on and returns at once, on real time it sleeps. Sleep's type, so
// that it can stand in for the pause of a caller.
void WINAPI SimSleep(DWORD milliseconds);

}  // extern "C"

// The clock's exports as a table of typed pointers (rtl::BindEntryTable).
struct TSimClockEntryPoints {
    decltype(&::SimUseVirtualClock) UseVirtualClock = nullptr;
    decltype(&::SimTickCount) TickCount = nullptr;
    decltype(&::SimSleep) Sleep = nullptr;

    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(UseVirtualClock, "SimUseVirtualClock");
        bind.Required(TickCount, "SimTickCount");
        bind.Required(Sleep, "SimSleep");
    }
};

// The hang watcher: a thread that pings the application's main window and,
// when it has not answered for FreezeTimeout seconds, reports an
// EFrozenApplication with the main thread's registers and stack.
//
// Threads: StartFreezeWatcher and StopFreezeWatcher may be called from any
// thread, the watcher's own included (an event handler of its report runs
// there). On the watcher's own thread Stop only asks it to end; the object is
// freed by the next Start or Stop on another thread, or at shut-down.
//
// Soundness of the report: the main thread is suspended only while its
// context and stack are copied into buffers made beforehand (nothing is
// allocated, no lock but the thread registry's write lock is taken), under
// the thread registry's write lock and with the main report lock already
// held by the watcher; the report is built from the copy once the main thread
// runs again.
#pragma once
#include <windows.h>

#include <cstdint>

#include "rtl/SysUtils.h"

namespace crash {

// The exception a hang report shows.
class EFrozenApplication : public rtl::Exception {
public:
    RTL_CLASS(EFrozenApplication)
    using rtl::Exception::Exception;
};

// Starts the watcher unless this module leaves hangs to its host (it forwards
// there with boUseMainModuleOptions), inside the development environment,
// when a watcher runs already or when the own options' FreezeActivate is off.
void StartFreezeWatcher();
// Ends the watcher: on its own thread only asked to end; elsewhere asked and
// waited for, then freed (in a library module it is ended at once instead,
// since a library's shut-down may run under the loader's lock, which the
// thread's end needs).
void StopFreezeWatcher();

// For tests and the figures: the running watcher's thread id (0: none), its
// thread handle (null: none) and how many watchers were started so far.
DWORD FreezeWatcherThreadID() noexcept;
HANDLE FreezeWatcherHandle() noexcept;
std::uint32_t FreezeWatcherStartCount() noexcept;

}  // namespace crash

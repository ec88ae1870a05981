// The runtime's exception procedure (the terminate handler) and its
// top-level filter.
#include <windows.h>

#include <cstdlib>
#include <exception>

#include "rtl/Classes.h"
#include "rtl/ExceptInternal.h"
#include "rtl/Startup.h"

namespace rtl {
namespace {

constexpr DWORD kThreadNamingCode = 0x406D1388;

LPTOP_LEVEL_EXCEPTION_FILTER gPreviousFilter = nullptr;

// With no handler for an exception, the C++ runtime calls terminate before it
// unwinds anything (for a noexcept boundary: after unwinding up to it), so the
// raiser's frames are still on the stack here for the exception procedure.
[[noreturn]] void RuntimeTerminate() noexcept
{
    const std::exception_ptr current = std::current_exception();
    // No exception: std::terminate called by hand. Nothing to report.
    if (!current) std::abort();
    void* object = *reinterpret_cast<void* const*>(&current);
    const std::type_info* type = current.__cxa_exception_type();
    TThreadExceptState* state = detail::ExceptStateOrNull();
    void* address = state != nullptr && state->LastRaise.Object == object ? state->LastRaise.Address : nullptr;
    if (const TExceptProc proc = ExceptProc.load(std::memory_order_acquire)) {
        if (state == nullptr || state->HookDepth == 0) {
            if (state != nullptr) ++state->HookDepth;
            proc(object, type, address);
            if (state != nullptr) --state->HookDepth;
        }
    }
    // The main thread ends the program as a return from its entry function
    // would: the start-up list is undone first, so that the forms and the
    // threads they wait for end while everything they use still exists.
    if (::GetCurrentThreadId() == MainThreadID()) Halt(1);
    ::ExitThread(1);
}

LONG WINAPI RuntimeTopLevelFilter(EXCEPTION_POINTERS* pointers)
{
    const bool naming = pointers != nullptr && pointers->ExceptionRecord != nullptr &&
                        pointers->ExceptionRecord->ExceptionCode == kThreadNamingCode;
    if (!naming) {
        if (const TUnhandledFilterProc proc = UnhandledFilterProc.load(std::memory_order_acquire)) {
            const LONG answer = proc(pointers);
            if (answer != EXCEPTION_CONTINUE_SEARCH) return answer;
        }
    }
    return gPreviousFilter != nullptr ? gPreviousFilter(pointers) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

namespace detail {

void InstallTerminateHandler() noexcept
{
    std::set_terminate(RuntimeTerminate);
}

void InstallTopLevelFilter() noexcept
{
    // The C runtime's start-up code has set its own filter by now; ours runs
    // first and hands on to it.
    gPreviousFilter = ::SetUnhandledExceptionFilter(RuntimeTopLevelFilter);
}

}  // namespace detail
}  // namespace rtl

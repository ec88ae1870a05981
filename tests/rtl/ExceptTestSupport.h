// Helpers of the raise-path tests: scoped hooks, a raise recorder, child runs.
#pragma once
#include <windows.h>

#include <unwind.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "rtl/ExceptHooks.h"
#include "tests/support/ChildRun.h"

namespace excepttest {

// Sets a hook point for one test and puts the old value back.
template <class T>
class ScopedHook {
public:
    ScopedHook(std::atomic<T>& point, T hook) : FPoint(point), FOld(point.exchange(hook)) {}
    ~ScopedHook() { FPoint.store(FOld); }
    ScopedHook(const ScopedHook&) = delete;
    ScopedHook& operator=(const ScopedHook&) = delete;

private:
    std::atomic<T>& FPoint;
    T FOld;
};

// The function that contains `address` (a return address is looked up one
// byte back, as the unwinder does).
inline const void* EnclosingFunction(const void* address)
{
    return _Unwind_FindEnclosingFunction(const_cast<void*>(address));
}

// What a recording raise hook keeps of the raises of the thread that armed it.
struct RaiseLog {
    static constexpr int kMax = 16;
    DWORD Thread = 0;
    int Count = 0;
    rtl::TRaiseInfo Raises[kMax];
    bool Walk = false;  // also walk the handlers of the first raise
    rtl::TWalkResult WalkResult{};
    int HandlerCount = 0;
    rtl::THandlerInfo Handlers[8];
};

inline RaiseLog& Log()
{
    static RaiseLog log;
    return log;
}

inline void RecordRaise(const rtl::TRaiseInfo& raise) noexcept
{
    RaiseLog& log = Log();
    if (raise.ThreadID != log.Thread) return;
    if (log.Count == 0 && log.Walk) {
        log.WalkResult = rtl::WalkHandlers(
            raise,
            [](const rtl::THandlerInfo& handler, void*) noexcept {
                RaiseLog& inner = Log();
                if (inner.HandlerCount < 8) inner.Handlers[inner.HandlerCount++] = handler;
                return true;
            },
            nullptr);
    }
    if (log.Count < RaiseLog::kMax) log.Raises[log.Count] = raise;
    ++log.Count;
}

// Records the raises of the calling thread while it lives.
class RaiseRecorder {
public:
    explicit RaiseRecorder(bool walk = false) : FHook(rtl::RaiseHook, RecordRaise)
    {
        Log() = RaiseLog{};
        Log().Walk = walk;
        Log().Thread = GetCurrentThreadId();
    }
    const RaiseLog& operator*() const { return Log(); }
    const RaiseLog* operator->() const { return &Log(); }

private:
    ScopedHook<rtl::TRaiseHook> FHook;
};

using testsupport::ChildRun;

// Runs RaiseChild.exe (beside the test program) with a mode.
inline ChildRun RunChild(const std::string& mode)
{
    return testsupport::RunChild(L"RaiseChild.exe", mode);
}

}  // namespace excepttest

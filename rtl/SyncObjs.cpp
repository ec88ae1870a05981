// Locks and events of the runtime.
#include "rtl/SyncObjs.h"

#include "rtl/SysUtils.h"

namespace rtl {

TEvent::TEvent(bool manualReset, bool initialState)
    : FHandle(::CreateEventW(nullptr, manualReset, initialState, nullptr))
{
    if (!FHandle) RaiseLastOSError();
}

namespace {

TWaitResult Wait(HANDLE handle, DWORD timeoutMs) noexcept
{
    switch (::WaitForSingleObject(handle, timeoutMs)) {
    case WAIT_OBJECT_0: return TWaitResult::wrSignaled;
    case WAIT_TIMEOUT: return TWaitResult::wrTimeout;
    case WAIT_ABANDONED: return TWaitResult::wrAbandoned;
    default: return TWaitResult::wrError;
    }
}

}  // namespace

TWaitResult TEvent::WaitFor(DWORD timeoutMs) noexcept
{
    return Wait(FHandle.Get(), timeoutMs);
}

TMutex::TMutex(const std::wstring& name)
    : FHandle(::CreateMutexW(nullptr, FALSE, name.empty() ? nullptr : name.c_str()))
{
    if (!FHandle) RaiseLastOSError();
}

TWaitResult TMutex::WaitFor(DWORD timeoutMs) noexcept
{
    return Wait(FHandle.Get(), timeoutMs);
}

}  // namespace rtl

// Locks and events of the runtime.
#include "rtl/SyncObjs.h"

#include "rtl/SysUtils.h"

namespace rtl {

TEvent::TEvent(bool manualReset, bool initialState)
    : FHandle(::CreateEventW(nullptr, manualReset, initialState, nullptr))
{
    if (!FHandle) RaiseLastOSError();
}

TWaitResult TEvent::WaitFor(DWORD timeoutMs) noexcept
{
    switch (::WaitForSingleObject(FHandle.Get(), timeoutMs)) {
    case WAIT_OBJECT_0: return TWaitResult::wrSignaled;
    case WAIT_TIMEOUT: return TWaitResult::wrTimeout;
    case WAIT_ABANDONED: return TWaitResult::wrAbandoned;
    default: return TWaitResult::wrError;
    }
}

}  // namespace rtl

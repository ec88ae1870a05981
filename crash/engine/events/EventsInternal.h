// Internals shared by the events' own files: firing the local handlers, the
// test of a module's copy of the library, and passwords in their buffer form.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "crash/engine/events/ExceptionEvents.h"

namespace crash::events {

// A copy of the current record, or an empty record without a report.
inline TVexlorExceptionRecord CurrentRecordCopy() noexcept
{
    const TVexlorExceptionRecord* record = CurrentExceptionRecord();
    return record != nullptr ? *record : TVexlorExceptionRecord{};
}

// Calls fire with the handler that get takes from each component, from the
// last made to the first. The handler is copied under the list's lock and
// called outside it, and a component that has gone since the walk began is
// passed over, so a handler may make and free components (on this thread).
template <class TGet, class TFire>
void FireComponents(TGet&& get, TFire&& fire)
{
    TVexlorLogList* list = VexlorLogList();
    if (list == nullptr) return;
    std::vector<TVexlorLog*> items;
    {
        rtl::TCriticalSectionLock lock(list->Lock());
        for (int i = list->Count() - 1; i >= 0; --i) items.push_back(list->Items(i));
    }
    for (TVexlorLog* item : items) {
        std::decay_t<decltype(get(*item))> handler;
        {
            rtl::TCriticalSectionLock lock(list->Lock());
            if (!list->Contains(item)) continue;
            handler = get(*item);
        }
        if (handler) fire(handler);
    }
}

// A procedure variable as another module may have set it.
template <class TProc>
TProc LoadProc(TProc& variable) noexcept
{
    return std::atomic_ref<TProc>(variable).load(std::memory_order_acquire);
}

// The local firing of each event, on the shared data (VexlorEventData).
void FireExceptionNotify(bool handledException);
void FirePasswordRequest();
void FireCustomDataRequest();
void FireAttachedFilesRequest();
void FireCustomWebFieldsRequest();
void FireCustomButtonClick();

// Whether events go to this module's copy of the library: a loaded module
// other than this one, whose data names a compatible library version.
bool IsForwardingTarget(HMODULE module);

// A length-prefixed password of at most maxLength characters (clamped to 0 ..
// 255), read from a caller's buffer through the checked reader; false when
// the buffer cannot be read.
bool ReadPasswordBuffer(const unsigned char* buffer, std::int32_t maxLength, std::string& password) noexcept;
// Writes password into the buffer, cut to maxLength (0 .. 255) characters.
void WritePasswordBuffer(const std::string& password, unsigned char* buffer, std::int32_t maxLength) noexcept;
inline std::int32_t ClampPasswordLength(std::int32_t maxLength) noexcept
{
    return maxLength < 0 ? 0 : maxLength > kMaxPasswordLength ? kMaxPasswordLength : maxLength;
}

}  // namespace crash::events

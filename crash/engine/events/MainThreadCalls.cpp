// The current record, the shared event data and the call slot.
#include <atomic>
#include <cstring>

#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/options/OptionsSharedMapping.h"

namespace crash {
namespace {

std::atomic<TVexlorExceptionRecord*> CurrentRecord{nullptr};

// The slot: the procedure the report thread hands over, or null. Its owner
// empties it, so the caller knows its procedure (living in its frame) is
// no longer referred to.
std::atomic<const TMainThreadProc*> CallSlot{nullptr};

// The thread that runs a procedure now (0: none). Reports are serialised,
// so one thread at a time runs them; a nested call keeps the outer value.
std::atomic<DWORD> RunningCallThread{0};

void RunSwallowed(const TMainThreadProc& proc) noexcept
{
    const DWORD previous = RunningCallThread.exchange(::GetCurrentThreadId());
    try {
        if (proc) proc();
    } catch (...) {
        // A handler's failure ends its own call, not the report.
    }
    RunningCallThread.store(previous);
}

// What handlers may have changed elsewhere: the duplicate flag and, through
// another module's copy, the report's options.
void AfterMainThreadCall() noexcept
{
    TVexlorExceptionRecord* record = CurrentExceptionRecord();
    if (record == nullptr) return;
    try {
        ReportSteps.CountDuplicateError(false);
    } catch (...) {}
    try {
        if (record->CurrentModuleOptions != nullptr) ReadSharedOptions(record->CurrentModuleOptions);
    } catch (...) {}
}

}  // namespace

TVexlorExceptionRecord* CurrentExceptionRecord() noexcept
{
    return CurrentRecord.load(std::memory_order_acquire);
}

void SetCurrentExceptionRecord(TVexlorExceptionRecord* record) noexcept
{
    CurrentRecord.store(record, std::memory_order_release);
}

TVexlorEventData& VexlorEventData()
{
    static TVexlorEventData data;
    return data;
}

std::int32_t TVexlorStrings::Count() const noexcept
{
    return static_cast<std::int32_t>(FItems.size());
}

const char* TVexlorStrings::Item(std::int32_t index, std::uint32_t* length) const noexcept
{
    if (index < 0 || static_cast<std::size_t>(index) >= FItems.size()) {
        if (length != nullptr) *length = 0;
        return nullptr;
    }
    const std::string& item = FItems[static_cast<std::size_t>(index)];
    if (length != nullptr) *length = static_cast<std::uint32_t>(item.size());
    return item.data();
}

bool TVexlorStrings::Add(const char* text, std::uint32_t length) noexcept
{
    if (text == nullptr && length != 0) return false;
    try {
        FItems.emplace_back(text != nullptr ? text : "", length);
        return true;
    } catch (...) {
        return false;
    }
}

void CallInMainThread(const TMainThreadProc& proc) noexcept
{
    const TVexlorExceptionRecord* record = CurrentExceptionRecord();
    if (record != nullptr && record->ExceptionThreadID != ::GetCurrentThreadId()) {
        CallSlot.store(&proc, std::memory_order_release);
        while (CallSlot.load(std::memory_order_acquire) != nullptr) ::Sleep(10);
    } else {
        RunSwallowed(proc);
    }
    AfterMainThreadCall();
}

bool ServeMainThreadCall() noexcept
{
    const TMainThreadProc* proc = CallSlot.load(std::memory_order_acquire);
    if (proc == nullptr) return false;
    RunSwallowed(*proc);
    CallSlot.store(nullptr, std::memory_order_release);
    return true;
}

bool IsMainThreadCallRunning() noexcept
{
    return RunningCallThread.load() == ::GetCurrentThreadId();
}

}  // namespace crash

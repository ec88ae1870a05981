// The crash reporter's per-thread raise state: what the hooks record at each
// raise for the report that may follow, kept in the runtime's per-thread block
// (rtl::TThreadExceptState::ReporterArea), so that every thread has it before
// its first raise and the raise path never allocates.
//
// Threads: each thread reads and writes only its own state, except that a
// report worker reads the raising thread's copies while that thread waits for
// the report. Zone: hook code (plain stores, no heap, no lock).
#pragma once
#include <windows.h>

#include <cstdint>
#include <type_traits>
#include <typeinfo>

#include "rtl/ExceptHooks.h"

namespace crash {

// The part of CONTEXT a copy holds: control and integer registers, up to and
// including SegSs; the rest stays zero.
inline constexpr std::size_t kContextCopySize = 204;
inline constexpr DWORD kContextCopyFlags = 0x10003;  // i386, control, integer
inline constexpr std::size_t kExceptionRecordSize = sizeof(EXCEPTION_RECORD);
static_assert(kExceptionRecordSize == 80);
static_assert(offsetof(CONTEXT, SegSs) + sizeof(DWORD) == kContextCopySize);

// The code of a raise of the language, as the system's record shows it.
inline constexpr DWORD kLanguageExceptionCode = 0x0EEDFADE;
// Its two shapes: a raise (the raising call's return address, the object,
// EBX, ESI, EDI, EBP, ESP) and a re-raise (the object second).
inline constexpr DWORD kLanguageRaiseFlags = 1;
inline constexpr DWORD kLanguageRaiseArgs = 7;
inline constexpr DWORD kLanguageReraiseFlags = 0xC0000025;
inline constexpr DWORD kLanguageReraiseArgs = 8;
inline constexpr DWORD kThreadNamingCode = 0x406D1388;
inline constexpr std::size_t kMaxClassNameLength = 64;

struct TThreadRaiseState {
    // Class name (at most 64 characters) and address of the last exception
    // this thread reported as unhandled.
    char LastClassName[kMaxClassNameLength + 1];
    void* LastAddress;
    // Its C++ type, which the end of a catch compares without making names.
    const std::type_info* LastType;
    std::uint32_t StackPointerAtRaise;
    std::uint32_t HookStackPointer;
    std::uint32_t Ecx;
    // Valid when Context.ContextFlags is set.
    CONTEXT Context;
    EXCEPTION_RECORD ExceptionRecord;
    // The last raise of the language, for re-raises of the same object.
    void* LastLanguageObject;
    void* LastLanguageAddress;
    const std::type_info* LastLanguageType;
    // Counts the raises recorded here; names the raise a snapshot belongs to.
    std::uint32_t RaiseSerial;
    // The argument of the last filter call, and the system record of the
    // fault that call reported (null when it reported none).
    const void* LastFilterArgument;
    const void* LastReportedRecord;
    // Guards: in HandleRaisedException (taken atomically), in
    // NotifyException, in ProcessException.
    LONG InHandleRaisedException;
    bool InNotifyException;
    bool InProcessException;
    // In the report of a handled exception at the end of its catch block.
    bool InCatchHandledException;
    // This thread is a report worker: it enters no pipeline and records no
    // raises.
    bool IsReportWorker;
    // This thread waits for its own report: its raises (the call slot's
    // procedures) record nothing.
    bool WaitingForReport;
    // The last object and raise this thread reported, so that one exception
    // is reported once even when it passes several hooks.
    void* LastReportedObject;
    std::uint32_t LastReportedSerial;
    // The object of a synchronised call that the main thread caught and that
    // is raised again here: its call stack was built there.
    void* SynchronizedObject;
    // While the filter runs on a stack of its own (the thread's own has run
    // out): the top of the thread's own stack, which its report shows.
    std::uint32_t OwnStackTop;
    // Set while this thread reports for another one (the hang watcher for
    // the main thread): the report's exception thread; 0 for this thread.
    DWORD ReportedThreadID;
};
static_assert(std::is_trivially_copyable_v<TThreadRaiseState>);
static_assert(sizeof(TThreadRaiseState) <= rtl::TThreadExceptState::kReporterAreaSize);

// The state of the calling thread, null when the thread has no runtime block.
inline TThreadRaiseState* ThreadRaiseStateOf(rtl::TThreadExceptState* block) noexcept
{
    return block != nullptr ? reinterpret_cast<TThreadRaiseState*>(block->ReporterArea) : nullptr;
}
inline TThreadRaiseState* ThreadRaiseState() noexcept
{
    return ThreadRaiseStateOf(rtl::CurrentExceptState());
}

}  // namespace crash

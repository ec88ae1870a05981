// The capture hooks on the runtime's points: raise decoding, the exception
// procedure, the exception-object hook, the top-level filter and the
// synchronised-call hooks, with the raw snapshot's owner.
#include <cstring>

#include "crash/engine/capture/Capture.h"
#include "crash/engine/capture/RaiseState.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/CheckedMemory.h"
#include "rtl/Classes.h"
#include "rtl/SyncObjs.h"

namespace crash {
namespace {

std::atomic<bool> gInstalled{false};

// Which raise the raw snapshot belongs to. The snapshot itself is the stack
// unit's; the owner is set under this lock together with the copy, and read
// before and after a walk of it, so that a walk taken while another thread
// replaced the snapshot is not taken for this thread's.
struct TSnapshotOwner {
    rtl::TCriticalSection Lock;
    std::uint32_t Generation = 0;
    DWORD ThreadID = 0;
    const void* Object = nullptr;
};
TSnapshotOwner gSnapshotOwner;

// The call stack the main thread built for a synchronised call's exception.
struct TSynchronizedStack {
    rtl::TCriticalSection Lock;
    const void* Object = nullptr;
    std::unique_ptr<TVexlorStackList> Stack;
};
TSynchronizedStack gSynchronized;

void TakeSnapshot(const void* object, std::uintptr_t codeAddr, bool isReturnAddress) noexcept
{
    rtl::TCriticalSectionLock hold(gSnapshotOwner.Lock);
    SnapshotThreadStack(codeAddr, isReturnAddress);
    ++gSnapshotOwner.Generation;
    gSnapshotOwner.ThreadID = ::GetCurrentThreadId();
    gSnapshotOwner.Object = object;
}

bool IsMainThread() noexcept
{
    return ::GetCurrentThreadId() == rtl::MainThreadID();
}

bool IsConsoleProgram() noexcept
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(::GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(dos) + dos->e_lfanew);
    return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

// The copies a raise of the language makes: the context from the registers
// the raise carries, the record as the system's raise of the language
// would have it.
void BuildLanguageCopies(TThreadRaiseState& state, const rtl::TRaiseInfo& raise) noexcept
{
    std::memset(&state.Context, 0, sizeof state.Context);
    const auto address = reinterpret_cast<DWORD>(raise.Address);
    state.Context.ContextFlags = kContextCopyFlags;
    state.Context.Eax = reinterpret_cast<DWORD>(raise.Object);
    state.Context.Ebx = raise.Registers.Ebx;
    state.Context.Ecx = 0;
    state.Context.Edx = address;
    state.Context.Esi = raise.Registers.Esi;
    state.Context.Edi = raise.Registers.Edi;
    state.Context.Ebp = raise.Registers.Ebp;
    state.Context.Esp = raise.Registers.Esp;
    state.Context.Eip = address - 5;
    std::memset(&state.ExceptionRecord, 0, sizeof state.ExceptionRecord);
    state.ExceptionRecord.ExceptionCode = kLanguageExceptionCode;
    state.ExceptionRecord.ExceptionFlags = 1;
    state.ExceptionRecord.ExceptionAddress = raise.Address;
    state.ExceptionRecord.NumberParameters = 7;
    const ULONG_PTR parameters[7] = {address,
                                     reinterpret_cast<ULONG_PTR>(raise.Object),
                                     raise.Registers.Ebx,
                                     raise.Registers.Esi,
                                     raise.Registers.Edi,
                                     raise.Registers.Ebp,
                                     raise.Registers.Esp};
    std::memcpy(state.ExceptionRecord.ExceptionInformation, parameters, sizeof parameters);
    state.StackPointerAtRaise = raise.Registers.Esp;
}

// The copies of a fault: its own context and record.
void BuildFaultCopies(TThreadRaiseState& state, const rtl::TThreadExceptState& block) noexcept
{
    std::memset(&state.Context, 0, sizeof state.Context);
    CopyContextInto(state.Context, block.FaultContext);
    state.ExceptionRecord = block.FaultRecord;
    state.ExceptionRecord.ExceptionRecord = nullptr;
    state.StackPointerAtRaise = block.FaultContext.Esp;
}

void RecordRaise(TThreadRaiseState& state, const rtl::TThreadExceptState& block, const rtl::TRaiseInfo& raise) noexcept
{
    // An object at the address of one reported before is a new exception.
    if (raise.Object == state.LastReportedObject) state.LastReportedObject = nullptr;
    ++state.RaiseSerial;
    const bool fault = raise.Kind == rtl::TRaiseKind::rkFault;
    if (fault)
        BuildFaultCopies(state, block);
    else
        BuildLanguageCopies(state, raise);
    SetLastRaisedException(raise.Object, reinterpret_cast<std::uintptr_t>(raise.Address), true);
    TakeSnapshot(raise.Object, reinterpret_cast<std::uintptr_t>(raise.Address), !fault);
    state.LastLanguageObject = raise.Object;
    state.LastLanguageAddress = raise.Address;
    state.LastLanguageType = raise.Type;
}

bool IsAbort(void* object, const std::type_info* type) noexcept
{
    if (object == nullptr) return false;
    if (type != nullptr) {
        void* adjusted = object;
        return typeid(rtl::EAbort).__do_catch(type, &adjusted, 1);
    }
    const rtl::TObject* valid = rtl::AsValidTObject(object);
    return valid != nullptr && dynamic_cast<const rtl::EAbort*>(valid) != nullptr;
}

// ---- The runtime's points ----

void CaptureExceptProc(void* object, const std::type_info* type, void* address) noexcept
{
    // The exception leaves its thread: nothing will handle it.
    void* adjusted = object;
    const bool ours = type != nullptr && typeid(rtl::TObject).__do_catch(type, &adjusted, 1);
    HandleRaisedException(ours ? adjusted : object, address, true, false, nullptr, ours ? nullptr : type);
}

// Copies and records only: a fault a frame of ours catches comes back as a
// raise of the fault; one nothing catches reaches the filter. A null context:
// none to copy.
void RecordSystemException(const EXCEPTION_RECORD& record, const CONTEXT* context,
                           const std::exception_ptr& error) noexcept
{
    TThreadRaiseState* state = ThreadRaiseState();
    if (state == nullptr || state->IsReportWorker || state->WaitingForReport) return;
    if (record.ExceptionCode == kThreadNamingCode) return;
    state->ExceptionRecord = record;
    state->ExceptionRecord.ExceptionRecord = nullptr;
    std::memset(&state->Context, 0, sizeof state->Context);
    if (context != nullptr) CopyContextInto(state->Context, *context);
    state->StackPointerAtRaise = context != nullptr ? context->Esp : 0;
    SetLastRaisedException(rtl::ExceptionPtrObject(error), reinterpret_cast<std::uintptr_t>(record.ExceptionAddress),
                           false);
}

std::exception_ptr CaptureExceptObjProc(const EXCEPTION_RECORD& record, const CONTEXT& context) noexcept
{
    std::exception_ptr error = rtl::MapSystemException(record, context);
    RecordSystemException(record, &context, error);
    return error;
}

LONG FilterOnThisStack(EXCEPTION_POINTERS* pointers) noexcept
{
    if (!rtl::IsReadableMemory(pointers, sizeof *pointers) ||
        !rtl::IsReadableMemory(pointers->ExceptionRecord, kExceptionRecordSize))
        return EXCEPTION_CONTINUE_SEARCH;
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode == kThreadNamingCode) return EXCEPTION_CONTINUE_SEARCH;
    TThreadRaiseState* state = ThreadRaiseState();
    if (state == nullptr || state->IsReportWorker || state->LastFilterArgument == pointers)
        return EXCEPTION_CONTINUE_SEARCH;
    state->LastFilterArgument = pointers;
    state->LastReportedRecord = nullptr;
    // Faults here end the process; none may turn into a throw inside the
    // filter.
    rtl::THookScope hook;
    const bool contextReadable = rtl::IsReadableMemory(pointers->ContextRecord, kContextCopySize);
    CONTEXT empty{};
    const CONTEXT& context = contextReadable ? *pointers->ContextRecord : empty;
    std::exception_ptr error = rtl::MapSystemException(record, context);
    state->ExceptionRecord = record;
    state->ExceptionRecord.ExceptionRecord = nullptr;
    std::memset(&state->Context, 0, sizeof state->Context);
    if (contextReadable) CopyContextInto(state->Context, context);
    state->StackPointerAtRaise = contextReadable ? context.Esp : 0;
    // The raw snapshot belongs to an earlier raise: not to this fault.
    state->LastLanguageObject = nullptr;
    void* object = rtl::ExceptionPtrObject(error);
    // The object was made just now: one reported before at its address is
    // gone, and this fault is not that one.
    if (object != nullptr && object == state->LastReportedObject) state->LastReportedObject = nullptr;
    HandleRaisedException(object, record.ExceptionAddress, false, false, nullptr, nullptr);
    if (object != nullptr && object == state->LastReportedObject) state->LastReportedRecord = pointers->ExceptionRecord;
    // The process ends now, with the fault's code.
    return EXCEPTION_EXECUTE_HANDLER;
}

// A stack overflow leaves its thread a page or two, too little for the
// report's start (the mapping, the worker, the wait); a fault that close to
// the end of the stack likewise. The filter then runs on a fiber with a
// stack of its own: the same thread, so the report still names it, and the
// thread's own stack is still the one shown.
constexpr std::uintptr_t kStackForFilter = 64 * 1024;
constexpr SIZE_T kFilterStackSize = 1024 * 1024;

struct TFilterCall {
    EXCEPTION_POINTERS* Pointers;
    LONG Answer;
    void* Caller;
};

void WINAPI FilterFiber(void* parameter)
{
    auto* call = static_cast<TFilterCall*>(parameter);
    call->Answer = FilterOnThisStack(call->Pointers);
    // A fiber's routine must not return: that would end the thread.
    ::SwitchToFiber(call->Caller);
}

LONG FilterOnFreshStack(EXCEPTION_POINTERS* pointers) noexcept
{
    TThreadRaiseState* state = ThreadRaiseState();
    const bool converted = !::IsThreadAFiber();
    void* caller = converted ? ::ConvertThreadToFiber(nullptr) : ::GetCurrentFiber();
    if (caller == nullptr) return FilterOnThisStack(pointers);
    TFilterCall call{pointers, EXCEPTION_CONTINUE_SEARCH, caller};
    void* fiber = ::CreateFiberEx(kFilterStackSize, kFilterStackSize, 0, FilterFiber, &call);
    if (fiber == nullptr) {
        if (converted) ::ConvertFiberToThread();
        return FilterOnThisStack(pointers);
    }
    if (state != nullptr) state->OwnStackTop = static_cast<std::uint32_t>(rtl::CurrentStackTop());
    ::SwitchToFiber(fiber);
    if (state != nullptr) state->OwnStackTop = 0;
    ::DeleteFiber(fiber);
    if (converted) ::ConvertFiberToThread();
    return call.Answer;
}

LONG CaptureUnhandledFilter(EXCEPTION_POINTERS* pointers) noexcept
{
    const bool overflow = rtl::IsReadableMemory(pointers, sizeof *pointers) &&
                          rtl::IsReadableMemory(pointers->ExceptionRecord, kExceptionRecordSize) &&
                          pointers->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
    if (overflow || rtl::StackRoomBelow(reinterpret_cast<std::uintptr_t>(&pointers)) < kStackForFilter)
        return FilterOnFreshStack(pointers);
    return FilterOnThisStack(pointers);
}

void CaptureSynchronizeCatch(const std::exception_ptr& error) noexcept
{
    // On the main thread, in the catch of the synchronised call: the
    // snapshot of that raise is still this thread's.
    const void* object = rtl::ExceptionPtrObject(error);
    std::unique_ptr<TVexlorStackList> stack = OwnedSnapshotCallStack(::GetCurrentThreadId(), object);
    rtl::TCriticalSectionLock hold(gSynchronized.Lock);
    gSynchronized.Object = stack ? object : nullptr;
    gSynchronized.Stack = std::move(stack);
}

void CaptureSynchronizeReraise(const std::exception_ptr& error) noexcept
{
    if (TThreadRaiseState* state = ThreadRaiseState()) state->SynchronizedObject = rtl::ExceptionPtrObject(error);
}

}  // namespace

bool IsFilterReportedRecord(const EXCEPTION_RECORD* record) noexcept
{
    const TThreadRaiseState* state = ThreadRaiseState();
    return record != nullptr && state != nullptr && state->LastReportedRecord == record;
}

bool TakeThreadExceptionReport(const void* object) noexcept
{
    TThreadRaiseState* state = ThreadRaiseState();
    if (state == nullptr || state->IsReportWorker || state->LastReportedObject == object) return false;
    state->LastReportedObject = const_cast<void*>(object);
    return true;
}

void CopyContextInto(CONTEXT& target, const CONTEXT& source) noexcept
{
    std::memcpy(&target, &source, kContextCopySize);
    target.ContextFlags = kContextCopyFlags;
}

void DecodeRaise(const rtl::TRaiseInfo& raise) noexcept
{
    rtl::TThreadExceptState* block = rtl::CurrentExceptState();
    TThreadRaiseState* state = ThreadRaiseStateOf(block);
    if (state == nullptr || state->IsReportWorker || state->WaitingForReport) return;
    switch (raise.Kind) {
    case rtl::TRaiseKind::rkThrow:
    case rtl::TRaiseKind::rkFault: RecordRaise(*state, *block, raise); break;
    case rtl::TRaiseKind::rkRethrow:
    case rtl::TRaiseKind::rkRethrowException: {
        if (raise.Object == nullptr) return;
        // A re-raise of the object of the last raise keeps that raise's
        // copies, snapshot and address (a framework's handler rethrows).
        const bool same = raise.Object == state->LastLanguageObject;
        if (!same) RecordRaise(*state, *block, raise);
        void* address = same ? state->LastLanguageAddress : raise.Address;
        if (!IsMainThread() || IsConsoleProgram())
            HandleRaisedException(raise.Object, address, true, false, &raise,
                                  rtl::RaisedObject(raise) != nullptr ? nullptr : raise.Type);
        break;
    }
    }
}

void HandleRaisedException(void* obj, void* addr, bool nativeException, bool forced, const rtl::TRaiseInfo* raise,
                           const std::type_info* type) noexcept
{
    TThreadRaiseState* state = ThreadRaiseState();
    if (state == nullptr || state->IsReportWorker || state->WaitingForReport) return;
    if (::InterlockedCompareExchange(&state->InHandleRaisedException, 1, 0) != 0) return;
    const DWORD lastError = ::GetLastError();
    SetLastRaisedException(obj, reinterpret_cast<std::uintptr_t>(addr), nativeException);
    TPipelineState* pipeline = PipelineStateOrNull();
    const bool reporting = pipeline != nullptr && pipeline->Installed.load() && pipeline->Active.load();
    // One exception is reported once, whichever hooks it passes.
    const bool reported = obj != nullptr && obj == state->LastReportedObject;
    // With the raise's own type the abort test is the catch matcher's, not
    // a check of the object's memory, which would cost every rethrow a few
    // queries of the memory map.
    const std::type_info* raisedType = raise != nullptr && raise->Type != nullptr ? raise->Type : type;
    if (reporting && !reported && obj != nullptr && !IsAbort(obj, raisedType)) {
        TAsynchronousException asynchronous = aeNone;
        const bool handled = raise != nullptr && DecideExceptionHandled(*raise, forced, asynchronous);
        if (!handled) {
            if (state->StackPointerAtRaise == 0) state->StackPointerAtRaise = state->HookStackPointer;
            state->LastReportedObject = obj;
            try {
                NotifyException(obj, addr, nativeException, nullptr, false, asynchronous, LibraryModuleHandle(),
                                rtUnknown, nullptr, nullptr, 0, 0, type);
            } catch (...) {}
        }
    }
    ::SetLastError(lastError);
    ::InterlockedExchange(&state->InHandleRaisedException, 0);
}

void CallGeneralRaise(DWORD code, DWORD flags, DWORD argCount, std::uint32_t hookStackPointer,
                      const ULONG_PTR* args) noexcept
{
    TThreadRaiseState* state = ThreadRaiseState();
    if (state == nullptr || state->IsReportWorker || state->WaitingForReport) return;
    state->HookStackPointer = hookStackPointer;
    if (code != kLanguageExceptionCode || args == nullptr) return;
    const bool raise = flags == kLanguageRaiseFlags && argCount == kLanguageRaiseArgs;
    const bool reraise = flags == kLanguageReraiseFlags && argCount == kLanguageReraiseArgs;
    if (!raise && !reraise) return;
    if (!rtl::IsReadableMemory(args, argCount * sizeof(ULONG_PTR))) return;
    rtl::TRaiseInfo info{};
    info.Kind = raise ? rtl::TRaiseKind::rkThrow : rtl::TRaiseKind::rkRethrow;
    info.Object = reinterpret_cast<void*>(args[1]);
    info.Address = reinterpret_cast<void*>(args[0]);
    info.WalkStartIP = args[0];
    info.Registers.Ebx = static_cast<DWORD>(args[2]);
    info.Registers.Esi = static_cast<DWORD>(args[3]);
    info.Registers.Edi = static_cast<DWORD>(args[4]);
    info.Registers.Ebp = static_cast<DWORD>(args[5]);
    info.Registers.Esp = hookStackPointer;
    info.ThreadID = ::GetCurrentThreadId();
    DecodeRaise(info);
}

std::exception_ptr CallExceptObject(const EXCEPTION_RECORD* record, const CONTEXT* context) noexcept
{
    if (record == nullptr || !rtl::IsReadableMemory(record, kExceptionRecordSize)) return nullptr;
    const CONTEXT* checkedContext = rtl::IsReadableMemory(context, kContextCopySize) ? context : nullptr;
    CONTEXT empty{};
    std::exception_ptr error = rtl::MapSystemException(*record, checkedContext != nullptr ? *checkedContext : empty);
    RecordSystemException(*record, checkedContext, error);
    return error;
}

std::unique_ptr<TVexlorStackList> OwnedSnapshotCallStack(DWORD threadId, const void* object) noexcept
{
    std::uint32_t generation;
    {
        rtl::TCriticalSectionLock hold(gSnapshotOwner.Lock);
        if (gSnapshotOwner.ThreadID != threadId || gSnapshotOwner.Object != object || object == nullptr) return nullptr;
        generation = gSnapshotOwner.Generation;
    }
    std::unique_ptr<TVexlorStackList> stack = GetLastExceptionCallStack();
    rtl::TCriticalSectionLock hold(gSnapshotOwner.Lock);
    if (gSnapshotOwner.Generation != generation) return nullptr;
    return stack;
}

std::unique_ptr<TVexlorStackList> TakeSynchronizedCallStack(const void* object) noexcept
{
    rtl::TCriticalSectionLock hold(gSynchronized.Lock);
    if (object == nullptr || gSynchronized.Object != object) return nullptr;
    gSynchronized.Object = nullptr;
    return std::move(gSynchronized.Stack);
}

void InstallCaptureHooks() noexcept
{
    if (gInstalled.exchange(true)) return;
    rtl::RaiseHook.store(DecodeRaise);
    rtl::ExceptProc.store(CaptureExceptProc);
    rtl::ExceptObjProc.store(CaptureExceptObjProc);
    rtl::UnhandledFilterProc.store(CaptureUnhandledFilter);
    rtl::SynchronizeCatchHook.store(CaptureSynchronizeCatch);
    rtl::SynchronizeReraiseHook.store(CaptureSynchronizeReraise);
}

void RemoveCaptureHooks() noexcept
{
    if (!gInstalled.exchange(false)) return;
    rtl::TRaiseHook raise = DecodeRaise;
    rtl::RaiseHook.compare_exchange_strong(raise, nullptr);
    rtl::TExceptProc proc = CaptureExceptProc;
    rtl::ExceptProc.compare_exchange_strong(proc, nullptr);
    rtl::TExceptObjProc objProc = CaptureExceptObjProc;
    rtl::ExceptObjProc.compare_exchange_strong(objProc, nullptr);
    rtl::TUnhandledFilterProc filter = CaptureUnhandledFilter;
    rtl::UnhandledFilterProc.compare_exchange_strong(filter, nullptr);
    rtl::TSynchronizeHook catchHook = CaptureSynchronizeCatch;
    rtl::SynchronizeCatchHook.compare_exchange_strong(catchHook, nullptr);
    rtl::TSynchronizeHook reraise = CaptureSynchronizeReraise;
    rtl::SynchronizeReraiseHook.compare_exchange_strong(reraise, nullptr);
}

}  // namespace crash

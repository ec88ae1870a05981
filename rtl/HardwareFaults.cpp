// Hardware faults of our own code as C++ throws: the vectored handler, the
// fake call it makes from the faulting instruction, and the mapping of system
// exceptions to objects.
#include <windows.h>

#include <cstdint>
#include <exception>

#include "rtl/ExceptInternal.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace rtl {
namespace {

// Stack a thrown fault needs below the faulting frame (the throw, the
// unwinder, destructors); with less left the fault goes to the filter.
constexpr std::uintptr_t kStackReserveForThrow = 64 * 1024;

bool IsHardwareFault(DWORD code) noexcept
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK: return true;
    default:
        // Stack overflow among them: its thread has no stack left to throw on.
        return false;
    }
}

bool HasStackForThrow(std::uintptr_t esp) noexcept
{
    return esp <= CurrentStackTop() && StackRoomBelow(esp) > kStackReserveForThrow;
}

using NtContinueFunction = LONG NTAPI(CONTEXT* context, BOOLEAN testAlert);
NtContinueFunction* gNtContinue = nullptr;

// Entered from the faulting instruction as if that instruction had called it:
// its return address is the faulting instruction + 1, because the unwinder
// looks up return address - 1 and would otherwise land in the instruction
// before (or, at a function's first instruction, in another function).
[[noreturn]] __attribute__((noinline)) void ThrowPendingFault()
{
    TThreadExceptState* state = detail::ExceptStateOrNull();
    std::exception_ptr error;
    if (const TExceptObjProc proc = ExceptObjProc.load(std::memory_order_acquire)) {
        THookScope hook;
        error = proc(state->FaultRecord, state->FaultContext);
    }
    if (!error) error = MapSystemException(state->FaultRecord, state->FaultContext);
    // A fault no frame of ours would catch is the system's business: the
    // faulting instruction runs again with the handler told to let it pass,
    // so the top-level filter sees the original fault and registers.
    TRaiseInfo probe{};
    probe.Kind = TRaiseKind::rkFault;
    probe.Object = ExceptionPtrObject(error);
    probe.Type = error.__cxa_exception_type();
    probe.Address = state->FaultRecord.ExceptionAddress;
    probe.WalkStartIP = state->FaultContext.Eip + 1;
    if (gNtContinue != nullptr && WalkHandlers(probe, nullptr, nullptr).End == TWalkEnd::weNoHandler) {
        error = nullptr;
        state->FaultPending = false;
        state->FaultPassEip = state->FaultContext.Eip;
        CONTEXT original = state->FaultContext;
        gNtContinue(&original, FALSE);
    }
    // The raise hook takes this rethrow as the fault itself (FaultPending).
    std::rethrow_exception(error);
}

LONG CALLBACK FaultToThrow(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    CONTEXT* context = pointers->ContextRecord;
    if (!IsHardwareFault(record->ExceptionCode) || (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0)
        return EXCEPTION_CONTINUE_SEARCH;
    TThreadExceptState* state = detail::ExceptStateOrNull();
    if (state != nullptr && state->FaultPassEip != 0) {
        const bool again = state->FaultPassEip == context->Eip;
        state->FaultPassEip = 0;
        if (again) return EXCEPTION_CONTINUE_SEARCH;
    }
    // Inside a hook, or a second fault before the first became a throw: the
    // filter takes it.
    if (state == nullptr || state->HookDepth > 0 || state->FaultPending) return EXCEPTION_CONTINUE_SEARCH;
    if (!IsOwnCode(reinterpret_cast<const void*>(context->Eip))) return EXCEPTION_CONTINUE_SEARCH;
    if (!HasStackForThrow(context->Esp)) return EXCEPTION_CONTINUE_SEARCH;
    state->FaultRecord = *record;
    state->FaultRecord.ExceptionRecord = nullptr;
    state->FaultContext = *context;
    state->FaultPending = true;
    context->Esp -= 4;
    *reinterpret_cast<DWORD*>(context->Esp) = context->Eip + 1;
    context->Eip = reinterpret_cast<DWORD>(&ThrowPendingFault);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

std::exception_ptr MapSystemException(const EXCEPTION_RECORD& record, const CONTEXT&) noexcept
{
    try {
        switch (record.ExceptionCode) {
        case EXCEPTION_ACCESS_VIOLATION: return std::make_exception_ptr(EAccessViolation(record));
        case EXCEPTION_INT_DIVIDE_BY_ZERO: return std::make_exception_ptr(EDivByZero("Division by zero", record));
        case EXCEPTION_INT_OVERFLOW: return std::make_exception_ptr(EIntOverflow("Integer overflow", record));
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return std::make_exception_ptr(ERangeError("Range check error", record));
        case EXCEPTION_STACK_OVERFLOW: return std::make_exception_ptr(EStackOverflow("Stack overflow", record));
        case EXCEPTION_PRIV_INSTRUCTION: return std::make_exception_ptr(EPrivilege("Privileged instruction", record));
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
            return std::make_exception_ptr(EZeroDivide("Floating point division by zero", record));
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_STACK_CHECK:
            return std::make_exception_ptr(EInvalidOp("Invalid floating point operation", record));
        case EXCEPTION_FLT_OVERFLOW: return std::make_exception_ptr(EOverflow("Floating point overflow", record));
        case EXCEPTION_FLT_UNDERFLOW: return std::make_exception_ptr(EUnderflow("Floating point underflow", record));
        default: {
            char text[48];
            wsprintfA(text, "External exception %08lX", static_cast<unsigned long>(record.ExceptionCode));
            return std::make_exception_ptr(EExternalException(text, record));
        }
        }
    } catch (...) {
        // No memory for the object: the allocation failure itself is thrown.
        return std::current_exception();
    }
}

std::uintptr_t StackRoomBelow(std::uintptr_t esp) noexcept
{
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(reinterpret_cast<const void*>(esp - 4), &info, sizeof info) == 0) return 0;
    // The whole reservation of the stack starts at its allocation base.
    const auto bottom = reinterpret_cast<std::uintptr_t>(info.AllocationBase);
    return esp > bottom ? esp - bottom : 0;
}

namespace detail {

void InstallVectoredHandler() noexcept
{
    // First in the chain: a fault becomes a throw before any frame handler
    // of the system's sees it.
    gNtContinue = EntryPoint<NtContinueFunction>(::GetModuleHandleW(L"ntdll.dll"), "NtContinue");
    ::AddVectoredExceptionHandler(1, FaultToThrow);
}

}  // namespace detail
}  // namespace rtl

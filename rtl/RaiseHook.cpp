// The raise hook: wrappers of the C++ runtime's throw, rethrow,
// rethrow_exception and end-of-catch routines (linked with --wrap).
//
// Each raise wrapper is a small assembly entry that saves the raiser's
// registers before any prologue can change them, records the raise for the
// thread, calls the raise hook, then jumps to the real routine with the
// original stack, so that the real routine sees the raiser as its caller.
#include <windows.h>

#include <unwind.h>

#include <cstdint>
#include <exception>
#include <typeinfo>

#include "rtl/ExceptInternal.h"
#include "rtl/SysUtils.h"

extern "C" {
// Called by the entries below: kind, the entry's stack (return address, then
// the arguments), the saved registers.
void rtl_RaiseEntry(int kind, void* const* frame, const rtl::TRaiseRegisters* registers) noexcept;
void __real___cxa_end_catch();
void __wrap___cxa_end_catch();
}

// The entry builds TRaiseRegisters {EBX, ESI, EDI, EBP, ESP} on its stack. Its
// frame has unwind data, so that the handler walk and the unwinder can pass it
// while the hook runs; when the real routine runs, the entry is gone.
asm(R"(
    .macro RTL_RAISE_ENTRY name, real, kind
    .text
    .globl \name
    .def \name; .scl 2; .type 32; .endef
    .p2align 4
\name:
    .cfi_startproc
    pushl %ebp
    .cfi_def_cfa_offset 8
    .cfi_offset %ebp, -8
    movl %esp, %ebp
    .cfi_def_cfa_register %ebp
    leal 8(%ebp), %eax
    pushl %eax
    pushl (%ebp)
    pushl %edi
    pushl %esi
    pushl %ebx
    movl %esp, %eax
    pushl %eax
    leal 4(%ebp), %eax
    pushl %eax
    pushl $\kind
    call _rtl_RaiseEntry
    leave
    .cfi_def_cfa %esp, 4
    .cfi_restore %ebp
    jmp \real
    .cfi_endproc
    .endm

    RTL_RAISE_ENTRY ___wrap___cxa_throw, ___real___cxa_throw, 0
    RTL_RAISE_ENTRY ___wrap___cxa_rethrow, ___real___cxa_rethrow, 1
    RTL_RAISE_ENTRY ___wrap__ZSt17rethrow_exceptionNSt15__exception_ptr13exception_ptrE, ___real__ZSt17rethrow_exceptionNSt15__exception_ptr13exception_ptrE, 2
)");

namespace {

using rtl::TRaiseKind;

void CallRaiseHook(rtl::TThreadExceptState* state, const rtl::TRaiseInfo& info) noexcept
{
    const rtl::TRaiseHook hook = rtl::RaiseHook.load(std::memory_order_acquire);
    if (hook == nullptr) return;
    if (state != nullptr) {
        if (state->HookDepth > 0) return;
        ++state->HookDepth;
    }
    hook(info);
    if (state != nullptr) --state->HookDepth;
}

}  // namespace

extern "C" void rtl_RaiseEntry(int kind, void* const* frame, const rtl::TRaiseRegisters* registers) noexcept
{
    rtl::TThreadExceptState* state = rtl::detail::ExceptStateOrNull();
    rtl::TRaiseInfo info;
    info.Kind = static_cast<TRaiseKind>(kind);
    info.Object = nullptr;
    info.Type = nullptr;
    info.Address = frame[0];
    info.WalkStartIP = reinterpret_cast<std::uintptr_t>(frame[0]);
    info.Registers = *registers;
    info.ThreadID = ::GetCurrentThreadId();
    switch (info.Kind) {
    case TRaiseKind::rkThrow:
        info.Object = frame[1];
        info.Type = static_cast<const std::type_info*>(frame[2]);
        break;
    case TRaiseKind::rkRethrow: {
        // A bare throw with no exception being handled (the real routine then
        // terminates), or a foreign exception: there is nothing to read.
        const std::exception_ptr current = std::current_exception();
        info.Object = rtl::ExceptionPtrObject(current);
        info.Type = current ? current.__cxa_exception_type() : nullptr;
        break;
    }
    case TRaiseKind::rkRethrowException:
    case TRaiseKind::rkFault: {
        const auto* pointer = static_cast<const std::exception_ptr*>(frame[1]);
        info.Object = rtl::ExceptionPtrObject(*pointer);
        info.Type = *pointer ? pointer->__cxa_exception_type() : nullptr;
        break;
    }
    }
    // A rethrow_exception from the fault stub is the fault itself: the address
    // and registers are the faulting instruction's.
    if (state != nullptr && state->FaultPending && state->HookDepth == 0 &&
        info.Kind == TRaiseKind::rkRethrowException) {
        state->FaultPending = false;
        const CONTEXT& context = state->FaultContext;
        info.Kind = TRaiseKind::rkFault;
        info.Address = state->FaultRecord.ExceptionAddress;
        info.WalkStartIP = context.Eip + 1;
        info.Registers = {context.Ebx, context.Esi, context.Edi, context.Ebp, context.Esp};
    }
    if (info.Kind == TRaiseKind::rkThrow || info.Kind == TRaiseKind::rkFault) {
        if (rtl::TObject* object = rtl::RaisedObject(info)) {
            // A TObject that is no Exception has no address to keep.
            if (auto* exception = dynamic_cast<rtl::Exception*>(object)) exception->SetRaiseAddress(info.Address);
        }
    }
    if (state != nullptr) {
        state->LastRaise = info;
        ++state->RaiseCount;
    }
    CallRaiseHook(state, info);
}

extern "C" void __wrap___cxa_end_catch()
{
    if (const rtl::TEndCatchHook hook = rtl::EndCatchHook.load(std::memory_order_acquire)) {
        rtl::TThreadExceptState* state = rtl::detail::ExceptStateOrNull();
        if (state == nullptr || state->HookDepth == 0) {
            const std::exception_ptr current = std::current_exception();
            if (state != nullptr) ++state->HookDepth;
            // Empty for a foreign exception, whose header the C++ runtime cannot read.
            hook(rtl::ExceptionPtrObject(current), current ? current.__cxa_exception_type() : nullptr);
            if (state != nullptr) --state->HookDepth;
        }
    }
    __real___cxa_end_catch();
}

namespace rtl {

void InstallExceptionHooks() noexcept
{
    static LONG installed = 0;
    if (::InterlockedExchange(&installed, 1) != 0) return;
    // The unwinder sorts the image's frame tables (with malloc) the first
    // time it looks a frame up; one walk here does that, so that the first
    // raise's hook walk allocates nothing.
    _Unwind_Backtrace([](_Unwind_Context*, void*) { return _URC_NO_REASON; }, nullptr);
    detail::InstallTerminateHandler();
    detail::InstallTopLevelFilter();
    detail::InstallVectoredHandler();
}

}  // namespace rtl

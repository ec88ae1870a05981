// The replacements of the kernel32 imports the pipeline patches:
// RaiseException, RtlUnwind and WriteFile. Each ends in the real routine, so
// that a program behaves the same with the crash reporter as without it.
#include <windows.h>

#include <cstdint>

#include "crash/engine/ReportSteps.h"
#include "crash/engine/capture/Capture.h"
#include "crash/engine/capture/RaiseState.h"
#include "rtl/Libraries.h"

namespace crash {
namespace {

using TRtlUnwind = void(WINAPI*)(void*, void*, EXCEPTION_RECORD*, void*);

struct TKernelImportEntries {
    decltype(&::RaiseException) RaiseException = nullptr;
    TRtlUnwind RtlUnwind = nullptr;
    decltype(&::WriteFile) WriteFile = nullptr;

    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(RaiseException, "RaiseException");
        bind.Required(RtlUnwind, "RtlUnwind");
        bind.Required(WriteFile, "WriteFile");
    }
};

// The routines themselves, which the patched import entries no longer reach.
const TKernelImportEntries& Kernel() noexcept
{
    static const TKernelImportEntries entries = [] {
        TKernelImportEntries table;
        rtl::BindEntryTable(::GetModuleHandleW(L"kernel32.dll"), table);
        return table;
    }();
    return entries;
}

bool IsStandardOutput(HANDLE file) noexcept
{
    if (file == nullptr || file == INVALID_HANDLE_VALUE) return false;
    return file == ::GetStdHandle(STD_OUTPUT_HANDLE);
}

// The page a CGI program sends: the report of its failure carries it.
void CapturePageText(const void* buffer, DWORD count) noexcept
{
    const TThreadRaiseState* state = ThreadRaiseState();
    if (state != nullptr && state->IsReportWorker) return;
    const DWORD lastError = ::GetLastError();
    try {
        if (ReportSteps.CapturePageText && ReportSteps.IsCGIApplication())
            ReportSteps.CapturePageText(buffer, static_cast<std::uint32_t>(count));
    } catch (...) {
        // No memory for the copy: the page still goes out, only the report
        // lacks it.
    }
    ::SetLastError(lastError);
}

}  // namespace

void WINAPI HookedRaise(DWORD code, DWORD flags, DWORD argCount, const ULONG_PTR* args)
{
    // The raiser's stack position, for a report whose raise left no stack
    // pointer of its own: the slot of the return address into the raiser.
    if (code != kThreadNamingCode) {
        TThreadRaiseState* state = ThreadRaiseState();
        if (state != nullptr && !state->IsReportWorker && !state->WaitingForReport)
            state->HookStackPointer = static_cast<std::uint32_t>(
                reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) + sizeof(void*));
    }
    Kernel().RaiseException(code, flags, argCount, args);
}

BOOL WINAPI HookedWriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (buffer != nullptr && count != 0 && IsStandardOutput(file)) CapturePageText(buffer, count);
    return Kernel().WriteFile(file, buffer, count, written, overlapped);
}

extern "C" void* VexlorRealRtlUnwind() noexcept
{
    return reinterpret_cast<void*>(Kernel().RtlUnwind);
}

}  // namespace crash

// A jump, not a call: RtlUnwind takes its caller's registers and stack as
// the place to return to once the frames are unwound, so nothing of ours may
// stand between the caller and the real routine. EAX, ECX and EDX carry
// nothing into it.
asm(".text\n"
    ".globl _VexlorHookedRtlUnwind@16\n"
    "_VexlorHookedRtlUnwind@16:\n"
    "    call _VexlorRealRtlUnwind\n"
    "    jmp *%eax\n");

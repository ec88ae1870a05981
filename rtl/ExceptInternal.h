// Shared internals of the runtime's raise path (ExceptState, RaiseHook,
// HandlerWalk, ExceptProc, HardwareFaults); no other folder includes this.
#pragma once
#include <cstdint>

#include "rtl/ExceptHooks.h"

namespace rtl::detail {

// Highest address of the calling thread's stack, from its thread block (read
// through FS directly: the SDK's inline reader trips the compiler's bounds check).
inline std::uintptr_t StackTop() noexcept
{
    NT_TIB* block;
    asm("movl %%fs:0x18, %0" : "=r"(block));
    return reinterpret_cast<std::uintptr_t>(block->StackBase);
}

// The slot is made by the image's TLS callback before any of our code runs.
TThreadExceptState* ExceptStateOrNull() noexcept;

void SetOwnCodeBounds(const void* begin, const void* end) noexcept;
void InstallTerminateHandler() noexcept;
void InstallTopLevelFilter() noexcept;
void InstallVectoredHandler() noexcept;

}  // namespace rtl::detail

// Shared internals of the runtime's raise path (ExceptState, RaiseHook,
// HandlerWalk, ExceptProc, HardwareFaults); no other folder includes this.
#pragma once
#include <cstdint>

#include "rtl/ExceptHooks.h"

namespace rtl::detail {

// The image's table of our own code: ranges of relative virtual addresses
// [Begin, End), sorted and apart, written into the file after the link.
struct TOwnCodeRange {
    std::uint32_t Begin;
    std::uint32_t End;
};
constexpr std::uint32_t kOwnCodeSignature = 0x6E776F52;  // "Rown"
constexpr std::uint32_t kOwnCodeCapacity = 1024;
struct TOwnCodeTable {
    std::uint32_t Signature;
    std::uint32_t Capacity;
    std::uint32_t Count;  // 0 until the post-link step fills the table
    std::uint32_t Reserved;
    TOwnCodeRange Ranges[kOwnCodeCapacity];
};

// The slot is made by the image's TLS callback before any of our code runs.
TThreadExceptState* ExceptStateOrNull() noexcept;

void InstallTerminateHandler() noexcept;
void InstallTopLevelFilter() noexcept;
void InstallVectoredHandler() noexcept;

}  // namespace rtl::detail

// The table itself (ExceptState.cpp), and the linker's symbol at the image's start.
extern "C" const rtl::detail::TOwnCodeTable rtl_own_code_table;
extern "C" IMAGE_DOS_HEADER __ImageBase;

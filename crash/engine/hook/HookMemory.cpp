// Checked reads and protected writes of code and import tables.
#include "crash/engine/hook/HookInternals.h"

#include <cstring>

namespace crash::hook_detail {
namespace {

bool IsReadableProtection(DWORD protect) {
    switch (protect) {  // exactly one of these: no guard or no-cache modifier
    case PAGE_READONLY: case PAGE_READWRITE: case PAGE_WRITECOPY: case PAGE_EXECUTE:
    case PAGE_EXECUTE_READ: case PAGE_EXECUTE_READWRITE: case PAGE_EXECUTE_WRITECOPY:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::size_t ReadableExtent(const void* address, std::size_t limit) noexcept {
    std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address);
    std::size_t readable = 0;
    while (readable < limit) {
        MEMORY_BASIC_INFORMATION mbi;
        if (::VirtualQuery(reinterpret_cast<const void*>(at), &mbi, sizeof mbi) != sizeof mbi) break;
        if (mbi.State != MEM_COMMIT || !IsReadableProtection(mbi.Protect)) break;
        const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
        if (end <= at) break;  // the top of the address space
        readable += end - at;
        at = end;
    }
    return readable < limit ? readable : limit;
}

bool WriteCode(void* at, const void* bytes, std::size_t count) noexcept {
    DWORD old;
    if (!::VirtualProtect(at, count, PAGE_EXECUTE_READWRITE, &old)) return false;
    std::memcpy(at, bytes, count);
    DWORD ignored;
    ::VirtualProtect(at, count, old, &ignored);
    ::FlushInstructionCache(::GetCurrentProcess(), at, count);
    return true;
}

bool IsWin9x() noexcept {
    return (::GetVersion() & 0x80000000u) != 0;
}

}  // namespace crash::hook_detail

// Protected writes of code and import tables.
#include "crash/engine/hook/HookInternals.h"

#include <cstring>

namespace crash::hook_detail {

bool WriteCode(void* at, const void* bytes, std::size_t count) noexcept
{
    DWORD old;
    if (!::VirtualProtect(at, count, PAGE_EXECUTE_READWRITE, &old)) return false;
    std::memcpy(at, bytes, count);
    DWORD ignored;
    ::VirtualProtect(at, count, old, &ignored);
    ::FlushInstructionCache(::GetCurrentProcess(), at, count);
    return true;
}

bool IsWin9x() noexcept
{
    return (::GetVersion() & 0x80000000u) != 0;
}

}  // namespace crash::hook_detail

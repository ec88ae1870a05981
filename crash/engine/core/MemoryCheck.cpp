// Checked memory: the core utilities' names for the runtime's checked reader,
// and the import-thunk target read through it.
#include "crash/engine/ECore.h"

#include <cstring>

#include "rtl/CheckedMemory.h"

namespace crash {

bool IsValidBlockAddr(std::uintptr_t address, std::size_t size) noexcept
{
    return rtl::IsReadableMemory(reinterpret_cast<const void*>(address), size);
}

bool IsValidBlockAddr(const void* address, std::size_t size) noexcept
{
    return rtl::IsReadableMemory(address, size);
}

bool TValidRegionCache::IsValidBlockAddr(std::uintptr_t address, std::size_t size) noexcept
{
    return rtl::IsReadableMemory(reinterpret_cast<const void*>(address), size, this);
}

std::uintptr_t ConvertAddress(std::uintptr_t address, rtl::ReadableRegionCache* cache) noexcept
{
    // FF 25 and the slot's address, read as one 8-byte jump entry.
    std::uint8_t thunk[8];
    if (!rtl::ReadMemory(reinterpret_cast<const void*>(address), thunk, sizeof thunk, cache)) return address;
    if (thunk[0] != 0xFF || thunk[1] != 0x25) return address;
    std::uint32_t slot = 0;
    std::memcpy(&slot, thunk + 2, sizeof slot);
    std::uint32_t target = 0;
    if (!rtl::ReadValue(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(slot)), target, cache))
        return address;
    return target;
}

}  // namespace crash

// Checked memory: the core utilities' names for the runtime's checked reader,
// and the import-thunk target read through it.
#include "crash/engine/ECore.h"

#include <cstring>

#include "rtl/CheckedMemory.h"

namespace crash {

bool IsValidBlockAddr(std::uintptr_t Address, std::size_t Size) noexcept
{
    return rtl::IsReadableMemory(reinterpret_cast<const void*>(Address), Size);
}

bool IsValidBlockAddr(const void* Address, std::size_t Size) noexcept
{
    return rtl::IsReadableMemory(Address, Size);
}

bool TValidRegionCache::IsValidBlockAddr(std::uintptr_t Address, std::size_t Size) noexcept
{
    return rtl::IsReadableMemory(reinterpret_cast<const void*>(Address), Size, this);
}

std::uintptr_t ConvertAddress(std::uintptr_t Address, rtl::ReadableRegionCache* Cache) noexcept
{
    // FF 25 and the slot's address, read as one 8-byte jump entry.
    std::uint8_t thunk[8];
    if (!rtl::ReadMemory(reinterpret_cast<const void*>(Address), thunk, sizeof thunk, Cache)) return Address;
    if (thunk[0] != 0xFF || thunk[1] != 0x25) return Address;
    std::uint32_t slot = 0;
    std::memcpy(&slot, thunk + 2, sizeof slot);
    std::uint32_t target = 0;
    if (!rtl::ReadValue(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(slot)), target, Cache))
        return Address;
    return target;
}

}  // namespace crash

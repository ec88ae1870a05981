// Checked memory: whether a range of the own process may be read, asked of
// VirtualQuery (reading the own process through ReadProcessMemory is far too
// slow under Wine). Safe in hooks: no heap, no locks.
#include <cstring>

#include "crash/engine/ECore.h"

namespace crash {

namespace {

// Exactly the plain readable protections: a guard, no-cache or write-combine
// modifier makes a page one that must not be touched.
bool IsReadableProtection(DWORD protect) noexcept
{
    switch (protect) {
    case PAGE_READONLY:
    case PAGE_READWRITE:
    case PAGE_WRITECOPY:
    case PAGE_EXECUTE:
    case PAGE_EXECUTE_READ:
    case PAGE_EXECUTE_READWRITE:
    case PAGE_EXECUTE_WRITECOPY:
        return true;
    default:
        return false;
    }
}

// The end (one past) of the readable region holding address; 0 when the page of
// address is not readable. A region that reaches the top of the address space
// ends at 0 as well, so the caller tells the two apart by ok.
std::uintptr_t ReadableRegionEnd(std::uintptr_t address, std::uintptr_t& base, bool& ok) noexcept
{
    MEMORY_BASIC_INFORMATION info;
    ok = ::VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == sizeof info &&
         info.State == MEM_COMMIT && IsReadableProtection(info.Protect);
    if (!ok) return 0;
    base = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
    return base + info.RegionSize;
}

// The last byte of the range, false when the range wraps past the top.
bool LastByte(std::uintptr_t address, std::size_t size, std::uintptr_t& last) noexcept
{
    if (size == 0) {
        last = address;
        return true;
    }
    last = address + (size - 1);
    return last >= address;
}

}  // namespace

bool IsValidBlockAddr(std::uintptr_t Address, std::size_t Size) noexcept
{
    std::uintptr_t last = 0;
    if (!LastByte(Address, Size, last)) return false;
    std::uintptr_t current = Address;
    for (;;) {
        std::uintptr_t base = 0;
        bool ok = false;
        const std::uintptr_t end = ReadableRegionEnd(current, base, ok);
        if (!ok) return false;
        if (end == 0 || end - 1 >= last) return true;
        current = end;
    }
}

bool IsValidBlockAddr(const void* Address, std::size_t Size) noexcept
{
    return IsValidBlockAddr(reinterpret_cast<std::uintptr_t>(Address), Size);
}

bool TValidRegionCache::IsValidBlockAddr(std::uintptr_t Address, std::size_t Size) noexcept
{
    std::uintptr_t last = 0;
    if (!LastByte(Address, Size, last)) return false;
    std::uintptr_t current = Address;
    for (;;) {
        std::uintptr_t end = 0;
        bool cached = false;
        for (std::size_t i = 0; i < FCount; ++i) {
            if (current >= FRegions[i].FBase && (FRegions[i].FEnd == 0 || current < FRegions[i].FEnd)) {
                end = FRegions[i].FEnd;
                cached = true;
                break;
            }
        }
        if (!cached) {
            std::uintptr_t base = 0;
            bool ok = false;
            end = ReadableRegionEnd(current, base, ok);
            if (!ok) return false;
            FRegions[FNext] = {base, end};
            FNext = (FNext + 1) % kRegions;
            if (FCount < kRegions) ++FCount;
        }
        if (end == 0 || end - 1 >= last) return true;
        current = end;
    }
}

std::uintptr_t ConvertAddress(std::uintptr_t Address) noexcept
{
    constexpr std::size_t kThunkSize = 8;  // FF 25 and the slot's address, checked as one jump entry
    if (!IsValidBlockAddr(Address, kThunkSize)) return Address;
    const auto* code = reinterpret_cast<const std::uint8_t*>(Address);
    if (code[0] != 0xFF || code[1] != 0x25) return Address;
    std::uint32_t slot = 0;
    std::memcpy(&slot, code + 2, sizeof slot);
    if (!IsValidBlockAddr(static_cast<std::uintptr_t>(slot), sizeof(std::uint32_t))) return Address;
    std::uint32_t target = 0;
    std::memcpy(&target, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(slot)), sizeof target);
    return target;
}

}  // namespace crash
